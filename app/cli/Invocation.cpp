#include "Invocation.h"

#include "BalanceDialect.h"
#include "CycleSettings.h"
#include "VerbTable.h"

#include <QLocale>
#include <QRegularExpression>
#include <cmath>

namespace Trevalo {

namespace {

// The options in seconds, kept in milliseconds: what they accept.
struct SecondsRange {
    double lowest;
    double highest;
};
constexpr double week = 7 * 24 * 3600;

// Milliseconds, rounded; nothing outside the range or not a number.
std::optional<int> Milliseconds(const QString& text, const SecondsRange& range) {
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || !(seconds >= range.lowest && seconds <= range.highest))
        return std::nullopt;
    return int(std::llround(seconds * 1000));
}

std::optional<int> WholeNumber(const QString& value, int low, int high) {
    bool ok = false;
    const int number = value.toInt(&ok);
    return ok && number >= low && number <= high ? std::optional<int>(number) : std::nullopt;
}

QString Bad(const QString& name, const QString& value) {
    return QStringLiteral("invalid value for --%1: %2").arg(name, value);
}

// Each stores one option's value in the run: an error text when the value
// is unusable, else empty.
using Applier = QString (*)(Invocation& run, const QString& name, const QString& value);

QString ApplyPort(Invocation& run, const QString& name, const QString& value) {
    run.port = WholeNumber(value, 1, 256);
    return run.port ? QString() : Bad(name, value);
}

QString ApplyTcp(Invocation& run, const QString& name, const QString& value) {
    static const QRegularExpression hostPort(QStringLiteral("^(.+):(\\d{1,5})$"));
    const auto match = hostPort.match(value);
    const int port = match.hasMatch() ? match.captured(2).toInt() : 0;
    if (port < 1 || port > 65535)
        return Bad(name, value);
    run.tcpHost = match.captured(1);
    run.tcpPort = port;
    return {};
}

QString ApplyBaud(Invocation& run, const QString& name, const QString& value) {
    run.baud = WholeNumber(value, 1, 4000000);
    return run.baud ? QString() : Bad(name, value);
}

QString ApplyDialect(Invocation& run, const QString& name, const QString& value) {
    if (!Pomiar::BalanceDialect::Named(value))
        return Bad(name, value) +
               QStringLiteral(" (one of %1)")
                   .arg(Pomiar::BalanceDialect::Names().join(QStringLiteral(", ")));
    run.dialect = value;
    return {};
}

QString ApplyStation(Invocation& run, const QString& name, const QString& value) {
    if (!WholeNumber(value, 0, 99))
        return Bad(name, value);
    run.station = value;
    return {};
}

QString ApplyDir(Invocation& run, const QString&, const QString& value) {
    run.folderArguments = {QStringLiteral("--dir"), value};
    return {};
}

QString ApplyCount(Invocation& run, const QString& name, const QString& value) {
    const auto count = WholeNumber(value, 1, 100000000);
    run.count = count.value_or(0);
    return count ? QString() : Bad(name, value);
}

QString ApplyFormat(Invocation& run, const QString& name, const QString& value) {
    if (value == QLatin1String("text"))
        run.format = OutputFormat::Text;
    else if (value == QLatin1String("csv"))
        run.format = OutputFormat::Csv;
    else if (value == QLatin1String("json"))
        run.format = OutputFormat::Json;
    else
        return Bad(name, value);
    return {};
}

// Seconds within range, stored as milliseconds in the field of the run.
template <int Invocation::*field, SecondsRange range>
QString ApplySeconds(Invocation& run, const QString& name, const QString& value) {
    const auto ms = Milliseconds(value, range);
    if (!ms)
        return Bad(name, value) +
               QStringLiteral(" (seconds from %1 to %2)")
                   .arg(QString::number(range.lowest), QString::number(range.highest));
    run.*field = *ms;
    return {};
}

QString ApplyInterval(Invocation& run, const QString& name, const QString& value) {
    const QString error =
        ApplySeconds<&Invocation::intervalMs, SecondsRange{0, week}>(run, name, value);
    if (error.isEmpty())
        run.intervalText = value;
    return error;
}

QString ApplyDuration(Invocation& run, const QString& name, const QString& value) {
    const auto ms = Milliseconds(value, {0.001, week});
    if (!ms)
        return Bad(name, value) + QStringLiteral(" (seconds from %1 to %2)")
                                      .arg(QString::number(0.001), QString::number(week));
    run.durationMs = *ms;
    return {};
}

template <QString Invocation::*field>
QString ApplyText(Invocation& run, const QString&, const QString& value) {
    run.*field = value;
    return {};
}

// An option its verb reads itself, as typed (checkOptions).
QString ApplyKept(Invocation&, const QString&, const QString&) {
    return {};
}

template <bool Invocation::*field>
QString ApplySwitch(Invocation& run, const QString&, const QString&) {
    run.*field = true;
    return {};
}

struct OptionSpec {
    const char* name;
    const char* value; // nullptr: a switch
    const char* help;
    Applier apply;
};

const QList<OptionSpec> options{
    {"port", "N", "serial port N (COM<N>: the port folder, else the fixed device table)",
     ApplyPort},
    {"tcp", "HOST:PORT", "a TCP link (a network-to-serial converter)", ApplyTcp},
    {"baud", "RATE", "baud rate of the serial port", ApplyBaud},
    {"dialect", "NAME",
     "the balance's command family: default, sics (Mettler Toledo, KERN), sbi (Sartorius), "
     "ad (A&D) or ohaus",
     ApplyDialect},
    {"dir", "DIR", "program folder with ustawienia.ini", ApplyDir},
    {"station", "N", "station number (Nr_wagi)", ApplyStation},
    {"timeout", "S", "seconds a request waits for its reply (default 1)",
     ApplySeconds<&Invocation::timeoutMs, SecondsRange{0.001, 3600}>},
    {"unstable", nullptr, "immediate readings (CMD_SEND_UNSTABLE) instead of stable ones",
     ApplySwitch<&Invocation::unstable>},
    {"count", "N", "number of readings (default 1)", ApplyCount},
    {"interval", "S", "seconds between requests (read: default 0; log: 0.5 or a multiple)",
     ApplyInterval},
    {"format", "FMT", "text, csv or json (default text)", ApplyFormat},
    {"duration", "S", "end continuous transmission after S seconds", ApplyDuration},
    {"cycle", "FILE", "cycle windows: lines \"START STOP\" in seconds from the first reading",
     ApplyText<&Invocation::cycleFile>},
    {"out", "FILE", "series file (*.ser) the readings go into", ApplyText<&Invocation::out>},
    {"csv", "FILE", "CSV file to write", ApplyText<&Invocation::csv>},
    {"file", "FILE", "server verify: compare this series file's journal with the server's",
     ApplyText<&Invocation::file>},
    {"journal", nullptr,
     "end the CSV with a \"# journal: ...\" line (station, user, time, journal rows and "
     "head); without it, [EXPORT] journalTrailer of ustawienia.ini decides (default no)",
     ApplySwitch<&Invocation::journal>},
    {"json", nullptr, "print JSON", ApplySwitch<&Invocation::json>},
    {"d", "D", "check: the balance's scale interval (readability), in its unit", ApplyKept},
    {"smallest-net", "M", "check: the smallest net weight the lab means to weigh", ApplyKept},
    {"safety-factor", "F", "check: safety factor on the minimum weight (default 2)", ApplyKept},
    {"weight", "ID", "check: the test weight of the register", ApplyKept},
    {"test-weight", "MASS", "check: the test weight's (conventional) mass", ApplyKept},
    {"tolerance-pct", "P", "check accuracy: tolerance in % of the test weight (default 0.10)",
     ApplyKept},
    {"tolerance", "T", "check eccentricity: largest deviation from the centre allowed", ApplyKept},
    {"warning", "W", "check: the warning limit, in the unit of the failure limit", ApplyKept},
    {"balance", "ID", "check: the balance of the register (default [CHECKS] balance)", ApplyKept},
    {"reader", "ROLE", "server init: make ROLE a role that can only read the lab database",
     ApplyText<&Invocation::reader>},
    {"listen", "HOST:PORT", "server web: address to serve on (default 127.0.0.1:8080)",
     ApplyText<&Invocation::listen>},
    {"password-file", "FILE", "server web: ask for one of the user:password lines of FILE",
     ApplyText<&Invocation::passwordFile>},
    {"tls-cert", "FILE", "server web: HTTPS with this PEM certificate",
     ApplyText<&Invocation::tlsCert>},
    {"tls-key", "FILE", "server web: the PEM key of --tls-cert", ApplyText<&Invocation::tlsKey>},
};

const OptionSpec* FindOption(const QString& name) {
    for (const OptionSpec& option : options)
        if (name == QLatin1String(option.name))
            return &option;
    return nullptr;
}

QString GeneralHelp() {
    QString help = QStringLiteral("Usage: trevalo VERB [options]\n\n"
                                  "Talks to the laboratory balance of Pomiar from scripts.\n\n"
                                  "Verbs:\n");
    for (const Verb& verb : Verbs())
        help += QStringLiteral("  %1 %2\n")
                    .arg(QString::fromLatin1(verb.name) + QLatin1String(" ") +
                             QString::fromLatin1(verb.operand ? verb.operand : ""),
                         -20)
                    .arg(QLatin1String(verb.summary));
    help += QStringLiteral("\n`trevalo VERB --help` shows the options of a verb.\n"
                           "Exit status: 0 success, 2 usage, 3 link could not be opened or "
                           "was lost (server: lab database off or unreachable), 4 no "
                           "reading in time, 5 file error, 6 the series does not verify, 7 a "
                           "balance check failed, 8 it verifies but readings older than its "
                           "journal are not vouched for.\n");
    return help;
}

QString VerbHelp(const Verb& verb) {
    QString help =
        QStringLiteral("Usage: trevalo %1%2 [options]\n\n%3.\n\nOptions:\n")
            .arg(QLatin1String(verb.name))
            .arg(verb.operand ? QStringLiteral(" ") + QLatin1String(verb.operand) : QString())
            .arg(QLatin1String(verb.summary));
    for (const QString& name : verb.options) {
        const OptionSpec* option = FindOption(name);
        const QString left = QStringLiteral("--") + name +
                             (option->value ? QStringLiteral(" ") + option->value : QString());
        help += QStringLiteral("  %1 %2\n").arg(left, -18).arg(QLatin1String(option->help));
    }
    help += QStringLiteral("  %1 %2\n").arg(QStringLiteral("--help"), -18).arg("this text");
    return help;
}

// The checks that concern the verb as a whole once every option is read.
QString CheckComplete(const Invocation& run, const Verb& verb, bool hasOperand) {
    if (verb.operand && !hasOperand)
        return QStringLiteral("%1 needs %2").arg(run.verb, QLatin1String(verb.operand));
    if (run.port && run.tcpHost)
        return QStringLiteral("--port and --tcp exclude each other");
    return verb.checkComplete ? verb.checkComplete(run) : QString();
}

} // namespace

