#include "frame/statement.h"
