#include "HttpAdapter.h"

#include <QAbstractHttpServer>
#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QSslCertificate>
#include <QSslKey>
#include <QTcpSocket>
#include <QWebSocket>

namespace Pomiar {

namespace {

QString MethodName(QHttpServerRequest::Method method) {
    switch (method) {
    case QHttpServerRequest::Method::Get:
        return QStringLiteral("GET");
    case QHttpServerRequest::Method::Head:
        return QStringLiteral("HEAD");
    case QHttpServerRequest::Method::Post:
        return QStringLiteral("POST");
    case QHttpServerRequest::Method::Put:
        return QStringLiteral("PUT");
    case QHttpServerRequest::Method::Delete:
        return QStringLiteral("DELETE");
    case QHttpServerRequest::Method::Options:
        return QStringLiteral("OPTIONS");
    case QHttpServerRequest::Method::Patch:
        return QStringLiteral("PATCH");
    default:
        return QStringLiteral("OTHER");
    }
}

} // namespace

class HttpAdapter::Server : public QAbstractHttpServer {
public:
    Server(Handler handler, UpgradeFilter upgrades)
        : handler(std::move(handler)), upgrades(std::move(upgrades)) {}

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override {
        HttpRequest mine;
        mine.method = MethodName(request.method());
        mine.path = request.url().path(QUrl::FullyEncoded);
        mine.query = request.query();
        mine.authorization = request.value("authorization");
        // The module hands the connection to its WebSocket server when this
        // answers true for an upgrade without having replied.
        if (request.value("upgrade").compare("websocket", Qt::CaseInsensitive) == 0)
            return upgrades(mine);
        const HttpReply reply = handler(mine);
        QHttpServerResponder responder = makeResponder(request, socket);
        responder.writeStatusLine(QHttpServerResponder::StatusCode(reply.status));
        if (!reply.contentType.isEmpty())
            responder.writeHeader("Content-Type", reply.contentType);
        for (const auto& [name, value] : reply.headers)
            responder.writeHeader(name, value);
        responder.writeHeader("Content-Length", QByteArray::number(reply.body.size()));
        if (mine.method != QLatin1String("HEAD"))
            responder.writeBody(reply.body);
        return true;
    }

    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override {
        makeResponder(request, socket).write(QHttpServerResponder::StatusCode::NotFound);
    }

private:
    Handler handler;
    UpgradeFilter upgrades;
};

HttpAdapter::HttpAdapter(Handler handler, UpgradeFilter upgrades, QObject* parent)
    : QObject(parent), server(std::make_unique<Server>(std::move(handler), std::move(upgrades))) {
    connect(server.get(), &QAbstractHttpServer::newWebSocketConnection, this, [this] {
        while (server->hasPendingWebSocketConnections()) {
            std::unique_ptr<QWebSocket> socket = server->nextPendingWebSocketConnection();
            if (socket)
                emit WebSocketOpened(socket.release());
        }
    });
}

HttpAdapter::~HttpAdapter() = default;

bool HttpAdapter::UseTls(const QString& certificatePath, const QString& keyPath, QString* error) {
    const QList<QSslCertificate> chain = QSslCertificate::fromPath(certificatePath);
    if (chain.isEmpty()) {
        *error = certificatePath + QStringLiteral(": no PEM certificate");
        return false;
    }
    QFile keyFile(keyPath);
    if (!keyFile.open(QIODevice::ReadOnly)) {
        *error = keyPath + QStringLiteral(": ") + keyFile.errorString();
        return false;
    }
    const QByteArray pem = keyFile.readAll();
    QSslKey key(pem, QSsl::Rsa);
    if (key.isNull())
        key = QSslKey(pem, QSsl::Ec);
    if (key.isNull()) {
        *error = keyPath + QStringLiteral(": no unencrypted PEM key (RSA or EC)");
        return false;
    }
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificateChain(chain);
    configuration.setPrivateKey(key);
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    server->sslSetup(configuration);
    return true;
}

quint16 HttpAdapter::Listen(const QHostAddress& address, quint16 port) {
    return server->listen(address, port);
}

} // namespace Pomiar
