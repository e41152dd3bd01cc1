#include <Mordal/Comm.h>

#include "FrameBuffer.h"
#include "IKavlin.h"
#include "SerialAPI.h"
#include "TCP.h"
#include "Utilities.h"

#include <QScopedValueRollback>

#include <cerrno>
#include <exception>

namespace Mordal {

static_assert(Comm::ReceiveBufferLimit == FrameBuffer::TailLimit);

class Q_DECL_HIDDEN Comm::TransportOwner final : public ITransportOwner {
public:
    explicit TransportOwner(Comm& comm) : comm(comm) {}
    void RaiseError(int Number, const QString& Description, enCommSource Source) override {
        comm.RaiseError(Number, Description, Source);
    }
    void RaiseCommState() override { comm.RaiseCommState(); }

private:
    Comm& comm;
};

namespace {
const QString markersKey = QStringLiteral("MarkersEndOfFrame");
const QString maxFrameSizeKey = QStringLiteral("MaxFrameSize");
} // namespace

Comm::Comm(QObject* parent)
    : QObject(parent), owner(std::make_unique<TransportOwner>(*this)),
      SerialAPI1(new SerialAPI(owner.get(), this)), TCP1(new TCP(owner.get(), this)),
      serialTransport(SerialAPI1), tcpTransport(TCP1),
      receiveBuffer(std::make_unique<FrameBuffer>(DefaultMarkers)) {
    TimerChechBuffer.setInterval(10);
    TimerChechBuffer.setTimerType(Qt::PreciseTimer);
    TimerTimeOut.setSingleShot(true);
    TimerTimeOut.setTimerType(Qt::PreciseTimer);
    TimerTimeOut.setInterval(1000);
    connect(&TimerChechBuffer, &QTimer::timeout, this, &Comm::CheckBuffer);
    connect(&TimerTimeOut, &QTimer::timeout, this, &Comm::TimeOutExpired);
}

Comm::~Comm() {
    TimerChechBuffer.stop();
    TimerTimeOut.stop();
    // The host may be half destroyed by now: close without raising events.
    blockSignals(true);
    if (transport)
        transport->SetCommOpen(false);
    transport = nullptr;
}

void Comm::ReadProperties(const PropertyBag& bag) {
    SetMarkersEndOfFrame(
        bag.ReadProperty(markersKey, QString::fromLatin1(DefaultMarkers)).toString().toLatin1());
    SetMaxFrameSize(bag.ReadProperty(maxFrameSizeKey, DefaultMaxFrameSize).toInt());
    propertiesChanged = false;
}

void Comm::WriteProperties(PropertyBag& bag) const {
    bag.WriteProperty(markersKey, QString::fromLatin1(MarkersEndOfFrame()),
                      QString::fromLatin1(DefaultMarkers));
    bag.WriteProperty(maxFrameSizeKey, maxFrameSize, DefaultMaxFrameSize);
}

void Comm::SetMaxFrameSize(int32_t size) {
    maxFrameSize = size;
    propertiesChanged = true;
}

QByteArray Comm::MarkersEndOfFrame() const {
    return receiveBuffer->Markers();
}

void Comm::SetMarkersEndOfFrame(const QByteArray& value) {
    receiveBuffer->SetMarkers(value.isEmpty() ? QByteArray(DefaultMarkers) : value);
    ClearBuffer();
    propertiesChanged = true;
}

void Comm::SetCommSource(int value) {
    const QScopedValueRollback closingByHost(hostClosing, true);
    try {
        SetCommOpen(false);
        // A value that names no source is kept as written, but wires nothing.
        source = static_cast<enCommSource>(value);
        switch (source) {
        case enCommSource::None:
        case enCommSource::TCP:
        case enCommSource::Serial:
            transport = transportFor(source);
            break;
        }
    } catch (const std::exception& e) {
        reportOwnFailure(e.what());
    }
}

int16_t Comm::SerialPort() const {
    return SerialAPI1->CommPort();
}

void Comm::SetSerialPort(int16_t port) {
    SerialAPI1->SetCommPort(port);
}

int32_t Comm::SerialBaudRate() const {
    return SerialAPI1->BaudRate();
}

void Comm::SetSerialBaudRate(int32_t rate) {
    SerialAPI1->SetBaudRate(rate);
}

QString Comm::NetRemoteHost() const {
    return TCP1->RemoteHost();
}

void Comm::SetNetRemoteHost(const QString& host) {
    const QScopedValueRollback closingByHost(hostClosing, true);
    TCP1->SetRemoteHost(host);
}

int32_t Comm::NetRemotePort() const {
    return TCP1->RemotePort();
}

void Comm::SetNetRemotePort(int32_t port) {
    TCP1->SetRemotePort(port);
}

IKavlin* Comm::transportFor(enCommSource wanted) const {
    switch (wanted) {
    case enCommSource::TCP:
        return tcpTransport;
    case enCommSource::Serial:
        return serialTransport;
    case enCommSource::None:
        break;
    }
    return nullptr;
}

void Comm::UseTransport(enCommSource forSource, IKavlin* replacement) {
    if (forSource == enCommSource::TCP)
        tcpTransport = replacement;
    else if (forSource == enCommSource::Serial)
        serialTransport = replacement;
}

int32_t Comm::InputCount() const {
    return static_cast<int32_t>(receiveBuffer->Size());
}

QByteArray Comm::InputData() {
    ++bufferTakes;
    return receiveBuffer->TakeAll();
}

QByteArray Comm::PeekInputData() const {
    return receiveBuffer->Peek();
}

bool Comm::CommOpen() const {
    return transport && transport->CommOpen();
}

void Comm::SetCommOpen(bool value) {
    if (!transport)
        return;
    const QScopedValueRollback closingByHost(hostClosing, true);
    try {
        timeOutCount = 0;
        transport->SetCommOpen(value);
        PumpMessages();
        // Events run while pumping may have rewired the control.
        polling = CommOpen();
        if (polling)
            TimerChechBuffer.start();
        else
            TimerChechBuffer.stop();
        RaiseCommState();
    } catch (const std::exception& e) {
        reportOwnFailure(e.what());
    }
}

void Comm::ClearBuffer() {
    if (transport)
        transport->InputData();
    receiveBuffer->Clear();
    ++bufferTakes;
}

void Comm::OutputData(const QByteArray& strToSent, int32_t TimeOut) {
    if (!CommOpen())
        return;
    PumpMessages();
    if (!CommOpen())
        return;
    transport->OutputData(strToSent);
    // A time-out of zero or less asks for no reply watch.
    if (TimeOut > 0) {
        TimerTimeOut.setInterval(TimeOut);
        TimerTimeOut.start();
    } else {
        TimerTimeOut.stop();
    }
}

void Comm::RaiseCommState() {
    // A connection that completes after the open stopped waiting for it is
    // polled from then on, like one made within the wait.
    if (CommOpen() && !polling) {
        polling = true;
        TimerChechBuffer.start();
    }
    if ((CommOpen() ? 1 : 0) == lastReportedState)
        return;
    // A link lost on its own: what arrived before the loss reaches the host
    // before the news of it, so a reading in flight is never dropped.
    if (lastReportedState == 1 && !hostClosing && !delivering && transport) {
        receiveBuffer->Append(transport->InputData());
        deliverFrames(receiveBuffer->CompleteFrames());
    }
    const int16_t state = CommOpen() ? 1 : 0;
    if (state == lastReportedState)
        return;
    lastReportedState = state;
    emit CommIsOpen(state != 0);
}

void Comm::RaiseError(int32_t Number, const QString& Description, enCommSource Source) {
    try {
        if (Number == 0)
            Number = LastSystemError();
        RaiseCommState();
        const QString systemText = SystemMessageText(Number);
        emit ErrorComm(Number, systemText.isEmpty() ? Description : systemText, Source);
    } catch (...) {
        // An error report must never become an error itself.
    }
}

void Comm::About() {
    ShowLibraryVersion();
}

void Comm::CheckBuffer() {
    // A handler inside a delivery may let this tick run: the delivery goes on
    // by itself.
    if (source == enCommSource::None || delivering)
        return;
    try {
        TimerChechBuffer.stop();
        if (transport)
            receiveBuffer->Append(transport->InputData());
        deliverFrames(CountFrames());
        if (polling)
            TimerChechBuffer.start();
    } catch (const std::exception& e) {
        TimerChechBuffer.stop();
        polling = false;
        reportOwnFailure(e.what());
    }
}

void Comm::deliverFrames(int frames) {
    if (frames <= 0)
        return;
    const QScopedValueRollback inDelivery(delivering, true);
    TimerTimeOut.stop();
    timeOutCount = 0;
    while (frames > 0) {
        const QByteArray frame = receiveBuffer->Front();
        const quint64 takesBefore = bufferTakes;
        bool clearFrameData = true;
        emit OnComm(frame, frames, static_cast<int>(receiveBuffer->Size()), clearFrameData);
        // A handler that keeps the frame gets it again at the next poll; one
        // that took or cleared the buffer itself leaves it as it left it.
        if (!clearFrameData || bufferTakes != takesBefore)
            return;
        receiveBuffer->DropFront();
        // A handler that unwired the source ends the delivery with its frame.
        frames = source == enCommSource::None ? 0 : receiveBuffer->CompleteFrames();
    }
}

int Comm::CountFrames() {
    try {
        const int count = receiveBuffer->CompleteFrames();
        if (count == 0 && receiveBuffer->Size() > maxFrameSize) {
            PumpMessages();
            emit IncorrectFrames();
            PumpMessages();
        }
        return count;
    } catch (const std::exception& e) {
        reportOwnFailure(e.what());
        return 0;
    }
}

void Comm::TimeOutExpired() {
    TimerTimeOut.stop();
    ++timeOutCount;
    if (CountFrames() == 0)
        emit TimeOut(TimerTimeOut.interval(), timeOutCount);
}

void Comm::reportOwnFailure(const char* what) {
    RaiseError(EIO, QString::fromLocal8Bit(what), source);
}

} // namespace Mordal
