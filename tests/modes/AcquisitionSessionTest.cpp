#include "AcquisitionSessionFixture.h"
#include "CycleGate.h"
#include "Database.h"
#include "MinimumWeightRule.h"

#include <QSignalSpy>

using namespace Pomiar;
using Mode = AcquisitionState::Mode;
using Outcome = AcquisitionSession::Outcome;

// Automatic work played as a script: a digit sets the interval in ticks
// (":" is 10), S starts, X stops, t is one tick of Timer2. Each S and t shows
// as R when it asked the balance, else as ".".
TEST_F(AcquisitionSessionTest, AutomaticWorkAsksAtOnceThenEveryIntervalOfTicks) {
    const struct {
        const char* name;
        const char* script;
        const char* requests;
    } cases[] = {
        {"the first start of the run asks at once, then every interval", "3Sttttttt", "R..R..R."},
        {"a second start waits lTim2 - 1 further ticks", "3SXSttttt", "R..R..R"},
        {"an interval shortened while the count runs takes effect at once", ":Stttttt3tttt",
         "R......R..R"},
    };
    for (const auto& c : cases) {
        AcquisitionSession fresh(context, nullptr, store);
        fresh.Protocol().debugShow = true;
        QString asked;
        fresh.Protocol().SetDebugSink(
            [&asked](const QString& text, const QString&) { asked += text; });
        QString requests;
        for (const char* step = c.script; *step; ++step) {
            switch (*step) {
            case 'S':
                fresh.Start();
                EXPECT_TRUE(fresh.AutomaticTimerRunning()) << c.name;
                EXPECT_EQ(fresh.Mode(), Mode::Automatic) << c.name;
                break;
            case 'X':
                fresh.Stop();
                EXPECT_FALSE(fresh.AutomaticTimerRunning()) << c.name;
                EXPECT_EQ(fresh.Mode(), Mode::Idle) << c.name;
                continue;
            case 't':
                fresh.Timer2Tick();
                break;
            default:
                fresh.SetInterval(*step - '0');
                continue;
            }
            requests += std::exchange(asked, QString()) == "SI\r\n" ? 'R' : '.';
        }
        EXPECT_EQ(requests, c.requests) << c.name;
    }
}

TEST_F(AcquisitionSessionTest, StartWithoutAnIntervalAsksOnceAndStopsWithANotice) {
    QSignalSpy noInterval(&session, &AcquisitionSession::NoInterval);
    session.SetInterval(0);
    session.Start();
    EXPECT_EQ(Sent(), "SI\r\n");
    EXPECT_EQ(noInterval.count(), 1);
    EXPECT_EQ(session.Mode(), Mode::Idle);
    EXPECT_FALSE(session.AutomaticTimerRunning());
}

TEST_F(AcquisitionSessionTest, PauseHoldsTheTimerAndResumesIt) {
    QSignalSpy changed(&session, &AcquisitionSession::StateChanged);
    session.SetInterval(2);
    session.Start();
    session.Pause();
    EXPECT_EQ(session.Mode(), Mode::Paused);
    EXPECT_FALSE(session.AutomaticTimerRunning());
    EXPECT_TRUE(session.AutomaticWorkRunning());
    Reply("S     1.0000 g  \r\n");
    EXPECT_TRUE(outcomes.empty()) << "a reply while paused is dropped";
    session.Pause();
    EXPECT_EQ(session.Mode(), Mode::Automatic);
    EXPECT_TRUE(session.AutomaticTimerRunning());
    EXPECT_EQ(changed.count(), 3) << "start, pause, resume";
}

TEST_F(AcquisitionSessionTest, SingleReadsFollowTheUnstableSwitch) {
    QSignalSpy unstable(&session, &AcquisitionSession::UnstableChanged);
    session.OdpytajWage();
    EXPECT_EQ(balance.Read(3), "S\r\n");
    session.UnstableSwitch();
    session.OdpytajWage();
    EXPECT_EQ(balance.Read(4), "SI\r\n");
    ASSERT_EQ(unstable.count(), 1);
    EXPECT_TRUE(unstable[0][0].toBool());
}

