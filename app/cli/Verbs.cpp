#include "Verbs.h"

#include "ConsoleSession.h"
#include "Invocation.h"
#include "StationSetup.h"
#include "VerbSupport.h"
#include "VerbTable.h"

#include <cstdio>

namespace Trevalo {

int Fail(ExitCode code, const QString& message) {
    std::fprintf(stderr, "trevalo: %s\n", qPrintable(message));
    return code;
}

void Warn(const QString& message) {
    std::fprintf(stderr, "trevalo: %s\n", qPrintable(message));
}

QString SecondsText(int ms) {
    return QString::number(ms / 1000.0);
}

int LoadSettings(const Invocation& run, StationSetup& station) {
    QString error;
    return LoadStationSetup(run, station, &error) ? Success : Fail(FileFailed, error);
}

int Connect(ConsoleSession& console) {
    QString error;
    return console.Open(&error) ? Success : Fail(LinkFailed, error);
}

int FinishStoring(ConsoleSession& console, ReadingPrinter& printer, const QString& file) {
    QString failure;
    const bool allWritten = console.StoreWaitingReadings(&failure);
    for (const PrintedReading& reading : console.NewReadings())
        printer.Print(reading);
    if (allWritten)
        return Success;
    return Fail(FileFailed, file.isEmpty() ? failure : file + QStringLiteral(": ") + failure);
}

int RunVerb(const Invocation& run) {
    const Verb* verb = FindVerb(run.verb);
    return verb ? RunVerb(*verb, run)
                : Fail(UsageError, QStringLiteral("unknown verb ") + run.verb);
}

} // namespace Trevalo
