#include "PerUserSettings.h"
