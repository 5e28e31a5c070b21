#include "frame/record_set.h"
