#include "TCP.h"
#include "CSocket.h"
#include "CommTesting.h"
#include "EventWait.h"
#include "Mordal.h"

#include <Mordal/HostResolver.h>

#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <vector>

using Mordal::Comm;
using Mordal::CSocket;
using Mordal::enCommSource;
using Mordal::HostLookup;
using Mordal::HostResolver;
using Mordal::CommInternals::TCP1;

namespace {

class TableResolver : public HostResolver {
public:
    HostLookup Resolve(const QString& name) override {
        if (name == QLatin1String("balance"))
            return {0, QStringLiteral("127.0.0.1"), QStringLiteral("balance.lab")};
        return {11001, QString(), QString()};
    }
    QString NameOfAddress(const QString&) override { return {}; }
};

int loopbackSocket() {
    return socket(AF_INET, SOCK_STREAM, 0);
}

sockaddr_in loopback(int port) {
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    at.sin_port = htons(static_cast<uint16_t>(port));
    return at;
}

// A plain loopback server standing in for the balance.
class Peer {
public:
    explicit Peer(int backlog = 5) {
        listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in at = loopback(0);
        bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof at);
        listen(listener, backlog);
        socklen_t length = sizeof at;
        getsockname(listener, reinterpret_cast<sockaddr*>(&at), &length);
        port = ntohs(at.sin_port);
    }
    ~Peer() {
        for (int fd : connections)
            close(fd);
        close(listener);
    }
    // Takes every connection waiting; answers whether one was there.
    bool AcceptWaiting() {
        bool any = false;
        for (int fd; (fd = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK)) >= 0; any = true)
            connections.push_back(fd);
        return any;
    }
    bool Accept() {
        return WaitUntil([this] { return AcceptWaiting(); });
    }
    int Last() const { return connections.back(); }
    void Send(const QByteArray& bytes) const { send(Last(), bytes.constData(), bytes.size(), 0); }
    // Sends everything, letting the link read while the socket is full.
    void SendAll(const QByteArray& bytes) const {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t sent =
                send(Last(), bytes.constData() + done, bytes.size() - done, MSG_DONTWAIT);
            if (sent > 0)
                done += sent;
            else
                RunEventsFor(2);
        }
    }
    QByteArray Read() const {
        QByteArray all;
        WaitUntil([&] { return readSome(all) == 0 || !all.isEmpty(); });
        return all;
    }
    bool SawEndOfStream() const {
        QByteArray ignored;
        return WaitUntil([&] { return readSome(ignored) == 0; });
    }
    void Reset() {
        const linger abortive{1, 0};
        setsockopt(Last(), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
        close(Last());
        connections.pop_back();
    }
    void Close() {
        close(Last());
        connections.pop_back();
    }

    int listener = -1;
    int port = 0;
    std::vector<int> connections;

private:
    int readSome(QByteArray& into) const {
        char buffer[4096];
        const ssize_t got = recv(Last(), buffer, sizeof buffer, MSG_DONTWAIT);
        if (got > 0)
            into.append(buffer, got);
        return got > 0 ? 1 : got == 0 ? 0 : -1;
    }
};

struct ErrorSeen {
    int number;
    QString description;
    enCommSource source;
};

class TCPTest : public ::testing::Test {
protected:
    TCPTest() {
        previous = HostResolver::Install(std::make_shared<TableResolver>());
        QObject::connect(&comm, &Comm::CommIsOpen, [this](bool state) {
            states.push_back(state);
            if (state && opening)
                openedDuringWait = true;
        });
        QObject::connect(&comm, &Comm::ErrorComm,
                         [this](int number, const QString& text, enCommSource source) {
                             errors.push_back({number, text, source});
                         });
        QObject::connect(&comm, &Comm::OnComm, [this](const QByteArray& frame, int, int, bool&) {
            frames.push_back(frame);
            statesSeenAtFrame.push_back(states.size());
        });
        comm.SetCommSource(int(enCommSource::TCP));
    }
    ~TCPTest() override { HostResolver::Install(previous); }

    void Open(const QString& host, int port) {
        comm.SetNetRemoteHost(host);
        comm.SetNetRemotePort(port);
        opening = true;
        comm.SetCommOpen(true);
        opening = false;
    }

    std::shared_ptr<HostResolver> previous;
    Comm comm;
    bool opening = false;
    bool openedDuringWait = false;
    std::vector<bool> states;
    std::vector<ErrorSeen> errors;
    std::vector<QByteArray> frames;
    std::vector<size_t> statesSeenAtFrame;
};

