#include "frame/value_ops.h"
