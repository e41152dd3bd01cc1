#include "BalanceProtocol.h"
#include "CollectedBatch.h"
#include "Database.h"
#include "FileLock.h"
#include "MeasurementStore.h"
#include "ProgramContext.h"
#include "ScratchMount.h"
#include "ScriptedDialogs.h"
#include "StoreReadings.h"
#include "TestFiles.h"
#include "ValuesPass.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

using namespace Pomiar;

namespace {

class StoreTest : public ::testing::Test {
protected:
    StoreTest() {
        context.programFolder = folder.path();
        context.dialogs = &dialogs;
        store.SetLocale(QLocale(QLocale::English, QLocale::UnitedStates));
        store.OtworzMagazyn();
    }

    QDateTime At(int seconds) const { return start.addSecs(seconds); }

    int Count(const QString& table) {
        return store.Bound().Scalar("select count(*) from " + table).toInt();
    }

    // One collected frame with its date and time lines.
    void Collect(ContinuousBuffers& buffers, const QByteArray& frame, int seconds) {
        buffers.Append(frame, At(seconds));
    }

    QTemporaryDir folder;
    ScriptedDialogs dialogs;
    ProgramContext context;
    MeasurementStore store{context};
    const QDateTime start{QDate(2026, 12, 7), QTime(10, 15, 30)};
};

class RecordingProgress : public Progress {
public:
    void Begin(const QString& caption, int) override { captions << caption; }
    bool Step(int value) override {
        steps << value;
        if (onStep)
            onStep(value);
        return true;
    }
    void End() override { ++ended; }
    QStringList captions;
    QList<int> steps;
    int ended = 0;
    std::function<void(int)> onStep;
};

} // namespace

TEST_F(StoreTest, WorkingDatabaseIsCreatedWithItsTablesAndStartsEmpty) {
    Database& db = store.Bound();
    for (const char* table : {"pomiary", "temp", "raport", "cykl"})
        EXPECT_TRUE(db.HasTable(table)) << table;
    EXPECT_EQ(store.RowCount(), 0);
    EXPECT_EQ(store.LeftByLastRun(), 0);
}

namespace {

// How a run of the program ended.
enum class RunEnd {
    Clean,
    Killed,
    KilledWithAFileBound,
    KilledWithASecondFileBound,
    KilledBackOnTheWorkingDatabase,
    KilledUnderAnOlderProgram,
};

// A run on the working database of a folder: readings 1 g, 2 g, ... taken
// from 10:15:30.600 every 4.3 s, a calibration report, then the end. A kill
// is the store gone without the clean end.
void RunAndEnd(ProgramContext& context, int readings, RunEnd end) {
    MeasurementStore run(context);
    run.OtworzMagazyn();
    const QDateTime start(QDate(2026, 12, 7), QTime(10, 15, 30, 600));
    for (int i = 0; i < readings; ++i)
        ASSERT_TRUE(AppendReading(run, QString::number(i + 1), "g", start.addMSecs(i * 4300)));
    run.Bound().Execute("INSERT INTO raport (Raport) VALUES ('calibration')");
    switch (end) {
    case RunEnd::Clean:
        run.ClearSeriesTables();
        break;
    case RunEnd::Killed:
        break;
    case RunEnd::KilledWithAFileBound: {
        const QString file = context.programFolder + "/seria.ser";
        Database(file).CreateSchema();
        run.OtworzBaze(file);
        AppendReading(run, "9", "g", start.addSecs(60));
        break;
    }
    case RunEnd::KilledWithASecondFileBound: {
        // The working database's mark is cleared once, as the first file
        // is bound; the second changes nothing there.
        for (const char* name : {"/pierwsza.ser", "/druga.ser"}) {
            const QString file = context.programFolder + name;
            Database(file).CreateSchema();
            run.OtworzBaze(file);
        }
        AppendReading(run, "9", "g", start.addSecs(60));
        break;
    }
    case RunEnd::KilledBackOnTheWorkingDatabase: {
        const QString file = context.programFolder + "/seria.ser";
        Database(file).CreateSchema();
        run.OtworzBaze(file);
        run.NowaSeria();
        for (int i = 0; i < readings; ++i)
            ASSERT_TRUE(AppendReading(run, QString::number(i + 1), "g", start.addMSecs(i * 4300)));
        run.Bound().Execute("INSERT INTO raport (Raport) VALUES ('calibration')");
        break;
    }
    case RunEnd::KilledUnderAnOlderProgram:
        // An older program kept no mark of a running series.
        run.Bound().Execute("DROP TABLE unfinished_run");
        break;
    }
}

} // namespace

TEST(StoreRestartTest, OnlyAnUncleanEndLeavesItsReadingsForTheNextStart) {
    struct Case {
        const char* name;
        int readings;
        RunEnd end;
        int left;
    };
    const Case cases[] = {
        {"clean end", 3, RunEnd::Clean, 0},
        {"killed", 3, RunEnd::Killed, 3},
        {"killed before any reading", 0, RunEnd::Killed, 0},
        {"killed with a series file bound", 3, RunEnd::KilledWithAFileBound, 0},
        {"killed with a second series file bound", 3, RunEnd::KilledWithASecondFileBound, 0},
        {"killed back on the working database", 3, RunEnd::KilledBackOnTheWorkingDatabase, 3},
        {"killed under an older program", 3, RunEnd::KilledUnderAnOlderProgram, 0},
    };
    for (const Case& c : cases) {
        QTemporaryDir folder;
        ScriptedDialogs dialogs;
        ProgramContext context;
        context.programFolder = folder.path();
        context.dialogs = &dialogs;
        RunAndEnd(context, c.readings, c.end);

        MeasurementStore next(context);
        next.OtworzMagazyn();
        EXPECT_EQ(next.LeftByLastRun(), c.left) << c.name;
        EXPECT_EQ(next.RowCount(), c.left) << c.name;
        EXPECT_EQ(next.Bound().Scalar("select count(*) from pomiary").toInt(), c.left) << c.name;
        EXPECT_EQ(next.Bound().Scalar("select count(*) from raport").toInt(), c.left > 0 ? 1 : 0)
            << c.name;
        EXPECT_EQ(next.SeriesStart().has_value(), c.left > 0) << c.name;
        // This run's end decides for the start after it.
        next.ClearSeriesTables();
    }
}

