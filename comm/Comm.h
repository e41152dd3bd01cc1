#pragma once

#include "CommEnums.h"
#include "FrameBuffer.h"
#include "IKavlin.h"
#include "PropertyBag.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

namespace Mordal {

class SerialAPI;
class TCP;

// The public link control: one text channel to the balance over a serial
// port or a TCP connection, cut into frames at the end markers and handed to
// the host at each 10 ms poll, every waiting frame in order.
class MORDAL_EXPORT Comm : public QObject, public ITransportOwner {
    Q_OBJECT
public:
    // A stream that never brings an end marker keeps only this many of its
    // newest characters.
    static constexpr int ReceiveBufferLimit = FrameBuffer::TailLimit;
    static constexpr int DefaultMaxFrameSize = 50;
    static constexpr const char* DefaultMarkers = "\r\n";

    explicit Comm(QObject* parent = nullptr);
    ~Comm() override;

    // Persisted properties "MarkersEndOfFrame" and "MaxFrameSize".
    void ReadProperties(const PropertyBag& bag);
    void WriteProperties(PropertyBag& bag) const;
    bool PropertiesChanged() const { return propertiesChanged; }

    int32_t MaxFrameSize() const { return maxFrameSize; }
    void SetMaxFrameSize(int32_t size);
    QByteArray MarkersEndOfFrame() const { return receiveBuffer.Markers(); }
    void SetMarkersEndOfFrame(const QByteArray& value);

    enCommSource CommSource() const { return source; }
    // Takes any number: values that name no source keep the current wiring.
    void SetCommSource(int value);

    int16_t SerialPort() const;
    void SetSerialPort(int16_t port);
    int32_t SerialBaudRate() const;
    void SetSerialBaudRate(int32_t rate);
    QString NetRemoteHost() const;
    void SetNetRemoteHost(const QString& host);
    int32_t NetRemotePort() const;
    void SetNetRemotePort(int32_t port);

    int32_t InputCount() const { return static_cast<int32_t>(receiveBuffer.Size()); }
    QByteArray InputData();
    QByteArray PeekInputData() const { return receiveBuffer.Peek(); }

    bool CommOpen() const;
    void SetCommOpen(bool value);

    void ClearBuffer();
    void OutputData(const QByteArray& strToSent, int32_t TimeOut = 1000);
    void RaiseCommState() override;
    void RaiseError(int32_t Number, const QString& Description, enCommSource Source) override;
    void About();

    int32_t TimeOutCount() const { return timeOutCount; }
    IKavlin* WiredTransport() const { return transport; }

    SerialAPI* const SerialAPI1;
    TCP* const TCP1;
    QTimer TimerChechBuffer;
    QTimer TimerTimeOut;

signals:
    void OnComm(const QByteArray& FrameData, int FramesCount, int BufferCount,
                bool& ClearFrameData);
    void ErrorComm(int Number, const QString& Description, Mordal::enCommSource Source);
    void TimeOut(int msTime, int CountTO);
    void CommIsOpen(bool State);
    void IncorrectFrames();

private:
    void CheckBuffer();
    void deliverFrames(int frames);
    int CountFrames();
    void TimeOutExpired();
    void reportOwnFailure(const char* what);

    IKavlin* transport = nullptr;
    enCommSource source = enCommSource::None;
    FrameBuffer receiveBuffer{DefaultMarkers};
    // Counts the host's own takes of the buffer, so that a delivery notices
    // when a handler took or cleared it.
    quint64 bufferTakes = 0;
    bool delivering = false;
    // The host closes the link itself: frames still waiting are not pressed
    // on it during the close.
    bool hostClosing = false;
    // Polling follows the open state of the last open or close, so that the
    // frames received before a lost connection are still delivered.
    bool polling = false;
    int32_t timeOutCount = 0;
    int16_t lastReportedState = 256;
    int32_t maxFrameSize = DefaultMaxFrameSize;
    bool propertiesChanged = false;
};

} // namespace Mordal
