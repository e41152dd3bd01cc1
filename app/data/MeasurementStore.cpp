#include "MeasurementStore.h"

#include "ContinuousSpool.h"
#include "Database.h"
#include "ErrorLog.h"
#include "FileLock.h"
#include "ProgramContext.h"
#include "ReportText.h"
#include "RunMark.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <sqlite3.h>
#include <utility>

namespace Pomiar {

namespace {

// The status stays NULL except for a mark (MinimumWeightRule::Mark).
const QString insertReading = QStringLiteral(
    "INSERT INTO pomiary (Lp, data, Godzina, Timer, Masa, Jm, LpTekst, Nr_wagi, status, Opis) "
    "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
const QString insertContinuousReading = QStringLiteral(
    "INSERT INTO pomiary (Lp, data, Godzina, Timer, Masa, Jm, LpTekst, Nr_wagi, status) "
    "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
const QString rowRefusedReason =
    QStringLiteral("the series file did not store the reading: a rule of the file (a trigger) "
                   "ignores new rows");
// How often readings that wait for a full disk are tried again.
constexpr int retryWaitingMs = 3000;

// Writes that belong together: all of them or none.
template <typename Writes> void inTransaction(Database& database, Writes writes) {
    database.Begin();
    try {
        writes();
        database.Commit();
    } catch (...) {
        database.Rollback();
        throw;
    }
}

void deleteSeriesRows(Database& database) {
    database.Execute(QStringLiteral("DELETE * FROM pomiary;"));
    database.Execute(QStringLiteral("DELETE * FROM raport;"));
    database.Execute(QStringLiteral("DELETE * FROM temp"));
}

// The series start the newest timed reading counts its Timer from.
std::optional<QDateTime> storedSeriesStart(Database& database) {
    const auto rows = database.Query(QStringLiteral(
        "SELECT Godzina, Timer FROM pomiary WHERE Timer IS NOT NULL ORDER BY rowid DESC LIMIT 1"));
    if (rows.rows.empty())
        return std::nullopt;
    const QDateTime time = Database::ParseDateTime(rows.rows.front().at(0));
    if (!time.isValid())
        return std::nullopt;
    return time.addSecs(-rows.rows.front().at(1).toLongLong());
}

// A series up to this long shows its statistics as it is bound; a longer
// one shows its first rows first and reads its values right after.
constexpr int valuesAtOnceUpTo = 10000;

} // namespace

MeasurementStore::MeasurementStore(ProgramContext& context, QObject* parent)
    : QObject(parent), context(context) {
    retryWaiting.setInterval(retryWaitingMs);
    connect(&retryWaiting, &QTimer::timeout, this, &MeasurementStore::StoreWaitingReadings);
    connect(&valuesPass, &ValuesPass::Found, this, &MeasurementStore::valuesFound);
}

MeasurementStore::~MeasurementStore() {
    WriteOpenedEntry();
    closeRetired();
}

void MeasurementStore::closeRetired() {
    if (retired && runStarted && workingMarkOwed && !WorkingDatabaseBound()) {
        try {
            inTransaction(*retired, [this] { RunMark::Set(*retired, false); });
            workingMarkOwed = false;
        } catch (const DatabaseError&) {
            // Tried again at the next binding.
        }
    }
    // The database closes before its lock goes (see FileLock).
    retired.reset();
    retiredLock.reset();
}

QString MeasurementStore::WorkingDatabasePath(const QString& programFolder) {
    return QDir(programFolder).filePath(QStringLiteral("dane.mdb"));
}

QString MeasurementStore::BoundPath() const {
    return bound ? bound->Path() : QString();
}

bool MeasurementStore::WorkingDatabaseBound() const {
    return bound && bound->Path() == WorkingDatabasePath(context.programFolder);
}

bool MeasurementStore::FirstReadingTimed() {
    try {
        return !bound->Scalar(QStringLiteral("select Timer from pomiary order by rowid limit 1"))
                    .isNull();
    } catch (const DatabaseError&) {
        return true;
    }
}

QString MeasurementStore::LpTekst(int row) {
    try {
        const QVariant text = bound->Scalar(
            QStringLiteral("select lptekst from pomiary where rowid = ?"), {model.RowId(row)});
        if (text.isValid())
            return text.toString();
    } catch (const DatabaseError&) {
    }
    return QString::number(model.Row(row).lp);
}

std::vector<int> MeasurementStore::NewestRows(int count) {
    std::vector<int> rows;
    loadValues();
    if (valuesLoaded && timesInOrder) {
        for (int row = model.Count() - 1; row >= 0 && int(rows.size()) < count; --row)
            rows.push_back(row);
        return rows;
    }
    try {
        // Newest first; of two readings with the same time the later row.
        bound->QueryRows(
            QStringLiteral("select rowid from pomiary order by godzina desc, rowid desc limit ?"),
            [&](const Database::RowView& row) { rows.push_back(model.RowOf(row.Integer(0))); },
            {count});
        rows.erase(std::remove(rows.begin(), rows.end(), -1), rows.end());
    } catch (const DatabaseError&) {
        rows.clear();
        for (int row = model.Count() - 1; row >= 0 && int(rows.size()) < count; --row)
            rows.push_back(row);
    }
    return rows;
}

QString MeasurementStore::StoredReport() {
    try {
        return ReportText::Stored(*bound).value_or(QString());
    } catch (const DatabaseError&) {
        return {};
    }
}

void MeasurementStore::OtworzMagazyn() {
    const QString path = WorkingDatabasePath(context.programFolder);
    dropWaiting();
    bound.reset();
    boundLock.reset();
    leftByLastRun = 0;
    // Two runs on one working database would clear each other's series,
    // and the running one's mark would read as an unclean end.
    if (FileLock::InUse(path))
        throw DatabaseError(SQLITE_BUSY,
                            QStringLiteral("The working database is in use by another running "
                                           "program: %1")
                                .arg(QDir::toNativeSeparators(path)));
    Database(path).CreateSchema();
    KompaktujBaze(path);
    bound = std::make_unique<Database>(path);
    boundLock = std::make_unique<FileLock>(path, FileLock::Mode::Shared);
    runStarted = true;
    recoveredLines = 0;
    if (RunMark::LeftUnfinished(*bound)) {
        model.Bind(*bound);
        forgetValues();
        seriesStart = storedSeriesStart(*bound);
        recoveredLines = recoverSpooledLines();
    }
    const int left = RunMark::ReadingsLeft(*bound);
    inTransaction(*bound, [this, left] {
        if (left == 0)
            startSeries(*bound);
        ContinuousSpool::Clear(*bound);
        RunMark::Set(*bound, true);
    });
    model.Bind(*bound);
    forgetValues();
    seriesStart.reset();
    WyczyscStatystyke();
    if (left == 0)
        return;
    // Read when first needed, as for any bound series.
    valuesLoaded = false;
    leftByLastRun = left;
    seriesStart = storedSeriesStart(*bound);
}

int MeasurementStore::recoverSpooledLines() {
    ContinuousSpool::Contents spooled;
    try {
        spooled = ContinuousSpool::Read(*bound);
    } catch (const DatabaseError& error) {
        ErrorLog::ZapiszLog(context.programFolder, QStringLiteral("MeasurementStore"),
                            QStringLiteral("recoverSpooledLines"), error.Reason());
        return 0;
    }
    if (spooled.lines.empty() || !spoolReader)
        return 0;
    // The lines count from the start the transmission had; rows already
    // there keep theirs.
    if (!seriesStart)
        seriesStart = spooled.seriesStart;
    for (const AcceptedReading& reading :
         spoolReader->ReadSpooled(spooled.lines, spooled.family).readings)
        queue(reading);
    clearSpoolWithWaiting = true;
    const int readings = int(waiting.size());
    // A database that refuses them now keeps the spool for the next start.
    const bool stored = storeWaiting();
    dropWaiting();
    return stored ? readings : 0;
}

void MeasurementStore::SpoolLine(const QByteArray& frame, const QDateTime& received,
                                 const QString& family) {
    if (!runStarted || !WorkingDatabaseBound())
        return;
    try {
        ContinuousSpool::Append(*bound, frame, received, seriesStart, family);
    } catch (const DatabaseError& error) {
        ErrorLog::ZapiszLog(context.programFolder, QStringLiteral("MeasurementStore"),
                            QStringLiteral("SpoolLine"), error.Reason());
    }
}

void MeasurementStore::KeepLeftReadings() {
    leftByLastRun = 0;
    showBoundSeries();
    emit SeriesChanged();
}

void MeasurementStore::NowaSeria() {
    if (!WorkingDatabaseBound())
        bind(std::make_unique<Database>(WorkingDatabasePath(context.programFolder)));
    dropWaiting();
    leftByLastRun = 0;
    emptySeriesTables(*bound);
    model.Clear();
    seriesStart.reset();
    WyczyscStatystyke();
    forgetValues();
    emit SeriesChanged();
}

void MeasurementStore::ClearSeriesTables() {
    Database working(WorkingDatabasePath(context.programFolder));
    // The series and the mark of the running program go together.
    inTransaction(working, [this, &working] {
        startSeries(working);
        RunMark::Set(working, false);
    });
}

void MeasurementStore::markWorkingSeries() {
    // While a series file is bound its readings go into that file, and the
    // rows left in the working database are no longer the series: a crash
    // then leaves nothing there to offer. That mark is made on the working
    // database's connection as it is let go (closeRetired); only one that
    // failed there is made here.
    try {
        if (WorkingDatabaseBound()) {
            RunMark::Set(*bound, true);
            workingMarkOwed = true;
        } else if (workingMarkOwed && !retired) {
            Database working(WorkingDatabasePath(context.programFolder));
            RunMark::Set(working, false);
            workingMarkOwed = false;
        }
    } catch (const DatabaseError&) {
        // Only the offer after an unclean end depends on the mark.
    }
}

void MeasurementStore::emptySeriesTables(Database& database) {
    inTransaction(database, [this, &database] { startSeries(database); });
}

void MeasurementStore::bind(std::unique_ptr<Database> database) {
    // Everything that can fail comes first, so that a failure leaves the
    // series bound as it was.
    auto lock = std::make_unique<FileLock>(database->Path(), FileLock::Mode::Shared);
    model.Bind(*database);
    dropWaiting();
    // The open of the file now let go still gets its entry.
    WriteOpenedEntry();
    // The working database let go for a series file is marked and closed
    // once the new series has been painted: its close folds its log back
    // into the file, with flushes, and opening it again only for the mark
    // would cost that twice.
    if (WorkingDatabaseBound() && database->Path() != bound->Path()) {
        closeRetired();
        retiredLock = std::move(boundLock);
        retired = std::move(bound);
        QTimer::singleShot(0, this, [this] { closeRetired(); });
    }
    // The old database closes before its lock goes (see FileLock).
    bound.reset();
    boundLock = std::move(lock);
    bound = std::move(database);
    leftByLastRun = 0;
    if (runStarted)
        markWorkingSeries();
}

void MeasurementStore::OtworzBaze(const QString& path, OpenedEntry entry,
                                  std::unique_ptr<Database> opened) {
    // A series file is written straight through, whole after every reading.
    bind(opened && opened->Path() == path
             ? std::move(opened)
             : std::make_unique<Database>(path, Database::Journal::Rollback));
    openedEntry.emplace(QFileInfo(path).fileName().toUtf8(), QDateTime::currentDateTime());
    if (entry == OpenedEntry::Now)
        WriteOpenedEntry();
    followStoredStart();
    showBoundSeries();
}

void MeasurementStore::followStoredStart() {
    // Readings taken into an opened series go on counting its Timer from
    // where its own readings count it, not from the next reading.
    try {
        seriesStart = storedSeriesStart(*bound);
    } catch (const DatabaseError&) {
        seriesStart.reset();
    }
}

void MeasurementStore::WriteOpenedEntry() {
    if (!openedEntry || !bound)
        return;
    const auto [data, at] = *std::exchange(openedEntry, std::nullopt);
    try {
        record(*bound, SeriesJournal::Event::SeriesOpened, data, at);
    } catch (const DatabaseError& error) {
        // A file that cannot be written is still shown.
        ErrorLog::ZapiszLog(context.programFolder, QStringLiteral("MeasurementStore"),
                            QStringLiteral("Record"), error.Reason());
    }
}

void MeasurementStore::SetLimits(const AcceptanceLimits& accepted) {
    if (accepted == limits)
        return;
    limits = accepted;
    emit AcceptanceChanged();
    const auto limit = [](bool on, const QString& text) {
        return on ? text.toUtf8() : QByteArrayLiteral("off");
    };
    Record(SeriesJournal::Event::SettingChanged,
           SeriesJournal::JoinFields({"limits", limit(limits.minOn, limits.minText),
                                      limit(limits.maxOn, limits.maxText)}));
}

void MeasurementStore::startSeries(Database& database, int carried) {
    deleteSeriesRows(database);
    // Lines kept for a batch of the former series belong to none now.
    ContinuousSpool::Clear(database);
    record(database, SeriesJournal::Event::SeriesStarted, QByteArray::number(carried));
}

void MeasurementStore::record(Database& database, SeriesJournal::Event event,
                              const QByteArray& data, const QDateTime& at) {
    // The open of a file comes before whatever is written to it next.
    if (openedEntry && bound && &database == bound.get())
        WriteOpenedEntry();
    // The entry and what the observer makes of it go together.
    const auto write = [&] {
        const QList<SeriesJournal::Entry> written = SeriesJournal::Append(
            database, SeriesJournal::Author::Here(context.settings.nrWagi), event, data, at);
        if (observer)
            for (const SeriesJournal::Entry& entry : written)
                observer->JournalWritten(database, entry);
    };
    if (database.InTransaction())
        write();
    else
        inTransaction(database, write);
}

void MeasurementStore::Record(SeriesJournal::Event event, const QByteArray& data) {
    if (!bound)
        return;
    try {
        record(*bound, event, data);
    } catch (const DatabaseError& error) {
        ErrorLog::ZapiszLog(context.programFolder, QStringLiteral("MeasurementStore"),
                            QStringLiteral("Record"), error.Reason());
    }
}

void MeasurementStore::OpenForViewing(const QString& path) {
    Database file(path, Database::Journal::Rollback, Database::Access::ReadOnly);
    std::unique_ptr<Database> working;
    if (!WorkingDatabaseBound())
        working = std::make_unique<Database>(WorkingDatabasePath(context.programFolder));
    copySeries(file, working ? *working : *bound);
    if (working) {
        bind(std::move(working));
    } else {
        dropWaiting();
        model.Bind(*bound);
    }
    followStoredStart();
    showBoundSeries();
}

void MeasurementStore::copySeries(Database& file, Database& target) {
    inTransaction(target, [&] {
        startSeries(target, file.Scalar(QStringLiteral("SELECT count(*) FROM pomiary")).toInt());
        file.QueryEach(
            QStringLiteral("SELECT Lp, data, Godzina, Timer, Masa, Jm, LpTekst, Nr_wagi, status, "
                           "Opis FROM pomiary ORDER BY rowid"),
            [&target](const QVariantList& row) { target.Execute(insertReading, row); });
        const QVariant report =
            file.Scalar(QStringLiteral("SELECT Raport FROM raport ORDER BY rowid LIMIT 1"));
        if (report.isValid())
            target.Execute(QStringLiteral("INSERT INTO raport (Raport) VALUES (?)"), {report});
    });
}

void MeasurementStore::showBoundSeries() {
    forgetValues();
    valuesLoaded = false;
    if (model.Count() <= valuesAtOnceUpTo) {
        showBoundStatistics();
        return;
    }
    // Read away from the window, which shows the rows meanwhile; the
    // figures of the series before are not this one's.
    if (!statistics.lblLiczba.isEmpty())
        WyczyscStatystyke();
    valuesPass.Start(bound->Path());
}

void MeasurementStore::valuesFound(const std::shared_ptr<SeriesValues>& found) {
    takeValues(std::move(*found));
    showPassStatistics();
}

void MeasurementStore::showPassStatistics() {
    if (!valuesLoaded)
        return;
    if (model.Count() > 1 && model.Row(0).jm.trimmed() != QLatin1String("%"))
        ObliczStatystyke();
    else
        WyczyscStatystyke();
}

void MeasurementStore::showBoundStatistics() {
    // The values always mirror the bound rows, so later readings extend the
    // right series; statistics need two rows and no moisture readings.
    loadValues();
    if (model.Count() > 1 && model.Row(0).jm.trimmed() != QLatin1String("%"))
        ObliczStatystyke();
    else
        WyczyscStatystyke();
}

void MeasurementStore::forgetValues() {
    ++bindings;
    valuesPass.Cancel();
    storedDuringPass.clear();
    // A long series' values are given back to the system once the window
    // has painted what it shows now: that frees pages on every core, which
    // would otherwise hold up the first rows of the next series.
    if (running.Count() > valuesAtOnceUpTo)
        QTimer::singleShot(0, this,
                           [gone = std::make_shared<RunningStatistics>(
                                std::exchange(running, RunningStatistics()))] {});
    else
        running.Clear();
    valuesLoaded = true;
    timesInOrder = true;
    lastTime.clear();
}

void MeasurementStore::followTime(std::string_view stored) {
    // A time missing or earlier than the last one sorts elsewhere.
    if (stored.empty() || stored < lastTime)
        timesInOrder = false;
    lastTime.assign(stored);
}

void MeasurementStore::loadValues() {
    if (valuesLoaded)
        return;
    // A pass already running is waited for rather than made twice, and
    // shows the statistics it was to show when done.
    if (valuesPass.Running()) {
        takeValues(valuesPass.Take());
        showPassStatistics();
        return;
    }
    takeValues(ValuesPass::Read(*bound));
}

void MeasurementStore::takeValues(SeriesValues found) {
    const std::vector<StoredDuringPass> stored = std::move(storedDuringPass);
    storedDuringPass.clear();
    if (!found.read) {
        // Tried again when next needed; until then the statistics keep what
        // they show rather than figures of part of the series.
        return;
    }
    for (const StoredDuringPass& row : stored) {
        if (row.rowid > found.lastId)
            found.Add(row.rowid, row.masa, row.lp, row.timer, row.time);
    }
    if (found.gaps || found.Count() != model.Count())
        model.Settle(found.Count(), std::move(found.ids));
    timesInOrder = found.timesInOrder;
    lastTime = std::move(found.lastTime);
    const bool any = found.Count() > 0;
    running.Assign(std::move(found.masses));
    valuesLoaded = true;
    if (any)
        model.ConsiderWidest(std::vector<int>(found.extremes.begin(), found.extremes.end()));
}

const std::vector<double>& MeasurementStore::Values() {
    loadValues();
    return running.Values();
}

const RunningStatistics& MeasurementStore::Running() {
    loadValues();
    return running;
}

bool MeasurementStore::KompaktujBaze(const QString& path) {
    try {
        // Compaction leaves a file with its rollback journal, as closing
        // does; a working database still open elsewhere keeps its WAL.
        Database(path, Database::Journal::Rollback).Compact();
        return true;
    } catch (const DatabaseError&) {
        return false;
    }
}

void MeasurementStore::SetMassFormat(const QString& format) {
    model.SetMassFormat(format);
}

void MeasurementStore::SetMinimumWeight(const std::optional<MinimumWeightRule>& limit) {
    if (limit == minimumWeight)
        return;
    minimumWeight = limit;
    emit AcceptanceChanged();
    Record(SeriesJournal::Event::SettingChanged,
           limit ? limit->JournalData()
                 : SeriesJournal::JoinFields({"minimum weight", QByteArrayLiteral("off")}));
}

std::optional<MinimumWeightRule> MeasurementStore::MinimumWeightForAcceptance() const {
    std::optional<MinimumWeightRule> limit = minimumWeight;
    if (limit && checkInProgress)
        limit->refuse = false;
    return limit;
}

bool MeasurementStore::DodajPomiar(const AcceptedReading& reading) {
    // Moisture readings get no statistics.
    if (reading.unit == QLatin1String("%") && !statistics.lblLiczba.isEmpty())
        WyczyscStatystyke();
    queue(reading);
    if (!storeWaiting())
        return false;
    afterStored();
    return true;
}

void MeasurementStore::queue(const AcceptedReading& reading) {
    const bool line = reading.batchLine > 0;
    SeriesRow row;
    // A single reading is numbered by the count of rows; a batch's lines
    // follow the last number.
    if (!line)
        row.lp = model.Count() + WaitingReadings() + 1;
    else if (!waiting.empty())
        row.lp = waiting.back().row.lp + 1;
    else
        row.lp = model.Count() > 0 ? model.Row(model.Count() - 1).lp + 1 : 1;
    row.data = reading.time.date();
    row.godzina = reading.time;
    // A line counts from the transmission's start, never before it; a
    // single reading starts the series when it has none.
    if (line)
        row.timer = seriesStart ? std::max(0, TimerOf(*seriesStart, row.godzina)) : 0;
    else
        row.timer = Timer(reading.time);
    row.masa = reading.mass;
    row.jm = reading.unit.trimmed().left(3);
    if (reading.description)
        row.opis = *reading.description;
    row.status = reading.status;
    row.stable = reading.stable;
    waiting.push_back({row, QString::number(line ? reading.batchLine : row.lp),
                       reading.description.has_value(), reading.frame});
}

int MeasurementStore::Timer(const QDateTime& time) {
    if (!seriesStart)
        seriesStart = time;
    return TimerOf(*seriesStart, time);
}

bool MeasurementStore::storeWaiting() {
    if (waiting.empty())
        return true;
    // Read before the new rows are in the database, which would read them
    // twice; a pass running on its own thread is told of them instead.
    if (!valuesPass.Running())
        loadValues();
    std::vector<SeriesRow> written;
    written.reserve(waiting.size());
    try {
        inTransaction(*bound, [&] {
            for (const WaitingReading& reading : waiting)
                written.push_back(writeWaiting(reading));
            if (clearSpoolWithWaiting)
                ContinuousSpool::Clear(*bound);
        });
    } catch (const DatabaseError& error) {
        retryWaiting.start();
        if (!waitingTold) {
            // Told before the user answers: readings keep arriving meanwhile.
            waitingTold = true;
            emit StoreFailed(error.Reason(), WaitingReadings());
        }
        return false;
    }
    dropWaiting();
    clearSpoolWithWaiting = false;
    for (SeriesRow& row : written) {
        if (valuesLoaded) {
            running.Add(row.masa);
            followTime(Database::DateTimeText(row.godzina).toStdString());
        } else if (valuesPass.Running()) {
            storedDuringPass.push_back({row.rowid, row.masa, row.lp, row.timer,
                                        Database::DateTimeText(row.godzina).toStdString()});
        }
        model.Append(std::move(row));
    }
    return true;
}

SeriesRow MeasurementStore::writeWaiting(const WaitingReading& reading) {
    SeriesRow row = reading.row;
    QVariantList parameters{row.lp,
                            Database::DateText(row.data),
                            Database::DateTimeText(row.godzina),
                            row.timer,
                            row.masa,
                            row.jm,
                            reading.lpText,
                            context.settings.nrWagi.left(2),
                            row.status.isEmpty() ? QVariant() : row.status};
    if (reading.writeOpis)
        parameters << row.opis;
    // A file whose rules ignore the row (a trigger) must not pass for one
    // that stored it.
    if (bound->Execute(reading.writeOpis ? insertReading : insertContinuousReading, parameters) ==
        0)
        throw DatabaseError(SQLITE_CONSTRAINT, QStringLiteral("row ignored"), rowRefusedReason);
    // Read before the hook: what it inserts moves the last row id.
    row.rowid = bound->LastInsertRowId();
    record(*bound, SeriesJournal::Event::ReadingStored,
           SeriesJournal::ReadingData(row.lp, row.masa, row.jm, reading.frame, row.timer,
                                      reading.lpText, reading.writeOpis ? row.opis : QString(),
                                      row.status),
           row.godzina);
    if (observer)
        observer->ReadingWritten(*bound, reading.row, seriesStart, BoundPath());
    return row;
}

void MeasurementStore::dropWaiting() {
    waiting.clear();
    waitingTold = false;
    retryWaiting.stop();
}

bool MeasurementStore::StoreWaitingReadings() {
    const bool anyWaiting = !waiting.empty();
    if (!storeWaiting())
        return false;
    if (anyWaiting)
        afterStored();
    return true;
}

void MeasurementStore::afterStored() {
    emit SeriesChanged();
    // While the values are read on their own thread, the statistics come
    // with them.
    if (liveStatistics && model.Count() > 1 && !valuesPass.Running() &&
        model.Row(model.Count() - 1).jm.trimmed() != QLatin1String("%"))
        ObliczStatystyke();
}

bool MeasurementStore::DodajPomiary(const ReadingBatch& batch) {
    lastBatch = ContinuousBatch{};
    lastBatch.lines = batch.lines;
    if (batch.lines < 2)
        return false;
    lastBatch.taken = int(batch.readings.size());
    lastBatch.turnedAwayReason = batch.turnedAwayReason;
    for (const AcceptedReading& reading : batch.readings)
        queue(reading);
    // One transaction for the batch, with the spooled lines going: a
    // reading appears in the grid only once it is in the database.
    if (waiting.empty())
        forgetSpool();
    else
        clearSpoolWithWaiting = WorkingDatabaseBound();
    if (storeWaiting() && model.Count() > 1)
        ObliczStatystyke();
    emit SeriesChanged();
    return lastBatch.taken > 0;
}

void MeasurementStore::forgetSpool() {
    if (!runStarted || !WorkingDatabaseBound())
        return;
    try {
        ContinuousSpool::Clear(*bound);
    } catch (const DatabaseError& error) {
        ErrorLog::ZapiszLog(context.programFolder, QStringLiteral("MeasurementStore"),
                            QStringLiteral("forgetSpool"), error.Reason());
    }
}

void MeasurementStore::SetDescription(int row, const QString& opis) {
    const SeriesRow& shown = model.Row(row);
    const QByteArray change = SeriesJournal::JoinFields(
        {QByteArray::number(shown.lp), shown.opis.toUtf8(), opis.toUtf8()});
    inTransaction(*bound, [&] {
        bound->Execute(QStringLiteral("UPDATE pomiary SET Opis = ? WHERE rowid = ?"),
                       {opis, model.RowId(row)});
        record(*bound, SeriesJournal::Event::DescriptionSet, change);
    });
    model.SetDescription(row, opis);
    if (observer)
        observer->DescriptionWritten(model.Row(row).lp, opis);
}

ReportText::SaveResult MeasurementStore::SaveReport(const QString& report) {
    const auto result = ReportText::Save(*bound, report);
    if (result == ReportText::SaveResult::Saved) {
        // The journal keeps the report's digest, so that a report edited
        // behind the program's back is found.
        Record(SeriesJournal::Event::ReportSaved,
               QCryptographicHash::hash(report.toUtf8(), QCryptographicHash::Sha256));
        if (observer)
            observer->ReportStored(report);
    }
    return result;
}

void MeasurementStore::ObliczStatystyke() {
    loadValues();
    if (!valuesLoaded || running.Count() < 2)
        return;
    statistics = running.Fields(model.MassFormat(), locale);
    emit StatisticsChanged(statistics);
}

void MeasurementStore::WyczyscStatystyke() {
    statistics = StatisticsFields{};
    emit StatisticsChanged(statistics);
}

} // namespace Pomiar
