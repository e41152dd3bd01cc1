#include "Formaty.h"
