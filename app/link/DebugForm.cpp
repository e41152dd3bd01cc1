#include "DebugForm.h"
