#include "Acquisition.h"
#include "Events.h"
#include "Invocation.h"
#include "LinkSession.h"
#include "Station.h"
#include "VerbSupport.h"
#include "Verbs.h"

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
    acquisition.ContinuousOn();
    const int durationMs = run.durationSeconds ? int(*run.durationSeconds * 1000) : -1;
    Events::RunUntil([&] { return Events::Interrupted() || link.Lost(); }, durationMs);
    // A lost link ends the transmission as if it were switched off: what
    // came is stored.
    const bool stored = acquisition.ContinuousOff();
    ReadingPrinter printer(run.format);
    for (const PrintedReading& reading : acquisition.NewReadings())
        printer.Print(reading);
    if (link.Lost())
        return Fail(LinkFailed, *link.Lost());
    return stored ? Success : NoReading;
}

} // namespace Trevalo
