#include "StationSettings.h"

#include "INI.h"
#include "ProgramContext.h"

#include <QLocale>

namespace Pomiar {

namespace {

const QString section = QStringLiteral("ustawienia");

} // namespace

void StationSettings::ReadStart(ProgramContext& context, const std::optional<QString>& number) {
    const QString ini = context.IniPath();
    context.settings.nrWagi =
        number.value_or(INI::CzytajIni(ini, section, QStringLiteral("Nr_wagi"), "1"));
    context.applicationTitle = QStringLiteral("Trevalo [%1]").arg(context.settings.nrWagi);
    const QString language =
        INI::CzytajIni(ini, section, QStringLiteral("language"), QStringLiteral("Polish.lag"));
    context.settings.languageFileName = language;
    context.settings.helpFileName = mUstawienia::HelpFileName(language);
    mUstawienia::WczytajUstawienia(ini, context.settings);
}

StationSettings StationSettings::Read(const ProgramContext& context) {
    const QString ini = context.IniPath();
    StationSettings read;
    read.link = LinkSettings::Read(ini);
    read.massFormat = mUstawienia::CzytajMasaFormat(ini);
    read.limits = AcceptanceLimits::Stored(ini, QLocale::system());
    return read;
}

} // namespace Pomiar
