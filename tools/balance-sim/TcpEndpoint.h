#pragma once

#include "Endpoint.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

namespace BalanceSim {

// The instrument as a TCP server on the loopback interface, serving one
// client at a time: a new client replaces the one before.
class TcpEndpoint : public Endpoint {
    Q_OBJECT
public:
    TcpEndpoint(BalanceModel& model, ReplyScript& script, const Behaviour& behaviour,
                const Dialect& dialect, QObject* parent = nullptr);
    ~TcpEndpoint() override;

    bool Listen(int port, QString* error);
    quint16 Port() const { return server.serverPort(); }
    bool HasClient() const override { return !client.isNull(); }
    // Closes the client's connection; false when there is no client.
    bool DropClient();

protected:
    void Write(const QByteArray& bytes) override;

private:
    void Accept();
    void ReadClient();
    void ClientGone();
    void Release(bool graceful);

    QTcpServer server;
    QPointer<QTcpSocket> client;
};

} // namespace BalanceSim
