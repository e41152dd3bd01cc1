#include "Verbs.h"

#include "Acquisition.h"
#include "Invocation.h"
#include "LinkSession.h"
#include "Station.h"
#include "VerbSupport.h"

#include <cstdio>
#include <functional>
#include <map>

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

int Connect(const Invocation& run, Station& station, LinkSession& link) {
    QString error;
    if (!LoadStation(run, station, &error))
        return Fail(FileFailed, error);
    if (!link.Open(station.link, &error))
        return Fail(LinkFailed, error);
    return Success;
}

int FinishStoring(Acquisition& acquisition, ReadingPrinter& printer, const QString& file) {
    QString failure;
    const bool allWritten = acquisition.StoreWaitingReadings(&failure);
    for (const PrintedReading& reading : acquisition.NewReadings())
        printer.Print(reading);
    if (allWritten)
        return Success;
    return Fail(FileFailed, file.isEmpty() ? failure : file + QStringLiteral(": ") + failure);
}

int RunVerb(const Invocation& run) {
    static const std::map<QString, std::function<int(const Invocation&)>> verbs{
        {QStringLiteral("ports"), RunPorts},   {QStringLiteral("read"), RunRead},
        {QStringLiteral("tare"), RunTare},     {QStringLiteral("send"), RunSend},
        {QStringLiteral("stream"), RunStream}, {QStringLiteral("log"), RunLog},
        {QStringLiteral("stats"), RunStats},   {QStringLiteral("export"), RunExport},
        {QStringLiteral("server"), RunServer},
    };
    const auto verb = verbs.find(run.verb);
    return verb == verbs.end() ? Fail(UsageError, QStringLiteral("unknown verb ") + run.verb)
                               : verb->second(run);
}

} // namespace Trevalo
