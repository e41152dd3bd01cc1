// What acquisition does with the balance on the engine alone: the bytes it
// sends, the rows it stores, its states, its cycles and its link. The main
// window's tests keep only what the window shows of these.
#include "AcquisitionSessionFixture.h"

#include <QSignalSpy>

namespace {

using Mode = AcquisitionState::Mode;
using Outcome = AcquisitionSession::Outcome;

// One command of the operator and the bytes the balance gets for it.
TEST_F(AcquisitionSessionTest, EachCommandSendsItsBytes) {
    const struct {
        const char* name;
        const char* unstableCommand;
        bool unstable;
        void (AcquisitionSession::*command)();
        QByteArray sent;
    } cases[] = {
        {"a single read asks for a stable value", "SI", false, &AcquisitionSession::OdpytajWage,
         "S\r\n"},
        {"tare", "SI", false, &AcquisitionSession::Tare, "T\r\n"},
        {"an unstable read with the configured command", "SIR", true,
         &AcquisitionSession::OdpytajWage, "SIR\r\n"},
    };
    for (const auto& c : cases) {
        context.settings.cmdSendUnstable = QString::fromLatin1(c.unstableCommand);
        if (session.UnstableReadings() != c.unstable)
            session.UnstableSwitch();
        (session.*c.command)();
        EXPECT_EQ(balance.Read(int(c.sent.size())), c.sent) << c.name;
    }
}

// What each reply becomes: a row with its value and unit, or nothing.
TEST_F(AcquisitionSessionTest, WhatEachReplyStores) {
    const struct {
        const char* name;
        const char* family;
        QByteArray frame;
        Outcome outcome;
        double masa;
        const char* jm;
    } cases[] = {
        {"a stable reading", "default", "S     1.0000 g  \r\n", Outcome::Stored, 1.0, "g"},
        {"an acknowledgement", "default", "S A\r\n", Outcome::NotAReading, 0, nullptr},
        {"an error reply", "default", "ES\r\n", Outcome::NotAReading, 0, nullptr},
        {"an unstable reading", "default", "SI ?   3.0000 g  \r\n", Outcome::Stored, 3.0, "g"},
        {"a moisture reading keeps its percent", "default", "12:05      3.50 %  \r\n",
         Outcome::Stored, 3.5, "%"},
        {"the balance's own error over the value field", "sics", "S S  Error 10b\r\n",
         Outcome::Refused, 0, nullptr},
    };
    for (const auto& c : cases) {
        session.SetDialect(*BalanceDialect::Named(c.family));
        store.NowaSeria();
        outcomes.clear();
        Reply(c.frame);
        ASSERT_EQ(outcomes.size(), 1u) << c.name;
        EXPECT_EQ(AcquisitionSession::OutcomeName(outcomes[0]),
                  AcquisitionSession::OutcomeName(c.outcome))
            << c.name;
        ASSERT_EQ(store.RowCount(), c.jm ? 1 : 0) << c.name;
        if (c.jm) {
            EXPECT_DOUBLE_EQ(store.Model().Row(0).masa, c.masa) << c.name;
            EXPECT_EQ(store.Model().Row(0).jm, QString::fromLatin1(c.jm)) << c.name;
        }
    }
}

// The balance's own error comes with its number, for the status bar.
TEST_F(AcquisitionSessionTest, TheBalancesOwnErrorIsReportedWithItsNumber) {
    session.SetDialect(*BalanceDialect::Named("sics"));
    QSignalSpy refused(&session, &AcquisitionSession::CommandRefused);
    session.OdpytajWage();
    EXPECT_EQ(balance.Read(3), "S\r\n");
    Reply("S S  Error 10b\r\n");
    ASSERT_EQ(refused.count(), 1);
    const auto reply = refused[0][1].value<BalanceReply>();
    EXPECT_EQ(reply.error, BalanceReply::Error::Balance);
    EXPECT_EQ(reply.code, "10b");
    EXPECT_EQ(store.RowCount(), 0);
}

// The limits of the statistics panel, on the value as the balance sent it:
// a value on a limit is inside.
TEST_F(AcquisitionSessionTest, TheLimitsTurnAwayReadingsOutsideThem) {
    const struct {
        const char* name;
        bool minOn;
        const char* minText;
        bool maxOn;
        const char* maxText;
        QByteArray frame;
        bool stored;
    } cases[] = {
        {"below the minimum", true, "10", false, "0", "S     9.9999 g  \r\n", false},
        {"on the minimum", true, "10", false, "0", "S    10.0000 g  \r\n", true},
        {"above the maximum", false, "10", true, "1.5", "S     1.6000 g  \r\n", false},
        {"on the maximum", false, "10", true, "1.5", "S     1.5000 g  \r\n", true},
        {"above a maximum kept from the last run", false, "0", true, "2.5", "S     3.0000 g  \r\n",
         false},
    };
    for (const auto& c : cases) {
        store.NowaSeria();
        outcomes.clear();
        AcceptanceLimits limits;
        limits.minOn = c.minOn;
        limits.minText = QString::fromLatin1(c.minText);
        limits.maxOn = c.maxOn;
        limits.maxText = QString::fromLatin1(c.maxText);
        store.SetLimits(limits);
        Reply(c.frame);
        ASSERT_EQ(outcomes.size(), 1u) << c.name;
        EXPECT_EQ(outcomes[0], c.stored ? Outcome::Stored : Outcome::OutsideLimits) << c.name;
        EXPECT_EQ(store.RowCount(), c.stored ? 1 : 0) << c.name;
    }
}

// The balance's acknowledgement of the switch is collected with the lines
// but is no reading.
TEST_F(AcquisitionSessionTest, ContinuousTransmissionStoresEveryReadingLineOnceItEnds) {
    QSignalSpy collected(&session, &AcquisitionSession::LineCollected);
    ASSERT_FALSE(session.UnstableReadings());
    session.ContinuousSwitch();
    EXPECT_TRUE(session.UnstableReadings()) << "switched on for the transmission";
    EXPECT_EQ(balance.Read(4), "C1\r\n");
    balance.Write("SI     1.0000 g  \r\nSI     2.0000 g  \r\nC1\r\nSI     3.0000 g  \r\n");
    ASSERT_TRUE(WaitUntil([&] { return collected.count() == 4; }));
    EXPECT_EQ(store.RowCount(), 0) << "collected, not yet stored";

    session.ContinuousSwitch();
    EXPECT_EQ(balance.Read(4), "C0\r\n");
    EXPECT_FALSE(session.UnstableReadings()) << "back as it was";
    ASSERT_EQ(store.RowCount(), 3);
    EXPECT_DOUBLE_EQ(store.Model().Row(2).masa, 3.0);
    EXPECT_FALSE(session.ContinuousRunning());
    // Nothing collected is left over for the next transmission.
    session.ContinuousSwitch();
    session.ContinuousSwitch();
    EXPECT_EQ(store.RowCount(), 3);
}

// One line is no transmission: nothing is stored, and not because every
// line was turned away (the window says which).
TEST_F(AcquisitionSessionTest, ATransmissionOfOneLineStoresNothing) {
    QSignalSpy collected(&session, &AcquisitionSession::LineCollected);
    QSignalSpy stored(&session, &AcquisitionSession::ContinuousStored);
    session.ContinuousSwitch();
    balance.Write("SI     1.0000 g  \r\n");
    ASSERT_TRUE(WaitUntil([&] { return collected.count() == 1; }));
    session.ContinuousSwitch();
    ASSERT_EQ(stored.count(), 1);
    EXPECT_FALSE(stored[0][0].toBool());
    EXPECT_FALSE(store.LastBatch().AllTurnedAway());
    EXPECT_EQ(store.RowCount(), 0);
}

// Stopping cycle work rewinds the windows and starts the next run on a
// series start of its own; a single read waits until the link next reports.
TEST_F(AcquisitionSessionTest, StopWithCycleWorkHoldsSingleReadUntilTheLinkReports) {
    FixedCycle cycle;
    session.SetCycleWindows(&cycle);
    session.SetCycleWork(true);
    session.SetInterval(2);
    session.Start();
    store.SetSeriesStart(QDateTime::currentDateTime());
    session.Stop();
    EXPECT_EQ(cycle.rangesLoaded, 1);
    EXPECT_FALSE(store.SeriesStart().has_value());
    EXPECT_TRUE(session.State().SingleReadHeld());
    session.ToggleLink();
    session.ToggleLink();
    EXPECT_FALSE(session.State().SingleReadHeld());
}

// The one request of a start without an interval is answered and stored.
TEST_F(AcquisitionSessionTest, TheReplyToAStartWithoutAnIntervalIsStored) {
    session.SetInterval(0);
    session.Start();
    EXPECT_EQ(balance.Read(4), "SI\r\n");
    EXPECT_EQ(balance.Read(1, 100), "") << "asked once";
    EXPECT_FALSE(session.AutomaticWorkRunning());
    Reply("SI     4.0000 g  \r\n");
    ASSERT_EQ(store.RowCount(), 1);
    EXPECT_DOUBLE_EQ(store.Model().Row(0).masa, 4.0);
}

// Automatic work started during a transmission runs once it ends; stopped
// during it, the transmission goes on.
TEST_F(AcquisitionSessionTest, StartDuringTransmissionIsAutomaticWorkOnceTheTransmissionEnds) {
    session.SetInterval(2);
    session.ContinuousSwitch();
    session.Start();
    EXPECT_TRUE(session.AutomaticWorkRunning());
    session.ContinuousSwitch();
    EXPECT_FALSE(session.ContinuousRunning());
    EXPECT_TRUE(session.AutomaticTimerRunning());
    EXPECT_EQ(session.Mode(), Mode::Automatic);
    session.Stop();
    EXPECT_EQ(session.Mode(), Mode::Idle);

    session.ContinuousSwitch();
    session.Start();
    session.Stop();
    EXPECT_TRUE(session.ContinuousRunning());
    EXPECT_EQ(session.Mode(), Mode::Continuous);
    EXPECT_FALSE(session.AutomaticTimerRunning());
    session.ContinuousSwitch();
}

// A link closed by hand stays closed: no reopening until opened by hand.
TEST_F(AcquisitionSessionTest, ALinkClosedByHandStaysClosedUntilOpenedByHand) {
    QSignalSpy changed(&session, &AcquisitionSession::LinkChanged);
    session.ToggleLink();
    EXPECT_FALSE(session.LinkOpen());
    EXPECT_FALSE(session.Reconnecting());
    RunEventsFor(LinkWatch::SerialRetryMs + 200);
    EXPECT_FALSE(session.LinkOpen());
    session.ToggleLink();
    EXPECT_TRUE(session.LinkOpen());
    ASSERT_GE(changed.count(), 2);
    EXPECT_FALSE(changed[0][0].toBool());
    EXPECT_TRUE(changed.back()[0].toBool());
}

// A balance pulled during automatic work: the failure is told once however
// often reopening fails, the timer goes on, and the balance back under the
// same name is asked and its reply stored, in each family's words.
TEST_F(AcquisitionSessionTest, AutomaticWorkGoesOnAfterAPulledLinkAndTellsItOnce) {
    const struct {
        const char* family;
        QByteArray request;
        QByteArray before;
        QByteArray after;
        double masa;
    } cases[] = {
        {"default", "SI\r\n", "SI     6.0000 g  \r\n", "SI     7.0000 g  \r\n", 7.0},
        // What automatic work asks for may be unstable, and is stored.
        {"ad", "Q\r\n", "US,+00012.30  g\r\n", "ST,+00012.40  g\r\n", 12.4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.family);
        Mordal::Comm comm;
        AcquisitionSession fresh(context, &comm, store);
        PtyPair first;
        first.Publish(balancePort + 1);
        LinkSettings link;
        link.type = 2;
        link.comm = balancePort + 1;
        link.dialect = *BalanceDialect::Named(c.family);
        ASSERT_TRUE(fresh.OpenLink(link));
        ASSERT_TRUE(WaitUntil([&] { return !fresh.DiscardingStream(); }, 3000));
        first.Read(64, 100);
        store.NowaSeria();
        QSignalSpy failed(&fresh, &AcquisitionSession::LinkFailed);
        fresh.SetInterval(1);
        fresh.Start();
        EXPECT_EQ(first.Read(int(c.request.size())), c.request);
        first.Write(c.before);
        ASSERT_TRUE(WaitUntil([&] { return store.RowCount() == 1; }));

        first.Unplug();
        ASSERT_TRUE(WaitUntil([&] { return !fresh.LinkOpen(); }));
        // Several attempts to reopen fail meanwhile; the failure is told once.
        RunEventsFor(2500);
        EXPECT_EQ(failed.count(), 1);
        EXPECT_TRUE(fresh.AutomaticTimerRunning()) << "automatic work goes on ticking";

        PtyPair back;
        back.Publish(balancePort + 1);
        ASSERT_TRUE(WaitUntil([&] { return fresh.LinkOpen(); }, 3000));
        EXPECT_EQ(back.Read(int(c.request.size()), 2000), c.request);
        back.Write(c.after);
        ASSERT_TRUE(WaitUntil([&] { return store.RowCount() == 2; }));
        EXPECT_DOUBLE_EQ(store.Model().Row(1).masa, c.masa);
        EXPECT_EQ(failed.count(), 1);
        EXPECT_EQ(fresh.Mode(), Mode::Automatic) << "still automatic work, no second start";
        fresh.Stop();
        fresh.Close();
    }
}

// A balance left streaming by a link lost during continuous transmission
// is told once to stop when the link returns; its lines are no readings.
TEST_F(AcquisitionSessionTest, ABalanceStillStreamingWhenTheLinkReturnsIsToldToStopAndNotStored) {
    QSignalSpy collected(&session, &AcquisitionSession::LineCollected);
    session.ContinuousSwitch();
    balance.Write("SI     1.0000 g  \r\nSI     2.0000 g  \r\n");
    ASSERT_TRUE(WaitUntil([&] { return collected.count() == 2; }));
    balance.Unplug();
    ASSERT_TRUE(WaitUntil([&] { return !session.ContinuousRunning(); }));
    ASSERT_EQ(store.RowCount(), 2);

    PtyPair back;
    back.Publish(balancePort);
    ASSERT_TRUE(WaitUntil([&] { return session.LinkOpen(); }, 3000));
    EXPECT_EQ(back.Read(4, 2000), "C0\r\n") << "before anything else";
    for (int line = 0; line < 5; ++line) {
        back.Write("SI     9.0000 g  \r\n");
        RunEventsFor(100);
    }
    EXPECT_EQ(store.RowCount(), 2) << "stream lines are no readings";

    ASSERT_TRUE(WaitUntil([&] { return !session.DiscardingStream(); }, 3000));
    session.OdpytajWage();
    EXPECT_EQ(back.Read(3, 2000), "S\r\n") << "C0 was sent once";
    back.Write("S      3.0000 g  \r\n");
    ASSERT_TRUE(WaitUntil([&] { return store.RowCount() == 3; }));
    session.Close();
}

// Reads asked while the link settles after opening go out once the balance
// is quiet, as one: were they sent, their replies would pass for a leftover
// stream and put the quiet off again, so automatic work started right after
// the link opened would store nothing. Stopping drops what waits.
TEST_F(AcquisitionSessionTest, ReadsAskedWhileTheLinkSettlesGoOutOnceItIsQuiet) {
    const auto reopen = [&] {
        session.ToggleLink();
        session.ToggleLink();
        ASSERT_TRUE(WaitUntil([&] { return session.LinkOpen(); }));
        ASSERT_EQ(balance.Read(4), "C0\r\n");
        ASSERT_TRUE(session.DiscardingStream());
    };
    reopen();
    session.OdpytajWage();
    session.OdpytajWage();
    EXPECT_EQ(balance.Read(1, 300), "") << "nothing asked while it settles";
    ASSERT_EQ(balance.Read(3, 3000), "S\r\n") << "asked once it is quiet";
    balance.Write("S      3.0000 g  \r\n");
    ASSERT_TRUE(WaitUntil([&] { return store.RowCount() == 1; }));
    EXPECT_EQ(balance.Read(1, 200), "") << "the asks went out as one";

    reopen();
    session.SetInterval(10);
    session.Start();
    session.Stop();
    ASSERT_TRUE(WaitUntil([&] { return !session.DiscardingStream(); }, 3000));
    EXPECT_EQ(balance.Read(1, 300), "") << "stopped before the quiet: nothing asked";
}

} // namespace
