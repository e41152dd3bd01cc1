#include "TcpEndpoint.h"

#include <QHostAddress>

namespace BalanceSim {

TcpEndpoint::TcpEndpoint(BalanceModel& model, ReplyScript& script, const Behaviour& behaviour,
                         const Dialect& dialect, QObject* parent)
    : Endpoint(QStringLiteral("TCP"), model, script, behaviour, dialect, parent) {
    connect(&server, &QTcpServer::newConnection, this, &TcpEndpoint::Accept);
}

TcpEndpoint::~TcpEndpoint() {
    if (client)
        Release(false);
}

bool TcpEndpoint::Listen(int port, QString* error) {
    if (server.listen(QHostAddress::LocalHost, quint16(port)))
        return true;
    if (error)
        *error =
            QStringLiteral("cannot listen on 127.0.0.1:%1: %2").arg(port).arg(server.errorString());
    return false;
}

bool TcpEndpoint::DropClient() {
    if (!client)
        return false;
    Log("--", "dropped the client");
    Release(true);
    return true;
}

void TcpEndpoint::Write(const QByteArray& bytes) {
    if (client)
        client->write(bytes);
}

void TcpEndpoint::Accept() {
    while (QTcpSocket* next = server.nextPendingConnection()) {
        if (client)
            Release(false);
        client = next;
        client->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(client, &QTcpSocket::readyRead, this, &TcpEndpoint::ReadClient);
        connect(client, &QTcpSocket::disconnected, this, &TcpEndpoint::ClientGone);
        StartConversation();
        Log("--", "client connected");
    }
}

void TcpEndpoint::ReadClient() {
    if (client)
        Receive(client->readAll());
}

void TcpEndpoint::ClientGone() {
    if (!client || sender() != client)
        return;
    Log("--", "client left");
    Release(true);
}

void TcpEndpoint::Release(bool graceful) {
    QTcpSocket* leaving = client;
    client = nullptr;
    leaving->disconnect(this);
    if (graceful)
        leaving->close();
    else
        leaving->abort();
    leaving->deleteLater();
    StartConversation();
}

} // namespace BalanceSim
