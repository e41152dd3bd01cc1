#include "ControlCommand.h"

#include "EscapeText.h"

#include <cmath>

namespace BalanceSim {

namespace {

using Kind = ControlCommand::Kind;

std::optional<double> Number(const QByteArray& text) {
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<int> Integer(const QByteArray& text, int low, int high) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return value;
}

std::optional<bool> Switch(const QByteArray& text) {
    if (text == "on")
        return true;
    if (text == "off")
        return false;
    return std::nullopt;
}

bool IsUnit(const QByteArray& text) {
    if (text.isEmpty() || text.size() > ControlCommand::MaxUnitLength)
        return false;
    for (const char c : text) {
        if (c <= ' ' || c > '~')
            return false;
    }
    return true;
}

class LineParser {
public:
    explicit LineParser(const QByteArray& line) {
        const qsizetype blank = line.indexOf(' ');
        name = blank < 0 ? line : line.left(blank);
        raw = blank < 0 ? QByteArray() : line.mid(blank + 1);
        argument = raw.trimmed();
    }

    std::optional<ControlCommand> Parse(QString* error) {
        ControlCommand command;
        if (const auto why = Fill(command)) {
            if (error)
                *error = *why;
            return std::nullopt;
        }
        return command;
    }

private:
    std::optional<QString> Fill(ControlCommand& c) {
        if (name == "mass")
            return NumberArgument(c, Kind::Mass, -1e9, 1e9);
        if (name == "noise")
            return NumberArgument(c, Kind::Noise, 0.0, 1e9);
        if (name == "rate")
            return RateArgument(c);
        if (name == "scatter")
            return NumberArgument(c, Kind::Scatter, 0.0, 1e6);
        if (name == "position")
            return PositionArgument(c);
        if (name == "offset")
            return OffsetArgument(c);
        if (name == "unit")
            return UnitArgument(c);
        if (name == "stable")
            return SwitchArgument(c, Kind::Stable);
        if (name == "moisture")
            return SwitchArgument(c, Kind::Moisture);
        if (name == "noreply")
            return SwitchArgument(c, Kind::NoReply);
        if (name == "overload")
            return SwitchArgument(c, Kind::Overload);
        if (name == "underload")
            return SwitchArgument(c, Kind::Underload);
        if (name == "busy")
            return SwitchArgument(c, Kind::Busy);
        if (name == "autoprint")
            return SwitchArgument(c, Kind::AutoPrint);
        if (name == "fault")
            return SwitchArgument(c, Kind::Fault);
        if (name == "form")
            return FormArgument(c);
        if (name == "decimals")
            return IntegerArgument(c, Kind::Decimals, 0, ControlCommand::MaxDecimals);
        if (name == "delay")
            return IntegerArgument(c, Kind::Delay, 0, ControlCommand::MaxDelayMs);
        if (name == "split")
            return SplitArgument(c);
        if (name == "garbage")
            return TextArgument(c, Kind::Garbage);
        if (name == "send")
            return TextArgument(c, Kind::Send);
        if (name == "report")
            return NoArgument(c, Kind::Report);
        if (name == "drop")
            return NoArgument(c, Kind::Drop);
        if (name == "quit")
            return NoArgument(c, Kind::Quit);
        return QStringLiteral("unknown command %1").arg(QString::fromLatin1(name));
    }

    QString Needs(const char* what) const {
        return QStringLiteral("%1 needs %2").arg(QString::fromLatin1(name), QLatin1String(what));
    }

    std::optional<QString> NumberArgument(ControlCommand& c, Kind kind, double low, double high) {
        const auto value = Number(argument);
        if (!value || *value < low || *value > high)
            return low < 0 ? Needs("a number") : Needs("a number not below 0");
        c.kind = kind;
        c.number = *value;
        return std::nullopt;
    }

    std::optional<QString> RateArgument(ControlCommand& c) {
        const auto value = Number(argument);
        if (!value || *value <= 0.0 || *value > ControlCommand::MaxRate)
            return Needs("a number of lines per second above 0 and at most 1000");
        c.kind = Kind::Rate;
        c.number = *value;
        return std::nullopt;
    }

