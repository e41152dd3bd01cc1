#pragma once

#include "MordalExport.h"

namespace Mordal {

// Lets pending events run once, then keeps running them until at least ms
// milliseconds have passed. Sleeps between events instead of spinning.
MORDAL_EXPORT void DelayPumping(int ms);

} // namespace Mordal
