#pragma once

#include <Mordal/DelayPumping.h>

#include <QString>
#include <cstdint>

namespace Mordal {

// Milliseconds on a clock that never jumps (not the wall clock), so waits
// keep their length across midnight and clock changes.
int64_t MonotonicMs();

// True while no more than limitMs have passed since startMs (a MonotonicMs value).
bool StillWithin(int64_t startMs, int64_t limitMs);

// Lets pending events run once (the control's "pump pending messages").
void PumpMessages();

// The system's text for an error number, trimmed, without line breaks;
// empty for a number the system does not know.
QString SystemMessageText(int code);

// The error number left by the library's most recent failing system call,
// used when an error is raised with number 0.
int LastSystemError();
void SetLastSystemError(int code);

// A message box with the library's version (major.minor.revision); printed
// instead when the host has no windows.
void ShowLibraryVersion();

} // namespace Mordal
