#include "PtyEndpoint.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace BalanceSim {

namespace {

void MakeRaw(int fd) {
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0)
        return;
    ::cfmakeraw(&tio);
    ::tcsetattr(fd, TCSANOW, &tio);
}

bool Fail(QString* error, const QString& what) {
    if (error)
        *error = QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
    return false;
}

} // namespace

PtyEndpoint::PtyEndpoint(BalanceModel& model, ReplyScript& script, const Behaviour& behaviour,
                         const Dialect& dialect, QObject* parent)
    : Endpoint(QStringLiteral("COM"), model, script, behaviour, dialect, parent) {}

PtyEndpoint::~PtyEndpoint() {
    readNotifier.reset();
    writeNotifier.reset();
    Unpublish();
    if (slaveKeeper >= 0)
        ::close(slaveKeeper);
    if (master >= 0)
        ::close(master);
}

bool PtyEndpoint::Open(int com, const QString& portDirectory, QString* error) {
    if (!OpenPair(error) || !Publish(com, portDirectory, error))
        return false;
    readNotifier = std::make_unique<QSocketNotifier>(master, QSocketNotifier::Read);
    connect(readNotifier.get(), &QSocketNotifier::activated, this, &PtyEndpoint::ReadMaster);
    writeNotifier = std::make_unique<QSocketNotifier>(master, QSocketNotifier::Write);
    writeNotifier->setEnabled(false);
    connect(writeNotifier.get(), &QSocketNotifier::activated, this, &PtyEndpoint::WritePending);
    return true;
}

bool PtyEndpoint::OpenPair(QString* error) {
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        master = -1;
        return Fail(error, QStringLiteral("cannot open a pseudo-terminal"));
    }
    MakeRaw(master);
    MakeRaw(slave);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    slaveKeeper = slave;
    slavePath = QString::fromLocal8Bit(name);
    return true;
}

bool PtyEndpoint::Publish(int com, const QString& portDirectory, QString* error) {
    if (!QDir().mkpath(portDirectory)) {
        if (error)
            *error = QStringLiteral("cannot create the port directory %1").arg(portDirectory);
        return false;
    }
    const QString link = portDirectory + QStringLiteral("/COM%1").arg(com);
    // Linking under a temporary name and renaming replaces an existing link
    // without a moment in which COM<n> is missing.
    const QByteArray temporary =
        QFile::encodeName(portDirectory + QStringLiteral("/.COM%1.%2").arg(com).arg(::getpid()));
    ::unlink(temporary.constData());
    if (::symlink(QFile::encodeName(slavePath).constData(), temporary.constData()) != 0)
        return Fail(error, QStringLiteral("cannot create a link in %1").arg(portDirectory));
    if (::rename(temporary.constData(), QFile::encodeName(link).constData()) != 0) {
        const int saved = errno;
        ::unlink(temporary.constData());
        errno = saved;
        return Fail(error, QStringLiteral("cannot publish %1").arg(link));
    }
    linkPath = link;
    return true;
}

void PtyEndpoint::Unpublish() {
    // Another simulator may have taken the name over since; its link stays.
    if (!linkPath.isEmpty() && QFile::symLinkTarget(linkPath) == slavePath)
        QFile::remove(linkPath);
    linkPath.clear();
}

void PtyEndpoint::ReadMaster() {
    QByteArray received;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        received.append(buffer, n);
    }
    if (!received.isEmpty())
        Receive(line.Incoming(received));
}

void PtyEndpoint::Write(const QByteArray& bytes) {
    const qsizetype room = MaxPending - pending.size();
    if (bytes.size() > room)
        Log("dropped", bytes.mid(room));
    pending.append(line.Outgoing(bytes.left(room)));
    WritePending();
}

void PtyEndpoint::WritePending() {
    while (!pending.isEmpty()) {
        const ssize_t n = ::write(master, pending.constData(), size_t(pending.size()));
        if (n > 0) {
            pending.remove(0, n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            Log("lost", pending);
            pending.clear();
        }
        break;
    }
    writeNotifier->setEnabled(!pending.isEmpty());
}

} // namespace BalanceSim
