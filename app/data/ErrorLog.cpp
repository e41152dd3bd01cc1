#include "ErrorLog.h"
