#include "StationSetup.h"

#include "Invocation.h"
#include "ProgramFolder.h"

#include <Mordal/CommEnums.h>

#include <QCoreApplication>

namespace Trevalo {

using namespace Pomiar;

namespace {

void ApplyCommandLineLink(const Invocation& run, LinkSettings& link) {
    if (run.port) {
        link.type = int16_t(Mordal::enCommSource::Serial);
        link.comm = int16_t(*run.port);
    }
    if (run.tcpHost) {
        link.type = int16_t(Mordal::enCommSource::TCP);
        link.hostIP = *run.tcpHost;
        link.hostPort = *run.tcpPort;
    }
    if (run.baud)
        link.speed = *run.baud;
    if (run.dialect)
        link.dialect = *BalanceDialect::Named(*run.dialect);
}

} // namespace

bool LoadStationSetup(const Invocation& run, StationSetup& setup, QString* error) {
    ProgramContext& context = setup.context;
    context.programFolder =
        ProgramFolder::Resolve(QStringList{QStringLiteral("trevalo")} + run.folderArguments,
                               QCoreApplication::applicationDirPath());
    StationSettings stored;
    try {
        StationSettings::ReadStart(context, run.station);
        stored = StationSettings::Read(context);
    } catch (const SettingsError& failure) {
        *error = QString::fromLocal8Bit(failure.what());
        return false;
    }
    setup.link = stored.link;
    ApplyCommandLineLink(run, setup.link);
    setup.massFormat = stored.massFormat;
    setup.limits = stored.limits;
    return true;
}

} // namespace Trevalo
