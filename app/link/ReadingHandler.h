#pragma once

#include "NumberText.h"

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

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

// The handler without its limit filter, for a reader that leaves the
// limits to the acceptance of the reading. The steps before the limits (the
// header's status texts, the time of a printout, the empty and labelled
// lines) give the cleaned value text, or nothing when the frame ended there;
// the steps after them (no digit, too long, no number at its front, a
// numeric unit...) say whether that text is a reading, and its unit. A
// failed step is told in the list of its half: those after the limits count
// only when the value passed them.
struct ReadWithoutLimits {
    std::optional<QString> value;
    // The reading's unit ("?" when none); nothing when the value is no
    // reading.
    std::optional<QString> unit;
    QStringList cleaningErrors;
    QStringList readingErrors;
};
ReadWithoutLimits ReadForAcceptance(const QByteArray& frame, bool reportCapture,
                                    const QLocale& locale);

// One line of what continuous transmission collected: value (the number in
// characters 4 to 18 of the line as it came, the status in front blanked;
// a sign also from the first character) and unit, or nothing for an
// acknowledgement, an error reply or columns that hold no single number.
struct ContinuousValue {
    double value = 0;
    QString unit;
};
std::optional<ContinuousValue> ReadContinuousLine(const QString& line);

// The numeric rules, shared with the store and the limit test.
using NumberText::IsNumber;
using NumberText::NormalizedValue;
using NumberText::NumberAtFront;

} // namespace Pomiar::ReadingHandler
