#include "BalanceDialect.h"

#include <QDateTime>
#include <QRegularExpression>
#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace Pomiar {

namespace {

using Kind = BalanceReply::Kind;
using Error = BalanceReply::Error;

struct FamilyEntry {
    BalanceDialect::Family family;
    const char* name;
    DialectCommands commands;
};

const QByteArray Esc = "\x1b";

// The commands of each family, from the makers' interface manuals (the
// README's "Balances" section names them), in the order of Family. The
// default family's reads, and so its probe, are empty here: they come from
// [COMMANDS].
const std::array<FamilyEntry, 5>& Families() {
    static const std::array<FamilyEntry, 5> families{{
        {BalanceDialect::Family::Default, "default", {{}, {}, "T", {}, "C1", "C0", {}, {}, {}}},
        {BalanceDialect::Family::Sics, "sics", {"S", "SI", "T", "Z", "SIR", "@", "I4", "I2", "I4"}},
        {BalanceDialect::Family::Sbi,
         "sbi",
         {Esc + "P",
          Esc + "P",
          Esc + "T",
          Esc + "V",
          {},
          {},
          Esc + "P",
          Esc + "x1_",
          Esc + "x2_",
          false}},
        // A&D balances acknowledge a command only while their setting "AK,
        // error code" (erCd) is 1; at 0 the tare is carried out silently.
        {BalanceDialect::Family::Ad,
         "ad",
         {"S", "Q", "T", "Z", "SIR", "C", "?SN", "?TN", "?SN", false}},
        {BalanceDialect::Family::Ohaus,
         "ohaus",
         {"SP", "IP", "T", "Z", "CP", "0P", "IP", {}, "PSN", false}},
    }};
    return families;
}

const FamilyEntry& EntryOf(BalanceDialect::Family family) {
    return Families()[size_t(family)];
}

BalanceReply Reading(const QString& value, const QString& unit, bool stable) {
    BalanceReply reply;
    reply.kind = Kind::Reading;
    reply.value = value;
    reply.unit = unit;
    reply.stable = stable;
    return reply;
}

BalanceReply Failure(Error error, const QString& line) {
    BalanceReply reply;
    reply.kind = Kind::Error;
    reply.error = error;
    reply.text = line;
    return reply;
}

BalanceReply Simple(Kind kind, const QString& text) {
    BalanceReply reply;
    reply.kind = kind;
    reply.text = text;
    return reply;
}

QString Unquoted(QString text) {
    text = text.trimmed();
    if (text.size() >= 2 && text.startsWith(u'"') && text.endsWith(u'"'))
        return text.mid(1, text.size() - 2);
    return text;
}

BalanceReply BalanceFailure(const QString& code, const QString& line) {
    BalanceReply reply = Failure(Error::Balance, line);
    reply.code = code;
    return reply;
}

// The status letter after a command's name: the same for every command.
std::optional<Error> SicsStatusError(const QString& status) {
    if (status == QLatin1String("I"))
        return Error::NoStableValue;
    if (status == QLatin1String("L"))
        return Error::Logical;
    if (status == QLatin1String("+"))
        return Error::Overload;
    if (status == QLatin1String("-"))
        return Error::Underload;
    return std::nullopt;
}

// "S S     100.00 g", "S D ...", "T S ...", "Z A", "I4 A \"...\"", "S I",
// "ES".
BalanceReply ReadSics(const QString& line) {
    static const QRegularExpression form(QStringLiteral(R"(^(\S+)(?: +(\S)(?: +(.*))?)?$)"));
    const QString trimmed = line.trimmed();
    if (trimmed == QLatin1String("ES"))
        return Failure(Error::Syntax, line);
    if (trimmed == QLatin1String("ET"))
        return Failure(Error::Transmission, line);
    if (trimmed == QLatin1String("EL"))
        return Failure(Error::Logical, line);
    const auto match = form.match(trimmed);
    if (!match.hasMatch())
        return Simple(Kind::Other, line);
    const QString command = match.captured(1);
    const QString status = match.captured(2);
    const QString rest = match.captured(3);
    if (const auto error = SicsStatusError(status))
        return Failure(*error, line);
    if (command.startsWith(u'I') && status == QLatin1String("A"))
        return Simple(Kind::Identification, Unquoted(rest));
    const QStringList parts = rest.split(u' ', Qt::SkipEmptyParts);
    const bool weighed = status == QLatin1String("S") || status == u"D";
    // A balance that cannot give the weight writes an error over the value
    // field, whatever the command: "S S  Error 10b".
    if (weighed && !parts.isEmpty() && parts.front() == QLatin1String("Error"))
        return BalanceFailure(parts.value(1), line);
    if (command == QLatin1String("S") && weighed) {
        // Anything but a number in the value field is no reading.
        if (parts.isEmpty() || !IsPlainNumber(parts.front()))
            return Simple(Kind::Other, line);
        return Reading(parts.front(), parts.mid(1).join(u' '), status == u"S");
    }
    if (!status.isEmpty())
        return Simple(Kind::Acknowledgement, line);
    return Simple(Kind::Other, line);
}

// A status line of the data interface, with "Stat" in front (the 22-
// character format) or without it (the 16-character one): "H" or "High"
// overload, "L" or "Low" underload, "Err 123" or "ERR 123" the balance's own
// error, anything else (checkweighing limits, adjustment, "----") no
// stable value. Nothing for a line that is no status line.
std::optional<BalanceReply> SbiStatus(const QString& line) {
    const bool marked = line.startsWith(QLatin1String("Stat"));
    const QString status = (marked ? line.mid(4) : line).simplified();
    if (status == QLatin1String("H") || status == QLatin1String("High"))
        return Failure(Error::Overload, line);
    if (status == QLatin1String("L") || status == QLatin1String("Low"))
        return Failure(Error::Underload, line);
    const QStringList words = status.split(u' ');
    const QString first = words.front();
    if (first.compare(QLatin1String("Err"), Qt::CaseInsensitive) == 0)
        return BalanceFailure(words.value(1), line);
    // "APP.ERR", "DIS.ERR", "PRT.ERR": the error is named, not numbered.
    if (first.endsWith(QLatin1String(".ERR"), Qt::CaseInsensitive))
        return BalanceFailure(first, line);
    if (marked)
        return Failure(Error::NoStableValue, line);
    // Without "Stat" only the words of the manuals count, standing alone.
    static const QStringList others{QStringLiteral("HH"), QStringLiteral("LL"), QStringLiteral("C"),
                                    QStringLiteral("Cal Ext"), QStringLiteral("Cal. Ext.")};
    if (others.contains(status))
        return Failure(Error::NoStableValue, line);
    return std::nullopt;
}

// "+   123.56 g  " (sign, value, unit of 3; a blank unit is not stable), or
// the same behind a 6-character id ("N     +   123.56 g  "). Whether an id
// stands in front is read from the line's form: a line that opens with a
// sign or a blank and a value is read whole, whatever its length.
BalanceReply ReadSbi(const QString& line) {
    static const QRegularExpression form(QStringLiteral(R"(^([+\- ]) *(\d+(?:\.\d*)?) ?(\S*) *$)"));
    if (const auto status = SbiStatus(line))
        return *status;
    auto match = form.match(line);
    if (!match.hasMatch() && line.size() > 6)
        match = form.match(line.mid(6));
    if (!match.hasMatch())
        return Simple(Kind::Other, line);
    const QString sign = match.captured(1) == u"-" ? QStringLiteral("-") : QString();
    const QString unit = match.captured(3);
    return Reading(sign + match.captured(2), unit, !unit.isEmpty());
}

Error AdError(const QString& code) {
    if (code == QLatin1String("E02"))
        return Error::NoStableValue;
    if (code == QLatin1String("E11"))
        return Error::NoStableValue;
    if (code == QLatin1String("E00") || code == QLatin1String("E03"))
        return Error::Transmission;
    if (code == QLatin1String("E07"))
        return Error::Logical;
    return Error::Syntax;
}

// "ST,+00123.45  g": a header of two letters, a comma, the value with its
// sign, the unit; ACK alone; "EC,E01"; "SN,\"...\"".
BalanceReply ReadAd(const QString& line) {
    // A value holds at least one digit: "+." is no number.
    static const QRegularExpression value(
        QStringLiteral(R"(^([+\-]?(?:\d+\.?\d*|\.\d+)) *(\S*) *$)"));
    if (line == QLatin1String("\x06"))
        return Simple(Kind::Acknowledgement, line);
    if (line.size() < 3 || line[2] != u',')
        return Simple(Kind::Other, line);
    const QString header = line.left(2);
    const QString rest = line.mid(3);
    if (header == QLatin1String("EC"))
        return Failure(AdError(rest.trimmed()), line);
    if (header == QLatin1String("SN") || header == QLatin1String("TN") ||
        header == QLatin1String("ID"))
        return Simple(Kind::Identification, Unquoted(rest));
    if (header == QLatin1String("OL"))
        return Failure(rest.startsWith(u'-') ? Error::Underload : Error::Overload, line);
    const auto match = value.match(rest);
    const bool stable = header == QLatin1String("ST") || header == QLatin1String("QT") ||
                        header == QLatin1String("WT");
    if (!match.hasMatch() || !(stable || header == QLatin1String("US")))
        return Simple(Kind::Other, line);
    return Reading(match.captured(1), match.captured(2), stable);
}

// "    123.45 g", with "?" after the unit when not stable; a Navigator
// writes a legend after the stability mark ("     12.73 g       NET"),
// which is kept with the reading. "ES"; "SN: ...". A legend that makes the
// line something else than the weight on the pan ("TOTAL", "T" for the
// tare) leaves it no reading.
BalanceReply ReadOhaus(const QString& line) {
    static const QRegularExpression form(QStringLiteral(
        R"(^ *(-?) *(\d+(?:\.\d*)?) +(\S+)(?: +(\?))?(?: +(NET|Net|N|G|B/G|GROSS|Gross))? *$)"));
    if (line.trimmed() == QLatin1String("ES"))
        return Failure(Error::Syntax, line);
    if (line.startsWith(QLatin1String("SN:")))
        return Simple(Kind::Identification, line.mid(3).trimmed());
    const auto match = form.match(line);
    if (!match.hasMatch())
        return Simple(Kind::Other, line);
    BalanceReply reply = Reading(match.captured(1) + match.captured(2), match.captured(3),
                                 match.captured(4).isEmpty());
    reply.legend = match.captured(5);
    return reply;
}

} // namespace

