#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

// The number and date patterns the program formats with, in the style its
// settings are written in: "#0.0000", "0.00000", "#0.00", "hh:mm:ss",
// "HH:nn:ss", "yyyy-MM-dd", "dd-mm-yyyy".
namespace Pomiar::Formats {

// A number by a pattern of "0" (digit always shown), "#" (digit shown when
// needed), "." (decimal point, shown as the locale's separator) and "," in
// the integer part (thousands grouping). Rounds half away from zero the
// value's 15-significant-digit decimal form, so 2.675 gives "2.68" with
// "#0.00". A number that rounds to zero has no minus sign; a pattern of "#"
// alone shows nothing for zero. A pattern the formatter does not understand
// (empty, or any character but "0", "#", "." once and "," before the point)
// falls back to "#0.0000"; blanks around the pattern are ignored.
QString FormatNumber(double value, const QString& pattern, const QLocale& locale);

// Dates and times by a pattern where "yyyy", "mm" (month, or minutes right
// after "hh"/"HH" or before "ss"), "dd", "hh"/"HH" (24-hour), "nn" (minutes)
// and "ss" are the usual fields.
QString FormatDateTime(const QDateTime& dateTime, const QString& pattern);

// As above, with month and day names ("mmm", "mmmm", "ddd", "dddd") in the
// language of the locale; the two-argument form uses the system locale.
// "ddddd" is the short date "yyyy-MM-dd" and "dddddd" the long date
// "d MMMM yyyy". Text in double quotes or after a backslash is literal; an
// invalid date-time gives an empty text.
QString FormatDateTime(const QDateTime& dateTime, const QString& pattern, const QLocale& locale);
// The same for a date and a time of day as they stand, without reckoning
// their moment in local time.
QString FormatDateTime(const QDate& date, const QTime& time, const QString& pattern,
                       const QLocale& locale);

// Reads a number as the platform shows it (the locale's decimal separator),
// as the program reads back a number it has shown. ok false when the text is
// not a number. Group separators before the decimal separator are skipped
// wherever they stand, so every grouping FormatNumber makes reads back.
double ParseShownNumber(const QString& text, const QLocale& locale, bool* ok = nullptr);

} // namespace Pomiar::Formats
