#include "EventWait.h"
#include "LabServerSchema.h"
#include "PostgresServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QWebSocket>
#include <gtest/gtest.h>

#include <unistd.h>

namespace {

int FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0);
    return probe.serverPort();
}

struct Reply {
    int status = 0;
    QByteArray body;
    QByteArray contentType;
    QByteArray authenticate;
    QJsonObject Json() const { return QJsonDocument::fromJson(body).object(); }
};

Reply Request(const QString& url, const QByteArray& method = "GET",
              const QByteArray& authorization = {}, const QList<QSslCertificate>& trusted = {}) {
    QNetworkAccessManager manager;
    QNetworkRequest request{QUrl(url)};
    if (!authorization.isEmpty())
        request.setRawHeader("Authorization", authorization);
    if (!trusted.isEmpty()) {
        QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
        ssl.setCaCertificates(trusted);
        request.setSslConfiguration(ssl);
    }
    QNetworkReply* reply = manager.sendCustomRequest(request, method);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    Reply result;
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.body = reply->readAll();
    result.contentType = reply->rawHeader("Content-Type");
    result.authenticate = reply->rawHeader("WWW-Authenticate");
    delete reply;
    return result;
}

// trevalo server web in a program folder of its own, until the test ends.
class WebServerProcess {
public:
    WebServerProcess(const QString& folder, QStringList options) {
        port = FreePort();
        process.setProgram(QStringLiteral(TREVALO_PATH));
        process.setArguments(QStringList{"server", "web", "--dir", folder, "--listen",
                                         QStringLiteral("127.0.0.1:%1").arg(port)} +
                             options);
        process.start();
    }
    ~WebServerProcess() {
        process.terminate();
        if (!process.waitForFinished(5000))
            process.kill();
    }
    // The first line says where it serves.
    bool Listening() {
        return WaitUntil(
                   [this] {
                       out += process.readAllStandardOutput();
                       return out.contains("lab web view on") ||
                              process.state() == QProcess::NotRunning;
                   },
                   10000) &&
               out.contains("lab web view on");
    }
    // Listening, and its first attempt at the database told (connected or
    // not), which the server makes once it serves.
    bool Started() {
        return Listening() && WaitUntil(
                                  [this] {
                                      return Errors().contains("server: lab database") ||
                                             process.state() == QProcess::NotRunning;
                                  },
                                  10000);
    }
    QString Errors() { return err += QString::fromUtf8(process.readAllStandardError()); }
    QString Url(const QString& path, const char* scheme = "http") const {
        return QStringLiteral("%1://127.0.0.1:%2%3").arg(QLatin1String(scheme)).arg(port).arg(path);
    }

    QProcess process;
    int port = 0;
    QByteArray out;
    QString err;
};

