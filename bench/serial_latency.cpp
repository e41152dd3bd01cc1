// Reply latency over a serial link: the time from the balance writing a
// reply to the pseudo-terminal until Comm raises OnComm with it. The design
// bound is one 50 ms serial poll plus one 10 ms hand-over.
#include "BenchSupport.h"
#include "Mordal.h"

#include <QCoreApplication>

#include <cstdio>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int Port = 1;
constexpr double BoundMs = 60.0;

void AnswerCommands(int master, BenchSupport::Answerer* answerer) {
    char buffer[256];
    while (!answerer->stop) {
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0)
            continue;
        answerer->Take(master, buffer, std::size_t(n));
    }
}

} // namespace

int main(int argc, char** argv) {
    const int count = BenchSupport::IntArgument(argc, argv, "--count", 1000);
    BenchSupport::PtyPeer peer;
    QCoreApplication app(argc, argv);

    auto* comm = BenchSupport::CreateComm(&app);
    if (!peer.Open(Port, "serial_latency") ||
        !BenchSupport::OpenSerial(comm, Port, "serial_latency"))
        return 1;
    BenchSupport::Answerer answerer("S     12.3456 g  \r\n");
    std::thread peerThread(AnswerCommands, peer.master, &answerer);

    // Pauses of up to 49 ms spread the replies over every phase of the
    // 50 ms serial poll.
    const BenchSupport::ReplyRun run =
        BenchSupport::MeasureReplies(app, comm, count, 49, "S\r\n", answerer);
    answerer.stop = true;
    peerThread.join();
    comm->SetCommOpen(false);

    const BenchSupport::LatencySummary summary = BenchSupport::Summarize(run.latenciesMs);
    std::printf("serial_latency: %zu replies over a pseudo-terminal (COM%d, 9600 Bd)\n",
                run.latenciesMs.size(), Port);
    BenchSupport::PrintLatencies(summary, 1);
    std::printf("  wrong frames %d, time-outs %d\n", run.wrongFrames, run.timeOuts);
    std::printf("  bound %.0f ms (50 ms poll + 10 ms hand-over): p99 %s\n", BoundMs,
                summary.p99 <= BoundMs ? "within" : "EXCEEDS");
    return 0;
}
