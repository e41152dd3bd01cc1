#include "EventWait.h"
#include "TestEnvironment.h"

#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <bit>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr char StableReply[] = "S     12.3456 g  \r\n";

// The real balance-sim program, steered through its standard input.
class SimulatorProcess {
public:
    ~SimulatorProcess() { Stop(); }

    bool Start(const QStringList& arguments) {
        QObject::connect(&process, &QProcess::readyReadStandardOutput,
                         [this] { output += process.readAllStandardOutput(); });
        process.start(QStringLiteral(BALANCE_SIM_PATH), arguments);
        if (!process.waitForStarted(5000))
            return false;
        const int endpoints = int(arguments.contains("--com")) + int(arguments.contains("--tcp"));
        if (!WaitUntil([&] { return Lines().size() >= endpoints; }, 5000))
            return false;
        for (const QByteArray& line : Lines().mid(0, endpoints)) {
            const QList<QByteArray> words = line.split(' ');
            if (words.size() == 3 && words[0] == "READY" && words[1].startsWith("COM"))
                slavePath = QString::fromLocal8Bit(words[2]);
            else if (words.size() == 4 && words[0] == "READY" && words[1] == "TCP")
                tcpPort = words[3].toUShort();
            else
                return false;
        }
        answered = endpoints;
        return true;
    }

    // Sends one control command and answers the program's reply to it.
    QByteArray Control(const QByteArray& line) {
        process.write(line + '\n');
        if (!WaitUntil([&] { return Lines().size() > answered; }))
            return "(no answer)";
        return Lines().at(answered++);
    }

    void Stop() {
        if (process.state() == QProcess::NotRunning)
            return;
        process.write("quit\n");
        if (!process.waitForFinished(3000) && process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(1000);
        }
    }

    QList<QByteArray> Lines() const {
        QList<QByteArray> lines = output.split('\n');
        lines.removeLast(); // the unfinished rest
        return lines;
    }

    QProcess process;
    QByteArray output;
    qsizetype answered = 0;
    QString slavePath;
    quint16 tcpPort = 0;
};

// The program under test's side of a serial port.
class SerialClient {
public:
    explicit SerialClient(const QString& path) {
        fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0)
            return;
        termios tio{};
        ::tcgetattr(fd, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(fd, TCSANOW, &tio);
    }
    ~SerialClient() {
        if (fd >= 0)
            ::close(fd);
    }

    bool IsOpen() const { return fd >= 0; }
    // As a program reading a 7-bit line does: the parity bit is dropped.
    bool StripEighthBit() {
        termios tio{};
        if (::tcgetattr(fd, &tio) != 0)
            return false;
        tio.c_iflag |= ISTRIP;
        return ::tcsetattr(fd, TCSANOW, &tio) == 0;
    }
    void Write(const QByteArray& bytes) {
        ASSERT_EQ(::write(fd, bytes.constData(), size_t(bytes.size())), bytes.size());
    }
    void Collect() {
        char buffer[1024];
        ssize_t n;
        while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
            received.append(buffer, n);
    }
    bool WaitFor(const std::function<bool(const QByteArray&)>& condition, int timeoutMs = 3000) {
        return WaitUntil(
            [&] {
                Collect();
                return condition(received);
            },
            timeoutMs);
    }
    bool WaitForText(const QByteArray& text) {
        return WaitFor([&](const QByteArray& r) { return r.contains(text); });
    }

    QByteArray received;

private:
    int fd = -1;
};

class TcpClient {
public:
    explicit TcpClient(quint16 port) {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { received += socket.readAll(); });
        socket.connectToHost(QHostAddress::LocalHost, port);
        WaitUntil([&] { return socket.state() == QAbstractSocket::ConnectedState; });
    }

    bool IsConnected() const { return socket.state() == QAbstractSocket::ConnectedState; }
    void Write(const QByteArray& bytes) { socket.write(bytes); }
    bool WaitForText(const QByteArray& text) {
        return WaitUntil([&] { return received.contains(text); });
    }
    bool WaitForDisconnect() {
        return WaitUntil([&] { return socket.state() == QAbstractSocket::UnconnectedState; });
    }

    QTcpSocket socket;
    QByteArray received;
};

