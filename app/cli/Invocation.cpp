#include "Invocation.h"

#include "BalanceDialect.h"
#include "CycleSettings.h"

#include <QLocale>
#include <QRegularExpression>
#include <cmath>

namespace Trevalo {

namespace {

struct VerbSpec {
    const char* name;
    const char* operand; // nullptr: none
    const char* summary;
    QStringList options;
};

// Automatic work's tick.
constexpr int tickMs = int(Pomiar::CycleSettings::MinimumInterval * 1000);

const QStringList linkOptions{"port", "tcp", "baud", "dialect", "dir", "station", "timeout"};

const QList<VerbSpec>& Verbs() {
    static const QList<VerbSpec> verbs{
        {"ports", nullptr, "list the serial ports, free or busy", {"json"}},
        {"read", nullptr, "take readings, each printed as it arrives",
         linkOptions + QStringList{"unstable", "count", "interval", "format"}},
        {"tare", nullptr, "tare the balance", linkOptions},
        {"detect",
         nullptr,
         "ask the balance which command family it speaks",
         {"port", "tcp", "baud", "dir", "station"}},
        {"send", "TEXT", "send a raw command, print the replies", linkOptions},
        {"stream", nullptr, "continuous transmission until Ctrl+C or the duration",
         linkOptions + QStringList{"duration", "format", "out"}},
        {"log", nullptr, "automatic work into a series file",
         linkOptions + QStringList{"interval", "cycle", "out", "format"}},
        {"stats", "SERIES.ser", "the statistics of a series file", {"dir", "json"}},
        {"export", "SERIES.ser", "export a series file as CSV", {"dir", "csv", "journal"}},
        {"verify",
         "SERIES.ser",
         "check a series file (or the working database) against its journal",
         {"dir"}},
        {"check", "repeatability|accuracy|eccentricity",
         "run a balance check, prompting before each weighing; stored in the register",
         linkOptions + QStringList{"count", "d", "smallest-net", "safety-factor", "weight",
                                   "test-weight", "tolerance-pct", "tolerance", "warning",
                                   "balance", "format"}},
        {"server",
         "init|status|verify",
         "lab database: init its schema, its status and queue, or verify its journal",
         {"dir", "station", "file"}},
    };
    return verbs;
}

struct OptionSpec {
    const char* name;
    const char* value; // nullptr: a switch
    const char* help;
};

const QList<OptionSpec> options{
    {"port", "N", "serial port N (COM<N>: the port folder, else the fixed device table)"},
    {"tcp", "HOST:PORT", "a TCP link (a network-to-serial converter)"},
    {"baud", "RATE", "baud rate of the serial port"},
    {"dialect", "NAME",
     "the balance's command family: default, sics (Mettler Toledo, KERN), sbi (Sartorius), "
     "ad (A&D) or ohaus"},
    {"dir", "DIR", "program folder with ustawienia.ini"},
    {"station", "N", "station number (Nr_wagi)"},
    {"timeout", "S", "seconds a request waits for its reply (default 1)"},
    {"unstable", nullptr, "immediate readings (CMD_SEND_UNSTABLE) instead of stable ones"},
    {"count", "N", "number of readings (default 1)"},
    {"interval", "S", "seconds between requests (read: default 0; log: 0.5 or a multiple)"},
    {"format", "FMT", "text, csv or json (default text)"},
    {"duration", "S", "end continuous transmission after S seconds"},
    {"cycle", "FILE", "cycle windows: lines \"START STOP\" in seconds from the first reading"},
    {"out", "FILE", "series file (*.ser) the readings go into"},
    {"csv", "FILE", "CSV file to write"},
    {"file", "FILE", "server verify: compare this series file's journal with the server's"},
    {"journal", nullptr,
     "end the CSV with a \"# journal: ...\" line (station, user, time, journal rows and "
     "head); without it, [EXPORT] journalTrailer of ustawienia.ini decides (default no)"},
    {"json", nullptr, "print JSON"},
    {"d", "D", "check: the balance's scale interval (readability), in its unit"},
    {"smallest-net", "M", "check: the smallest net weight the lab means to weigh"},
    {"safety-factor", "F", "check: safety factor on the minimum weight (default 2)"},
    {"weight", "ID", "check: the test weight of the register"},
    {"test-weight", "MASS", "check: the test weight's (conventional) mass"},
    {"tolerance-pct", "P", "check accuracy: tolerance in % of the test weight (default 0.10)"},
    {"tolerance", "T", "check eccentricity: largest deviation from the centre allowed"},
    {"warning", "W", "check: the warning limit, in the unit of the failure limit"},
    {"balance", "ID", "check: the balance of the register (default [CHECKS] balance)"},
};

const OptionSpec* FindOption(const QString& name) {
    for (const OptionSpec& option : options)
        if (name == QLatin1String(option.name))
            return &option;
    return nullptr;
}

const VerbSpec* FindVerb(const QString& name) {
    for (const VerbSpec& verb : Verbs())
        if (name == QLatin1String(verb.name))
            return &verb;
    return nullptr;
}

QString GeneralHelp() {
    QString help = QStringLiteral("Usage: trevalo VERB [options]\n\n"
                                  "Talks to the laboratory balance of Pomiar from scripts.\n\n"
                                  "Verbs:\n");
    for (const VerbSpec& verb : Verbs())
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

QString VerbHelp(const VerbSpec& verb) {
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

// The options in seconds, kept in milliseconds: what they accept.
struct SecondsRange {
    const char* name;
    double lowest;
    double highest;
};
constexpr double week = 7 * 24 * 3600;
constexpr SecondsRange secondsOptions[] = {
    {"timeout", 0.001, 3600},
    {"interval", 0, week},
    {"duration", 0.001, week},
};

// Milliseconds, rounded; nothing outside the range or not a number.
std::optional<int> Milliseconds(const QString& text, const SecondsRange& range) {
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || !(seconds >= range.lowest && seconds <= range.highest))
        return std::nullopt;
    return int(std::llround(seconds * 1000));
}

// Stores one option's value; an error text when the value is unusable.
QString Apply(Invocation& run, const QString& name, const QString& value) {
    const auto wholeNumber = [&value](int low, int high) -> std::optional<int> {
        bool ok = false;
        const int number = value.toInt(&ok);
        return ok && number >= low && number <= high ? std::optional<int>(number) : std::nullopt;
    };
    const QString bad = QStringLiteral("invalid value for --%1: %2").arg(name, value);
    if (run.verb == QLatin1String("check"))
        run.checkOptions[name] = value;
    if (name == QLatin1String("port")) {
        run.port = wholeNumber(1, 256);
        return run.port ? QString() : bad;
    }
    if (name == QLatin1String("tcp")) {
        static const QRegularExpression hostPort(QStringLiteral("^(.+):(\\d{1,5})$"));
        const auto match = hostPort.match(value);
        const int port = match.hasMatch() ? match.captured(2).toInt() : 0;
        if (port < 1 || port > 65535)
            return bad;
        run.tcpHost = match.captured(1);
        run.tcpPort = port;
        return {};
    }
    if (name == QLatin1String("baud")) {
        run.baud = wholeNumber(1, 4000000);
        return run.baud ? QString() : bad;
    }
    if (name == QLatin1String("dialect")) {
        if (!Pomiar::BalanceDialect::Named(value))
            return bad + QStringLiteral(" (one of %1)")
                             .arg(Pomiar::BalanceDialect::Names().join(QStringLiteral(", ")));
        run.dialect = value;
        return {};
    }
    if (name == QLatin1String("station")) {
        if (!wholeNumber(0, 99))
            return bad;
        run.station = value;
        return {};
    }
    if (name == QLatin1String("dir")) {
        run.folderArguments = {QStringLiteral("--dir"), value};
        return {};
    }
    if (name == QLatin1String("count")) {
        const auto count = wholeNumber(1, 100000000);
        run.count = count.value_or(0);
        return count ? QString() : bad;
    }
    if (name == QLatin1String("format")) {
        if (value == QLatin1String("text"))
            run.format = OutputFormat::Text;
        else if (value == QLatin1String("csv"))
            run.format = OutputFormat::Csv;
        else if (value == QLatin1String("json"))
            run.format = OutputFormat::Json;
        else
            return bad;
        return {};
    }
    for (const SecondsRange& range : secondsOptions) {
        if (name != QLatin1String(range.name))
            continue;
        const auto ms = Milliseconds(value, range);
        if (!ms)
            return bad + QStringLiteral(" (seconds from %1 to %2)")
                             .arg(QString::number(range.lowest), QString::number(range.highest));
        if (name == QLatin1String("timeout"))
            run.timeoutMs = *ms;
        else if (name == QLatin1String("interval")) {
            run.intervalMs = *ms;
            run.intervalText = value;
        } else
            run.durationMs = *ms;
        return {};
    }
    if (name == QLatin1String("cycle"))
        run.cycleFile = value;
    else if (name == QLatin1String("out"))
        run.out = value;
    else if (name == QLatin1String("csv"))
        run.csv = value;
    else if (name == QLatin1String("file"))
        run.file = value;
    return {};
}

// The checks that concern the verb as a whole once every option is read.
QString CheckComplete(const Invocation& run, const VerbSpec& verb, bool hasOperand) {
    if (verb.operand && !hasOperand)
        return QStringLiteral("%1 needs %2").arg(run.verb, QLatin1String(verb.operand));
    if (run.verb == QLatin1String("server") && run.operand != QLatin1String("init") &&
        run.operand != QLatin1String("status") && run.operand != QLatin1String("verify"))
        return QStringLiteral("server needs init, status or verify, not %1").arg(run.operand);
    if (!run.file.isEmpty() && run.operand != QLatin1String("verify"))
        return QStringLiteral("--file goes with server verify only");
    if (run.port && run.tcpHost)
        return QStringLiteral("--port and --tcp exclude each other");
    if (run.verb == QLatin1String("log") && run.out.isEmpty())
        return QStringLiteral("log needs --out SERIES.ser");
    if (run.verb == QLatin1String("log") && !run.intervalText.isEmpty()) {
        // Automatic work asks at whole ticks: an interval between them would
        // silently become another one.
        const int kept = IntervalTicks(run.intervalText) * tickMs;
        if (kept != run.intervalMs)
            return QStringLiteral("log asks the balance every %1 s or a multiple of it: "
                                  "--interval %2 would ask every %3 s")
                .arg(QString::number(Pomiar::CycleSettings::MinimumInterval), run.intervalText,
                     QString::number(kept / 1000.0));
    }
    if (run.verb == QLatin1String("check") && run.operand != QLatin1String("repeatability") &&
        run.operand != QLatin1String("accuracy") && run.operand != QLatin1String("eccentricity"))
        return QStringLiteral("check needs repeatability, accuracy or eccentricity, not %1")
            .arg(run.operand);
    if (run.verb == QLatin1String("check") && run.format == OutputFormat::Csv)
        return QStringLiteral("check prints text or json, not csv");
    if (run.verb == QLatin1String("export") && run.csv.isEmpty())
        return QStringLiteral("export needs --csv FILE");
    return {};
}

} // namespace

int IntervalTicks(const QString& intervalText) {
    return Pomiar::CycleSettings::Ticks(
        Pomiar::CycleSettings::ValidateInterval(intervalText, QLocale::c()));
}

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
    const VerbSpec* verb = FindVerb(run.verb);
    if (!verb) {
        parsed.error = QStringLiteral("unknown verb: %1\n\n").arg(run.verb) + GeneralHelp();
        return parsed;
    }
    bool hasOperand = false;
    for (int i = 2; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            parsed.help = VerbHelp(*verb);
            return parsed;
        }
        if (!argument.startsWith(QLatin1String("--")) || argument == QLatin1String("--")) {
            if (!verb->operand || hasOperand) {
                parsed.error = QStringLiteral("unexpected argument: %1").arg(argument);
                return parsed;
            }
            run.operand = argument;
            hasOperand = true;
            continue;
        }
        QString name = argument.mid(2);
        std::optional<QString> value;
        if (const qsizetype equals = name.indexOf(u'='); equals >= 0) {
            value = name.mid(equals + 1);
            name.truncate(equals);
        }
        const OptionSpec* option = FindOption(name);
        if (!option || !verb->options.contains(name)) {
            parsed.error = QStringLiteral("%1 takes no option --%2").arg(run.verb, name);
            return parsed;
        }
        if (!option->value) {
            if (value) {
                parsed.error = QStringLiteral("--%1 takes no value").arg(name);
                return parsed;
            }
            if (name == QLatin1String("unstable"))
                run.unstable = true;
            else if (name == QLatin1String("journal"))
                run.journal = true;
            else
                run.json = true;
            continue;
        }
        if (!value) {
            if (++i >= arguments.size()) {
                parsed.error = QStringLiteral("--%1 needs a value").arg(name);
                return parsed;
            }
            value = arguments[i];
        }
        parsed.error = Apply(run, name, *value);
        if (!parsed.error.isEmpty())
            return parsed;
    }
    parsed.error = CheckComplete(run, *verb, hasOperand);
    return parsed;
}

} // namespace Trevalo
