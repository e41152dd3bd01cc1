#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

// The number and date patterns the program formats with, in the style its
// settings are written in: "#0.0000", "0.00000", "#0.00", "hh:mm:ss",
// "HH:nn:ss", "yyyy-MM-dd", "dd-mm-yyyy".
namespace Pomiar::Formaty {

// A number by a pattern of "0" (digit always shown), "#" (digit shown when
// needed), "." (decimal point, shown as the locale's separator) and "," in
// the integer part (thousands grouping). Rounds half away from zero. A
// pattern the formatter does not understand falls back to "#0.0000".
QString FormatNumber(double value, const QString& pattern, const QLocale& locale);

// Dates and times by a pattern where "yyyy", "mm" (month, or minutes right
// after "hh"/"HH" or before "ss"), "dd", "hh"/"HH" (24-hour), "nn" (minutes)
// and "ss" are the usual fields.
QString FormatDateTime(const QDateTime& dateTime, const QString& pattern);

// Reads a number as the platform shows it (the locale's decimal separator),
// as the program reads back a number it has shown. ok false when the text is
// not a number.
double ParseShownNumber(const QString& text, const QLocale& locale, bool* ok = nullptr);

} // namespace Pomiar::Formaty
