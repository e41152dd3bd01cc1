// A backlog of frames: a balance (or a converter that buffered while the
// program was busy) writes 100,000 reading lines of 14 bytes at once, over
// loopback TCP and over a pseudo-terminal set to 115200 Bd. Every frame must
// reach the host whole and in order; the figure of interest is how long the
// link takes to hand over the last frame after the last byte was written.
#include "BenchSupport.h"
#include "Mordal.h"

#include <QCoreApplication>
#include <QTimer>

#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <thread>

namespace {

using BenchSupport::NowNs;

constexpr int Port = 1;
constexpr double GoalDrainSeconds = 2.0;
constexpr int GiveUpMs = 180000;

// Line i: "+ 123.4567 g" with CR LF, 14 bytes.
QByteArray Line(int i) {
    char text[32];
    std::snprintf(text, sizeof text, "+ %8.4f g\r\n", 100.0 + (i % 1000000) / 10000.0);
    return QByteArray(text);
}

QByteArray Backlog(int frames) {
    QByteArray all;
    all.reserve(qsizetype(frames) * 14);
    for (int i = 0; i < frames; ++i)
        all += Line(i);
    return all;
}

// Writes everything, waiting while the other side is full.
void WriteAll(int fd, const QByteArray& bytes, std::atomic<qint64>& lastByteNs) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else
            ::usleep(200);
    }
    lastByteNs = NowNs();
}

struct Outcome {
    int delivered = 0;
    int wrong = 0;
    double drainSeconds = -1.0;
    double totalSeconds = -1.0;
};

// Counts and checks frames until all came or the run gives up.
Outcome Receive(QCoreApplication& app, Mordal::Comm* comm, int frames, qint64 startNs,
                const std::atomic<qint64>& lastByteNs) {
    Outcome outcome;
    QObject::connect(comm, &Mordal::Comm::OnComm, [&](const QByteArray& frame, int, int, bool&) {
        if (frame != Line(outcome.delivered))
            ++outcome.wrong;
        if (++outcome.delivered == frames) {
            const qint64 now = NowNs();
            outcome.drainSeconds = double(now - lastByteNs) / 1e9;
            outcome.totalSeconds = double(now - startNs) / 1e9;
            app.quit();
        }
    });
    QTimer::singleShot(GiveUpMs, &app, &QCoreApplication::quit);
    app.exec();
    return outcome;
}

bool Report(const char* link, int frames, const Outcome& outcome) {
    const bool whole = outcome.delivered == frames && outcome.wrong == 0;
    const bool quick = outcome.drainSeconds >= 0 && outcome.drainSeconds <= GoalDrainSeconds;
    std::printf("  %s: frames delivered %d / sent %d, cut or out of order %d%s\n", link,
                outcome.delivered, frames, outcome.wrong, whole ? "" : "   <-- must be all, 0");
    std::printf("  %s: last byte written -> last frame delivered %.3f s (goal at most %.0f s)%s; "
                "first byte -> last frame %.3f s\n",
                link, outcome.drainSeconds, GoalDrainSeconds, quick ? "" : "   <-- missed",
                outcome.totalSeconds);
    return whole && quick;
}

bool OverTcp(QCoreApplication& app, int frames, const QByteArray& backlog) {
    int port = 0;
    const int listener = BenchSupport::ListenOnLoopback(port, "link_backlog");
    if (listener < 0)
        return false;
    Mordal::Comm* comm = BenchSupport::CreateComm(&app);
    if (!BenchSupport::OpenTcp(comm, port, "link_backlog"))
        return false;
    const int peer = ::accept(listener, nullptr, nullptr);
    std::atomic<qint64> lastByteNs{0};
    const qint64 startNs = NowNs();
    std::thread writer(WriteAll, peer, std::cref(backlog), std::ref(lastByteNs));
    const Outcome outcome = Receive(app, comm, frames, startNs, lastByteNs);
    writer.join();
    delete comm;
    ::close(peer);
    ::close(listener);
    return Report("TCP", frames, outcome);
}

bool OverPty(QCoreApplication& app, int frames, const QByteArray& backlog,
             BenchSupport::PtyPeer& peer) {
    termios tio{};
    ::tcgetattr(peer.master, &tio);
    ::cfsetspeed(&tio, B115200);
    ::tcsetattr(peer.master, TCSANOW, &tio);
    Mordal::Comm* comm = BenchSupport::CreateComm(&app);
    comm->SetCommSource(int(Mordal::enCommSource::Serial));
    comm->SetSerialPort(Port);
    comm->SetSerialBaudRate(115200);
    if (!BenchSupport::OpenLink(comm, "link_backlog"))
        return false;
    std::atomic<qint64> lastByteNs{0};
    const qint64 startNs = NowNs();
    std::thread writer(WriteAll, peer.master, std::cref(backlog), std::ref(lastByteNs));
    const Outcome outcome = Receive(app, comm, frames, startNs, lastByteNs);
    writer.join();
    delete comm;
    return Report("pty at 115200 Bd", frames, outcome);
}

} // namespace

int main(int argc, char** argv) {
    const int frames = BenchSupport::IntArgument(argc, argv, "--frames", 100000);
    BenchSupport::PtyPeer peer;
    if (!peer.Open(Port, "link_backlog"))
        return 1;
    QCoreApplication app(argc, argv);
    const QByteArray backlog = Backlog(frames);
    std::printf("link_backlog: %d frames of 14 bytes (%lld bytes) written at once\n", frames,
                static_cast<long long>(backlog.size()));
    const bool tcp = OverTcp(app, frames, backlog);
    const bool pty = OverPty(app, frames, backlog, peer);
    std::printf("  load average at the end %.2f\n", BenchSupport::LoadAverage());
    return tcp && pty ? 0 : 1;
}
