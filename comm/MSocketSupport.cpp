#include "MSocketSupport.h"

#include "CSocket.h"
#include <Mordal/HostResolver.h>

#include <QCoreApplication>
#include <QEvent>
#include <QHash>
#include <QSocketNotifier>

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace Mordal {

namespace {

using Watch = MSocketSupport::Watch;

// Which notifier produced an event; the notifier stays off until its event
// has been delivered, so a level-triggered readiness is reported once.
enum class Side { Posted, Read, Write };

const QEvent::Type socketEventType = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type lookupEventType = static_cast<QEvent::Type>(QEvent::registerEventType());

struct SocketEvent : QEvent {
    SocketEvent(int socket, quint64 serial, int notification, int error, Side side)
        : QEvent(socketEventType), socket(socket), serial(serial), notification(notification),
          error(error), side(side) {}
    int socket;
    quint64 serial;
    int notification;
    int error;
    Side side;
};

struct LookupEvent : QEvent {
    LookupEvent(int32_t handle, bool reverse, HostLookup result)
        : QEvent(lookupEventType), handle(handle), reverse(reverse), result(std::move(result)) {}
    int32_t handle;
    bool reverse;
    HostLookup result;
};

struct SocketEntry {
    CSocket* owner = nullptr;
    // Tells a reused descriptor apart from the socket an old event was for.
    quint64 serial = 0;
    Watch watch = Watch::Idle;
    std::unique_ptr<QSocketNotifier> reader;
    std::unique_ptr<QSocketNotifier> writer;
    bool readPending = false;
    bool writePending = false;
    bool awaitingWrite = false;
    bool closeReported = false;
};

// Stands in for the hidden message window: every socket notification and
// lookup result is posted here and delivered to its socket from the event loop.
class Dispatcher final : public QObject {
public:
    bool event(QEvent* event) override;
};

// The tables' keys: a socket's descriptor and a lookup's handle, kept apart
// by type so that one can never be looked up in the other's table.
enum class SocketKey : int {};
enum class LookupKey : int32_t {};

SocketKey socketKey(int socket) {
    return SocketKey{socket};
}

LookupKey lookupKey(int32_t handle) {
    return LookupKey{handle};
}

struct Module {
    bool started = false;
    int32_t maxDatagram = 0;
    Dispatcher* dispatcher = nullptr;
    int dispatchDepth = 0;
    std::unique_ptr<QHash<SocketKey, std::shared_ptr<SocketEntry>>> sockets;
    std::unique_ptr<QHash<LookupKey, CSocket*>> lookups;
    int32_t lastLookup = 0;
    quint64 lastSerial = 0;
    int lastError = 0;
    QString lastErrorText;
    QString lastErrorSource;
};

// Never destroyed: sockets left open at exit must not be torn down after the
// application object is gone.
Module& module() {
    static auto* instance = new Module;
    return *instance;
}

// Lookup threads post their results here; cleared before the dispatcher goes.
std::mutex& postMutex() {
    static auto* mutex = new std::mutex;
    return *mutex;
}

QObject*& postTarget() {
    static QObject* target = nullptr;
    return target;
}

struct DispatchScope {
    DispatchScope() { ++module().dispatchDepth; }
    ~DispatchScope() { --module().dispatchDepth; }
    DispatchScope(const DispatchScope&) = delete;
    DispatchScope& operator=(const DispatchScope&) = delete;
};

SocketEntry* findEntry(int socket) {
    auto& m = module();
    if (!m.sockets)
        return nullptr;
    const auto it = m.sockets->constFind(socketKey(socket));
    return it == m.sockets->cend() ? nullptr : it->get();
}

void setLastError(int code, const QString& text, const char* source) {
    auto& m = module();
    m.lastError = code;
    m.lastErrorText = text;
    m.lastErrorSource = QString::fromLatin1(source);
}

void updateNotifiers(SocketEntry& entry) {
    const bool readable = entry.watch == Watch::Connected || entry.watch == Watch::Listening ||
                          entry.watch == Watch::Datagram;
    const bool writable = entry.watch == Watch::Connecting ||
                          (entry.awaitingWrite &&
                           (entry.watch == Watch::Connected || entry.watch == Watch::Datagram));
    entry.reader->setEnabled(readable && !entry.readPending && !entry.closeReported);
    entry.writer->setEnabled(writable && !entry.writePending);
}

void post(const SocketEntry& entry, int socket, int notification, int error, Side side) {
    QCoreApplication::postEvent(module().dispatcher,
                                new SocketEvent(socket, entry.serial, notification, error, side));
}

int pendingSocketError(int socket) {
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        error = errno;
    return error;
}

// A readable stream socket carries data, the peer's end of stream (possibly
// behind data still queued) or a failure. The close is reported as soon as
// the end is seen; its handler drains what is still queued.
int classifyStream(int socket, int& error) {
    pollfd probe{socket, POLLIN | POLLRDHUP, 0};
    if (poll(&probe, 1, 0) <= 0)
        return 0;
    if (probe.revents & POLLERR) {
        const int code = pendingSocketError(socket);
        error = code ? MSocketSupport::SocketErrorFromErrno(code) : 0;
        return MSocketSupport::FdClose;
    }
    if (probe.revents & (POLLRDHUP | POLLHUP))
        return MSocketSupport::FdClose;
    if (probe.revents & POLLIN)
        return MSocketSupport::FdRead;
    return 0;
}

void onReadable(int socket) {
    SocketEntry* entry = findEntry(socket);
    if (!entry)
        return;
    entry->reader->setEnabled(false);
    int notification = 0;
    int error = 0;
    switch (entry->watch) {
    case Watch::Listening:
        notification = MSocketSupport::FdAccept;
        break;
    case Watch::Datagram:
        notification = MSocketSupport::FdRead;
        break;
    case Watch::Connected:
        notification = classifyStream(socket, error);
        break;
    case Watch::Idle:
    case Watch::Connecting:
        break;
    }
    if (notification == 0) {
        updateNotifiers(*entry);
        return;
    }
    if (notification == MSocketSupport::FdClose)
        entry->closeReported = true;
    entry->readPending = true;
    post(*entry, socket, notification, error, Side::Read);
}

void onWritable(int socket) {
    SocketEntry* entry = findEntry(socket);
    if (!entry)
        return;
    entry->writer->setEnabled(false);
    if (entry->watch == Watch::Connecting) {
        const int code = pendingSocketError(socket);
        entry->writePending = true;
        post(*entry, socket, MSocketSupport::FdConnect,
             code ? MSocketSupport::SocketErrorFromErrno(code) : 0, Side::Write);
    } else if (entry->awaitingWrite) {
        entry->awaitingWrite = false;
        entry->writePending = true;
        post(*entry, socket, MSocketSupport::FdWrite, 0, Side::Write);
    }
}

void deliverSocketEvent(const SocketEvent& event) {
    SocketEntry* entry = findEntry(event.socket);
    if (!entry || entry->serial != event.serial)
        return;
    if (event.side == Side::Read)
        entry->readPending = false;
    else if (event.side == Side::Write)
        entry->writePending = false;
    // Watch again before the owner runs, so that readiness arising inside a
    // handler that waits in a nested event loop is still reported.
    updateNotifiers(*entry);
    CSocket* owner = entry->owner;
    DispatchScope scope;
    owner->DispatchSocketEvent(event.notification, event.error);
}

void deliverLookup(const LookupEvent& event) {
    auto& m = module();
    if (!m.lookups)
        return;
    const auto it = m.lookups->find(lookupKey(event.handle));
    if (it == m.lookups->end())
        return;
    CSocket* owner = it.value();
    m.lookups->erase(it);
    if (m.lookups->isEmpty())
        m.lookups.reset();
    DispatchScope scope;
    if (event.reverse)
        owner->PostGetNameEvent(event.handle, event.result.name);
    else if (event.result.error != 0)
        owner->PostGetHostEvent(0, QString(), QString(), event.result.error);
    else
        owner->PostGetHostEvent(event.handle, event.result.address, event.result.name, 0);
}

bool Dispatcher::event(QEvent* event) {
    if (event->type() == socketEventType) {
        deliverSocketEvent(*static_cast<SocketEvent*>(event));
        return true;
    }
    if (event->type() == lookupEventType) {
        deliverLookup(*static_cast<LookupEvent*>(event));
        return true;
    }
    return QObject::event(event);
}

void createDispatcher() {
    auto& m = module();
    m.dispatcher = new Dispatcher;
    m.dispatcher->setObjectName(QStringLiteral("SOCKET_WINDOW"));
    std::lock_guard lock(postMutex());
    postTarget() = m.dispatcher;
}

void retireDispatcher() {
    auto& m = module();
    {
        std::lock_guard lock(postMutex());
        postTarget() = nullptr;
    }
    m.lookups.reset();
    Dispatcher* dispatcher = std::exchange(m.dispatcher, nullptr);
    // It may be delivering the very event that unregistered the last socket.
    if (m.dispatchDepth > 0)
        dispatcher->deleteLater();
    else
        delete dispatcher;
}

void runLookup(int32_t handle, QString text, bool reverse, std::shared_ptr<HostResolver> resolver) {
    HostLookup result;
    try {
        if (reverse) {
            result.address = text;
            result.name = resolver->NameOfAddress(text);
        } else {
            result = resolver->Resolve(text);
        }
    } catch (...) {
        result = HostLookup{11003, QString(), QString()};
    }
    std::lock_guard lock(postMutex());
    if (postTarget())
        QCoreApplication::postEvent(postTarget(),
                                    new LookupEvent(handle, reverse, std::move(result)));
}

int32_t startLookup(const QString& text, CSocket* object, bool reverse) {
    static const char* source = "MSocketSupport.ResolveHost";
    auto& m = module();
    if (!m.dispatcher) {
        setLastError(10093, MSocketSupport::SocketErrorText(10093), source);
        return 0;
    }
    m.lastLookup = m.lastLookup == INT32_MAX ? 1 : m.lastLookup + 1;
    const int32_t handle = m.lastLookup;
    if (!m.lookups)
        m.lookups = std::make_unique<QHash<LookupKey, CSocket*>>();
    m.lookups->insert(lookupKey(handle), object);
    try {
        std::thread(runLookup, handle, text, reverse, HostResolver::Current()).detach();
    } catch (const std::system_error& failure) {
        m.lookups->remove(lookupKey(handle));
        if (m.lookups->isEmpty())
            m.lookups.reset();
        const int code = MSocketSupport::SocketErrorFromErrno(failure.code().value());
        setLastError(code, MSocketSupport::SocketErrorText(code), source);
        return 0;
    }
    return handle;
}

struct ErrnoNumber {
    int errnoValue;
    int number;
};

constexpr ErrnoNumber errnoNumbers[] = {
    {EINTR, 10004},        {EACCES, 10013},          {EFAULT, 10014},
    {EINVAL, 10022},       {EMFILE, 10024},          {ENFILE, 10024},
    {EWOULDBLOCK, 10035},  {EAGAIN, 10035},          {EINPROGRESS, 10036},
    {EALREADY, 10037},     {ENOTSOCK, 10038},        {EBADF, 10038},
    {EDESTADDRREQ, 10039}, {EMSGSIZE, 10040},        {EPROTOTYPE, 10041},
    {ENOPROTOOPT, 10042},  {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044},
    {EOPNOTSUPP, 10045},   {EPFNOSUPPORT, 10046},    {EAFNOSUPPORT, 10047},
    {EADDRINUSE, 10048},   {EADDRNOTAVAIL, 10049},   {ENETDOWN, 10050},
    {ENETUNREACH, 10051},  {ENETRESET, 10052},       {ECONNABORTED, 10053},
    {ECONNRESET, 10054},   {ENOBUFS, 10055},         {ENOMEM, 10055},
    {EISCONN, 10056},      {ENOTCONN, 10057},        {EPIPE, 10058},
    {ESHUTDOWN, 10058},    {ETIMEDOUT, 10060},       {ECONNREFUSED, 10061},
    {EHOSTDOWN, 10064},    {EHOSTUNREACH, 10065},
};

struct ErrorText {
    int number;
    const char* text;
};

constexpr ErrorText errorTexts[] = {
    {10004, "Interrupted function call."},
    {10013, "Permission denied."},
    {10014, "Bad address."},
    {10022, "Invalid argument."},
    {10024, "Too many open files."},
    {10035, "Resource temporarily unavailable."},
    {10036, "Operation now in progress."},
    {10037, "Operation already in progress."},
    {10038, "Socket operation on nonsocket."},
    {10039, "Destination address required."},
    {10040, "Message too long."},
    {10041, "Protocol wrong type for socket."},
    {10042, "Bad protocol option."},
    {10043, "Protocol not supported."},
    {10044, "Socket type not supported."},
    {10045, "Operation not supported."},
    {10046, "Protocol family not supported."},
    {10047, "Address family not supported by protocol family."},
    {10048, "Address already in use."},
    {10049, "Cannot assign requested address."},
    {10050, "Network is down."},
    {10051, "Network is unreachable."},
    {10052, "Network dropped connection on reset."},
    {10053, "Software caused connection abort."},
    {10054, "Connection reset by peer."},
    {10055, "No buffer space available."},
    {10056, "Socket is already connected."},
    {10057, "Socket is not connected."},
    {10058, "Cannot send after socket shutdown."},
    {10060, "Connection timed out."},
    {10061, "Connection refused."},
    {10064, "Host is down."},
    {10065, "No route to host."},
    {10067, "Too many processes."},
    {10091, "Network subsystem is unavailable."},
    {10092, "Winsock.dll version out of range."},
    {10093, "Successful WSAStartup not yet performed."},
    {10101, "Graceful shutdown in progress."},
    {10107, "System call failure."},
    {10109, "Class type not found."},
    {11001, "Host not found."},
    {11002, "Nonauthoritative host not found."},
    {11003, "This is a nonrecoverable error."},
    {11004, "Valid name, no data record of requested type."},
};

} // namespace

int32_t MSocketSupport::StartSockets() {
    auto& m = module();
    // The system's sockets need no start-up; what stays is the bookkeeping
    // that tells the first user from the later ones.
    if (!m.started) {
        m.started = true;
        m.maxDatagram = MaxDatagram;
    }
    return m.maxDatagram;
}

void MSocketSupport::StopSockets() {
    auto& m = module();
    if (!m.sockets && m.started) {
        m.started = false;
        m.maxDatagram = 0;
    }
}

bool MSocketSupport::SocketsStarted() {
    return module().started;
}

int32_t MSocketSupport::MaxDatagramSize() {
    return module().maxDatagram;
}

bool MSocketSupport::RegisterSocket(int socket, CSocket* object, Watch watch) {
    static const char* source = "MSocketSupport.RegisterSocket";
    auto& m = module();
    if (!QCoreApplication::instance()) {
        setLastError(10004, QStringLiteral("The operation was canceled."), source);
        return false;
    }
    if (socket < 0 || !object) {
        setLastError(10038, SocketErrorText(10038), source);
        return false;
    }
    if (findEntry(socket))
        UnregisterSocket(socket);
    if (!m.dispatcher)
        createDispatcher();
    if (!m.sockets)
        m.sockets = std::make_unique<QHash<SocketKey, std::shared_ptr<SocketEntry>>>();

    auto entry = std::make_shared<SocketEntry>();
    entry->owner = object;
    entry->serial = ++m.lastSerial;
    entry->watch = watch;
    entry->reader = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Read);
    entry->writer = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Write);
    entry->reader->setEnabled(false);
    entry->writer->setEnabled(false);
    QObject::connect(entry->reader.get(), &QSocketNotifier::activated, m.dispatcher,
                     [socket] { onReadable(socket); });
    QObject::connect(entry->writer.get(), &QSocketNotifier::activated, m.dispatcher,
                     [socket] { onWritable(socket); });
    m.sockets->insert(socketKey(socket), entry);
    updateNotifiers(*entry);
    return true;
}

