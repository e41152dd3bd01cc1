#include "VerbTable.h"

#include "ConsoleSession.h"
#include "CycleSettings.h"
#include "Events.h"
#include "Invocation.h"
#include "StationSetup.h"
#include "VerbSupport.h"
#include "Verbs.h"

namespace Trevalo {

namespace {

const QStringList linkOptions{"port", "tcp", "baud", "dialect", "dir", "station", "timeout"};

QString CheckServer(const Invocation& run) {
    if (run.operand != QLatin1String("init") && run.operand != QLatin1String("status") &&
        run.operand != QLatin1String("verify") && run.operand != QLatin1String("web"))
        return QStringLiteral("server needs init, status, verify or web, not %1").arg(run.operand);
    if (!run.file.isEmpty() && run.operand != QLatin1String("verify"))
        return QStringLiteral("--file goes with server verify only");
    if (!run.reader.isEmpty() && run.operand != QLatin1String("init"))
        return QStringLiteral("--reader goes with server init only");
    if ((!run.listen.isEmpty() || !run.passwordFile.isEmpty() || !run.tlsCert.isEmpty() ||
         !run.tlsKey.isEmpty()) &&
        run.operand != QLatin1String("web"))
        return QStringLiteral("--listen, --password-file, --tls-cert and --tls-key go with "
                              "server web only");
    if (run.tlsCert.isEmpty() != run.tlsKey.isEmpty())
        return QStringLiteral("--tls-cert and --tls-key go together");
    return {};
}

QString CheckLog(const Invocation& run) {
    if (run.out.isEmpty())
        return QStringLiteral("log needs --out SERIES.ser");
    if (run.intervalText.isEmpty())
        return {};
    // Automatic work asks at whole ticks: an interval between them would
    // silently become another one.
    constexpr int tickMs = int(Pomiar::CycleSettings::MinimumInterval * 1000);
    const int kept = IntervalTicks(run.intervalText) * tickMs;
    if (kept == run.intervalMs)
        return {};
    return QStringLiteral("log asks the balance every %1 s or a multiple of it: "
                          "--interval %2 would ask every %3 s")
        .arg(QString::number(Pomiar::CycleSettings::MinimumInterval), run.intervalText,
             QString::number(kept / 1000.0));
}

QString CheckBalanceCheck(const Invocation& run) {
    if (run.operand != QLatin1String("repeatability") && run.operand != QLatin1String("accuracy") &&
        run.operand != QLatin1String("eccentricity"))
        return QStringLiteral("check needs repeatability, accuracy or eccentricity, not %1")
            .arg(run.operand);
    if (run.format == OutputFormat::Csv)
        return QStringLiteral("check prints text or json, not csv");
    return {};
}

QString CheckExport(const Invocation& run) {
    return run.csv.isEmpty() ? QStringLiteral("export needs --csv FILE") : QString();
}

} // namespace

const QList<Verb>& Verbs() {
    static const QList<Verb> verbs{
        {"ports", nullptr, "list the serial ports, free or busy", {"json"}, RunPorts},
        {"read", nullptr, "take readings, each printed as it arrives",
         linkOptions + QStringList{"unstable", "count", "interval", "format"}, nullptr, RunRead,
         true},
        {"tare", nullptr, "tare the balance", linkOptions, nullptr, RunTare},
        {"detect",
         nullptr,
         "ask the balance which command family it speaks",
         {"port", "tcp", "baud", "dir", "station"},
         RunDetect},
        {"send", "TEXT", "send a raw command, print the replies", linkOptions, nullptr, RunSend,
         true},
        {"stream", nullptr, "continuous transmission until Ctrl+C or the duration",
         linkOptions + QStringList{"duration", "format", "out"}, nullptr, RunStream, true},
        {"log", nullptr, "automatic work into a series file",
         linkOptions + QStringList{"interval", "cycle", "out", "format"}, nullptr, RunLog, true,
         CheckLog},
        {"stats", "SERIES.ser", "the statistics of a series file", {"dir", "json"}, RunStats},
        {"export",
         "SERIES.ser",
         "export a series file as CSV",
         {"dir", "csv", "journal"},
         RunExport,
         nullptr,
         false,
         CheckExport},
        {"verify",
         "SERIES.ser",
         "check a series file (or the working database) against its journal",
         {"dir"},
         RunVerify},
        {"check", "repeatability|accuracy|eccentricity",
         "run a balance check, prompting before each weighing; stored in the register",
         linkOptions + QStringList{"count", "d", "smallest-net", "safety-factor", "weight",
                                   "test-weight", "tolerance-pct", "tolerance", "warning",
                                   "balance", "format"},
         RunCheck, nullptr, false, CheckBalanceCheck, true},
        {"server",
         "init|status|verify|web",
         "lab database: init its schema, its status and queue, verify its journal, or serve "
         "its live web view",
         {"dir", "station", "file", "reader", "listen", "password-file", "tls-cert", "tls-key"},
         RunServer,
         nullptr,
         false,
         CheckServer},
    };
    return verbs;
}

const Verb* FindVerb(const QString& name) {
    for (const Verb& verb : Verbs())
        if (name == QLatin1String(verb.name))
            return &verb;
    return nullptr;
}

int RunVerb(const Verb& verb, const Invocation& run) {
    if (verb.catchesInterrupts)
        Events::CatchInterrupts();
    if (verb.runner)
        return verb.runner(run);
    // The prologue of every verb that works on the balance: the settings,
    // then the link, each failure told with its own exit status.
    StationSetup setup;
    if (const int code = LoadSettings(run, setup))
        return code;
    ConsoleSession console(setup);
    if (const int code = Connect(console))
        return code;
    OpenStation station{setup, console};
    return verb.stationRunner(run, station);
}

} // namespace Trevalo