// Every reply takes the same road: the reading handler, the limits, the
// minimum weight and the hold for a check, the cycle windows during
// automatic cycle work, then the store. The gate is asked last, only of a
// reading every other rule took: asking moves through the windows and may
// end automatic work, and the reading it is asked of starts a series
// without a start.
TEST_F(AcquisitionSessionTest, AReplyIsStoredOrTurnedAwayForOneReason) {
    using Result = CycleWindows::Result;
    struct Case {
        const char* name;
        QByteArray frame;
        bool maxOn;
        bool refuseBelow;
        bool held;
        bool automaticCycle;
        Result window;
        Outcome outcome;
        int checks;
        bool ended;
        bool seriesStarted;
    };
    const QByteArray reading = "S     12.5000 g  \r\n";
    const Case cases[] = {
        {"a reading", reading, false, false, false, false, Result::Accept, Outcome::Stored, 0,
         false, true},
        {"an error reply", "ES\r\n", false, false, false, false, Result::Accept,
         Outcome::NotAReading, 0, false, false},
        {"above the maximum", reading, true, false, false, false, Result::Accept,
         Outcome::OutsideLimits, 0, false, false},
        {"between the windows", reading, false, false, false, true, Result::Reject,
         Outcome::OutsideCycleWindow, 1, false, true},
        {"inside a window", reading, false, false, false, true, Result::Accept, Outcome::Stored, 1,
         false, true},
        {"windows off outside cycle work", reading, false, false, false, false, Result::Reject,
         Outcome::Stored, 0, false, true},
        {"an error reply in cycle work", "ES\r\n", false, false, false, true, Result::EndOfCycle,
         Outcome::NotAReading, 0, false, false},
        {"above the maximum in cycle work", reading, true, false, false, true, Result::EndOfCycle,
         Outcome::OutsideLimits, 0, false, false},
        {"below the minimum weight", "SI     0.0500 g  \r\n", false, true, false, true,
         Result::EndOfCycle, Outcome::BelowMinimumWeight, 0, false, false},
        {"a check is due", reading, false, false, true, true, Result::EndOfCycle, Outcome::CheckDue,
         0, false, false},
        {"after the last window", reading, false, false, false, true, Result::EndOfCycle,
         Outcome::OutsideCycleWindow, 1, true, false},
    };
    FixedCycle cycle;
    session.SetCycleWindows(&cycle);
    session.SetInterval(100);
    QSignalSpy ended(&session, &AcquisitionSession::CycleEnded);
    for (const Case& c : cases) {
        store.NowaSeria();
        outcomes.clear();
        ended.clear();
        AcceptanceLimits limits;
        limits.maxOn = c.maxOn;
        limits.maxText = QStringLiteral("5");
        store.SetLimits(limits);
        MinimumWeightRule limit;
        limit.minimumWeight = 0.05;
        limit.safetyFactor = 2;
        limit.refuse = true;
        store.SetMinimumWeight(c.refuseBelow ? std::optional(limit) : std::nullopt);
        store.SetHeldForCheck(c.held);
        cycle.answer = c.window;
        cycle.checks = 0;
        session.SetCycleWork(c.automaticCycle);
        if (c.automaticCycle)
            session.Start();
        Reply(c.frame);
        EXPECT_EQ(session.AutomaticWorkRunning(), c.automaticCycle && !c.ended) << c.name;
        EXPECT_EQ(store.SeriesStart().has_value(), c.seriesStarted) << c.name;
        session.Stop();
        ASSERT_EQ(outcomes.size(), 1u) << c.name;
        EXPECT_EQ(outcomes[0], c.outcome) << c.name;
        EXPECT_EQ(store.RowCount(), c.outcome == Outcome::Stored ? 1 : 0) << c.name;
        EXPECT_EQ(cycle.checks, c.checks) << c.name;
        EXPECT_EQ(ended.count(), c.ended ? 1 : 0) << c.name;
    }
    store.SetHeldForCheck(false);
}