TEST(StoreRestartTest, KeptReadingsContinueTheirSeries) {
    QTemporaryDir folder;
    ScriptedDialogs dialogs;
    ProgramContext context;
    context.programFolder = folder.path();
    context.dialogs = &dialogs;
    RunAndEnd(context, 3, RunEnd::Killed);

    MeasurementStore next(context);
    next.SetLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    next.OtworzMagazyn();
    ASSERT_EQ(next.LeftByLastRun(), 3);
    // The Timer of the left readings counts from 10:15:30.
    EXPECT_EQ(next.SeriesStart(), QDateTime(QDate(2026, 12, 7), QTime(10, 15, 30)));
    EXPECT_TRUE(next.Statistics().lblLiczba.isEmpty()) << "nothing decided yet";
    next.SetMassFormat("#0.00");
    next.KeepLeftReadings();
    EXPECT_EQ(next.Statistics().lblLiczba, "3");
    EXPECT_EQ(next.Statistics().lblSrednia, "2.00");

    ASSERT_TRUE(AppendReading(next, "4 g", "g", QDateTime(QDate(2026, 12, 7), QTime(10, 16, 0))));
    EXPECT_EQ(next.Model().Row(3).lp, 4);
    EXPECT_EQ(next.Model().Row(3).timer, 30);
    EXPECT_EQ(next.Values(), (std::vector<double>{1, 2, 3, 4}));
}

TEST_F(StoreTest, AWorkingDatabaseAnotherRunHoldsIsRefusedAndKeepsItsSeries) {
    ASSERT_TRUE(AppendReading(store, "1 g", "g", At(0)));
    MeasurementStore second(context);
    EXPECT_THROW(second.OtworzMagazyn(), DatabaseError);
    EXPECT_EQ(Count("pomiary"), 1);
    EXPECT_EQ(store.RowCount(), 1);
}

TEST_F(StoreTest, ReadingBecomesARowWithEveryColumn) {
    context.settings.nrWagi = "7";
    ASSERT_TRUE(AppendReading(store, "12.345 g\r\n", "g", At(0)));
    ASSERT_TRUE(AppendReading(store, "-1.20 kg\r\n", "kg", At(5)));
    const auto rows = store.Bound().Query("select * from pomiary");
    ASSERT_EQ(rows.rows.size(), 2u);
    const QVariantList& second = rows.rows[1];
    EXPECT_EQ(second[rows.Column("lp")].toInt(), 2);
    EXPECT_EQ(second[rows.Column("data")].toString(), "2026-12-07");
    EXPECT_EQ(Database::ParseDateTime(second[rows.Column("godzina")]), At(5));
    EXPECT_EQ(second[rows.Column("timer")].toInt(), 5);
    EXPECT_DOUBLE_EQ(second[rows.Column("masa")].toDouble(), -1.2);
    EXPECT_EQ(second[rows.Column("jm")].toString(), "kg");
    EXPECT_EQ(second[rows.Column("lptekst")].toString(), "2");
    EXPECT_EQ(second[rows.Column("nr_wagi")].toString(), "7");
    EXPECT_EQ(second[rows.Column("opis")].toString(), " ");
    EXPECT_EQ(store.Values(), (std::vector<double>{12.345, -1.2}));
}

TEST_F(StoreTest, NewSeriesStartsCountingAgain) {
    AppendReading(store, "1 g", "g", At(0));
    AppendReading(store, "3 g", "g", At(10));
    store.NowaSeria();
    EXPECT_EQ(store.RowCount(), 0);
    EXPECT_TRUE(store.Values().empty());
    EXPECT_TRUE(store.Statistics().lblLiczba.isEmpty());
    ASSERT_TRUE(AppendReading(store, "2 g", "g", At(100)));
    EXPECT_EQ(store.Model().Row(0).lp, 1);
    EXPECT_EQ(store.Model().Row(0).timer, 0);
}

TEST_F(StoreTest, StatisticsFillFromTheSecondReading) {
    store.SetMassFormat("#0.0000");
    AppendReading(store, "1 g", "g", At(0));
    EXPECT_TRUE(store.Statistics().lblLiczba.isEmpty());
    AppendReading(store, "3 g", "g", At(1));
    const StatisticsFields& shown = store.Statistics();
    EXPECT_EQ(shown.lblLiczba, "2");
    EXPECT_EQ(shown.lblSrednia, "2.0000");
    EXPECT_EQ(shown.lblOStd, "1.4142");
    EXPECT_EQ(shown.lblEWar, "3.9999");
    EXPECT_EQ(shown.lblSuma, "4.0000");
}

TEST_F(StoreTest, StatisticsFollowThePlatformsDecimalSeparator) {
    store.SetLocale(QLocale(QLocale::Polish, QLocale::Poland));
    AppendReading(store, "1 g", "g", At(0));
    AppendReading(store, "3 g", "g", At(1));
    EXPECT_EQ(store.Statistics().lblEWar, "3,9999");
    EXPECT_EQ(store.Statistics().lblOSrenie, "1,0000");
}

TEST_F(StoreTest, LiveStatisticsOffLeavesTheFieldsAlone) {
    store.SetLiveStatistics(false);
    AppendReading(store, "1 g", "g", At(0));
    AppendReading(store, "3 g", "g", At(1));
    EXPECT_TRUE(store.Statistics().lblLiczba.isEmpty());
}

