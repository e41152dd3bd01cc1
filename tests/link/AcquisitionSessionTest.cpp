#include "AcquisitionSession.h"
#include "ProgramContext.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace Pomiar;
using Mode = AcquisitionState::Mode;

namespace {

// A session without a link: what it would send is seen through the traffic
// echo, so the rules of automatic work, pause, continuous transmission and
// the cycle windows are checked without a balance or a timer.
class AcquisitionSessionTest : public ::testing::Test {
protected:
    AcquisitionSessionTest() : session(context, nullptr) {
        session.Protocol().debugShow = true;
        session.Protocol().SetDebugSink(
            [this](const QString& text, const QString&) { sent += text; });
    }

    // The commands sent since the last call, one per line.
    QString Sent() { return std::exchange(sent, QString()); }

    // Cycle windows answering one result, counting rewinds.
    struct FixedCycle : CycleWindows {
        Result answer = Result::Accept;
        int rangesLoaded = 0;
        Result Check(int) override { return answer; }
        void LoadFirstRange() override { ++rangesLoaded; }
    };

    ProgramContext context;
    AcquisitionSession session;
    QString sent;
};

} // namespace

TEST_F(AcquisitionSessionTest, AutomaticWorkAsksAtOnceThenEveryIntervalOfTicks) {
    session.lTim2 = 3;
    session.Start();
    EXPECT_EQ(Sent(), "SI\r\n") << "the first tick of the run asks at once";
    EXPECT_TRUE(session.Timer2.isActive());
    EXPECT_EQ(session.Mode(), Mode::Automatic);
    QString perTick;
    for (int tick = 0; tick < 7; ++tick) {
        session.Timer2Tick();
        perTick += Sent().isEmpty() ? '.' : 'R';
    }
    EXPECT_EQ(perTick, "..R..R.");
    session.Stop();
    EXPECT_FALSE(session.Timer2.isActive());
    EXPECT_EQ(session.Mode(), Mode::Idle);
}

TEST_F(AcquisitionSessionTest, StartWithoutAnIntervalAsksOnceAndStopsWithANotice) {
    QSignalSpy noInterval(&session, &AcquisitionSession::NoInterval);
    session.lTim2 = 0;
    session.Start();
    EXPECT_EQ(Sent(), "SI\r\n");
    EXPECT_EQ(noInterval.count(), 1);
    EXPECT_EQ(session.Mode(), Mode::Idle);
    EXPECT_FALSE(session.Timer2.isActive());
}

TEST_F(AcquisitionSessionTest, PauseHoldsTheTimerAndResumesIt) {
    QSignalSpy changed(&session, &AcquisitionSession::StateChanged);
    session.lTim2 = 2;
    session.Start();
    session.Pause();
    EXPECT_EQ(session.Mode(), Mode::Paused);
    EXPECT_FALSE(session.Timer2.isActive());
    EXPECT_TRUE(session.AutomaticWorkRunning());
    session.Pause();
    EXPECT_EQ(session.Mode(), Mode::Automatic);
    EXPECT_TRUE(session.Timer2.isActive());
    EXPECT_EQ(changed.count(), 3) << "start, pause, resume";
}

TEST_F(AcquisitionSessionTest, SingleReadsFollowTheUnstableSwitch) {
    QSignalSpy unstable(&session, &AcquisitionSession::UnstableChanged);
    session.OdpytajWage();
    EXPECT_EQ(Sent(), "S\r\n");
    session.UnstableSwitch();
    session.OdpytajWage();
    EXPECT_EQ(Sent(), "SI\r\n");
    ASSERT_EQ(unstable.count(), 1);
    EXPECT_TRUE(unstable[0][0].toBool());
}

TEST_F(AcquisitionSessionTest, ContinuousTransmissionSwitchesUnstableOnAndHandsOnItsLines) {
    QSignalSpy continuous(&session, &AcquisitionSession::ContinuousChanged);
    QSignalSpy collected(&session, &AcquisitionSession::ContinuousCollected);
    session.ContinuousSwitch();
    EXPECT_EQ(Sent(), "C1\r\n");
    EXPECT_TRUE(session.ContinuousTicked());
    EXPECT_TRUE(session.UnstableReadings());
    EXPECT_EQ(session.Mode(), Mode::Continuous);
    session.Buffers().Append("SI     1.0000 g  \r\n", QDateTime::currentDateTime());

    session.ContinuousSwitch();
    EXPECT_EQ(Sent(), "C0\r\n");
    EXPECT_FALSE(session.ContinuousTicked());
    EXPECT_FALSE(session.UnstableReadings()) << "back as it was before";
    EXPECT_EQ(session.Mode(), Mode::Idle);
    ASSERT_EQ(continuous.count(), 2);
    EXPECT_TRUE(continuous[0][0].toBool());
    EXPECT_FALSE(continuous[1][0].toBool());
    EXPECT_EQ(collected.count(), 1);
}

TEST_F(AcquisitionSessionTest, ContinuousTransmissionWithNothingCollectedStoresNothing) {
    QSignalSpy collected(&session, &AcquisitionSession::ContinuousCollected);
    session.UnstableSwitch();
    session.ContinuousSwitch();
    session.ContinuousSwitch();
    EXPECT_EQ(collected.count(), 0);
    EXPECT_TRUE(session.UnstableReadings()) << "it was on before and stays on";
}

TEST_F(AcquisitionSessionTest, CycleWindowsDecideOnlyDuringAutomaticWorkWithCycleWorkOn) {
    FixedCycle cycle;
    cycle.answer = CycleWindows::Result::Reject;
    session.SetCycleWindows(&cycle);
    session.lTim2 = 2;
    EXPECT_TRUE(session.PassCycleGate(5)) << "no automatic work";
    session.Start();
    EXPECT_TRUE(session.PassCycleGate(5)) << "cycle work off";
    session.cycleWorkOn = [] { return true; };
    EXPECT_FALSE(session.PassCycleGate(5));
    cycle.answer = CycleWindows::Result::Accept;
    EXPECT_TRUE(session.PassCycleGate(15));
}

TEST_F(AcquisitionSessionTest, TheEndOfTheLastWindowStopsAutomaticWorkAndRewinds) {
    FixedCycle cycle;
    cycle.answer = CycleWindows::Result::EndOfCycle;
    session.SetCycleWindows(&cycle);
    session.cycleWorkOn = [] { return true; };
    QSignalSpy ended(&session, &AcquisitionSession::CycleEnded);
    QSignalSpy cycleStopped(&session, &AcquisitionSession::CycleWorkStopped);
    session.lTim2 = 2;
    session.Start();
    EXPECT_FALSE(session.PassCycleGate(50));
    EXPECT_EQ(ended.count(), 1);
    EXPECT_EQ(cycleStopped.count(), 1);
    EXPECT_EQ(cycle.rangesLoaded, 1);
    EXPECT_FALSE(session.Timer2.isActive());
    EXPECT_TRUE(session.State().SingleReadHeld()) << "until the link next reports";
}