class LabWebProcess : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        server = new PostgresServer;
        ASSERT_TRUE(server->Made()) << server->Failure().toStdString();
        ASSERT_TRUE(server->CreateDatabase(database));
        WriteSettings(server->Connection(database), QString());
        QProcess init;
        init.start(QStringLiteral(TREVALO_PATH),
                   {"server", "init", "--reader", "labview", "--dir", folder->path()});
        ASSERT_TRUE(init.waitForFinished(20000));
        ASSERT_EQ(init.exitCode(), 0) << init.readAllStandardError().toStdString();
        ASSERT_TRUE(init.readAllStandardOutput().contains("reader labview"));
        server->Column(database, "ALTER ROLE labview PASSWORD 'view-secret'");
        // The view connects as the reader.
        const QString passFile = folder->path() + "/viewpass";
        QFile file(passFile);
        file.open(QIODevice::WriteOnly);
        file.write(
            QStringLiteral("127.0.0.1:%1:*:labview:view-secret\n").arg(server->Port()).toUtf8());
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        readerConnection =
            QStringLiteral("host=127.0.0.1 port=%1 user=labview dbname=%2 passfile=%3")
                .arg(server->Port())
                .arg(database, passFile);
        WriteSettings(server->Connection(database), readerConnection);
        Insert("INSERT INTO stations (station) VALUES ('Waga-1'), ('<b>Waga-2</b>')");
        Insert("INSERT INTO series (station, series, started) VALUES "
               "('Waga-1', 'S-old', now() - interval '1 day'), ('Waga-1', 'S1', now()), "
               "('<b>Waga-2</b>', 'T1', now())");
        Insert("INSERT INTO readings (station, series, lp, value, unit, taken_at, timer) "
               "SELECT 'Waga-1', 'S1', n, 10 + n, 'g', now(), n FROM generate_series(1, 25) n");
        Insert("INSERT INTO readings (station, series, lp, value, unit, taken_at, timer) "
               "VALUES ('Waga-1', 'S-old', 1, 99, 'g', now() - interval '1 day', 0)");
        Insert("INSERT INTO readings (station, series, lp, value, unit, taken_at, description) "
               "VALUES ('<b>Waga-2</b>', 'T1', 1, 5.5, 'mg', now(), '<script>alert(1)</script>')");
    }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }

    static void WriteSettings(const QString& connection, const QString& web) {
        QFile ini(folder->path() + "/ustawienia.ini");
        ini.open(QIODevice::WriteOnly | QIODevice::Truncate);
        ini.write(QStringLiteral("[ustawienia]\r\nNr_wagi=1\r\n[LabServer]\r\nEnabled=True\r\n"
                                 "Connection=%1\r\nWebConnection=%2\r\n")
                      .arg(connection, web)
                      .toUtf8());
    }
    static void Insert(const QString& statement) {
        server->Column(database, statement + " RETURNING 1");
    }

    static inline PostgresServer* server = nullptr;
    static inline const QString database = QStringLiteral("labweb%1").arg(::getpid());
    static inline std::unique_ptr<QTemporaryDir> folder = std::make_unique<QTemporaryDir>();
    static inline QString readerConnection;
};

TEST_F(LabWebProcess, ServesStationsByNameWithTheirCurrentSeries) {
    WebServerProcess web(folder->path(), {});
    ASSERT_TRUE(web.Started()) << web.Errors().toStdString();
    const Reply reply = Request(web.Url("/api/stations"));
    ASSERT_EQ(reply.status, 200) << reply.body.toStdString();
    EXPECT_EQ(reply.contentType, "application/json");
    const QJsonArray stations = reply.Json()["stations"].toArray();
    ASSERT_EQ(stations.size(), 2);
    // "<" sorts before "W".
    EXPECT_EQ(stations[0]["station"].toString(), "<b>Waga-2</b>");
    EXPECT_EQ(stations[1]["station"].toString(), "Waga-1");
    EXPECT_EQ(stations[1]["series"].toString(), "S1");
    EXPECT_EQ(stations[1]["readings"].toInteger(), 25);
    EXPECT_EQ(stations[1]["last"]["lp"].toInteger(), 25);
    EXPECT_DOUBLE_EQ(stations[1]["last"]["value"].toDouble(), 35.0);
    EXPECT_TRUE(stations[1]["online"].toBool());
    EXPECT_FALSE(reply.body.contains("<script>"));
    // The reader's role cannot write: no warning about it.
    EXPECT_FALSE(web.Errors().contains("may change")) << web.Errors().toStdString();
}

TEST_F(LabWebProcess, PagesThroughTheCurrentSeriesWithItsStatistics) {
    WebServerProcess web(folder->path(), {});
    ASSERT_TRUE(web.Started()) << web.Errors().toStdString();
    Reply reply = Request(web.Url("/api/stations/Waga-1/readings?limit=10"));
    ASSERT_EQ(reply.status, 200) << reply.body.toStdString();
    QJsonObject page = reply.Json();
    EXPECT_EQ(page["series"].toString(), "S1");
    EXPECT_EQ(page["readings"].toArray().size(), 10);
    EXPECT_EQ(page["readings"][0]["lp"].toInteger(), 1);
    EXPECT_TRUE(page["more"].toBool());
    EXPECT_EQ(page["next"].toInteger(), 10);
    EXPECT_EQ(page["statistics"].toObject()["count"].toString(), "25");
    EXPECT_EQ(page["statistics"].toObject()["mean"].toString(), "23.0000");

    reply = Request(web.Url("/api/stations/Waga-1/readings?since=20&limit=10"));
    page = reply.Json();
    EXPECT_EQ(page["readings"].toArray().size(), 5);
    EXPECT_EQ(page["readings"][0]["lp"].toInteger(), 21);
    EXPECT_FALSE(page["more"].toBool());

    // A name that needs encoding.
    reply = Request(web.Url("/api/stations/%3Cb%3EWaga-2%3C%2Fb%3E/readings"));
    ASSERT_EQ(reply.status, 200) << reply.body.toStdString();
    EXPECT_EQ(reply.Json()["readings"][0]["description"].toString(), "<script>alert(1)</script>");
    EXPECT_FALSE(reply.body.contains('<'));
}

