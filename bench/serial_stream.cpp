// Continuous transmission over a serial link: a balance streaming 50 frames
// a second for a minute. Every frame must arrive; the figure of interest is
// what receiving them costs the program's process. The balance runs on a
// thread of its own whose CPU time is left out.
#include "BenchSupport.h"
#include "Mordal.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <functional>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

using BenchSupport::CpuSeconds;

constexpr int Port = 1;
constexpr int FramesPerSecond = 50;
// Frames still travelling when the balance stops get this long to arrive.
constexpr int DrainMs = 1000;

struct Stream {
    std::atomic<int> sent{0};
    std::atomic<bool> done{false};
    std::atomic<double> cpuSeconds{0.0};
};

// Writes numbered result lines on a fixed 20 ms grid, as a balance in
// continuous mode does.
void StreamFrames(int master, int seconds, Stream& stream) {
    const double cpuBefore = CpuSeconds(RUSAGE_THREAD);
    timespec next{};
    ::clock_gettime(CLOCK_MONOTONIC, &next);
    const long periodNs = 1000000000L / FramesPerSecond;
    for (int i = 1; i <= seconds * FramesPerSecond; ++i) {
        char frame[64];
        const int length = std::snprintf(frame, sizeof frame, "SI  %10d g  \r\n", i);
        if (::write(master, frame, size_t(length)) == length)
            stream.sent = i;
        next.tv_nsec += periodNs;
        if (next.tv_nsec >= 1000000000L) {
            next.tv_nsec -= 1000000000L;
            ++next.tv_sec;
        }
        ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
    }
    stream.cpuSeconds = CpuSeconds(RUSAGE_THREAD) - cpuBefore;
    stream.done = true;
}

// The frames as they arrive: numbered 1, 2, ... by the balance thread.
struct Arrivals {
    int received = 0;
    int outOfOrder = 0;
    int expected = 1;
    int lost = 0;

    void Take(const QByteArray& frame) {
        const int number = frame.mid(4, 10).trimmed().toInt();
        ++received;
        if (number > expected)
            lost += number - expected;
        else if (number < expected)
            ++outOfOrder;
        expected = std::max(expected, number + 1);
    }
};

void PrintFigures(const Arrivals& arrivals, const Stream& stream, int seconds, double elapsed,
                  double process, double gui) {
    std::printf("serial_stream: %d frames/s for %d s over a pseudo-terminal (COM%d, 9600 Bd)\n",
                FramesPerSecond, seconds, Port);
    std::printf("  frames sent      %d\n", stream.sent.load());
    std::printf("  frames received  %d\n", arrivals.received);
    std::printf("  frames lost      %d%s\n", arrivals.lost,
                arrivals.lost == 0 ? "" : "   <-- must be 0");
    std::printf("  out of order     %d\n", arrivals.outOfOrder);
    std::printf("  CPU of the process without the balance thread: %.3f s in %.1f s = %.2f %% "
                "of one core\n",
                process, elapsed, 100.0 * process / elapsed);
    std::printf("  CPU of the GUI thread alone:                   %.3f s = %.2f %% of one core\n",
                gui, 100.0 * gui / elapsed);
    std::printf("  (balance thread: %.3f s)\n", stream.cpuSeconds.load());
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = BenchSupport::IntArgument(argc, argv, "--seconds", 60);
    BenchSupport::PtyPeer peer;
    QCoreApplication app(argc, argv);

    auto* comm = BenchSupport::CreateComm(&app);
    if (!peer.Open(Port, "serial_stream") || !BenchSupport::OpenSerial(comm, Port, "serial_stream"))
        return 1;

    Arrivals arrivals;
    QObject::connect(comm, &Mordal::Comm::OnComm,
                     [&](const QByteArray& frame, int, int, bool&) { arrivals.Take(frame); });

    Stream stream;
    const double processBefore = CpuSeconds(RUSAGE_SELF);
    const double guiBefore = CpuSeconds(RUSAGE_THREAD);
    QElapsedTimer wall;
    wall.start();
    std::thread balance(StreamFrames, peer.master, seconds, std::ref(stream));

    qint64 doneAt = -1;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!stream.done)
            return;
        if (doneAt < 0)
            doneAt = wall.elapsed();
        if (arrivals.received >= stream.sent || wall.elapsed() - doneAt > DrainMs)
            app.quit();
    });
    watch.start(100);
    app.exec();
    balance.join();
    const double elapsed = double(wall.elapsed()) / 1000.0;
    const double gui = CpuSeconds(RUSAGE_THREAD) - guiBefore;
    const double process = CpuSeconds(RUSAGE_SELF) - processBefore - stream.cpuSeconds;
    comm->SetCommOpen(false);

    arrivals.lost += stream.sent - std::min(stream.sent.load(), arrivals.expected - 1);
    PrintFigures(arrivals, stream, seconds, elapsed, process, gui);
    return arrivals.lost == 0 ? 0 : 1;
}
