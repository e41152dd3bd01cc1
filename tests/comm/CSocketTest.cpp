#include "CSocket.h"
#include "EventWait.h"
#include "MSocketSupport.h"

#include <Mordal/HostResolver.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QThread>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <memory>
#include <vector>

using Mordal::CSocket;
using Mordal::HostLookup;
using Mordal::HostResolver;
using Mordal::MSocketSupport;
using DataType = CSocket::enDataType;

namespace {

// Answers from a fixed table so no lookup ever leaves the machine.
class TableResolver : public HostResolver {
public:
    HostLookup Resolve(const QString& name) override {
        if (QThread::currentThread() == QCoreApplication::instance()->thread())
            resolvedOnGuiThread = true;
        if (name == QLatin1String("balance"))
            return {0, QStringLiteral("127.0.0.1"), QStringLiteral("balance.lab")};
        return {11001, QString(), QString()};
    }
    QString NameOfAddress(const QString& address) override {
        return address == QLatin1String("127.0.0.1") ? QStringLiteral("loopback.lab") : QString();
    }
    std::atomic<bool> resolvedOnGuiThread{false};
};

// A plain loopback server, independent of the class under test.
class Peer {
public:
    explicit Peer(int backlog = 5) {
        listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof at);
        listen(listener, backlog);
        socklen_t length = sizeof at;
        getsockname(listener, reinterpret_cast<sockaddr*>(&at), &length);
        port = ntohs(at.sin_port);
    }
    ~Peer() {
        if (connection >= 0)
            close(connection);
        close(listener);
    }
    bool Accept() {
        return WaitUntil([this] {
            connection = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK);
            return connection >= 0;
        });
    }
    void Send(const QByteArray& bytes) const {
        send(connection, bytes.constData(), bytes.size(), 0);
    }
    QByteArray ReadFor(int ms) const {
        QByteArray all;
        WaitUntil([&] { return readSome(all) == 0; }, ms);
        return all;
    }
    // Sends the connection's reset instead of a close.
    void Reset() {
        const linger abortive{1, 0};
        setsockopt(connection, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
        close(std::exchange(connection, -1));
    }
    void Close() { close(std::exchange(connection, -1)); }
    bool SawEndOfStream() const {
        QByteArray ignored;
        return WaitUntil([&] { return readSome(ignored) == 0; });
    }

    int listener = -1;
    int connection = -1;
    int port = 0;

private:
    // Bytes appended, 0 at the end of the stream, -1 when nothing is there yet.
    int readSome(QByteArray& into) const {
        char buffer[4096];
        const ssize_t got = recv(connection, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got > 0)
            into.append(buffer, got);
        return got > 0 ? 1 : got == 0 ? 0 : -1;
    }
};

struct ErrorSeen {
    int number = 0;
    QString description;
    QString source;
};

class CSocketTest : public ::testing::Test {
protected:
    void SetUp() override { previous = HostResolver::Install(resolver); }
    void TearDown() override {
        HostResolver::Install(previous);
        EXPECT_EQ(MSocketSupport::RegisteredSocketCount(), 0);
    }

    // Records events of a socket in the order they arrive.
    void Watch(CSocket& socket) {
        QObject::connect(&socket, &CSocket::StateChanged,
                         [this](int state) { states.push_back(state); });
        QObject::connect(&socket, &CSocket::OnConnect, [this] { events.push_back("connect"); });
        QObject::connect(&socket, &CSocket::OnClose, [this] { events.push_back("close"); });
        QObject::connect(&socket, &CSocket::OnError,
                         [this](int16_t number, QString& description, int32_t,
                                const QString& source, const QString&, int32_t, bool& cancel) {
                             errors.push_back({number, description, source});
                             events.push_back("error");
                             cancel = true;
                         });
    }

    std::shared_ptr<TableResolver> resolver = std::make_shared<TableResolver>();
    std::shared_ptr<HostResolver> previous;
    std::vector<int> states;
    std::vector<std::string> events;
    std::vector<ErrorSeen> errors;
};