TEST_F(StoreTest, MoistureReadingsStoreTheirPercentAndClearTheStatistics) {
    AppendReading(store, "1 g", "g", At(0));
    AppendReading(store, "3 g", "g", At(1));
    ASSERT_FALSE(store.Statistics().lblLiczba.isEmpty());
    ASSERT_TRUE(AppendReading(store, "12.5%\r\n", "%", At(2)));
    EXPECT_DOUBLE_EQ(store.Model().Row(2).masa, 12.5);
    EXPECT_TRUE(store.Statistics().lblLiczba.isEmpty());
    AppendReading(store, "13.5 %", "%", At(3));
    EXPECT_TRUE(store.Statistics().lblLiczba.isEmpty());
}

// The stored mass is the number the limits were tested on, also when the
// balance writes a decimal comma.
TEST_F(StoreTest, ADecimalCommaIsStoredAsTheNumberItMeans) {
    ASSERT_TRUE(AppendReading(store, "    12,5 g\r\n", "g", At(0)));
    ASSERT_TRUE(AppendReading(store, "-0,75%", "%", At(1)));
    EXPECT_DOUBLE_EQ(store.Model().Row(0).masa, 12.5);
    EXPECT_DOUBLE_EQ(store.Model().Row(1).masa, -0.75);
}

TEST_F(StoreTest, TheFirstTimerAskedForStartsTheSeries) {
    EXPECT_EQ(store.Timer(At(0)), 0) << "a series without a start starts here";
    EXPECT_EQ(store.Timer(At(12)), 12);
    EXPECT_TRUE(AppendReading(store, "2 g", "g", At(12)));
    ASSERT_EQ(store.RowCount(), 1);
    EXPECT_EQ(store.Model().Row(0).timer, 12);
    EXPECT_EQ(store.Model().Row(0).lp, 1);
}

TEST_F(StoreTest, LimitsRejectOutsideAndKeepTheEdges) {
    AcceptanceLimits limits;
    limits.minOn = true;
    limits.minText = "10";
    EXPECT_TRUE(limits.Outside("9.9999", store.Locale()));
    EXPECT_FALSE(limits.Outside("10", store.Locale()));
    limits.maxOn = true;
    limits.maxText = "1,5";
    EXPECT_TRUE(limits.Outside("10", store.Locale())) << "a minimum above the maximum";
    limits = AcceptanceLimits{};
    EXPECT_FALSE(limits.Outside("-1000000", store.Locale()));
}

TEST_F(StoreTest, BatchStoresEveryLineAndNumbersThemByPosition) {
    ContinuousBuffers buffers;
    store.SetSeriesStart(At(0));
    Collect(buffers, "   12.500 g  \r\n", 1);
    Collect(buffers, "-  12.500 g  \r\n", 2);
    Collect(buffers, "C1\r\n", 3);
    Collect(buffers, "   13.000 g  \r\n", 4);
    buffers.frames += "   14.0"; // still arriving, no line end yet
    RecordingProgress progress;
    ASSERT_TRUE(StoreCollected(store, buffers, &progress));
    ASSERT_EQ(store.RowCount(), 3);
    EXPECT_DOUBLE_EQ(store.Model().Row(0).masa, 12.5);
    EXPECT_DOUBLE_EQ(store.Model().Row(1).masa, -12.5);
    EXPECT_EQ(store.Model().Row(2).lp, 3);
    EXPECT_EQ(store.Model().Row(2).timer, 4);
    EXPECT_EQ(store.Bound().Scalar("select lptekst from pomiary where lp = 3").toString(), "4");
    EXPECT_EQ(store.Model().Row(0).jm, "g");
    EXPECT_EQ(buffers.frames, "   14.0") << "the piece without a line end waits";
    EXPECT_TRUE(buffers.dates.isEmpty());
    EXPECT_EQ(progress.captions.value(0), "Dodawanie do bazy danych");
    EXPECT_EQ(progress.ended, 1);
    EXPECT_EQ(store.Statistics().lblLiczba, "3");
}

TEST_F(StoreTest, FramesArrivingDuringABatchAreNotLost) {
    ContinuousBuffers buffers;
    for (int i = 0; i < 3; ++i)
        Collect(buffers, "   1.000 g  \r\n", i);
    RecordingProgress progress;
    progress.onStep = [&](int value) {
        if (value == 1)
            Collect(buffers, "   2.000 g  \r\n", 9);
    };
    ASSERT_TRUE(StoreCollected(store, buffers, &progress));
    ASSERT_EQ(store.RowCount(), 4);
    EXPECT_DOUBLE_EQ(store.Model().Row(3).masa, 2.0);
    EXPECT_EQ(store.Bound().Scalar("select lptekst from pomiary where lp = 4").toString(), "4");
    EXPECT_TRUE(buffers.IsEmpty());
}

TEST_F(StoreTest, BatchOfFewerThanTwoLinesIsRefusedAndKept) {
    ContinuousBuffers buffers;
    Collect(buffers, "   1.000 g  \r\n", 0);
    EXPECT_FALSE(StoreCollected(store, buffers, nullptr));
    EXPECT_TRUE(dialogs.Calls().empty()) << "the caller tells the user";
    EXPECT_EQ(store.RowCount(), 0);
    EXPECT_EQ(buffers.frames, "   1.000 g  \r\n");
}

