#include "CSocket.h"

#include <QDateTime>
#include <QPointer>
#include <QtEndian>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <system_error>

namespace Mordal {

namespace {

using Support = MSocketSupport;

constexpr qint64 msPerDay = 86400000;
const QDate dateEpoch(1899, 12, 30);

// The request a handler of OnConnectionRequest took over, whichever socket
// took it (it may even have closed it again before the handler returned).
int adoptedRequest = -1;

bool wouldBlock(int code) {
    return code == EAGAIN || code == EWOULDBLOCK || code == EINPROGRESS;
}

sockaddr_in socketAddress(const QString& dotted, int32_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    // Ports travel as their 16-bit pattern.
    address.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, dotted.toLatin1().constData(), &address.sin_addr);
    return address;
}

QString dottedText(const sockaddr_in& address) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return QString::fromLatin1(text);
}

template <typename T> QByteArray memoryImage(T value) {
    QByteArray bytes(sizeof(T), Qt::Uninitialized);
    qToLittleEndian(value, bytes.data());
    return bytes;
}

template <typename T> T fromMemoryImage(const QByteArray& bytes) {
    QByteArray padded = bytes.left(sizeof(T));
    padded.resize(sizeof(T), '\0');
    return qFromLittleEndian<T>(padded.constData());
}

// Whole days since the epoch plus the time of day as a fraction; before the
// epoch the days count down while the time still counts up.
double dateToDouble(const QDateTime& moment) {
    const qint64 days = dateEpoch.daysTo(moment.date());
    const double fraction = moment.time().msecsSinceStartOfDay() / double(msPerDay);
    return days >= 0 ? double(days) + fraction : double(days) - fraction;
}

QDateTime dateFromDouble(double value) {
    if (!std::isfinite(value))
        return {};
    const double days = std::trunc(value);
    const qint64 ms = std::llround(std::fabs(value - days) * msPerDay) % msPerDay;
    return QDateTime(dateEpoch.addDays(static_cast<qint64>(days)),
                     QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms)));
}

} // namespace

CSocket::CSocket(QObject* parent) : QObject(parent) {
    maxDatagramSize = Support::StartSockets();
}

CSocket::~CSocket() {
    DestroySocket();
    Support::CancelLookups(this);
    Support::StopSockets();
}

void CSocket::SetRemoteHost(const QString& host) {
    remoteHost = host;
    // A new name must not keep sending to the address of the old one.
    remoteHostIP = IsDottedAddress(host) ? host : QString();
    if (protocol != UdpProtocol || remoteHostIP.isEmpty())
        return;
    if (!EnsureSocket())
        return;
    const bool wanted = host.endsWith(QLatin1String(".255"));
    if (wanted != broadcast)
        SwitchBroadcast(wanted);
}

void CSocket::SetProtocol(int32_t value) {
    if (handle == -1 && (value == TcpProtocol || value == UdpProtocol))
        protocol = value;
}

void CSocket::Connect(const QString& host, std::optional<int32_t> port) {
    if (!EnsureSocket())
        return;
    if (!host.isEmpty()) {
        remoteHost = host;
        if (IsDottedAddress(host))
            remoteHostIP = host;
    }
    if (port)
        remotePort = *port;
    if (remoteHost.isEmpty())
        return;
    // A connection in progress or made is not started again over itself.
    if (state == Connecting || state == Connected || state == Closing)
        return;
    afterLookup = AfterLookup::Connect;
    if (!IsDottedAddress(remoteHost)) {
        SetState(ResolvingHost);
        pendingLookup = StartLookup();
        if (pendingLookup == 0) {
            DestroySocket();
            SetState(Error);
            RaiseError(Support::LastError(), QStringLiteral("CSocket.Connect"));
        }
        return;
    }
    remoteHostIP = remoteHost;
    ConnectTo(remoteHost, nullptr);
}