// The station's limit test: below the lower or above the upper limit is
// outside, a limit equalled is inside; a series without limits has none.
TEST_F(LabWebProcess, ReadingsOutsideTheSeriesLimitsAreFlaggedAndCounted) {
    Insert("UPDATE series SET lower_limit = 5, upper_limit = 6 WHERE series = 'T1'");
    Insert("INSERT INTO readings (station, series, lp, value, unit, taken_at, stable) VALUES "
           "('<b>Waga-2</b>', 'T1', 10, 4.999, 'mg', now(), true), "
           "('<b>Waga-2</b>', 'T1', 11, 5, 'mg', now(), false), "
           "('<b>Waga-2</b>', 'T1', 12, 6, 'mg', now(), NULL), "
           "('<b>Waga-2</b>', 'T1', 13, 6.001, 'mg', now(), true)");
    WebServerProcess web(folder->path(), {});
    ASSERT_TRUE(web.Started()) << web.Errors().toStdString();
    const QJsonObject page =
        Request(web.Url("/api/stations/%3Cb%3EWaga-2%3C%2Fb%3E/readings?since=9")).Json();
    EXPECT_DOUBLE_EQ(page["lower_limit"].toDouble(), 5.0);
    EXPECT_DOUBLE_EQ(page["upper_limit"].toDouble(), 6.0);
    const QJsonArray readings = page["readings"].toArray();
    ASSERT_EQ(readings.size(), 4) << QJsonDocument(page).toJson().toStdString();
    const struct {
        qint64 lp;
        bool outside;
        QJsonValue stable;
    } expected[] = {
        {10, true, true}, {11, false, false}, {12, false, QJsonValue()}, {13, true, true}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(readings[i]["lp"].toInteger(), expected[i].lp);
        EXPECT_EQ(readings[i]["outside_limits"].toBool(), expected[i].outside) << expected[i].lp;
        EXPECT_EQ(readings[i]["stable"], expected[i].stable) << expected[i].lp;
    }

    const QJsonArray stations = Request(web.Url("/api/stations")).Json()["stations"].toArray();
    ASSERT_EQ(stations[0]["station"].toString(), "<b>Waga-2</b>");
    EXPECT_DOUBLE_EQ(stations[0]["lower_limit"].toDouble(), 5.0);
    EXPECT_EQ(stations[0]["last"]["lp"].toInteger(), 13);
    EXPECT_TRUE(stations[0]["last"]["outside_limits"].toBool());
    // Counted over the whole series, as the readings say.
    int flagged = 0;
    for (const QJsonValue& reading :
         Request(web.Url("/api/stations/%3Cb%3EWaga-2%3C%2Fb%3E/readings"))
             .Json()["readings"]
             .toArray())
        flagged += reading["outside_limits"].toBool() ? 1 : 0;
    EXPECT_GE(flagged, 2);
    EXPECT_EQ(stations[0]["outside_limits"].toInteger(), flagged);
    // Waga-1's series has no limits.
    EXPECT_TRUE(stations[1]["lower_limit"].isNull());
    EXPECT_TRUE(stations[1]["upper_limit"].isNull());
    EXPECT_EQ(stations[1]["outside_limits"].toInteger(), 0);
    EXPECT_FALSE(stations[1]["last"]["outside_limits"].toBool());
}

