#pragma once

#include "MSocketSupport.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QVariant>

#include <optional>

namespace Mordal {

// An event-driven socket: every call returns at once and completions arrive
// as signals from the GUI thread's event loop. A TCP client, a listener and
// its accepted connections, or a UDP endpoint. Bytes are characters one to
// one; text is Latin-1, never UTF-8.
class CSocket : public QObject {
    Q_OBJECT
public:
    // Types GetData and PeekData can deliver. The numbers are fixed so that
    // a stored choice keeps its meaning.
    enum class enDataType : int32_t {
        Int16 = 2,
        Int32 = 3,
        Single = 4,
        Double = 5,
        // 64-bit count of ten-thousandths, delivered as a qint64.
        Currency = 6,
        // Days since 30 December 1899 as an 8-byte double, delivered as a QDateTime.
        Date = 7,
        Text = 8,
        Boolean = 11,
        Byte = 17,
        ByteArray = 8209,
    };

    enum SocketState : int32_t {
        Closed = 0,
        Listening = 2,
        ResolvingHost = 4,
        HostResolved = 5,
        Connecting = 6,
        Connected = 7,
        Closing = 8,
        Error = 9,
    };

    enum enProtocol : int32_t { TcpProtocol = 0, UdpProtocol = 1 };

    explicit CSocket(QObject* parent = nullptr);
    ~CSocket() override;

    int32_t State() const { return state; }
    int32_t SocketHandle() const { return handle; }
    int32_t RemotePort() const { return remotePort; }
    void SetRemotePort(int32_t port) { remotePort = port; }
    QString RemoteHostIP() const { return remoteHostIP; }
    QString RemoteHost() const { return remoteHost; }
    // For UDP a dotted address creates the socket and switches broadcast on
    // for addresses ending in ".255"; a failure of that switch is thrown as
    // std::system_error (the only failure a CSocket call hands its caller).
    void SetRemoteHost(const QString& host);
    int32_t Protocol() const { return protocol; }
    void SetProtocol(int32_t value);
    int32_t LocalPort() const { return localPort; }
    void SetLocalPort(int32_t port) { localPort = port; }
    QString LocalIP() const { return localIP; }
    QString LocalHostName() const { return localHostName; }
    int32_t BytesReceived() const { return static_cast<int32_t>(receiveBuffer.size()); }

    void Connect(const QString& remoteHost = QString(),
                 std::optional<int32_t> remotePort = std::nullopt);
    void CloseSocket();
    // Accepts QByteArray (sent as is), QString (Latin-1), bool (2 bytes),
    // qint16, int, float, double, qint64 (a currency), QDateTime or QDate, and
    // a single byte as uchar or char.
    void SendData(const QVariant& data);
    void GetData(QVariant& data, enDataType type = enDataType::Text, int32_t maxLen = 0);
    void PeekData(QVariant& data, enDataType type = enDataType::Text, int32_t maxLen = 0);
    void Listen();
    void Bind(int32_t localPort = 0, const QString& localIP = QString());
    void Accept(int32_t requestID);
    int32_t vbSocket();

    // Entry points of the socket support: a lookup result and a socket
    // notification for this object.
    void PostGetHostEvent(int32_t lookupHandle, const QString& address, const QString& hostName,
                          int32_t error);
    void PostGetNameEvent(int32_t lookupHandle, const QString& hostName);
    void DispatchSocketEvent(int notification, int error);

    static bool IsDottedAddress(const QString& text);
    static QByteArray ToBytes(const QVariant& data);
    static QVariant FromBytes(const QByteArray& bytes, enDataType type);

signals:
    void OnClose();
    void OnConnect();
    void OnConnectionRequest(int32_t requestID);
    void OnDataArrival(int32_t bytesTotal);
    void OnError(int16_t Number, QString& Description, int32_t Scode, const QString& Source,
                 const QString& HelpFile, int32_t HelpContext, bool& CancelDisplay);
    void OnSendComplete();
    void OnSendProgress(int32_t bytesSent, int32_t bytesRemaining);
    // Every change of State, for observers that follow the connection.
    void StateChanged(int32_t State);

private:
    enum class AfterLookup { Connect, Send };

    bool EnsureSocket();
    int32_t StartLookup();
    void DestroySocket();
    void SendBuffered();
    void TakeData(QVariant& data, enDataType type, int32_t maxLen, bool remove);
    int RecvIntoBuffer();
    void ConnectTo(const QString& address, const char* source);
    void HandleRead();
    void HandleWrite();
    void HandleAccept();
    void HandleConnect();
    void HandleClose();
    void ReadLocalAddress();
    void ReadBufferSizes();
    void RaiseError(int number, const QString& source);
    void SetState(int32_t value);
    void SwitchBroadcast(bool on);
    bool BindSocket();

    int handle = -1;
    int32_t state = Closed;
    int32_t protocol = TcpProtocol;
    QString remoteHost;
    QString remoteHostIP;
    int32_t remotePort = 0;
    QString localIP;
    int32_t localPort = 0;
    QString localHostName;
    QByteArray receiveBuffer;
    QByteArray sendBuffer;
    bool sending = false;
    bool bound = false;
    bool broadcast = false;
    int32_t pendingLookup = 0;
    int32_t pendingNameLookup = 0;
    AfterLookup afterLookup = AfterLookup::Connect;
    int32_t receiveSize = 0;
    int32_t sendSize = 0;
    int32_t maxDatagramSize = 0;
};

} // namespace Mordal
