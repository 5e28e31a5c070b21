#include "frame/component.h"
