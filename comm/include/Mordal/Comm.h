#pragma once

#include "CommEnums.h"
#include "MordalExport.h"
#include "PropertyBag.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <memory>

namespace Mordal {

class FrameBuffer;
class IKavlin;
class SerialAPI;
class TCP;

// The public link control: one text channel to the balance over a serial
// port or a TCP connection, cut into frames at the end markers and handed to
// the host at each 10 ms poll, every waiting frame in order.
class MORDAL_EXPORT Comm : public QObject {
    Q_OBJECT
    // The transports call back through it, so it is made before them.
    class TransportOwner;
    const std::unique_ptr<TransportOwner> owner;

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
    QByteArray MarkersEndOfFrame() const;
    void SetMarkersEndOfFrame(const QByteArray& value);

    enCommSource CommSource() const { return source; }
    // Takes any number and answers it back; values that name no source keep
    // the current wiring.
    void SetCommSource(int value);

    int16_t SerialPort() const;
    void SetSerialPort(int16_t port);
    int32_t SerialBaudRate() const;
    void SetSerialBaudRate(int32_t rate);
    QString NetRemoteHost() const;
    void SetNetRemoteHost(const QString& host);
    int32_t NetRemotePort() const;
    void SetNetRemotePort(int32_t port);

    int32_t InputCount() const;
    QByteArray InputData();
    QByteArray PeekInputData() const;

    bool CommOpen() const;
    void SetCommOpen(bool value);

    void ClearBuffer();
    void OutputData(const QByteArray& strToSent, int32_t TimeOut = 1000);
    void RaiseCommState();
    void RaiseError(int32_t Number, const QString& Description, enCommSource Source);
    void About();

    int32_t TimeOutCount() const { return timeOutCount; }

    // From the next SetCommSource on, forSource wires this transport instead
    // of SerialAPI1 or TCP1; the caller keeps it alive while it is wired.
    // The seam through which Comm's own rules run on a transport of the
    // caller's.
    Q_DECL_HIDDEN void UseTransport(enCommSource forSource, IKavlin* replacement);

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

    IKavlin* transportFor(enCommSource wanted) const;

    IKavlin* transport = nullptr;
    IKavlin* serialTransport = nullptr;
    IKavlin* tcpTransport = nullptr;
    enCommSource source = enCommSource::None;
    const std::unique_ptr<FrameBuffer> receiveBuffer;
    // Counts the host's own takes of the buffer, so that a delivery notices
    // when a handler took or cleared it.
    quint64 bufferTakes = 0;
    bool delivering = false;
    // The host closes the link itself: frames still waiting are not pressed
    // on it during the close.
    bool hostClosing = false;
    // Polling starts whenever the link is seen open, also when a connection
    // completes late; only an open or close of the host's that leaves the
    // link closed stops it, so that the frames received before a lost
    // connection are still delivered.
    bool polling = false;
    int32_t timeOutCount = 0;
    int16_t lastReportedState = 256;
    int32_t maxFrameSize = DefaultMaxFrameSize;
    bool propertiesChanged = false;
};

} // namespace Mordal
