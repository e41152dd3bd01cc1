#pragma once

#include <QLocale>
#include <QString>
#include <optional>

namespace Pomiar {
class PerUserSettings;
}

// The reading interval of automatic work and the switch of cycle work, as
// the cycle settings dialog shows them and the per-user store keeps them.
// Nothing here needs a window.
namespace Pomiar::CycleSettings {

inline const QString Section = QStringLiteral("Setup\\Cykl");
// The interval exactly as the field shows it, in seconds ("2,5" in Polish).
inline const QString KeyTimer = QStringLiteral("Timer");
// "1" with cycle work on, "0" with it off.
inline const QString KeyCykl = QStringLiteral("Cykl");

// Automatic work polls the balance every half second; nothing shorter.
constexpr double MinimumInterval = 0.5;
// The longest interval whose ticks still fit a 32-bit counter.
constexpr double MaximumInterval = 1073741823.0;

// The interval field after the user leaves it: the number at the front of the
// text ("." as decimal point) shown with the locale's separator, at least
// 0.5 and at most MaximumInterval. So in Polish "2.5" gives "2,5", while
// "2,5" typed gives "2" (the comma ends the number), and "0,3" gives "0,5".
QString ValidateInterval(const QString& text, const QLocale& locale);

// Half-second ticks of an interval text: commas count as decimal points
// whatever the locale (the store may hold a text written in another one),
// the number is doubled and rounded half to even (2.25 s gives 4, 2.75 s
// gives 6); an empty or unreadable text gives 0, a negative one 0, a huge
// one the largest 32-bit number.
int Ticks(const QString& text);

// The interval as the label beside the field shows it: "HH:mm:ss" followed
// by the locale's decimal separator and "5" for a half second. The label
// shows the interval automatic work really keeps (its ticks), so "2,75"
// reads "00:00:03". Hours run past 24 for a day or more ("27:46:40").
QString IntervalLabel(const QString& text, const QLocale& locale);

// The stored switch: the number at the front of "Cykl" equals 1.
bool CycleWorkOn(const PerUserSettings& settings);
// The stored interval in ticks (program start).
int StoredTicks(const PerUserSettings& settings);

// The checks of a new or changed window, in order: Stop below Start (an
// empty field counts as 0) gives message 9, an empty field message 10, a
// zero in either field message 11; nothing when the window may be saved.
std::optional<int> CheckRange(const QString& startText, const QString& stopText);

} // namespace Pomiar::CycleSettings
