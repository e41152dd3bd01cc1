#pragma once

#include "HttpAdapter.h"
#include "LabServerSettings.h"
#include "LabWebData.h"

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QTimer>

class QThread;
class QWebSocket;

namespace Pomiar {

struct LabWebRequest;

struct LabWebOptions {
    QHostAddress address = QHostAddress::LocalHost;
    quint16 port = 8080;
    // Where the page's files are.
    QString filesFolder;
    // "user:password" lines; empty: no authentication asked.
    QString passwordFile;
    // Both or neither: HTTPS.
    QString tlsCertificate;
    QString tlsKey;
};

// The lab web view: the page, the read-only API and the WebSocket that
// pushes each new reading. It learns of readings from the database's
// notifications; while the database is away it says so to every page,
// answers the API with 503, and connects again once a second. Whether the
// database answers is first tried on a thread of its own, so that a host
// that takes the whole connect time-out to fail never holds the server's
// thread; only a database that answered is connected to here.
class LabWebServer : public QObject {
    Q_OBJECT

public:
    // The page's files, the only ones served.
    static const QStringList Files;

    LabWebServer(const LabServerSettings& settings, LabWebOptions options,
                 QObject* parent = nullptr);
    ~LabWebServer() override;

    // Reads the files, the password file and the TLS pair, and listens.
    // False with the reason. The database need not be there yet.
    bool Start(QString* error);
    quint16 Port() const { return port; }
    bool DatabaseLive() const { return live; }

    // The page's files: next to the program in a build tree, under the
    // shared data folder when installed.
    static QString DefaultFilesFolder();

    // "HOST:PORT" ("[v6]:PORT" for IPv6) with a literal address or
    // "localhost"; no name is looked up. False with the reason.
    static bool ParseListen(const QString& text, QHostAddress* address, quint16* port,
                            QString* error);

signals:
    // The database became reachable (live) or was lost, with the reason.
    void DatabaseState(bool live, const QString& reason);
    // Something the operator should know (a role that can write).
    void Warning(const QString& text);

private:
    HttpReply Handle(const HttpRequest& request);
    HttpReply fileReply(const QString& file) const;
    HttpReply databaseReply(const LabWebRequest& parsed);
    bool Authorized(const QByteArray& header) const;
    void WebSocketOpened(QWebSocket* socket);
    void CheckDatabase();
    // The attempt of the probe's thread ended: empty when it connected,
    // else libpq's reason.
    void ProbeAnswered(const QString& unreachable);
    void Unreachable(const QString& reason);
    bool ConnectDatabase(QString* reason);
    void DatabaseLost(const QString& reason);
    void Notified(const QString& name, const QVariant& payload);
    void SendPending();
    void Broadcast(const QByteArray& message);
    QByteArray StateMessage() const;

    LabServerSettings settings;
    LabWebOptions options;
    HttpAdapter http;
    quint16 port = 0;
    QHash<QString, QByteArray> files;
    QList<QPair<QString, QString>> users;
    // Handed to the page by /api/session and asked of every WebSocket: a
    // page of another site cannot open one.
    QString token;
    QList<QWebSocket*> sockets;
    QTimer health;
    // The attempt in progress, none between attempts.
    QThread* probe = nullptr;
    bool live = false;
    QString lastReason;
    QList<LabWebData::Key> pending;
    bool sendQueued = false;
    QString connectionName;
};

} // namespace Pomiar
