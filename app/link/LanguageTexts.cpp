#include "LanguageTexts.h"