QString ShownReply(const QByteArray& frame) {
    QByteArray bytes = frame;
    while (bytes.endsWith('\n') || bytes.endsWith('\r'))
        bytes.chop(1);
    QString shown;
    shown.reserve(bytes.size());
    for (const char c : std::as_const(bytes)) {
        const auto byte = static_cast<unsigned char>(c);
        switch (byte) {
        case '\r':
            shown += QLatin1String("\\r");
            break;
        case '\n':
            shown += QLatin1String("\\n");
            break;
        case '\t':
            shown += QLatin1String("\\t");
            break;
        case 0x1b:
            shown += QLatin1String("\\e");
            break;
        case '\\':
            shown += QLatin1String("\\\\");
            break;
        default:
            // C0, DEL and the C1 controls of Latin-1.
            if (byte < 0x20 || (byte >= 0x7f && byte < 0xa0))
                shown += QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
            else
                shown += QChar::fromLatin1(c);
        }
    }
    return shown;
}

QString ErrorName(BalanceReply::Error error) {
    switch (error) {
    case Error::None:
        break;
    case Error::Syntax:
        return QStringLiteral("syntax error");
    case Error::Logical:
        return QStringLiteral("logical error");
    case Error::Transmission:
        return QStringLiteral("transmission error");
    case Error::NoStableValue:
        return QStringLiteral("no stable value");
    case Error::Overload:
        return QStringLiteral("overload");
    case Error::Underload:
        return QStringLiteral("underload");
    case Error::Balance:
        return QStringLiteral("balance error");
    }
    return QStringLiteral("no error");
}