// The acceptance asks the store's one minimum-weight rule (SF·m_min =
// 0.1 g here) and whether a due check holds readings back.
TEST_F(AcquisitionSessionTest, AReplyBelowTheMinimumWeightIsMarkedOrRefusedAsTheLabSays) {
    struct Case {
        const char* name;
        QByteArray frame;
        bool refuse;
        bool held;
        bool checking;
        Outcome outcome;
        const char* status;
    };
    const Case cases[] = {
        {"below, marked", "S      0.0500 g  \r\n", false, false, false, Outcome::Stored, "<m"},
        {"at the limit", "S      0.1000 g  \r\n", false, false, false, Outcome::Stored, ""},
        {"below, refused", "S      0.0500 g  \r\n", true, false, false, Outcome::BelowMinimumWeight,
         nullptr},
        {"above, refusing", "S      0.2000 g  \r\n", true, false, false, Outcome::Stored, ""},
        {"a check is due", "S      0.2000 g  \r\n", false, true, false, Outcome::CheckDue, nullptr},
        {"the check's own reading", "S      0.0500 g  \r\n", true, true, true, Outcome::Stored,
         "<m"},
    };
    for (const Case& c : cases) {
        store.NowaSeria();
        outcomes.clear();
        MinimumWeightRule limit;
        limit.minimumWeight = 0.05;
        limit.safetyFactor = 2;
        limit.refuse = c.refuse;
        store.SetMinimumWeight(limit);
        store.SetHeldForCheck(c.held);
        store.SetCheckInProgress(c.checking);
        Reply(c.frame);
        ASSERT_EQ(outcomes.size(), 1u) << c.name;
        EXPECT_EQ(outcomes[0], c.outcome) << c.name;
        ASSERT_EQ(store.RowCount(), c.status ? 1 : 0) << c.name;
        if (c.status) {
            EXPECT_EQ(store.Model().Row(0).status, c.status) << c.name;
        }
    }
    store.SetHeldForCheck(false);
    store.SetCheckInProgress(false);
}

TEST_F(AcquisitionSessionTest, ContinuousTransmissionStoresItsLinesWithTheTail) {
    QSignalSpy continuous(&session, &AcquisitionSession::ContinuousChanged);
    QSignalSpy stored(&session, &AcquisitionSession::ContinuousStored);
    session.ContinuousSwitch();
    EXPECT_EQ(balance.Read(4), "C1\r\n");
    EXPECT_TRUE(session.ContinuousRunning());
    EXPECT_TRUE(session.UnstableReadings());
    EXPECT_EQ(session.Mode(), Mode::Continuous);
    EXPECT_TRUE(store.SeriesStart().has_value()) << "the lines' Timer counts from here";
    QSignalSpy collected(&session, &AcquisitionSession::LineCollected);
    balance.Write("SI     1.0000 g  \r\n");
    ASSERT_TRUE(WaitUntil([&] { return collected.count() == 1; }));

    // A line still on its way when the transmission is switched off.
    QTimer::singleShot(50, [this] { balance.Write("SI     2.0000 g  \r\n"); });
    session.ContinuousSwitch();
    EXPECT_EQ(balance.Read(4), "C0\r\n");
    EXPECT_FALSE(session.ContinuousRunning());
    EXPECT_FALSE(session.UnstableReadings()) << "back as it was before";
    EXPECT_EQ(session.Mode(), Mode::Idle);
    ASSERT_EQ(continuous.count(), 2);
    EXPECT_TRUE(continuous[0][0].toBool());
    EXPECT_FALSE(continuous[1][0].toBool());
    ASSERT_EQ(stored.count(), 1);
    EXPECT_TRUE(stored[0][0].toBool());
    EXPECT_EQ(store.RowCount(), 2);
}

