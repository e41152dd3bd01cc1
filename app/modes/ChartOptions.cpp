#include "ChartOptions.h"

#include "PerUserSettings.h"
#include "ReadingHandler.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Pomiar {

namespace {

// The count as a 16-bit number, as the chart handles it.
int countOf(const QString& text) {
    const double value = std::round(ChartOptions::ParseNumber(text));
    if (!std::isfinite(value))
        return value > 0 ? std::numeric_limits<qint16>::max() : 0;
    return static_cast<int>(std::clamp(value, 0.0, double(std::numeric_limits<qint16>::max())));
}

bool isDecimalSeparator(QChar c, const QLocale& locale) {
    return c == QLatin1Char('.') || locale.decimalPoint() == QString(c);
}

} // namespace

double ChartOptions::ParseNumber(const QString& text) {
    QString number = text;
    return ReadingHandler::NumberAtFront(number.replace(QLatin1Char(','), QLatin1Char('.')));
}

QString FieldCharacters(NumberField pole, const QLocale& locale) {
    if (pole == NumberField::Count)
        return {};
    QString characters = locale.decimalPoint();
    if (!characters.contains(QLatin1Char('.')))
        characters += QLatin1Char('.');
    if (pole == NumberField::Range)
        characters += QLatin1Char('-');
    return characters;
}

bool TypedTextAccepted(NumberField pole, const QString& typed, const QString& kept,
                       const QLocale& locale) {
    const QString extra = FieldCharacters(pole, locale);
    bool separator = std::any_of(kept.begin(), kept.end(),
                                 [&locale](QChar c) { return isDecimalSeparator(c, locale); });
    for (const QChar c : typed) {
        if (c.isDigit() && c.unicode() < 0x80)
            continue;
        if (!extra.contains(c))
            return false;
        if (isDecimalSeparator(c, locale)) {
            // A second separator would cut the number where it stands.
            if (separator)
                return false;
            separator = true;
        }
    }
    return true;
}

ChartOptions ChartOptions::Load(const PerUserSettings* settings) {
    ChartOptions opcje;
    if (!settings)
        return opcje;
    const auto get = [settings](const QString& key, const QString& missing = QString()) {
        return settings->GetSetting(Section, key, missing);
    };
    opcje.liczba = countOf(get(KeyLiczbaPom));
    opcje.ostatnie = ParseNumber(get(KeyLiczba)) == 1 && opcje.liczba >= 1;
    opcje.gorna = ParseNumber(get(KeyMax));
    opcje.dolna = ParseNumber(get(KeyMin));
    opcje.osMin = ParseNumber(get(KeyOYMin));
    opcje.osMax = ParseNumber(get(KeyOYMax));
    opcje.osAuto = ParseNumber(get(KeyOYAuto, QStringLiteral("1"))) != 0 ||
                   !(opcje.osMin < opcje.osMax) || !std::isfinite(opcje.osMax - opcje.osMin);
    return opcje;
}

std::optional<int> CheckChartOptions(const ChartOptionFields& pola) {
    if (!pola.osAuto) {
        if (pola.osMin.isEmpty() || pola.osMax.isEmpty())
            return 17;
        if (ChartOptions::ParseNumber(pola.osMax) < ChartOptions::ParseNumber(pola.osMin))
            return 18;
    }
    if (pola.ostatnie) {
        if (pola.liczba.isEmpty())
            return 0;
        if (countOf(pola.liczba) == 0)
            return 19;
        if (pola.gorna.isEmpty() || pola.dolna.isEmpty())
            return 0;
    }
    return std::nullopt;
}

} // namespace Pomiar