TEST_F(StoreTest, BatchAppliesTheLimits) {
    AcceptanceLimits limits;
    limits.maxOn = true;
    limits.maxText = "5";
    store.SetLimits(limits);
    ContinuousBuffers buffers;
    Collect(buffers, "   1.000 g  \r\n", 0);
    Collect(buffers, "   9.000 g  \r\n", 1);
    Collect(buffers, "   4.000 g  \r\n", 2);
    ASSERT_TRUE(StoreCollected(store, buffers, nullptr));
    ASSERT_EQ(store.RowCount(), 2);
    EXPECT_DOUBLE_EQ(store.Model().Row(1).masa, 4.0);
}

TEST_F(StoreTest, BoundFileTakesNewReadingsAndNewSeriesReturnsToTheWorkingDatabase) {
    const QString file = folder.filePath("seria.ser");
    {
        Database series(file);
        series.CreateSchema();
        series.Execute("INSERT INTO pomiary (Lp, data, Godzina, Timer, Masa, Jm, LpTekst, "
                       "Nr_wagi, Opis) VALUES (1, '2026-12-06', '2026-12-06 09:00:00', 0, 1, "
                       "'g', '1', '1', ' ')");
        series.Execute("INSERT INTO pomiary (Lp, data, Godzina, Timer, Masa, Jm, LpTekst, "
                       "Nr_wagi, Opis) VALUES (2, '2026-12-06', '2026-12-06 09:00:05', 5, 3, "
                       "'g', '2', '1', 'drugi')");
    }
    store.OtworzBaze(file);
    EXPECT_FALSE(store.WorkingDatabaseBound());
    ASSERT_EQ(store.RowCount(), 2);
    EXPECT_EQ(store.Model().Row(1).opis, "drugi");
    EXPECT_EQ(store.Statistics().lblLiczba, "2");
    AppendReading(store, "5 g", "g", At(0));
    EXPECT_EQ(Database(file).Scalar("select count(*) from pomiary").toInt(), 3);
    EXPECT_EQ(store.Values(), (std::vector<double>{1, 3, 5}));

    store.NowaSeria();
    EXPECT_TRUE(store.WorkingDatabaseBound());
    EXPECT_EQ(Database(file).Scalar("select count(*) from pomiary").toInt(), 3);
}

TEST_F(StoreTest, FileOfFewerThanTwoReadingsClearsTheStatistics) {
    const struct {
        const char* name;
        std::vector<double> values;
    } files[] = {{"one.ser", {7}}, {"none.ser", {}}};
    for (const auto& [name, values] : files) {
        SCOPED_TRACE(name);
        store.NowaSeria();
        AppendReading(store, "1 g", "g", At(0));
        AppendReading(store, "3 g", "g", At(1));
        ASSERT_FALSE(store.Statistics().lblSrednia.isEmpty());
        const QString file = folder.filePath(name);
        {
            Database series(file);
            series.CreateSchema();
            for (const double value : values)
                series.Execute("INSERT INTO pomiary (Lp, Masa, Jm) VALUES (1, ?, 'g')", {value});
        }
        StatisticsFields shown = store.Statistics();
        const auto shownOnScreen =
            QObject::connect(&store, &MeasurementStore::StatisticsChanged,
                             [&shown](const StatisticsFields& fields) { shown = fields; });
        store.OtworzBaze(file);
        EXPECT_EQ(shown.lblLiczba, "");
        EXPECT_EQ(shown.lblSrednia, "");
        EXPECT_EQ(store.Statistics().lblSuma, "");
        // The next reading continues the file's series, not the previous one.
        AppendReading(store, "9 g", "g", At(2));
        std::vector<double> continued = values;
        continued.push_back(9);
        EXPECT_EQ(store.Values(), continued);
        QObject::disconnect(shownOnScreen);
    }
}

TEST_F(StoreTest, CompactionThatCannotRunLeavesTheDatabaseWhole) {
    const QString path = MeasurementStore::WorkingDatabasePath(context.programFolder);
    AppendReading(store, "1 g", "g", At(0));
    AppendReading(store, "2 g", "g", At(1));
    {
        // Another writer in the middle of a transaction keeps compaction out.
        Database other(path);
        other.Begin();
        other.Execute("INSERT INTO raport (Raport) VALUES ('x')");
        EXPECT_FALSE(MeasurementStore::KompaktujBaze(path));
        other.Rollback();
    }
    EXPECT_TRUE(MeasurementStore::KompaktujBaze(path));
    EXPECT_EQ(Database(path).Scalar("select count(*) from pomiary").toInt(), 2);
}

TEST_F(StoreTest, GridShowsTheColumnsInTheirFormats) {
    store.SetMassFormat("#0.000");
    AppendReading(store, "12.3456 g", "g", At(0));
    SeriesModel& model = store.Model();
    ASSERT_EQ(model.columnCount(), 8) << "Lp to Opis, and the status";
    QStringList captions;
    for (int c = 0; c < model.columnCount(); ++c)
        captions << model.headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(captions,
              (QStringList{"Lp", "Data", "Godzina", "Timer", "Odczyt", "Jm", "Opis", "Status"}));
    EXPECT_EQ(model.data(model.index(0, SeriesModel::Data)).toString(), "2026-12-07");
    EXPECT_EQ(model.data(model.index(0, SeriesModel::Godzina)).toString(), "10:15:30");
    EXPECT_EQ(model.data(model.index(0, SeriesModel::Masa)).toString(), "12.346");
}

namespace {

// Readings the database refuses. The page limit is how SQLite tells a full
// disk ("database or disk is full"), without filling one.
class RefusingStoreTest : public StoreTest {
protected:
    RefusingStoreTest() {
        QObject::connect(&store, &MeasurementStore::StoreFailed,
                         [this](const QString& reason, int waiting) {
                             told << QStringLiteral("%1 (%2)").arg(reason).arg(waiting);
                         });
    }
    // Readings go in until the first one waits; answers how many were stored.
    int ReadUntilRefused() {
        const int pages = store.Bound().Scalar("PRAGMA page_count").toInt();
        store.Bound().Scalar(QStringLiteral("PRAGMA max_page_count = %1").arg(pages));
        for (int i = 0; i < 10000 && store.WaitingReadings() == 0; ++i)
            AppendReading(store, QString::number(i), "g", At(i));
        return store.RowCount();
    }
    void AllowWrites() { store.Bound().Scalar("PRAGMA max_page_count = 1073741823"); }
    QStringList told;
};

} // namespace