// Without a source an immediate failure is reported like a failed connect
// completion (from the event loop, socket destroyed, state 9), so that a
// refusal the system reports at once looks the same as a later one.
void CSocket::ConnectTo(const QString& address, const char* source) {
    int code = 0;
    if (remotePort < 1 || remotePort > 65535) {
        code = EADDRNOTAVAIL;
    } else {
        const sockaddr_in to = socketAddress(address, remotePort);
        if (::connect(handle, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0)
            code = errno;
    }
    if (code == 0 || wouldBlock(code)) {
        Support::SetWatch(handle, Support::Watch::Connecting);
        SetState(Connecting);
        return;
    }
    const int number = Support::SocketErrorFromErrno(code);
    if (source)
        RaiseError(number, QString::fromLatin1(source));
    else
        Support::PostSocketEvent(handle, Support::FdConnect, number);
}

// A lookup started earlier must not answer for this one, not even with a
// failure, which carries no handle to tell it apart.
int32_t CSocket::StartLookup() {
    Support::CancelLookups(this);
    pendingNameLookup = 0;
    return Support::ResolveHost(remoteHost, this);
}

void CSocket::CloseSocket() {
    if (handle == -1)
        return;
    if (state == Connected) {
        if (!sendBuffer.isEmpty())
            ::send(handle, sendBuffer.constData(), sendBuffer.size(), MSG_NOSIGNAL);
        sendBuffer.clear();
        sending = false;
        SetState(Closing);
        ::shutdown(handle, SHUT_WR);
        return;
    }
    DestroySocket();
    SetState(Closed);
}

void CSocket::SendData(const QVariant& data) {
    if (protocol == UdpProtocol) {
        if (!EnsureSocket())
            return;
    } else if (handle == -1) {
        return;
    }
    sendBuffer = ToBytes(data);
    sending = true;
    SendBuffered();
}

void CSocket::SendBuffered() {
    sending = true;
    const int32_t total = static_cast<int32_t>(sendBuffer.size());
    ssize_t sent = 0;
    if (protocol == UdpProtocol) {
        if (remoteHostIP.isEmpty()) {
            if (remoteHost.isEmpty()) {
                sendBuffer.clear();
                sending = false;
                RaiseError(10039, QStringLiteral("CSocket.SendData"));
                return;
            }
            afterLookup = AfterLookup::Send;
            pendingLookup = StartLookup();
            emit OnSendProgress(0, total);
            return;
        }
        const sockaddr_in to = socketAddress(remoteHostIP, remotePort);
        sent = ::sendto(handle, sendBuffer.constData(), sendBuffer.size(), MSG_NOSIGNAL,
                        reinterpret_cast<const sockaddr*>(&to), sizeof to);
    } else {
        sent = ::send(handle, sendBuffer.constData(), sendBuffer.size(), MSG_NOSIGNAL);
    }
    if (sent < 0) {
        const int code = errno;
        if (wouldBlock(code)) {
            Support::AwaitWritable(handle);
            return;
        }
        // Retrying a send the system refuses for good would never end.
        sendBuffer.clear();
        sending = false;
        RaiseError(Support::SocketErrorFromErrno(code), QStringLiteral("CSocket.SendData"));
        return;
    }
    if (sent < total) {
        sendBuffer.remove(0, sent);
        Support::AwaitWritable(handle);
    } else {
        sendBuffer.clear();
        Support::PostSocketEvent(handle, Support::FdWrite, 0);
    }
    emit OnSendProgress(static_cast<int32_t>(sent), static_cast<int32_t>(sendBuffer.size()));
}

void CSocket::GetData(QVariant& data, enDataType type, int32_t maxLen) {
    TakeData(data, type, maxLen, true);
}

void CSocket::PeekData(QVariant& data, enDataType type, int32_t maxLen) {
    TakeData(data, type, maxLen, false);
}

void CSocket::TakeData(QVariant& data, enDataType type, int32_t maxLen, bool remove) {
    if (receiveBuffer.isEmpty())
        return;
    QByteArray part;
    if (maxLen > 0 && maxLen <= receiveBuffer.size()) {
        part = receiveBuffer.left(maxLen);
        if (remove)
            receiveBuffer.remove(0, maxLen);
    } else {
        part = receiveBuffer;
        if (remove)
            receiveBuffer.clear();
    }
    data = FromBytes(part, type);
}

void CSocket::Listen() {
    if (!EnsureSocket())
        return;
    if (!bound)
        Bind(0, QString());
    // An unbound listener would take any free port, not the one asked for.
    if (!bound) {
        SetState(Error);
        return;
    }
    if (::listen(handle, 5) != 0) {
        const int code = errno;
        SetState(Error);
        RaiseError(Support::SocketErrorFromErrno(code), QStringLiteral("CSocket.Listen"));
        return;
    }
    Support::SetWatch(handle, Support::Watch::Listening);
    SetState(Listening);
}

void CSocket::Bind(int32_t port, const QString& address) {
    if (!EnsureSocket())
        return;
    if (!address.isEmpty())
        localIP = address;
    if (port > 0)
        localPort = port;
    if (!BindSocket())
        return;
    bound = true;
}

bool CSocket::BindSocket() {
    static const QString source = QStringLiteral("CSocket.Bind");
    if (!localIP.isEmpty() && !IsDottedAddress(localIP)) {
        RaiseError(10049, source);
        return false;
    }
    if (localPort < 0 || localPort > 65535) {
        RaiseError(10049, source);
        return false;
    }
    if (protocol == TcpProtocol) {
        // A listener restarted on its port must not wait out old connections.
        const int on = 1;
        setsockopt(handle, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    }
    const sockaddr_in at =
        socketAddress(localIP.isEmpty() ? QStringLiteral("0.0.0.0") : localIP, localPort);
    if (::bind(handle, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0) {
        RaiseError(Support::SocketErrorFromErrno(errno), source);
        return false;
    }
    sockaddr_in actual{};
    socklen_t length = sizeof actual;
    if (getsockname(handle, reinterpret_cast<sockaddr*>(&actual), &length) == 0)
        localPort = ntohs(actual.sin_port);
    return true;
}

void CSocket::Accept(int32_t requestID) {
    const int fd = requestID;
    if (fd < 0)
        return;
    int type = 0;
    socklen_t length = sizeof type;
    if (getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) != 0)
        return;
    if (handle != -1 && handle != fd)
        DestroySocket();
    protocol = type == SOCK_STREAM ? TcpProtocol : UdpProtocol;
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    const auto watch =
        protocol == TcpProtocol ? Support::Watch::Connected : Support::Watch::Datagram;
    if (!Support::RegisterSocket(fd, this, watch))
        return;
    adoptedRequest = fd;
    handle = fd;
    ReadLocalAddress();
    localHostName = localIP;
    sockaddr_in peer{};
    length = sizeof peer;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) == 0) {
        remoteHostIP = dottedText(peer);
        remotePort = ntohs(peer.sin_port);
        remoteHost = remoteHostIP;
    }
    ReadBufferSizes();
    SetState(Connected);
}

