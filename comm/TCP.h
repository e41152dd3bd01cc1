#pragma once

#include "IKavlin.h"

#include <QObject>

namespace Mordal {

// The TCP transport. Until the socket layer is in place it answers as a
// transport that never opens.
class MORDAL_EXPORT TCP : public QObject, public IKavlin {
    Q_OBJECT
public:
    explicit TCP(ITransportOwner* owner, QObject* parent = nullptr);
    ~TCP() override;

    QString RemoteHost() const { return remoteHost; }
    void SetRemoteHost(const QString& host) { remoteHost = host; }
    int32_t RemotePort() const { return remotePort; }
    void SetRemotePort(int32_t port) { remotePort = port; }

signals:
    void DataArrived();
    void DataSent(const QByteArray& text);

private:
    ITransportOwner* owner;
    QString remoteHost;
    int32_t remotePort = 0;
};

} // namespace Mordal
