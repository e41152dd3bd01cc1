#include "CycleSettings.h"

#include "PerUserSettings.h"
#include "ReadingHandler.h"

#include <cmath>
#include <limits>

namespace Pomiar::CycleSettings {

namespace {

QString FormatInterval(double seconds, const QLocale& locale) {
    QLocale plain = locale;
    plain.setNumberOptions(QLocale::OmitGroupSeparator);
    return plain.toString(seconds, 'f', QLocale::FloatingPointShortest);
}

// Half to even, whatever rounding mode the floating-point unit is left in.
double RoundHalfEven(double value) {
    const double lower = std::floor(value);
    const double fraction = value - lower;
    if (fraction < 0.5)
        return lower;
    if (fraction > 0.5)
        return lower + 1;
    return std::fmod(lower, 2.0) == 0 ? lower : lower + 1;
}

QString TwoDigits(qint64 value) {
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

} // namespace

QString ValidateInterval(const QString& text, const QLocale& locale) {
    double seconds = ReadingHandler::NumberAtFront(text);
    if (!(seconds >= MinimumInterval))
        seconds = MinimumInterval;
    else if (seconds > MaximumInterval)
        seconds = MaximumInterval;
    return FormatInterval(seconds, locale);
}

int Ticks(const QString& text) {
    QString number = text;
    number.replace(QLatin1Char(','), QLatin1Char('.'));
    const double ticks = RoundHalfEven(ReadingHandler::NumberAtFront(number) * 2);
    if (!(ticks > 0))
        return 0;
    if (ticks >= std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    return static_cast<int>(ticks);
}

QString IntervalLabel(const QString& text, const QLocale& locale) {
    const int ticks = Ticks(text);
    const qint64 seconds = ticks / 2;
    QString label = TwoDigits(seconds / 3600) + QLatin1Char(':') + TwoDigits(seconds % 3600 / 60) +
                    QLatin1Char(':') + TwoDigits(seconds % 60);
    if (ticks % 2 != 0)
        label += locale.decimalPoint() + QLatin1Char('5');
    return label;
}

bool CycleWorkOn(const PerUserSettings& settings) {
    return ReadingHandler::NumberAtFront(settings.GetSetting(Section, KeyCykl)) == 1;
}

int StoredTicks(const PerUserSettings& settings) {
    return Ticks(settings.GetSetting(Section, KeyTimer));
}

std::optional<int> CheckRange(const QString& startText, const QString& stopText) {
    const double start = ReadingHandler::NumberAtFront(startText);
    const double stop = ReadingHandler::NumberAtFront(stopText);
    if (stop < start)
        return 9;
    if (startText.isEmpty() || stopText.isEmpty())
        return 10;
    if (start == 0 || stop == 0)
        return 11;
    return std::nullopt;
}

} // namespace Pomiar::CycleSettings
