#include "frame/grid.h"
