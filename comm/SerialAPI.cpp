#include "SerialAPI.h"

#include "SerialPortDevice.h"
#include "Utilities.h"

namespace Mordal {

namespace Device = SerialPortDevice;

namespace {
constexpr int readChunk = 1024;
constexpr int maxChunksPerStep = 64;
constexpr int settleMs = 150;
} // namespace

SerialAPI::SerialAPI(ITransportOwner* owner, QObject* parent) : QObject(parent), owner(owner) {
    TimerBuffer.setInterval(50);
    TimerBuffer.setTimerType(Qt::PreciseTimer);
    connect(&TimerBuffer, &QTimer::timeout, this, [this] { readStep(false); });
}

SerialAPI::~SerialAPI() {
    TimerBuffer.stop();
    closePort();
}

void SerialAPI::SetCommPort(int16_t port) {
    if (!CommOpen())
        commPort = port;
}

void SerialAPI::SetBaudRate(int32_t rate) {
    if (!CommOpen())
        baudRate = rate;
}

QByteArray SerialAPI::DeviceName() const {
    return Device::DeviceName(commPort);
}

QByteArray SerialAPI::SettingsText() const {
    return Device::SettingsText(
        {baudRate, static_cast<char>(lineFormat.parity), lineFormat.dataBits, lineFormat.stopBits});
}

void SerialAPI::SetCommOpen(bool value) {
    if (CommOpen() && !value)
        closePort();
    else if (!CommOpen() && value)
        openPort();
    receiveBuffer.clear();
    if (CommOpen())
        TimerBuffer.start();
    else
        TimerBuffer.stop();
}

bool SerialAPI::openPort() {
    int fd = -1;
    int code = Device::OpenExclusive(commPort, fd);
    if (code == 0) {
        handle = fd;
        // The line is configured from the settings text, as a user could
        // type it, so the composed text is what really sets the port.
        const auto settings = Device::BuildLineSettings(SettingsText());
        code = settings ? Device::ApplyLineSettings(fd, *settings) : EINVAL;
        if (code == 0)
            code = Device::Purge(fd);
    }
    if (code != 0) {
        closePort();
        SetLastSystemError(code);
        reportFailure(code);
        return false;
    }
    // Whatever the device had queued before the open is thrown away.
    DelayPumping(settleMs);
    readStep(true);
    return CommOpen();
}

void SerialAPI::closePort() {
    if (handle >= 0) {
        Device::Close(handle);
        handle = -1;
    }
}

void SerialAPI::readStep(bool discard) {
    // Everything queued is taken, one bounded chunk at a time, so that a fast
    // line never backs up in the driver between two steps.
    bool arrived = false;
    for (int chunk = 0; chunk < maxChunksPerStep && handle >= 0; ++chunk) {
        int queued = 0;
        if (int code = Device::QueuedInput(handle, queued); code != 0) {
            reportFailure(code);
            return;
        }
        if (queued <= 0)
            break;
        char buffer[readChunk];
        int got = 0;
        if (int code = Device::Read(handle, buffer, std::min(queued, readChunk), got); code != 0) {
            reportFailure(code);
            return;
        }
        if (got <= 0)
            break;
        receiveBuffer.append(buffer, got);
        arrived = true;
    }
    if (!arrived)
        return;
    if (discard)
        receiveBuffer.clear();
    emit DataArrived();
}

QByteArray SerialAPI::InputData() {
    QByteArray taken;
    taken.swap(receiveBuffer);
    return taken;
}

void SerialAPI::OutputData(const QByteArray& text) {
    lastSent = text;
    if (!CommOpen())
        return;
    if (int code = Device::Write(handle, text); code != 0) {
        reportFailure(code);
        return;
    }
    emit DataSent(lastSent);
    if (!TimerBuffer.isActive())
        TimerBuffer.start();
}

void SerialAPI::reportFailure(int code) {
    // A device that is gone fails every later call too: it is closed here,
    // so that the owner reports the loss once and can open it anew later.
    // What was read before stays for the owner to take.
    if (Device::MeansDeviceGone(code) && handle >= 0) {
        TimerBuffer.stop();
        closePort();
    }
    if (owner)
        owner->RaiseError(code, QString(), enCommSource::Serial);
}

} // namespace Mordal
