#pragma once

#include <QLocale>
#include <QString>
#include <string>

// The numeric value of a text as the reading handler, the store and the
// limit test share it: no balance's words, only the number.
namespace Pomiar::NumberText {

// The leading number of a text, gathered without blanks, tabs and line
// feeds in the plain form "-123.45e-6" that a locale-free conversion takes.
struct LeadingNumber {
    std::string text;
    bool hasDigits = false;
    // Decimal magnitude (integer digits after leading zeros, less the zeros
    // that open a fraction, plus the exponent), so that a result out of range
    // is known to be huge or tiny.
    long long magnitude = 0;
    // Where the number ends in the text: the characters from here on are
    // not part of it.
    qsizetype end = 0;
};
LeadingNumber ReadLeadingNumber(const QString& text);

// The number at the front of a text ("." decimal point, blanks skipped,
// optional exponent), 0 when there is none; infinite when it is too large
// for a double, so callers that store it test it first.
double NumberAtFront(const QString& text);

// The value as the limit test reads it: "," taken as ".", "%" dropped, the
// leading number shown back as the platform shows numbers. Throws
// std::overflow_error for a number beyond a double.
QString NormalizedValue(const QString& value, const QLocale& locale);

// Whether the platform's number conversion takes the whole text (blanks
// around allowed); false for an empty text.
bool IsNumber(const QString& text, const QLocale& locale);

// The mass a value text stands for: "," taken as ".", and for a moisture
// result (a unit beginning with "%") only the part before the first "%".
double MassOf(const QString& valueText, const QString& unit);

} // namespace Pomiar::NumberText