// The process may already have ended while events ran, and then
// waitForFinished alone would answer false.
bool WaitForExit(QProcess& process) {
    return process.state() == QProcess::NotRunning || process.waitForFinished(3000);
}

QString LinkPath(int com) {
    return TestEnvironment::PortDirectory() + QStringLiteral("/COM%1").arg(com);
}

class SerialSimulator : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(simulator.Start({"--com", "5", "--mass", "12.3456"}));
        client = std::make_unique<SerialClient>(LinkPath(5));
        ASSERT_TRUE(client->IsOpen());
    }

    SimulatorProcess simulator;
    std::unique_ptr<SerialClient> client;
};

class TcpSimulator : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(simulator.Start({"--tcp", "0", "--mass", "12.3456"}));
        ASSERT_NE(simulator.tcpPort, 0);
    }

    SimulatorProcess simulator;
};

int CountOf(const QByteArray& text, const QByteArray& part) {
    return int(text.count(part));
}

} // namespace

TEST_F(SerialSimulator, PublishesTheSlaveAsComNAndAnswersAStableRead) {
    EXPECT_EQ(QFile::symLinkTarget(LinkPath(5)), simulator.slavePath);
    client->Write("S\r\n");
    ASSERT_TRUE(client->WaitForText("\r\n"));
    EXPECT_EQ(client->received, StableReply);
}

TEST_F(SerialSimulator, ControlCommandsChangeTheInstrumentAndBadOnesAreRefused) {
    EXPECT_EQ(simulator.Control("mass -1.2"), "OK");
    EXPECT_EQ(simulator.Control("unit kg"), "OK");
    EXPECT_EQ(simulator.Control("stable off"), "OK");
    EXPECT_TRUE(simulator.Control("stable maybe").startsWith("ERR "));
    EXPECT_TRUE(simulator.Control("drop").startsWith("ERR "));
    client->Write("SI\r\n");
    ASSERT_TRUE(client->WaitForText("\r\n"));
    EXPECT_EQ(client->received, "SI ?   -1.2000 kg \r\n");
}

TEST_F(SerialSimulator, ContinuousTransmissionStreamsUntilSwitchedOff) {
    ASSERT_EQ(simulator.Control("rate 20"), "OK");
    client->Write("C1\r\n");
    ASSERT_TRUE(client->WaitFor([](const QByteArray& r) { return CountOf(r, "SI ") >= 3; }));
    EXPECT_TRUE(client->received.startsWith("C1\r\nSI     12.3456 g  \r\n"));
    client->Write("C0\r\n");
    ASSERT_TRUE(client->WaitForText("C0\r\n"));
    EXPECT_TRUE(client->received.endsWith("C0\r\n"));
    client->received.clear();
    RunEventsFor(300);
    client->Collect();
    EXPECT_TRUE(client->received.isEmpty()) << client->received.constData();
}

TEST_F(SerialSimulator, DelayedReplyComesLateButWhole) {
    ASSERT_EQ(simulator.Control("delay 800"), "OK");
    client->Write("S\r\n");
    RunEventsFor(200);
    client->Collect();
    EXPECT_TRUE(client->received.isEmpty());
    ASSERT_TRUE(client->WaitForText("\r\n"));
    EXPECT_EQ(client->received, StableReply);
}

TEST_F(SerialSimulator, SplitReplyArrivesInTwoPieces) {
    ASSERT_EQ(simulator.Control("split 700"), "OK");
    client->Write("S\r\n");
    ASSERT_TRUE(client->WaitFor([](const QByteArray& r) { return !r.isEmpty(); }));
    EXPECT_FALSE(client->received.contains("\r\n"));
    EXPECT_TRUE(QByteArray(StableReply).startsWith(client->received));
    ASSERT_TRUE(client->WaitForText("\r\n"));
    EXPECT_EQ(client->received, StableReply);
}

