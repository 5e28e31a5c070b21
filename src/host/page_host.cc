#include "host/page_host.h"