bool IsPlainNumber(const QString& text) {
    static const QRegularExpression form(QStringLiteral(R"(^[+\-]?(?:\d+\.?\d*|\.\d+)$)"));
    return form.match(text).hasMatch() && std::isfinite(ReadingHandler::NumberAtFront(text));
}

QString RefusalText(const QByteArray& command, const BalanceReply& reply) {
    if (reply.error == Error::Balance)
        return QStringLiteral("the balance reports error %1 (%2)")
            .arg(reply.code.isEmpty() ? QStringLiteral("without a number") : reply.code,
                 reply.text.trimmed());
    // An escape would not show: it is written as the "ESC" of the manuals.
    QString shown = QString::fromLatin1(command);
    shown.replace(u'\x1b', QStringLiteral("ESC "));
    return QStringLiteral("the balance refused \"%1\": %2 (%3)")
        .arg(shown, ErrorName(reply.error), reply.text.trimmed());
}

BalanceDialect::BalanceDialect(Family family) : family(family) {}

QStringList BalanceDialect::Names() {
    QStringList names;
    for (const FamilyEntry& entry : Families())
        names << QLatin1String(entry.name);
    return names;
}

std::optional<BalanceDialect> BalanceDialect::Named(const QString& name) {
    for (const FamilyEntry& entry : Families())
        if (name.trimmed().compare(QLatin1String(entry.name), Qt::CaseInsensitive) == 0)
            return BalanceDialect(entry.family);
    return std::nullopt;
}