TEST_F(RefusingStoreTest, RefusedReadingsWaitInOrderAndAreStoredWhenWritingWorksAgain) {
    const int stored = ReadUntilRefused();
    ASSERT_EQ(store.WaitingReadings(), 1) << "the page limit was never reached";
    ASSERT_EQ(told.size(), 1);
    EXPECT_EQ(told[0], "database or disk is full (1)");
    AppendReading(store, "-1", "g", At(20000));
    AppendReading(store, "-2", "g", At(20001));
    EXPECT_EQ(store.WaitingReadings(), 3);
    EXPECT_EQ(told.size(), 1) << "the user is told once";
    EXPECT_EQ(store.RowCount(), stored) << "the grid shows what is stored";
    EXPECT_FALSE(store.StoreWaitingReadings());

    AllowWrites();
    AppendReading(store, "-3", "g", At(20002));
    EXPECT_EQ(store.WaitingReadings(), 0);
    ASSERT_EQ(store.RowCount(), stored + 4);
    const auto rows = store.Bound().Query("select Lp, Masa from pomiary order by rowid").rows;
    ASSERT_EQ(int(rows.size()), stored + 4);
    for (int i = 0; i < int(rows.size()); ++i) {
        EXPECT_EQ(rows[size_t(i)][0].toInt(), i + 1);
        EXPECT_EQ(store.Model().Row(i).lp, i + 1);
    }
    EXPECT_DOUBLE_EQ(rows[size_t(stored)][1].toDouble(), stored);
    EXPECT_DOUBLE_EQ(rows.back()[1].toDouble(), -3);
    EXPECT_EQ(int(store.Values().size()), stored + 4);

    // A later failure is told again.
    ReadUntilRefused();
    EXPECT_EQ(told.size(), 2);
    AllowWrites();
    EXPECT_TRUE(store.StoreWaitingReadings());
    EXPECT_EQ(store.WaitingReadings(), 0);
}

TEST_F(RefusingStoreTest, ABatchThatCannotBeWrittenWaitsWholeAndANewSeriesDropsIt) {
    ReadUntilRefused();
    const int stored = store.RowCount();
    ContinuousBuffers buffers;
    for (int i = 0; i < 5; ++i)
        Collect(buffers, "   7.000 g  \r\n", i);
    EXPECT_TRUE(StoreCollected(store, buffers, nullptr));
    EXPECT_TRUE(buffers.IsEmpty()) << "the frames are taken";
    EXPECT_EQ(store.WaitingReadings(), 6);
    EXPECT_EQ(store.RowCount(), stored);
    EXPECT_EQ(told.size(), 1);
    EXPECT_TRUE(dialogs.Calls().empty()) << "the window tells the user, through the hook";

    AllowWrites();
    EXPECT_TRUE(store.StoreWaitingReadings());
    EXPECT_EQ(store.RowCount(), stored + 6);
    EXPECT_EQ(store.Model().Row(stored + 5).lp, stored + 6);

    ReadUntilRefused();
    store.NowaSeria();
    EXPECT_EQ(store.WaitingReadings(), 0);
}

TEST_F(StoreTest, ReadingsOnAFullDiskWaitUntilThereIsRoomAgain) {
    QTemporaryDir root;
    auto disk = ScratchMount::Tmpfs(root.filePath("dysk"), 512 * 1024);
    if (!disk)
        GTEST_SKIP() << "no small file system can be mounted here";
    ProgramContext onDisk;
    onDisk.programFolder = disk->Path();
    onDisk.dialogs = &dialogs;
    MeasurementStore full(onDisk);
    full.OtworzMagazyn();
    int told = 0;
    QObject::connect(&full, &MeasurementStore::StoreFailed, [&told] { ++told; });
    AppendReading(full, "1", "g", At(0));
    ScratchMount::Fill(disk->Path());
    for (int i = 2; i <= 400 && full.WaitingReadings() == 0; ++i)
        AppendReading(full, QString::number(i), "g", At(i));
    ASSERT_GT(full.WaitingReadings(), 0) << "the disk never filled";
    AppendReading(full, "1000", "g", At(1000));
    EXPECT_EQ(told, 1);
    const int waiting = full.WaitingReadings();
    const int stored = full.RowCount();

    ASSERT_TRUE(QFile::remove(disk->Path() + "/filler"));
    EXPECT_TRUE(full.StoreWaitingReadings());
    EXPECT_EQ(full.RowCount(), stored + waiting);
    EXPECT_DOUBLE_EQ(full.Values().back(), 1000);
    EXPECT_EQ(full.Bound().Scalar("select max(Lp) from pomiary").toInt(), stored + waiting);
}

TEST_F(StoreTest, TimesAreStoredInWholeSecondsWhateverWayTheReadingCame) {
    AppendReading(store, "1 g", "g", At(0).addMSecs(184));
    ContinuousBuffers buffers;
    Collect(buffers, "   2.000 g  \r\n", 1);
    Collect(buffers, "   3.000 g  \r\n", 2);
    ASSERT_TRUE(StoreCollected(store, buffers, nullptr));
    const auto rows = store.Bound().Query("select Godzina from pomiary order by rowid").rows;
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0][0].toString(), "2026-12-07 10:15:30");
    EXPECT_EQ(rows[1][0].toString(), "2026-12-07 10:15:31");
}

