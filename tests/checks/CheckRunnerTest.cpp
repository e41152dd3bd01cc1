#include "CheckRunner.h"
#include "CheckReadingSource.h"
#include "CheckRegister.h"
#include "TestEnvironment.h"

#include <QCoreApplication>
#include <cmath>
#include <gtest/gtest.h>

using namespace Pomiar;

namespace {

// Answers each request from a list, at once: a value, or (NaN) a failure.
class ScriptedSource : public CheckReadingSource {
public:
    QList<double> values;
    QString unit = "g";
    int requests = 0;
    int abandoned = 0;
    bool answer = true;

    void RequestStable() override {
        ++requests;
        if (!answer)
            return;
        const double value = values.value(requests - 1, std::nan(""));
        if (std::isnan(value))
            emit ReadingFailed("no reply within 1 s");
        else
            emit ReadingArrived(value, unit, "S S " + QByteArray::number(value) + " g\r\n");
    }
    void Abandon() override { ++abandoned; }
};

class CheckRunnerTest : public testing::Test {
protected:
    ScriptedSource source;
    CheckRunner runner{source};
    CheckRegister checks{CheckRegister::PathIn(TestEnvironment::FreshFolder())};
    QList<CheckStep> steps;
    std::optional<CheckRecord> finished;
    QStringList failures;

    void SetUp() override {
        runner.SetRegister(&checks, {"3", "anna", "lab-pc"});
        QObject::connect(&runner, &CheckRunner::StepReady,
                         [this](const CheckStep& step) { steps << step; });
        QObject::connect(&runner, &CheckRunner::Finished,
                         [this](const CheckRecord& record) { finished = record; });
        QObject::connect(&runner, &CheckRunner::ReadingFailed,
                         [this](const QString& reason) { failures << reason; });
    }

    static CheckPlan Plan(CheckKind kind) {
        CheckPlan plan;
        plan.kind = kind;
        plan.balance = {"B1", "XS205", "1", 220, 0.0001, "g", "3"};
        plan.station = "3";
        plan.program = "test";
        plan.limits = {0.10, std::nullopt, "USP <41>"};
        plan.smallestNet = 0.5;
        return plan;
    }
};

} // namespace

// Ten replicate weighings: the operator is told to place, then to replace
// nine times, then to remove; the record holds every reading and the
// figures, and the register has it.
TEST_F(CheckRunnerTest, RepeatabilityRunsItsStepsAndIsStored) {
    source.values = QList<double>(10, 20.0001);
    QString refusal;
    ASSERT_TRUE(runner.Start(Plan(CheckKind::Repeatability), &refusal)) << refusal.toStdString();
    for (int i = 0; i < 10; ++i)
        runner.Confirm();
    ASSERT_TRUE(finished);
    ASSERT_EQ(steps.size(), 11);
    EXPECT_EQ(steps[0].action, CheckStep::Action::Place);
    EXPECT_EQ(steps[5].action, CheckStep::Action::Replace);
    EXPECT_EQ(steps[10].action, CheckStep::Action::Remove);
    EXPECT_EQ(finished->readings.size(), 10);
    EXPECT_EQ(finished->verdict, Verdict::Pass);
    EXPECT_DOUBLE_EQ(*finished->Figure("s_used"), 0.000041);
    EXPECT_EQ(finished->operatorName, "anna");
    EXPECT_EQ(finished->station, "3");
    EXPECT_EQ(checks.Check(finished->id)->readings, finished->readings);
    EXPECT_FALSE(runner.Running());
}

// The eccentricity steps name the corners in order, and the readings keep
// their positions.
TEST_F(CheckRunnerTest, EccentricityLeadsAroundThePan) {
    source.values = {100.0, 100.0002, 99.9999, 100.0, 100.0001};
    CheckPlan plan = Plan(CheckKind::Eccentricity);
    plan.testMass = 100;
    plan.limits = {0.0003, std::nullopt, "lab"};
    ASSERT_TRUE(runner.Start(plan, nullptr));
    for (int i = 0; i < 5; ++i)
        runner.Confirm();
    ASSERT_TRUE(finished);
    EXPECT_EQ(steps[1].Text(), "move the test weight to the front left of the pan (2 of 5)");
    EXPECT_EQ(steps[4].position, PanPosition::FrontRight);
    EXPECT_EQ(finished->readings[2].position, PanPosition::BackLeft);
    EXPECT_NEAR(*finished->Figure("deviation"), 0.0002, 1e-12);
    EXPECT_EQ(finished->verdict, Verdict::Pass);
}

