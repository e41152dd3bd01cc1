#include "LabServerOutbox.h"
#include "Database.h"
#include "EventWait.h"
#include "INI.h"
#include "LabServer.h"
#include "LabServerSettings.h"
#include "SeriesModel.h"
#include "mUstawienia.h"

#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimeZone>
#include <gtest/gtest.h>

#include <libpq-fe.h>
#include <map>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Pomiar;

namespace {

class LabServerSettingsTest : public ::testing::Test {
protected:
    QString Ini() const { return folder.path() + "/ustawienia.ini"; }
    void Set(const QString& key, const QString& value) {
        ASSERT_TRUE(INI::ZapiszIni(Ini(), "LabServer", key, value));
    }
    QTemporaryDir folder;
};

TEST_F(LabServerSettingsTest, OffWithoutItsSectionAndNamedAfterTheBalanceNumber) {
    ASSERT_TRUE(INI::ZapiszIni(Ini(), "ustawienia", "Nr_wagi", "7"));
    const LabServerSettings settings = LabServerSettings::Read(Ini(), "7");
    EXPECT_FALSE(settings.enabled);
    EXPECT_EQ(settings.station, "7");
    EXPECT_TRUE(settings.connection.isEmpty());
}

TEST_F(LabServerSettingsTest, ReadsItsSection) {
    Set("Enabled", "True");
    Set("Connection", " host=127.0.0.5 dbname=lab ");
    Set("Station", "Waga-3");
    const LabServerSettings settings = LabServerSettings::Read(Ini(), "1");
    EXPECT_TRUE(settings.enabled);
    EXPECT_EQ(settings.connection, "host=127.0.0.5 dbname=lab");
    EXPECT_EQ(settings.station, "Waga-3");

    Set("Enabled", "0");
    Set("Station", "");
    const LabServerSettings off = LabServerSettings::Read(Ini(), "4");
    EXPECT_FALSE(off.enabled);
    EXPECT_EQ(off.station, "4");
}

TEST_F(LabServerSettingsTest, AnEnabledTextThatIsNoBooleanNamesItsLine) {
    Set("Enabled", "yes please");
    try {
        LabServerSettings::Read(Ini(), "1");
        FAIL() << "no error";
    } catch (const SettingsError& error) {
        EXPECT_EQ(error.section, "LabServer");
        EXPECT_EQ(error.key, "Enabled");
        EXPECT_EQ(error.value, "yes please");
    }
}

using KeywordValues = std::map<QString, QString>;

// What libpq reads from a connection string (never connecting).
KeywordValues ReadByLibpq(const QString& options) {
    char* message = nullptr;
    PQconninfoOption* parsed = PQconninfoParse(options.toUtf8().constData(), &message);
    if (!parsed) {
        ADD_FAILURE() << message << " in " << options.toStdString();
        PQfreemem(message);
        return {};
    }
    KeywordValues read;
    for (const PQconninfoOption* option = parsed; option->keyword; ++option) {
        if (option->val)
            read[option->keyword] = QString::fromUtf8(option->val);
    }
    PQconninfoFree(parsed);
    return read;
}

// "Connection" as a service name, a connection string or a URI: libpq
// reads every keyword as written there, with the time-outs added where the
// text sets none.
TEST(LabServerConnectOptions, KeywordsAsWrittenWithTheTimeOutsTheTextLeavesOut) {
    const KeywordValues added{
        {"connect_timeout", "5"}, {"tcp_user_timeout", "15000"}, {"application_name", "Trevalo"}};
    const auto with = [&added](KeywordValues given) {
        given.insert(added.begin(), added.end());
        return given;
    };
    const std::pair<QString, KeywordValues> cases[] = {
        {"", added},
        {"lab", with({{"service", "lab"}})},
        {"lab main", with({{"service", "lab main"}})},
        {"postgresql://lab@127.0.0.1:5433/labdb",
         with({{"user", "lab"}, {"host", "127.0.0.1"}, {"port", "5433"}, {"dbname", "labdb"}})},
        {"postgres://127.0.0.1/lab?connect_timeout=9&application_name=Waga%203",
         with({{"host", "127.0.0.1"},
               {"dbname", "lab"},
               {"connect_timeout", "9"},
               {"application_name", "Waga 3"}})},
        {"host=127.0.0.1 connect_timeout=1",
         with({{"host", "127.0.0.1"}, {"connect_timeout", "1"}})},
        {"host=127.0.0.1 application_name='connect_timeout=9'",
         with({{"host", "127.0.0.1"}, {"application_name", "connect_timeout=9"}})},
        {"host=127.0.0.1 password=", with({{"host", "127.0.0.1"}, {"password", ""}})},
        {"dbname = 'it\\'s \\\\ lab'", with({{"dbname", "it's \\ lab"}})},
    };
    for (const auto& [connection, expected] : cases) {
        LabServerSettings settings;
        settings.connection = connection;
        QString error;
        const auto options = settings.ConnectOptions(&error);
        ASSERT_TRUE(options) << connection.toStdString() << ": " << error.toStdString();
        EXPECT_EQ(ReadByLibpq(*options), expected) << connection.toStdString();
    }
}

// A text libpq cannot read, or that the database driver would change, is
// refused with the reason instead of reaching the server changed.
TEST(LabServerConnectOptions, TextsThatCannotBePassedOnAreRefusedWithTheReason) {
    const std::pair<QString, QString> cases[] = {
        {"host=127.0.0.1 dbname", "missing \"=\" after \"dbname\""},
        {"host=127.0.0.1 colour=blue", "invalid connection option \"colour\""},
        {"postgresql://[::1/lab", "matching \"]\""},
        {"host=127.0.0.1 passfile='/home/lab/a;b'", "passfile holds \";\""},
    };
    for (const auto& [connection, reason] : cases) {
        LabServerSettings settings;
        settings.connection = connection;
        QString error;
        EXPECT_FALSE(settings.ConnectOptions(&error)) << connection.toStdString();
        EXPECT_TRUE(error.startsWith("Connection in [LabServer]: ")) << error.toStdString();
        EXPECT_TRUE(error.contains(reason)) << error.toStdString();
    }
}

class LabServerOutboxTest : public ::testing::Test {
protected:
    LabServerOutboxTest() { LabServerOutbox::CreateTable(working); }