QString BalanceDialect::Name() const {
    return QLatin1String(EntryOf(family).name);
}

const DialectCommands& BalanceDialect::Commands() const {
    return EntryOf(family).commands;
}

BalanceReply BalanceDialect::readLine(const QString& line) const {
    switch (family) {
    case Family::Sics:
        return ReadSics(line);
    case Family::Sbi:
        return ReadSbi(line);
    case Family::Ad:
        return ReadAd(line);
    case Family::Ohaus:
        return ReadOhaus(line);
    case Family::Default:
        // Its readings are the reading handler's; only its refusal is read here.
        if (line.trimmed().startsWith(QLatin1String("ES")))
            return Failure(Error::Syntax, line);
        break;
    }
    return Simple(Kind::Other, line);
}

std::vector<BalanceReply> BalanceDialect::Read(const QByteArray& frame) const {
    std::vector<BalanceReply> replies;
    // Bytes of the link are characters one to one.
    const QStringList lines = QString::fromLatin1(frame).split(u'\n');
    for (QString line : lines) {
        while (line.endsWith(u'\r'))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        // A CR inside a line would join its neighbours ("    1\r2 g" is no
        // 12 g): such a line is read as it came, and is no reading.
        if (line.contains(u'\r'))
            replies.push_back(Simple(Kind::Other, line));
        else
            replies.push_back(readLine(line));
    }
    return replies;
}

std::optional<ReadingHandler::ContinuousValue>
BalanceDialect::ReadContinuous(const QString& line) const {
    const BalanceReply reply = ReadLine(line);
    if (reply.kind != Kind::Reading)
        return std::nullopt;
    return ReadingHandler::ContinuousValue{NumberText::NumberAtFront(reply.value), reply.unit};
}