TEST(SocketErrors, TextsAndNumbersFollowTheTable) {
    EXPECT_EQ(MSocketSupport::SocketErrorText(10061), "Connection refused.");
    EXPECT_EQ(MSocketSupport::SocketErrorText(11001), "Host not found.");
    EXPECT_EQ(MSocketSupport::SocketErrorText(10047),
              "Address family not supported by protocol family.");
    EXPECT_EQ(MSocketSupport::SocketErrorText(10059), "Unknown error.");
    EXPECT_EQ(MSocketSupport::SocketErrorFromErrno(ECONNREFUSED), 10061);
    EXPECT_EQ(MSocketSupport::SocketErrorFromErrno(ECONNRESET), 10054);
    EXPECT_EQ(MSocketSupport::SocketErrorFromErrno(EHOSTUNREACH), 10065);
    EXPECT_EQ(MSocketSupport::SocketErrorFromErrno(EINPROGRESS), 10036);
    EXPECT_EQ(MSocketSupport::SocketErrorFromErrno(EPIPE), 10058);
    // Without a socket number the system's own number (and text) is kept.
    EXPECT_EQ(MSocketSupport::SocketErrorFromErrno(EIO), EIO);
}

TEST(SocketData, ValuesTravelAsTheirLittleEndianImage) {
    EXPECT_EQ(CSocket::ToBytes(QVariant::fromValue<qint16>(0x1234)), QByteArray("\x34\x12"));
    EXPECT_EQ(CSocket::ToBytes(true), QByteArray("\xff\xff"));
    EXPECT_EQ(CSocket::ToBytes(0x01020304), QByteArray("\x04\x03\x02\x01"));
    EXPECT_EQ(CSocket::ToBytes(QVariant::fromValue<uchar>(0xA5)), QByteArray("\xa5"));
    // One byte per character, never UTF-8.
    EXPECT_EQ(CSocket::ToBytes(QStringLiteral("g\u00e9")), QByteArray("g\xe9"));
    EXPECT_EQ(CSocket::ToBytes(1.5), QByteArray("\0\0\0\0\0\0\xf8\x3f", 8));

    EXPECT_EQ(CSocket::FromBytes("\x34\x12", DataType::Int16).value<qint16>(), 0x1234);
    EXPECT_EQ(CSocket::FromBytes("\xe9", DataType::Text).toString(), QStringLiteral("\u00e9"));
    EXPECT_TRUE(CSocket::FromBytes("\x01\x00", DataType::Boolean).toBool());
    const QDateTime noon(QDate(1900, 1, 1), QTime(12, 0));
    const QByteArray image = CSocket::ToBytes(noon);
    EXPECT_EQ(CSocket::FromBytes(image, DataType::Double).toDouble(), 2.5);
    EXPECT_EQ(CSocket::FromBytes(image, DataType::Date).toDateTime(), noon);
    // Before the epoch the day counts down and the time still counts up.
    const QDateTime before(QDate(1899, 12, 29), QTime(6, 0));
    EXPECT_EQ(CSocket::FromBytes(CSocket::ToBytes(before), DataType::Double).toDouble(), -1.25);
    EXPECT_EQ(CSocket::FromBytes(CSocket::ToBytes(before), DataType::Date).toDateTime(), before);
}

TEST_F(CSocketTest, ConnectsByAddressThroughConnectingToConnected) {
    Peer peer;
    auto socket = std::make_unique<CSocket>();
    Watch(*socket);
    socket->Connect(QStringLiteral("127.0.0.1"), peer.port);
    EXPECT_TRUE(MSocketSupport::DispatcherExists());
    ASSERT_TRUE(WaitUntil([&] { return socket->State() == CSocket::Connected; }));
    EXPECT_EQ(states, (std::vector<int>{6, 7}));
    EXPECT_EQ(events, (std::vector<std::string>{"connect"}));
    EXPECT_EQ(socket->RemoteHostIP(), "127.0.0.1");
    EXPECT_EQ(socket->LocalIP(), "127.0.0.1");
    EXPECT_GT(socket->LocalPort(), 0);
    EXPECT_TRUE(WaitUntil([&] { return socket->LocalHostName() == "loopback.lab"; }));

    socket.reset();
    EXPECT_FALSE(MSocketSupport::DispatcherExists());
    EXPECT_FALSE(MSocketSupport::SocketsStarted());
}