    SeriesRow Row(int lp) const {
        SeriesRow row;
        row.lp = lp;
        row.godzina = start.addSecs(lp);
        row.data = row.godzina.date();
        row.timer = lp;
        row.masa = 10.0 + lp;
        row.jm = "g ";
        row.opis = " ";
        return row;
    }

    // Queues a reading the way the store does: inside its write.
    void Store(const SeriesRow& row, const std::optional<QDateTime>& seriesStart,
               const QString& file = "dane.mdb") {
        working.Begin();
        outbox.QueueReading(working, seriesStart, file, row);
        working.Commit();
    }

    struct Queued {
        QString kind;
        QString series;
        QVariant lp;
        QString text;
    };
    std::vector<Queued> Rows() {
        std::vector<Queued> rows;
        for (const QVariantList& row :
             working.Query("SELECT kind, series, lp, text FROM LabOutbox ORDER BY id").rows)
            rows.push_back({row[0].toString(), row[1].toString(), row[2], row[3].toString()});
        return rows;
    }

    QTemporaryDir folder;
    QString path = folder.path() + "/dane.mdb";
    Database working{path};
    LabServerOutbox outbox{path, "3"};
    const QDateTime start{QDate(2026, 12, 7), QTime(10, 15, 30)};
};

TEST_F(LabServerOutboxTest, AReadingRollsBackWithItsTransaction) {
    working.Begin();
    outbox.QueueReading(working, start, "dane.mdb", Row(1));
    working.Rollback();
    EXPECT_TRUE(Rows().empty());

    // Stored again after the failure: one series, its row queued by the
    // sender from the reading (see LabServerSender), the reading once.
    Store(Row(1), start);
    const auto rows = Rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].kind, "reading");
    EXPECT_EQ(rows[0].series, outbox.CurrentSeries());
}

TEST_F(LabServerOutboxTest, TheFirstReadingQueuesItsSeriesThenTheReadings) {
    Store(Row(1), start);
    Store(Row(2), start);
    const auto rows = Rows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].kind, "series");
    EXPECT_EQ(rows[0].text, "dane.mdb");
    EXPECT_EQ(rows[1].kind, "reading");
    EXPECT_EQ(rows[1].lp.toInt(), 1);
    EXPECT_EQ(rows[2].lp.toInt(), 2);
    for (const Queued& row : rows)
        EXPECT_EQ(row.series, rows[0].series);
    const Database::Rows reading =
        working.Query("SELECT station, taken, timer, value, unit FROM LabOutbox WHERE lp = 2");
    EXPECT_EQ(reading.rows[0][0].toString(), "3");
    EXPECT_EQ(QDateTime::fromString(reading.rows[0][1].toString(), Qt::ISODateWithMs),
              start.addSecs(2));
    EXPECT_EQ(reading.rows[0][2].toInt(), 2);
    EXPECT_DOUBLE_EQ(reading.rows[0][3].toDouble(), 12.0);
    EXPECT_EQ(reading.rows[0][4].toString(), "g");
}

