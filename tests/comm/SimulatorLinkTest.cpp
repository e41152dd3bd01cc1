#include "EventWait.h"
#include "Mordal.h"
#include "TestEnvironment.h"

#include <QProcess>
#include <gtest/gtest.h>

// The library as a host uses it, against the balance simulator.
class SimulatorLink : public ::testing::Test {
protected:
    void StartSimulator(const QStringList& arguments) {
        simulator.setProgram(BALANCE_SIM_PATH);
        simulator.setArguments(arguments);
        simulator.start();
        ASSERT_TRUE(simulator.waitForStarted(5000));
        ASSERT_TRUE(WaitUntil([&] { return simulator.canReadLine(); }, 5000));
        ready = QString::fromLatin1(simulator.readLine()).trimmed();
        ASSERT_TRUE(ready.startsWith("READY ")) << ready.toStdString();
    }

    void TearDown() override {
        simulator.write("quit\n");
        if (!simulator.waitForFinished(2000))
            simulator.kill();
    }

    QProcess simulator;
    QString ready;
};

TEST_F(SimulatorLink, HostReadsTheBalanceOverASerialPort) {
    StartSimulator(
        {"--com", "5", "--port-dir", TestEnvironment::PortDirectory(), "--mass", "12.3456"});
    std::unique_ptr<QObject> control(Mordal::CreateControl("Brisko_2.Comm"));
    auto* comm = qobject_cast<Mordal::Comm*>(control.get());
    ASSERT_NE(comm, nullptr);
    QList<QByteArray> frames;
    QObject::connect(comm, &Mordal::Comm::OnComm,
                     [&](const QByteArray& frame, int, int, bool&) { frames << frame; });
    comm->SetCommSource(int(Mordal::enCommSource::Serial));
    comm->SetSerialPort(5);
    comm->SetSerialBaudRate(Mordal::CBR_9600);
    comm->SetCommOpen(true);
    ASSERT_TRUE(comm->CommOpen());

    comm->OutputData("S\r\n");
    ASSERT_TRUE(WaitUntil([&] { return !frames.isEmpty(); }));
    EXPECT_TRUE(frames[0].startsWith("S ")) << frames[0].toStdString();
    EXPECT_TRUE(frames[0].contains("12.3456 g")) << frames[0].toStdString();
    EXPECT_TRUE(frames[0].endsWith("\r\n"));

    // Continuous transmission brings one frame per poll, none lost or cut.
    frames.clear();
    comm->OutputData("C1\r\n");
    ASSERT_TRUE(WaitUntil([&] { return frames.size() >= 6; }));
    comm->OutputData("C0\r\n");
    for (const QByteArray& frame : frames)
        EXPECT_TRUE(frame.endsWith("\r\n"));
}

TEST_F(SimulatorLink, HostReadsTheBalanceOverTcp) {
    StartSimulator({"--tcp", "0", "--mass", "7.5", "--unstable"});
    const QStringList words = ready.split(' ');
    ASSERT_EQ(words.size(), 4);
    std::unique_ptr<QObject> control(Mordal::CreateControl("Brisko_2.Comm"));
    auto* comm = qobject_cast<Mordal::Comm*>(control.get());
    ASSERT_NE(comm, nullptr);
    QList<QByteArray> frames;
    QList<bool> states;
    QObject::connect(comm, &Mordal::Comm::OnComm,
                     [&](const QByteArray& frame, int, int, bool&) { frames << frame; });
    QObject::connect(comm, &Mordal::Comm::CommIsOpen, [&](bool state) { states << state; });
    comm->SetCommSource(int(Mordal::enCommSource::TCP));
    comm->SetNetRemoteHost("127.0.0.1");
    comm->SetNetRemotePort(words[3].toInt());
    comm->SetCommOpen(true);
    ASSERT_TRUE(comm->CommOpen());
    EXPECT_EQ(states, QList<bool>{true});

    comm->OutputData("SI\r\n");
    ASSERT_TRUE(WaitUntil([&] { return !frames.isEmpty(); }));
    EXPECT_TRUE(frames[0].startsWith("SI ?")) << frames[0].toStdString();
    EXPECT_TRUE(frames[0].contains("7.5")) << frames[0].toStdString();

    // The balance going away is a closed link, not an error.
    simulator.write("drop\n");
    ASSERT_TRUE(WaitUntil([&] { return !comm->CommOpen(); }));
    EXPECT_EQ(states, (QList<bool>{true, false}));
}
