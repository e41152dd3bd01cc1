#pragma once

// What the link benchmarks share: a balance's end of a serial or TCP link,
// the environment that hides the machine's own ports, clocks, resource
// figures and the summary of a latency run.
#include "BenchArguments.h"
#include "Mordal.h"
#include "Percentile.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QObject>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace BenchSupport {

inline qint64 NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct Usage {
    double cpuSeconds = 0.0;
    long contextSwitches = 0;
};

// `who` is RUSAGE_SELF or RUSAGE_THREAD.
inline Usage ResourceUsage(int who) {
    rusage usage{};
    ::getrusage(who, &usage);
    return {double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6,
            usage.ru_nvcsw + usage.ru_nivcsw};
}

// The machine's one-minute load average, -1 where it cannot be read.
inline double LoadAverage() {
    double load = 0.0;
    return ::getloadavg(&load, 1) == 1 ? load : -1.0;
}

inline double CpuSeconds(int who) {
    return ResourceUsage(who).cpuSeconds;
}

// A field of /proc/self/status in KiB, -1 where it cannot be read.
inline long StatusKiB(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// A temporary port folder that Comm looks in instead of the machine's own
// ports. Made before the application object, so that Comm sees it from the
// start.
class PortFolder {
public:
    PortFolder() : path(root.path() + "/ports") {
        QDir().mkpath(path);
        qputenv("MORDAL_PORTS", QFile::encodeName(path));
        qputenv("MORDAL_NO_SYSTEM_PORTS", "1");
    }

    const QString& Path() const { return path; }

private:
    QTemporaryDir root;
    QString path;
};

// The balance's end of a serial line: a raw pseudo-terminal whose slave is
// published as COM<port> in a port folder of its own. Made before the
// application object, like that folder. The slave stays open here so that
// the master keeps working while Comm reopens the line.
class PtyPeer {
public:
    PtyPeer() = default;
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    ~PtyPeer() {
        if (!link.isEmpty())
            QFile::remove(link);
        if (slaveKeeper >= 0)
            ::close(slaveKeeper);
        if (master >= 0)
            ::close(master);
    }

    // Says on stderr, in the name of `program`, why it failed.
    bool Open(int port, const char* program) {
        if (Publish(port))
            return true;
        std::fprintf(stderr, "%s: cannot publish a pseudo-terminal: %s\n", program,
                     std::strerror(errno));
        return false;
    }

    int master = -1;

private:
    bool Publish(int port) {
        char name[256] = {};
        if (::openpty(&master, &slaveKeeper, name, nullptr, nullptr) != 0)
            return false;
        for (const int fd : {master, slaveKeeper}) {
            termios tio{};
            ::tcgetattr(fd, &tio);
            ::cfmakeraw(&tio);
            ::tcsetattr(fd, TCSANOW, &tio);
        }
        link = folder.Path() + QStringLiteral("/COM%1").arg(port);
        return QFile::link(QString::fromLocal8Bit(name), link);
    }

    PortFolder folder;
    int slaveKeeper = -1;
    QString link;
};

// The balance's end of a TCP link: a listening socket on 127.0.0.1 with a
// port of the system's choice. -1, said on stderr in the name of `program`,
// where it cannot listen.
inline int ListenOnLoopback(int& port, const char* program) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 ||
        ::listen(fd, 1) != 0) {
        std::fprintf(stderr, "%s: cannot listen on 127.0.0.1: %s\n", program, std::strerror(errno));
        return -1;
    }
    socklen_t length = sizeof at;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&at), &length);
    port = ntohs(at.sin_port);
    return fd;
}

// A balance that answers every command line at once with one fixed reply,
// noting when the reply was written.
class Answerer {
public:
    explicit Answerer(QByteArray reply) : reply(std::move(reply)) {}

    const QByteArray& Reply() const { return reply; }

    void Take(int fd, const char* data, std::size_t size) {
        pending.append(data, size);
        std::size_t end;
        while ((end = pending.find("\r\n")) != std::string::npos) {
            pending.erase(0, end + 2);
            writtenNs = NowNs();
            [[maybe_unused]] const ssize_t written =
                ::write(fd, reply.constData(), std::size_t(reply.size()));
        }
    }

    std::atomic<qint64> writtenNs{0};
    std::atomic<bool> stop{false};

private:
    const QByteArray reply;
    std::string pending;
};

