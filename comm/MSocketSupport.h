#pragma once

#include <QString>
#include <cstdint>

namespace Mordal {

class CSocket;

// Serves every CSocket of the process: keeps the sockets layer's started
// flag, watches each registered socket and turns its readiness into posted
// events on the GUI thread, and runs host-name lookups on a lookup thread.
// One hidden dispatcher object receives all of these events; it exists
// exactly while at least one socket is registered.
class MSocketSupport {
public:
    // Notification kinds as a socket's owner receives them.
    enum Notification : int {
        FdRead = 1,
        FdWrite = 2,
        FdAccept = 8,
        FdConnect = 16,
        FdClose = 32,
    };

    // What a registered socket is waiting for; decides which readiness the
    // dispatcher watches and how it reads it.
    enum class Watch {
        Idle,       // created, not connected: nothing to report
        Connecting, // writable means the connect finished (well or not)
        Connected,  // stream: data, the peer's close, a reset
        Listening,  // readable means a connection waits to be accepted
        Datagram,   // readable means a datagram arrived
    };

    static constexpr int32_t MaxDatagram = 65507;

    MSocketSupport() = delete;

    // Answers the maximum datagram size, or 0 when the sockets layer cannot
    // be used (no application object to deliver events).
    static int32_t StartSockets();
    static void StopSockets();
    static bool SocketsStarted();
    static int32_t MaxDatagramSize();

    static bool RegisterSocket(int socket, CSocket* object, Watch watch);
    static void UnregisterSocket(int socket);
    static void SetWatch(int socket, Watch watch);
    // The owner has bytes the socket did not take: report write-ready once
    // the socket can take more.
    static void AwaitWritable(int socket);
    static void PostSocketEvent(int socket, int notification, int error);

    // Start an asynchronous lookup; the result reaches object's
    // PostGetHostEvent (or PostGetNameEvent). Answers the lookup handle, or 0
    // when the lookup could not start (see LastError).
    static int32_t ResolveHost(const QString& name, CSocket* object);
    static int32_t ResolveAddress(const QString& address, CSocket* object);
    // Forget every lookup of this object; late results are dropped.
    static void CancelLookups(CSocket* object);

    static QString SocketErrorText(int code);
    // errno and getaddrinfo failures in the socket error numbering; an errno
    // without a socket number keeps its own value.
    static int SocketErrorFromErrno(int code);
    static int SocketErrorFromLookup(int code);

    // Failure of the last RegisterSocket or ResolveHost.
    static int LastError();
    static QString LastErrorText();
    static QString LastErrorSource();

    static bool DispatcherExists();
    static int RegisteredSocketCount();
    static int PendingLookupCount();
};

} // namespace Mordal