TEST_F(AcquisitionSessionTest, ContinuousTransmissionWithNothingCollectedStoresNothing) {
    QSignalSpy stored(&session, &AcquisitionSession::ContinuousStored);
    session.UnstableSwitch();
    session.ContinuousSwitch();
    session.ContinuousSwitch();
    EXPECT_EQ(stored.count(), 0);
    EXPECT_TRUE(session.UnstableReadings()) << "it was on before and stays on";
}

TEST_F(AcquisitionSessionTest, TheEndOfTheLastWindowStopsAutomaticWorkAndRewinds) {
    FixedCycle cycle;
    cycle.answer = CycleWindows::Result::EndOfCycle;
    session.SetCycleWindows(&cycle);
    session.SetCycleWork(true);
    QSignalSpy ended(&session, &AcquisitionSession::CycleEnded);
    session.SetInterval(2);
    session.Start();
    Reply("S     1.0000 g  \r\n");
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0], Outcome::OutsideCycleWindow);
    EXPECT_EQ(ended.count(), 1);
    EXPECT_FALSE(store.SeriesStart().has_value()) << "the next run starts a series of its own";
    EXPECT_EQ(cycle.rangesLoaded, 1);
    EXPECT_FALSE(session.AutomaticTimerRunning());
    EXPECT_TRUE(session.State().SingleReadHeld()) << "until the link next reports";
}

TEST_F(AcquisitionSessionTest, AClosedSessionSendsNothingAndForgetsItsLink) {
    session.Close();
    EXPECT_FALSE(session.HasLink());
    EXPECT_FALSE(comm.CommOpen());
    session.OdpytajWage();
    session.Tare();
    EXPECT_EQ(balance.Read(1, 200), "");
    EXPECT_EQ(session.LinkName(), "");
}

// A balance still streaming when the link opens (a run killed during
// continuous transmission left it so) is told once to stop; its lines are
// no readings until it has been quiet. A reading sent with its print key
// afterwards is one.
TEST_F(AcquisitionSessionTest, ABalanceStreamingWhenTheLinkOpensIsToldToStopAndNotStored) {
    session.ToggleLink();
    ASSERT_FALSE(comm.CommOpen());
    session.ToggleLink();
    ASSERT_TRUE(WaitUntil([&] { return comm.CommOpen(); }));
    EXPECT_EQ(balance.Read(4), "C0\r\n") << "before anything else";
    EXPECT_TRUE(session.DiscardingStream());
    for (int line = 0; line < 6; ++line) {
        balance.Write("SI     9.0000 g  \r\n");
        RunEventsFor(100);
    }
    EXPECT_EQ(store.RowCount(), 0) << "stream lines are no readings";
    EXPECT_TRUE(outcomes.empty());
    ASSERT_TRUE(WaitUntil([&] { return !session.DiscardingStream(); }, 3000));
    EXPECT_EQ(balance.Read(1, 100), "") << "told once";
    Reply("S      3.0000 g  \r\n");
    ASSERT_EQ(store.RowCount(), 1);
    EXPECT_DOUBLE_EQ(store.Model().Row(0).masa, 3.0);
}

// Continuous transmission whose every line the balance marked as overload
// stores nothing, and the session says so rather than "stored".
TEST_F(AcquisitionSessionTest, ContinuousTransmissionOfOnlyStatusLinesStoresNothing) {
    session.SetDialect(*BalanceDialect::Named("sics"));
    QSignalSpy stored(&session, &AcquisitionSession::ContinuousStored);
    session.ContinuousSwitch();
    QSignalSpy collected(&session, &AcquisitionSession::LineCollected);
    balance.Write("S +\r\nS +\r\nS +\r\n");
    ASSERT_TRUE(WaitUntil([&] { return collected.count() >= 3; }));
    session.ContinuousSwitch();
    ASSERT_EQ(stored.count(), 1);
    EXPECT_FALSE(stored[0][0].toBool());
    EXPECT_EQ(store.RowCount(), 0);
    EXPECT_EQ(store.LastBatch().lines, 3);
    EXPECT_EQ(store.LastBatch().turnedAwayReason, "overload");
}

