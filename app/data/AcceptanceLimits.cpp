#include "AcceptanceLimits.h"

#include "INI.h"
#include "SeriesStatistics.h"

namespace Pomiar {

bool AcceptanceLimits::Outside(const QString& valueText, const QLocale& locale) const {
    const QString value = SeriesStatistics::NormalizujLiczbe(valueText, locale);
    return SeriesStatistics::PozaLimitem(minOn, value, minText, QStringLiteral("<")) ||
           SeriesStatistics::PozaLimitem(maxOn, value, maxText, QStringLiteral(">"));
}

std::optional<double> AcceptanceLimits::Lower() const {
    if (!minOn)
        return std::nullopt;
    return SeriesStatistics::LimitNumber(minText);
}

std::optional<double> AcceptanceLimits::Upper() const {
    if (!maxOn)
        return std::nullopt;
    return SeriesStatistics::LimitNumber(maxText);
}

AcceptanceLimits AcceptanceLimits::Stored(const QString& iniPath, const QLocale& locale) {
    const QString section = QStringLiteral("ustawienia");
    const auto switchOn = [&](const char* key) {
        return INI::CzytajIni(iniPath, section, QLatin1String(key), QStringLiteral("0"))
                   .trimmed()
                   .toInt() != 0;
    };
    const auto value = [&](const char* key) {
        return SeriesStatistics::NormalizujLiczbe(
            INI::CzytajIni(iniPath, section, QLatin1String(key), QStringLiteral("0")), locale);
    };
    AcceptanceLimits limits;
    limits.minOn = switchOn("min");
    limits.maxOn = switchOn("max");
    if (limits.minOn)
        limits.minText = value("wart_min");
    if (limits.maxOn)
        limits.maxText = value("wart_max");
    return limits;
}

} // namespace Pomiar