TEST_F(LabWebProcess, BadRequestsGetJsonErrorsAndTheServerGoesOn) {
    WebServerProcess web(folder->path(), {});
    ASSERT_TRUE(web.Started()) << web.Errors().toStdString();
    const struct {
        const char* method;
        const char* path;
        int status;
    } cases[] = {
        {"GET", "/api/stations/Nobody/readings", 404},
        {"GET", "/api/stations/Waga-1/readings?limit=0", 400},
        {"GET", "/api/stations/Waga-1/readings?since=x", 400},
        {"GET", "/api/stations/Waga-1/readings?limit=99999999999999999999", 400},
        {"GET", "/no/such/page", 404},
        {"POST", "/api/stations", 405},
        {"PUT", "/api/stations/Waga-1/readings", 405},
    };
    for (const auto& c : cases) {
        const Reply reply = Request(web.Url(c.path), c.method);
        EXPECT_EQ(reply.status, c.status) << c.method << " " << c.path;
        EXPECT_EQ(reply.Json()["status"].toInt(), c.status) << reply.body.toStdString();
        EXPECT_FALSE(reply.Json()["error"].toString().isEmpty()) << c.path;
    }
    EXPECT_EQ(web.process.state(), QProcess::Running);
    const Reply page = Request(web.Url("/"));
    EXPECT_EQ(page.status, 200);
    EXPECT_TRUE(page.contentType.startsWith("text/html"));
    EXPECT_TRUE(page.body.contains("uPlot.iife.js"));
}

TEST_F(LabWebProcess, TheReaderRoleCannotWrite) {
    {
        QSqlDatabase reader = QSqlDatabase::addDatabase("QPSQL", "reader-check");
        reader.setConnectOptions(readerConnection);
        ASSERT_TRUE(reader.open());
        {
            QSqlQuery query(reader);
            EXPECT_TRUE(query.exec("SELECT count(*) FROM readings"))
                << query.lastError().text().toStdString();
            EXPECT_FALSE(query.exec("INSERT INTO stations (station) VALUES ('intruder')"));
            EXPECT_FALSE(query.exec("DELETE FROM readings"));
            EXPECT_TRUE(query.exec("SHOW default_transaction_read_only") && query.next());
            EXPECT_EQ(query.value(0).toString(), "on");
        }
        reader.close();
    }
    QSqlDatabase::removeDatabase("reader-check");
    EXPECT_EQ(server->Value(database, "SELECT count(*) FROM stations").toInt(), 2);
}

// A reading inserted is pushed to an open WebSocket; the database stopped
// is said, the API answers 503, and on its return the push goes on.
TEST_F(LabWebProcess, PushesNewReadingsAndRecoversFromADatabaseRestart) {
    WebServerProcess web(folder->path(), {});
    ASSERT_TRUE(web.Started()) << web.Errors().toStdString();
    const QString token = Request(web.Url("/api/session")).Json()["token"].toString();
    ASSERT_FALSE(token.isEmpty());

    QWebSocket stranger;
    bool strangerClosed = false;
    QObject::connect(&stranger, &QWebSocket::disconnected, [&] { strangerClosed = true; });
    stranger.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/api/live?token=guess").arg(web.port)));
    EXPECT_TRUE(WaitUntil([&] { return strangerClosed; }, 5000));

    QWebSocket socket;
    QList<QJsonObject> messages;
    QObject::connect(&socket, &QWebSocket::textMessageReceived, [&](const QString& text) {
        messages << QJsonDocument::fromJson(text.toUtf8()).object();
    });
    socket.open(
        QUrl(QStringLiteral("ws://127.0.0.1:%1/api/live?token=%2").arg(web.port).arg(token)));
    ASSERT_TRUE(WaitUntil([&] { return !messages.isEmpty(); }, 5000))
        << socket.errorString().toStdString() << " " << web.Errors().toStdString();
    EXPECT_EQ(messages[0]["type"].toString(), "database");
    EXPECT_EQ(messages[0]["state"].toString(), "live");

    const auto pushedLp = [&](qint64 lp) {
        return WaitUntil(
            [&] {
                for (const QJsonObject& message : messages)
                    for (const QJsonValue& reading : message["readings"].toArray())
                        if (reading["lp"].toInteger() == lp && reading["station"] == "Waga-1")
                            return true;
                return false;
            },
            5000);
    };
    Insert("INSERT INTO readings (station, series, lp, value, unit, taken_at) VALUES "
           "('Waga-1', 'S1', 26, 1.25, 'g', now())");
    EXPECT_TRUE(pushedLp(26));

    messages.clear();
    ASSERT_TRUE(server->Stop());
    EXPECT_TRUE(WaitUntil(
        [&] {
            return !messages.isEmpty() && messages.last()["state"].toString() == "reconnecting";
        },
        5000));
    EXPECT_EQ(Request(web.Url("/api/stations")).status, 503);
    ASSERT_TRUE(server->Start());
    EXPECT_TRUE(WaitUntil(
        [&] { return !messages.isEmpty() && messages.last()["state"].toString() == "live"; },
        10000))
        << web.Errors().toStdString();
    EXPECT_EQ(Request(web.Url("/api/stations")).status, 200);
    Insert("INSERT INTO readings (station, series, lp, value, unit, taken_at) VALUES "
           "('Waga-1', 'S1', 27, 1.5, 'g', now())");
    EXPECT_TRUE(pushedLp(27));
    EXPECT_TRUE(web.Errors().contains("reconnecting"));
}

