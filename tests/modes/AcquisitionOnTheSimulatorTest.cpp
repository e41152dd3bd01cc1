// The engine over TCP against the balance simulator: each family's
// transmission, single read, tare and automatic work, and the link's
// reopening after the peer drops or refuses it.
#include "AcquisitionSession.h"
#include "EventWait.h"
#include "MeasurementStore.h"
#include "Mordal.h"
#include "ProgramContext.h"
#include "SimulatorProcess.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Pomiar;

namespace {

// The session on a TCP link to the simulator, storing into a series of a
// scratch program folder.
class AcquisitionOnTheSimulator : public ::testing::Test {
protected:
    AcquisitionOnTheSimulator() {
        context.programFolder = folder.path();
        store.SetLocale(QLocale(QLocale::English, QLocale::UnitedStates));
        store.OtworzMagazyn();
    }
    ~AcquisitionOnTheSimulator() override {
        session.Close();
        if (simulator.state() != QProcess::NotRunning) {
            simulator.write("quit\n");
            if (!simulator.waitForFinished(2000))
                simulator.kill();
        }
    }

    // The simulator started with these options and the session's link open
    // to it and quiet; false when either failed.
    bool Open(const QString& family, const QStringList& options = {}) {
        port = StartTcpSimulator(simulator, BALANCE_SIM_PATH,
                                 QStringList{"--dialect", family} + options);
        if (port == 0)
            return false;
        LinkSettings link;
        link.type = 1;
        link.hostIP = QStringLiteral("127.0.0.1");
        link.hostPort = port;
        link.dialect = *BalanceDialect::Named(family);
        session.OpenLink(link);
        return WaitUntil([&] { return session.LinkOpen() && !session.DiscardingStream(); }, 5000);
    }

    bool Control(const QByteArray& command) {
        simulator.write(command + "\n");
        return WaitUntil([&] { return simulator.readAll().contains("OK"); }, 3000);
    }

    QTemporaryDir folder;
    ProgramContext context;
    MeasurementStore store{context};
    Mordal::Comm comm;
    AcquisitionSession session{context, &comm, store};
    QProcess simulator;
    int port = 0;
};

TEST_F(AcquisitionOnTheSimulator, ADroppedLinkIsReopenedByTheReconnectionTimer) {
    ASSERT_TRUE(Open("default"));
    EXPECT_TRUE(session.Reconnecting());
    QSignalSpy changed(&session, &AcquisitionSession::LinkChanged);
    simulator.write("drop\n");
    ASSERT_TRUE(WaitUntil([&] { return !session.LinkOpen(); }));
    ASSERT_TRUE(WaitUntil([&] { return session.LinkOpen(); }, 8000));
    ASSERT_GE(changed.count(), 2);
    EXPECT_TRUE(changed.back()[0].toBool());
}

// Every attempt to reopen is refused: the failure is told once per outage,
// and says which link and why.
TEST_F(AcquisitionOnTheSimulator, ARefusingPeerIsToldOncePerOutage) {
    ASSERT_TRUE(Open("default"));
    const LinkWatch::Texts texts;
    const QString link = "127.0.0.1:" + QString::number(port);
    EXPECT_EQ(session.LinkStatusText(texts), link + ": polaczono");
    QSignalSpy failed(&session, &AcquisitionSession::LinkFailed);

    session.SetReopenIntervalMs(50);
    simulator.write("quit\n");
    ASSERT_TRUE(simulator.waitForFinished(3000));
    ASSERT_TRUE(WaitUntil([&] { return !session.LinkOpen(); }));
    RunEventsFor(400);
    session.ToggleLink();
    session.ToggleLink();
    ASSERT_EQ(failed.count(), 1);
    EXPECT_EQ(session.OpisZrodla(), "TCP-127.0.0.1");
    const QString told =
        session.LinkFailureText(failed[0][0].toInt(), failed[0][1].toString(), texts);
    EXPECT_TRUE(told.startsWith(link + ": ")) << told.toStdString();
    EXPECT_TRUE(session.LinkStatusText(texts).startsWith(link + ": "));
    EXPECT_NE(session.LinkStatusText(texts), link + ": polaczono");
}

class FamilyOnTheSimulator : public AcquisitionOnTheSimulator,
                             public ::testing::WithParamInterface<const char*> {};

TEST_P(FamilyOnTheSimulator, ReadsContinuousTransmissionTareAndAutomaticWork) {
    const QString family = QString::fromLatin1(GetParam());
    ASSERT_TRUE(Open(family, {"--mass", "12.5", "--decimals", "2"}));

    // Such balances print by themselves; the program only collects.
    if (family == "sbi") {
        ASSERT_TRUE(Control("autoprint on"));
    }
    int lines = 0;
    QObject::connect(&session, &AcquisitionSession::LineCollected, [&] { ++lines; });
    session.ContinuousSwitch();
    ASSERT_TRUE(WaitUntil([&] { return lines >= 4; }, 3000));
    session.ContinuousSwitch();
    if (family == "sbi") {
        ASSERT_TRUE(Control("autoprint off"));
        // A line printed just before the setting changed may still be on
        // its way; it is a reading too, so let it land before counting.
        RunEventsFor(300);
    }
    const int streamed = store.RowCount();
    EXPECT_GE(streamed, 3) << "acknowledgements aside, every line is a row";
    EXPECT_DOUBLE_EQ(store.Model().Row(0).masa, 12.5);
    EXPECT_EQ(store.Model().Row(0).jm, "g");

    session.OdpytajWage();
    ASSERT_TRUE(WaitUntil([&] { return store.RowCount() == streamed + 1; }));

    session.Tare();
    RunEventsFor(200);
    EXPECT_EQ(store.RowCount(), streamed + 1) << "an acknowledgement is no reading";
    ASSERT_TRUE(Control("mass 3.25"));

    session.SetInterval(1);
    session.Start();
    ASSERT_TRUE(WaitUntil([&] { return store.RowCount() >= streamed + 3; }, 3000));
    session.Stop();
    EXPECT_DOUBLE_EQ(store.Model().Row(store.RowCount() - 1).masa, 3.25);
}

INSTANTIATE_TEST_SUITE_P(EveryFamily, FamilyOnTheSimulator,
                         ::testing::Values("default", "sics", "sbi", "ad", "ohaus"));

} // namespace
