#pragma once

#include "CommEnums.h"
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
// the host one frame per 10 ms poll.
class MORDAL_EXPORT Comm : public QObject, public ITransportOwner {
    Q_OBJECT
public:
    // A stream that never brings an end marker keeps only this many of its
    // newest characters.
    static constexpr int ReceiveBufferLimit = 64 * 1024;
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
    QByteArray MarkersEndOfFrame() const { return markers; }
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

    int32_t InputCount() const { return static_cast<int32_t>(receiveBuffer.size()); }
    QByteArray InputData();
    QByteArray PeekInputData() const { return receiveBuffer; }

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
    int CountFrames();
    void TimeOutExpired();
    void boundReceiveBuffer();
    void reportOwnFailure(const char* what);

    IKavlin* transport = nullptr;
    enCommSource source = enCommSource::None;
    QByteArray receiveBuffer;
    int32_t timeOutCount = 0;
    int16_t lastReportedState = 256;
    QByteArray markers = DefaultMarkers;
    int32_t maxFrameSize = DefaultMaxFrameSize;
    bool propertiesChanged = false;
};

} // namespace Mordal
