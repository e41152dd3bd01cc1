#include "SerialPortDevice.h"

#include "Utilities.h"

#include <QDir>
#include <QFileInfo>

// termios2 (any baud rate) lives in the kernel's own header, which cannot be
// mixed with <termios.h>; this file therefore speaks to the tty layer only
// through ioctl.
#include <asm/termbits.h>
#include <cerrno>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace Mordal::SerialPortDevice {

namespace {

int fail(int code) {
    SetLastSystemError(code);
    return code;
}

int failWithErrno() {
    return fail(errno);
}

struct TableBlock {
    int first;
    const char* prefix;
};

constexpr TableBlock fixedTable[] = {
    {1, "/dev/ttyS"},
    {33, "/dev/ttyUSB"},
    {65, "/dev/ttyACM"},
    {97, "/dev/ttyAMA"},
};

QString fixedTablePath(int port) {
    for (const TableBlock& block : fixedTable) {
        if (port >= block.first && port < block.first + 32)
            return QString::fromLatin1(block.prefix) + QString::number(port - block.first);
    }
    return {};
}

// A ttyS node that the kernel made without finding a UART behind it.
bool isPhantomUart(int fd) {
    serial_struct info{};
    return ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type == PORT_UNKNOWN;
}

} // namespace

QString PortDirectory() {
    const QByteArray fromEnvironment = qgetenv("MORDAL_PORTS");
    if (!fromEnvironment.isEmpty())
        return QString::fromLocal8Bit(fromEnvironment);
    QByteArray config = qgetenv("XDG_CONFIG_HOME");
    const QString base = config.isEmpty() ? QDir::homePath() + QStringLiteral("/.config")
                                          : QString::fromLocal8Bit(config);
    return base + QStringLiteral("/Mordal/ports");
}

QString DevicePath(int port) {
    const QString entry = PortDirectory() + QStringLiteral("/COM") + QString::number(port);
    const QFileInfo info(entry);
    if (info.exists() || info.isSymLink())
        return entry;
    if (qgetenv("MORDAL_NO_SYSTEM_PORTS") == "1")
        return {};
    return fixedTablePath(port);
}

QByteArray DeviceName(int port) {
    return QByteArray("\\\\.\\COM") + QByteArray::number(port);
}

QByteArray SettingsText(const LineSettings& settings) {
    return "baud=" + QByteArray::number(settings.baud) + " parity=" + settings.parity +
           " data=" + QByteArray::number(settings.dataBits) +
           " stop=" + QByteArray::number(settings.stopBits);
}

std::optional<LineSettings> BuildLineSettings(const QByteArray& text) {
    LineSettings settings;
    const QList<QByteArray> words = text.simplified().split(' ');
    for (const QByteArray& word : words) {
        const int equals = word.indexOf('=');
        if (equals <= 0)
            return std::nullopt;
        const QByteArray key = word.left(equals).toLower();
        const QByteArray value = word.mid(equals + 1);
        bool ok = false;
        if (key == "baud") {
            settings.baud = value.toInt(&ok);
            if (!ok || settings.baud <= 0)
                return std::nullopt;
        } else if (key == "parity") {
            const QByteArray upper = value.toUpper();
            if (upper.size() != 1 || !QByteArray("NEOMS").contains(upper[0]))
                return std::nullopt;
            settings.parity = upper[0];
        } else if (key == "data") {
            settings.dataBits = value.toInt(&ok);
            if (!ok || settings.dataBits < 5 || settings.dataBits > 8)
                return std::nullopt;
        } else if (key == "stop") {
            settings.stopBits = value.toInt(&ok);
            if (!ok || (settings.stopBits != 1 && settings.stopBits != 2))
                return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    return settings;
}

int OpenExclusive(int port, int& fd) {
    fd = -1;
    const QString path = DevicePath(port);
    if (path.isEmpty())
        return fail(ENOENT);
    const int opened = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (opened < 0)
        return failWithErrno();
    if (isPhantomUart(opened)) {
        ::close(opened);
        return fail(ENODEV);
    }
    // TIOCEXCL keeps other users out; flock also keeps out root and this
    // process's own other descriptors, which TIOCEXCL lets through.
    if (::flock(opened, LOCK_EX | LOCK_NB) != 0) {
        const int code = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(opened);
        return fail(code);
    }
    if (::ioctl(opened, TIOCEXCL) != 0 && errno != ENOTTY) {
        const int code = errno;
        ::close(opened);
        return fail(code);
    }
    fd = opened;
    return 0;
}

int ApplyLineSettings(int fd, const LineSettings& settings) {
    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) != 0)
        return failWithErrno();
    tio.c_iflag = IGNBRK;
    tio.c_oflag = 0;
    tio.c_lflag = 0;
    tio.c_cflag &=
        ~(CBAUD | (CBAUD << IBSHIFT) | CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT) | CREAD | CLOCAL;
    static constexpr tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    tio.c_cflag |= sizes[settings.dataBits - 5];
    if (settings.stopBits == 2)
        tio.c_cflag |= CSTOPB;
    switch (settings.parity) {
    case 'E':
        tio.c_cflag |= PARENB;
        break;
    case 'O':
        tio.c_cflag |= PARENB | PARODD;
        break;
    case 'M':
        tio.c_cflag |= PARENB | PARODD | CMSPAR;
        break;
    case 'S':
        tio.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    if (settings.parity != 'N')
        tio.c_iflag |= INPCK;
    if (settings.dataBits < 8)
        tio.c_iflag |= ISTRIP;
    tio.c_ispeed = static_cast<speed_t>(settings.baud);
    tio.c_ospeed = static_cast<speed_t>(settings.baud);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::ioctl(fd, TCSETS2, &tio) != 0)
        return failWithErrno();
    return 0;
}