TEST_F(TCPTest, OpensByAddressAnnouncingTheConnectionDuringTheWait) {
    Peer peer;
    Open(QStringLiteral("127.0.0.1"), peer.port);
    EXPECT_TRUE(comm.CommOpen());
    EXPECT_TRUE(openedDuringWait);
    EXPECT_EQ(states, std::vector<bool>{true});
    EXPECT_TRUE(errors.empty());

    ASSERT_TRUE(peer.Accept());
    peer.Send("12.5 g\r\n");
    ASSERT_TRUE(WaitUntil([&] { return !frames.empty(); }));
    EXPECT_EQ(frames[0], "12.5 g\r\n");
    int sent = 0;
    QObject scope;
    QObject::connect(TCP1(comm), &Mordal::TCP::DataSent, &scope, [&](const QByteArray& text) {
        EXPECT_EQ(text, "SI\r\n");
        ++sent;
    });
    comm.OutputData("SI\r\n");
    EXPECT_EQ(peer.Read(), "SI\r\n");
    EXPECT_TRUE(WaitUntil([&] { return sent == 1; }));
}

TEST_F(TCPTest, OpensByNameThroughTheResolver) {
    Peer peer;
    std::vector<int> socketStates;
    QObject scope;
    QObject::connect(TCP1(comm)->WS, &CSocket::StateChanged, &scope,
                     [&](int state) { socketStates.push_back(state); });
    Open(QStringLiteral("balance"), peer.port);
    EXPECT_TRUE(comm.CommOpen());
    EXPECT_EQ(socketStates, (std::vector<int>{4, 5, 6, 7}));
    EXPECT_EQ(comm.NetRemoteHost(), "balance.lab");
}

TEST_F(TCPTest, UnknownNameFailsWithHostNotFound) {
    Open(QStringLiteral("nowhere"), 4001);
    EXPECT_FALSE(comm.CommOpen());
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].number, 11001);
    EXPECT_EQ(errors[0].description, "Host not found.");
    EXPECT_EQ(errors[0].source, enCommSource::TCP);
    EXPECT_EQ(states, std::vector<bool>{false});
}

TEST_F(TCPTest, RefusedConnectionEndsTheWaitWithAnError) {
    int freePort = 0;
    {
        Peer gone;
        freePort = gone.port;
    }
    Open(QStringLiteral("127.0.0.1"), freePort);
    EXPECT_FALSE(comm.CommOpen());
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].number, 10061);
    EXPECT_EQ(errors[0].description, "Connection refused.");
    EXPECT_EQ(errors[0].source, enCommSource::TCP);
    EXPECT_EQ(states, std::vector<bool>{false});
}

TEST_F(TCPTest, HangingConnectionGivesUpAfterTheWaitAndPollsALateConnect) {
    // With a backlog of 0 one finished connection fills the queue and the
    // next connection's handshake is ignored until it is taken.
    Peer full(0);
    const int filler = loopbackSocket();
    const sockaddr_in at = loopback(full.port);
    ASSERT_EQ(connect(filler, reinterpret_cast<const sockaddr*>(&at), sizeof at), 0);
    RunEventsFor(20);

    QElapsedTimer clock;
    clock.start();
    Open(QStringLiteral("127.0.0.1"), full.port);
    const qint64 waited = clock.elapsed();
    EXPECT_FALSE(comm.CommOpen());
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(states, std::vector<bool>{false});
    EXPECT_GE(waited, 2500);
    EXPECT_LT(waited, 6000);

    EXPECT_TRUE(WaitUntil(
        [&] {
            full.AcceptWaiting();
            return states.size() == 2 && full.connections.size() == 2;
        },
        10000));
    EXPECT_EQ(states, (std::vector<bool>{false, true}));
    ASSERT_TRUE(comm.CommOpen());

    // Open means polled: a request goes out and its reply comes back.
    comm.OutputData("SI\r\n");
    EXPECT_EQ(full.Read(), "SI\r\n");
    full.Send("12.5 g\r\n");
    EXPECT_TRUE(WaitUntil([&] { return !frames.empty(); }));
    EXPECT_EQ(frames, std::vector<QByteArray>{"12.5 g\r\n"});
    close(filler);
}

TEST_F(TCPTest, NewRemoteHostClosesTheConnectionFirst) {
    Peer peer;
    Open(QStringLiteral("127.0.0.1"), peer.port);
    ASSERT_TRUE(comm.CommOpen());
    ASSERT_TRUE(peer.Accept());
    comm.SetNetRemoteHost(QStringLiteral("127.0.0.2"));
    EXPECT_FALSE(comm.CommOpen());
    EXPECT_EQ(comm.NetRemoteHost(), "127.0.0.2");
    EXPECT_EQ(states, (std::vector<bool>{true, false}));
    EXPECT_TRUE(peer.SawEndOfStream());
}

