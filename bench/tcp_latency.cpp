// Reply latency over a TCP link: the time from the balance writing a reply
// to its loopback socket until Comm raises OnComm with it. The bound is one
// 10 ms hand-over poll of Comm plus scheduling slack.
#include "BenchSupport.h"
#include "Mordal.h"

#include <QCoreApplication>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

constexpr double BoundMs = 12.0;

void AnswerCommands(int listener, BenchSupport::Answerer* answerer) {
    const int connection = ::accept(listener, nullptr, nullptr);
    if (connection < 0)
        return;
    const int on = 1;
    ::setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    char buffer[256];
    while (!answerer->stop) {
        pollfd p{connection, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        const ssize_t n = ::recv(connection, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        answerer->Take(connection, buffer, std::size_t(n));
    }
    ::close(connection);
}

} // namespace

int main(int argc, char** argv) {
    const int count = BenchSupport::IntArgument(argc, argv, "--count", 1000);
    QCoreApplication app(argc, argv);

    int port = 0;
    const int listener = BenchSupport::ListenOnLoopback(port, "tcp_latency");
    if (listener < 0)
        return 1;
    BenchSupport::Answerer answerer("S S     12.3456 g\r\n");
    std::thread peerThread(AnswerCommands, listener, &answerer);

    auto* comm = BenchSupport::CreateComm(&app);
    if (!BenchSupport::OpenTcp(comm, port, "tcp_latency")) {
        answerer.stop = true;
        ::shutdown(listener, SHUT_RDWR);
        peerThread.join();
        return 1;
    }

    // Pauses of up to 9 ms spread the replies over every phase of the
    // 10 ms poll.
    const BenchSupport::ReplyRun run =
        BenchSupport::MeasureReplies(app, comm, count, 9, "SI\r\n", answerer);
    answerer.stop = true;
    comm->SetCommOpen(false);
    peerThread.join();
    ::close(listener);

    const BenchSupport::LatencySummary summary = BenchSupport::Summarize(run.latenciesMs);
    std::printf("tcp_latency: %zu replies over a loopback TCP connection\n",
                run.latenciesMs.size());
    BenchSupport::PrintLatencies(summary, 2);
    std::printf("  wrong frames %d, time-outs %d\n", run.wrongFrames, run.timeOuts);
    std::printf("  bound %.0f ms (10 ms hand-over poll + slack): p99 %s\n", BoundMs,
                summary.p99 <= BoundMs ? "within" : "EXCEEDS");
    return summary.p99 <= BoundMs ? 0 : 2;
}
