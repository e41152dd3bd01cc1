#include "ReadingHandler.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <exception>
#include <limits>
#include <stdexcept>
#include <string>

namespace Pomiar::ReadingHandler {

namespace {

using NumberText::LeadingNumber;
using NumberText::ReadLeadingNumber;

bool IsAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Blanks, tabs and line feeds never end a number, wherever they stand.
bool IsSkipped(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n';
}

} // namespace

namespace {

// The balance's status texts, tried in this order: "ST A" must go before
// "ST", and "S A" before "S ". They stand in the reply's header, before the
// value; the brackets that mark digits not verified stand around digits.
const char* const StatusTexts[] = {"SI", "C1",   "C0", "S1",  "S0", "GS", "?",  "[",
                                   "]",  "ST A", "ST", "S A", "S ", "P1", "P2", "P3"};

const QString CrLf = QStringLiteral("\r\n");

bool HasDigit(const QString& s) {
    return std::any_of(s.begin(), s.end(), [](QChar c) { return IsAsciiDigit(c); });
}

// Only blanks: a CR LF at the end of a reply is part of its value text.
QString TrimBlanks(const QString& s) {
    qsizetype first = 0;
    qsizetype last = s.size();
    while (first < last && s[first] == u' ')
        ++first;
    while (last > first && s[last - 1] == u' ')
        --last;
    return s.mid(first, last - first);
}

// Characters counted from 1; a position outside the text is a failure of
// the step that asks for it, as a reply too short for its test is.
QString Mid(const QString& s, qsizetype start, qsizetype length) {
    if (start < 1 || start > s.size())
        throw std::out_of_range(QStringLiteral("Invalid procedure call or argument: position %1 "
                                               "outside a text of %2 characters")
                                    .arg(start)
                                    .arg(s.size())
                                    .toStdString());
    return s.mid(start - 1, length);
}

void Report(const HandlerContext& context, const QString& error) noexcept {
    if (!context.logError)
        return;
    try {
        context.logError(error);
    } catch (...) {
        // The log is the last resort; a reply must never bring the program down.
    }
}

void ReportCurrentException(const HandlerContext& context) noexcept {
    try {
        throw;
    } catch (const std::exception& e) {
        Report(context, QString::fromUtf8(e.what()));
    } catch (...) {
        Report(context, QStringLiteral("Unknown error"));
    }
}

// A step that fails is logged and the handler goes on with the next one.
template <typename Step> void RunStep(const HandlerContext& context, Step&& step) noexcept {
    try {
        step();
    } catch (...) {
        ReportCurrentException(context);
    }
}

// An ending test that fails is logged and ends the handling, as if it had
// said the reply is not a reading.
template <typename Test> bool EndsHere(const HandlerContext& context, Test&& test) noexcept {
    try {
        return test();
    } catch (...) {
        ReportCurrentException(context);
        return true;
    }
}

bool IsAsciiLetterOrDigit(QChar c) {
    return IsAsciiDigit(c) || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

// The first of texts standing at position in s, as a word of its own: "S1"
// in "S1 12.5 g" or "SI" in "SI?", not in "S19". Its length, or 0.
template <typename Texts>
qsizetype StatusTextAt(const QString& s, qsizetype position, const Texts& texts) {
    for (const char* text : texts) {
        const QLatin1String status(text);
        if (!QStringView(s).mid(position).startsWith(status))
            continue;
        const qsizetype after = position + status.size();
        const bool endsAsWord = !IsAsciiLetterOrDigit(status.back()) || after >= s.size() ||
                                !IsAsciiLetterOrDigit(s[after]);
        if (endsAsWord)
            return status.size();
    }
    return 0;
}

// The status texts of the header go (blanks between them stay), as do the
// brackets of digits not verified ("123.5[6] g"); a status text elsewhere
// stays where it is, so that "    2P15 g" or "1?2" are never read as 25 or
// 12.
void RemoveStatusTexts(QString& s) {
    qsizetype position = 0;
    for (;;) {
        while (position < s.size() && IsSkipped(s[position]))
            ++position;
        const qsizetype length = StatusTextAt(s, position, StatusTexts);
        if (length == 0)
            break;
        s.remove(position, length);
    }
    s.remove(u'[').remove(u']');
}

// Whether what follows the leading number holds no digit: a value field
// with text inside ("1?2", "2P15 g", "1.5E2.5") is no number. A comma is
// a decimal point here, as for the limit test.
bool NumberStandsAlone(const QString& s) {
    QString text = s;
    text.replace(u',', u'.');
    const LeadingNumber number = ReadLeadingNumber(text);
    return number.hasDigits && !HasDigit(text.mid(number.end));
}

// A printout line carries a time of day ("12:05 ..."); its value follows
// the first blank.
bool HasTimeOfDay(const QString& s) {
    for (qsizetype i = 0; i + 5 <= s.size(); ++i)
        if (IsAsciiDigit(s[i]) && IsAsciiDigit(s[i + 1]) && s[i + 2] == u':' &&
            IsAsciiDigit(s[i + 3]) && IsAsciiDigit(s[i + 4]))
            return true;
    return false;
}

QString AfterFirstBlank(const QString& s) {
    const qsizetype blank = s.indexOf(u' ');
    return blank < 0 ? s : s.mid(blank + 1);
}

bool OutsideLimits(const QString& s, const HandlerContext& context) {
    if (!context.outsideLimits)
        return false;
    return context.outsideLimits(NormalizedValue(s, context.locale));
}

bool FirstCharacterUnprintable(const QString& s) {
    const char16_t code = Mid(s, 1, 1).front().unicode();
    return code > 126 || code < 8;
}

// The unit is at the end of the reply: before the three line ends of a
// printout line, else the last two characters once the line ends are gone.
QString UnitOf(const QString& s) {
    if (s.endsWith(CrLf + CrLf + CrLf))
        return TrimBlanks(Mid(s, s.size() - 7, 2));
    QString text = s;
    text.remove(CrLf);
    return TrimBlanks(TrimBlanks(text).right(2));
}

// The balance writes "." whatever the desktop's locale, so the tail of a
// number without a unit (".4") is a number in either notation; read by the
// locale alone, a Polish desktop would take it for a unit.
bool UnitIsNumeric(const QString& unit, const QLocale& locale) {
    QLocale link = QLocale::c();
    link.setNumberOptions(QLocale::RejectGroupSeparator);
    return IsNumber(unit, locale) || IsNumber(unit, link);
}

// A time of day ("12:05 ...") opens with digits but is no value; normal
// handling cuts it off before the value test, a line captured for the report
// keeps it.
bool OpensWithTimeOfDay(const QString& s) {
    qsizetype i = 0;
    while (i < s.size() && IsSkipped(s[i]))
        ++i;
    const qsizetype digits = i;
    while (i < s.size() && IsAsciiDigit(s[i]))
        ++i;
    return i > digits && i < s.size() && s[i] == u':';
}

// Whether the number the value is read from stands at the front of the text.
bool BeginsWithValue(const QString& s) {
    return ReadLeadingNumber(s).hasDigits && !OpensWithTimeOfDay(s);
}

// The steps before the limits: the value text, or nothing when the frame
// ended there. A failed step goes to logError.
std::optional<QString> CleanedValue(const QByteArray& frame, bool reportCapture,
                                    const std::function<void(const QString&)>& logError) {
    HandlerContext context;
    context.logError = logError;
    // Bytes of the link are characters one to one.
    QString s = QString::fromLatin1(frame);
    if (EndsHere(context, [&] { return s.isEmpty() || s.startsWith(QLatin1String("ES")); }))
        return std::nullopt;
    RunStep(context, [&] { RemoveStatusTexts(s); });
    // Printout lines for the report window keep their form.
    if (reportCapture)
        return s;
    RunStep(context, [&] {
        if (HasTimeOfDay(s))
            s = AfterFirstBlank(s);
    });
    if (EndsHere(context, [&] { return s.startsWith(CrLf); }))
        return std::nullopt;
    if (EndsHere(context, [&] { return s.contains(QLatin1String(": ")); }))
        return std::nullopt;
    RunStep(context, [&] { s = TrimBlanks(s); });
    return s;
}

// The steps after the limits: nothing when the cleaned value text is no
// reading.
std::optional<Reading> FinishedReading(const QString& s, const QDateTime& received,
                                       const QLocale& locale,
                                       const std::function<void(const QString&)>& logError) {
    HandlerContext context;
    context.logError = logError;
    if (EndsHere(context, [&] { return FirstCharacterUnprintable(s); }))
        return std::nullopt;
    if (EndsHere(context, [&] { return s.size() > 30; }))
        return std::nullopt;
    // A reply without any digit carries no value: an acknowledgement ("T A"),
    // an error reply ("S I") or an empty printout line would otherwise be
    // stored as a reading of 0.
    if (EndsHere(context, [&] { return !HasDigit(s); }))
        return std::nullopt;
    // Nor does a text whose number is not at its front: its value would read
    // as 0, as for a labelled printout line ("Temperatura: 22.5 C") that
    // reaches here while the report window captures.
    if (EndsHere(context, [&] { return !BeginsWithValue(s); }))
        return std::nullopt;
    // Only a value field that is one finite number is a reading, limits or
    // none.
    if (EndsHere(context,
                 [&] { return !NumberStandsAlone(s) || !std::isfinite(NumberAtFront(s)); }))
        return std::nullopt;
    QString unit;
    RunStep(context, [&] { unit = UnitOf(s); });
    if (EndsHere(context, [&] { return UnitIsNumeric(unit, locale); }))
        return std::nullopt;
    if (unit.isEmpty())
        unit = QStringLiteral("?");
    return Reading{s, unit, received};
}

} // namespace

ReadWithoutLimits ReadForAcceptance(const QByteArray& frame, bool reportCapture,
                                    const QLocale& locale) {
    ReadWithoutLimits read;
    read.value = CleanedValue(frame, reportCapture,
                              [&read](const QString& error) { read.cleaningErrors << error; });
    if (!read.value)
        return read;
    const auto reading =
        FinishedReading(*read.value, QDateTime(), locale,
                        [&read](const QString& error) { read.readingErrors << error; });
    if (reading)
        read.unit = reading->unit;
    return read;
}

std::optional<Reading> PrzetworzOdczyt(const QByteArray& frame, const QDateTime& received,
                                       const HandlerContext& context) {
    const auto log = [&context](const QString& error) { Report(context, error); };
    const auto s = CleanedValue(frame, context.reportCapture, log);
    if (!s)
        return std::nullopt;
    if (EndsHere(context, [&] { return OutsideLimits(*s, context); }))
        return std::nullopt;
    return FinishedReading(*s, received, context.locale, log);
}

namespace {

// The status texts that open a continuous line ("SI", "S", "?") turned
// into blanks where they stand, so that the fixed columns stay in place.
QString BlankedHeader(const QString& line) {
    QString s = line;
    qsizetype position = 0;
    for (;;) {
        while (position < s.size() && s[position] == u' ')
            ++position;
        static const char* const continuousStatus[] = {"SI", "S", "?"};
        const qsizetype length = StatusTextAt(s, position, continuousStatus);
        if (length == 0)
            return s;
        s.replace(position, length, QString(length, u' '));
        position += length;
    }
}

// The unit in the last four characters; digits there belong to the value
// of a line without trailing blanks ("SI ? -150.0000 g").
QString ContinuousUnit(const QString& s) {
    QString unit = TrimBlanks(s.right(4));
    qsizetype lastDigit = -1;
    for (qsizetype i = 0; i < unit.size(); ++i)
        if (IsAsciiDigit(unit[i]))
            lastDigit = i;
    return lastDigit < 0 ? unit : TrimBlanks(unit.mid(lastDigit + 1));
}

} // namespace

std::optional<ContinuousValue> ReadContinuousLine(const QString& line) {
    for (const char* acknowledgement : {"C0", "C1", "S0", "S1"})
        if (line.contains(QLatin1String(acknowledgement)))
            return std::nullopt;
    if (line.trimmed().isEmpty() || line.contains(QLatin1String("ES")))
        return std::nullopt;
    // Continuous lines have fixed columns: the number in characters 4 to 18
    // of the line as it came, the status in front blanked, not removed.
    QString text = line;
    while (text.endsWith(u'\n') || text.endsWith(u'\r'))
        text.chop(1);
    const QString s = BlankedHeader(text);
    const QString columns = s.mid(3, 15);
    // As for single replies: the columns hold one number and no other
    // digit, and a number beyond a double is garbage, not a mass.
    if (!NumberStandsAlone(columns))
        return std::nullopt;
    ContinuousValue result;
    result.value = NumberAtFront(columns);
    if (!std::isfinite(result.value))
        return std::nullopt;
    // The sign may also stand in the first character, outside the columns.
    if (line.startsWith(u'-') && result.value > 0)
        result.value = -result.value;
    result.unit = ContinuousUnit(s);
    return result;
}

} // namespace Pomiar::ReadingHandler
