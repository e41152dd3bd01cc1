#include "ConsoleDialogs.h"
#include "Database.h"
#include "Invocation.h"
#include "JournalIdentity.h"
#include "LanguageTexts.h"
#include "ProgramFolder.h"
#include "SeriesFile.h"
#include "SeriesJournal.h"
#include "StationSetup.h"
#include "VerbSupport.h"
#include "Verbs.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sqlite3.h>
#include <sys/stat.h>

namespace Trevalo {

using namespace Pomiar;

namespace {

// The statistics in the order of the program's panel, by their names here.
const std::pair<const char*, QString StatisticsFields::*> statisticNames[] = {
    {"count", &StatisticsFields::lblLiczba},
    {"max", &StatisticsFields::lblMax},
    {"min", &StatisticsFields::lblMin},
    {"mean", &StatisticsFields::lblSrednia},
    {"std_dev", &StatisticsFields::lblOStd},
    {"mean_abs_dev", &StatisticsFields::lblOSrenie},
    {"sum_sq_dev", &StatisticsFields::lblOKwadrat},
    {"variance", &StatisticsFields::lblWar},
    {"variance_est", &StatisticsFields::lblEWar},
    {"std_dev_est", &StatisticsFields::lblEOdch},
    {"sum", &StatisticsFields::lblSuma},
};

// The station's settings, and the series file the run names, which trevalo
// may read: Success, or the exit code with the reason told. Only read: a
// verb that reads a file leaves it as it was.
int LoadStationAndFile(const Invocation& run, StationSetup& station) {
    QString reason;
    if (!LoadStationSetup(run, station, &reason))
        return Fail(FileFailed, reason);
    const QString& path = run.operand;
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return Fail(FileFailed,
                    path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno)));
    // A named pipe would block the open, a device never end.
    if (!S_ISREG(status.st_mode))
        return Fail(FileFailed, path + QStringLiteral(": not a regular file"));
    try {
        Database file(path, Database::Journal::Rollback, Database::Access::ReadOnly);
        if (!file.HasTable(QStringLiteral("raport")) || !file.HasTable(QStringLiteral("pomiary")))
            return Fail(FileFailed, path + QStringLiteral(": not a series file"));
    } catch (const DatabaseError& failure) {
        return Fail(FileFailed,
                    path + QStringLiteral(": ") +
                        (failure.code == SQLITE_NOTADB ? QStringLiteral("not a series file")
                                                       : failure.Reason()));
    }
    return Success;
}

void PrintStatistics(const StatisticsFields& fields, bool json) {
    if (json) {
        QJsonObject object;
        for (const auto& [name, field] : statisticNames)
            object.insert(QLatin1String(name), fields.*field);
        std::fputs(QJsonDocument(object).toJson(QJsonDocument::Indented).constData(), stdout);
        return;
    }
    for (const auto& [name, field] : statisticNames)
        std::printf("%s\t%s\n", name, (fields.*field).toUtf8().constData());
}

} // namespace

int RunStats(const Invocation& run) {
    StationSetup station;
    if (const int code = LoadStationAndFile(run, station))
        return code;
    // The file is only read: its rows are shown in a working database of
    // this run, as the program shows a file it may not write.
    QTemporaryDir scratch;
    ConsoleDialogs dialogs;
    ProgramContext context = station.context;
    context.programFolder = scratch.path();
    context.dialogs = &dialogs;
    MeasurementStore store(context);
    store.SetMassFormat(station.massFormat);
    try {
        store.OtworzMagazyn();
        store.OpenForViewing(run.operand);
    } catch (const DatabaseError& failure) {
        return Fail(FileFailed, run.operand + QStringLiteral(": ") + failure.Reason());
    }
    // The values of a long series are read on a thread of their own after
    // its first rows: waited for here.
    store.Values();
    PrintStatistics(store.Statistics(), run.json);
    return Success;
}

