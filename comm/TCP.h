#pragma once

#include "IKavlin.h"

#include <QObject>

namespace Mordal {

class CSocket;

// The TCP transport: a client connection through one CSocket. Opening waits
// up to ConnectWaitMs for the connection while the event loop keeps running;
// received bytes are passed through unparsed.
class TCP : public QObject, public IKavlin {
    Q_OBJECT
public:
    static constexpr int ConnectWaitMs = 3000;

    explicit TCP(ITransportOwner* owner, QObject* parent = nullptr);
    ~TCP() override;

    QString RemoteHost() const;
    void SetRemoteHost(const QString& host);
    int32_t RemotePort() const;
    void SetRemotePort(int32_t port);

    bool CommOpen() const override;
    void SetCommOpen(bool value) override;
    QByteArray InputData() override;
    int InputCount() const override { return static_cast<int>(received.size()); }
    void OutputData(const QByteArray& text) override;

    CSocket* const WS;

signals:
    void DataArrived();
    void DataSent(const QByteArray& text);

private:
    void WaitForConnection();
    void onConnect();
    void onClose();
    void onDataArrival();
    void onSendComplete();
    void onError(int16_t number, QString& description, int32_t scode, const QString& source,
                 const QString& helpFile, int32_t helpContext, bool& cancelDisplay);
    void reportFailure(int number, const QString& description);
    void raiseCommState();

    ITransportOwner* owner;
    QByteArray lastSent;
    // Taken from the socket as it arrives, so that bytes drained while the
    // peer closes survive until the owner's next poll.
    QByteArray received;
};

} // namespace Mordal
