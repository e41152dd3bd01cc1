#include "Invocation.h"
#include "LabServerCommands.h"
#include "LabServerSettings.h"
#include "MeasurementStore.h"
#include "Station.h"
#include "VerbSupport.h"
#include "Verbs.h"

#include <cstdio>

namespace Trevalo {

using namespace Pomiar;

namespace {

// libpq explains over several lines; a script reads one.
int FailOnServer(const QString& reason) {
    QStringList lines = reason.split(u'\n', Qt::SkipEmptyParts);
    for (QString& line : lines)
        line = line.trimmed();
    return Fail(LinkFailed, QStringLiteral("server: ") + lines.join(QStringLiteral("; ")));
}

int Init(const LabServerSettings& settings) {
    const LabServerCommands::Outcome outcome = LabServerCommands::Init(settings);
    if (!outcome.ok)
        return FailOnServer(outcome.reason);
    std::printf("schema version %d\n", outcome.schemaVersion);
    return Success;
}

void PrintCounts(const char* label, const QList<QPair<QString, int>>& counts) {
    for (const auto& [station, count] : counts)
        std::printf("%s\t%s\t%d\n", label, qPrintable(station), count);
}

// The queue is shown even when the server cannot be reached: that is when
// it grows.
int Status(const LabServerSettings& settings, const QString& programFolder) {
    const LabServerCommands::StatusReport report =
        LabServerCommands::Status(settings, MeasurementStore::WorkingDatabasePath(programFolder));
    const LabServerCommands::Outcome& connection = report.connection;
    std::printf("connection\t%s\nschema\t%d\n", connection.connected ? "ok" : "failed",
                connection.schemaVersion);
    PrintCounts("queued", report.queued);
    PrintCounts("server", report.onServer);
    std::fflush(stdout);
    return connection.ok ? Success : FailOnServer(connection.reason);
}

} // namespace

// The shared lab database by hand: its schema made or upgraded, or its
// state shown. Switched off in the settings, nothing is connected.
int RunServer(const Invocation& run) {
    Station station;
    QString error;
    if (!LoadStation(run, station, &error))
        return Fail(FileFailed, error);
    const QString ini = station.context.IniPath();
    LabServerSettings settings;
    try {
        settings = LabServerSettings::Read(ini, station.context.settings.nrWagi);
    } catch (const SettingsError& failure) {
        return Fail(FileFailed, QString::fromLocal8Bit(failure.what()));
    }
    if (!settings.enabled)
        return Fail(LinkFailed, QStringLiteral("server: the lab database is switched off "
                                               "(Enabled in [%1] of %2)")
                                    .arg(QLatin1String(LabServerSettings::Section), ini));
    return run.operand == QLatin1String("init") ? Init(settings)
                                                : Status(settings, station.context.programFolder);
}

} // namespace Trevalo