int RunVerify(const Invocation& run) {
    StationSetup station;
    QString reason;
    if (!LoadStationSetup(run, station, &reason))
        return Fail(FileFailed, reason);
    // Read on a connection that writes nothing, not even the file's
    // journal mode: what is checked stays as it was.
    SeriesJournal::Verification verified;
    try {
        verified = SeriesJournal::VerifyFile(run.operand);
    } catch (const DatabaseError& failure) {
        return Fail(FileFailed,
                    run.operand + QStringLiteral(": ") +
                        (failure.code == SQLITE_NOTADB ? QStringLiteral("not a series file")
                                                       : failure.Reason()));
    }
    switch (verified.state) {
    case SeriesJournal::Verification::State::NoJournal:
        return Fail(NotVerified, run.operand + QStringLiteral(": no journal"));
    case SeriesJournal::Verification::State::Broken:
        return Fail(NotVerified, run.operand + QStringLiteral(": not verified: ") + verified.where);
    case SeriesJournal::Verification::State::Verified:
        break;
    }
    std::printf("verified: %lld journal rows, head %s\n", verified.rows,
                verified.head.toHex().constData());
    std::fflush(stdout);
    if (verified.readingsBefore > 0)
        Warn(run.operand + QStringLiteral(": NOT VOUCHED FOR: the first %1 readings are older "
                                          "than the journal")
                               .arg(verified.readingsBefore));
    if (verified.readingsPartly > 0)
        Warn(run.operand + QStringLiteral(": NOT VOUCHED FOR: the Timer and LpTekst of %1 "
                                          "readings (their journal entries, of an earlier "
                                          "version, hold neither)")
                               .arg(verified.readingsPartly));
    if (verified.reportBefore)
        Warn(run.operand + QStringLiteral(": NOT VOUCHED FOR: the report is older than the "
                                          "journal"));
    return verified.Unvouched() ? NotVouched : Success;
}

int RunExport(const Invocation& run) {
    StationSetup station;
    if (const int code = LoadStationAndFile(run, station))
        return code;
    QString error;
    // The captions come from the program folder's language file, filled
    // from the shipped ones on first use as the program's start does.
    ProgramFolder::Prepare(
        station.context.programFolder,
        ProgramFolder::ShippedLanguageFolder(QCoreApplication::applicationDirPath()), &error);
    // An export starts anew, with its header, in a folder of its own beside
    // the target: the target is replaced only by a complete export.
    const QFileInfo target(run.csv);
    const QString targetPath = target.isSymLink() ? target.symLinkTarget() : run.csv;
    QTemporaryDir beside(QFileInfo(targetPath).absolutePath() + QStringLiteral("/.trevalo-XXXXXX"));
    if (!beside.isValid())
        return Fail(FileFailed, run.csv + QStringLiteral(": ") + beside.errorString());
    const QString part = beside.filePath(QFileInfo(targetPath).fileName());
    try {
        const Settings& settings = station.context.settings;
        const auto caption = [&station](const QString& column) {
            return ExportCaption(station.context, column);
        };
        if (run.journal || settings.journalTrailer) {
            // One pass: the verifier hands each row it reads to the CSV, so
            // the trailer vouches for exactly the rows exported, read in the
            // verifier's one read transaction.
            SeriesJournal::Verification verified;
            SeriesFile::EksportCSV(
                [&](const Database::RowViewVisitor& visit) {
                    verified = SeriesJournal::VerifyFile(run.operand, visit);
                },
                part, caption, QLocale::system(),
                [&] {
                    return JournalIdentity::TrailerLine(
                        JournalIdentity::Of(verified, settings.nrWagi));
                });
        } else {
            Database series(run.operand, Database::Journal::Rollback, Database::Access::ReadOnly);
            SeriesFile::EksportCSV(series, part, caption, QLocale::system());
        }
    } catch (const DatabaseError& failure) {
        return Fail(FileFailed, run.operand + QStringLiteral(": ") + failure.Reason());
    } catch (const std::exception& failure) {
        return Fail(FileFailed,
                    run.csv + QStringLiteral(": ") + SeriesFile::FailureReason(failure));
    }
    if (!QFileInfo::exists(part)) {
        Warn(run.operand + QStringLiteral(": no readings, nothing exported"));
        return Success;
    }
    if (target.exists())
        QFile::setPermissions(part, QFile::permissions(targetPath));
    if (std::rename(QFile::encodeName(part).constData(),
                    QFile::encodeName(targetPath).constData()) != 0)
        return Fail(FileFailed,
                    run.csv + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno)));
    return Success;
}

} // namespace Trevalo
