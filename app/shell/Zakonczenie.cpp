#include "Zakonczenie.h"