TEST_F(SerialSimulator, NoReplyLeavesCommandsUnanswered) {
    ASSERT_EQ(simulator.Control("noreply on"), "OK");
    client->Write("S\r\nC1\r\n");
    RunEventsFor(300);
    client->Collect();
    EXPECT_TRUE(client->received.isEmpty());
    ASSERT_EQ(simulator.Control("noreply off"), "OK");
    client->Write("S\r\n");
    ASSERT_TRUE(client->WaitForText("\r\n"));
    EXPECT_EQ(client->received, StableReply);
}

TEST_F(SerialSimulator, SendsGarbageTextsAndTheReportOnRequest) {
    ASSERT_EQ(simulator.Control("garbage ~~\\x01"), "OK");
    ASSERT_TRUE(client->WaitForText("~~\x01"));
    EXPECT_EQ(client->received, "~~\x01");
    client->received.clear();
    ASSERT_EQ(simulator.Control("send 12:05     3.5 %\\r\\n"), "OK");
    ASSERT_TRUE(client->WaitForText("\r\n"));
    EXPECT_EQ(client->received, "12:05     3.5 %\r\n");
    client->received.clear();
    ASSERT_EQ(simulator.Control("report"), "OK");
    ASSERT_TRUE(client->WaitForText("Data: D\r\n"));
    ASSERT_TRUE(client->WaitFor([](const QByteArray& r) { return r.endsWith("-\r\n\r\n"); }));
    EXPECT_TRUE(client->received.contains("\x1b"
                                          "C\r\n"));
    EXPECT_TRUE(client->received.contains('\xf8'));
}

