#include "CheckSchedule.h"
#include "CheckSettings.h"
#include "INI.h"
#include "TestEnvironment.h"
#include "mUstawienia.h"

#include <QDir>
#include <gtest/gtest.h>

using namespace Pomiar;

namespace {

QDateTime At(const char* text) {
    return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate);
}

struct ScheduleCase {
    const char* name;
    CheckSchedule schedule;
    const char* lastPassed; // nullptr: never
    QDate today;
    CheckSchedule::State state;
    int daysOverdue;
};

class ScheduleCases : public testing::TestWithParam<ScheduleCase> {};

} // namespace

// A daily check passed on Monday 7 December is due on Tuesday 8, overdue
// from Wednesday 9 (one day); weekly: due on 14 December; every 3 days:
// due on 10 December, overdue by 2 on the 12th.
TEST_P(ScheduleCases, StateOnADay) {
    const ScheduleCase& c = GetParam();
    const auto last = c.lastPassed ? std::optional<QDateTime>(At(c.lastPassed)) : std::nullopt;
    const auto status = c.schedule.StatusOn(last, c.today);
    EXPECT_EQ(status.state, c.state);
    EXPECT_EQ(status.daysOverdue, c.daysOverdue);
}

INSTANTIATE_TEST_SUITE_P(
    Hand, ScheduleCases,
    testing::Values(ScheduleCase{"DailySameDay", CheckSchedule::Daily(), "2026-12-07T09:00:00",
                                 QDate(2026, 12, 7), CheckSchedule::State::UpToDate, 0},
                    ScheduleCase{"DailyNextDay", CheckSchedule::Daily(), "2026-12-07T09:00:00",
                                 QDate(2026, 12, 8), CheckSchedule::State::Due, 0},
                    ScheduleCase{"DailyDayAfter", CheckSchedule::Daily(), "2026-12-07T09:00:00",
                                 QDate(2026, 12, 9), CheckSchedule::State::Overdue, 1},
                    ScheduleCase{"WeeklyOnItsDay", CheckSchedule::Weekly(), "2026-12-07T23:59:00",
                                 QDate(2026, 12, 14), CheckSchedule::State::Due, 0},
                    ScheduleCase{"EveryThreeLate", CheckSchedule::EveryNDays(3),
                                 "2026-12-07T12:00:00", QDate(2026, 12, 12),
                                 CheckSchedule::State::Overdue, 2},
                    ScheduleCase{"NeverDone", CheckSchedule::Daily(), nullptr, QDate(2026, 12, 7),
                                 CheckSchedule::State::Overdue, 0},
                    ScheduleCase{"NotScheduled", CheckSchedule(), nullptr, QDate(2026, 12, 7),
                                 CheckSchedule::State::NotScheduled, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CheckSchedule, NextDueIsTheDayTheIntervalEnds) {
    EXPECT_EQ(CheckSchedule::Weekly().NextDue(At("2026-12-07T10:00:00")), QDate(2026, 12, 14));
    EXPECT_FALSE(CheckSchedule().NextDue(At("2026-12-07T10:00:00")).has_value());
}

TEST(CheckSchedule, TextReadsBackAsTheSameSchedule) {
    for (const CheckSchedule& schedule : {CheckSchedule(), CheckSchedule::Daily(),
                                          CheckSchedule::Weekly(), CheckSchedule::EveryNDays(5)})
        EXPECT_EQ(CheckSchedule::Parse(schedule.Text()), schedule) << schedule.Text().toStdString();
    EXPECT_EQ(CheckSchedule::Parse(" Every 10 days ")->Days(), 10);
    EXPECT_EQ(CheckSchedule::Parse("4")->Days(), 4);
    EXPECT_FALSE(CheckSchedule::Parse("every 0 days").has_value());
    EXPECT_FALSE(CheckSchedule::Parse("fortnightly").has_value());
}

TEST(CheckSettings, DefaultsWithoutTheSection) {
    const QString ini = QDir(TestEnvironment::Root()).filePath("empty.ini");
    const CheckSettings settings = CheckSettings::Read(ini);
    EXPECT_EQ(settings.safetyFactor, 2);
    EXPECT_FALSE(settings.refuseBelowMinimum);
    EXPECT_FALSE(settings.refuseWhenDue);
    EXPECT_EQ(settings.LimitsOf(CheckKind::Repeatability)->failure, 0.10);
    EXPECT_TRUE(settings.LimitsOf(CheckKind::Repeatability)->source.contains("USP <41>"));
    EXPECT_FALSE(settings.LimitsOf(CheckKind::Eccentricity).has_value());
    EXPECT_EQ(settings.ScheduleOf(CheckKind::Accuracy).GetPeriod(), CheckSchedule::Period::None);
}

TEST(CheckSettings, WrittenSettingsReadBack) {
    const QString ini = QDir(TestEnvironment::Root()).filePath("written.ini");
    CheckSettings settings;
    settings.balanceId = "XS205";
    settings.safetyFactor = 3;
    settings.refuseBelowMinimum = true;
    settings.smallestNet = 0.05;
    settings.accuracyTolerancePct = 0.05;
    settings.accuracyWarningPct = 0.03;
    settings.eccentricityTolerance = 0.0004;
    settings.schedules[CheckKind::Repeatability] = CheckSchedule::Daily();
    settings.schedules[CheckKind::Eccentricity] = CheckSchedule::EveryNDays(30);
    QString error;
    ASSERT_TRUE(settings.Write(ini, &error)) << error.toStdString();
    const CheckSettings read = CheckSettings::Read(ini);
    EXPECT_EQ(read, settings);
    // A tolerance of the lab's own is named as its source.
    EXPECT_TRUE(read.LimitsOf(CheckKind::Accuracy)->source.contains("accuracyTolerancePct"));
}

TEST(CheckSettings, UnusableTextsNameTheirKey) {
    const QString ini = QDir(TestEnvironment::Root()).filePath("bad.ini");
    for (const auto& [key, text] :
         std::vector<std::pair<QString, QString>>{{"safetyFactor", "two"},
                                                  {"safetyFactor", "0.5"},
                                                  {"refuseBelowMinimum", "maybe"},
                                                  {"scheduleAccuracy", "fortnightly"},
                                                  {"eccentricityTolerance", "-1"}}) {
        QFile::remove(ini);
        ASSERT_TRUE(INI::ZapiszIni(ini, "CHECKS", key, text));
        try {
            CheckSettings::Read(ini);
            ADD_FAILURE() << key.toStdString() << "=" << text.toStdString() << " was taken";
        } catch (const SettingsError& error) {
            EXPECT_EQ(error.key, key);
        }
    }
}
