#pragma once

#include "ProgramContext.h"
#include "StationSettings.h"

#include <QString>

namespace Trevalo {

struct Invocation;

// The program folder's settings as a run of trevalo uses them: read by the
// program's own loader, with the link of the command line in place of the
// stored one. Nothing is written back.
struct StationSetup {
    Pomiar::ProgramContext context;
    Pomiar::LinkSettings link;
    Pomiar::AcceptanceLimits limits;
    QString massFormat;
};

// False with the reason when ustawienia.ini holds a setting that cannot be
// used.
bool LoadStationSetup(const Invocation& run, StationSetup& setup, QString* error);

} // namespace Trevalo
