#include "Acquisition.h"
#include "Events.h"
#include "Invocation.h"
#include "LinkSession.h"
#include "Station.h"
#include "VerbSupport.h"
#include "Verbs.h"

#include <QElapsedTimer>

namespace Trevalo {

// Continuous transmission until Ctrl+C, the duration or a lost link; the
// collected lines are then stored as the program stores them, and printed.
int RunStream(const Invocation& run) {
    Events::CatchInterrupts();
    Station station;
    LinkSession link;
    if (const int code = Connect(run, station, link))
        return code;
    Acquisition acquisition(station, link);
    QString error;
    const bool ready = run.out.isEmpty() ? acquisition.UseTemporarySeries(&error)
                                         : acquisition.UseSeriesFile(run.out, &error);
    if (!ready)
        return Fail(FileFailed, (run.out.isEmpty() ? QString() : run.out + ": ") + error);
    QElapsedTimer transmission;
    transmission.start();
    acquisition.ContinuousOn();
    Events::RunUntil([&] { return Events::Interrupted() || link.Lost(); },
                     run.durationMs.value_or(-1));
    // A lost link ends the transmission as if it were switched off: what
    // came is stored.
    const bool stored = acquisition.ContinuousOff();
    const double seconds = transmission.elapsed() / 1000.0;
    ReadingPrinter printer(run.format);
    if (const int code = FinishStoring(acquisition, printer, run.out))
        return code;
    if (link.Lost())
        return Fail(LinkFailed, *link.Lost());
    // Fewer than two lines are told by the store itself.
    if (acquisition.CollectedLines() == 0)
        return Fail(NoReading, QStringLiteral("the balance sent nothing in %1 s of continuous "
                                              "transmission")
                                   .arg(QString::number(seconds, 'f', 1)));
    return stored ? Success : NoReading;
}

} // namespace Trevalo
