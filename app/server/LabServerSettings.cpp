#include "LabServerSettings.h"

#include "INI.h"
#include "mUstawienia.h"

namespace Pomiar {

LabServerSettings LabServerSettings::Read(const QString& iniPath, const QString& nrWagi) {
    const QString section = QString::fromLatin1(Section);
    LabServerSettings settings;
    const QString enabled = INI::CzytajIni(iniPath, section, QStringLiteral("Enabled"), "False");
    bool ok = false;
    settings.enabled = mUstawienia::ToBoolean(enabled, &ok);
    if (!ok)
        throw SettingsError(iniPath, section, QStringLiteral("Enabled"), enabled);
    settings.connection =
        INI::CzytajIni(iniPath, section, QStringLiteral("Connection"), QString()).trimmed();
    settings.station =
        INI::CzytajIni(iniPath, section, QStringLiteral("Station"), nrWagi).trimmed();
    if (settings.station.isEmpty())
        settings.station = nrWagi;
    return settings;
}

QString LabServerSettings::ConnectOptions() const {
    // An empty text leaves everything to libpq's defaults (PGHOST, PGSERVICE...).
    QString options = connection.isEmpty() || connection.contains(QLatin1Char('='))
                          ? connection
                          : QStringLiteral("service=") + connection;
    if (!options.contains(QLatin1String("connect_timeout")))
        options += QStringLiteral(" connect_timeout=5");
    // A server that vanishes without closing the connection (a cable
    // pulled) fails the batch in progress instead of stalling the sender.
    if (!options.contains(QLatin1String("tcp_user_timeout")))
        options += QStringLiteral(" tcp_user_timeout=15000");
    if (!options.contains(QLatin1String("application_name")))
        options += QStringLiteral(" application_name=Trevalo");
    return options;
}

} // namespace Pomiar
