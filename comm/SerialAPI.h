#pragma once

#include "IKavlin.h"

#include <Mordal/LineFormat.h>

#include <QObject>
#include <QTimer>

namespace Mordal {

// The RS-232 transport: polls the port every 50 ms and keeps what arrived
// until Comm takes it. It never looks inside the bytes.
class SerialAPI : public QObject, public IKavlin {
    Q_OBJECT
public:
    explicit SerialAPI(ITransportOwner* owner, QObject* parent = nullptr);
    ~SerialAPI() override;

    int16_t CommPort() const { return commPort; }
    void SetCommPort(int16_t port);
    int32_t BaudRate() const { return baudRate; }
    void SetBaudRate(int32_t rate);
    LineFormat Format() const { return lineFormat; }
    // Taken also while the port is open; the line is framed anew at the
    // next open.
    void SetFormat(const LineFormat& format) { lineFormat = format; }

    // The device name and settings text the next open uses.
    QByteArray DeviceName() const;
    QByteArray SettingsText() const;

    bool CommOpen() const override { return handle >= 0; }
    void SetCommOpen(bool value) override;
    QByteArray InputData() override;
    int InputCount() const override { return static_cast<int>(receiveBuffer.size()); }
    void OutputData(const QByteArray& text) override;

    QTimer TimerBuffer;

signals:
    void DataArrived();
    void DataSent(const QByteArray& text);

private:
    bool openPort();
    void closePort();
    void readStep(bool discard);
    void reportFailure(int code);

    ITransportOwner* owner;
    int handle = -1;
    int16_t commPort = 1;
    int32_t baudRate = 9600;
    LineFormat lineFormat;
    QByteArray lastSent;
    QByteArray receiveBuffer;
};

} // namespace Mordal