void MSocketSupport::UnregisterSocket(int socket) {
    auto& m = module();
    if (!m.sockets || socket < 0)
        return;
    const auto it = m.sockets->find(socketKey(socket));
    if (it == m.sockets->end())
        return;
    // The notifiers must be gone before the caller closes the descriptor.
    std::shared_ptr<SocketEntry> entry = it.value();
    m.sockets->erase(it);
    entry->reader.reset();
    entry->writer.reset();
    if (m.sockets->isEmpty()) {
        m.sockets.reset();
        retireDispatcher();
    }
}

void MSocketSupport::SetWatch(int socket, Watch watch) {
    if (SocketEntry* entry = findEntry(socket)) {
        entry->watch = watch;
        entry->closeReported = false;
        updateNotifiers(*entry);
    }
}

void MSocketSupport::AwaitWritable(int socket) {
    if (SocketEntry* entry = findEntry(socket)) {
        entry->awaitingWrite = true;
        updateNotifiers(*entry);
    }
}

void MSocketSupport::PostSocketEvent(int socket, int notification, int error) {
    if (const SocketEntry* entry = findEntry(socket))
        post(*entry, socket, notification, error, Side::Posted);
}

int32_t MSocketSupport::ResolveHost(const QString& name, CSocket* object) {
    return startLookup(name, object, false);
}