int32_t CSocket::vbSocket() {
    return EnsureSocket() ? handle : -1;
}

void CSocket::PostGetHostEvent(int32_t lookupHandle, const QString& address,
                               const QString& hostName, int32_t error) {
    if (error > 0 && !IsDottedAddress(hostName)) {
        pendingLookup = 0;
        SetState(Error);
        RaiseError(error, QString());
        return;
    }
    if (lookupHandle == 0 || lookupHandle != pendingLookup)
        return;
    pendingLookup = 0;
    SetState(HostResolved);
    remoteHost = hostName;
    remoteHostIP = address;
    if (handle == -1)
        return;
    if (afterLookup == AfterLookup::Connect)
        ConnectTo(address, "CSocket.PostGetHostEvent");
    else
        SendBuffered();
}

void CSocket::PostGetNameEvent(int32_t lookupHandle, const QString& hostName) {
    if (lookupHandle == 0 || lookupHandle != pendingNameLookup)
        return;
    pendingNameLookup = 0;
    if (!hostName.isEmpty())
        localHostName = hostName;
}

void CSocket::DispatchSocketEvent(int notification, int error) {
    if (error >= 1) {
        SetState(Error);
        DestroySocket();
        RaiseError(error, QString());
        return;
    }
    switch (notification) {
    case Support::FdRead:
        HandleRead();
        break;
    case Support::FdWrite:
        HandleWrite();
        break;
    case Support::FdAccept:
        HandleAccept();
        break;
    case Support::FdConnect:
        HandleConnect();
        break;
    case Support::FdClose:
        HandleClose();
        break;
    default:
        break;
    }
}

