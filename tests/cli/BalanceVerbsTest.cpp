#include "LoopbackListener.h"
#include "TestFiles.h"
#include "TrevaloProcess.h"
#include "mUstawienia.h"
#include <Mordal/Comm.h>

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <gtest/gtest.h>

namespace {

class BalanceVerbs : public ::testing::Test {
protected:
    void SetUp() override {
        // Tests of one process share the program folder: each starts with
        // the designed settings.
        WriteSettings("[ustawienia]\r\n");
        ASSERT_TRUE(simulator.Start({"--mass", "12.3456"}));
    }

    // The same verb over the pseudo-terminal and over loopback TCP.
    QList<QStringList> BothLinks() const { return {{"--port", "1"}, {"--tcp", simulator.Tcp()}}; }

    Simulator simulator;
};

double ValueOfTextLine(const QString& line) {
    return line.split(u' ').value(2).toDouble();
}

} // namespace

TEST_F(BalanceVerbs, ReadPrintsEachReadingInEveryFormatOverBothLinks) {
    for (const QStringList& link : BothLinks()) {
        SCOPED_TRACE(link.join(' ').toStdString());
        const auto text = RunTrevalo(QStringList{"read", "--count", "3"} + link);
        ASSERT_EQ(text.exitCode, 0) << text.err.toStdString();
        ASSERT_EQ(text.OutLines().size(), 3);
        for (const QString& line : text.OutLines()) {
            EXPECT_DOUBLE_EQ(ValueOfTextLine(line), 12.3456);
            EXPECT_TRUE(line.endsWith(" g stable")) << line.toStdString();
        }

        const auto csv = RunTrevalo(QStringList{"read", "--format", "csv"} + link);
        ASSERT_EQ(csv.exitCode, 0) << csv.err.toStdString();
        ASSERT_EQ(csv.OutLines().size(), 2);
        EXPECT_EQ(csv.OutLines()[0], "time,value,unit,stability");
        EXPECT_DOUBLE_EQ(csv.OutLines()[1].split(u',').value(1).toDouble(), 12.3456);

        ASSERT_TRUE(simulator.Control("stable off"));
        const auto json = RunTrevalo(QStringList{"read", "--unstable", "--format", "json"} + link);
        ASSERT_TRUE(simulator.Control("stable on"));
        ASSERT_EQ(json.exitCode, 0) << json.err.toStdString();
        const QJsonObject reading = QJsonDocument::fromJson(json.out.toUtf8()).object();
        EXPECT_DOUBLE_EQ(reading.value("value").toDouble(), 12.3456);
        EXPECT_EQ(reading.value("unit").toString(), "g");
        EXPECT_FALSE(reading.value("stable").toBool(true));
    }
}

