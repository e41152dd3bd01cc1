#include "CycleGate.h"
#include "CycleSettings.h"
#include "Database.h"
#include "PerUserSettings.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <limits>

using namespace Pomiar;
namespace CU = Pomiar::CycleSettings;

namespace {

const QLocale polish(QLocale::Polish, QLocale::Poland);
const QLocale english(QLocale::English, QLocale::UnitedStates);

TEST(CycleIntervalTest, CommaLocaleReadsThePeriodAndStopsAtTheComma) {
    EXPECT_EQ(CU::ValidateInterval("0", polish), "0,5");
    EXPECT_EQ(CU::ValidateInterval("", polish), "0,5");
    EXPECT_EQ(CU::ValidateInterval("abc", polish), "0,5");
    EXPECT_EQ(CU::ValidateInterval("0,3", polish), "0,5");
    EXPECT_EQ(CU::ValidateInterval("0.3", polish), "0,5");
    EXPECT_EQ(CU::ValidateInterval("-4", polish), "0,5");
    EXPECT_EQ(CU::ValidateInterval("2.5", polish), "2,5");
    EXPECT_EQ(CU::ValidateInterval("2,5", polish), "2");
    EXPECT_EQ(CU::ValidateInterval("0.75", polish), "0,75");
    EXPECT_EQ(CU::ValidateInterval("90 s", polish), "90");
    // Thousands are never grouped: the text must read back as one number.
    EXPECT_EQ(CU::ValidateInterval("3600", polish), "3600");
}

TEST(CycleIntervalTest, PeriodLocaleKeepsHalfSecondsAndFractionsBelowOne) {
    EXPECT_EQ(CU::ValidateInterval("0", english), "0.5");
    EXPECT_EQ(CU::ValidateInterval("2.5", english), "2.5");
    EXPECT_EQ(CU::ValidateInterval("0.7", english), "0.7");
    EXPECT_EQ(CU::ValidateInterval("0.3", english), "0.5");
    EXPECT_EQ(CU::ValidateInterval("1500", english), "1500");
}

TEST(CycleIntervalTest, HugeIntervalsAreCappedSoTheTicksFitACounter) {
    EXPECT_EQ(CU::ValidateInterval("1e12", english), "1073741823");
    EXPECT_EQ(CU::ValidateInterval("1e999", english), "1073741823");
    EXPECT_EQ(CU::Ticks(CU::ValidateInterval("1e12", polish)), 2147483646);
    EXPECT_EQ(CU::Ticks("1e12"), std::numeric_limits<int>::max());
}

TEST(CycleIntervalTest, TicksDoubleAndRoundHalvesToEven) {
    EXPECT_EQ(CU::Ticks("2,5"), 5);
    EXPECT_EQ(CU::Ticks("2.5"), 5);
    EXPECT_EQ(CU::Ticks("2,25"), 4);
    EXPECT_EQ(CU::Ticks("2,75"), 6);
    EXPECT_EQ(CU::Ticks("0,25"), 0);
    EXPECT_EQ(CU::Ticks("0,75"), 2);
    EXPECT_EQ(CU::Ticks("1,25"), 2);
    EXPECT_EQ(CU::Ticks("0,5"), 1);
    EXPECT_EQ(CU::Ticks("2,3"), 5);
    EXPECT_EQ(CU::Ticks("90"), 180);
    EXPECT_EQ(CU::Ticks(""), 0);
    EXPECT_EQ(CU::Ticks("-3"), 0);
}

TEST(CycleIntervalTest, LabelShowsTheTimeAndAHalfSecond) {
    EXPECT_EQ(CU::IntervalLabel("90", polish), "00:01:30");
    EXPECT_EQ(CU::IntervalLabel("2,5", polish), "00:00:02,5");
    EXPECT_EQ(CU::IntervalLabel("0,5", polish), "00:00:00,5");
    EXPECT_EQ(CU::IntervalLabel("2.5", english), "00:00:02.5");
    EXPECT_EQ(CU::IntervalLabel("59", polish), "00:00:59");
    EXPECT_EQ(CU::IntervalLabel("3600", polish), "01:00:00");
    EXPECT_EQ(CU::IntervalLabel("86399", polish), "23:59:59");
    EXPECT_EQ(CU::IntervalLabel("100000", polish), "27:46:40");
    EXPECT_EQ(CU::IntervalLabel("", polish), "00:00:00");
    // The label tells the interval automatic work keeps: 2,75 s is 6 ticks.
    EXPECT_EQ(CU::IntervalLabel("2,75", polish), "00:00:03");
}

TEST(CycleIntervalTest, RangeChecksComeInTheirOrder) {
    EXPECT_EQ(CU::CheckRange("10", "5"), 9);
    EXPECT_EQ(CU::CheckRange("", "5"), 10);
    EXPECT_EQ(CU::CheckRange("5", ""), 9);
    EXPECT_EQ(CU::CheckRange("", ""), 10);
    EXPECT_EQ(CU::CheckRange("0", "5"), 11);
    EXPECT_EQ(CU::CheckRange("00", "0"), 11);
    EXPECT_EQ(CU::CheckRange("5", "5"), std::nullopt);
    EXPECT_EQ(CU::CheckRange("1", "999999999"), std::nullopt);
}

TEST(CycleSettingsTest, CycleWorkIsOnOnlyForTheNumberOne) {
    PerUserSettings settings("CycleSettingsTest");
    EXPECT_FALSE(CU::CycleWorkOn(settings));
    // The number at the front counts, so "1,5" is the number 1.
    for (const char* on : {"1", "1.0", " 1", "1x", "1,5"}) {
        settings.SaveSetting(CU::Section, CU::KeyCykl, on);
        EXPECT_TRUE(CU::CycleWorkOn(settings)) << on;
    }
    for (const char* off : {"0", "", "2", "x1", "1.5"}) {
        settings.SaveSetting(CU::Section, CU::KeyCykl, off);
        EXPECT_FALSE(CU::CycleWorkOn(settings)) << off;
    }
    settings.SaveSetting(CU::Section, CU::KeyTimer, "2,5");
    EXPECT_EQ(CU::StoredTicks(settings), 5);
}

// The gate over a working database with the windows given.
class CycleGateTest : public ::testing::Test {
protected:
    void Open(std::initializer_list<std::pair<int, int>> windows) {
        database = std::make_unique<Database>(folder.filePath("dane.mdb"));
        database->CreateSchema();
        for (const auto& [start, stop] : windows)
            database->Execute("INSERT INTO cykl (start, Stop) VALUES (?, ?)", {start, stop});
        gate = std::make_unique<CycleGate>(*database);
        gate->LoadFirstRange();
    }