// The stability goes as the balance told it, and the limits in force with
// each reading: null for a limit that is off, and all unknown when the
// caller does not know them.
TEST_F(LabServerOutboxTest, AReadingIsQueuedWithItsStabilityAndTheLimitsInForce) {
    AcceptanceLimits limits;
    limits.minOn = true;
    limits.minText = "10,5";
    SeriesRow unstable = Row(1);
    unstable.stable = false;
    SeriesRow stable = Row(2);
    stable.stable = true;
    working.Begin();
    outbox.QueueReading(working, start, "dane.mdb", unstable, limits);
    outbox.QueueReading(working, start, "dane.mdb", stable, AcceptanceLimits{});
    outbox.QueueReading(working, start, "dane.mdb", Row(3));
    working.Commit();
    const Database::Rows rows = working.Query(
        "SELECT stable, limits, lower_limit, upper_limit FROM LabOutbox WHERE kind = 'reading' "
        "ORDER BY lp");
    ASSERT_EQ(rows.rows.size(), 3u);
    EXPECT_EQ(rows.rows[0][0].toInt(), 0);
    EXPECT_EQ(rows.rows[0][1].toInt(), 1);
    EXPECT_DOUBLE_EQ(rows.rows[0][2].toDouble(), 10.5);
    EXPECT_TRUE(rows.rows[0][3].isNull());
    EXPECT_EQ(rows.rows[1][0].toInt(), 1);
    EXPECT_EQ(rows.rows[1][1].toInt(), 1);
    EXPECT_TRUE(rows.rows[1][2].isNull());
    EXPECT_TRUE(rows.rows[1][3].isNull());
    for (int column = 0; column < 4; ++column)
        EXPECT_TRUE(rows.rows[2][column].isNull()) << column;
}

// An outbox an earlier program left gains the new columns and keeps what
// it queued; those rows know neither stability nor limits.
TEST_F(LabServerOutboxTest, AnOutboxOfTheEarlierLayoutGainsItsNewColumnsAndKeepsItsRows) {
    const QString earlierPath = folder.path() + "/earlier.mdb";
    Database earlier(earlierPath);
    earlier.Execute("CREATE TABLE LabOutbox (id INTEGER PRIMARY KEY AUTOINCREMENT, "
                    "kind TEXT NOT NULL, station TEXT NOT NULL, series TEXT NOT NULL, "
                    "lp INTEGER, taken TEXT, timer INTEGER, value REAL, unit TEXT, text TEXT)");
    earlier.Execute("INSERT INTO LabOutbox (kind, station, series, lp, value) "
                    "VALUES ('reading', '3', 'old', 7, 1.25)");
    LabServerOutbox::CreateTable(earlier);
    LabServerOutbox::CreateTable(earlier);
    const Database::Rows rows =
        earlier.Query("SELECT lp, value, stable, limits, lower_limit, upper_limit FROM LabOutbox");
    ASSERT_EQ(rows.rows.size(), 1u);
    EXPECT_EQ(rows.rows[0][0].toInt(), 7);
    EXPECT_DOUBLE_EQ(rows.rows[0][1].toDouble(), 1.25);
    for (int column = 2; column < 6; ++column)
        EXPECT_TRUE(rows.rows[0][column].isNull()) << column;
    LabServerOutbox queue(earlierPath, "3");
    SeriesRow row = Row(1);
    row.stable = true;
    earlier.Begin();
    queue.QueueReading(earlier, start, "earlier.mdb", row);
    earlier.Commit();
    EXPECT_EQ(earlier.Scalar("SELECT count(*) FROM LabOutbox WHERE stable = 1").toInt(), 1);
}