// The settings of the program folder pick the link and the commands, and
// its acceptance limits hold back readings exactly as in the program.
TEST_F(BalanceVerbs, ReadUsesTheProgramsSettingsAndLimits) {
    WriteSettings(QStringLiteral("[ustawienia]\r\nType=1\r\nHostIP=127.0.0.1\r\nHostPort=%1\r\n"
                                 "[COMMANDS]\r\nCMD_SEND_STABLE=SI\r\n")
                      .arg(simulator.TcpPort())
                      .toLatin1());
    ASSERT_TRUE(simulator.Control("stable off"));
    auto run = RunTrevalo({"read"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    // SI answers "?" while unstable: the stable command would not.
    EXPECT_TRUE(run.out.contains("unstable")) << run.out.toStdString();

    WriteSettings(QStringLiteral("[ustawienia]\r\nType=1\r\nHostIP=127.0.0.1\r\nHostPort=%1\r\n"
                                 "max=1\r\nwart_max=10\r\n")
                      .arg(simulator.TcpPort())
                      .toLatin1());
    run = RunTrevalo({"read"});
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(run.err.contains("reading outside the acceptance limits (max 10): "))
        << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("12.3456 g")) << run.err.toStdString();
}

TEST_F(BalanceVerbs, ReadFaultsGiveTheirExitCodes) {
    for (const QStringList& link : BothLinks()) {
        SCOPED_TRACE(link.join(' ').toStdString());
        ASSERT_TRUE(simulator.Control("noreply on"));
        auto run = RunTrevalo(QStringList{"read", "--timeout", "0.3"} + link);
        ASSERT_TRUE(simulator.Control("noreply off"));
        EXPECT_EQ(run.exitCode, 4);
        EXPECT_TRUE(run.err.contains("no reply within 0.3 s")) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
    }
    // The balance refuses the command.
    TestFiles::WriteFile(ProgramFolder() + "/script", "S => ES\\r\\n\n");
    Simulator refusing;
    ASSERT_TRUE(refusing.Start({"--script", ProgramFolder() + "/script"}));
    const auto refused = RunTrevalo({"read", "--tcp", refusing.Tcp()});
    EXPECT_EQ(refused.exitCode, 4);
    EXPECT_TRUE(refused.err.contains("reply without a reading: ES")) << refused.err.toStdString();
}

TEST_F(BalanceVerbs, LinkThatCannotOpenOrGoesAway) {
    auto run = RunTrevalo({"read", "--port", "9"});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_TRUE(run.err.contains("COM9")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("No such file or directory")) << run.err.toStdString();

    WriteSettings("[ustawienia]\r\nType=0\r\n");
    run = RunTrevalo({"read"});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_TRUE(run.err.contains("no link configured")) << run.err.toStdString();

    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close();
    run = RunTrevalo({"tare", "--tcp", QStringLiteral("127.0.0.1:%1").arg(port)});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_TRUE(run.err.contains(QStringLiteral("127.0.0.1:%1").arg(port)))
        << run.err.toStdString();

    // The converter drops the connection in the middle of a run.
    RunningTrevalo reading(
        {"read", "--tcp", simulator.Tcp(), "--count", "1000", "--interval", "0.1"});
    ASSERT_TRUE(reading.WaitForLines(1));
    ASSERT_TRUE(simulator.Control("drop"));
    const auto dropped = reading.Finish();
    EXPECT_EQ(dropped.exitCode, 3) << dropped.err.toStdString();
    EXPECT_LT(dropped.out.count(u'\n'), 1000);
}

// A converter that drops what is sent to it (here: a listener whose queue
// of connections is full) fails the open within the time the message says.
TEST_F(BalanceVerbs, AConnectionThatHangsFailsWithinTheTimeTold) {
    LoopbackListener converter(0);
    converter.FillQueue();
    QElapsedTimer took;
    took.start();
    const auto run =
        RunTrevalo({"read", "--tcp", QStringLiteral("127.0.0.1:%1").arg(converter.port)});
    const qint64 ms = took.elapsed();
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_TRUE(run.err.contains("no connection within 5 s")) << run.err.toStdString();
    EXPECT_LT(ms, 7000);
}

TEST_F(BalanceVerbs, TareAndSend) {
    for (const QStringList& link : BothLinks()) {
        SCOPED_TRACE(link.join(' ').toStdString());
        ASSERT_TRUE(simulator.Control("mass 12.3456"));
        auto run = RunTrevalo(QStringList{"tare"} + link);
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_EQ(run.out, "ST A\n");
        run = RunTrevalo(QStringList{"read"} + link);
        EXPECT_DOUBLE_EQ(ValueOfTextLine(run.OutLines().value(0)), 0.0);

        run = RunTrevalo(QStringList{"send", "XX"} + link);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.out, "ES\n");
    }
    ASSERT_TRUE(simulator.Control("noreply on"));
    EXPECT_EQ(RunTrevalo({"tare", "--port", "1", "--timeout", "0.2"}).exitCode, 4);
    EXPECT_EQ(RunTrevalo({"send", "S", "--port", "1", "--timeout", "0.2"}).exitCode, 4);
    ASSERT_TRUE(simulator.Control("noreply off"));
    TestFiles::WriteFile(ProgramFolder() + "/script", "T => ES\\r\\n\n");
    Simulator refusing;
    ASSERT_TRUE(refusing.Start({"--script", ProgramFolder() + "/script"}));
    const auto refused = RunTrevalo({"tare", "--tcp", refusing.Tcp()});
    EXPECT_EQ(refused.exitCode, 4);
    EXPECT_EQ(refused.out, "ES\n");
}

