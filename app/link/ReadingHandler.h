#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <functional>
#include <optional>

// How a reply of the balance becomes a reading: the reading handler's
// cleaning and tests, the continuous line rule, and the numeric value of a
// text. Nothing here needs a window.
namespace Pomiar::ReadingHandler {

// A reading handed to the store: the cleaned value text (it may still end
// with CR LF and holds the unit after the number), the unit (at most two
// characters, "?" when none) and the time of reception.
struct Reading {
    QString valueText;
    QString unit;
    QDateTime time;
};

struct HandlerContext {
    // The report window is open: printout lines are not cleaned.
    bool reportCapture = false;
    // The limit filter: answers true when the normalised value is outside an
    // enabled limit (the store's limit test).
    std::function<bool(const QString& value)> outsideLimits;
    // Where a failed step is reported before the handler goes on.
    std::function<void(const QString& error)> logError;
    QLocale locale = QLocale::system();
};

// The reading handler's steps from the clock to the unit: nothing when the
// frame is not a reading (empty, an error reply, an acknowledgement, a
// labelled printout line, outside the limits, too long, no unit, no digit,
// no number at its front, digits beside that number, a number beyond a
// double). Status texts are removed only from the header before the value.
std::optional<Reading> PrzetworzOdczyt(const QByteArray& frame, const QDateTime& received,
                                       const HandlerContext& context);

// One line of what continuous transmission collected: value (the number in
// characters 4 to 18 of the line as it came, the status in front blanked;
// a sign also from the first character) and unit, or nothing for an
// acknowledgement, an error reply or columns that hold no single number.
struct ContinuousValue {
    double value = 0;
    QString unit;
};
std::optional<ContinuousValue> ReadContinuousLine(const QString& line);

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

} // namespace Pomiar::ReadingHandler
