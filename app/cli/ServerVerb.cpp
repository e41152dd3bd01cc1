#include "Database.h"
#include "Invocation.h"
#include "LabServerCommands.h"
#include "LabServerSettings.h"
#include "MeasurementStore.h"
#include "StationSetup.h"
#include "VerbSupport.h"
#include "Verbs.h"

#include <cstdio>

namespace Trevalo {

using namespace Pomiar;

// ServerWebVerb.cpp
int RunServerWeb(const Invocation& run, const LabServerSettings& settings, const QString& iniPath);

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

// The schema first, so that the reader is granted every table of it.
int Init(const LabServerSettings& settings, const QString& reader) {
    const int made = Init(settings);
    if (made != Success)
        return made;
    const LabServerCommands::Outcome outcome = LabServerCommands::GrantReader(settings, reader);
    if (!outcome.ok)
        return FailOnServer(outcome.reason);
    std::printf("reader %s\n", qPrintable(reader));
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

// Every station's journal on the server, one line each.
int Verify(const LabServerSettings& settings) {
    const LabServerCommands::VerifyReport report = LabServerCommands::Verify(settings);
    if (!report.connection.ok)
        return FailOnServer(report.connection.reason);
    bool all = true;
    for (const LabServerCommands::StationJournal& journal : report.stations) {
        all = all && journal.verified;
        if (journal.verified)
            std::printf("station %s: verified, %lld entries, head %s\n",
                        qPrintable(journal.station), journal.entries,
                        journal.head.toHex().left(16).constData());
        else
            std::printf("station %s: NOT VERIFIED: %s\n", qPrintable(journal.station),
                        qPrintable(journal.where));
    }
    if (report.stations.isEmpty())
        std::printf("no station has a journal on the lab database\n");
    std::fflush(stdout);
    return all ? Success : NotVerified;
}

// A series file's journal against the server's copy: the file must first
// verify by its own journal, which a chain rewritten whole still does.
int VerifyFile(const LabServerSettings& settings, const QString& path) {
    LabServerCommands::FileComparison comparison;
    try {
        // Read only, as trevalo verify reads it: nothing is written to it.
        const SeriesJournal::Verification own = SeriesJournal::VerifyFile(path);
        if (own.state == SeriesJournal::Verification::State::NoJournal)
            return Fail(NotVerified, path + QStringLiteral(": no journal"));
        if (own.state == SeriesJournal::Verification::State::Broken)
            return Fail(NotVerified, path + QStringLiteral(": not verified: ") + own.where);
        Database file(path, Database::Journal::Rollback, Database::Access::ReadOnly);
        comparison = LabServerCommands::CompareFile(settings, file);
    } catch (const DatabaseError& failure) {
        return Fail(FileFailed, path + QStringLiteral(": ") + failure.Reason());
    }
    if (!comparison.connection.ok)
        return FailOnServer(comparison.connection.reason);
    if (!comparison.matches)
        return Fail(NotVerified, path + QStringLiteral(": ") + comparison.where);
    std::printf("matches the lab database (%lld entries)\n", comparison.entries);
    return Success;
}

} // namespace

// The shared lab database by hand: its schema made or upgraded, its state
// shown, or its journal verified. Switched off in the settings, nothing is connected.
int RunServer(const Invocation& run) {
    StationSetup station;
    QString error;
    if (!LoadStationSetup(run, station, &error))
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
    if (run.operand == QLatin1String("web"))
        return RunServerWeb(run, settings, ini);
    if (run.operand == QLatin1String("init"))
        return run.reader.isEmpty() ? Init(settings) : Init(settings, run.reader);
    if (run.operand == QLatin1String("verify"))
        return run.file.isEmpty() ? Verify(settings) : VerifyFile(settings, run.file);
    return Status(settings, station.context.programFolder);
}

} // namespace Trevalo