// A reply is shown whole, whatever bytes it holds.
TEST_F(BalanceVerbs, RepliesAreShownWithEveryByte) {
    TestFiles::WriteFile(ProgramFolder() + "/script",
                         "X => AB\\x00CD\\r\\n\nS => \\x00 12.5 g\\r\\n\n");
    Simulator scripted;
    ASSERT_TRUE(scripted.Start({"--script", ProgramFolder() + "/script"}));
    const auto send = RunTrevalo({"send", "X", "--tcp", scripted.Tcp()});
    EXPECT_EQ(send.exitCode, 0) << send.err.toStdString();
    EXPECT_EQ(send.out, "AB\\x00CD\n");
    const auto read = RunTrevalo({"read", "--tcp", scripted.Tcp()});
    EXPECT_EQ(read.exitCode, 4);
    EXPECT_TRUE(read.out.isEmpty()) << read.out.toStdString();
    EXPECT_TRUE(read.err.contains("reply without a reading: \\x00 12.5 g\n"))
        << read.err.toStdString();
}

// The port list of the communication source dialog: every port there is,
// and whether someone holds it.
TEST_F(BalanceVerbs, PortsListsFreeAndBusyPorts) {
    auto run = RunTrevalo({"ports", "--json"});
    ASSERT_EQ(run.exitCode, 0);
    QJsonArray ports = QJsonDocument::fromJson(run.out.toUtf8()).array();
    ASSERT_EQ(ports.size(), 1);
    EXPECT_EQ(ports[0].toObject().value("port").toInt(), 1);
    EXPECT_TRUE(ports[0].toObject().value("device").toString().startsWith("/dev/pts/"));
    EXPECT_FALSE(ports[0].toObject().value("busy").toBool(true));

    Mordal::Comm holder;
    Pomiar::LinkSettings settings;
    settings.comm = 1;
    settings.Open(holder);
    ASSERT_TRUE(holder.CommOpen());
    run = RunTrevalo({"ports"});
    EXPECT_EQ(run.exitCode, 0);
    ASSERT_EQ(run.OutLines().size(), 1);
    EXPECT_TRUE(run.OutLines()[0].startsWith("COM1\t/dev/pts/"));
    EXPECT_TRUE(run.OutLines()[0].endsWith("\tbusy"));
}

TEST(TrevaloCommandLine, UsageAndHelp) {
    auto run = RunTrevalo({});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(run.err.contains("Usage"));
    EXPECT_EQ(RunTrevalo({"read", "--bogus"}).exitCode, 2);
    run = RunTrevalo({"stream", "--help"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.out.contains("--duration"));
}

// A machine without a desktop runs trevalo: it must not need Qt's widgets
// (only the communication library brings them, for its About box).
TEST(TrevaloCommandLine, LinksNoWidgetLibraries) {
    QProcess readelf;
    readelf.start("readelf", {"-d", TREVALO_PATH});
    ASSERT_TRUE(readelf.waitForFinished(10000));
    const QByteArray dynamic = readelf.readAllStandardOutput();
    ASSERT_TRUE(dynamic.contains("libMordal.so")) << dynamic.toStdString();
    EXPECT_FALSE(dynamic.contains("libQt6Widgets")) << dynamic.toStdString();
    EXPECT_FALSE(dynamic.contains("libQt6Gui")) << dynamic.toStdString();
}