TEST_F(TCPTest, NewRemotePortWhileConnectedIsIgnored) {
    Peer peer;
    Open(QStringLiteral("127.0.0.1"), peer.port);
    ASSERT_TRUE(comm.CommOpen());
    comm.SetNetRemotePort(peer.port + 1);
    EXPECT_EQ(comm.NetRemotePort(), peer.port);
    EXPECT_TRUE(comm.CommOpen());
}

TEST_F(TCPTest, SendingWhileNotConnectedDoesNothing) {
    Peer peer;
    comm.SetNetRemoteHost(QStringLiteral("127.0.0.1"));
    comm.SetNetRemotePort(peer.port);
    int sent = 0;
    QObject scope;
    QObject::connect(TCP1(comm), &Mordal::TCP::DataSent, &scope, [&] { ++sent; });
    TCP1(comm)->OutputData("SI\r\n");
    RunEventsFor(30);
    EXPECT_EQ(sent, 0);
    EXPECT_TRUE(errors.empty());
    EXPECT_FALSE(peer.AcceptWaiting());
}

TEST_F(TCPTest, MissingPortMakesOpeningASilentNoOp) {
    Peer peer;
    Open(QStringLiteral("127.0.0.1"), 0);
    EXPECT_FALSE(comm.CommOpen());
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(states, std::vector<bool>{false});
}

TEST_F(TCPTest, ResetInTheMiddleOfAFrameIsReportedAndClosesTheLink) {
    Peer peer;
    Open(QStringLiteral("127.0.0.1"), peer.port);
    ASSERT_TRUE(peer.Accept());
    peer.Send("12.");
    RunEventsFor(20);
    peer.Reset();
    ASSERT_TRUE(WaitUntil([&] { return !errors.empty(); }));
    EXPECT_EQ(errors[0].number, 10054);
    EXPECT_EQ(errors[0].description, "Connection reset by peer.");
    EXPECT_EQ(errors[0].source, enCommSource::TCP);
    EXPECT_EQ(states, (std::vector<bool>{true, false}));
    EXPECT_FALSE(comm.CommOpen());
    RunEventsFor(30);
    EXPECT_TRUE(frames.empty());
}

TEST_F(TCPTest, LastFrameBeforeThePeersCloseIsStillDelivered) {
    Peer peer;
    Open(QStringLiteral("127.0.0.1"), peer.port);
    ASSERT_TRUE(peer.Accept());
    peer.Send("1.0 g\r\n2.0 g\r\n");
    peer.Close();
    ASSERT_TRUE(WaitUntil([&] { return states.size() == 2 && frames.size() == 2; }));
    EXPECT_EQ(frames[0], "1.0 g\r\n");
    EXPECT_EQ(frames[1], "2.0 g\r\n");
    // The host hears of every reading before it hears of the lost link.
    EXPECT_EQ(statesSeenAtFrame, (std::vector<size_t>{1, 1}));
    EXPECT_EQ(states, (std::vector<bool>{true, false}));
    EXPECT_TRUE(errors.empty());
}

TEST_F(TCPTest, ABacklogOfThousandsOfFramesArrivesWholeAndInOrder) {
    Peer peer;
    Open(QStringLiteral("127.0.0.1"), peer.port);
    ASSERT_TRUE(peer.Accept());
    const auto reading = [](int i) {
        return "+ " + QByteArray::number(100 + i / 10000.0, 'f', 4) + " g\r\n";
    };
    QByteArray backlog;
    for (int i = 0; i < 6000; ++i)
        backlog += reading(i);
    ASSERT_EQ(reading(0).size(), 14);
    peer.SendAll(backlog);
    ASSERT_TRUE(WaitUntil([&] { return frames.size() >= 6000; }, 10000)) << frames.size();
    RunEventsFor(30);
    ASSERT_EQ(frames.size(), 6000u);
    for (int i = 0; i < 6000; ++i)
        ASSERT_EQ(frames[i], reading(i)) << "frame " << i;
}

TEST_F(TCPTest, OpeningAgainKeepsAWorkingConnection) {
    Peer peer;
    Open(QStringLiteral("127.0.0.1"), peer.port);
    ASSERT_TRUE(peer.Accept());
    comm.SetCommOpen(true);
    EXPECT_TRUE(comm.CommOpen());
    RunEventsFor(30);
    EXPECT_FALSE(peer.AcceptWaiting());
    peer.Send("2.0 g\r\n");
    EXPECT_TRUE(WaitUntil([&] { return !frames.empty(); }));

    // Closed by the host, a reopen makes a new connection.
    comm.SetCommOpen(false);
    EXPECT_FALSE(comm.CommOpen());
    EXPECT_TRUE(peer.SawEndOfStream());
    comm.SetCommOpen(true);
    EXPECT_TRUE(comm.CommOpen());
    EXPECT_TRUE(peer.Accept());
    EXPECT_EQ(states, (std::vector<bool>{true, false, true}));
}

} // namespace