void CSocket::HandleRead() {
    const int received = RecvIntoBuffer();
    if (received < 0) {
        const int code = errno;
        // A datagram socket reports a peer's refusal here; it stays usable.
        if (wouldBlock(code) || protocol == UdpProtocol)
            return;
        SetState(Error);
        DestroySocket();
        RaiseError(Support::SocketErrorFromErrno(code), QString());
        return;
    }
    if (received > 0)
        emit OnDataArrival(BytesReceived());
}

void CSocket::HandleWrite() {
    if (!sendBuffer.isEmpty()) {
        SendBuffered();
    } else if (sending) {
        sending = false;
        emit OnSendComplete();
    }
}

void CSocket::HandleAccept() {
    const int fd = accept4(handle, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0)
        return;
    adoptedRequest = -1;
    emit OnConnectionRequest(fd);
    // A request no socket took over would keep its descriptor forever.
    if (adoptedRequest != fd)
        ::close(fd);
}

void CSocket::HandleConnect() {
    ReadLocalAddress();
    localHostName = localIP;
    pendingNameLookup = Support::ResolveAddress(localIP, this);
    Support::SetWatch(handle, Support::Watch::Connected);
    SetState(Connected);
    emit OnConnect();
}

// Everything still queued is handed out before the close is announced.
void CSocket::HandleClose() {
    const QPointer<CSocket> self(this);
    const int fd = handle;
    while (RecvIntoBuffer() > 0) {
        emit OnDataArrival(BytesReceived());
        if (!self || handle != fd)
            return;
    }
    if (state != Closing) {
        SetState(Closing);
        if (!sendBuffer.isEmpty())
            SendBuffered();
        if (!self || handle != fd)
            return;
    }
    DestroySocket();
    SetState(Closed);
    emit OnClose();
}

int CSocket::RecvIntoBuffer() {
    if (handle == -1) {
        errno = ENOTSOCK;
        return -1;
    }
    const qsizetype before = receiveBuffer.size();
    const qsizetype room = receiveSize > 0 ? receiveSize : 65536;
    receiveBuffer.resize(before + room);
    ssize_t received = 0;
    if (protocol == UdpProtocol) {
        sockaddr_in from{};
        socklen_t length = sizeof from;
        received = ::recvfrom(handle, receiveBuffer.data() + before, room, 0,
                              reinterpret_cast<sockaddr*>(&from), &length);
        if (received >= 0) {
            // The sender's address stands for its name: a reverse lookup per
            // datagram would stall the event loop.
            remotePort = ntohs(from.sin_port);
            remoteHostIP = dottedText(from);
            remoteHost = remoteHostIP;
        }
    } else {
        received = ::recv(handle, receiveBuffer.data() + before, room, 0);
    }
    const int code = errno;
    receiveBuffer.resize(before + std::max<ssize_t>(received, 0));
    errno = code;
    return static_cast<int>(received);
}