int32_t MSocketSupport::ResolveAddress(const QString& address, CSocket* object) {
    return startLookup(address, object, true);
}

void MSocketSupport::CancelLookups(CSocket* object) {
    auto& m = module();
    if (!m.lookups)
        return;
    m.lookups->removeIf([object](const auto& item) { return item.value() == object; });
    if (m.lookups->isEmpty())
        m.lookups.reset();
}

QString MSocketSupport::SocketErrorText(int code) {
    for (const auto& item : errorTexts) {
        if (item.number == code)
            return QString::fromLatin1(item.text);
    }
    return QStringLiteral("Unknown error.");
}

int MSocketSupport::SocketErrorFromErrno(int code) {
    for (const auto& item : errnoNumbers) {
        if (item.errnoValue == code)
            return item.number;
    }
    return code;
}

int MSocketSupport::SocketErrorFromLookup(int code) {
    switch (code) {
    case 0:
        return 0;
    case EAI_NONAME:
        return 11001;
    case EAI_AGAIN:
        return 11002;
    case EAI_NODATA:
    case EAI_ADDRFAMILY:
        return 11004;
    case EAI_MEMORY:
        return 10055;
    case EAI_FAMILY:
        return 10047;
    default:
        return 11003;
    }
}

int MSocketSupport::LastError() {
    return module().lastError;
}

QString MSocketSupport::LastErrorText() {
    return module().lastErrorText;
}

QString MSocketSupport::LastErrorSource() {
    return module().lastErrorSource;
}

bool MSocketSupport::DispatcherExists() {
    return module().dispatcher != nullptr;
}

int MSocketSupport::RegisteredSocketCount() {
    const auto& m = module();
    return m.sockets ? static_cast<int>(m.sockets->size()) : 0;
}

int MSocketSupport::PendingLookupCount() {
    const auto& m = module();
    return m.lookups ? static_cast<int>(m.lookups->size()) : 0;
}

} // namespace Mordal