BalanceReply BalanceDialect::ReadLine(const QString& line) const {
    if (IsDefault()) {
        if (const auto value = ReadingHandler::ReadContinuousLine(line))
            // Written back in full: the number read is the number stored.
            return Reading(QString::number(value->value, 'g', 17), value->unit, true);
    }
    const std::vector<BalanceReply> replies = Read(line.toLatin1());
    if (!IsDefault()) {
        // The first reading decides; a number beyond a double is none.
        const auto reading =
            std::find_if(replies.begin(), replies.end(),
                         [](const BalanceReply& r) { return r.kind == Kind::Reading; });
        if (reading != replies.end() && std::isfinite(NumberText::NumberAtFront(reading->value)))
            return *reading;
    }
    for (const BalanceReply& reply : replies)
        if (reply.kind == Kind::Error && reply.error != Error::None)
            return reply;
    return Simple(Kind::Other, line);
}

FrameReply BalanceDialect::readWhole(const QByteArray& frame, bool reportCapture,
                                     const QLocale& locale) const {
    FrameReply read{Simple(Kind::Other, QString::fromLatin1(frame)), frame};
    BalanceReply& reply = read.reply;
    reply.stabilityBinding = false;
    reply.stable = FrameStable(frame);
    const ReadingHandler::ReadWithoutLimits handled =
        ReadingHandler::ReadForAcceptance(frame, reportCapture, locale);
    reply.cleaningErrors = handled.cleaningErrors;
    if (!handled.value)
        return read;
    reply.value = *handled.value;
    reply.cleaned = true;
    reply.readingErrors = handled.readingErrors;
    if (handled.unit) {
        reply.kind = Kind::Reading;
        reply.unit = *handled.unit;
    }
    return read;
}

std::vector<FrameReply> BalanceDialect::ReadFrame(const QByteArray& frame, bool reportCapture,
                                                  const QLocale& locale) const {
    if (IsDefault() || reportCapture)
        return {readWhole(frame, reportCapture, locale)};
    std::vector<FrameReply> replies;
    for (const QByteArray& line : frame.split('\n')) {
        if (line.trimmed().isEmpty())
            continue;
        for (const BalanceReply& reply : Read(line))
            replies.push_back({reply, line});
    }
    return replies;
}

bool BalanceDialect::FrameStable(const QByteArray& frame) const {
    if (IsDefault())
        return !frame.contains('?');
    for (const BalanceReply& reply : Read(frame))
        if (reply.kind == Kind::Reading)
            return reply.stable;
    return true;
}

std::optional<QByteArray> BalanceDialect::ReadCommand(bool immediate,
                                                      const QString& configuredStable,
                                                      const QString& configuredImmediate) const {
    if (IsDefault())
        return (immediate ? configuredImmediate : configuredStable).toLatin1();
    const QByteArray& command = immediate ? Commands().immediate : Commands().stable;
    if (command.isEmpty())
        return std::nullopt;
    return command;
}

QByteArray BalanceDialect::Probe(const QString& configuredImmediate) const {
    return IsDefault() ? configuredImmediate.toLatin1() : Commands().probe;
}

bool BalanceDialect::Answers(const QByteArray& reply) const {
    if (IsDefault())
        return ReadingHandler::PrzetworzOdczyt(reply, QDateTime::currentDateTime(), {}).has_value();
    const std::vector<BalanceReply> replies = Read(reply);
    return std::any_of(replies.begin(), replies.end(),
                       [this](const BalanceReply& r) { return Recognises(r); });
}

bool BalanceDialect::Recognises(const BalanceReply& reply) const {
    switch (family) {
    case Family::Sics:
    case Family::Ad:
        return reply.kind == Kind::Identification;
    case Family::Sbi:
        return reply.kind == Kind::Reading ||
               (reply.kind == Kind::Error && reply.error != Error::Syntax);
    case Family::Ohaus:
        return reply.kind == Kind::Reading;
    case Family::Default:
        break;
    }
    return false;
}

} // namespace Pomiar