TEST_F(StoreTest, TimerCountsTheWholeSecondsThatGodzinaShows) {
    const QDate day(2026, 12, 7);
    const auto at = [&day](int h, int m, int s, int ms) {
        return QDateTime(day, QTime(h, m, s, ms));
    };
    struct Case {
        QDateTime start;
        QDateTime reading;
        bool continuous;
        QString godzina;
        int timer;
    };
    const Case cases[] = {
        {at(10, 0, 0, 900), at(10, 0, 5, 100), false, "2026-12-07 10:00:05", 5},
        {at(10, 0, 0, 100), at(10, 0, 5, 900), false, "2026-12-07 10:00:05", 5},
        // Two readings half a second apart in two stored seconds.
        {at(15, 22, 17, 800), at(15, 22, 21, 900), false, "2026-12-07 15:22:21", 4},
        {at(15, 22, 17, 800), at(15, 22, 22, 400), false, "2026-12-07 15:22:22", 5},
        {at(10, 0, 0, 900), at(10, 0, 0, 950), false, "2026-12-07 10:00:00", 0},
        {at(23, 59, 59, 900), QDateTime(day.addDays(1), QTime(0, 0, 0, 100)), false,
         "2026-12-08 00:00:00", 1},
        // Continuous transmission keeps the times of its frames in whole
        // seconds; the series start is when it was switched on.
        {at(10, 0, 0, 900), at(10, 0, 5, 100), true, "2026-12-07 10:00:05", 5},
        {at(10, 0, 5, 900), at(10, 0, 5, 100), true, "2026-12-07 10:00:05", 0},
    };
    for (const Case& c : cases) {
        const std::string name = c.start.toString("HH:mm:ss.zzz").toStdString() + " -> " +
                                 c.reading.toString("HH:mm:ss.zzz").toStdString();
        store.NowaSeria();
        store.SetSeriesStart(c.start);
        if (c.continuous) {
            ContinuousBuffers buffers;
            buffers.Append("   1.000 g  \r\n", c.reading);
            buffers.Append("   1.000 g  \r\n", c.reading);
            ASSERT_TRUE(StoreCollected(store, buffers, nullptr)) << name;
        } else {
            EXPECT_EQ(store.Timer(c.reading), c.timer) << name;
            ASSERT_TRUE(AppendReading(store, "1 g", "g", c.reading)) << name;
        }
        const auto row =
            store.Bound().Query("select Godzina, Timer from pomiary order by rowid").rows.at(0);
        EXPECT_EQ(row[0].toString(), c.godzina) << name;
        EXPECT_EQ(row[1].toInt(), c.timer) << name;
        EXPECT_EQ(store.Model().Row(0).timer, c.timer) << name;
    }
}

TEST_F(StoreTest, AFileThatCannotBeBoundLeavesTheSeriesAsItWas) {
    AppendReading(store, "1 g", "g", At(0));
    AppendReading(store, "2 g", "g", At(1));
    const QString foreign = folder.filePath("obcy.ser");
    {
        Database other(foreign);
        other.Execute("CREATE TABLE cos (x)");
    }
    EXPECT_THROW(store.OtworzBaze(foreign), DatabaseError);
    EXPECT_THROW(store.OpenForViewing(foreign), DatabaseError);
    EXPECT_TRUE(store.WorkingDatabaseBound());
    EXPECT_EQ(store.RowCount(), 2);
    EXPECT_EQ(Count("pomiary"), 2);
    EXPECT_EQ(store.Values(), (std::vector<double>{1, 2}));
}

TEST_F(StoreTest, AFileShownForViewingIsCopiedAndOnlyRead) {
    const QString file = folder.filePath("seria.ser");
    {
        Database series(file, Database::Journal::Rollback);
        series.CreateSchema();
        series.Execute("INSERT INTO pomiary (Lp, data, Godzina, Timer, Masa, Jm, LpTekst, "
                       "Nr_wagi, status, Opis) VALUES (1, '2026-12-06', '2026-12-06 09:00:00', "
                       "0, 4, 'g', '1', '1', '0', 'pierwszy')");
        series.Execute("INSERT INTO pomiary (Lp, data, Godzina, Timer, Masa, Jm, LpTekst, "
                       "Nr_wagi, status, Opis) VALUES (2, '2026-12-06', '2026-12-06 09:00:05', "
                       "5, 6, 'g', '2', '1', '0', NULL)");
        series.Execute("INSERT INTO raport (Raport) VALUES ('KALIBRACJA')");
    }
    const QByteArray before = TestFiles::ReadFile(file);
    AppendReading(store, "9 g", "g", At(0));
    store.OpenForViewing(file);
    EXPECT_TRUE(store.WorkingDatabaseBound());
    ASSERT_EQ(store.RowCount(), 2);
    EXPECT_EQ(store.Model().Row(0).opis, "pierwszy");
    EXPECT_TRUE(store.Bound().Scalar("select Opis from pomiary where Lp = 2").isNull());
    EXPECT_EQ(store.Bound().Scalar("select Raport from raport").toString(), "KALIBRACJA");
    EXPECT_EQ(store.Statistics().lblLiczba, "2");
    AppendReading(store, "8 g", "g", At(1));
    EXPECT_EQ(store.Model().Row(2).lp, 3);
    EXPECT_EQ(Count("pomiary"), 3);
    EXPECT_EQ(TestFiles::ReadFile(file), before);
}