TEST_F(SerialSimulator, QuitEndsTheProgramAndRemovesTheLink) {
    EXPECT_EQ(simulator.Control("quit"), "OK");
    ASSERT_TRUE(WaitForExit(simulator.process));
    EXPECT_EQ(simulator.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(simulator.process.exitCode(), 0);
    EXPECT_FALSE(QFile::exists(LinkPath(5)));
}

TEST(SerialSimulatorStart, ReplacesAnExistingLinkAndEndsOnTerminate) {
    QFile::remove(LinkPath(9));
    ASSERT_TRUE(QFile::link("/dev/null", LinkPath(9)));
    SimulatorProcess simulator;
    ASSERT_TRUE(simulator.Start({"--com", "9"}));
    EXPECT_EQ(QFile::symLinkTarget(LinkPath(9)), simulator.slavePath);
    simulator.process.terminate();
    ASSERT_TRUE(WaitForExit(simulator.process));
    EXPECT_EQ(simulator.process.exitStatus(), QProcess::NormalExit);
    EXPECT_FALSE(QFile::exists(LinkPath(9)));
}

TEST_F(TcpSimulator, AnswersOnLoopback) {
    TcpClient client(simulator.tcpPort);
    ASSERT_TRUE(client.IsConnected());
    client.Write("S\r\nT\r\nSI\r\nXYZ\r\n");
    ASSERT_TRUE(client.WaitForText("ES\r\n"));
    EXPECT_EQ(client.received, QByteArray(StableReply) + "ST A\r\nSI      0.0000 g  \r\nES\r\n");
}

TEST_F(TcpSimulator, DropClosesTheClientWhichMayComeBack) {
    TcpClient first(simulator.tcpPort);
    first.Write("S\r\n");
    ASSERT_TRUE(first.WaitForText("\r\n"));
    EXPECT_EQ(simulator.Control("drop"), "OK");
    EXPECT_TRUE(first.WaitForDisconnect());
    EXPECT_EQ(simulator.Control("drop"), "ERR no TCP client");

    TcpClient again(simulator.tcpPort);
    again.Write("S\r\n");
    ASSERT_TRUE(again.WaitForText("\r\n"));
    EXPECT_EQ(again.received, StableReply);
}

TEST_F(TcpSimulator, NewClientReplacesTheOldOneAndStartsWithoutContinuousMode) {
    ASSERT_EQ(simulator.Control("rate 20"), "OK");
    TcpClient first(simulator.tcpPort);
    first.Write("C1\r\n");
    ASSERT_TRUE(first.WaitForText("SI "));

    TcpClient second(simulator.tcpPort);
    second.Write("S\r\n");
    ASSERT_TRUE(second.WaitForText("\r\n"));
    EXPECT_TRUE(first.WaitForDisconnect());
    RunEventsFor(300);
    EXPECT_EQ(second.received, StableReply);
}

TEST(SerialSimulatorDialect, SevenBitSicsBalanceSendsParityInBitSevenAndIgnoresItsOwn) {
    SimulatorProcess simulator;
    ASSERT_TRUE(simulator.Start(
        {"--com", "6", "--dialect", "sics", "--line", "7E1", "--mass", "100", "--decimals", "2"}));
    SerialClient client(LinkPath(6));
    ASSERT_TRUE(client.IsOpen());
    // "SI" CR LF as a 7E1 sender puts it on the line.
    client.Write("S\xc9\x8d\n");
    ASSERT_TRUE(client.WaitForText("\n"));
    QByteArray stripped = client.received;
    for (char& c : stripped) {
        EXPECT_EQ(std::popcount(unsigned(static_cast<unsigned char>(c))) % 2, 0);
        c = char(c & 0x7f);
    }
    EXPECT_EQ(stripped, "S S     100.00 g\r\n");
    EXPECT_NE(client.received, stripped);

    // A program reading a 7-bit line has the parity bit dropped.
    ASSERT_TRUE(client.StripEighthBit());
    ASSERT_EQ(simulator.Control("overload on"), "OK");
    client.received.clear();
    client.Write("S\r\n");
    ASSERT_TRUE(client.WaitForText("\r\n"));
    EXPECT_EQ(client.received, "S +\r\n");
}

TEST(TcpSimulatorScript, ScriptedRepliesAreServedInTurn) {
    QTemporaryDir dir;
    QFile script(dir.filePath("exchanges.txt"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("# a balance that needs two tries\nS => ES\\r\\n\nS => S      1.0000 g  \\r\\n\n");
    script.close();
    SimulatorProcess simulator;
    ASSERT_TRUE(simulator.Start({"--tcp", "0", "--script", script.fileName()}));
    TcpClient client(simulator.tcpPort);
    client.Write("S\r\nS\r\nS\r\n");
    ASSERT_TRUE(WaitUntil([&] { return CountOf(client.received, "\r\n") >= 3; }));
    EXPECT_EQ(client.received, "ES\r\nS      1.0000 g  \r\nES\r\n");
}

TEST(SimulatorCommandLine, ExitsWithAnErrorWhenItCannotServe) {
    QProcess process;
    process.start(QStringLiteral(BALANCE_SIM_PATH), {"--tcp", "0", "--script", "/nonexistent/s"});
    ASSERT_TRUE(process.waitForFinished(5000));
    EXPECT_EQ(process.exitCode(), 1);
    EXPECT_TRUE(process.readAllStandardError().contains("/nonexistent/s"));

    process.start(QStringLiteral(BALANCE_SIM_PATH), {"--com", "0"});
    ASSERT_TRUE(process.waitForFinished(5000));
    EXPECT_EQ(process.exitCode(), 2);
    EXPECT_TRUE(process.readAllStandardOutput().isEmpty());
}

TEST(SimulatorCommandLine, EndOfInputEndsTheProgramOnlyWhenAskedTo) {
    SimulatorProcess kept;
    ASSERT_TRUE(kept.Start({"--tcp", "0"}));
    SimulatorProcess ending;
    ASSERT_TRUE(ending.Start({"--tcp", "0", "--exit-on-eof"}));
    kept.process.closeWriteChannel();
    ending.process.closeWriteChannel();
    ASSERT_TRUE(WaitForExit(ending.process));
    EXPECT_EQ(ending.process.exitCode(), 0);
    EXPECT_EQ(kept.process.state(), QProcess::Running);
    TcpClient client(kept.tcpPort);
    client.Write("S\r\n");
    EXPECT_TRUE(client.WaitForText("\r\n"));
    kept.process.terminate();
    EXPECT_TRUE(WaitForExit(kept.process));
}
