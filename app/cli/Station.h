#pragma once

#include "MeasurementStore.h"
#include "ProgramContext.h"
#include "mUstawienia.h"

#include <QString>

namespace Trevalo {

struct Invocation;

// The program folder's settings as a run of trevalo uses them: what the
// program reads at its start, with the link of the command line in place of
// the stored one. Nothing is written back.
struct Station {
    Pomiar::ProgramContext context;
    Pomiar::LinkSettings link;
    Pomiar::AcceptanceLimits limits;
    QString massFormat;
};

// False with the reason when ustawienia.ini holds a setting that cannot be
// used.
bool LoadStation(const Invocation& run, Station& station, QString* error);

} // namespace Trevalo
