#pragma once

#include "AcceptanceLimits.h"
#include "AcceptedReading.h"
#include "MinimumWeightRule.h"
#include "Progress.h"
#include "ReportText.h"
#include "RunningStatistics.h"
#include "SeriesJournal.h"
#include "SeriesModel.h"
#include "SeriesStatistics.h"
#include "ValuesPass.h"

#include <QDateTime>
#include <QLocale>
#include <QObject>
#include <QString>
#include <QTimer>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Pomiar {

class Database;
class FileLock;
struct ProgramContext;

// Told of what the store writes, as it writes it. ReadingWritten runs inside
// the transaction that writes the reading: what it writes to the database
// commits or rolls back with the reading.
class StoreObserver {
public:
    virtual ~StoreObserver() = default;
    // seriesStart: the series start the reading's Timer counts from;
    // boundPath: the file the series is kept in.
    virtual void ReadingWritten(Database& database, const SeriesRow& row,
                                const std::optional<QDateTime>& seriesStart,
                                const QString& boundPath) = 0;
    // A description stored later, with the reading's Lp.
    virtual void DescriptionWritten(int lp, const QString& opis) = 0;
    // The instrument's report kept with the series.
    virtual void ReportStored(const QString& report) = 0;
    // An entry of the series' journal, inside the transaction that writes
    // it into database; an observer that keeps no journal ignores it.
    virtual void JournalWritten(Database& /*database*/, const SeriesJournal::Entry& /*entry*/) {}
};

// The current series: the bound database (the working database or an
// opened series file), its rows in the grid, the values the statistics are
// computed from, and the series start time.
class MeasurementStore : public QObject {
    Q_OBJECT
public:
    MeasurementStore(ProgramContext& context, QObject* parent = nullptr);
    ~MeasurementStore() override;

    static QString WorkingDatabasePath(const QString& programFolder);

    // Program start: compacts the working database (creating it with its
    // tables when missing), empties the series tables and binds it. When
    // the last run ended without ClearSeriesTables (it was killed, the
    // power failed) and left readings, they are not emptied: they stay
    // bound, see LeftByLastRun. Throws DatabaseError, also when another
    // running program has the working database bound.
    void OtworzMagazyn();
    // How many readings the last run left when it did not end cleanly; 0
    // after a clean end. Until KeepLeftReadings or NowaSeria decides, they
    // are the bound series, with the series start their Timer counts from
    // and no statistics shown.
    int LeftByLastRun() const { return leftByLastRun; }
    // Keeps the readings the last run left as the current series and shows
    // their statistics.
    void KeepLeftReadings();
    // A new series in the working database.
    void NowaSeria();
    // Empties the series tables of the working database: the clean end of
    // the program, after which the next start finds nothing left.
    void ClearSeriesTables();
    // When the journal's SeriesOpened entry of an opened file is written.
    enum class OpenedEntry {
        Now,
        // Kept back, so that opening writes nothing to the file before its
        // rows are shown: written, with the time of the open, by
        // WriteOpenedEntry, before any other entry to the file, or when
        // the file is no longer bound.
        Deferred,
    };
    // Binds another database file (an opened series file) in place of the
    // working database; readings taken afterwards go into it. Throws
    // DatabaseError, and then the series and its binding stay as they were.
    // opened: the file at path already open to be written
    // (SeriesFile::Examine), else it is opened here.
    void OtworzBaze(const QString& path, OpenedEntry entry = OpenedEntry::Now,
                    std::unique_ptr<Database> opened = nullptr);
    // Writes the SeriesOpened entry kept back, if any.
    void WriteOpenedEntry();
    // Shows a series file that cannot be written: its readings and report
    // are copied into the working database, which stays bound, so that
    // later readings extend the series there and can be saved elsewhere.
    // The file is only read. Throws DatabaseError, and then the series and
    // its binding stay as they were.
    void OpenForViewing(const QString& path);
    // Compacts a database file in place; false when it could not.
    static bool KompaktujBaze(const QString& path);

    // The Timer of a reading taken at time: whole seconds since the series
    // start, the way Godzina shows them. A series without a start starts at
    // time.
    int Timer(const QDateTime& time);

    // Appends one accepted reading. False when it could not be written now
    // (a full disk): it then waits, see WaitingReadings.
    bool DodajPomiar(const AcceptedReading& reading);

    // Appends what continuous transmission brought, read and accepted.
    // False when nothing was taken: fewer than two lines came (nothing is
    // stored, the lines wait for the next batch), or every line was turned
    // away (see LastBatch). The batch is written in one transaction, with
    // the spooled lines going; when it cannot be, its readings wait like
    // single ones.
    bool DodajPomiary(const ReadingBatch& batch);