// A reading that fails leaves the runner at its step; the next Confirm
// takes it again.
TEST_F(CheckRunnerTest, AFailedReadingIsTakenAgain) {
    source.values = {std::nan(""), 200.0001};
    CheckPlan plan = Plan(CheckKind::Accuracy);
    plan.testMass = 200;
    ASSERT_TRUE(runner.Start(plan, nullptr));
    runner.Confirm();
    EXPECT_EQ(failures.size(), 1);
    EXPECT_FALSE(finished);
    runner.Confirm();
    ASSERT_TRUE(finished);
    EXPECT_EQ(finished->readings.size(), 1);
    EXPECT_EQ(finished->verdict, Verdict::Pass);
}

// Cancelled half-way: the record says so, keeps the readings taken, and
// is in the register.
TEST_F(CheckRunnerTest, ACancelledCheckLeavesARecord) {
    source.values = QList<double>(10, 1.0);
    ASSERT_TRUE(runner.Start(Plan(CheckKind::Repeatability), nullptr));
    runner.Confirm();
    runner.Confirm();
    source.answer = false;
    runner.Confirm();
    runner.Cancel();
    ASSERT_TRUE(finished);
    EXPECT_EQ(source.abandoned, 1);
    EXPECT_EQ(finished->verdict, Verdict::Cancelled);
    EXPECT_EQ(finished->readings.size(), 2);
    EXPECT_FALSE(finished->refusal.isEmpty());
    EXPECT_EQ(checks.Check(finished->id)->verdict, Verdict::Cancelled);
}

// Plans that cannot run are refused before any step, and nothing is stored.
TEST_F(CheckRunnerTest, PlansThatCannotRunAreRefused) {
    CheckPlan nine = Plan(CheckKind::Repeatability);
    nine.count = 9;
    CheckPlan noD = Plan(CheckKind::Repeatability);
    noD.balance.d = 0;
    CheckPlan noMass = Plan(CheckKind::Accuracy);
    CheckPlan noTolerance = Plan(CheckKind::Eccentricity);
    noTolerance.testMass = 100;
    noTolerance.limits = {};
    for (const CheckPlan& plan : {nine, noD, noMass, noTolerance}) {
        QString refusal;
        EXPECT_FALSE(runner.Start(plan, &refusal));
        EXPECT_FALSE(refusal.isEmpty());
    }
    EXPECT_TRUE(steps.isEmpty());
    EXPECT_TRUE(checks.Checks().isEmpty());
}

// A weight past its certificate's due date may be used; the warning is in
// the record the register keeps.
TEST_F(CheckRunnerTest, AWeightPastItsDueDateIsWarnedOfAndRecorded) {
    TestWeight weight;
    weight.id = "W7";
    weight.conventionalMass = 200.0002;
    weight.certificate = "C-7";
    weight.certificateDue = QDate::currentDate().addDays(-1);
    source.values = {200.0003};
    CheckPlan plan = Plan(CheckKind::Accuracy);
    plan.weight = weight;
    ASSERT_TRUE(runner.Start(plan, nullptr));
    runner.Confirm();
    ASSERT_TRUE(finished);
    EXPECT_DOUBLE_EQ(finished->testMass, 200.0002);
    EXPECT_EQ(finished->weightId, "W7");
    ASSERT_EQ(finished->warnings.size(), 1);
    EXPECT_TRUE(finished->warnings[0].contains("W7"));
    EXPECT_EQ(checks.Check(finished->id)->warnings, finished->warnings);
    // Due today is not past due.
    weight.certificateDue = QDate::currentDate();
    plan.weight = weight;
    EXPECT_TRUE(CheckRunner::PlanWarnings(plan, QDate::currentDate()).isEmpty());
}

// A reading in another unit than the first is not taken.
TEST_F(CheckRunnerTest, AReadingInAnotherUnitIsRefused) {
    source.values = {100.0, 100.0};
    CheckPlan plan = Plan(CheckKind::Eccentricity);
    plan.testMass = 100;
    plan.limits = {0.0003, std::nullopt, "lab"};
    ASSERT_TRUE(runner.Start(plan, nullptr));
    runner.Confirm();
    source.unit = "mg";
    runner.Confirm();
    EXPECT_EQ(failures.size(), 1);
    EXPECT_EQ(runner.Record().readings.size(), 1);
}
