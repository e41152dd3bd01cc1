// The balance families against the simulator on a pseudo-terminal:
//  - detection: how long asking takes when the balance answers the first
//    family asked and when it answers only the last (goals 1 s and 3 s);
//  - continuous transmission through the acquisition engine into a series,
//    10 and 50 lines a second at 9600 and 38400 Bd in every family: every
//    line that arrived must be stored.
// A pseudo-terminal has no line speed: the rate is set as a real port's
// would be, and the bytes per second stay below what 9600 Bd carries.
#include "AcquisitionSession.h"
#include "DialectDetector.h"
#include "MeasurementStore.h"
#include "ProgramContext.h"

#include <Mordal/Comm.h>
#include <Mordal/ControlFactory.h>
#include <Mordal/DelayPumping.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

using namespace Pomiar;

namespace {

constexpr int Port = 1;
constexpr double GoalFirstSeconds = 1.0;
constexpr double GoalLastSeconds = 3.0;
constexpr int StreamSeconds = 4;

// The simulator serving COM<Port> in the given family; false when it did
// not come up.
bool StartSimulator(QProcess& simulator, const QString& ports, const QString& family,
                    const QStringList& extra = {}) {
    simulator.start(QCoreApplication::applicationDirPath() + "/balance-sim",
                    QStringList{"--com", QString::number(Port), "--port-dir", ports, "--dialect",
                                family, "--mass", "12.5", "--decimals", "2"} +
                        extra);
    return simulator.waitForStarted(5000) && simulator.waitForReadyRead(5000);
}

void Stop(QProcess& simulator) {
    simulator.terminate();
    simulator.waitForFinished(5000);
}

LinkSettings Serial(int baud, const QString& family) {
    LinkSettings link;
    link.type = 2;
    link.comm = Port;
    link.speed = baud;
    link.dialect = *BalanceDialect::Named(family);
    return link;
}

// Detects the family the simulator speaks; the seconds it took, or -1 when
// it found another.
double DetectionSeconds(const QString& ports, const QString& family, const Settings& settings,
                        const QStringList& extra = {}) {
    QProcess simulator;
    if (!StartSimulator(simulator, ports, family, extra))
        return -1;
    QElapsedTimer clock;
    clock.start();
    DialectDetector detector(settings);
    DialectDetector::Result found;
    QEventLoop detecting;
    QObject::connect(&detector, &DialectDetector::Finished, &detecting,
                     [&](const DialectDetector::Result& result) {
                         found = result;
                         detecting.quit();
                     });
    detector.Start(Serial(9600, family));
    if (detector.Running())
        detecting.exec();
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    Stop(simulator);
    return found.dialect && found.dialect->Name() == family ? seconds : -1;
}

struct StreamRun {
    // Reading lines among what was collected.
    int collected = 0;
    int stored = 0;
};

// Continuous transmission for StreamSeconds: the lines collected and the
// rows the series got.
StreamRun Stream(const QString& ports, const QString& family, int baud, int rate) {
    StreamRun run;
    QProcess simulator;
    // That family prints on its own; the program cannot switch it.
    const QStringList extra = family == "sbi" ? QStringList{"--autoprint"} : QStringList{};
    if (!StartSimulator(simulator, ports, family,
                        extra + QStringList{"--rate", QString::number(rate)}))
        return run;
    QTemporaryDir folder;
    ProgramContext context;
    context.programFolder = folder.path();
    MeasurementStore store(context);
    store.OtworzMagazyn();
    QObject holder;
    auto* comm = qobject_cast<Mordal::Comm*>(
        Mordal::CreateControl(QString::fromLatin1(Mordal::CommTypeName), &holder));
    AcquisitionSession session(context, comm, store);
    // Acknowledgements ("C1", ACK) are collected too, but they are no lines
    // to store.
    QObject::connect(&session, &AcquisitionSession::LineCollected,
                     [&run, &session](const QByteArray& frame) {
                         if (session.Dialect().ReadContinuous(QString::fromLatin1(frame)))
                             ++run.collected;
                     });
    if (session.OpenLink(Serial(baud, family))) {
        session.ContinuousSwitch();
        Mordal::DelayPumping(StreamSeconds * 1000);
        session.ContinuousSwitch();
        run.stored = store.RowCount();
    }
    session.Close();
    Stop(simulator);
    return run;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QTemporaryDir ports;
    qputenv("MORDAL_PORTS", ports.path().toLocal8Bit());
    Settings settings;
    bool met = true;

    std::printf("dialects: detection at 9600 Bd (families asked in the order sics, ad, sbi, "
                "ohaus, default)\n");
    for (const QString& family : BalanceDialect::Names()) {
        const double seconds = DetectionSeconds(ports.path(), family, settings);
        const bool first = family == "sics";
        const bool last = family == "default";
        const double goal = first ? GoalFirstSeconds : last ? GoalLastSeconds : 0;
        const bool ok = seconds >= 0 && (goal == 0 || seconds <= goal);
        met = met && ok;
        std::printf("  %-8s %6.3f s%s%s\n", qPrintable(family), seconds,
                    goal > 0 ? qPrintable(QStringLiteral("   goal <= %1 s").arg(goal)) : "",
                    ok ? "" : "   <-- missed");
    }

    // The worst case: a balance of the last family asked that ignores the
    // other families' requests instead of refusing them, so each waits its
    // whole time-out.
    QTemporaryDir scriptFolder;
    QFile script(scriptFolder.filePath("silent.txt"));
    script.open(QIODevice::WriteOnly);
    script.write("I4 =>\n?SN =>\n\\eP =>\nIP =>\n");
    script.close();
    const double silent =
        DetectionSeconds(ports.path(), "default", settings, {"--script", script.fileName()});
    const bool silentOk = silent >= 0 && silent <= GoalLastSeconds;
    met = met && silentOk;
    std::printf("  %-8s %6.3f s   goal <= %g s (silent to the other requests)%s\n", "default",
                silent, GoalLastSeconds, silentOk ? "" : "   <-- missed");

    std::printf("dialects: continuous transmission for %d s into a series\n", StreamSeconds);
    std::printf("  %-8s %6s %6s %10s %8s\n", "family", "Bd", "line/s", "collected", "stored");
    for (const QString& family : BalanceDialect::Names())
        for (const int baud : {9600, 38400})
            for (const int rate : {10, 50}) {
                const StreamRun run = Stream(ports.path(), family, baud, rate);
                // Lines at a steady rate: at least most of the seconds'
                // worth must have come, and every one must be stored.
                const bool ok =
                    run.collected >= rate * (StreamSeconds - 1) && run.stored == run.collected;
                met = met && ok;
                std::printf("  %-8s %6d %6d %10d %8d%s\n", qPrintable(family), baud, rate,
                            run.collected, run.stored,
                            ok ? "" : "   <-- every line must be stored");
            }
    return met ? EXIT_SUCCESS : EXIT_FAILURE;
}