// An observer that writes in the reading's transaction does not move the
// row a later description is stored on.
TEST_F(StoreTest, DescriptionsStayOnTheirReadingWhateverTheObserverWrites) {
    store.Bound().Execute("CREATE TABLE hooked (x)");
    // Row ids of their own, unlike those of the series.
    store.Bound().Execute("INSERT INTO hooked (rowid, x) VALUES (100, 0)");
    struct Hooked : StoreObserver {
        void ReadingWritten(Database& database, const SeriesRow&, const std::optional<QDateTime>&,
                            const QString&) override {
            database.Execute("INSERT INTO hooked VALUES (1)");
        }
        void DescriptionWritten(int, const QString&) override {}
        void ReportStored(const QString&) override {}
    } hooked;
    store.SetObserver(&hooked);
    ASSERT_TRUE(AppendReading(store, "1 g", "g", At(1)));
    ASSERT_TRUE(AppendReading(store, "2 g", "g", At(2)));
    store.SetDescription(0, "first");
    store.SetDescription(1, "second");
    EXPECT_EQ(store.Bound()
                  .Scalar("SELECT group_concat(Lp || '=' || Opis, ',') "
                          "FROM (SELECT Lp, Opis FROM pomiary ORDER BY Lp)")
                  .toString(),
              "1=first,2=second");
    EXPECT_EQ(Count("hooked"), 3);
}

// A batch whose every line is turned away stores nothing and says so, with
// the reason most of its lines had.
TEST_F(StoreTest, ABatchOfLinesAllTurnedAwayStoresNothingAndSaysWhy) {
    const struct {
        const char* name;
        std::vector<QByteArray> lines;
        bool stored;
        int taken;
        const char* reason;
    } cases[] = {
        {"every line an overload", {"S +\r\n", "S +\r\n", "S +\r\n"}, false, 0, "overload"},
        {"underload and a stray reply", {"S -\r\n", "S -\r\n", "ES\r\n"}, false, 0, "underload"},
        {"one reading among overloads",
         {"S +\r\n", "S S      1.25 g\r\n", "S +\r\n"},
         true,
         1,
         "overload"},
        {"every line a reading", {"S S      1.25 g\r\n", "S S      1.50 g\r\n"}, true, 2, ""},
    };
    const BalanceDialect sics = *BalanceDialect::Named("sics");
    for (const auto& c : cases) {
        store.NowaSeria();
        ContinuousBuffers buffers;
        for (const QByteArray& line : c.lines)
            Collect(buffers, line, 0);
        EXPECT_EQ(StoreCollected(store, buffers, nullptr, sics), c.stored) << c.name;
        EXPECT_EQ(store.LastBatch().lines, int(c.lines.size())) << c.name;
        EXPECT_EQ(store.LastBatch().taken, c.taken) << c.name;
        EXPECT_EQ(store.LastBatch().turnedAwayReason, c.reason) << c.name;
        EXPECT_EQ(store.RowCount(), c.taken) << c.name;
    }
}

namespace {

ProgramContext FolderContext(const QTemporaryDir& folder, ScriptedDialogs& dialogs) {
    ProgramContext context;
    context.programFolder = folder.path();
    context.dialogs = &dialogs;
    return context;
}

} // namespace

// Lines of a continuous transmission are kept as they arrive: a run killed
// before the batch is stored leaves them to the next start, which offers
// them as readings of the series it left; a batch stored cleanly leaves
// nothing behind to be offered twice.
TEST(StoreRestartTest, LinesOfATransmissionCutShortAreOfferedAtTheNextStart) {
    const BalanceDialect sics = *BalanceDialect::Named("sics");
    const QDateTime start(QDate(2026, 12, 7), QTime(10, 15, 30));
    for (const bool batchStored : {false, true}) {
        QTemporaryDir folder;
        ScriptedDialogs dialogs;
        ProgramContext context = FolderContext(folder, dialogs);
        {
            MeasurementStore run(context);
            run.OtworzMagazyn();
            ASSERT_TRUE(AppendReading(run, "7", "g", start));
            ContinuousBuffers buffers;
            const QByteArray lines[] = {"S S      1.25 g\r\n", "S +\r\n", "S S      1.50 g\r\n"};
            for (int i = 0; i < 3; ++i) {
                buffers.Append(lines[i], start.addSecs(2 + i));
                run.SpoolLine(lines[i], start.addSecs(2 + i), sics.Name());
            }
            if (batchStored) {
                ASSERT_TRUE(StoreCollected(run, buffers, nullptr, sics));
            }
            // Killed: no clean end.
        }
        SCOPED_TRACE(batchStored ? "batch stored" : "killed while collecting");
        {
            MeasurementStore next(context);
            const ReadingAcceptance::Rules rules = ReadingAcceptance::StoreRules(next);
            BatchReader reader{rules};
            next.SetSpoolReader(&reader);
            next.OtworzMagazyn();
            EXPECT_EQ(next.RecoveredLines(), batchStored ? 0 : 2) << "the overload line is none";
            ASSERT_EQ(next.LeftByLastRun(), 3);
            ASSERT_EQ(next.RowCount(), 3);
            EXPECT_DOUBLE_EQ(next.Model().Row(1).masa, 1.25);
            EXPECT_DOUBLE_EQ(next.Model().Row(2).masa, 1.5);
            EXPECT_EQ(next.Model().Row(2).timer, 4) << "counted from the series start";
            EXPECT_EQ(next.Model().Row(2).godzina, start.addSecs(4));
            next.ClearSeriesTables();
        }
        MeasurementStore after(context);
        const ReadingAcceptance::Rules rules = ReadingAcceptance::StoreRules(after);
        BatchReader reader{rules};
        after.SetSpoolReader(&reader);
        after.OtworzMagazyn();
        EXPECT_EQ(after.LeftByLastRun(), 0) << "offered once";
        EXPECT_EQ(after.RecoveredLines(), 0);
    }
}

