#include "Pasek.h"