    // What the last DodajPomiary made of its lines.
    struct ContinuousBatch {
        int lines = 0;
        // Stored, or waiting to be.
        int taken = 0;
        // Why the lines turned away were: the most frequent reason ("overload",
        // "not a reading", "outside the limits"); empty when none was.
        QString turnedAwayReason;
        // Lines came (two or more) and none of them was taken.
        bool AllTurnedAway() const { return lines >= 2 && taken == 0; }
    };
    const ContinuousBatch& LastBatch() const { return lastBatch; }

    // Keeps a line of continuous transmission in the working database as it
    // arrives, so that a run killed before the batch is stored loses none:
    // the next start has them read (SetSpoolReader) and offers the readings
    // with those the run left (LeftByLastRun). family: the name of the
    // family that reads them then. Nothing is kept while a series file is
    // bound. A clean batch (DodajPomiary) removes them in its own
    // transaction.
    void SpoolLine(const QByteArray& frame, const QDateTime& received, const QString& family);
    // Who reads the spooled lines at the start (OtworzMagazyn); not owned.
    // Without one they are dropped.
    void SetSpoolReader(SpoolReader* reader) { spoolReader = reader; }
    // The readings the start made of the lines the last run spooled.
    int RecoveredLines() const { return recoveredLines; }

    // Readings taken but not yet written, kept in memory in their order
    // while the bound database refuses writes (a full disk). Each new
    // reading, and a retry every few seconds, first writes those that wait,
    // oldest first; they join the grid when written. A new series or
    // another binding drops them.
    int WaitingReadings() const { return int(waiting.size()); }
    // Writes the waiting readings now; true when none wait any more.
    bool StoreWaitingReadings();

    // Changes the description of a row, in the grid and in the database.
    // Throws DatabaseError.
    void SetDescription(int row, const QString& opis);

    // Writes an event into the bound series' journal; a journal that cannot
    // be written is told to the error log and stops nothing.
    void Record(SeriesJournal::Event event, const QByteArray& data = {});
    // Keeps the instrument's report with the series (ReportText::Save).
    ReportText::SaveResult SaveReport(const QString& report);

    void ObliczStatystyke();
    void WyczyscStatystyke();
    const StatisticsFields& Statistics() const { return statistics; }

    int RowCount() const { return model.Count(); }
    // The values of the series in row order (read from the database once
    // per binding, then kept up to date with every reading).
    const std::vector<double>& Values();
    const RunningStatistics& Running();
    SeriesModel& Model() { return model; }
    Database& Bound() { return *bound; }

    // What the chart reads from the bound database besides the grid. The
    // rows are in memory, so a database that cannot answer stops nothing:
    // the first reading then counts as taken in automatic work, a row's
    // number is its Lp and the stored report is empty.
    //
    // Whether the first reading of the series has a Timer (automatic work).
    bool FirstReadingTimed();
    // The number of a row as stored ("lptekst"), else its Lp.
    QString LpTekst(int row);
    // The rows of the newest readings (by their time, the later row first
    // of two with the same time), at most count of them.
    std::vector<int> NewestRows(int count);
    // The report stored with the series, empty when there is none.
    QString StoredReport();
    QString BoundPath() const;
    bool WorkingDatabaseBound() const;

    // When the series began: its first reading, or continuous transmission
    // switched on. Read from a bound file; none for a new series.
    const std::optional<QDateTime>& SeriesStart() const { return seriesStart; }
    void SetSeriesStart(const std::optional<QDateTime>& start) { seriesStart = start; }
    const AcceptanceLimits& Limits() const { return limits; }
    // A change of the limits goes into the journal: it decides which
    // readings are stored.
    void SetLimits(const AcceptanceLimits& accepted);
    // "&Biezaca statystyka": statistics after every reading.
    bool LiveStatistics() const { return liveStatistics; }
    void SetLiveStatistics(bool on) { liveStatistics = on; }
    const QLocale& Locale() const { return locale; }
    void SetLocale(const QLocale& numbers) {
        locale = numbers;
        emit AcceptanceChanged();
    }

    void SetMassFormat(const QString& format);

    // The minimum weight in force (after a passed repeatability check),
    // none before; a change goes into the journal.
    void SetMinimumWeight(const std::optional<MinimumWeightRule>& limit);
    const std::optional<MinimumWeightRule>& MinimumWeightInForce() const { return minimumWeight; }
    // What the acceptance of a reading applies: the limit in force, which
    // marks but never refuses a balance check's own readings.
    std::optional<MinimumWeightRule> MinimumWeightForAcceptance() const;
    // Readings are refused while a balance check that is due has not
    // passed, where the lab asks for it.
    void SetHeldForCheck(bool held) {
        heldForCheck = held;
        emit AcceptanceChanged();
    }
    // A balance check takes its readings through the store: while it runs,
    // they are neither held nor refused (only marked).
    void SetCheckInProgress(bool running) {
        checkInProgress = running;
        emit AcceptanceChanged();
    }
    bool HeldForCheck() const { return heldForCheck && !checkInProgress; }
    QString MassFormat() const { return model.MassFormat(); }