int ReadLineState(int fd, LineState& state) {
    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) != 0)
        return failWithErrno();
    state.baud = tio.c_ospeed;
    static constexpr int bitsBySize[] = {5, 6, 7, 8};
    state.dataBits = bitsBySize[(tio.c_cflag & CSIZE) >> 4];
    if (!(tio.c_cflag & PARENB))
        state.parity = 'N';
    else if (tio.c_cflag & CMSPAR)
        state.parity = (tio.c_cflag & PARODD) ? 'M' : 'S';
    else
        state.parity = (tio.c_cflag & PARODD) ? 'O' : 'E';
    state.stopBits = (tio.c_cflag & CSTOPB) ? 2 : 1;
    state.parityCheck = tio.c_iflag & INPCK;
    state.rtsCtsFlow = tio.c_cflag & CRTSCTS;
    state.xonXoffOut = tio.c_iflag & IXON;
    state.xonXoffIn = tio.c_iflag & IXOFF;
    state.xonChar = tio.c_cc[VSTART];
    state.xoffChar = tio.c_cc[VSTOP];
    state.eofChar = tio.c_cc[VEOF];
    int lines = 0;
    if (::ioctl(fd, TIOCMGET, &lines) == 0) {
        state.dtrOn = lines & TIOCM_DTR;
        state.rtsOn = lines & TIOCM_RTS;
    }
    return 0;
}

int Purge(int fd) {
    if (::ioctl(fd, TCFLSH, TCIOFLUSH) != 0)
        return failWithErrno();
    return 0;
}

int QueuedInput(int fd, int& count) {
    count = 0;
    if (::ioctl(fd, FIONREAD, &count) != 0)
        return failWithErrno();
    if (count > 0)
        return 0;
    // A device that went away may still answer the queue query; its hang-up
    // is what tells.
    pollfd line{fd, POLLIN, 0};
    if (::poll(&line, 1, 0) > 0 && (line.revents & (POLLHUP | POLLNVAL)))
        return fail(ENODEV);
    return 0;
}

bool MeansDeviceGone(int code) {
    return code == EIO || code == ENXIO || code == ENODEV || code == EBADF;
}

int Read(int fd, char* buffer, int max, int& got) {
    got = 0;
    const ssize_t n = ::read(fd, buffer, static_cast<size_t>(max));
    if (n < 0) {
        if (errno == EAGAIN || errno == EINTR)
            return 0;
        return failWithErrno();
    }
    got = static_cast<int>(n);
    return 0;
}

int Write(int fd, const QByteArray& bytes) {
    const int64_t start = MonotonicMs();
    const int64_t limit = 1000LL * bytes.size();
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return failWithErrno();
        const int64_t left = limit - (MonotonicMs() - start);
        if (left <= 0)
            return fail(ETIMEDOUT);
        pollfd waitFor{fd, POLLOUT, 0};
        ::poll(&waitFor, 1, static_cast<int>(std::min<int64_t>(left, 100)));
    }
    return 0;
}

int Close(int fd) {
    // Exclusive use outlives this descriptor while another one of the same
    // terminal stays open, so it is handed back first.
    ::ioctl(fd, TIOCNXCL);
    if (::close(fd) != 0)
        return failWithErrno();
    return 0;
}

} // namespace Mordal::SerialPortDevice