// Each collected line is in the working database as soon as it arrives;
// the stored batch takes them away with it.
TEST_F(AcquisitionSessionTest, CollectedLinesAreSpooledUntilTheBatchIsStored) {
    const auto spooled = [this] {
        return store.Bound().Scalar("SELECT count(*) FROM continuous_spool").toInt();
    };
    session.ContinuousSwitch();
    QSignalSpy collected(&session, &AcquisitionSession::LineCollected);
    for (int line = 1; line <= 3; ++line) {
        balance.Write("SI     1.0000 g  \r\n");
        ASSERT_TRUE(WaitUntil([&] { return collected.count() == line; }));
        EXPECT_EQ(spooled(), line);
    }
    session.ContinuousSwitch();
    EXPECT_EQ(store.RowCount(), 3);
    EXPECT_EQ(spooled(), 0);
}

// Bytes that no line format of the balance's would give (the eighth bit
// set, NUL) are told as such, in a frame or with no frame end at all.
TEST_F(AcquisitionSessionTest, BytesThatDoNotDecodeAreTold) {
    QSignalSpy undecodable(&session, &AcquisitionSession::UndecodableBytes);
    session.OdpytajWage();
    balance.Write("S      1.0000 g  \r\n");
    ASSERT_TRUE(WaitUntil([&] { return !outcomes.empty(); }));
    EXPECT_FALSE(session.UndecodableBytesArrived());
    EXPECT_EQ(undecodable.count(), 0);

    // 7 data bits with even parity read as 8N1: CR gets its parity bit.
    session.OdpytajWage();
    balance.Write("\xd3   \xb1\xae\x30 g\x8d\n");
    EXPECT_TRUE(WaitUntil([&] { return undecodable.count() == 1; },
                          AcquisitionSession::ReplyWaitMs + 1000));
    EXPECT_TRUE(session.UndecodableBytesArrived());

    // Still waiting for a frame's end, they are still there to be told.
    session.OdpytajWage();
    EXPECT_TRUE(session.UndecodableBytesArrived());
    comm.ClearBuffer();
    session.OdpytajWage();
    EXPECT_FALSE(session.UndecodableBytesArrived()) << "a new request starts afresh";
    balance.Write(QByteArray("S  \0 1.0\r\n", 10));
    EXPECT_TRUE(WaitUntil([&] { return undecodable.count() == 2; }));
}

