#include "CheckRegister.h"
#include "CheckSettings.h"
#include "Database.h"
#include "DueChecks.h"
#include "MinimumWeight.h"
#include "TestEnvironment.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace Pomiar;

namespace {

class CheckRegisterTest : public testing::Test {
protected:
    QString path = CheckRegister::PathIn(TestEnvironment::FreshFolder());
    SeriesJournal::Author author{"3", "anna", "lab-pc"};

    static TestWeight Weight(const QString& id, const QDate& due) {
        TestWeight weight;
        weight.id = id;
        weight.nominal = 200;
        weight.conventionalMass = 200.00012;
        weight.weightClass = "E2";
        weight.certificate = "PL-123/2026";
        weight.certificateDue = due;
        weight.uncertainty = 0.00003;
        return weight;
    }

    static CheckRecord Repeatability(const QString& balance, Verdict verdict, double mMin) {
        CheckRecord record;
        record.kind = CheckKind::Repeatability;
        record.balanceId = balance;
        record.d = 0.0001;
        record.readings = {
            {PanPosition::Centre, 20.0001, "g", "S S     20.0001 g\r\n",
             QDateTime::fromString("2026-12-07T10:00:01.250+01:00", Qt::ISODateWithMs)}};
        record.figures = {{"s", 0.00002}, {"s_used", 0.000041}, {"m_min", mMin}};
        record.limits = {0.10, 0.08, "USP <41>"};
        record.verdict = verdict;
        record.warnings = {"weight W1: its certificate was due on 2026-01-01"};
        record.operatorName = "anna";
        record.station = "3";
        record.started = QDateTime::fromString("2026-12-07T10:00:00.000+01:00", Qt::ISODateWithMs);
        record.finished = QDateTime::fromString("2026-12-07T10:02:00.500+01:00", Qt::ISODateWithMs);
        return record;
    }
};

} // namespace

TEST_F(CheckRegisterTest, WeightsBalancesAndChecksReadBackAsStored) {
    CheckRegister checks(path);
    EXPECT_TRUE(path.endsWith("/checks.db"));
    const TestWeight weight = Weight("W1", QDate(2027, 6, 30));
    checks.SaveWeight(weight, author);
    EXPECT_EQ(checks.Weight("W1"), weight);
    const RegisteredBalance balance{"B1", "XS205", "1234567", 220, 0.0001, "g", "3"};
    checks.SaveBalance(balance, author);
    EXPECT_EQ(checks.Balances(), QList<RegisteredBalance>{balance});
    CheckRecord record = Repeatability("B1", Verdict::Pass, 0.082);
    checks.StoreCheck(record, author);
    EXPECT_GT(record.id, 0);
    EXPECT_FALSE(record.uid.isEmpty());
    EXPECT_GT(record.journalSeq, 0);
    EXPECT_EQ(record.journalHash.size(), 32);
    EXPECT_EQ(checks.Check(record.id), record);
    EXPECT_TRUE(checks.Verify().verified) << checks.Verify().where.toStdString();
}

// A weight saved again replaces the old entry; removing it is recorded too.
TEST_F(CheckRegisterTest, ChangesAreJournaledAndVerify) {
    CheckRegister checks(path);
    checks.SaveWeight(Weight("W1", QDate(2027, 1, 1)), author);
    checks.SaveWeight(Weight("W1", QDate(2028, 1, 1)), author);
    checks.SaveWeight(Weight("W2", QDate(2028, 1, 1)), author);
    checks.RemoveWeight("W2", author);
    EXPECT_EQ(checks.Weights().size(), 1);
    EXPECT_EQ(checks.Weight("W1")->certificateDue, QDate(2028, 1, 1));
    const auto verified = checks.Verify();
    EXPECT_TRUE(verified.verified) << verified.where.toStdString();
    // journal started, author, four changes.
    EXPECT_EQ(verified.entries, 6);
}

struct Tamper {
    const char* name;
    const char* statement;
    const char* where;
};

class CheckRegisterTampering : public CheckRegisterTest,
                               public testing::WithParamInterface<Tamper> {};

// Changes made to the file behind the register's back, each found.
TEST_P(CheckRegisterTampering, IsFound) {
    {
        CheckRegister checks(path);
        checks.SaveWeight(Weight("W1", QDate(2027, 1, 1)), author);
        checks.SaveBalance({"B1", "XS205", "1234567", 220, 0.0001, "g", "3"}, author);
        CheckRecord failed = Repeatability("B1", Verdict::Fail, 0.3);
        checks.StoreCheck(failed, author);
    }
    {
        Database raw(path);
        raw.Execute(GetParam().statement);
    }
    CheckRegister checks(path);
    const auto verified = checks.Verify();
    EXPECT_FALSE(verified.verified);
    EXPECT_TRUE(verified.where.contains(GetParam().where)) << verified.where.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Behind, CheckRegisterTampering,
    testing::Values(
        Tamper{"VerdictColumn", "UPDATE checks SET verdict = 'pass'", "check 1 differs"},
        Tamper{"VerdictInRecord",
               "UPDATE checks SET record = replace(record, '\"fail\"', "
               "'\"pass\"'), verdict = 'pass'",
               "check 1 differs"},
        Tamper{"CheckDeleted", "DELETE FROM checks", "check 1 is missing"},
        Tamper{"WeightDue", "UPDATE weights SET certificate_due = '2030-01-01'",
               "weight W1 differs"},
        Tamper{"WeightAdded", "INSERT INTO weights (id, nominal) VALUES ('W9', 1)",
               "weight W9 differs"},
        Tamper{"BalanceD", "UPDATE balances SET d = 0.001", "balance B1 differs"},
        Tamper{"JournalData", "UPDATE journal SET data = x'00' WHERE seq = 3",
               "entry 3 was changed"},
        Tamper{"JournalRowGone", "DELETE FROM journal WHERE seq = 2", "entry 2 is missing"}),
    [](const auto& info) { return std::string(info.param.name); });

