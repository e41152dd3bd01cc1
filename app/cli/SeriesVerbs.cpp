#include "CodePage1250.h"
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
#include <future>
#include <sqlite3.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

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

// A line appended to a CSV file as the export writes its lines: in the code
// page, ended by CR LF, on the disk before the file takes its name.
void AppendLine(const QString& path, const QString& line) {
    QFile file(path);
    const QByteArray bytes = CodePage1250::Encode(line + QStringLiteral("\r\n"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(bytes) != bytes.size() ||
        !file.flush() || ::fsync(file.handle()) != 0)
        throw std::runtime_error(file.errorString().toStdString());
}

// A read transaction on a read-only connection, ended when it goes.
class ReadTransaction {
public:
    explicit ReadTransaction(Database& database) : database(database) {
        sqlite3_exec(database.Handle(), "BEGIN", nullptr, nullptr, nullptr);
    }
    ~ReadTransaction() { sqlite3_exec(database.Handle(), "ROLLBACK", nullptr, nullptr, nullptr); }
    ReadTransaction(const ReadTransaction&) = delete;
    ReadTransaction& operator=(const ReadTransaction&) = delete;

private:
    Database& database;
};

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
        Database series(run.operand, Database::Journal::Rollback, Database::Access::ReadOnly);
        // One read transaction: the trailer vouches for the rows exported.
        ReadTransaction reading(series);
        // The read lock is taken by the first read.
        series.Scalar(QStringLiteral("SELECT count(*) FROM sqlite_master"));
        const Settings& settings = station.context.settings;
        const bool withTrailer = run.journal || settings.journalTrailer;
        // The journal is verified beside the export, on a connection of its
        // own, while this one's read lock keeps a writer of a file with a
        // rollback journal out: both read the same file. A file in WAL mode
        // may take commits meanwhile, so it is verified on this connection.
        const bool beside =
            withTrailer && series.Scalar(QStringLiteral("PRAGMA journal_mode"))
                                   .toString()
                                   .compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0;
        std::future<SeriesJournal::Verification> verified;
        if (beside)
            verified = std::async(std::launch::async,
                                  [path = run.operand] { return SeriesJournal::VerifyFile(path); });
        const QString trailer =
            withTrailer && !beside
                ? JournalIdentity::TrailerLine(JournalIdentity::Of(series, settings.nrWagi))
                : QString();
        const auto caption = [&station](const QString& column) {
            return ExportCaption(station.context, column);
        };
        try {
            SeriesFile::EksportCSV(series, part, caption, QLocale::system(), trailer);
        } catch (...) {
            if (verified.valid())
                verified.wait();
            throw;
        }
        if (beside) {
            const QString line =
                JournalIdentity::TrailerLine(JournalIdentity::Of(verified.get(), settings.nrWagi));
            if (QFileInfo::exists(part))
                AppendLine(part, line);
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