// A Comm control that reports its errors on stderr.
inline Mordal::Comm* CreateComm(QObject* parent) {
    auto* comm = qobject_cast<Mordal::Comm*>(Mordal::CreateControl("Brisko_2.Comm", parent));
    QObject::connect(comm, &Mordal::Comm::ErrorComm, [](int number, const QString& text) {
        std::fprintf(stderr, "ErrorComm %d %s\n", number, qPrintable(text));
    });
    return comm;
}

inline bool OpenLink(Mordal::Comm* comm, const char* program) {
    comm->SetCommOpen(true);
    if (comm->CommOpen())
        return true;
    std::fprintf(stderr, "%s: the link did not open\n", program);
    return false;
}

// Opens COM<port> at 9600 Bd.
inline bool OpenSerial(Mordal::Comm* comm, int port, const char* program) {
    comm->SetCommSource(int(Mordal::enCommSource::Serial));
    comm->SetSerialPort(port);
    comm->SetSerialBaudRate(9600);
    return OpenLink(comm, program);
}

// Opens a connection to 127.0.0.1:port.
inline bool OpenTcp(Mordal::Comm* comm, int port, const char* program) {
    comm->SetCommSource(int(Mordal::enCommSource::TCP));
    comm->SetNetRemoteHost(QStringLiteral("127.0.0.1"));
    comm->SetNetRemotePort(port);
    return OpenLink(comm, program);
}

struct ReplyRun {
    std::vector<double> latenciesMs;
    int wrongFrames = 0;
    int timeOuts = 0;
};

// Sends `command` until `count` replies have come, each after a random pause
// of up to maxPauseMs so that the replies fall on every phase of Comm's poll,
// and measures from the answerer writing each reply to OnComm raising it.
inline ReplyRun MeasureReplies(QCoreApplication& app, Mordal::Comm* comm, int count, int maxPauseMs,
                               const QByteArray& command, const Answerer& answerer) {
    ReplyRun run;
    run.latenciesMs.reserve(std::size_t(count));
    std::mt19937 random(1);
    std::uniform_int_distribution<int> pause(0, maxPauseMs);
    const auto sendNext = [&] {
        QTimer::singleShot(pause(random), Qt::PreciseTimer, comm,
                           [comm, command] { comm->OutputData(command); });
    };
    // The connections end with this run, before its figures go out of scope.
    QObject scope;
    QObject::connect(comm, &Mordal::Comm::OnComm, &scope,
                     [&](const QByteArray& frame, int, int, bool&) {
                         const qint64 now = NowNs();
                         if (frame != answerer.Reply())
                             ++run.wrongFrames;
                         run.latenciesMs.push_back(double(now - answerer.writtenNs) / 1e6);
                         if (int(run.latenciesMs.size()) >= count)
                             app.quit();
                         else
                             sendNext();
                     });
    QObject::connect(comm, &Mordal::Comm::TimeOut, &scope, [&](int, int) {
        ++run.timeOuts;
        sendNext();
    });
    sendNext();
    app.exec();
    return run;
}

struct LatencySummary {
    double p50 = 0, p90 = 0, p99 = 0, min = 0, max = 0, mean = 0;
};

inline LatencySummary Summarize(std::vector<double> latencies) {
    std::sort(latencies.begin(), latencies.end());
    LatencySummary summary;
    summary.p50 = Percentile(latencies, 50);
    summary.p90 = Percentile(latencies, 90);
    summary.p99 = Percentile(latencies, 99);
    summary.min = latencies.front();
    summary.max = latencies.back();
    summary.mean =
        std::accumulate(latencies.begin(), latencies.end(), 0.0) / double(latencies.size());
    return summary;
}

// The spread of the reply latencies in milliseconds, with `decimals` places.
inline void PrintLatencies(const LatencySummary& s, int decimals) {
    std::printf("  reply written -> OnComm  p50 %6.*f ms\n", decimals, s.p50);
    std::printf("                           p90 %6.*f ms\n", decimals, s.p90);
    std::printf("                           p99 %6.*f ms\n", decimals, s.p99);
    std::printf("                           max %6.*f ms   min %.*f ms   mean %.*f ms\n", decimals,
                s.max, decimals, s.min, decimals, s.mean);
}

} // namespace BenchSupport
