#include "Opcje.h"
