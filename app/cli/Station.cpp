#include "Station.h"

#include "INI.h"
#include "Invocation.h"
#include "ProgramFolder.h"

#include <Mordal/CommEnums.h>

#include <QCoreApplication>

namespace Trevalo {

using namespace Pomiar;

namespace {

const QString section = QStringLiteral("ustawienia");

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

bool LoadStation(const Invocation& run, Station& station, QString* error) {
    ProgramContext& context = station.context;
    context.programFolder =
        ProgramFolder::Resolve(QStringList{QStringLiteral("trevalo")} + run.folderArguments,
                               QCoreApplication::applicationDirPath());
    const QString ini = context.IniPath();
    context.settings.nrWagi =
        run.station.value_or(INI::CzytajIni(ini, section, QStringLiteral("Nr_wagi"), "1"));
    context.applicationTitle = QStringLiteral("Trevalo [%1]").arg(context.settings.nrWagi);
    context.settings.languageFileName =
        INI::CzytajIni(ini, section, QStringLiteral("language"), QStringLiteral("Polish.lag"));
    try {
        mUstawienia::WczytajUstawienia(ini, context.settings);
        station.link = LinkSettings::Read(ini);
    } catch (const SettingsError& failure) {
        *error = QString::fromLocal8Bit(failure.what());
        return false;
    }
    ApplyCommandLineLink(run, station.link);
    station.massFormat = mUstawienia::CzytajMasaFormat(ini);
    station.limits = AcceptanceLimits::Stored(ini, QLocale::system());
    return true;
}

} // namespace Trevalo
