#include "mUstawienia.h"
