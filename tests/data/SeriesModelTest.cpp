// The grid's model reads the bound series in pages as rows are shown: after
// scrolling, appending, emptying and reopening it shows the rows stored.
#include "Database.h"
#include "MeasurementStore.h"
#include "ProgramContext.h"
#include "ScriptedDialogs.h"
#include "StoreReadings.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Pomiar;

namespace {

// More rows than the model keeps in its pages, so that scrolling through
// them reads pages again.
constexpr int seriesRows = 20000;

double MassOf(int lp) {
    return 10 + (lp % 97) * 0.001;
}

class LazyGridTest : public ::testing::Test {
protected:
    LazyGridTest() {
        context.programFolder = folder.path();
        context.dialogs = &dialogs;
        store.SetLocale(QLocale(QLocale::English, QLocale::UnitedStates));
        store.OtworzMagazyn();
        store.SetMassFormat("#0.000");
    }

    // A series file of `rows` readings, Lp 1..rows, written in one go.
    QString WriteSeries(const QString& name, int rows) {
        const QString path = folder.filePath(name);
        Database db(path, Database::Journal::Rollback);
        db.CreateSchema();
        db.Begin();
        const QDateTime start(QDate(2026, 12, 7), QTime(8, 0));
        for (int lp = 1; lp <= rows; ++lp)
            db.Execute("INSERT INTO pomiary (Lp, data, Godzina, Timer, Masa, Jm, LpTekst, "
                       "Nr_wagi, Opis) VALUES (?, ?, ?, ?, ?, 'g', ?, '1', ?)",
                       {lp, Database::DateText(start.date()),
                        Database::DateTimeText(start.addSecs(lp)), lp, MassOf(lp),
                        QString::number(lp), QStringLiteral("opis %1").arg(lp)});
        db.Commit();
        return path;
    }

    QString Shown(int row, int column) {
        const SeriesModel& model = store.Model();
        return model.data(model.index(row, column)).toString();
    }

    // The grid shows row `row` as the reading with this Lp.
    void ExpectReading(int row, int lp) {
        EXPECT_EQ(Shown(row, SeriesModel::Lp), QString::number(lp)) << "row " << row;
        EXPECT_EQ(Shown(row, SeriesModel::Masa), QString::number(MassOf(lp), 'f', 3))
            << "row " << row;
        EXPECT_EQ(Shown(row, SeriesModel::Opis), QStringLiteral("opis %1").arg(lp))
            << "row " << row;
    }

