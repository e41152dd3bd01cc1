#include "LabWebRequest.h"
#include "LabWebServer.h"

#include <gtest/gtest.h>

using namespace Pomiar;
using Kind = LabWebRequest::Kind;

namespace {

struct RequestCase {
    const char* method;
    const char* url;
    Kind kind;
    int status;       // Refused only
    const char* what; // the file or the station
    qint64 since;
    int limit;
};

class LabWebRequestParse : public ::testing::TestWithParam<RequestCase> {};

TEST_P(LabWebRequestParse, ReadsPathAndQuery) {
    const RequestCase& c = GetParam();
    const QUrl url(QString::fromUtf8(c.url));
    const LabWebRequest request =
        LabWebRequest::Parse(QString::fromLatin1(c.method), url.path(QUrl::FullyEncoded),
                             QUrlQuery(url), LabWebServer::Files);
    ASSERT_EQ(request.kind, c.kind) << c.url << " " << request.error.toStdString();
    if (c.kind == Kind::Refused) {
        EXPECT_EQ(request.status, c.status) << c.url;
        EXPECT_FALSE(request.error.isEmpty());
    }
    if (c.kind == Kind::File) {
        EXPECT_EQ(request.file.toStdString(), c.what);
    }
    if (c.kind == Kind::Readings) {
        EXPECT_EQ(request.station.toStdString(), c.what);
        EXPECT_EQ(request.since, c.since);
        EXPECT_EQ(request.limit, c.limit);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LabWebRequestParse,
    ::testing::Values(
        RequestCase{"GET", "/", Kind::File, 0, "index.html", 0, 0},
        RequestCase{"HEAD", "/app.js", Kind::File, 0, "app.js", 0, 0},
        RequestCase{"GET", "/uPlot.iife.js", Kind::File, 0, "uPlot.iife.js", 0, 0},
        RequestCase{"GET", "/api/stations", Kind::Stations, 0, "", 0, 0},
        RequestCase{"GET", "/api/session", Kind::Session, 0, "", 0, 0},
        RequestCase{"GET", "/api/stations/Waga-3/readings", Kind::Readings, 0, "Waga-3", 0, 1000},
        RequestCase{"GET", "/api/stations/A%2FB%20c/readings?since=5&limit=10", Kind::Readings, 0,
                    "A/B c", 5, 10},
        RequestCase{"GET", "/api/stations/%C5%81%C3%B3d%C5%BA/readings?limit=10000", Kind::Readings,
                    0, "\xC5\x81\xC3\xB3\x64\xC5\xBA", 0, 10000},
        RequestCase{"GET", "/api/stations/x/readings?since=-1", Kind::Refused, 400, "", 0, 0},
        RequestCase{"GET", "/api/stations/x/readings?since=abc", Kind::Refused, 400, "", 0, 0},
        RequestCase{"GET", "/api/stations/x/readings?limit=0", Kind::Refused, 400, "", 0, 0},
        RequestCase{"GET", "/api/stations/x/readings?limit=10001", Kind::Refused, 400, "", 0, 0},
        RequestCase{"GET", "/api/stations/x/readings?limit=", Kind::Refused, 400, "", 0, 0},
        RequestCase{"GET", "/api/stations//readings", Kind::Refused, 400, "", 0, 0},
        RequestCase{"GET", "/api/stations/x", Kind::Refused, 404, "", 0, 0},
        RequestCase{"GET", "/api/nothing", Kind::Refused, 404, "", 0, 0},
        RequestCase{"GET", "/etc/passwd", Kind::Refused, 404, "", 0, 0},
        RequestCase{"GET", "/uPlot.LICENSE", Kind::Refused, 404, "", 0, 0},
        RequestCase{"GET", "/index.html/", Kind::Refused, 404, "", 0, 0},
        RequestCase{"POST", "/api/stations", Kind::Refused, 405, "", 0, 0},
        RequestCase{"DELETE", "/api/stations/x/readings", Kind::Refused, 405, "", 0, 0}));

TEST(LabWebRequest, APathThatClimbsOutIsNoFile) {
    // As sent, before any client tidied it.
    const LabWebRequest request =
        LabWebRequest::Parse("GET", "/../lab-web/index.html", QUrlQuery(), LabWebServer::Files);
    EXPECT_EQ(request.kind, Kind::Refused);
    EXPECT_EQ(request.status, 404);
}

struct ListenCase {
    const char* text;
    bool ok;
    const char* address;
    int port;
};

class LabWebListen : public ::testing::TestWithParam<ListenCase> {};

TEST_P(LabWebListen, TakesLiteralAddressesOnly) {
    const ListenCase& c = GetParam();
    QHostAddress address;
    quint16 port = 0;
    QString error;
    ASSERT_EQ(LabWebServer::ParseListen(QString::fromLatin1(c.text), &address, &port, &error), c.ok)
        << c.text << " " << error.toStdString();
    if (c.ok) {
        EXPECT_EQ(address, QHostAddress(QString::fromLatin1(c.address))) << c.text;
        EXPECT_EQ(port, c.port) << c.text;
    } else {
        EXPECT_TRUE(error.contains(QString::fromLatin1(c.text))) << error.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, LabWebListen,
                         ::testing::Values(ListenCase{"127.0.0.1:8080", true, "127.0.0.1", 8080},
                                           ListenCase{"localhost:9000", true, "127.0.0.1", 9000},
                                           ListenCase{"0.0.0.0:80", true, "0.0.0.0", 80},
                                           ListenCase{"[::1]:8443", true, "::1", 8443},
                                           ListenCase{"::1:8443", false, "", 0},
                                           ListenCase{"lab.example:80", false, "", 0},
                                           ListenCase{"127.0.0.1", false, "", 0},
                                           ListenCase{"127.0.0.1:65536", false, "", 0},
                                           ListenCase{":8080", false, "", 0}));

} // namespace
