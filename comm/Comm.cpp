#include <Mordal/Comm.h>

#include "CommPrivate.h"
#include "Utilities.h"

#include <QScopedValueRollback>

#include <cerrno>
#include <exception>

namespace Mordal {

static_assert(Comm::ReceiveBufferLimit == FrameBuffer::TailLimit);

namespace {
const QString markersKey = QStringLiteral("MarkersEndOfFrame");
const QString maxFrameSizeKey = QStringLiteral("MaxFrameSize");
} // namespace

CommPrivate::CommPrivate(Comm& comm)
    : q(comm), SerialAPI1(std::make_unique<SerialAPI>(this)), TCP1(std::make_unique<TCP>(this)) {
    serialTransport = SerialAPI1.get();
    tcpTransport = TCP1.get();
    TimerChechBuffer.setInterval(10);
    TimerChechBuffer.setTimerType(Qt::PreciseTimer);
    TimerTimeOut.setSingleShot(true);
    TimerTimeOut.setTimerType(Qt::PreciseTimer);
    TimerTimeOut.setInterval(1000);
    QObject::connect(&TimerChechBuffer, &QTimer::timeout, &q, [this] { CheckBuffer(); });
    QObject::connect(&TimerTimeOut, &QTimer::timeout, &q, [this] { TimeOutExpired(); });
}

Comm::Comm(QObject* parent) : QObject(parent), d(std::make_unique<CommPrivate>(*this)) {}

Comm::~Comm() {
    d->TimerChechBuffer.stop();
    d->TimerTimeOut.stop();
    // The host may be half destroyed by now: close without raising events.
    blockSignals(true);
    if (d->transport)
        d->transport->SetCommOpen(false);
    d->transport = nullptr;
}

void Comm::ReadProperties(const PropertyBag& bag) {
    SetMarkersEndOfFrame(
        bag.ReadProperty(markersKey, QString::fromLatin1(DefaultMarkers)).toString().toLatin1());
    SetMaxFrameSize(bag.ReadProperty(maxFrameSizeKey, DefaultMaxFrameSize).toInt());
    d->propertiesChanged = false;
}

void Comm::WriteProperties(PropertyBag& bag) const {
    bag.WriteProperty(markersKey, QString::fromLatin1(MarkersEndOfFrame()),
                      QString::fromLatin1(DefaultMarkers));
    bag.WriteProperty(maxFrameSizeKey, d->maxFrameSize, DefaultMaxFrameSize);
}

bool Comm::PropertiesChanged() const {
    return d->propertiesChanged;
}

int32_t Comm::MaxFrameSize() const {
    return d->maxFrameSize;
}

void Comm::SetMaxFrameSize(int32_t size) {
    d->maxFrameSize = size;
    d->propertiesChanged = true;
}

QByteArray Comm::MarkersEndOfFrame() const {
    return d->receiveBuffer.Markers();
}

void Comm::SetMarkersEndOfFrame(const QByteArray& value) {
    d->receiveBuffer.SetMarkers(value.isEmpty() ? QByteArray(DefaultMarkers) : value);
    ClearBuffer();
    d->propertiesChanged = true;
}

enCommSource Comm::CommSource() const {
    return d->source;
}

void Comm::SetCommSource(int value) {
    const QScopedValueRollback closingByHost(d->hostClosing, true);
    try {
        SetCommOpen(false);
        // A value that names no source is kept as written, but wires nothing.
        d->source = static_cast<enCommSource>(value);
        switch (d->source) {
        case enCommSource::None:
        case enCommSource::TCP:
        case enCommSource::Serial:
            d->transport = d->transportFor(d->source);
            break;
        }
    } catch (const std::exception& e) {
        d->reportOwnFailure(e.what());
    }
}

int16_t Comm::SerialPort() const {
    return d->SerialAPI1->CommPort();
}

void Comm::SetSerialPort(int16_t port) {
    d->SerialAPI1->SetCommPort(port);
}

int32_t Comm::SerialBaudRate() const {
    return d->SerialAPI1->BaudRate();
}

void Comm::SetSerialBaudRate(int32_t rate) {
    d->SerialAPI1->SetBaudRate(rate);
}

LineFormat Comm::SerialLineFormat() const {
    return d->SerialAPI1->Format();
}

void Comm::SetSerialLineFormat(const LineFormat& format) {
    d->SerialAPI1->SetFormat(format);
}

QString Comm::NetRemoteHost() const {
    return d->TCP1->RemoteHost();
}

void Comm::SetNetRemoteHost(const QString& host) {
    const QScopedValueRollback closingByHost(d->hostClosing, true);
    d->TCP1->SetRemoteHost(host);
}

int32_t Comm::NetRemotePort() const {
    return d->TCP1->RemotePort();
}

void Comm::SetNetRemotePort(int32_t port) {
    d->TCP1->SetRemotePort(port);
}

int32_t Comm::InputCount() const {
    return static_cast<int32_t>(d->receiveBuffer.Size());
}

QByteArray Comm::InputData() {
    ++d->bufferTakes;
    return d->receiveBuffer.TakeAll();
}

QByteArray Comm::PeekInputData() const {
    return d->receiveBuffer.Peek();
}

bool Comm::CommOpen() const {
    return d->transport && d->transport->CommOpen();
}

void Comm::SetCommOpen(bool value) {
    if (!d->transport)
        return;
    const QScopedValueRollback closingByHost(d->hostClosing, true);
    try {
        d->timeOutCount = 0;
        d->transport->SetCommOpen(value);
        PumpMessages();
        // Events run while pumping may have rewired the control.
        d->polling = CommOpen();
        if (d->polling)
            d->TimerChechBuffer.start();
        else
            d->TimerChechBuffer.stop();
        RaiseCommState();
    } catch (const std::exception& e) {
        d->reportOwnFailure(e.what());
    }
}

void Comm::ClearBuffer() {
    if (d->transport)
        d->transport->InputData();
    d->receiveBuffer.Clear();
    ++d->bufferTakes;
}

void Comm::OutputData(const QByteArray& strToSent, int32_t TimeOut) {
    if (!CommOpen())
        return;
    PumpMessages();
    if (!CommOpen())
        return;
    d->transport->OutputData(strToSent);
    // A time-out of zero or less asks for no reply watch.
    if (TimeOut > 0) {
        d->TimerTimeOut.setInterval(TimeOut);
        d->TimerTimeOut.start();
    } else {
        d->TimerTimeOut.stop();
    }
}

void Comm::RaiseCommState() {
    // A connection that completes after the open stopped waiting for it is
    // polled from then on, like one made within the wait.
    if (CommOpen() && !d->polling) {
        d->polling = true;
        d->TimerChechBuffer.start();
    }
    if ((CommOpen() ? 1 : 0) == d->lastReportedState)
        return;
    // A link lost on its own: what arrived before the loss reaches the host
    // before the news of it, so a reading in flight is never dropped.
    if (d->lastReportedState == 1 && !d->hostClosing && !d->delivering && d->transport) {
        d->receiveBuffer.Append(d->transport->InputData());
        d->deliverFrames(d->receiveBuffer.CompleteFrames());
    }
    const int16_t state = CommOpen() ? 1 : 0;
    if (state == d->lastReportedState)
        return;
    d->lastReportedState = state;
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

IKavlin* CommPrivate::transportFor(enCommSource wanted) const {
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

void CommPrivate::UseTransport(enCommSource forSource, IKavlin* replacement) {
    if (forSource == enCommSource::TCP)
        tcpTransport = replacement;
    else if (forSource == enCommSource::Serial)
        serialTransport = replacement;
}

void CommPrivate::CheckBuffer() {
    // A handler inside a delivery may let this tick run: the delivery goes on
    // by itself.
    if (source == enCommSource::None || delivering)
        return;
    try {
        TimerChechBuffer.stop();
        if (transport)
            receiveBuffer.Append(transport->InputData());
        deliverFrames(CountFrames());
        if (polling)
            TimerChechBuffer.start();
    } catch (const std::exception& e) {
        TimerChechBuffer.stop();
        polling = false;
        reportOwnFailure(e.what());
    }
}

void CommPrivate::deliverFrames(int frames) {
    if (frames <= 0)
        return;
    const QScopedValueRollback inDelivery(delivering, true);
    TimerTimeOut.stop();
    timeOutCount = 0;
    while (frames > 0) {
        const QByteArray frame = receiveBuffer.Front();
        const quint64 takesBefore = bufferTakes;
        bool clearFrameData = true;
        emit q.OnComm(frame, frames, static_cast<int>(receiveBuffer.Size()), clearFrameData);
        // A handler that keeps the frame gets it again at the next poll; one
        // that took or cleared the buffer itself leaves it as it left it.
        if (!clearFrameData || bufferTakes != takesBefore)
            return;
        receiveBuffer.DropFront();
        // A handler that unwired the source ends the delivery with its frame.
        frames = source == enCommSource::None ? 0 : receiveBuffer.CompleteFrames();
    }
}

int CommPrivate::CountFrames() {
    try {
        const int count = receiveBuffer.CompleteFrames();
        if (count == 0 && receiveBuffer.Size() > maxFrameSize) {
            PumpMessages();
            emit q.IncorrectFrames();
            PumpMessages();
        }
        return count;
    } catch (const std::exception& e) {
        reportOwnFailure(e.what());
        return 0;
    }
}

void CommPrivate::TimeOutExpired() {
    TimerTimeOut.stop();
    ++timeOutCount;
    if (CountFrames() == 0)
        emit q.TimeOut(TimerTimeOut.interval(), timeOutCount);
}

void CommPrivate::reportOwnFailure(const char* what) {
    q.RaiseError(EIO, QString::fromLocal8Bit(what), source);
}

} // namespace Mordal