bool CSocket::EnsureSocket() {
    if (handle != -1)
        return true;
    const bool udp = protocol == UdpProtocol;
    const int fd =
        ::socket(AF_INET, (udp ? SOCK_DGRAM : SOCK_STREAM) | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    if (!Support::RegisterSocket(fd, this, udp ? Support::Watch::Datagram : Support::Watch::Idle)) {
        ::close(fd);
        return false;
    }
    handle = fd;
    ReadBufferSizes();
    return true;
}

void CSocket::DestroySocket() {
    receiveBuffer.clear();
    // Bytes meant for this connection must not go out on the next one.
    sendBuffer.clear();
    sending = false;
    pendingLookup = 0;
    pendingNameLookup = 0;
    Support::CancelLookups(this);
    if (handle != -1) {
        Support::UnregisterSocket(handle);
        ::close(handle);
        handle = -1;
        bound = false;
        broadcast = false;
    }
}

void CSocket::ReadLocalAddress() {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (getsockname(handle, reinterpret_cast<sockaddr*>(&local), &length) == 0) {
        localIP = dottedText(local);
        localPort = ntohs(local.sin_port);
    }
}

void CSocket::ReadBufferSizes() {
    if (protocol == UdpProtocol) {
        receiveSize = sendSize = maxDatagramSize > 0 ? maxDatagramSize : Support::MaxDatagram;
        return;
    }
    socklen_t length = sizeof receiveSize;
    if (getsockopt(handle, SOL_SOCKET, SO_RCVBUF, &receiveSize, &length) != 0)
        receiveSize = 0;
    length = sizeof sendSize;
    if (getsockopt(handle, SOL_SOCKET, SO_SNDBUF, &sendSize, &length) != 0)
        sendSize = 0;
}

void CSocket::SwitchBroadcast(bool on) {
    const int value = on ? 1 : 0;
    if (setsockopt(handle, SOL_SOCKET, SO_BROADCAST, &value, sizeof value) != 0)
        throw std::system_error(errno, std::generic_category(), "CSocket.RemoteHost");
    broadcast = on;
}

void CSocket::RaiseError(int number, const QString& source) {
    QString description = Support::SocketErrorText(number);
    bool cancelDisplay = false;
    emit OnError(static_cast<int16_t>(number), description, 0, source, QString(), 0, cancelDisplay);
    // A library has no window to show an error nobody handled; the log is
    // where it can still be seen.
    if (!cancelDisplay)
        qWarning("CSocket error %d: %s", number, qPrintable(description));
}

void CSocket::SetState(int32_t value) {
    if (state == value)
        return;
    state = value;
    emit StateChanged(value);
}

bool CSocket::IsDottedAddress(const QString& text) {
    in_addr address{};
    return !text.isEmpty() && inet_pton(AF_INET, text.toLatin1().constData(), &address) == 1;
}

QByteArray CSocket::ToBytes(const QVariant& data) {
    switch (data.typeId()) {
    case QMetaType::QByteArray:
        return data.toByteArray();
    case QMetaType::QString:
        return data.toString().toLatin1();
    case QMetaType::Bool:
        return memoryImage<qint16>(data.toBool() ? -1 : 0);
    case QMetaType::Short:
    case QMetaType::UShort:
        return memoryImage<qint16>(static_cast<qint16>(data.toInt()));
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
        return memoryImage<qint32>(static_cast<qint32>(data.toLongLong()));
    case QMetaType::Float:
        return memoryImage<float>(data.toFloat());
    case QMetaType::Double:
        return memoryImage<double>(data.toDouble());
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return memoryImage<qint64>(data.toLongLong());
    case QMetaType::QDateTime:
        return memoryImage<double>(dateToDouble(data.toDateTime()));
    case QMetaType::QDate:
        return memoryImage<double>(dateToDouble(QDateTime(data.toDate(), QTime(0, 0))));
    case QMetaType::UChar:
    case QMetaType::Char:
    case QMetaType::SChar:
        return QByteArray(1, static_cast<char>(data.toInt()));
    default:
        return data.canConvert<QByteArray>() ? data.toByteArray() : QByteArray();
    }
}

QVariant CSocket::FromBytes(const QByteArray& bytes, enDataType type) {
    switch (type) {
    case enDataType::ByteArray:
        return bytes;
    case enDataType::Boolean:
        return fromMemoryImage<qint16>(bytes) != 0;
    case enDataType::Byte:
        return QVariant::fromValue(fromMemoryImage<quint8>(bytes));
    case enDataType::Currency:
        return QVariant::fromValue(fromMemoryImage<qint64>(bytes));
    case enDataType::Date:
        return dateFromDouble(fromMemoryImage<double>(bytes));
    case enDataType::Double:
        return fromMemoryImage<double>(bytes);
    case enDataType::Int16:
        return QVariant::fromValue(fromMemoryImage<qint16>(bytes));
    case enDataType::Int32:
        return QVariant::fromValue(fromMemoryImage<qint32>(bytes));
    case enDataType::Single:
        return fromMemoryImage<float>(bytes);
    case enDataType::Text:
    default:
        return QString::fromLatin1(bytes);
    }
}

} // namespace Mordal