TEST_F(LabServerOutboxTest, ANewSeriesBeginsWhenTheStartOrTheFileChangesOrLpGoesBack) {
    Store(Row(1), start);
    Store(Row(2), start);
    const QString first = outbox.CurrentSeries();
    // A new series in the store: new start, Lp from 1.
    Store(Row(1), start.addSecs(60));
    const QString second = outbox.CurrentSeries();
    EXPECT_NE(second, first);
    // A continuous batch without a start, after the store cleared it.
    Store(Row(1), std::nullopt);
    Store(Row(2), std::nullopt);
    const QString third = outbox.CurrentSeries();
    EXPECT_NE(third, second);
    // The batch's series then gets its start from a single reading.
    Store(Row(3), start.addSecs(120));
    EXPECT_EQ(outbox.CurrentSeries(), third);
    // A series file opened: readings go on at its Lp, in another file.
    Store(Row(4), start.addSecs(120), "seria.ser");
    EXPECT_NE(outbox.CurrentSeries(), third);
    // One series row for each of the four series.
    int seriesRows = 0;
    for (const Queued& row : Rows())
        seriesRows += row.kind == "series";
    EXPECT_EQ(seriesRows, 4);
}

TEST_F(LabServerOutboxTest, DescriptionsAndReportsFollowTheCurrentSeries) {
    // Nothing sent yet: a description has no reading on the server to change.
    outbox.QueueDescription(1, "sample A");
    EXPECT_TRUE(Rows().empty());
    // A report before the first reading: the reading joins its series.
    outbox.QueueReport("CAL OK");
    Store(Row(1), start);
    outbox.QueueDescription(1, "sample A");
    const auto rows = Rows();
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0].kind, "series");
    EXPECT_EQ(rows[1].kind, "report");
    EXPECT_EQ(rows[1].text, "CAL OK");
    EXPECT_EQ(rows[2].kind, "series"); // again, now with its start and file
    EXPECT_EQ(rows[3].kind, "reading");
    EXPECT_EQ(rows[4].kind, "description");
    EXPECT_EQ(rows[4].text, "sample A");
    for (const Queued& row : rows)
        EXPECT_EQ(row.series, rows[0].series);
}

TEST_F(LabServerOutboxTest, AReadingIntoASeriesFileIsQueuedInTheWorkingDatabase) {
    Database file(folder.path() + "/seria.ser", Database::Journal::Rollback);
    file.CreateSchema();
    file.Begin();
    outbox.QueueReading(file, start, "seria.ser", Row(1));
    file.Commit();
    EXPECT_FALSE(file.HasTable("LabOutbox"));
    EXPECT_EQ(Rows().size(), 2u);
}

TEST(LabServerZonedText, KeepsMillisecondsAndTheOffset) {
    const QDateTime time(QDate(2026, 12, 7), QTime(10, 15, 30, 250), QTimeZone(3600));
    EXPECT_EQ(LabServerOutbox::ZonedText(time), "2026-12-07T10:15:30.250+01:00");
    EXPECT_EQ(QDateTime::fromString(LabServerOutbox::ZonedText(QDateTime::currentDateTime()),
                                    Qt::ISODateWithMs)
                  .offsetFromUtc(),
              QDateTime::currentDateTime().offsetFromUtc());
}

} // namespace

namespace {

// A loopback port that takes connections and counts them.
class Listener {
public:
    Listener() {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(fd, 8);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
    }
    ~Listener() { ::close(fd); }
    bool Accepted() {
        const int peer = ::accept(fd, nullptr, nullptr);
        if (peer < 0)
            return false;
        ::close(peer);
        return true;
    }
    int fd = -1;
    int port = 0;
};

TEST(LabServerStart, OffByDefaultAndThenNoConnectionIsAttempted) {
    QTemporaryDir folder;
    const QString ini = folder.path() + "/ustawienia.ini";
    Listener listener;
    ASSERT_TRUE(
        INI::ZapiszIni(ini, "LabServer", "Connection",
                       QString("host=127.0.0.1 port=%1 connect_timeout=1").arg(listener.port)));
    const QString working = folder.path() + "/dane.mdb";
    {
        const auto off = LabServer::Start(LabServerSettings::Read(ini, "1"), working);
        EXPECT_EQ(off, nullptr);
        QThread::msleep(300);
        EXPECT_FALSE(listener.Accepted());
    }
    EXPECT_FALSE(QFile::exists(working));

    // The same settings switched on reach the port.
    ASSERT_TRUE(INI::ZapiszIni(ini, "LabServer", "Enabled", "True"));
    const auto on = LabServer::Start(LabServerSettings::Read(ini, "1"), working);
    ASSERT_NE(on, nullptr);
    EXPECT_TRUE(WaitUntil([&] { return listener.Accepted(); }, 5000));
}

} // namespace