TEST_F(CSocketTest, ConnectsByNameAfterAnAsynchronousLookup) {
    Peer peer;
    CSocket socket;
    Watch(socket);
    socket.Connect(QStringLiteral("balance"), peer.port);
    EXPECT_EQ(socket.State(), CSocket::ResolvingHost);
    ASSERT_TRUE(WaitUntil([&] { return socket.State() == CSocket::Connected; }));
    EXPECT_EQ(states, (std::vector<int>{4, 5, 6, 7}));
    EXPECT_EQ(socket.RemoteHost(), "balance.lab");
    EXPECT_EQ(socket.RemoteHostIP(), "127.0.0.1");
    EXPECT_FALSE(resolver->resolvedOnGuiThread);
}

TEST_F(CSocketTest, ReportsFailedLookupAndRefusedConnection) {
    CSocket unknown;
    Watch(unknown);
    unknown.Connect(QStringLiteral("nowhere"), 80);
    ASSERT_TRUE(WaitUntil([&] { return !errors.empty(); }));
    EXPECT_EQ(errors[0].number, 11001);
    EXPECT_EQ(errors[0].description, "Host not found.");
    EXPECT_EQ(unknown.State(), CSocket::Error);

    errors.clear();
    int freePort = 0;
    {
        Peer closed;
        freePort = closed.port;
    }
    CSocket refused;
    Watch(refused);
    refused.Connect(QStringLiteral("127.0.0.1"), freePort);
    ASSERT_TRUE(WaitUntil([&] { return !errors.empty(); }));
    EXPECT_EQ(errors[0].number, 10061);
    EXPECT_EQ(errors[0].description, "Connection refused.");
    EXPECT_EQ(refused.State(), CSocket::Error);
    EXPECT_EQ(refused.SocketHandle(), -1);
}

TEST_F(CSocketTest, ANewLookupSupersedesOneStillRunning) {
    Peer peer;
    CSocket socket;
    Watch(socket);
    socket.Connect(QStringLiteral("nowhere"), peer.port);
    socket.Connect(QStringLiteral("balance"));
    ASSERT_TRUE(WaitUntil([&] { return socket.State() == CSocket::Connected; }));
    RunEventsFor(30);
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(socket.State(), CSocket::Connected);
}

TEST_F(CSocketTest, DrainsQueuedDataBeforeAnnouncingThePeersClose) {
    Peer peer;
    CSocket socket;
    Watch(socket);
    QByteArray got;
    QObject::connect(&socket, &CSocket::OnDataArrival, [&](int32_t total) {
        events.push_back("data");
        EXPECT_EQ(total, socket.BytesReceived());
        QVariant part;
        socket.GetData(part, DataType::ByteArray);
        got += part.toByteArray();
    });
    socket.Connect(QStringLiteral("127.0.0.1"), peer.port);
    ASSERT_TRUE(peer.Accept());
    ASSERT_TRUE(WaitUntil([&] { return socket.State() == CSocket::Connected; }));
    // Data and end of stream are both queued before the loop looks again.
    peer.Send("12.5 g\r\n");
    peer.Close();
    ASSERT_TRUE(WaitUntil([&] { return socket.State() == CSocket::Closed; }));
    RunEventsFor(50);
    EXPECT_EQ(got, "12.5 g\r\n");
    EXPECT_EQ(events, (std::vector<std::string>{"connect", "data", "close"}));
    EXPECT_EQ(socket.BytesReceived(), 0);
    EXPECT_EQ(socket.SocketHandle(), -1);
}

TEST_F(CSocketTest, GetDataTakesAndPeekDataLeavesUpToTheMaximum) {
    Peer peer;
    CSocket socket;
    socket.Connect(QStringLiteral("127.0.0.1"), peer.port);
    ASSERT_TRUE(peer.Accept());
    peer.Send("ABCDE");
    ASSERT_TRUE(WaitUntil([&] { return socket.BytesReceived() == 5; }));

    QVariant data;
    socket.PeekData(data, DataType::Text, 3);
    EXPECT_EQ(data.toString(), "ABC");
    EXPECT_EQ(socket.BytesReceived(), 5);
    socket.GetData(data, DataType::Text, 3);
    EXPECT_EQ(data.toString(), "ABC");
    EXPECT_EQ(socket.BytesReceived(), 2);
    socket.GetData(data, DataType::Text, 9);
    EXPECT_EQ(data.toString(), "DE");
    EXPECT_EQ(socket.BytesReceived(), 0);
    QVariant untouched(42);
    socket.GetData(untouched);
    EXPECT_EQ(untouched, QVariant(42));
}

