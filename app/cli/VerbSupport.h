#pragma once

#include "ExitCode.h"

#include <QString>

namespace Trevalo {

class LinkSession;
struct Invocation;
struct Station;

// Tells the user on standard error and answers code.
int Fail(ExitCode code, const QString& message);
// A note on standard error that ends nothing.
void Warn(const QString& message);

// Reads the station's settings and opens its link: Success, or the failure
// told and its code.
int Connect(const Invocation& run, Station& station, LinkSession& link);

} // namespace Trevalo
