#pragma once

#include "CommEnums.h"
#include "LineFormat.h"
#include "MordalExport.h"
#include "PropertyBag.h"

#include <QByteArray>
#include <QObject>

#include <memory>

namespace Mordal {

class CommPrivate;

// The public link control: one text channel to the balance over a serial
// port or a TCP connection, cut into frames at the end markers and handed to
// the host at each 10 ms poll, every waiting frame in order.
class MORDAL_EXPORT Comm : public QObject {
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
    bool PropertiesChanged() const;

    int32_t MaxFrameSize() const;
    void SetMaxFrameSize(int32_t size);
    QByteArray MarkersEndOfFrame() const;
    void SetMarkersEndOfFrame(const QByteArray& value);

    enCommSource CommSource() const;
    // Takes any number and answers it back; values that name no source keep
    // the current wiring.
    void SetCommSource(int value);

    int16_t SerialPort() const;
    void SetSerialPort(int16_t port);
    int32_t SerialBaudRate() const;
    void SetSerialBaudRate(int32_t rate);
    // 8N1 unless set. A format set while the port is open frames the line
    // from its next open on; one the port cannot take (say 9 data bits)
    // makes that open fail with EINVAL.
    LineFormat SerialLineFormat() const;
    void SetSerialLineFormat(const LineFormat& format);
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

signals:
    void OnComm(const QByteArray& FrameData, int FramesCount, int BufferCount,
                bool& ClearFrameData);
    void ErrorComm(int Number, const QString& Description, Mordal::enCommSource Source);
    void TimeOut(int msTime, int CountTO);
    void CommIsOpen(bool State);
    void IncorrectFrames();

private:
    // The whole state lives behind this pointer, so that the layout a host
    // compiled against does not change with it.
    friend class CommPrivate;
    const std::unique_ptr<CommPrivate> d;
};

} // namespace Mordal