// A series file whose rules ignore new rows stores nothing: the reading is
// not shown as stored, and the failure is told with its reason.
TEST_F(StoreTest, AFileThatIgnoresNewRowsIsAStoreFailure) {
    const QString file = folder.filePath("ignoring.ser");
    {
        Database series(file);
        series.CreateSchema();
        series.Execute("CREATE TRIGGER ignore_rows BEFORE INSERT ON Pomiary BEGIN SELECT "
                       "RAISE(IGNORE); END");
    }
    store.OtworzBaze(file);
    QStringList reasons;
    QObject::connect(&store, &MeasurementStore::StoreFailed,
                     [&](const QString& reason, int) { reasons << reason; });
    EXPECT_FALSE(AppendReading(store, "5 g", "g", At(0)));
    EXPECT_EQ(store.RowCount(), 0);
    EXPECT_EQ(store.WaitingReadings(), 1);
    ASSERT_EQ(reasons.size(), 1);
    EXPECT_TRUE(reasons[0].contains("did not store")) << reasons[0].toStdString();
    EXPECT_FALSE(store.StoreWaitingReadings());
}

// Readings taken into an opened series file count their Timer from the
// file's own series start.
TEST_F(StoreTest, AnOpenedFileContinuesItsTimer) {
    const QString file = folder.filePath("timed.ser");
    {
        Database series(file);
        series.CreateSchema();
        series.Execute("INSERT INTO pomiary (Lp, data, Godzina, Timer, Masa, Jm, LpTekst, "
                       "Nr_wagi, Opis) VALUES (1, '2026-12-07', '2026-12-07 10:15:40', 10, 1, "
                       "'g', '1', '1', ' ')");
    }
    AppendReading(store, "1 g", "g", At(-3600));
    store.OtworzBaze(file);
    EXPECT_EQ(store.SeriesStart(), At(0));
    ASSERT_TRUE(AppendReading(store, "2 g", "g", At(25)));
    EXPECT_EQ(store.Model().Row(1).timer, 25);
}

namespace {

QString SeriesOfMasses(const QTemporaryDir& folder, const QString& name,
                       const std::vector<double>& masses) {
    const QString path = folder.filePath(name);
    Database file(path, Database::Journal::Rollback);
    file.CreateSchema();
    int lp = 0;
    for (double masa : masses)
        file.Execute("INSERT INTO pomiary (Lp, Godzina, Masa) VALUES (?, ?, ?)",
                     {++lp, QStringLiteral("2026-12-07 10:00:00"), masa});
    return path;
}

} // namespace

// The pass over a long series starts its thread once the window has painted
// the first rows; what asks for its values sooner still gets them all.
TEST(ValuesPassTest, ValuesAskedForBeforeTheThreadStartedAreRead) {
    QTemporaryDir folder;
    const QString path = SeriesOfMasses(folder, "seria.ser", {1.5, 2.5, 0.5});
    ValuesPass pass;
    int told = 0;
    QObject::connect(&pass, &ValuesPass::Found, [&told] { ++told; });
    pass.Start(path);
    ASSERT_TRUE(pass.Running());
    const SeriesValues values = pass.Take();
    EXPECT_TRUE(values.read);
    EXPECT_EQ(values.masses, (std::vector<double>{1.5, 2.5, 0.5}));
    EXPECT_FALSE(pass.Running());
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(told, 0) << "taken, so not told";
}

TEST(ValuesPassTest, OnlyTheLastOfPassesStartedInOneTurnIsTold) {
    QTemporaryDir folder;
    const QString first = SeriesOfMasses(folder, "pierwsza.ser", {1.0, 2.0});
    const QString second = SeriesOfMasses(folder, "druga.ser", {7.0, 8.0, 9.0});
    ValuesPass pass;
    std::vector<std::vector<double>> found;
    QObject::connect(
        &pass, &ValuesPass::Found,
        [&found](const std::shared_ptr<SeriesValues>& values) { found.push_back(values->masses); });
    pass.Start(first);
    pass.Start(second);
    for (int turn = 0; turn < 500 && pass.Running(); ++turn) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    QCoreApplication::processEvents();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found.front(), (std::vector<double>{7.0, 8.0, 9.0}));

    // Cancelled before its thread started: never told.
    pass.Start(first);
    pass.Cancel();
    for (int turn = 0; turn < 5; ++turn)
        QCoreApplication::processEvents();
    EXPECT_EQ(found.size(), 1u);
    EXPECT_FALSE(pass.Running());
}

// The working database let go for a series file is marked as no longer
// holding the series and closed once the events already posted have run.
TEST(StoreRestartTest, TheWorkingDatabaseLetGoIsMarkedAndClosedAfterThePaint) {
    QTemporaryDir folder;
    ScriptedDialogs dialogs;
    ProgramContext context = FolderContext(folder, dialogs);
    const QString working = MeasurementStore::WorkingDatabasePath(folder.path());
    const QString file = folder.filePath("seria.ser");
    Database(file).CreateSchema();
    MeasurementStore store(context);
    store.OtworzMagazyn();
    ASSERT_TRUE(AppendReading(store, "1", "g", QDateTime(QDate(2026, 12, 7), QTime(10, 0))));
    store.OtworzBaze(file);
    EXPECT_EQ(store.BoundPath(), file);
    QCoreApplication::processEvents();
    EXPECT_FALSE(FileLock::InUse(working)) << "let go";
    {
        Database check(working, Database::Journal::WriteAhead, Database::Access::ReadOnly);
        EXPECT_EQ(check.Scalar("select count(*) from unfinished_run").toInt(), 0);
    }
    // Back on the working database, then another file at once: the mark
    // follows the last binding.
    store.NowaSeria();
    store.OtworzBaze(file);
    store.NowaSeria();
    QCoreApplication::processEvents();
    Database check(working, Database::Journal::WriteAhead, Database::Access::ReadOnly);
    EXPECT_EQ(check.Scalar("select count(*) from unfinished_run").toInt(), 1);
}
