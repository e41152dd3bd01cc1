#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QUrlQuery>
#include <functional>
#include <memory>

class QWebSocket;

namespace Pomiar {

// A request as the lab web view sees it, whatever HTTP module parsed it.
struct HttpRequest {
    QString method;
    // The URL's path still percent-encoded.
    QString path;
    QUrlQuery query;
    QByteArray authorization;
};

struct HttpReply {
    int status = 200;
    QByteArray contentType;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
};

// The one place that knows the HTTP server module: requests in, replies
// out, WebSocket connections handed over, plain or over TLS. The module's
// interface still changes between Qt versions; nothing else includes it.
class HttpAdapter : public QObject {
    Q_OBJECT

public:
    using Handler = std::function<HttpReply(const HttpRequest&)>;
    // Whether a WebSocket upgrade request is let through; refused ones get 404.
    using UpgradeFilter = std::function<bool(const HttpRequest&)>;

    HttpAdapter(Handler handler, UpgradeFilter upgrades, QObject* parent = nullptr);
    ~HttpAdapter() override;

    // HTTPS with this PEM certificate (chain) and key. False with the reason.
    bool UseTls(const QString& certificatePath, const QString& keyPath, QString* error);

    // The port listened on, 0 when the address cannot be listened on.
    quint16 Listen(const QHostAddress& address, quint16 port);

signals:
    // A WebSocket was opened; the receiver owns it from here.
    void WebSocketOpened(QWebSocket* socket);

private:
    class Server;
    std::unique_ptr<Server> server;
};

} // namespace Pomiar