    // The one observer of what is written (the lab database's outbox);
    // null for none. Not owned.
    void SetObserver(StoreObserver* observer) { this->observer = observer; }

signals:
    void StatisticsChanged(const Pomiar::StatisticsFields& fields);
    // Rows came or went, or another series is shown: the chart redraws.
    void SeriesChanged();
    // Readings started to wait (again) because the bound database refused
    // them: the reason and how many wait. Once until they are written.
    void StoreFailed(const QString& reason, int waiting);
    // The limits, the locale, the minimum weight or the hold for a check
    // changed: what a reading is accepted by (the acquisition keeps a copy).
    void AcceptanceChanged();

private:
    struct WaitingReading {
        SeriesRow row;
        QString lpText;
        bool writeOpis;
        QByteArray frame;
    };
    // Empties the series tables and starts the series anew in the journal;
    // carried: the readings a copied series brings along.
    void startSeries(Database& database, int carried = 0);
    void record(Database& database, SeriesJournal::Event event, const QByteArray& data = {},
                const QDateTime& at = {});

    void bind(std::unique_ptr<Database> database);
    void showBoundSeries();
    void closeRetired();
    void showBoundStatistics();
    // The values of a new binding are read when first needed.
    void forgetValues();
    void loadValues();
    // What a pass over the bound series found, with the readings stored
    // since that it did not see.
    void takeValues(SeriesValues found);
    void valuesFound(const std::shared_ptr<SeriesValues>& found);
    // The statistics of the values just read, as a series shows them once
    // bound.
    void showPassStatistics();
    void followTime(std::string_view stored);
    void emptySeriesTables(Database& database);
    // Marks in the working database whether it holds the series of this
    // run, so that the next start can tell an unclean end.
    void markWorkingSeries();
    void copySeries(Database& file, Database& target);
    // Stores the waiting readings in one transaction, then shows them;
    // false (the user told once) when the database refused them.
    bool storeWaiting();
    // Writes one waiting reading, its journal entry and what the observer
    // makes of it; the row as written, with its row id.
    SeriesRow writeWaiting(const WaitingReading& reading);
    void dropWaiting();
    void afterStored();
    // Queues a reading to be written, with its row's number and Timer.
    void queue(const AcceptedReading& reading);
    // The series start of the bound rows, which later readings count from.
    void followStoredStart();
    // Removes the spooled lines of the working database.
    void forgetSpool();
    // The lines the last run spooled, turned into readings of the bound
    // working database; how many readings they gave.
    int recoverSpooledLines();

    ProgramContext& context;
    std::optional<QDateTime> seriesStart;
    AcceptanceLimits limits;
    bool liveStatistics = true;
    QLocale locale = QLocale::system();
    StoreObserver* observer = nullptr;
    std::optional<MinimumWeightRule> minimumWeight;
    bool heldForCheck = false;
    bool checkInProgress = false;
    // The SeriesOpened entry kept back (OpenedEntry::Deferred): its data
    // and the time of the open.
    std::optional<std::pair<QByteArray, QDateTime>> openedEntry;
    // Held on the bound file, so another instance sees it in use; declared
    // first so that it outlives the database on that file.
    std::unique_ptr<FileLock> boundLock;
    std::unique_ptr<Database> bound;
    // The working database just let go and its lock, closed once the
    // events already posted have run (closeRetired).
    std::unique_ptr<FileLock> retiredLock;
    std::unique_ptr<Database> retired;
    SeriesModel model;
    RunningStatistics running;
    bool valuesLoaded = true;
    // Counts bindings, so that statistics scheduled for one never show for
    // the next.
    quint64 bindings = 0;
    // Whether the stored times ("godzina") never go back from row to row,
    // as readings taken one after another have them: the newest readings
    // are then the last rows. The last time, as stored.
    bool timesInOrder = true;
    std::string lastTime;
    StatisticsFields statistics;
    int leftByLastRun = 0;
    // Whether this store started a run on the working database (OtworzMagazyn)
    // and so keeps its mark; a store that only binds files leaves it alone.
    bool runStarted = false;
    // The working database's mark still says it holds the series (it has
    // not been cleared since a series file was bound).
    bool workingMarkOwed = true;
    std::deque<WaitingReading> waiting;
    // The spooled lines go with the waiting readings when they are written.
    bool clearSpoolWithWaiting = false;
    ContinuousBatch lastBatch;
    SpoolReader* spoolReader = nullptr;
    int recoveredLines = 0;
    bool waitingTold = false;
    QTimer retryWaiting;
    // The values of a long series are read on a thread of their own after
    // its first rows show; readings stored meanwhile wait here for them.
    struct StoredDuringPass {
        qint64 rowid;
        double masa;
        int lp;
        int timer;
        std::string time;
    };
    std::vector<StoredDuringPass> storedDuringPass;
    ValuesPass valuesPass;
};

} // namespace Pomiar
