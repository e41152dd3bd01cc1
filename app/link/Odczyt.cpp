#include "Odczyt.h"