    std::optional<QString> IntegerArgument(ControlCommand& c, Kind kind, int low, int high) {
        const auto value = Integer(argument, low, high);
        if (!value)
            return QStringLiteral("%1 needs a whole number from %2 to %3")
                .arg(QString::fromLatin1(name))
                .arg(low)
                .arg(high);
        c.kind = kind;
        c.integer = *value;
        return std::nullopt;
    }

    std::optional<QString> SwitchArgument(ControlCommand& c, Kind kind) {
        const auto value = Switch(argument);
        if (!value)
            return Needs("on or off");
        c.kind = kind;
        c.on = *value;
        return std::nullopt;
    }

    std::optional<QString> SplitArgument(ControlCommand& c) {
        c.kind = Kind::Split;
        if (const auto value = Switch(argument)) {
            c.on = *value;
            return std::nullopt;
        }
        const auto pause = Integer(argument, 1, ControlCommand::MaxDelayMs);
        if (!pause)
            return Needs("on, off or a pause in milliseconds");
        c.on = true;
        c.integer = *pause;
        return std::nullopt;
    }

    std::optional<QString> FormArgument(ControlCommand& c) {
        if (!ControlCommand::FormNames().contains(argument))
            return QStringLiteral("form needs one of %1")
                .arg(QString::fromLatin1(ControlCommand::FormNames().join(", ")));
        c.kind = Kind::Form;
        c.bytes = argument;
        return std::nullopt;
    }

    std::optional<QString> PositionArgument(ControlCommand& c) {
        const qsizetype at = ControlCommand::PositionNames().indexOf(argument);
        if (at < 0)
            return QStringLiteral("position needs one of %1")
                .arg(QString::fromLatin1(ControlCommand::PositionNames().join(", ")));
        c.kind = Kind::Position;
        c.integer = int(at);
        return std::nullopt;
    }

    // "offset front-left 3" (also "front-left=3", as the command line
    // writes it): the reading at that place is 3 digits more.
    std::optional<QString> OffsetArgument(ControlCommand& c) {
        QByteArray text = argument;
        text.replace('=', ' ');
        const QList<QByteArray> parts = text.simplified().split(' ');
        const qsizetype at =
            parts.size() == 2 ? ControlCommand::PositionNames().indexOf(parts[0]) : -1;
        const auto digits = parts.size() == 2 ? Number(parts[1]) : std::nullopt;
        if (at < 0 || !digits || std::abs(*digits) > 1e6)
            return QStringLiteral("offset needs a position (%1) and a number of digits")
                .arg(QString::fromLatin1(ControlCommand::PositionNames().join(", ")));
        c.kind = Kind::Offset;
        c.integer = int(at);
        c.number = *digits;
        return std::nullopt;
    }

    std::optional<QString> UnitArgument(ControlCommand& c) {
        if (!IsUnit(argument))
            return Needs("1 to 4 printable characters without blanks");
        c.kind = Kind::Unit;
        c.bytes = argument;
        return std::nullopt;
    }

    // The text is taken as typed after the one blank behind the name, so it
    // can start or end with blanks of its own.
    std::optional<QString> TextArgument(ControlCommand& c, Kind kind) {
        QString why;
        const auto decoded = EscapeText::Decode(raw, &why);
        if (!decoded)
            return why;
        if (decoded->isEmpty())
            return Needs("a text");
        c.kind = kind;
        c.bytes = *decoded;
        return std::nullopt;
    }

    std::optional<QString> NoArgument(ControlCommand& c, Kind kind) {
        if (!argument.isEmpty())
            return QStringLiteral("%1 takes no argument").arg(QString::fromLatin1(name));
        c.kind = kind;
        return std::nullopt;
    }

    QByteArray name;
    QByteArray raw;
    QByteArray argument;
};

} // namespace

const QList<QByteArray>& ControlCommand::FormNames() {
    static const QList<QByteArray> names{"standard", "short", "words", "legend", "noack"};
    return names;
}

const QList<QByteArray>& ControlCommand::PositionNames() {
    static const QList<QByteArray> names{"centre", "front-left", "back-left", "back-right",
                                         "front-right"};
    return names;
}

std::optional<ControlCommand> ControlCommand::Parse(const QByteArray& line, QString* error) {
    QByteArray text = line;
    while (text.endsWith('\n') || text.endsWith('\r'))
        text.chop(1);
    return LineParser(text).Parse(error);
}

} // namespace BalanceSim