    QTemporaryDir folder;
    ScriptedDialogs dialogs;
    ProgramContext context;
    MeasurementStore store{context};
};

TEST_F(LazyGridTest, ScrollingThroughALongSeriesShowsEachStoredRow) {
    store.OtworzBaze(WriteSeries("long.ser", seriesRows));
    ASSERT_EQ(store.RowCount(), seriesRows);
    ASSERT_EQ(store.Model().rowCount(), seriesRows);
    // The newest rows first, as the grid shows them after opening.
    for (int row = seriesRows - 1; row >= seriesRows - 50; --row)
        ExpectReading(row, row + 1);
    // End to end and back by jumps: every page is read again after it was
    // dropped.
    for (int row = 0; row < seriesRows; ++row) {
        ASSERT_EQ(Shown(row, SeriesModel::Lp), QString::number(row + 1));
    }
    for (const int row : {0, 19999, 7, 12345, 256, 255, 8191, 8192, 3})
        ExpectReading(row, row + 1);
    EXPECT_FALSE(store.Model().index(seriesRows, 0).isValid());
}

TEST_F(LazyGridTest, LongSeriesShowsItsStatisticsAndValuesAfterTheFirstRows) {
    store.OtworzBaze(WriteSeries("long.ser", seriesRows));
    QCoreApplication::processEvents();
    const std::vector<double>& values = store.Values();
    ASSERT_EQ(int(values.size()), seriesRows);
    for (int lp = 1; lp <= seriesRows; lp += 997)
        EXPECT_DOUBLE_EQ(values[size_t(lp - 1)], MassOf(lp));
    EXPECT_EQ(store.Statistics().lblLiczba, QString::number(seriesRows));
    EXPECT_EQ(store.Statistics().lblSrednia,
              SeriesStatistics::ObliczStatystyke(values, "#0.000", store.Locale()).lblSrednia);
}

TEST_F(LazyGridTest, AppendsAfterOpeningContinueTheSeries) {
    const QString path = WriteSeries("long.ser", seriesRows);
    store.OtworzBaze(path);
    // A page far from the end is read, then readings arrive.
    ExpectReading(100, 101);
    const QDateTime at(QDate(2026, 12, 8), QTime(9, 0));
    ASSERT_TRUE(AppendReading(store, "7.5 g", "g", at));
    ASSERT_TRUE(AppendReading(store, "8.5 g", "g", at.addSecs(1)));
    ASSERT_EQ(store.RowCount(), seriesRows + 2);
    EXPECT_EQ(Shown(seriesRows, SeriesModel::Lp), QString::number(seriesRows + 1));
    EXPECT_EQ(Shown(seriesRows + 1, SeriesModel::Masa), "8.500");
    EXPECT_EQ(store.Values().size(), size_t(seriesRows + 2));
    EXPECT_DOUBLE_EQ(store.Values().back(), 8.5);
    for (const int row : {0, 5000, seriesRows - 1})
        ExpectReading(row, row + 1);

    // Reopening shows the file as it now is.
    store.NowaSeria();
    store.OtworzBaze(path);
    ASSERT_EQ(store.RowCount(), seriesRows + 2);
    EXPECT_EQ(Shown(seriesRows + 1, SeriesModel::Lp), QString::number(seriesRows + 2));
    EXPECT_EQ(Shown(seriesRows + 1, SeriesModel::Masa), "8.500");
    ExpectReading(seriesRows - 1, seriesRows);
}

// The grid learns of a reading as one row inserted at the end, whether the
// series was just opened or has been extended already: never as a reset,
// which would make the view lay out the whole series again.
TEST_F(LazyGridTest, AnAppendIsOneRowInsertedAtTheEnd) {
    store.OtworzBaze(WriteSeries("long.ser", seriesRows));
    // The values of a long series are read right after its first rows.
    QCoreApplication::processEvents();
    const SeriesModel& model = store.Model();
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    QSignalSpy layout(&model, &QAbstractItemModel::layoutChanged);
    const QDateTime at(QDate(2026, 12, 8), QTime(9, 0));
    for (int i = 0; i < 3; ++i) {
        inserted.clear();
        ASSERT_TRUE(AppendReading(store, "7.5 g", "g", at.addSecs(i)));
        QCoreApplication::processEvents();
        ASSERT_EQ(inserted.size(), 1) << "append " << i;
        EXPECT_EQ(inserted[0][1].toInt(), seriesRows + i) << "append " << i;
        EXPECT_EQ(inserted[0][2].toInt(), seriesRows + i) << "append " << i;
    }
    EXPECT_EQ(reset.size(), 0);
    EXPECT_EQ(layout.size(), 0);
    EXPECT_EQ(model.rowCount(), seriesRows + 3);
}

TEST_F(LazyGridTest, ARowAwayFromTheShownPagesIsReadAlone) {
    store.OtworzBaze(WriteSeries("long.ser", seriesRows));
    const SeriesModel& model = store.Model();
    for (const int row : {seriesRows - 1, seriesRows / 2, 300}) {
        const SeriesRow read = model.Row(row);
        EXPECT_EQ(read.lp, row + 1);
        EXPECT_EQ(read.data, QDate(2026, 12, 7));
        EXPECT_EQ(read.godzina, QDateTime(QDate(2026, 12, 7), QTime(8, 0)).addSecs(row + 1));
        EXPECT_DOUBLE_EQ(read.masa, MassOf(row + 1));
        EXPECT_EQ(read.opis, QStringLiteral("opis %1").arg(row + 1));
    }
    // The grid's own reading of the same rows agrees.
    ExpectReading(seriesRows - 1, seriesRows);
    EXPECT_EQ(model.Row(seriesRows - 1).lp, seriesRows);
    EXPECT_TRUE(model.Row(seriesRows).godzina.isNull());
}

TEST_F(LazyGridTest, EmptiedSeriesShowsNoRowsAndCountsAgain) {
    store.OtworzBaze(WriteSeries("long.ser", seriesRows));
    ExpectReading(seriesRows - 1, seriesRows);
    store.NowaSeria();
    EXPECT_EQ(store.Model().rowCount(), 0);
    EXPECT_TRUE(store.Values().empty());
    ASSERT_TRUE(AppendReading(store, "3.25 g", "g", QDateTime(QDate(2026, 12, 8), QTime(9, 0))));
    ASSERT_EQ(store.Model().rowCount(), 1);
    EXPECT_EQ(Shown(0, SeriesModel::Lp), "1");
    EXPECT_EQ(Shown(0, SeriesModel::Masa), "3.250");
    EXPECT_EQ(store.Values(), std::vector<double>{3.25});
}

TEST_F(LazyGridTest, RowsWithGapsInTheFileShowInTheirOrder) {
    const QString path = WriteSeries("gaps.ser", 3000);
    {
        Database db(path, Database::Journal::Rollback);
        db.Execute("DELETE FROM pomiary WHERE Lp % 3 = 0 OR (Lp > 500 AND Lp < 1500)");
    }
    store.OtworzBaze(path);
    std::vector<int> kept;
    for (int lp = 1; lp <= 3000; ++lp) {
        if (lp % 3 != 0 && !(lp > 500 && lp < 1500))
            kept.push_back(lp);
    }
    ASSERT_EQ(store.RowCount(), int(kept.size()));
    for (int row = int(kept.size()) - 1; row >= 0; --row)
        ExpectReading(row, kept[size_t(row)]);
    // A description goes to the row shown, not to the rowid of its place.
    store.SetDescription(400, "zmieniony");
    EXPECT_EQ(Shown(400, SeriesModel::Opis), "zmieniony");
    EXPECT_EQ(Database(path).Scalar("select Opis from pomiary where Lp = ?", {kept[400]}),
              "zmieniony");
}

TEST_F(LazyGridTest, LongSeriesWithGapsShowsNoRowOutOfPlaceBeforeItIsSettled) {
    const QString path = WriteSeries("gaps.ser", seriesRows);
    {
        Database db(path, Database::Journal::Rollback);
        db.Execute("DELETE FROM pomiary WHERE Lp BETWEEN 100 AND 199 OR Lp = 19990");
    }
    store.OtworzBaze(path);
    // Before the whole series is read: a row shows at its place or not at
    // all.
    for (const int row : {0, 98, 99, 150, 199, 5000, seriesRows - 1}) {
        const QString lp = Shown(row, SeriesModel::Lp);
        EXPECT_TRUE(lp.isEmpty() || lp == QString::number(row + 1)) << row;
    }
    QCoreApplication::processEvents();
    ASSERT_EQ(store.RowCount(), seriesRows - 101);
    ExpectReading(98, 99);
    ExpectReading(99, 200);
    ExpectReading(seriesRows - 101 - 1, seriesRows);
    ExpectReading(seriesRows - 101 - 9, seriesRows - 8);
    ExpectReading(seriesRows - 101 - 11, seriesRows - 11);
    EXPECT_EQ(int(store.Values().size()), seriesRows - 101);
}

TEST_F(LazyGridTest, DescriptionOfARowNoLongerInViewIsShownWhenItComesBack) {
    store.OtworzBaze(WriteSeries("long.ser", seriesRows));
    ExpectReading(10, 11);
    store.SetDescription(10, "nowy");
    // Scrolling away drops the row's page; it is read again with the change.
    for (int row = 0; row < seriesRows; row += 100)
        Shown(row, SeriesModel::Lp);
    EXPECT_EQ(Shown(10, SeriesModel::Opis), "nowy");
}

TEST_F(LazyGridTest, WidestNumbersAreFoundInTheWholeSeries) {
    const QString path = WriteSeries("wide.ser", seriesRows);
    {
        Database db(path, Database::Journal::Rollback);
        db.Execute("UPDATE pomiary SET Masa = -12345.5 WHERE Lp = 7777");
    }
    store.OtworzBaze(path);
    QCoreApplication::processEvents();
    const SeriesModel& model = store.Model();
    EXPECT_EQ(Shown(model.WidestRow(SeriesModel::Masa), SeriesModel::Masa), "-12345.500");
    EXPECT_EQ(Shown(model.WidestRow(SeriesModel::Lp), SeriesModel::Lp),
              QString::number(seriesRows));
}

} // namespace