    using R = CycleGate::Result;

    QTemporaryDir folder;
    std::unique_ptr<Database> database;
    std::unique_ptr<CycleGate> gate;
};

TEST_F(CycleGateTest, StoresInsideWindowsDropsBeforeAndEndsAfterTheLast) {
    Open({{10, 20}, {30, 40}});
    EXPECT_EQ(gate->lZakres(), (CycleGate::Range{10, 20}));
    EXPECT_EQ(gate->Check(0), R::Reject);
    EXPECT_EQ(gate->Check(5), R::Reject);
    EXPECT_EQ(gate->Check(10), R::Accept);
    EXPECT_EQ(gate->Check(20), R::Accept);
    EXPECT_EQ(gate->Check(25), R::Reject);
    EXPECT_EQ(gate->Cursor(), 1);
    EXPECT_EQ(gate->Check(30), R::Accept);
    EXPECT_EQ(gate->Check(40), R::Accept);
    EXPECT_EQ(gate->Check(41), R::EndOfCycle);
    EXPECT_EQ(gate->Check(41), R::EndOfCycle);

    // Stop loads the first window again for the next run.
    gate->LoadFirstRange();
    EXPECT_EQ(gate->Cursor(), 0);
    EXPECT_EQ(gate->Check(0), R::Reject);
    EXPECT_EQ(gate->Check(15), R::Accept);
}

TEST_F(CycleGateTest, PassedWindowsAreSkippedInOneGo) {
    Open({{10, 20}, {30, 40}, {50, 60}});
    EXPECT_EQ(gate->Check(55), R::Accept);
    EXPECT_EQ(gate->Cursor(), 2);
    EXPECT_EQ(gate->lZakres(), (CycleGate::Range{50, 60}));
}

TEST_F(CycleGateTest, EmptyTableTakesSecondZeroOnly) {
    Open({});
    EXPECT_EQ(gate->Cursor(), -1);
    EXPECT_EQ(gate->lZakres(), (CycleGate::Range{0, 0}));
    EXPECT_EQ(gate->Check(0), R::Accept);
    EXPECT_EQ(gate->Check(1), R::EndOfCycle);
}

TEST_F(CycleGateTest, WindowsOutOfOrderAreVisitedInTableOrder) {
    Open({{30, 40}, {10, 20}});
    EXPECT_EQ(gate->Check(0), R::Reject);
    EXPECT_EQ(gate->Check(15), R::Reject);
    EXPECT_EQ(gate->Check(29), R::Reject);
    EXPECT_EQ(gate->Check(30), R::Accept);
    EXPECT_EQ(gate->Check(40), R::Accept);
    EXPECT_EQ(gate->Check(41), R::EndOfCycle);
}

TEST_F(CycleGateTest, MovingTheCursorChoosesTheWindowThatFollows) {
    Open({{10, 20}, {30, 40}, {50, 60}});
    std::vector<int> moved;
    QObject::connect(gate.get(), &CycleGate::CursorChanged, [&](int row) { moved.push_back(row); });
    gate->SetCursor(1);
    gate->SetCursor(1);
    EXPECT_EQ(moved, std::vector<int>{1});
    // lZakres is still the first window; once it is over the next row is 2.
    EXPECT_EQ(gate->Check(15), R::Accept);
    EXPECT_EQ(gate->Check(35), R::Reject);
    EXPECT_EQ(gate->lZakres(), (CycleGate::Range{50, 60}));
    gate->SetCursor(99);
    EXPECT_EQ(gate->Cursor(), 2);
}

TEST_F(CycleGateTest, DeletingRowsKeepsTheLoadedWindow) {
    Open({{10, 20}, {30, 40}});
    gate->SetCursor(1);
    ASSERT_TRUE(gate->DeleteCurrent());
    EXPECT_EQ(gate->RowCount(), 1);
    EXPECT_EQ(gate->Cursor(), 0);
    EXPECT_EQ(gate->RowAt(0).range, (CycleGate::Range{10, 20}));

    ASSERT_TRUE(gate->DeleteCurrent());
    EXPECT_EQ(gate->RowCount(), 0);
    EXPECT_EQ(gate->Cursor(), -1);
    EXPECT_EQ(database->Scalar("SELECT count(*) FROM cykl").toInt(), 0);
    EXPECT_FALSE(gate->DeleteCurrent());
    EXPECT_EQ(gate->lZakres(), (CycleGate::Range{10, 20}));
    gate->LoadFirstRange();
    EXPECT_EQ(gate->lZakres(), (CycleGate::Range{10, 20}));
}

TEST_F(CycleGateTest, WritesGoThroughTheDatabaseRules) {
    Open({{10, 20}});
    gate->Insert(30, 40);
    EXPECT_THROW(gate->Insert(15, 35), DatabaseError);
    EXPECT_THROW(gate->Insert(0, 5), DatabaseError);
    gate->Reload();
    ASSERT_EQ(gate->RowCount(), 2);
    gate->SetCursor(1);
    // A window may be changed within its own span.
    EXPECT_TRUE(gate->UpdateCurrent(25, 45));
    EXPECT_THROW(gate->UpdateCurrent(5, 45), DatabaseError);
    gate->Reload();
    EXPECT_EQ(gate->RowAt(0).range, (CycleGate::Range{10, 20}));
    EXPECT_EQ(gate->RowAt(1).range, (CycleGate::Range{25, 45}));
}

TEST_F(CycleGateTest, AnUnreadableRowEndsTheCycle) {
    Open({{10, 20}});
    database->Execute("INSERT INTO cykl (start, Stop) VALUES ('x', 'y')");
    database->Execute("INSERT INTO cykl (start, Stop) VALUES (300, 400)");
    gate->Reload();
    ASSERT_EQ(gate->RowCount(), 3);
    EXPECT_FALSE(gate->RowAt(1).range.has_value());
    EXPECT_EQ(gate->Check(15), R::Accept);
    EXPECT_EQ(gate->Check(350), R::EndOfCycle);
}

} // namespace
