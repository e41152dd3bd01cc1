// Automatic work in the main window: a request every half second to a
// balance on a pseudo-terminal for five minutes. The figures are the
// spacing of the requests as the balance sees them and whether every
// answered reading became a row.
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
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace Pomiar;

namespace {

constexpr int Port = 1;
constexpr qint64 TickNs = 500'000'000;
constexpr double GoalP99Ms = 15.0;
constexpr double GoalDriftMs = 500.0;
// After the last request, its reply gets this long to become a row.
constexpr int SettleMs = 2000;
constexpr int ShownMs = 1000;

// What the balance saw; `arrivals` belongs to the balance thread until it
// has been joined.
struct Requests {
    explicit Requests(int count) : arrivals(std::size_t(count)) {}
    std::vector<qint64> arrivals;
    std::atomic<int> answered{0};
    std::atomic<bool> stop{false};
};

// Answers up to `count` "SI" requests with a reading each, noting when each
// request came in. Other commands are read and left unanswered.
void AnswerRequests(int master, int count, Requests& requests) {
    std::string pending;
    pollfd watched{master, POLLIN, 0};
    while (!requests.stop) {
        if (::poll(&watched, 1, 50) <= 0)
            continue;
        char data[256];
        const ssize_t size = ::read(master, data, sizeof data);
        const qint64 now = BenchSupport::NowNs();
        if (size <= 0)
            continue;
        pending.append(data, std::size_t(size));
        std::size_t end;
        while ((end = pending.find("\r\n")) != std::string::npos) {
            const bool request = pending.compare(0, end, "SI") == 0;
            pending.erase(0, end + 2);
            const int index = requests.answered;
            if (!request || index >= count)
                continue;
            requests.arrivals[std::size_t(index)] = now;
            char reply[64];
            const int length = std::snprintf(reply, sizeof reply, "SI  %10.4f g  \r\n",
                                             12.3456 + (index % 10) * 0.0001);
            [[maybe_unused]] const ssize_t written = ::write(master, reply, std::size_t(length));
            requests.answered = index + 1;
        }
    }
}

struct Spacing {
    double p50 = 0, p99 = 0, max = 0, driftMs = 0;
    int maxAt = 0; // k of the spacing from request k-1 to request k
};

Spacing Measure(const std::vector<qint64>& arrivals, int count) {
    std::vector<double> deviations;
    for (int k = 1; k < count; ++k)
        deviations.push_back(
            std::abs(double(arrivals[std::size_t(k)] - arrivals[std::size_t(k - 1)] - TickNs)) /
            1e6);
    Spacing spacing;
    spacing.maxAt =
        int(std::max_element(deviations.begin(), deviations.end()) - deviations.begin()) + 1;
    std::sort(deviations.begin(), deviations.end());
    if (!deviations.empty()) {
        spacing.p50 = BenchSupport::Percentile(deviations, 50);
        spacing.p99 = BenchSupport::Percentile(deviations, 99);
        spacing.max = deviations.back();
    }
    spacing.driftMs =
        double(arrivals[std::size_t(count - 1)] - arrivals[0] - qint64(count - 1) * TickNs) / 1e6;
    return spacing;
}

// Prints the spacing, the drift and the rows against their goals; true
// when every goal was met.
bool Report(const Spacing& spacing, int answered, int rows) {
    const bool spacingMet = spacing.p99 <= GoalP99Ms;
    const bool driftMet = std::abs(spacing.driftMs) <= GoalDriftMs;
    std::printf("  |spacing - 500 ms|  p50 %7.3f ms\n", spacing.p50);
    std::printf("                      p99 %7.3f ms   (goal at most %.0f ms)%s\n", spacing.p99,
                GoalP99Ms, spacingMet ? "" : "   <-- missed");
    std::printf("                      max %7.3f ms   (request %d after request %d)\n", spacing.max,
                spacing.maxAt, spacing.maxAt - 1);
    std::printf("  drift after request %d: %+.3f ms   (goal at most one tick, %.0f ms)%s\n",
                answered - 1, spacing.driftMs, GoalDriftMs, driftMet ? "" : "   <-- missed");
    std::printf("  requests answered %d, rows stored %d%s\n", answered, rows,
                rows == answered ? "" : "   <-- must be equal");
    std::printf("  load average at the end %.2f\n", BenchSupport::LoadAverage());
    return spacingMet && driftMet && rows == answered;
}

} // namespace

int main(int argc, char** argv) {
    Pomiar::KeepTimeZoneLoaded();
    const int count = std::max(2, BenchSupport::IntArgument(argc, argv, "--count", 600));
    MainWindowBench::Folders folders;
    BenchSupport::PtyPeer peer;
    if (!peer.Open(Port, "auto_work"))
        return 1;
    QApplication app(argc, argv);
    MainWindowBench::Program program;
    if (!program.Open(folders.Program(), Port, "auto_work"))
        return 1;
    Pomiar::Glowna& window = *program.window;
    window.Session().SetInterval(1);
    // An operator starts a window that has long been painted.
    QEventLoop shown;
    QTimer::singleShot(ShownMs, &shown, &QEventLoop::quit);
    shown.exec();

    Requests requests(count);
    std::thread balance(AnswerRequests, peer.master, count, std::ref(requests));
    QElapsedTimer wall;
    wall.start();
    qint64 stoppedAt = -1;
    bool timedOut = false;
    // A loop of its own: quitting the application would close the main window,
    // which asks whether to save the series.
    QEventLoop loop;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (stoppedAt < 0 && requests.answered >= count) {
            window.Session().Stop();
            stoppedAt = wall.elapsed();
        }
        if (stoppedAt >= 0 && (window.Store().RowCount() >= requests.answered ||
                               wall.elapsed() - stoppedAt > SettleMs))
            loop.quit();
        if (stoppedAt < 0 && wall.elapsed() > qint64(count) * 500 + 10000) {
            timedOut = true;
            window.Session().Stop();
            loop.quit();
        }
    });
    watch.start(20);
    window.StartCommand();
    loop.exec();
    requests.stop = true;
    balance.join();

    const int answered = requests.answered;
    const int rows = window.Store().RowCount();
    std::printf("auto_work: automatic work every 500 ms (lTim2 = 1) over a pseudo-terminal "
                "(COM%d), %d requests\n",
                Port, count);
    if (timedOut || answered < 2) {
        std::printf("  only %d of %d requests came in time\n", answered, count);
        return 1;
    }
    return Report(Measure(requests.arrivals, answered), answered, rows) ? 0 : 1;
}
