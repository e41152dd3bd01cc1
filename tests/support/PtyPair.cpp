#include "PtyPair.h"

#include "EventWait.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

PtyPair::PtyPair() {
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        master = -1;
        return;
    }
    // The master side is the device: raw, so bytes pass unchanged.
    termios tio{};
    ::tcgetattr(master, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(master, TCSANOW, &tio);
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    // Keeping one slave descriptor open keeps the master readable and
    // writable while the code under test has the port closed.
    slaveKeeper = slave;
    slavePath = QString::fromLocal8Bit(name);
}

PtyPair::~PtyPair() {
    if (!publishedLink.isEmpty())
        QFile::remove(publishedLink);
    if (slaveKeeper >= 0)
        ::close(slaveKeeper);
    if (master >= 0)
        ::close(master);
}

void PtyPair::Unplug() {
    if (!publishedLink.isEmpty())
        QFile::remove(publishedLink);
    publishedLink.clear();
    if (slaveKeeper >= 0)
        ::close(slaveKeeper);
    if (master >= 0)
        ::close(master);
    slaveKeeper = master = -1;
}

void PtyPair::Publish(int port) {
    publishedLink = TestEnvironment::PortDirectory() + "/COM" + QString::number(port);
    QFile::remove(publishedLink);
    QFile::link(slavePath, publishedLink);
}

void PtyPair::Write(const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        // The pseudo-terminal holds only a few KiB: let the reader run.
        RunEventsFor(2);
    }
}

QByteArray PtyPair::Read(int minBytes, int timeoutMs) {
    QByteArray received;
    WaitUntil(
        [&] {
            char buffer[4096];
            for (;;) {
                const ssize_t n = ::read(master, buffer, sizeof buffer);
                if (n <= 0)
                    break;
                received.append(buffer, n);
            }
            return received.size() >= minBytes;
        },
        timeoutMs);
    return received;
}
