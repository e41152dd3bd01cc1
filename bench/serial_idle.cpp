// An open serial link with no traffic: what the polling timers cost while
// nothing happens. Goal: under 0.5 % of one core.
#include "Mordal.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int Port = 1;
constexpr double GoalPercent = 0.5;

int IntArgument(int argc, char** argv, const char* name, int fallback) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0)
            return std::max(1, std::atoi(argv[i + 1]));
    }
    return fallback;
}

struct Usage {
    double cpuSeconds = 0.0;
    long wakeUps = 0;
};

Usage ProcessUsage() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return {double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6,
            usage.ru_nvcsw + usage.ru_nivcsw};
}

// The balance's end of the line: a pseudo-terminal whose slave is published
// as COM<port> in the port directory. It stays silent.
class PtyPeer {
public:
    ~PtyPeer() {
        if (!link.isEmpty())
            QFile::remove(link);
        if (slaveKeeper >= 0)
            ::close(slaveKeeper);
        if (master >= 0)
            ::close(master);
    }

    bool Open(const QString& portDirectory, int port) {
        char name[256] = {};
        if (::openpty(&master, &slaveKeeper, name, nullptr, nullptr) != 0)
            return false;
        for (const int fd : {master, slaveKeeper}) {
            termios tio{};
            ::tcgetattr(fd, &tio);
            ::cfmakeraw(&tio);
            ::tcsetattr(fd, TCSANOW, &tio);
        }
        link = portDirectory + QStringLiteral("/COM%1").arg(port);
        return QFile::link(QString::fromLocal8Bit(name), link);
    }

private:
    int master = -1;
    int slaveKeeper = -1;
    QString link;
};

} // namespace

int main(int argc, char** argv) {
    const int seconds = IntArgument(argc, argv, "--seconds", 60);
    QTemporaryDir root;
    const QString ports = root.path() + "/ports";
    QDir().mkpath(ports);
    qputenv("MORDAL_PORTS", QFile::encodeName(ports));
    qputenv("MORDAL_NO_SYSTEM_PORTS", "1");
    QCoreApplication app(argc, argv);

    PtyPeer peer;
    if (!peer.Open(ports, Port)) {
        std::fprintf(stderr, "serial_idle: cannot publish a pseudo-terminal: %s\n",
                     std::strerror(errno));
        return 1;
    }
    auto* comm = qobject_cast<Mordal::Comm*>(Mordal::CreateControl("Brisko_2.Comm", &app));
    int frames = 0;
    QObject::connect(comm, &Mordal::Comm::OnComm,
                     [&](const QByteArray&, int, int, bool&) { ++frames; });
    QObject::connect(comm, &Mordal::Comm::ErrorComm, [](int number, const QString& text) {
        std::fprintf(stderr, "ErrorComm %d %s\n", number, qPrintable(text));
    });
    comm->SetCommSource(int(Mordal::enCommSource::Serial));
    comm->SetSerialPort(Port);
    comm->SetSerialBaudRate(9600);
    comm->SetCommOpen(true);
    if (!comm->CommOpen()) {
        std::fprintf(stderr, "serial_idle: the link did not open\n");
        return 1;
    }

    const Usage before = ProcessUsage();
    QElapsedTimer wall;
    wall.start();
    QTimer::singleShot(seconds * 1000, Qt::PreciseTimer, &app, &QCoreApplication::quit);
    app.exec();
    const double elapsed = double(wall.elapsed()) / 1000.0;
    const Usage after = ProcessUsage();
    comm->SetCommOpen(false);

    const double cpu = after.cpuSeconds - before.cpuSeconds;
    const double percent = 100.0 * cpu / elapsed;
    std::printf("serial_idle: open link without traffic for %.1f s (COM%d, 9600 Bd)\n", elapsed,
                Port);
    std::printf("  CPU of the process  %.3f s = %.3f %% of one core (goal under %.1f %%: %s)\n",
                cpu, percent, GoalPercent, percent < GoalPercent ? "met" : "MISSED");
    std::printf("  context switches    %.0f per second\n",
                double(after.wakeUps - before.wakeUps) / elapsed);
    std::printf("  frames received     %d\n", frames);
    return 0;
}