int IntervalTicks(const QString& intervalText) {
    return Pomiar::CycleSettings::Ticks(
        Pomiar::CycleSettings::ValidateInterval(intervalText, QLocale::c()));
}

namespace {

// Reads one option of the verb at arguments[i] (its value may be the next
// argument, which moves i on). An error text, else empty.
QString ReadOption(const QStringList& arguments, int& i, const Verb& verb, Invocation& run) {
    QString name = arguments[i].mid(2);
    std::optional<QString> value;
    if (const qsizetype equals = name.indexOf(u'='); equals >= 0) {
        value = name.mid(equals + 1);
        name.truncate(equals);
    }
    const OptionSpec* option = FindOption(name);
    if (!option || !verb.options.contains(name))
        return QStringLiteral("%1 takes no option --%2").arg(run.verb, name);
    if (!option->value) {
        if (value)
            return QStringLiteral("--%1 takes no value").arg(name);
        return option->apply(run, name, QString());
    }
    if (!value) {
        if (++i >= arguments.size())
            return QStringLiteral("--%1 needs a value").arg(name);
        value = arguments[i];
    }
    if (verb.keepsOptionsAsTyped)
        run.checkOptions[name] = *value;
    return option->apply(run, name, *value);
}

// The arguments after the verb: its options and operand, or its help.
void ReadArguments(const QStringList& arguments, const Verb& verb, ParsedCommandLine& parsed) {
    Invocation& run = parsed.invocation;
    bool hasOperand = false;
    for (int i = 2; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            parsed.help = VerbHelp(verb);
            return;
        }
        if (!argument.startsWith(QLatin1String("--")) || argument == QLatin1String("--")) {
            if (!verb.operand || hasOperand) {
                parsed.error = QStringLiteral("unexpected argument: %1").arg(argument);
                return;
            }
            run.operand = argument;
            hasOperand = true;
            continue;
        }
        parsed.error = ReadOption(arguments, i, verb, run);
        if (!parsed.error.isEmpty())
            return;
    }
    parsed.error = CheckComplete(run, verb, hasOperand);
}

} // namespace

ParsedCommandLine ParseCommandLine(const QStringList& arguments) {
    ParsedCommandLine parsed;
    Invocation& run = parsed.invocation;
    if (arguments.size() < 2) {
        parsed.error = QStringLiteral("no verb given\n\n") + GeneralHelp();
        return parsed;
    }
    run.verb = arguments[1];
    if (run.verb == QLatin1String("--help") || run.verb == QLatin1String("-h") ||
        run.verb == QLatin1String("help")) {
        parsed.help = GeneralHelp();
        return parsed;
    }
    const Verb* verb = FindVerb(run.verb);
    if (!verb) {
        parsed.error = QStringLiteral("unknown verb: %1\n\n").arg(run.verb) + GeneralHelp();
        return parsed;
    }
    ReadArguments(arguments, *verb, parsed);
    return parsed;
}

} // namespace Trevalo
