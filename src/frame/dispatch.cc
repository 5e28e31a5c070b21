#include "frame/dispatch.h"
