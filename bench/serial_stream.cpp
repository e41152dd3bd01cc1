// Continuous transmission over a serial link: a balance streaming 50 frames
// a second for a minute. Every frame must arrive; the figure of interest is
// what receiving them costs the program's process. The balance runs on a
// thread of its own whose CPU time is left out.
#include "Mordal.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int Port = 1;
constexpr int FramesPerSecond = 50;
// Frames still travelling when the balance stops get this long to arrive.
constexpr int DrainMs = 1000;

int IntArgument(int argc, char** argv, const char* name, int fallback) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0)
            return std::max(1, std::atoi(argv[i + 1]));
    }
    return fallback;
}

double CpuSeconds(int who) {
    rusage usage{};
    ::getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The balance's end of the line: a pseudo-terminal whose slave is published
// as COM<port> in the port directory.
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

    int master = -1;

private:
    int slaveKeeper = -1;
    QString link;
};

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
        std::fprintf(stderr, "serial_stream: cannot publish a pseudo-terminal: %s\n",
                     std::strerror(errno));
        return 1;
    }
    auto* comm = qobject_cast<Mordal::Comm*>(Mordal::CreateControl("Brisko_2.Comm", &app));
    QObject::connect(comm, &Mordal::Comm::ErrorComm, [](int number, const QString& text) {
        std::fprintf(stderr, "ErrorComm %d %s\n", number, qPrintable(text));
    });
    comm->SetCommSource(int(Mordal::enCommSource::Serial));
    comm->SetSerialPort(Port);
    comm->SetSerialBaudRate(9600);
    comm->SetCommOpen(true);
    if (!comm->CommOpen()) {
        std::fprintf(stderr, "serial_stream: the link did not open\n");
        return 1;
    }

    int received = 0;
    int outOfOrder = 0;
    int expected = 1;
    int lost = 0;
    QObject::connect(comm, &Mordal::Comm::OnComm, [&](const QByteArray& frame, int, int, bool&) {
        const int number = frame.mid(4, 10).trimmed().toInt();
        ++received;
        if (number > expected)
            lost += number - expected;
        else if (number < expected)
            ++outOfOrder;
        expected = std::max(expected, number + 1);
    });

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
        if (received >= stream.sent || wall.elapsed() - doneAt > DrainMs)
            app.quit();
    });
    watch.start(100);
    app.exec();
    balance.join();
    const double elapsed = double(wall.elapsed()) / 1000.0;
    const double gui = CpuSeconds(RUSAGE_THREAD) - guiBefore;
    const double process = CpuSeconds(RUSAGE_SELF) - processBefore - stream.cpuSeconds;
    comm->SetCommOpen(false);

    lost += stream.sent - std::min(stream.sent.load(), expected - 1);
    std::printf("serial_stream: %d frames/s for %d s over a pseudo-terminal (COM%d, 9600 Bd)\n",
                FramesPerSecond, seconds, Port);
    std::printf("  frames sent      %d\n", stream.sent.load());
    std::printf("  frames received  %d\n", received);
    std::printf("  frames lost      %d%s\n", lost, lost == 0 ? "" : "   <-- must be 0");
    std::printf("  out of order     %d\n", outOfOrder);
    std::printf("  CPU of the process without the balance thread: %.3f s in %.1f s = %.2f %% "
                "of one core\n",
                process, elapsed, 100.0 * process / elapsed);
    std::printf("  CPU of the GUI thread alone:                   %.3f s = %.2f %% of one core\n",
                gui, 100.0 * gui / elapsed);
    std::printf("  (balance thread: %.3f s)\n", stream.cpuSeconds.load());
    return lost == 0 ? 0 : 1;
}
