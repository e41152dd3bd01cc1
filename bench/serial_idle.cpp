// An open serial link with no traffic: what the polling timers cost while
// nothing happens. Goal: under 0.5 % of one core.
#include "BenchSupport.h"
#include "Mordal.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>

namespace {

constexpr int Port = 1;
constexpr double GoalPercent = 0.5;

} // namespace

int main(int argc, char** argv) {
    const int seconds = BenchSupport::IntArgument(argc, argv, "--seconds", 60);
    BenchSupport::PtyPeer peer;
    QCoreApplication app(argc, argv);

    auto* comm = BenchSupport::CreateComm(&app);
    int frames = 0;
    QObject::connect(comm, &Mordal::Comm::OnComm,
                     [&](const QByteArray&, int, int, bool&) { ++frames; });
    if (!peer.Open(Port, "serial_idle") || !BenchSupport::OpenSerial(comm, Port, "serial_idle"))
        return 1;

    const BenchSupport::Usage before = BenchSupport::ResourceUsage(RUSAGE_SELF);
    QElapsedTimer wall;
    wall.start();
    QTimer::singleShot(seconds * 1000, Qt::PreciseTimer, &app, &QCoreApplication::quit);
    app.exec();
    const double elapsed = double(wall.elapsed()) / 1000.0;
    const BenchSupport::Usage after = BenchSupport::ResourceUsage(RUSAGE_SELF);
    comm->SetCommOpen(false);

    const double cpu = after.cpuSeconds - before.cpuSeconds;
    const double percent = 100.0 * cpu / elapsed;
    std::printf("serial_idle: open link without traffic for %.1f s (COM%d, 9600 Bd)\n", elapsed,
                Port);
    std::printf("  CPU of the process  %.3f s = %.3f %% of one core (goal under %.1f %%: %s)\n",
                cpu, percent, GoalPercent, percent < GoalPercent ? "met" : "MISSED");
    std::printf("  context switches    %.0f per second\n",
                double(after.contextSwitches - before.contextSwitches) / elapsed);
    std::printf("  frames received     %d\n", frames);
    return 0;
}
