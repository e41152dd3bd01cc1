#include "frmCommSelect.h"
