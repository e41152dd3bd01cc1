#include "Statystyka.h"
