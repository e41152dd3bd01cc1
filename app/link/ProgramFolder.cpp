#include "ProgramFolder.h"
