#include "frame/date.h"
