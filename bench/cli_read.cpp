// `trevalo read --count 1000` against the balance simulator on loopback TCP:
// readings per second and the p99 latency from request to printed line,
// beside what the program's automatic work takes at its shortest interval.
//
// trevalo sends each request right after printing the reading before, so
// the gap between two printed lines is one request's way to the balance,
// its reply, the reading handler, the store and the print.
#include "CycleSettings.h"
#include "Percentile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Goals: far beyond automatic work, and a reply seen well within the
// program's one-second time-out.
constexpr double GoalTimesAutomaticWork = 10.0;
constexpr double GoalP99Ms = 100.0;

int CountArgument(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--count") == 0)
            return std::max(2, std::atoi(argv[i + 1]));
    return 1000;
}

int StartSimulator(QProcess& simulator, const QString& folder) {
    simulator.start(folder + "/balance-sim", {"--tcp", "0", "--mass", "12.3456"});
    if (!simulator.waitForStarted(5000) || !simulator.waitForReadyRead(5000))
        return 0;
    // "READY TCP 127.0.0.1 <port>"
    return QString::fromLatin1(simulator.readLine()).trimmed().section(u' ', 3).toInt();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const int count = CountArgument(argc, argv);
    const QString folder = QCoreApplication::applicationDirPath();
    QProcess simulator;
    const int port = StartSimulator(simulator, folder);
    if (port <= 0) {
        std::fprintf(stderr, "balance-sim did not start\n");
        return 1;
    }

    // A program folder of its own: the defaults, nothing of the user's.
    QTemporaryDir programFolder;
    QProcess trevalo;
    std::vector<qint64> printedNs;
    QElapsedTimer clock;
    QObject::connect(&trevalo, &QProcess::readyReadStandardOutput, [&] {
        const qint64 now = clock.nsecsElapsed();
        while (trevalo.canReadLine())
            if (trevalo.readLine().startsWith('{'))
                printedNs.push_back(now);
    });
    QObject::connect(&trevalo, &QProcess::finished, &application, &QCoreApplication::quit);
    clock.start();
    trevalo.start(folder + "/trevalo",
                  {"read", "--tcp", QStringLiteral("127.0.0.1:%1").arg(port), "--count",
                   QString::number(count), "--format", "json", "--dir", programFolder.path()});
    application.exec();
    simulator.write("quit\n");
    simulator.waitForFinished(3000);
    if (trevalo.exitCode() != 0 || int(printedNs.size()) != count) {
        std::fprintf(stderr, "trevalo ended with %d after %zu of %d readings: %s\n",
                     trevalo.exitCode(), printedNs.size(), count,
                     trevalo.readAllStandardError().constData());
        return 1;
    }

    std::vector<double> gapsMs;
    for (size_t i = 1; i < printedNs.size(); ++i)
        gapsMs.push_back(double(printedNs[i] - printedNs[i - 1]) / 1e6);
    std::sort(gapsMs.begin(), gapsMs.end());
    const double p50 = BenchSupport::Percentile(gapsMs, 50);
    const double p99 = BenchSupport::Percentile(gapsMs, 99);
    const double seconds = double(printedNs.back() - printedNs.front()) / 1e9;
    const double rate = double(count - 1) / seconds;
    const double automaticRate = 1.0 / Pomiar::CycleSettings::MinimumInterval;

    std::printf("trevalo read --count %d over loopback TCP\n", count);
    std::printf("  readings per second        %8.1f\n", rate);
    std::printf("  request to print, p50 (ms) %8.2f\n", p50);
    std::printf("  request to print, p99 (ms) %8.2f\n", p99);
    std::printf("  request to print, max (ms) %8.2f\n", gapsMs.back());
    std::printf("automatic work at its shortest interval (%.1f s)\n",
                Pomiar::CycleSettings::MinimumInterval);
    std::printf("  readings per second        %8.1f\n", automaticRate);
    const bool met = rate >= GoalTimesAutomaticWork * automaticRate && p99 <= GoalP99Ms;
    std::printf("goal: at least %.0f readings/s, p99 at most %.0f ms: %s\n",
                GoalTimesAutomaticWork * automaticRate, GoalP99Ms, met ? "met" : "MISSED");
    return met ? 0 : 1;
}
