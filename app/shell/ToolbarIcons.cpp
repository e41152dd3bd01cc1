#include "ToolbarIcons.h"