namespace {

TEST_F(LazyGridTest, NewestRowsFollowTheTimesOfTheReadings) {
    const QDateTime at(QDate(2026, 12, 8), QTime(9, 0));
    for (const int seconds : {0, 5, 5, 9})
        AppendReading(store, "1 g", "g", at.addSecs(seconds));
    // Of two readings with the same time the later row comes first.
    EXPECT_EQ(store.NewestRows(3), (std::vector<int>{3, 2, 1}));
    // A clock set back: the newest by time are no longer the last rows.
    AppendReading(store, "1 g", "g", at.addSecs(2));
    EXPECT_EQ(store.NewestRows(3), (std::vector<int>{3, 2, 1}));
    EXPECT_EQ(store.NewestRows(10), (std::vector<int>{3, 2, 1, 4, 0}));

    // The same for a series file whose times were already out of order.
    const QString path = WriteSeries("times.ser", 300);
    {
        Database db(path, Database::Journal::Rollback);
        db.Execute("UPDATE pomiary SET Godzina = '2026-12-09 00:00:00' WHERE Lp = 17");
    }
    store.OtworzBaze(path);
    EXPECT_EQ(store.NewestRows(3), (std::vector<int>{16, 299, 298}));
    store.NowaSeria();
    store.OtworzBaze(WriteSeries("ordered.ser", 300));
    EXPECT_EQ(store.NewestRows(2), (std::vector<int>{299, 298}));
}

} // namespace