// The newest first, by balance and kind; LastCheck with passedOnly skips a
// later failure.
TEST_F(CheckRegisterTest, HistoryAndTheLastPassedCheck) {
    CheckRegister checks(path);
    CheckRecord first = Repeatability("B1", Verdict::Pass, 0.082);
    CheckRecord other = Repeatability("B2", Verdict::Pass, 0.5);
    CheckRecord failed = Repeatability("B1", Verdict::Fail, 0.3);
    for (CheckRecord* record : {&first, &other, &failed})
        checks.StoreCheck(*record, author);
    CheckFilter filter;
    filter.balanceId = "B1";
    const auto history = checks.Checks(filter);
    ASSERT_EQ(history.size(), 2);
    EXPECT_EQ(history[0].id, failed.id);
    EXPECT_EQ(checks.LastCheck("B1", CheckKind::Repeatability)->id, failed.id);
    EXPECT_EQ(checks.LastCheck("B1", CheckKind::Repeatability, true)->id, first.id);
    EXPECT_FALSE(checks.LastCheck("B1", CheckKind::Accuracy).has_value());
}

// m_min 0.082 g with SF 2: a net 0.1639 g is below 0.164 g, 0.164 g is not,
// 0.1 mg is; no check for the balance: nothing in force.
TEST_F(CheckRegisterTest, MinimumWeightInForceFromTheLastPassedCheck) {
    CheckRegister checks(path);
    CheckSettings settings;
    settings.balanceId = "B1";
    EXPECT_FALSE(MinimumWeight::For(checks, settings).inForce);
    CheckRecord passed = Repeatability("B1", Verdict::Pass, 0.082);
    checks.StoreCheck(passed, author);
    CheckRecord failed = Repeatability("B1", Verdict::Fail, 0.3);
    checks.StoreCheck(failed, author);
    const MinimumWeight minimum = MinimumWeight::For(checks, settings);
    ASSERT_TRUE(minimum.inForce);
    EXPECT_EQ(minimum.checkId, passed.id);
    EXPECT_DOUBLE_EQ(minimum.Threshold(), 0.164);
    const std::optional<MinimumWeightRule> rule = minimum.Rule();
    ASSERT_TRUE(rule);
    EXPECT_EQ(rule->checkId, QString::number(passed.id));
    using Mark = MinimumWeightRule::Verdict;
    EXPECT_EQ(rule->Judge(0.1639, "g"), Mark::Below);
    EXPECT_EQ(rule->Judge(-0.1, "g"), Mark::Below);
    EXPECT_EQ(rule->Judge(0.164, "g"), Mark::Fit);
    EXPECT_EQ(rule->Judge(0.1, "mg"), Mark::Below);
    EXPECT_FALSE(MinimumWeight::For(checks, settings, "B2").Rule());
}

TEST_F(CheckRegisterTest, RecordJsonRoundTrips) {
    CheckRecord record = Repeatability("B1", Verdict::Warning, 0.082);
    record.weightCertificateDue = QDate(2026, 1, 1);
    record.journalHash = QByteArray(32, '\x07');
    record.limits.warning.reset();
    EXPECT_EQ(CheckRecord::FromJson(record.ToJson()), record);
    EXPECT_FALSE(CheckRecord::FromJson("{\"check\":\"weighing\"}").has_value());
    EXPECT_FALSE(CheckRecord::FromJson("not json").has_value());
}

TEST_F(CheckRegisterTest, AFileThatIsNoDatabaseIsRefused) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();
    EXPECT_THROW(CheckRegister{path}, DatabaseError);
}

// Repeatability daily, accuracy weekly: a repeatability check passed
// yesterday is due today, an accuracy check never done is overdue; the
// readings are refused only when the lab says so. A later cancelled check
// is not the last one shown.
TEST_F(CheckRegisterTest, DueChecksOfABalance) {
    CheckRegister checks(path);
    CheckSettings settings;
    settings.balanceId = "B1";
    settings.schedules[CheckKind::Repeatability] = CheckSchedule::Daily();
    settings.schedules[CheckKind::Accuracy] = CheckSchedule::Weekly();
    CheckRecord passed = Repeatability("B1", Verdict::Pass, 0.082);
    checks.StoreCheck(passed, author);
    CheckRecord cancelled = Repeatability("B1", Verdict::Cancelled, 0);
    checks.StoreCheck(cancelled, author);
    const QDate checkDay = passed.finished.toLocalTime().date();

    const DueChecks nextDay = DueChecks::For(checks, settings, checkDay.addDays(1));
    EXPECT_EQ(nextDay.status.at(CheckKind::Repeatability).state, CheckSchedule::State::Due);
    EXPECT_EQ(nextDay.status.at(CheckKind::Accuracy).state, CheckSchedule::State::Overdue);
    EXPECT_EQ(nextDay.status.count(CheckKind::Eccentricity), 0u);
    EXPECT_TRUE(nextDay.AnyDue());
    EXPECT_TRUE(nextDay.AnyOverdue());
    EXPECT_EQ(nextDay.NextDue(), checkDay.addDays(1));
    EXPECT_FALSE(nextDay.RefuseReadings());
    ASSERT_TRUE(nextDay.last);
    EXPECT_EQ(nextDay.last->id, passed.id);

    settings.refuseWhenDue = true;
    settings.schedules.erase(CheckKind::Accuracy);
    EXPECT_FALSE(DueChecks::For(checks, settings, checkDay).RefuseReadings());
    EXPECT_TRUE(DueChecks::For(checks, settings, checkDay.addDays(1)).RefuseReadings());
}
