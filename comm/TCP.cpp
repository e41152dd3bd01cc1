#include "TCP.h"

#include "CSocket.h"
#include "Utilities.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

#include <exception>
#include <system_error>

namespace Mordal {

namespace {

constexpr int waitSliceMs = 5;

// Sleeps until an event arrives or the slice ends, so that the connection
// wait keeps the loop running without spinning the processor.
void waitForEvents(int ms) {
    QTimer guard;
    guard.setSingleShot(true);
    guard.start(ms);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

} // namespace

TCP::TCP(ITransportOwner* owner, QObject* parent)
    : QObject(parent), WS(new CSocket(this)), owner(owner) {
    WS->SetProtocol(CSocket::TcpProtocol);
    WS->SetLocalPort(0);
    if (WS->State() != CSocket::Closed)
        WS->CloseSocket();
    connect(WS, &CSocket::OnConnect, this, &TCP::onConnect);
    connect(WS, &CSocket::OnClose, this, &TCP::onClose);
    connect(WS, &CSocket::OnDataArrival, this, &TCP::onDataArrival);
    connect(WS, &CSocket::OnSendComplete, this, &TCP::onSendComplete);
    connect(WS, &CSocket::OnError, this, &TCP::onError, Qt::DirectConnection);
}

TCP::~TCP() {
    // Nobody listens any more: close without calling back the owner.
    WS->disconnect(this);
    if (WS->State() != CSocket::Closed)
        WS->CloseSocket();
}

QString TCP::RemoteHost() const {
    return WS->RemoteHost();
}

void TCP::SetRemoteHost(const QString& host) {
    try {
        const bool wasOpen = CommOpen();
        if (WS->State() != CSocket::Closed)
            WS->CloseSocket();
        PumpMessages();
        WS->SetRemoteHost(host);
        // The host learns at once that the old link is gone, even if the
        // peer is slow to finish the close.
        if (wasOpen)
            raiseCommState();
    } catch (const std::system_error& failure) {
        const int number = MSocketSupport::SocketErrorFromErrno(failure.code().value());
        reportFailure(number, MSocketSupport::SocketErrorText(number));
    } catch (const std::exception& failure) {
        reportFailure(0, QString::fromLocal8Bit(failure.what()));
    }
}

int32_t TCP::RemotePort() const {
    return WS->RemotePort();
}

void TCP::SetRemotePort(int32_t port) {
    try {
        if (WS->State() != CSocket::Connected)
            WS->SetRemotePort(port);
    } catch (const std::exception& failure) {
        reportFailure(0, QString::fromLocal8Bit(failure.what()));
    }
}

bool TCP::CommOpen() const {
    return WS->State() == CSocket::Connected;
}

void TCP::SetCommOpen(bool value) {
    try {
        if (WS->RemoteHost().isEmpty() || WS->RemotePort() == 0)
            return;
        // Opening a link that is up keeps it, as the serial port does: a
        // reconnect would drop a working connection for nothing, and a new
        // connect must never overlap the shutdown of the old one. Any other
        // state (closing, connecting, failed) is torn down at once below, so
        // the new attempt always starts on a fresh socket.
        if (value && WS->State() == CSocket::Connected)
            return;
        if (WS->State() != CSocket::Closed)
            WS->CloseSocket();
        PumpMessages();
        if (!value)
            return;
        received.clear();
        PumpMessages();
        WS->Connect();
        WaitForConnection();
    } catch (const std::exception& failure) {
        reportFailure(0, QString::fromLocal8Bit(failure.what()));
    }
}

void TCP::WaitForConnection() {
    const QPointer<CSocket> socket(WS);
    const int64_t start = MonotonicMs();
    for (;;) {
        for (int pass = 0; pass < 3; ++pass)
            PumpMessages();
        if (!socket)
            return;
        const int32_t state = socket->State();
        if (state == CSocket::Connected || state == CSocket::Closed || state == CSocket::Error)
            return;
        if (!StillWithin(start, ConnectWaitMs))
            return;
        waitForEvents(waitSliceMs);
    }
}

QByteArray TCP::InputData() {
    QByteArray taken;
    taken.swap(received);
    return taken;
}

void TCP::OutputData(const QByteArray& text) {
    lastSent = text;
    if (CommOpen())
        WS->SendData(QVariant(text));
}

void TCP::onConnect() {
    raiseCommState();
}

void TCP::onClose() {
    if (WS->State() != CSocket::Closed)
        WS->CloseSocket();
    raiseCommState();
}

void TCP::onDataArrival() {
    QVariant data;
    WS->GetData(data, CSocket::enDataType::ByteArray);
    // Kept whole: the owner's frame buffer alone decides what may be dropped.
    received.append(data.toByteArray());
    emit DataArrived();
}

void TCP::onSendComplete() {
    emit DataSent(lastSent);
}

void TCP::onError(int16_t number, QString& description, int32_t, const QString&, const QString&,
                  int32_t, bool& cancelDisplay) {
    cancelDisplay = true;
    if (WS->State() != CSocket::Closed)
        WS->CloseSocket();
    reportFailure(number, description);
}

void TCP::reportFailure(int number, const QString& description) {
    if (owner)
        owner->RaiseError(number, description, enCommSource::TCP);
}

void TCP::raiseCommState() {
    if (owner)
        owner->RaiseCommState();
}

} // namespace Mordal
