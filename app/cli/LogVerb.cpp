#include "ConsoleSession.h"
#include "CycleGate.h"
#include "CycleSettings.h"
#include "Database.h"
#include "Events.h"
#include "Invocation.h"
#include "LabServer.h"
#include "PerUserSettings.h"
#include "StationSetup.h"
#include "VerbSupport.h"
#include "VerbTable.h"
#include "Verbs.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>

namespace Trevalo {

using namespace Pomiar;

namespace {

// The cycle windows of --cycle: one window a line, "START STOP" in whole
// seconds from the series start; blank lines and lines from "#" on skipped.
// They are kept as the program keeps its windows, so the same checks refuse
// overlapping or reversed ones. An empty text when they are usable.
QString LoadCycleWindows(const QString& path, CycleGate& gate) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return file.errorString();
    int number = 0;
    while (!file.atEnd()) {
        ++number;
        const QString line = QString::fromUtf8(file.readLine()).section(u'#', 0, 0).simplified();
        if (line.isEmpty())
            continue;
        const QStringList fields = line.split(u' ');
        bool startOk = false, stopOk = false;
        const int start = fields.value(0).toInt(&startOk);
        const int stop = fields.value(1).toInt(&stopOk);
        try {
            if (fields.size() != 2 || !startOk || !stopOk)
                throw std::invalid_argument("not two whole numbers");
            gate.Insert(start, stop);
        } catch (const std::exception&) {
            return QStringLiteral("line %1: not a window \"START STOP\" after the ones before "
                                  "(whole seconds, START above 0, STOP not below START, no "
                                  "overlap)")
                .arg(number);
        }
    }
    gate.Reload();
    gate.LoadFirstRange();
    return {};
}

// What the lab database's sender is given at the end of a log to empty the
// queue before the run ends.
constexpr int labServerDrainMs = 10000;

// The lab database when [LabServer] switches it on: readings are queued in
// the station's working database, as the program queues them, and sent from
// there; what a run leaves queued the next run of either sends. False with
// the reason.
bool StartLabFeed(Pomiar::Station& station, QString* error) {
    try {
        station.StartLabFeed();
        return true;
    } catch (const SettingsError& failure) {
        *error = QString::fromLocal8Bit(failure.what());
    } catch (const DatabaseError& failure) {
        *error = failure.Reason();
    }
    return false;
}

// Waits a while for the sender to send what is queued in the station's
// working database, and tells what is left.
void DrainLabServer(const StationSetup& station) {
    int queued = -1;
    try {
        Database working(MeasurementStore::WorkingDatabasePath(station.context.programFolder));
        LabServerOutbox::CreateTable(working);
        const QString count =
            QStringLiteral("SELECT count(*) FROM ") + QLatin1String(LabServerOutbox::Table);
        Events::RunUntil(
            [&] {
                queued = working.Scalar(count).toInt();
                return queued == 0;
            },
            labServerDrainMs);
    } catch (const DatabaseError& failure) {
        Warn(QStringLiteral("the lab database's queue cannot be read: ") + failure.Reason());
        return;
    }
    if (queued != 0)
        Warn(QStringLiteral("%1 rows wait for the lab database; the program or the next log "
                            "sends them")
                 .arg(queued));
}

// The interval's half-second ticks: --interval, else the station's stored
// one; at least one tick, as the cycle settings allow.
int LogTicks(const Invocation& run, const StationSetup& station) {
    if (!run.intervalText.isEmpty())
        return IntervalTicks(run.intervalText);
    return CycleSettings::StoredTicks(PerUserSettings(station.context.applicationTitle));
}

// Cycle work over the windows of a file: the windows live in a database of
// the run's own.
struct CycleWork {
    QTemporaryDir scratch;
    std::unique_ptr<Database> database;
    std::unique_ptr<CycleGate> gate;
    bool ended = false;
};

// Loads the cycle windows of file and switches cycle work on; the reason
// when they cannot be used.
QString StartCycleWork(const QString& file, AcquisitionSession& session, CycleWork& cycle) {
    try {
        cycle.database = std::make_unique<Database>(cycle.scratch.filePath(QStringLiteral("cykl")));
        cycle.database->CreateSchema();
        cycle.gate = std::make_unique<CycleGate>(*cycle.database);
    } catch (const DatabaseError& failure) {
        return failure.Reason();
    }
    const QString error = LoadCycleWindows(file, *cycle.gate);
    if (!error.isEmpty())
        return file + QStringLiteral(": ") + error;
    session.SetCycleWindows(cycle.gate.get());
    session.SetCycleWork(true);
    QObject::connect(&session, &AcquisitionSession::CycleEnded, [&cycle] { cycle.ended = true; });
    return {};
}

} // namespace

int RunLog(const Invocation& run, OpenStation& station) {
    ConsoleSession& console = station.console;
    const int ticks = LogTicks(run, station.setup);
    if (ticks <= 0)
        return Fail(UsageError, QStringLiteral("log needs --interval S (at least 0.5)"));
    QString error;
    if (!console.UseSeriesFile(run.out, &error))
        return Fail(FileFailed, run.out + QStringLiteral(": ") + error);
    if (!StartLabFeed(console.Assembly(), &error))
        return Fail(FileFailed, error);
    const bool labFeed = console.Assembly().LabFeed() != nullptr;
    AcquisitionSession& session = console.Session();

    CycleWork cycle;
    if (!run.cycleFile.isEmpty()) {
        error = StartCycleWork(run.cycleFile, session, cycle);
        if (!error.isEmpty())
            return Fail(FileFailed, error);
    }

    ReadingPrinter printer(run.format);
    // A balance that stops answering is told once, and again when it
    // answers: not at every request.
    QTimer unanswered;
    unanswered.setSingleShot(true);
    bool silent = false;
    QObject::connect(&unanswered, &QTimer::timeout, [&] {
        if (!console.Lost() && !silent)
            Warn(console.NoReplyText(run.timeoutMs) + QStringLiteral(", asking on"));
        silent = !console.Lost();
    });
    QObject::connect(&session, &AcquisitionSession::ReplyHandled, [&] {
        unanswered.stop();
        if (silent)
            Warn(QStringLiteral("the balance answers again"));
        silent = false;
        for (const PrintedReading& reading : console.NewReadings())
            printer.Print(reading);
    });
    QObject::connect(&session, &AcquisitionSession::ReadingRequested, [&] {
        if (!unanswered.isActive())
            unanswered.start(run.timeoutMs);
    });
    console.linkLost = [](const QString& reason) { Warn(reason + QStringLiteral(", reopening")); };
    console.linkBack = [] { Warn(QStringLiteral("link back")); };
    session.SetInterval(ticks);
    session.Start();
    Events::RunUntil([&] { return Events::Interrupted() || cycle.ended; }, -1);
    session.Stop();
    if (cycle.ended)
        Warn(QStringLiteral("end of the cycle"));
    const int stored = FinishStoring(console, printer, run.out);
    if (labFeed)
        DrainLabServer(station.setup);
    // Before the link closes: its closing is no entry of this log's feed.
    console.Assembly().StopLabFeed();
    return stored;
}

} // namespace Trevalo
