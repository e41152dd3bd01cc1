// A balance that floods the TCP link with 10 MiB and never sends an end
// marker. Comm keeps only the newest 64 KiB of such a stream, so the
// process must not grow with the flood, and the GUI thread must keep
// serving its timers: the longest gap between two ticks of a 10 ms timer
// stays under 50 ms.
#include "BenchSupport.h"
#include "Mordal.h"

#include <QCoreApplication>
#include <QTimer>

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

namespace {

using BenchSupport::NowNs;
using BenchSupport::StatusKiB;

constexpr qint64 FloodBytes = 10 * 1024 * 1024;
constexpr double GapBoundMs = 50.0;

std::atomic<qint64> floodStartNs{0};
std::atomic<qint64> floodSentNs{0};

// Waits for the go, writes the flood as fast as the link takes it, closes.
void Flood(int listener, const std::atomic<bool>* go) {
    const int connection = ::accept(listener, nullptr, nullptr);
    if (connection < 0)
        return;
    while (!*go)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::vector<char> block(64 * 1024);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = char('0' + i % 10);
    floodStartNs = NowNs();
    qint64 sent = 0;
    while (sent < FloodBytes) {
        const std::size_t size =
            std::size_t(std::min<qint64>(FloodBytes - sent, qint64(block.size())));
        const ssize_t n = ::send(connection, block.data(), size, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += n;
    }
    floodSentNs = NowNs();
    ::close(connection);
}

// What the link reported during the flood.
struct LinkCounts {
    int errors = 0;
    int incorrectFrames = 0;
    int frames = 0;
    qint32 largestBuffer = 0;

    void Watch(Mordal::Comm* comm) {
        QObject::connect(comm, &Mordal::Comm::ErrorComm, [this](int, const QString&) { ++errors; });
        QObject::connect(comm, &Mordal::Comm::IncorrectFrames, [this, comm] {
            ++incorrectFrames;
            largestBuffer = std::max(largestBuffer, comm->InputCount());
        });
        QObject::connect(comm, &Mordal::Comm::OnComm,
                         [this](const QByteArray&, int, int, bool&) { ++frames; });
    }
};

// A 10 ms timer of the GUI thread and the longest gap between its ticks:
// how long the flood kept the event loop from running.
struct TickGaps {
    QTimer timer;
    qint64 lastTickNs = 0;
    qint64 maxGapNs = 0;
    int ticks = 0;

    TickGaps() {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const qint64 now = NowNs();
            if (lastTickNs != 0)
                maxGapNs = std::max(maxGapNs, now - lastTickNs);
            lastTickNs = now;
            ++ticks;
        });
    }
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);

    int port = 0;
    const int listener = BenchSupport::ListenOnLoopback(port, "tcp_flood");
    if (listener < 0)
        return 1;
    std::atomic<bool> go{false};
    std::thread peerThread(Flood, listener, &go);

    auto* comm = BenchSupport::CreateComm(&app);
    LinkCounts counts;
    counts.Watch(comm);
    if (!BenchSupport::OpenTcp(comm, port, "tcp_flood"))
        return 1;

    TickGaps tick;
    QObject::connect(comm, &Mordal::Comm::CommIsOpen, [&](bool open) {
        if (!open)
            QTimer::singleShot(50, &app, &QCoreApplication::quit);
    });
    QTimer::singleShot(30000, &app, [&] {
        std::fprintf(stderr, "tcp_flood: the flood did not end within 30 s\n");
        app.quit();
    });

    const long rssBefore = StatusKiB("VmRSS");
    const long hwmBefore = StatusKiB("VmHWM");
    tick.timer.start();
    go = true;
    app.exec();
    const qint64 endNs = NowNs();
    tick.timer.stop();
    const long rssAfter = StatusKiB("VmRSS");
    const long hwmAfter = StatusKiB("VmHWM");
    peerThread.join();
    ::close(listener);

    const double seconds = double(floodSentNs - floodStartNs) / 1e9;
    const double maxGapMs = double(tick.maxGapNs) / 1e6;
    std::printf("tcp_flood: %lld bytes without an end marker over loopback TCP\n",
                static_cast<long long>(FloodBytes));
    std::printf("  peer wrote the flood in %.3f s (%.0f MiB/s); link closed %.3f s after start\n",
                seconds, seconds > 0 ? 10.0 / seconds : 0.0, double(endNs - floodStartNs) / 1e9);
    std::printf("  VmRSS before %ld KiB, after %ld KiB (%+ld KiB)\n", rssBefore, rssAfter,
                rssAfter - rssBefore);
    std::printf("  VmHWM before %ld KiB, after %ld KiB: peak growth %ld KiB\n", hwmBefore, hwmAfter,
                std::max(0L, hwmAfter - rssBefore));
    std::printf("  Comm receive buffer at most %d characters (limit %d), frames %d, "
                "IncorrectFrames %d, errors %d\n",
                counts.largestBuffer, Mordal::Comm::ReceiveBufferLimit, counts.frames,
                counts.incorrectFrames, counts.errors);
    std::printf("  10 ms timer: %d ticks, longest gap %.1f ms (bound %.0f ms): %s\n", tick.ticks,
                maxGapMs, GapBoundMs, maxGapMs < GapBoundMs ? "within" : "EXCEEDS");
    return maxGapMs < GapBoundMs ? 0 : 2;
}