// A database host that takes the connection and then says nothing (as one
// behind a firewall that drops packets) makes each attempt last the whole
// connect time-out; meanwhile the page and the API still answer at once.
TEST_F(LabWebProcess, AnswersWhileAnAttemptToConnectHangs) {
    QTcpServer silent;
    // Listening, never accepting: the kernel completes the handshake and
    // nothing ever answers libpq.
    silent.setMaxPendingConnections(8);
    ASSERT_TRUE(silent.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0));
    silent.pauseAccepting();
    QTemporaryDir own;
    QFile ini(own.path() + "/ustawienia.ini");
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(QStringLiteral("[ustawienia]\r\nNr_wagi=1\r\n[LabServer]\r\nEnabled=True\r\n"
                             "Connection=host=127.0.0.1 port=%1 dbname=lab user=lab "
                             "connect_timeout=6\r\n")
                  .arg(silent.serverPort())
                  .toUtf8());
    ini.close();
    QElapsedTimer since;
    since.start();
    WebServerProcess web(own.path(), {});
    ASSERT_TRUE(web.Listening()) << web.Errors().toStdString();
    // Through the first attempt (6 s): every answer comes long before it
    // would end.
    for (int i = 0; i < 4; ++i) {
        QElapsedTimer asked;
        asked.start();
        const bool api = i % 2 == 0;
        const Reply reply = Request(web.Url(api ? "/api/stations" : "/"));
        EXPECT_EQ(reply.status, api ? 503 : 200) << i << " " << reply.body.toStdString();
        EXPECT_LT(asked.elapsed(), 4000) << i;
        if (api) {
            EXPECT_EQ(reply.Json()["status"].toInt(), 503);
        }
        QThread::msleep(500);
    }
    EXPECT_LT(since.elapsed(), 6000);
}

TEST_F(LabWebProcess, AsksForAPasswordFromThePasswordFile) {
    const QString passwords = folder->path() + "/web-users";
    QFile file(passwords);
    file.open(QIODevice::WriteOnly);
    file.write("# users of the lab view\nqa:s3cret:with-colon\n");
    file.close();
    WebServerProcess web(folder->path(), {"--password-file", passwords});
    ASSERT_TRUE(web.Started()) << web.Errors().toStdString();
    for (const char* path : {"/", "/api/stations", "/api/session"}) {
        const Reply reply = Request(web.Url(path));
        EXPECT_EQ(reply.status, 401) << path;
        EXPECT_TRUE(reply.authenticate.startsWith("Basic realm=")) << path;
    }
    EXPECT_EQ(Request(web.Url("/api/stations"), "GET", "Basic " + QByteArray("qa:wrong").toBase64())
                  .status,
              401);
    EXPECT_EQ(Request(web.Url("/api/stations"), "GET",
                      "Basic " + QByteArray("qa:s3cret:with-colon").toBase64())
                  .status,
              200);
    // The page's WebSocket carries the session's token, which only the
    // password gets.
    const QString token = Request(web.Url("/api/session"), "GET",
                                  "Basic " + QByteArray("qa:s3cret:with-colon").toBase64())
                              .Json()["token"]
                              .toString();
    ASSERT_FALSE(token.isEmpty());
    QWebSocket socket;
    QString first;
    QObject::connect(&socket, &QWebSocket::textMessageReceived,
                     [&](const QString& text) { first = text; });
    socket.open(
        QUrl(QStringLiteral("ws://127.0.0.1:%1/api/live?token=%2").arg(web.port).arg(token)));
    EXPECT_TRUE(WaitUntil([&] { return first.contains("\"database\""); }, 5000));
}

