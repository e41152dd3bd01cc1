#pragma once

#include "MordalExport.h"

#include <QString>
#include <cstdint>

namespace Mordal {

// Milliseconds on a clock that never jumps (not the wall clock), so waits
// keep their length across midnight and clock changes.
MORDAL_EXPORT int64_t MonotonicMs();

// True while no more than limitMs have passed since startMs (a MonotonicMs value).
MORDAL_EXPORT bool StillWithin(int64_t startMs, int64_t limitMs);

// Lets pending events run once, then keeps running them until at least ms
// milliseconds have passed. Sleeps between events instead of spinning.
MORDAL_EXPORT void DelayPumping(int ms);

// Lets pending events run once (the control's "pump pending messages").
MORDAL_EXPORT void PumpMessages();

// The system's text for an error number, trimmed, without line breaks;
// empty for a number the system does not know.
MORDAL_EXPORT QString SystemMessageText(int code);

// The error number left by the library's most recent failing system call,
// used when an error is raised with number 0.
MORDAL_EXPORT int LastSystemError();
MORDAL_EXPORT void SetLastSystemError(int code);

// A message box with the library's version (major.minor.revision); printed
// instead when the host has no windows.
MORDAL_EXPORT void ShowLibraryVersion();

} // namespace Mordal
