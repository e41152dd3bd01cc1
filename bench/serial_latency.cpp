// Reply latency over a serial link: the time from the balance writing a
// reply to the pseudo-terminal until Comm raises OnComm with it. The design
// bound is one 50 ms serial poll plus one 10 ms hand-over.
#include "Mordal.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <numeric>
#include <poll.h>
#include <pty.h>
#include <random>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int Port = 1;
constexpr double BoundMs = 60.0;
constexpr char Reply[] = "S     12.3456 g  \r\n";

qint64 NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int IntArgument(int argc, char** argv, const char* name, int fallback) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0)
            return std::max(1, std::atoi(argv[i + 1]));
    }
    return fallback;
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

std::atomic<qint64> replyWrittenNs{0};
std::atomic<bool> stopPeer{false};

// Answers every command line at once, noting when the reply was written.
void AnswerCommands(int master) {
    std::string pending;
    char buffer[256];
    while (!stopPeer) {
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0)
            continue;
        pending.append(buffer, size_t(n));
        std::size_t end;
        while ((end = pending.find("\r\n")) != std::string::npos) {
            pending.erase(0, end + 2);
            replyWrittenNs = NowNs();
            [[maybe_unused]] const ssize_t written = ::write(master, Reply, sizeof Reply - 1);
        }
    }
}

double Percentile(std::vector<double> sorted, double p) {
    const std::size_t index =
        std::min(sorted.size() - 1, std::size_t(p / 100.0 * double(sorted.size() - 1) + 0.5));
    return sorted[index];
}

} // namespace

int main(int argc, char** argv) {
    const int count = IntArgument(argc, argv, "--count", 1000);
    QTemporaryDir root;
    const QString ports = root.path() + "/ports";
    QDir().mkpath(ports);
    qputenv("MORDAL_PORTS", QFile::encodeName(ports));
    qputenv("MORDAL_NO_SYSTEM_PORTS", "1");
    QCoreApplication app(argc, argv);

    PtyPeer peer;
    if (!peer.Open(ports, Port)) {
        std::fprintf(stderr, "serial_latency: cannot publish a pseudo-terminal: %s\n",
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
        std::fprintf(stderr, "serial_latency: the link did not open\n");
        return 1;
    }
    std::thread peerThread(AnswerCommands, peer.master);

    std::vector<double> latencies;
    latencies.reserve(std::size_t(count));
    int wrongFrames = 0;
    int timeOuts = 0;
    // A random pause before each command spreads the replies over every
    // phase of the 50 ms serial poll.
    std::mt19937 random(1);
    std::uniform_int_distribution<int> pause(0, 49);
    const auto sendNext = [&] {
        QTimer::singleShot(pause(random), Qt::PreciseTimer, comm,
                           [comm] { comm->OutputData("S\r\n"); });
    };
    QObject::connect(comm, &Mordal::Comm::OnComm, [&](const QByteArray& frame, int, int, bool&) {
        const qint64 now = NowNs();
        if (frame != Reply)
            ++wrongFrames;
        latencies.push_back(double(now - replyWrittenNs) / 1e6);
        if (int(latencies.size()) >= count)
            app.quit();
        else
            sendNext();
    });
    QObject::connect(comm, &Mordal::Comm::TimeOut, [&](int, int) {
        ++timeOuts;
        sendNext();
    });
    sendNext();
    app.exec();
    stopPeer = true;
    peerThread.join();
    comm->SetCommOpen(false);

    std::sort(latencies.begin(), latencies.end());
    const double mean =
        std::accumulate(latencies.begin(), latencies.end(), 0.0) / double(latencies.size());
    const double p99 = Percentile(latencies, 99);
    std::printf("serial_latency: %zu replies over a pseudo-terminal (COM%d, 9600 Bd)\n",
                latencies.size(), Port);
    std::printf("  reply written -> OnComm  p50 %6.1f ms\n", Percentile(latencies, 50));
    std::printf("                           p90 %6.1f ms\n", Percentile(latencies, 90));
    std::printf("                           p99 %6.1f ms\n", p99);
    std::printf("                           max %6.1f ms   min %.1f ms   mean %.1f ms\n",
                latencies.back(), latencies.front(), mean);
    std::printf("  wrong frames %d, time-outs %d\n", wrongFrames, timeOuts);
    std::printf("  bound %.0f ms (50 ms poll + 10 ms hand-over): p99 %s\n", BoundMs,
                p99 <= BoundMs ? "within" : "EXCEEDS");
    return 0;
}