TEST_F(LabWebProcess, SpeaksHttpsWithTheGivenCertificate) {
    const QString cert = folder->path() + "/cert.pem";
    const QString key = folder->path() + "/key.pem";
    QProcess openssl;
    openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
                              "-out", cert, "-days", "1", "-subj", "/CN=127.0.0.1", "-addext",
                              "subjectAltName=IP:127.0.0.1"});
    ASSERT_TRUE(openssl.waitForFinished(30000));
    ASSERT_EQ(openssl.exitCode(), 0) << openssl.readAllStandardError().toStdString();
    WebServerProcess web(folder->path(), {"--tls-cert", cert, "--tls-key", key});
    ASSERT_TRUE(web.Started()) << web.Errors().toStdString();
    EXPECT_TRUE(web.out.contains("https://")) << web.out.toStdString();
    const Reply reply =
        Request(web.Url("/api/stations", "https"), "GET", {}, QSslCertificate::fromPath(cert));
    EXPECT_EQ(reply.status, 200) << reply.body.toStdString();
    // Plain HTTP gets no page.
    EXPECT_NE(Request(web.Url("/api/stations")).status, 200);
}

TEST_F(LabWebProcess, RefusesAMissingPasswordFileOrAHalfTlsPair) {
    const struct {
        QStringList options;
        int exitCode;
        const char* says;
    } cases[] = {
        {{"--password-file", "/nonexistent/users"}, 5, "/nonexistent/users"},
        {{"--tls-cert", "/nonexistent/cert.pem"}, 2, "go together"},
        {{"--tls-cert", "/nonexistent/c.pem", "--tls-key", "/nonexistent/k.pem"}, 5, "c.pem"},
        {{"--listen", "lab.example:80"}, 2, "no IP address"},
    };
    for (const auto& c : cases) {
        QProcess run;
        QStringList arguments{"server", "web", "--dir", folder->path()};
        run.start(QStringLiteral(TREVALO_PATH), arguments + c.options);
        ASSERT_TRUE(run.waitForFinished(10000));
        EXPECT_EQ(run.exitCode(), c.exitCode) << c.options.join(' ').toStdString();
        EXPECT_TRUE(run.readAllStandardError().contains(c.says)) << c.says;
    }
}

} // namespace

namespace {

// Schema version 6: a reading stored, and one described later, is announced
// with its key once its transaction commits.
TEST_F(LabWebProcess, TheSchemaAnnouncesReadingsStoredAndDescribed) {
    QList<QJsonObject> announced;
    {
        QSqlDatabase listener = QSqlDatabase::addDatabase("QPSQL", "listener");
        listener.setConnectOptions(readerConnection);
        ASSERT_TRUE(listener.open());
        ASSERT_TRUE(listener.driver()->subscribeToNotification(
            QString::fromLatin1(Pomiar::LabServerSchema::ReadingsChannel)));
        QObject::connect(
            listener.driver(),
            qOverload<const QString&, QSqlDriver::NotificationSource, const QVariant&>(
                &QSqlDriver::notification),
            [&](const QString&, QSqlDriver::NotificationSource, const QVariant& payload) {
                announced << QJsonDocument::fromJson(payload.toString().toUtf8()).object();
            });
        Insert("INSERT INTO readings (station, series, lp, value, unit, taken_at) VALUES "
               "('<b>Waga-2</b>', 'T1', 2, 6.5, 'mg', now())");
        Insert("UPDATE readings SET description = 'checked' WHERE station = 'Waga-1' AND "
               "series = 'S1' AND lp = 3");
        EXPECT_TRUE(WaitUntil([&] { return announced.size() >= 2; }, 5000));
        listener.close();
    }
    QSqlDatabase::removeDatabase("listener");
    ASSERT_EQ(announced.size(), 2);
    EXPECT_EQ(announced[0],
              (QJsonObject{{"station", "<b>Waga-2</b>"}, {"series", "T1"}, {"lp", 2}}));
    EXPECT_EQ(announced[1], (QJsonObject{{"station", "Waga-1"}, {"series", "S1"}, {"lp", 3}}));
}

} // namespace
