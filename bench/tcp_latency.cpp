// Reply latency over a TCP link: the time from the balance writing a reply
// to its loopback socket until Comm raises OnComm with it. The bound is one
// 10 ms hand-over poll of Comm plus scheduling slack.
#include "Mordal.h"

#include <QCoreApplication>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr double BoundMs = 12.0;
constexpr char Reply[] = "S S     12.3456 g\r\n";

qint64 NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int IntArgument(int argc, char** argv, const char* name, int fallback) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0)
            return std::max(1, std::atoi(argv[i + 1]));
    }
    return fallback;
}

// The balance: a plain listening socket on 127.0.0.1 served by its own thread.
int ListenOnLoopback(int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 ||
        ::listen(fd, 1) != 0)
        return -1;
    socklen_t length = sizeof at;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&at), &length);
    port = ntohs(at.sin_port);
    return fd;
}

std::atomic<qint64> replyWrittenNs{0};
std::atomic<bool> stopPeer{false};

// Answers every command line at once, noting when the reply was written.
void AnswerCommands(int listener) {
    const int connection = ::accept(listener, nullptr, nullptr);
    if (connection < 0)
        return;
    const int on = 1;
    ::setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    std::string pending;
    char buffer[256];
    while (!stopPeer) {
        pollfd p{connection, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        const ssize_t n = ::recv(connection, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        pending.append(buffer, size_t(n));
        std::size_t end;
        while ((end = pending.find("\r\n")) != std::string::npos) {
            pending.erase(0, end + 2);
            replyWrittenNs = NowNs();
            [[maybe_unused]] const ssize_t sent = ::send(connection, Reply, sizeof Reply - 1, 0);
        }
    }
    ::close(connection);
}

double Percentile(std::vector<double> sorted, double p) {
    const std::size_t index =
        std::min(sorted.size() - 1, std::size_t(p / 100.0 * double(sorted.size() - 1) + 0.5));
    return sorted[index];
}

} // namespace

int main(int argc, char** argv) {
    const int count = IntArgument(argc, argv, "--count", 1000);
    QCoreApplication app(argc, argv);

    int port = 0;
    const int listener = ListenOnLoopback(port);
    if (listener < 0) {
        std::fprintf(stderr, "tcp_latency: cannot listen on 127.0.0.1: %s\n", std::strerror(errno));
        return 1;
    }
    std::thread peerThread(AnswerCommands, listener);

    auto* comm = qobject_cast<Mordal::Comm*>(Mordal::CreateControl("Brisko_2.Comm", &app));
    QObject::connect(comm, &Mordal::Comm::ErrorComm, [](int number, const QString& text) {
        std::fprintf(stderr, "ErrorComm %d %s\n", number, qPrintable(text));
    });
    comm->SetCommSource(int(Mordal::enCommSource::TCP));
    comm->SetNetRemoteHost(QStringLiteral("127.0.0.1"));
    comm->SetNetRemotePort(port);
    comm->SetCommOpen(true);
    if (!comm->CommOpen()) {
        std::fprintf(stderr, "tcp_latency: the link did not open\n");
        stopPeer = true;
        ::shutdown(listener, SHUT_RDWR);
        peerThread.join();
        return 1;
    }

    std::vector<double> latencies;
    latencies.reserve(std::size_t(count));
    int wrongFrames = 0;
    int timeOuts = 0;
    // A random pause before each command spreads the replies over every
    // phase of the 10 ms poll.
    std::mt19937 random(1);
    std::uniform_int_distribution<int> pause(0, 9);
    const auto sendNext = [&] {
        QTimer::singleShot(pause(random), Qt::PreciseTimer, comm,
                           [comm] { comm->OutputData("SI\r\n"); });
    };
    QObject::connect(comm, &Mordal::Comm::OnComm, [&](const QByteArray& frame, int, int, bool&) {
        const qint64 now = NowNs();
        if (frame != Reply)
            ++wrongFrames;
        latencies.push_back(double(now - replyWrittenNs) / 1e6);
        if (int(latencies.size()) >= count)
            app.quit();
        else
            sendNext();
    });
    QObject::connect(comm, &Mordal::Comm::TimeOut, [&](int, int) {
        ++timeOuts;
        sendNext();
    });
    sendNext();
    app.exec();
    stopPeer = true;
    comm->SetCommOpen(false);
    peerThread.join();
    ::close(listener);

    std::sort(latencies.begin(), latencies.end());
    const double mean =
        std::accumulate(latencies.begin(), latencies.end(), 0.0) / double(latencies.size());
    const double p99 = Percentile(latencies, 99);
    std::printf("tcp_latency: %zu replies over a loopback TCP connection\n", latencies.size());
    std::printf("  reply written -> OnComm  p50 %6.2f ms\n", Percentile(latencies, 50));
    std::printf("                           p90 %6.2f ms\n", Percentile(latencies, 90));
    std::printf("                           p99 %6.2f ms\n", p99);
    std::printf("                           max %6.2f ms   min %.2f ms   mean %.2f ms\n",
                latencies.back(), latencies.front(), mean);
    std::printf("  wrong frames %d, time-outs %d\n", wrongFrames, timeOuts);
    std::printf("  bound %.0f ms (10 ms hand-over poll + slack): p99 %s\n", BoundMs,
                p99 <= BoundMs ? "within" : "EXCEEDS");
    return p99 <= BoundMs ? 0 : 2;
}
