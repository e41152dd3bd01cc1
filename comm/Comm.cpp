#include "Comm.h"

#include "SerialAPI.h"
#include "TCP.h"
#include "Utilities.h"

#include <cerrno>
#include <exception>

namespace Mordal {

namespace {
const QString markersKey = QStringLiteral("MarkersEndOfFrame");
const QString maxFrameSizeKey = QStringLiteral("MaxFrameSize");
} // namespace

Comm::Comm(QObject* parent)
    : QObject(parent), SerialAPI1(new SerialAPI(this, this)), TCP1(new TCP(this, this)) {
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
    bag.WriteProperty(markersKey, QString::fromLatin1(markers),
                      QString::fromLatin1(DefaultMarkers));
    bag.WriteProperty(maxFrameSizeKey, maxFrameSize, DefaultMaxFrameSize);
}

void Comm::SetMaxFrameSize(int32_t size) {
    maxFrameSize = size;
    propertiesChanged = true;
}

void Comm::SetMarkersEndOfFrame(const QByteArray& value) {
    markers = value.isEmpty() ? QByteArray(DefaultMarkers) : value;
    ClearBuffer();
    propertiesChanged = true;
}

void Comm::SetCommSource(int value) {
    try {
        SetCommOpen(false);
        switch (value) {
        case int(enCommSource::None):
            transport = nullptr;
            break;
        case int(enCommSource::TCP):
            transport = TCP1;
            break;
        case int(enCommSource::Serial):
            transport = SerialAPI1;
            break;
        default:
            return;
        }
        source = static_cast<enCommSource>(value);
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
    TCP1->SetRemoteHost(host);
}

int32_t Comm::NetRemotePort() const {
    return TCP1->RemotePort();
}

void Comm::SetNetRemotePort(int32_t port) {
    TCP1->SetRemotePort(port);
}

QByteArray Comm::InputData() {
    QByteArray taken;
    taken.swap(receiveBuffer);
    return taken;
}

bool Comm::CommOpen() const {
    return transport && transport->CommOpen();
}

void Comm::SetCommOpen(bool value) {
    if (!transport)
        return;
    try {
        timeOutCount = 0;
        transport->SetCommOpen(value);
        PumpMessages();
        // Events run while pumping may have rewired the control.
        if (CommOpen())
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
    receiveBuffer.clear();
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
    if (source == enCommSource::None)
        return;
    try {
        TimerChechBuffer.stop();
        if (transport)
            receiveBuffer.append(transport->InputData());
        boundReceiveBuffer();
        const int frames = CountFrames();
        if (frames == 0) {
            TimerChechBuffer.start();
            return;
        }
        const qsizetype position = receiveBuffer.indexOf(markers);
        TimerTimeOut.stop();
        timeOutCount = 0;
        const QByteArray frame = receiveBuffer.left(position + markers.size());
        bool clearFrameData = true;
        emit OnComm(frame, frames, static_cast<int>(receiveBuffer.size()), clearFrameData);
        // The handler may have taken the buffer itself; then it stays as left.
        if (clearFrameData && receiveBuffer.startsWith(frame))
            receiveBuffer.remove(0, frame.size());
        TimerChechBuffer.start();
    } catch (const std::exception& e) {
        TimerChechBuffer.stop();
        reportOwnFailure(e.what());
    }
}

int Comm::CountFrames() {
    try {
        if (receiveBuffer.size() < 3)
            return 0;
        int count = 0;
        for (qsizetype at = receiveBuffer.indexOf(markers); at >= 0;
             at = receiveBuffer.indexOf(markers, at + markers.size()))
            ++count;
        if (count == 0 && receiveBuffer.size() > maxFrameSize) {
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

void Comm::boundReceiveBuffer() {
    if (receiveBuffer.size() > ReceiveBufferLimit)
        receiveBuffer.remove(0, receiveBuffer.size() - ReceiveBufferLimit);
}

void Comm::reportOwnFailure(const char* what) {
    RaiseError(EIO, QString::fromLocal8Bit(what), source);
}

} // namespace Mordal
