#include "Verbs.h"

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

int Connect(const Invocation& run, Station& station, LinkSession& link) {
    QString error;
    if (!LoadStation(run, station, &error))
        return Fail(FileFailed, error);
    if (!link.Open(station.link, &error))
        return Fail(LinkFailed, error);
    return Success;
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
