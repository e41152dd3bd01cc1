#include "HostResolver.h"
