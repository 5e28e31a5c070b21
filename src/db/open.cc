#include "db/open.h"
