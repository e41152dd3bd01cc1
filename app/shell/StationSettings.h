#pragma once

#include "MeasurementStore.h"
#include "mUstawienia.h"

#include <QString>
#include <optional>

namespace Pomiar {

struct ProgramContext;

// What a station reads from its program folder's ustawienia.ini, in one
// place for the program's window and for trevalo, so that both read every
// key the same way.
struct StationSettings {
    LinkSettings link;
    AcceptanceLimits limits;
    QString massFormat;

    // The settings a run starts with: the station number (number, when
    // given, in place of "Nr_wagi"), the application title, the language
    // and help file, and the settings kept in memory. Throws SettingsError
    // for a setting that cannot be used.
    static void ReadStart(ProgramContext& context, const std::optional<QString>& number = {});
    // The link, the mass format and the acceptance limits. Throws
    // SettingsError for a link key that cannot be used.
    static StationSettings Read(const ProgramContext& context);
};

} // namespace Pomiar
