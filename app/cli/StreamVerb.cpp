#include "ConsoleSession.h"
#include "Events.h"
#include "Invocation.h"
#include "StationSetup.h"
#include "VerbSupport.h"
#include "VerbTable.h"
#include "Verbs.h"

#include <QElapsedTimer>

namespace Trevalo {

// Continuous transmission until Ctrl+C, the duration or a lost link; the
// collected lines are then stored as the program stores them, and printed.
int RunStream(const Invocation& run, OpenStation& station) {
    ConsoleSession& console = station.console;
    QString error;
    if (!run.out.isEmpty() && !console.UseSeriesFile(run.out, &error))
        return Fail(FileFailed, run.out + ": " + error);
    Pomiar::AcquisitionSession& session = console.Session();
    bool stored = false;
    QObject::connect(&session, &Pomiar::AcquisitionSession::ContinuousStored,
                     [&stored](bool batchStored) { stored = batchStored; });
    QElapsedTimer transmission;
    transmission.start();
    session.ContinuousSwitch();
    // A lost link ends the transmission as if it were switched off: what
    // came is stored.
    Events::RunUntil([&] { return Events::Interrupted() || !session.ContinuousRunning(); },
                     run.durationMs.value_or(-1));
    if (session.ContinuousRunning())
        session.ContinuousSwitch();
    const double seconds = transmission.elapsed() / 1000.0;
    ReadingPrinter printer(run.format);
    if (const int code = FinishStoring(console, printer, run.out))
        return code;
    if (console.Lost())
        return Fail(LinkFailed, *console.Lost());
    // Fewer than two lines are told on their own.
    if (console.CollectedLines() == 0)
        return Fail(NoReading, QStringLiteral("the balance sent nothing in %1 s of continuous "
                                              "transmission")
                                   .arg(QString::number(seconds, 'f', 1)));
    if (stored)
        return Success;
    const Pomiar::MeasurementStore::ContinuousBatch& batch = console.Store().LastBatch();
    if (batch.AllTurnedAway())
        return Fail(NoReading, QStringLiteral("nothing stored: all %1 lines were turned away (%2)")
                                   .arg(batch.lines)
                                   .arg(batch.turnedAwayReason));
    return NoReading;
}

} // namespace Trevalo