TEST(UndecodableBytesTest, TheEighthBitAlwaysAndNulOnASerialPort) {
    const struct {
        QByteArray bytes;
        bool serial;
        bool undecodable;
    } cases[] = {
        {"S      1.0000 g  \r\n", true, false},
        {"\xd3      1.0000 g  \x8d\n", false, true},
        {"\xd3      1.0000 g  \x8d\n", true, true},
        {QByteArray("\0 12.5 g\r\n", 10), true, true},
        {QByteArray("\0 12.5 g\r\n", 10), false, false},
        {"", true, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BalanceProtocol::Undecodable(c.bytes, c.serial), c.undecodable)
            << c.bytes.toHex().toStdString() << (c.serial ? " serial" : " TCP");
}

// The acquisition cases the main window's tests used to drive, on the
// session alone; the window keeps what it shows of them.
namespace {

TEST_F(AcquisitionSessionTest, PauseDropsRepliesAndResumeGoesOn) {
    session.SetInterval(2);
    session.Start();
    session.Pause();
    EXPECT_FALSE(session.AutomaticTimerRunning());
    balance.Write("SI     5.0000 g  \r\n");
    RunEventsFor(150);
    EXPECT_EQ(store.RowCount(), 0);
    session.Pause();
    EXPECT_TRUE(session.AutomaticTimerRunning());
    balance.Write("SI     6.0000 g  \r\n");
    ASSERT_TRUE(WaitUntil([&] { return store.RowCount() == 1; }));
    session.Stop();
}

// The windows of the table cykl, read by the gate of cycle work: replies
// at 5, 15, 25 and 35 s after the series start, then one past the last
// window.
TEST_F(AcquisitionSessionTest, CycleStoresReadingsInsideItsWindowsAndEndsItself) {
    store.Bound().Execute("INSERT INTO cykl (start, Stop) VALUES (10, 20)");
    store.Bound().Execute("INSERT INTO cykl (start, Stop) VALUES (30, 40)");
    CycleGate gate(store.Bound());
    gate.LoadFirstRange();
    QSignalSpy ended(&session, &AcquisitionSession::CycleEnded);
    session.SetCycleWindows(&gate);
    session.SetCycleWork(true);
    session.SetInterval(100);
    session.Start();
    const auto replyAt = [&](int elapsed) {
        store.SetSeriesStart(QDateTime::currentDateTime().addSecs(-elapsed));
        Reply("SI     1.0000 g  \r\n");
    };
    for (const int elapsed : {5, 15, 25, 35})
        replyAt(elapsed);
    ASSERT_EQ(store.RowCount(), 2);
    EXPECT_NEAR(store.Model().Row(0).timer, 15, 1);
    EXPECT_NEAR(store.Model().Row(1).timer, 35, 1);
    EXPECT_EQ(ended.count(), 0);

    replyAt(45);
    EXPECT_EQ(store.RowCount(), 2) << "the reading that ends the cycle is not stored";
    EXPECT_EQ(outcomes.back(), Outcome::OutsideCycleWindow);
    EXPECT_EQ(ended.count(), 1);
    EXPECT_FALSE(session.AutomaticWorkRunning());
    EXPECT_FALSE(session.AutomaticTimerRunning());
    EXPECT_EQ(gate.lZakres(), (CycleGate::Range{10, 20})) << "back on the first";
}

TEST_F(AcquisitionSessionTest, TheCycleGateIsOpenOutsideAutomaticWork) {
    FixedCycle cycle;
    cycle.answer = CycleWindows::Result::Reject;
    session.SetCycleWindows(&cycle);
    session.SetCycleWork(true);
    store.SetSeriesStart(QDateTime::currentDateTime().addSecs(-100));
    Reply("SI     1.0000 g  \r\n");
    EXPECT_EQ(store.RowCount(), 1);
}

TEST_F(AcquisitionSessionTest, ALinkLostDuringContinuousTransmissionStoresWhatWasCollected) {
    QSignalSpy collected(&session, &AcquisitionSession::LineCollected);
    QSignalSpy stored(&session, &AcquisitionSession::ContinuousStored);
    session.ContinuousSwitch();
    EXPECT_EQ(balance.Read(4), "C1\r\n");
    balance.Write("SI     1.0000 g  \r\nSI     2.0000 g  \r\nSI     3.0000 g  \r\n");
    ASSERT_TRUE(WaitUntil([&] { return collected.count() == 3; }));
    balance.Unplug();
    ASSERT_TRUE(WaitUntil([&] { return !session.ContinuousRunning(); }));
    EXPECT_EQ(store.RowCount(), 3);
    ASSERT_EQ(stored.count(), 1);
    EXPECT_TRUE(stored[0][0].toBool());
    // Nothing collected is left over for the next transmission.
    session.ContinuousSwitch();
    session.ContinuousSwitch();
    EXPECT_EQ(store.RowCount(), 3);
}

// A maker's family (SICS): what is sent, what is stored, and what the
// session tells of the replies that are no readings.
TEST_F(AcquisitionSessionTest, AnotherFamilyReadsStoresAndTellsInItsWords) {
    session.SetDialect(*BalanceDialect::Named("sics"));
    QSignalSpy status(&session, &AcquisitionSession::BalanceStatusReported);
    QSignalSpy refused(&session, &AcquisitionSession::CommandRefused);
    session.OdpytajWage();
    EXPECT_EQ(balance.Read(3), "S\r\n");
    Reply("S +\r\n");
    // A value that is not stable answers no stable read.
    Reply("S D      1.20 mg\r\n");
    Reply("S S      1.25 mg\r\n");
    ASSERT_EQ(outcomes.size(), 3u);
    EXPECT_EQ(outcomes[0], Outcome::BalanceStatus);
    EXPECT_EQ(outcomes[1], Outcome::BalanceStatus);
    ASSERT_EQ(status.count(), 2);
    EXPECT_EQ(status[0][0].value<BalanceReply::Error>(), BalanceReply::Error::Overload);
    EXPECT_EQ(status[1][0].value<BalanceReply::Error>(), BalanceReply::Error::NoStableValue);
    ASSERT_EQ(store.RowCount(), 1);
    EXPECT_DOUBLE_EQ(store.Model().Row(0).masa, 1.25);
    EXPECT_EQ(store.Model().Row(0).jm, QStringLiteral("mg"));

    session.Tare();
    EXPECT_EQ(balance.Read(3), "T\r\n");
    Reply("EL\r\n");
    ASSERT_EQ(refused.count(), 1);
    EXPECT_EQ(RefusalText(refused[0][0].toByteArray(), refused[0][1].value<BalanceReply>()),
              "the balance refused \"T\": logical error (EL)");

    QSignalSpy collected(&session, &AcquisitionSession::LineCollected);
    session.ContinuousSwitch();
    EXPECT_EQ(balance.Read(5), "SIR\r\n");
    balance.Write("S D      2.00 g\r\nS S      2.50 g\r\nS +\r\n");
    ASSERT_TRUE(WaitUntil([&] { return collected.count() == 3; }));
    session.ContinuousSwitch();
    EXPECT_EQ(balance.Read(3), "@\r\n");
    ASSERT_EQ(store.RowCount(), 3) << "the overload line is no reading";
    EXPECT_DOUBLE_EQ(store.Model().Row(2).masa, 2.5);
    EXPECT_EQ(store.LastBatch().turnedAwayReason, "overload");
}

// The commands the journal records as sent, in order.
QString JournaledCommands(MeasurementStore& store) {
    return store.Bound()
        .Scalar("SELECT group_concat(data, ' ') FROM journal WHERE event = ?",
                {int(SeriesJournal::Event::CommandSent)})
        .toString();
}

// Only what went out is journaled as sent: nothing over a link that is
// down, nothing for a command the family does not have.
TEST_F(AcquisitionSessionTest, OnlyCommandsSentAreJournaled) {
    session.SetDialect(*BalanceDialect::Named("ad"));
    session.Tare();
    EXPECT_EQ(balance.Read(3), "T\r\n");
    session.ContinuousSwitch();
    session.ContinuousSwitch();
    EXPECT_EQ(JournaledCommands(store), "C0 T SIR C");

    session.SetDialect(BalanceDialect(BalanceDialect::Family::Sbi));
    session.ContinuousSwitch();
    session.ContinuousSwitch();
    EXPECT_EQ(JournaledCommands(store), "C0 T SIR C")
        << "sbi has no continuous command: nothing was sent";

    session.SetDialect(*BalanceDialect::Named("ad"));
    session.ContinuousSwitch();
    balance.Unplug();
    ASSERT_TRUE(WaitUntil([&] { return !session.ContinuousRunning(); }));
    EXPECT_EQ(JournaledCommands(store), "C0 T SIR C SIR") << "no C over a link that is down";
}

} // namespace
