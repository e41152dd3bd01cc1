// Continuous transmission in the main window: a balance on a pseudo-terminal
// streams readings (50 a second for five minutes unless --rate and --seconds
// say otherwise). Every line must become a row, in order and with its own
// value; the figures of interest are how soon after the last line the
// program has collected everything (it must keep up with the stream), and
// how long switching the transmission off takes until everything is stored.
#include "BenchSupport.h"
#include "Glowna.h"
#include "INI.h"
#include "LocalTime.h"
#include "MainWindowBench.h"
#include "Module1.h"
#include "PerUserSettings.h"
#include "ProgramContext.h"
#include "QtUserDialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <poll.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

using namespace Pomiar;

namespace {

constexpr int Port = 1;
constexpr double GoalStoreSeconds = 2.0;
constexpr double GoalCaughtUpSeconds = 1.0;
// After the last line, the lines still travelling get this long to be
// collected before the transmission is switched off.
constexpr int DrainMs = 2000;

struct Stream {
    std::atomic<int> sent{0};
    std::atomic<bool> done{false};
};

// Line i carries 12 + i/10000 g, so that every stored row can be matched
// with the line it came from.
double ValueOfLine(int i) {
    return 12.0 + i * 0.0001;
}

// Commands of the program ("C1", "C0") are read and not answered.
void DrainCommands(int master) {
    pollfd watched{master, POLLIN, 0};
    char data[256];
    while (::poll(&watched, 1, 0) > 0 && ::read(master, data, sizeof data) > 0) {
    }
}

// Writes numbered reading lines on a fixed grid of the monotonic clock, as a
// balance in continuous mode does.
void StreamLines(int master, int lines, int linesPerSecond, Stream& stream) {
    timespec next{};
    ::clock_gettime(CLOCK_MONOTONIC, &next);
    const long periodNs = 1000000000L / linesPerSecond;
    for (int i = 1; i <= lines; ++i) {
        DrainCommands(master);
        char line[64];
        const int length = std::snprintf(line, sizeof line, "SI  %10.4f g  \r\n", ValueOfLine(i));
        if (::write(master, line, std::size_t(length)) == length)
            stream.sent = i;
        next.tv_nsec += periodNs;
        if (next.tv_nsec >= 1000000000L) {
            next.tv_nsec -= 1000000000L;
            ++next.tv_sec;
        }
        ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
    }
    stream.done = true;
}

// Rows whose value is not that of the line at their place.
int MisplacedRows(MeasurementStore& store) {
    int misplaced = 0;
    for (int row = 0; row < store.RowCount(); ++row) {
        if (std::abs(store.Model().Row(row).masa - ValueOfLine(row + 1)) > 1e-6)
            ++misplaced;
    }
    return misplaced;
}

// What a run measured.
struct Figures {
    int sent = 0;
    int collected = 0;
    int rows = 0;
    int misplaced = 0;
    // -1 when the lines were not all collected in time.
    double caughtUpSeconds = -1.0;
    double storeSeconds = 0.0;
    // Apart from the wall time, so that a busy machine shows as such.
    double storeCpuSeconds = 0.0;
};

// Prints the figures and their goals; true when every goal was met.
bool Report(const Figures& figures, int linesPerSecond, int seconds) {
    const int sent = figures.sent, collected = figures.collected, rows = figures.rows;
    const int misplaced = figures.misplaced;
    const double caughtUpSeconds = figures.caughtUpSeconds, storeSeconds = figures.storeSeconds;
    const bool timeMet = storeSeconds <= GoalStoreSeconds;
    const bool keptUp = caughtUpSeconds >= 0 && caughtUpSeconds <= GoalCaughtUpSeconds;
    std::printf("continuous_work: continuous transmission, %d lines/s for %d s over a "
                "pseudo-terminal (COM%d)\n",
                linesPerSecond, seconds, Port);
    std::printf("  lines sent %d, collected before switching off %d, rows stored %d%s\n", sent,
                collected, rows, rows == sent ? "" : "   <-- must be equal");
    std::printf("  last line sent -> every line collected: %.3f s (goal at most %.0f s, checked "
                "every 20 ms)%s\n",
                caughtUpSeconds, GoalCaughtUpSeconds, keptUp ? "" : "   <-- missed");
    std::printf("  rows whose value is not their line's: %d%s\n", misplaced,
                misplaced == 0 ? "" : "   <-- must be 0");
    std::printf("  switching off -> all %d rows stored: %.3f s   (goal at most %.0f s for "
                "15,000 lines)%s\n",
                rows, storeSeconds, GoalStoreSeconds, timeMet ? "" : "   <-- missed");
    std::printf("  CPU of the GUI thread in that time: %.3f s; load average at the end %.2f\n",
                figures.storeCpuSeconds, BenchSupport::LoadAverage());
    return rows == sent && misplaced == 0 && timeMet && keptUp;
}

// Once the balance has sent every line and they are all collected (or the
// drain time has passed), switches the transmission off and times the
// store of the rows.
void SwitchOffWhenCollected(Pomiar::Glowna& window, const Stream& stream, const int& collected,
                            Figures& figures) {
    QElapsedTimer wall;
    wall.start();
    qint64 doneAt = -1;
    qint64 caughtUpAt = -1;
    // A loop of its own: quitting the application would close the main window,
    // which asks whether to save the series.
    QEventLoop loop;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!stream.done)
            return;
        if (doneAt < 0)
            doneAt = wall.elapsed();
        if (collected < stream.sent && wall.elapsed() - doneAt <= DrainMs)
            return;
        if (collected >= stream.sent)
            caughtUpAt = wall.elapsed();
        watch.stop();
        const qint64 switchedOff = BenchSupport::NowNs();
        const double cpuBefore = BenchSupport::CpuSeconds(RUSAGE_THREAD);
        window.Session().ContinuousSwitch();
        figures.storeSeconds = double(BenchSupport::NowNs() - switchedOff) / 1e9;
        figures.storeCpuSeconds = BenchSupport::CpuSeconds(RUSAGE_THREAD) - cpuBefore;
        loop.quit();
    });
    watch.start(20);
    loop.exec();
    figures.caughtUpSeconds = caughtUpAt < 0 ? -1.0 : double(caughtUpAt - doneAt) / 1e3;
}

} // namespace

int main(int argc, char** argv) {
    Pomiar::KeepTimeZoneLoaded();
    const int seconds = BenchSupport::IntArgument(argc, argv, "--seconds", 300);
    const int linesPerSecond = BenchSupport::IntArgument(argc, argv, "--rate", 50);
    MainWindowBench::Folders folders;
    BenchSupport::PtyPeer peer;
    if (!peer.Open(Port, "continuous_work"))
        return 1;
    QApplication app(argc, argv);
    MainWindowBench::Program program;
    if (!program.Open(folders.Program(), Port, "continuous_work"))
        return 1;
    Pomiar::Glowna& window = *program.window;

    const int lines = seconds * linesPerSecond;
    Stream stream;
    int collected = 0;
    QObject::connect(&window.Session(), &Pomiar::AcquisitionSession::LineCollected,
                     [&collected] { ++collected; });
    window.Session().ContinuousSwitch();
    std::thread balance(StreamLines, peer.master, lines, linesPerSecond, std::ref(stream));
    Figures figures;
    SwitchOffWhenCollected(window, stream, collected, figures);
    balance.join();

    figures.sent = stream.sent;
    figures.collected = collected;
    figures.rows = window.Store().RowCount();
    figures.misplaced = MisplacedRows(window.Store());
    return Report(figures, linesPerSecond, seconds) ? 0 : 1;
}