TEST_F(CSocketTest, SendAcceptedInPartsReportsProgressThenCompletesOnce) {
    Peer peer;
    CSocket socket;
    std::vector<std::pair<int, int>> progress;
    int completions = 0;
    QObject::connect(&socket, &CSocket::OnSendProgress,
                     [&](int32_t sent, int32_t left) { progress.emplace_back(sent, left); });
    QObject::connect(&socket, &CSocket::OnSendComplete, [&] { ++completions; });
    socket.Connect(QStringLiteral("127.0.0.1"), peer.port);
    ASSERT_TRUE(peer.Accept());
    ASSERT_TRUE(WaitUntil([&] { return socket.State() == CSocket::Connected; }));
    const int small = 4096;
    setsockopt(socket.SocketHandle(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    setsockopt(peer.connection, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);

    // Far more than both small buffers hold: the socket takes it only in
    // parts, as the peer reads.
    QByteArray text;
    for (int i = 0; i < 60000; ++i)
        text += char('0' + i % 10);
    socket.SendData(QString::fromLatin1(text));
    EXPECT_EQ(completions, 0);

    QByteArray received;
    ASSERT_TRUE(WaitUntil(
        [&] {
            char buffer[4096];
            const ssize_t got = recv(peer.connection, buffer, sizeof buffer, MSG_DONTWAIT);
            if (got > 0)
                received.append(buffer, got);
            return completions > 0 && received.size() == text.size();
        },
        5000));
    RunEventsFor(50);
    EXPECT_EQ(received, text);
    EXPECT_EQ(completions, 1);
    ASSERT_GE(progress.size(), 2u);
    int total = 0;
    int left = text.size();
    for (const auto& [sent, remaining] : progress) {
        total += sent;
        EXPECT_EQ(remaining, left - sent);
        left = remaining;
    }
    EXPECT_EQ(total, text.size());
    EXPECT_EQ(progress.back().second, 0);
}

TEST_F(CSocketTest, ProtocolIsFixedWhileASocketExists) {
    CSocket socket;
    socket.SetProtocol(CSocket::UdpProtocol);
    ASSERT_GE(socket.vbSocket(), 0);
    socket.SetProtocol(CSocket::TcpProtocol);
    EXPECT_EQ(socket.Protocol(), CSocket::UdpProtocol);
    socket.CloseSocket();
    socket.SetProtocol(CSocket::TcpProtocol);
    EXPECT_EQ(socket.Protocol(), CSocket::TcpProtocol);
}

TEST_F(CSocketTest, DispatcherLivesExactlyWhileASocketIsRegistered) {
    EXPECT_FALSE(MSocketSupport::DispatcherExists());
    auto first = std::make_unique<CSocket>();
    auto second = std::make_unique<CSocket>();
    EXPECT_FALSE(MSocketSupport::DispatcherExists());
    first->vbSocket();
    second->vbSocket();
    EXPECT_EQ(MSocketSupport::RegisteredSocketCount(), 2);
    first.reset();
    EXPECT_TRUE(MSocketSupport::DispatcherExists());
    second.reset();
    EXPECT_FALSE(MSocketSupport::DispatcherExists());
}

TEST_F(CSocketTest, GracefulCloseWaitsForThePeer) {
    Peer peer;
    CSocket socket;
    Watch(socket);
    socket.Connect(QStringLiteral("127.0.0.1"), peer.port);
    ASSERT_TRUE(peer.Accept());
    ASSERT_TRUE(WaitUntil([&] { return socket.State() == CSocket::Connected; }));
    socket.CloseSocket();
    EXPECT_EQ(socket.State(), CSocket::Closing);
    EXPECT_TRUE(peer.SawEndOfStream());
    peer.Close();
    ASSERT_TRUE(WaitUntil([&] { return socket.State() == CSocket::Closed; }));
    RunEventsFor(30);
    EXPECT_EQ(std::count(events.begin(), events.end(), "close"), 1);
}

TEST_F(CSocketTest, ResetByThePeerIsAnError) {
    Peer peer;
    CSocket socket;
    Watch(socket);
    socket.Connect(QStringLiteral("127.0.0.1"), peer.port);
    ASSERT_TRUE(peer.Accept());
    ASSERT_TRUE(WaitUntil([&] { return socket.State() == CSocket::Connected; }));
    peer.Send("12.");
    peer.Reset();
    ASSERT_TRUE(WaitUntil([&] { return !errors.empty(); }));
    EXPECT_EQ(errors[0].number, 10054);
    EXPECT_EQ(errors[0].description, "Connection reset by peer.");
    EXPECT_EQ(socket.State(), CSocket::Error);
    RunEventsFor(30);
    EXPECT_EQ(std::count(events.begin(), events.end(), "close"), 0);
}

TEST_F(CSocketTest, ListensAndHandsAcceptedConnectionsToAnotherSocket) {
    CSocket listener;
    listener.Bind(0, QStringLiteral("127.0.0.1"));
    listener.Listen();
    ASSERT_EQ(listener.State(), CSocket::Listening);
    std::unique_ptr<CSocket> accepted;
    bool acceptNext = true;
    QObject::connect(&listener, &CSocket::OnConnectionRequest, [&](int32_t request) {
        if (!std::exchange(acceptNext, false))
            return;
        accepted = std::make_unique<CSocket>();
        accepted->Accept(request);
    });

    CSocket client;
    client.Connect(QStringLiteral("127.0.0.1"), listener.LocalPort());
    ASSERT_TRUE(WaitUntil([&] { return accepted && client.State() == CSocket::Connected; }));
    EXPECT_EQ(accepted->State(), CSocket::Connected);
    EXPECT_EQ(accepted->RemotePort(), client.LocalPort());
    client.SendData(QByteArray("ping"));
    ASSERT_TRUE(WaitUntil([&] { return accepted->BytesReceived() == 4; }));

    // A request nobody takes is closed, not leaked.
    CSocket ignored;
    bool closed = false;
    QObject::connect(&ignored, &CSocket::OnClose, [&] { closed = true; });
    ignored.Connect(QStringLiteral("127.0.0.1"), listener.LocalPort());
    EXPECT_TRUE(WaitUntil([&] { return closed; }));
}

TEST_F(CSocketTest, ListenOnAPortInUseFailsInsteadOfTakingAnother) {
    Peer busy;
    CSocket socket;
    Watch(socket);
    socket.Bind(busy.port, QStringLiteral("127.0.0.1"));
    socket.Listen();
    EXPECT_EQ(socket.State(), CSocket::Error);
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors[0].number, 10048);
    EXPECT_EQ(errors[0].source, "CSocket.Bind");
}

TEST_F(CSocketTest, DatagramsTravelBetweenLoopbackSockets) {
    CSocket receiver;
    receiver.SetProtocol(CSocket::UdpProtocol);
    receiver.Bind(0, QStringLiteral("127.0.0.1"));
    CSocket sender;
    sender.SetProtocol(CSocket::UdpProtocol);
    sender.SetRemoteHost(QStringLiteral("127.0.0.1"));
    sender.SetRemotePort(receiver.LocalPort());
    sender.Bind(0, QStringLiteral("127.0.0.1"));
    int completions = 0;
    QObject::connect(&sender, &CSocket::OnSendComplete, [&] { ++completions; });
    sender.SendData(QByteArray("W1\r\n"));
    ASSERT_TRUE(WaitUntil([&] { return receiver.BytesReceived() == 4 && completions == 1; }));
    QVariant data;
    receiver.GetData(data, DataType::ByteArray);
    EXPECT_EQ(data.toByteArray(), "W1\r\n");
    EXPECT_EQ(receiver.RemoteHostIP(), "127.0.0.1");
    EXPECT_EQ(receiver.RemotePort(), sender.LocalPort());

    int on = 0;
    socklen_t length = sizeof on;
    sender.SetRemoteHost(QStringLiteral("127.255.255.255"));
    getsockopt(sender.SocketHandle(), SOL_SOCKET, SO_BROADCAST, &on, &length);
    EXPECT_EQ(on, 1);
    sender.SetRemoteHost(QStringLiteral("127.0.0.1"));
    getsockopt(sender.SocketHandle(), SOL_SOCKET, SO_BROADCAST, &on, &length);
    EXPECT_EQ(on, 0);
}

TEST_F(CSocketTest, OversizedDatagramIsReportedNotRetriedForever) {
    CSocket sender;
    Watch(sender);
    sender.SetProtocol(CSocket::UdpProtocol);
    sender.SetRemoteHost(QStringLiteral("127.0.0.1"));
    sender.SetRemotePort(9);
    sender.SendData(QByteArray(70000, 'x'));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].number, 10040);
    EXPECT_EQ(errors[0].source, "CSocket.SendData");
}

} // namespace
