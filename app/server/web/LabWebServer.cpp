#include "LabWebServer.h"

#include "LabServerSchema.h"
#include "LabWebJson.h"
#include "LabWebRequest.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QUuid>
#include <QWebSocket>
#include <algorithm>
#include <memory>

#include <libpq-fe.h>

namespace Pomiar {

namespace {

constexpr int healthIntervalMs = 1000;

QByteArray ContentType(const QString& file) {
    if (file.endsWith(QLatin1String(".html")))
        return "text/html; charset=utf-8";
    if (file.endsWith(QLatin1String(".js")))
        return "text/javascript; charset=utf-8";
    if (file.endsWith(QLatin1String(".css")))
        return "text/css; charset=utf-8";
    if (file.endsWith(QLatin1String(".png")))
        return "image/png";
    return "text/plain; charset=utf-8";
}

HttpReply Json(int status, const QJsonObject& object) {
    HttpReply reply;
    reply.status = status;
    reply.contentType = "application/json";
    reply.body = LabWebJson::Serialized(object);
    reply.headers.append(qMakePair(QByteArray("Cache-Control"), QByteArray("no-store")));
    return reply;
}

HttpReply JsonError(int status, const QString& text) {
    return Json(status, LabWebJson::Error(status, text));
}

// Connects with libpq alone, which any thread may do, and leaves again:
// empty when the database took the connection, else libpq's reason.
QString Unanswered(const QString& connectionOptions) {
    PGconn* connection = PQconnectdb(connectionOptions.toUtf8().constData());
    QString reason;
    if (PQstatus(connection) != CONNECTION_OK) {
        reason = QString::fromUtf8(PQerrorMessage(connection)).trimmed();
        if (reason.isEmpty())
            reason = QStringLiteral("the lab database does not answer");
    }
    PQfinish(connection);
    return reason;
}

// Equal texts take as long to compare whatever they hold.
bool SameText(const QByteArray& a, const QByteArray& b) {
    const QByteArray ha = QCryptographicHash::hash(a, QCryptographicHash::Sha256);
    const QByteArray hb = QCryptographicHash::hash(b, QCryptographicHash::Sha256);
    unsigned char difference = 0;
    for (int i = 0; i < ha.size(); ++i)
        difference |= static_cast<unsigned char>(ha[i] ^ hb[i]);
    return difference == 0;
}

} // namespace

const QStringList LabWebServer::Files{
    QStringLiteral("index.html"),    QStringLiteral("app.js"),        QStringLiteral("style.css"),
    QStringLiteral("uPlot.iife.js"), QStringLiteral("uPlot.min.css"),
};

LabWebServer::LabWebServer(const LabServerSettings& settings, LabWebOptions options,
                           QObject* parent)
    : QObject(parent), settings(settings), options(std::move(options)),
      http([this](const HttpRequest& request) { return Handle(request); },
           // The token proves the password: only an authenticated
           // /api/session hands it out, and not every browser sends its
           // basic credentials with a WebSocket's handshake.
           [this](const HttpRequest& request) {
               return request.path == QLatin1String("/api/live") &&
                      SameText(request.query.queryItemValue(QStringLiteral("token")).toUtf8(),
                               token.toUtf8());
           }),
      token(QUuid::createUuid().toString(QUuid::Id128) +
            QString::number(QRandomGenerator::system()->generate64(), 16)),
      connectionName(QStringLiteral("lab-web-view-%1").arg(quintptr(this), 0, 16)) {
    connect(&http, &HttpAdapter::WebSocketOpened, this, &LabWebServer::WebSocketOpened);
    health.setInterval(healthIntervalMs);
    connect(&health, &QTimer::timeout, this, &LabWebServer::CheckDatabase);
}

LabWebServer::~LabWebServer() {
    if (probe) {
        // Bounded by the connect time-out.
        probe->disconnect(this);
        probe->wait();
        delete probe;
    }
    for (QWebSocket* socket : sockets) {
        socket->disconnect(this);
        delete socket;
    }
    {
        QSqlDatabase database = QSqlDatabase::database(connectionName, false);
        if (database.isValid())
            database.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
}

QString LabWebServer::DefaultFilesFolder() {
    const QString program = QCoreApplication::applicationDirPath();
    for (const QString& candidate : {program + QStringLiteral("/lab-web"),
                                     program + QStringLiteral("/../share/trevalo/lab-web"),
                                     QStringLiteral("/usr/share/trevalo/lab-web")}) {
        if (QFileInfo::exists(candidate + QStringLiteral("/index.html")))
            return QDir::cleanPath(candidate);
    }
    return program + QStringLiteral("/lab-web");
}

bool LabWebServer::ParseListen(const QString& text, QHostAddress* address, quint16* port,
                               QString* error) {
    const qsizetype colon = text.lastIndexOf(u':');
    bool ok = false;
    const uint number = colon < 0 ? 0 : text.mid(colon + 1).toUInt(&ok);
    if (colon <= 0 || !ok || number > 65535) {
        *error = QStringLiteral("--listen %1: HOST:PORT with a port from 0 to 65535").arg(text);
        return false;
    }
    QString host = text.left(colon);
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    else if (host.contains(u':')) {
        *error = QStringLiteral("--listen %1: an IPv6 address goes in brackets").arg(text);
        return false;
    }
    if (host == QLatin1String("localhost"))
        host = QStringLiteral("127.0.0.1");
    if (!address->setAddress(host)) {
        *error = QStringLiteral("--listen %1: %2 is no IP address").arg(text, host);
        return false;
    }
    *port = quint16(number);
    return true;
}

bool LabWebServer::Start(QString* error) {
    for (const QString& name : Files) {
        QFile file(options.filesFolder + QLatin1Char('/') + name);
        if (!file.open(QIODevice::ReadOnly)) {
            *error = file.fileName() + QStringLiteral(": ") + file.errorString();
            return false;
        }
        files.insert(name, file.readAll());
    }
    if (!options.passwordFile.isEmpty()) {
        QFile file(options.passwordFile);
        if (!file.open(QIODevice::ReadOnly)) {
            *error = options.passwordFile + QStringLiteral(": ") + file.errorString();
            return false;
        }
        for (const QByteArray& raw : file.readAll().split('\n')) {
            const QString line = QString::fromUtf8(raw).trimmed();
            if (line.isEmpty() || line.startsWith(u'#'))
                continue;
            const qsizetype colon = line.indexOf(u':');
            if (colon <= 0 || colon == line.size() - 1) {
                *error = options.passwordFile + QStringLiteral(": lines must be user:password");
                return false;
            }
            users.append({line.left(colon), line.mid(colon + 1)});
        }
        if (users.isEmpty()) {
            *error = options.passwordFile + QStringLiteral(": no user:password line");
            return false;
        }
    }
    if (options.tlsCertificate.isEmpty() != options.tlsKey.isEmpty()) {
        *error = QStringLiteral("--tls-cert and --tls-key go together");
        return false;
    }
    if (!options.tlsCertificate.isEmpty() &&
        !http.UseTls(options.tlsCertificate, options.tlsKey, error))
        return false;
    port = http.Listen(options.address, options.port);
    if (port == 0) {
        *error = QStringLiteral("cannot listen on %1:%2")
                     .arg(options.address.toString())
                     .arg(options.port);
        return false;
    }
    CheckDatabase();
    health.start();
    return true;
}

bool LabWebServer::Authorized(const QByteArray& header) const {
    if (users.isEmpty())
        return true;
    if (!header.startsWith("Basic "))
        return false;
    const QByteArray given = QByteArray::fromBase64(header.mid(6).trimmed());
    bool found = false;
    // Every line is compared, so the time taken tells nothing.
    for (const auto& [user, password] : users)
        found = SameText(given, (user + QLatin1Char(':') + password).toUtf8()) || found;
    return found;
}

HttpReply LabWebServer::Handle(const HttpRequest& request) {
    if (!Authorized(request.authorization)) {
        HttpReply reply = JsonError(401, QStringLiteral("authentication required"));
        reply.headers.append(
            qMakePair(QByteArray("WWW-Authenticate"),
                      QByteArray("Basic realm=\"trevalo lab view\", charset=\"UTF-8\"")));
        return reply;
    }
    const LabWebRequest parsed =
        LabWebRequest::Parse(request.method, request.path, request.query, Files);
    switch (parsed.kind) {
    case LabWebRequest::Kind::Refused: {
        HttpReply reply = JsonError(parsed.status, parsed.error);
        if (parsed.status == 405)
            reply.headers.append(qMakePair(QByteArray("Allow"), QByteArray("GET, HEAD")));
        return reply;
    }
    case LabWebRequest::Kind::File:
        return fileReply(parsed.file);
    case LabWebRequest::Kind::Session:
        return Json(200,
                    QJsonObject{{QStringLiteral("token"), token},
                                {QStringLiteral("database"),
                                 live ? QStringLiteral("live") : QStringLiteral("reconnecting")}});
    case LabWebRequest::Kind::Stations:
    case LabWebRequest::Kind::Readings:
        break;
    }
    return databaseReply(parsed);
}

// A page file, with the headers that keep it to this origin.
HttpReply LabWebServer::fileReply(const QString& file) const {
    HttpReply reply;
    reply.contentType = ContentType(file);
    reply.body = files.value(file);
    reply.headers = {
        {"Cache-Control", "no-cache"},
        {"X-Content-Type-Options", "nosniff"},
        {"Referrer-Policy", "no-referrer"},
        {"X-Frame-Options", "DENY"},
        {"Content-Security-Policy",
         "default-src 'self'; connect-src 'self'; img-src 'self' data:; "
         "style-src 'self' 'unsafe-inline'; script-src 'self'; object-src 'none'; "
         "frame-ancestors 'none'; base-uri 'none'"},
    };
    return reply;
}

// The stations or a station's readings, from the database.
HttpReply LabWebServer::databaseReply(const LabWebRequest& parsed) {
    if (!live)
        return JsonError(503, QStringLiteral("the lab database is not reachable: reconnecting"));
    QSqlDatabase database = QSqlDatabase::database(connectionName, false);
    QString reason;
    if (parsed.kind == LabWebRequest::Kind::Stations) {
        QList<LabWebData::Station> stations;
        if (LabWebData::Stations(database, &stations, &reason))
            return Json(200, LabWebJson::Stations(stations, QDateTime::currentDateTimeUtc()));
    } else {
        LabWebData::SeriesPage page;
        if (LabWebData::Readings(database, parsed.station, parsed.since, parsed.limit, &page,
                                 &reason)) {
            if (!page.stationKnown)
                return JsonError(404, QStringLiteral("no such station: %1").arg(parsed.station));
            return Json(200, LabWebJson::Series(page));
        }
    }
    // The database went away under the query: the next check says so.
    QTimer::singleShot(0, this, &LabWebServer::CheckDatabase);
    return JsonError(503, QStringLiteral("the lab database did not answer: %1").arg(reason));
}

void LabWebServer::WebSocketOpened(QWebSocket* socket) {
    socket->setParent(this);
    const QUrlQuery query(socket->requestUrl());
    if (!SameText(query.queryItemValue(QStringLiteral("token")).toUtf8(), token.toUtf8())) {
        socket->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("no session"));
        socket->deleteLater();
        return;
    }
    sockets.append(socket);
    connect(socket, &QWebSocket::disconnected, this, [this, socket] {
        sockets.removeAll(socket);
        socket->deleteLater();
    });
    socket->sendTextMessage(QString::fromUtf8(StateMessage()));
}

QByteArray LabWebServer::StateMessage() const {
    return LabWebJson::Serialized(QJsonObject{
        {QStringLiteral("type"), QStringLiteral("database")},
        {QStringLiteral("state"), live ? QStringLiteral("live") : QStringLiteral("reconnecting")},
        {QStringLiteral("reason"), live ? QString() : lastReason},
    });
}

void LabWebServer::Broadcast(const QByteArray& message) {
    const QString text = QString::fromUtf8(message);
    for (QWebSocket* socket : sockets)
        socket->sendTextMessage(text);
}

bool LabWebServer::ConnectDatabase(QString* reason) {
    {
        QSqlDatabase old = QSqlDatabase::database(connectionName, false);
        if (old.isValid())
            old.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
    if (!LabServerSchema::Connect(settings, connectionName, reason))
        return false;
    QSqlDatabase database = QSqlDatabase::database(connectionName, false);
    QSqlQuery query(database);
    // Whatever the role may do, this connection only reads.
    if (!query.exec(QStringLiteral("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY"))) {
        *reason = LabServerSchema::ReasonOf(query.lastError());
        return false;
    }
    const int version = LabServerSchema::CurrentVersion(database);
    if (version < LabServerSchema::Version) {
        *reason = QStringLiteral("the lab database's schema is at version %1; this view "
                                 "needs version %2: run trevalo server init")
                      .arg(version)
                      .arg(LabServerSchema::Version);
        return false;
    }
    if (!database.driver()->subscribeToNotification(
            QString::fromLatin1(LabServerSchema::ReadingsChannel))) {
        *reason = QStringLiteral("cannot listen for new readings: ") +
                  LabServerSchema::ReasonOf(database.driver()->lastError());
        return false;
    }
    connect(database.driver(),
            qOverload<const QString&, QSqlDriver::NotificationSource, const QVariant&>(
                &QSqlDriver::notification),
            this,
            [this](const QString& name, QSqlDriver::NotificationSource, const QVariant& payload) {
                Notified(name, payload);
            });
    if (query.exec(QStringLiteral(
            "SELECT current_user, has_table_privilege('readings', 'INSERT') OR "
            "has_table_privilege('readings', 'UPDATE') OR has_table_privilege('readings', "
            "'DELETE') OR has_table_privilege('stations', 'DELETE')")) &&
        query.next() && query.value(1).toBool())
        emit Warning(QStringLiteral("the role %1 may change the lab database; a role that can "
                                    "only read is safer (trevalo server init --reader ROLE)")
                         .arg(query.value(0).toString()));
    return true;
}

void LabWebServer::CheckDatabase() {
    if (live) {
        QSqlDatabase database = QSqlDatabase::database(connectionName, false);
        QSqlQuery query(database);
        if (database.isOpen() && query.exec(QStringLiteral("SELECT 1")))
            return;
        DatabaseLost(LabServerSchema::ReasonOf(query.lastError()));
        return;
    }
    // One attempt at a time; the next check after it ended.
    if (probe)
        return;
    QString reason;
    const std::optional<QString> options = settings.ConnectOptions(&reason);
    if (!options) {
        Unreachable(reason);
        return;
    }
    auto unanswered = std::make_shared<QString>();
    probe = QThread::create(
        [connection = *options, unanswered] { *unanswered = Unanswered(connection); });
    // Told on this thread once the probe's thread is done.
    connect(probe, &QThread::finished, this, [this, unanswered] {
        probe->deleteLater();
        probe = nullptr;
        ProbeAnswered(*unanswered);
    });
    probe->start();
}

void LabWebServer::Unreachable(const QString& reason) {
    if (reason != lastReason) {
        lastReason = reason;
        emit DatabaseState(false, reason);
        Broadcast(StateMessage());
    }
}

void LabWebServer::ProbeAnswered(const QString& unreachable) {
    if (live)
        return;
    if (!unreachable.isEmpty()) {
        Unreachable(unreachable);
        return;
    }
    // The database answered a moment ago: connecting here takes no longer
    // than a query.
    QString reason;
    if (!ConnectDatabase(&reason)) {
        Unreachable(reason);
        return;
    }
    live = true;
    lastReason.clear();
    emit DatabaseState(true, QString());
    Broadcast(StateMessage());
}

void LabWebServer::DatabaseLost(const QString& reason) {
    live = false;
    lastReason = reason.isEmpty() ? QStringLiteral("the connection was lost") : reason;
    pending.clear();
    {
        QSqlDatabase database = QSqlDatabase::database(connectionName, false);
        if (database.isValid())
            database.close();
    }
    emit DatabaseState(false, lastReason);
    Broadcast(StateMessage());
}

void LabWebServer::Notified(const QString& name, const QVariant& payload) {
    if (name != QLatin1String(LabServerSchema::ReadingsChannel))
        return;
    const QJsonObject key = QJsonDocument::fromJson(payload.toString().toUtf8()).object();
    if (key.isEmpty())
        return;
    pending.append({key.value(QStringLiteral("station")).toString(),
                    key.value(QStringLiteral("series")).toString(),
                    key.value(QStringLiteral("lp")).toInteger()});
    // A sender commits readings in batches: one query for all that arrived.
    if (!sendQueued) {
        sendQueued = true;
        QTimer::singleShot(0, this, &LabWebServer::SendPending);
    }
}

void LabWebServer::SendPending() {
    sendQueued = false;
    if (!live || pending.isEmpty())
        return;
    constexpr int batch = 500;
    while (!pending.isEmpty()) {
        const QList<LabWebData::Key> keys = pending.mid(0, batch);
        pending.remove(0, keys.size());
        QList<LabWebData::Reading> readings;
        QString reason;
        QSqlDatabase database = QSqlDatabase::database(connectionName, false);
        if (!LabWebData::ReadingsByKey(database, keys, &readings, &reason)) {
            DatabaseLost(reason);
            return;
        }
        if (readings.isEmpty() || sockets.isEmpty())
            continue;
        QJsonArray list;
        for (const LabWebData::Reading& reading : readings)
            list.append(LabWebJson::Reading(reading));
        Broadcast(LabWebJson::Serialized(QJsonObject{
            {QStringLiteral("type"), QStringLiteral("readings")},
            {QStringLiteral("readings"), list},
        }));
    }
}

} // namespace Pomiar
