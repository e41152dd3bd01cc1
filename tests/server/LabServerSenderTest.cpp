#include "LabServerSender.h"
#include "Database.h"
#include "EventWait.h"
#include "LabServerCommands.h"
#include "LabServerOutbox.h"
#include "LabServerSchema.h"
#include "PostgresServer.h"
#include "SeriesModel.h"

#include <QSignalSpy>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QTimeZone>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace Pomiar;

namespace {

// One server for the whole test program, made when a test first needs it.
class ServerEnvironment : public ::testing::Environment {
public:
    static PostgresServer& Server() {
        if (!server)
            server = std::make_unique<PostgresServer>();
        return *server;
    }
    void TearDown() override { server.reset(); }

private:
    static inline std::unique_ptr<PostgresServer> server;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new ServerEnvironment);

class LabServerSenderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.Made()) << server.Failure().toStdString();
        static int databases = 0;
        database = QStringLiteral("lab%1_%2").arg(::getpid()).arg(++databases);
        ASSERT_TRUE(server.CreateDatabase(database));
        LabServerOutbox::CreateTable(working);
        settings.enabled = true;
        settings.connection = server.Connection(database);
        settings.station = "3";
    }

    SeriesRow Row(int lp) const {
        SeriesRow row;
        row.lp = lp;
        row.godzina = start.addMSecs(lp * 250);
        row.data = row.godzina.date();
        row.timer = int(start.secsTo(row.godzina));
        row.masa = 100.0 + lp / 1000.0;
        row.jm = "g";
        row.opis = " ";
        return row;
    }

    // Stores readings from..to the way the store does, in one transaction.
    void Store(int from, int to) {
        working.Begin();
        for (int lp = from; lp <= to; ++lp)
            outbox.QueueReading(working, start, "dane.mdb", Row(lp));
        working.Commit();
    }

    std::unique_ptr<LabServerSender> Sender(LabServerSender::Timing timing = {50, 100, 500}) {
        return std::make_unique<LabServerSender>(settings, path, timing);
    }

    int OnServer() { return server.Value(database, "SELECT count(*) FROM readings").toInt(); }
    int Queued() {
        return working.Scalar("SELECT count(*) FROM LabOutbox WHERE kind = 'reading'").toInt();
    }

    // Every reading 1..count once, and committed in the order of Lp.
    void ExpectAllOnceInOrder(int count) {
        EXPECT_EQ(server.Value(database, "SELECT count(DISTINCT lp) FROM readings").toInt(), count);
        EXPECT_EQ(server.Value(database, "SELECT min(lp) FROM readings").toInt(), 1);
        EXPECT_EQ(server.Value(database, "SELECT max(lp) FROM readings").toInt(), count);
        EXPECT_EQ(server.Value(database, "SELECT count(DISTINCT series) FROM readings").toInt(), 1);
        EXPECT_EQ(server
                      .Value(database,
                             "SELECT count(*) FROM (SELECT received_at < lag(received_at) "
                             "OVER (ORDER BY lp) AS early FROM readings) o WHERE early")
                      .toInt(),
                  0);
    }

    PostgresServer& server = ServerEnvironment::Server();
    QString database;
    QTemporaryDir folder;
    QString path = folder.path() + "/dane.mdb";
    Database working{path};
    LabServerOutbox outbox{path, "3"};
    LabServerSettings settings;
    const QDateTime start{QDate(2026, 12, 7), QTime(10, 15, 30, 125), QTimeZone(3600)};
};

TEST_F(LabServerSenderTest, ReadingsArriveWithTheirColumns) {
    Store(1, 2);
    working.Begin();
    SeriesRow moisture = Row(3);
    moisture.masa = 12.5;
    moisture.jm = "%";
    moisture.opis = "próbka ż";
    outbox.QueueReading(working, start, "dane.mdb", moisture);
    working.Commit();
    outbox.QueueDescription(1, "sample A");
    outbox.QueueReport("CAL\r\nOK");

    auto sender = Sender();
    sender->Start();
    ASSERT_TRUE(WaitUntil([&] { return Queued() == 0 && OnServer() == 3; }, 10000));
    ASSERT_TRUE(
        WaitUntil([&] { return working.Scalar("SELECT count(*) FROM LabOutbox").toInt() == 0; }));
    sender->Stop();

    EXPECT_EQ(server.Value(database, "SELECT max(version) FROM schema_version").toInt(),
              LabServerSchema::Version);
    EXPECT_EQ(server.Value(database, "SELECT string_agg(station, ',') FROM stations").toString(),
              "3");
    EXPECT_EQ(server.Value(database, "SELECT file_name FROM series").toString(), "dane.mdb");
    EXPECT_EQ(server.Value(database, "SELECT extract(epoch FROM started) * 1000 FROM series")
                  .toLongLong(),
              start.toMSecsSinceEpoch());
    EXPECT_EQ(server.Value(database, "SELECT series FROM readings WHERE lp = 2").toString(),
              outbox.CurrentSeries());
    EXPECT_EQ(server
                  .Value(database, "SELECT extract(epoch FROM taken_at) * 1000 FROM readings "
                                   "WHERE lp = 2")
                  .toLongLong(),
              Row(2).godzina.toMSecsSinceEpoch());
    EXPECT_EQ(server.Value(database, "SELECT timer FROM readings WHERE lp = 2").toInt(),
              Row(2).timer);
    EXPECT_EQ(server.Value(database, "SELECT value FROM readings WHERE lp = 2").toDouble(),
              Row(2).masa);
    EXPECT_EQ(server.Value(database, "SELECT unit FROM readings WHERE lp = 3").toString(), "%");
    EXPECT_EQ(server.Value(database, "SELECT value FROM readings WHERE lp = 3").toDouble(), 12.5);
    EXPECT_EQ(server.Value(database, "SELECT description FROM readings WHERE lp = 3").toString(),
              "próbka ż");
    EXPECT_EQ(server.Value(database, "SELECT description FROM readings WHERE lp = 1").toString(),
              "sample A");
    EXPECT_EQ(server.Value(database, "SELECT report FROM reports").toString(), "CAL\r\nOK");
}

TEST_F(LabServerSenderTest, AReadingBelowTheMinimumWeightArrivesWithItsMark) {
    working.Begin();
    SeriesRow marked = Row(1);
    marked.status = "<m";
    outbox.QueueReading(working, start, "dane.mdb", marked);
    outbox.QueueReading(working, start, "dane.mdb", Row(2));
    working.Commit();
    auto sender = Sender();
    sender->Start();
    ASSERT_TRUE(
        WaitUntil([&] { return working.Scalar("SELECT count(*) FROM LabOutbox").toInt() == 0; }));
    sender->Stop();
    EXPECT_EQ(server.Value(database, "SELECT status FROM readings WHERE lp = 1").toString(), "<m");
    EXPECT_TRUE(server.Value(database, "SELECT status FROM readings WHERE lp = 2").isNull());
}

// A reading's stability arrives as the balance told it; the series keeps the
// limits of its latest reading that knew them, null for a limit that is off.
TEST_F(LabServerSenderTest, ReadingsCarryTheirStabilityAndTheSeriesTheLimitsInForce) {
    AcceptanceLimits both;
    both.minOn = true;
    both.minText = "99,5";
    both.maxOn = true;
    both.maxText = "101";
    AcceptanceLimits upperOnly;
    upperOnly.maxOn = true;
    upperOnly.maxText = "100.5";
    SeriesRow stable = Row(1);
    stable.stable = true;
    SeriesRow unstable = Row(2);
    unstable.stable = false;
    working.Begin();
    outbox.QueueReading(working, start, "dane.mdb", stable, both);
    outbox.QueueReading(working, start, "dane.mdb", unstable, both);
    working.Commit();
    auto sender = Sender();
    sender->Start();
    ASSERT_TRUE(WaitUntil([&] { return OnServer() == 2 && Queued() == 0; }, 10000));
    EXPECT_EQ(server.Value(database, "SELECT stable FROM readings WHERE lp = 1").toBool(), true);
    EXPECT_EQ(server.Value(database, "SELECT stable::text FROM readings WHERE lp = 2").toString(),
              "false");
    EXPECT_EQ(server.Value(database, "SELECT lower_limit FROM series").toDouble(), 99.5);
    EXPECT_EQ(server.Value(database, "SELECT upper_limit FROM series").toDouble(), 101.0);

    // The limits changed in the series, then a reading that does not know
    // them: the series keeps the last ones known.
    working.Begin();
    outbox.QueueReading(working, start, "dane.mdb", Row(3), upperOnly);
    outbox.QueueReading(working, start, "dane.mdb", Row(4));
    working.Commit();
    ASSERT_TRUE(WaitUntil([&] { return OnServer() == 4 && Queued() == 0; }, 10000));
    sender->Stop();
    EXPECT_TRUE(server.Value(database, "SELECT lower_limit FROM series").isNull());
    EXPECT_EQ(server.Value(database, "SELECT upper_limit FROM series").toDouble(), 100.5);
    EXPECT_TRUE(server.Value(database, "SELECT stable FROM readings WHERE lp = 4").isNull());
    EXPECT_EQ(server.Value(database, "SELECT count(DISTINCT series) FROM readings").toInt(), 1);
}

// Rows an earlier program queued (its outbox had no stability nor limits)
// are sent once the outbox has its new columns, as readings of unknown
// stability that leave the series' limits alone.
TEST_F(LabServerSenderTest, RowsQueuedInTheEarlierOutboxLayoutAreSent) {
    const QString oldPath = folder.path() + "/earlier.mdb";
    {
        Database earlier(oldPath);
        earlier.Execute("CREATE TABLE LabOutbox (id INTEGER PRIMARY KEY AUTOINCREMENT, "
                        "kind TEXT NOT NULL, station TEXT NOT NULL, series TEXT NOT NULL, "
                        "lp INTEGER, taken TEXT, timer INTEGER, value REAL, unit TEXT, text TEXT)");
        earlier.Execute("INSERT INTO LabOutbox (kind, station, series, lp, taken, timer, value, "
                        "unit, text) VALUES ('series', '3', 'E1', NULL, ?, NULL, NULL, NULL, "
                        "'dane.mdb'), ('reading', '3', 'E1', 1, ?, 0, 5.25, 'g', ' ')",
                        {LabServerOutbox::ZonedText(start), LabServerOutbox::ZonedText(start)});
    }
    LabServerSender sender(settings, oldPath, {50, 100, 500});
    sender.Start();
    ASSERT_TRUE(WaitUntil([&] { return OnServer() == 1; }, 10000));
    ASSERT_TRUE(WaitUntil(
        [&] { return Database(oldPath).Scalar("SELECT count(*) FROM LabOutbox").toInt() == 0; }));
    sender.Stop();
    EXPECT_EQ(server.Value(database, "SELECT value FROM readings WHERE series = 'E1'").toDouble(),
              5.25);
    EXPECT_TRUE(server.Value(database, "SELECT stable FROM readings").isNull());
    EXPECT_TRUE(server.Value(database, "SELECT lower_limit FROM series").isNull());
    EXPECT_TRUE(server.Value(database, "SELECT upper_limit FROM series").isNull());
}

TEST_F(LabServerSenderTest, ServerStoppedAndRestartedGetsEveryReadingOnceInOrder) {
    auto sender = Sender();
    QSignalSpy failed(sender.get(), &LabServerSender::Failed);
    sender->Start();
    Store(1, 20);
    ASSERT_TRUE(WaitUntil([&] { return OnServer() == 20; }, 10000));

    ASSERT_TRUE(server.Stop());
    for (int lp = 21; lp <= 60; ++lp) {
        Store(lp, lp);
        RunEventsFor(10);
    }
    ASSERT_TRUE(WaitUntil([&] { return failed.count() > 0; }, 10000));
    // Several retries meanwhile, one report.
    RunEventsFor(400);
    EXPECT_EQ(failed.count(), 1);
    const auto told = failed.first().first().value<LabServerStatus>();
    EXPECT_EQ(told.state, LabServerStatus::State::Failed);
    EXPECT_FALSE(told.reason.isEmpty());
    EXPECT_EQ(Queued(), 40);
    ASSERT_TRUE(WaitUntil([&] { return sender->Status().queued == 40; }));

    ASSERT_TRUE(server.Start());
    ASSERT_TRUE(WaitUntil([&] { return OnServer() == 60 && Queued() == 0; }, 10000));
    ASSERT_TRUE(WaitUntil([&] {
        return sender->Status().state == LabServerStatus::State::Connected &&
               sender->Status().queued == 0;
    }));
    sender->Stop();
    ExpectAllOnceInOrder(60);
    EXPECT_EQ(failed.count(), 1);
}

TEST_F(LabServerSenderTest, ServerKilledInTheMiddleOfABatchLeavesNoGapAndNoDuplicate) {
    constexpr int count = 20000;
    Store(1, count);
    auto sender = Sender({50, 100, 2000});
    sender->Start();
    // Killed while the backlog is on its way.
    ASSERT_TRUE(WaitUntil([&] { return OnServer() > 0; }, 10000));
    server.Kill();
    const int before = count - Queued();
    ASSERT_TRUE(server.Start()) << server.Failure().toStdString();
    ASSERT_TRUE(WaitUntil([&] { return Queued() == 0; }, 30000));
    sender->Stop();
    EXPECT_LT(before, count);
    EXPECT_EQ(OnServer(), count);
    ExpectAllOnceInOrder(count);
}

TEST_F(LabServerSenderTest, RowsQueuedWhenTheProgramWasKilledAreSentAtTheNextStart) {
    // The program: stores readings, then dies without any shutdown.
    const pid_t program = ::fork();
    if (program == 0) {
        Database own(path);
        LabServerOutbox queued(path, "3");
        for (int lp = 1; lp <= 30; ++lp) {
            own.Begin();
            queued.QueueReading(own, start, "dane.mdb", Row(lp));
            own.Commit();
        }
        ::raise(SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(program, &status, 0), program);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(Queued(), 30);

    auto sender = Sender();
    sender->Start();
    ASSERT_TRUE(WaitUntil([&] { return OnServer() == 30 && Queued() == 0; }, 10000));
    sender->Stop();
    ExpectAllOnceInOrder(30);
}

TEST_F(LabServerSenderTest, AWrongPasswordOrAMissingDatabaseIsToldOnceAndReadingsStayHere) {
    const std::vector<std::pair<QString, const char*>> cases = {
        {server.Connection(database, "wrong"), "password authentication failed"},
        {server.Connection("nowhere"), "does not exist"},
    };
    for (const auto& [connection, reason] : cases) {
        SCOPED_TRACE(reason);
        settings.connection = connection;
        auto sender = Sender();
        QSignalSpy failed(sender.get(), &LabServerSender::Failed);
        // As a window gets it: queued to the main thread.
        QObject window;
        int shown = 0;
        QObject::connect(sender.get(), &LabServerSender::Failed, &window,
                         [&shown](const LabServerStatus&) { ++shown; });
        sender->Start();
        Store(1, 5);
        ASSERT_TRUE(WaitUntil([&] { return shown > 0; }, 10000));
        RunEventsFor(500);
        sender->Stop();
        ASSERT_EQ(failed.count(), 1);
        EXPECT_EQ(shown, 1);
        const auto told = failed.first().first().value<LabServerStatus>();
        EXPECT_TRUE(told.reason.contains(QLatin1String(reason))) << told.reason.toStdString();
        EXPECT_EQ(Queued(), 5);
        working.Execute("DELETE FROM LabOutbox");
    }
    EXPECT_EQ(OnServer(), 0);
}

// A later program's schema (its next version renamed a column) is refused
// with a reason that says so, told once however often the sender tries
// again; nothing is written to it.
TEST_F(LabServerSenderTest, ANewerSchemaIsRefusedAndToldOnce) {
    ASSERT_TRUE(LabServerCommands::Init(settings).ok);
    const int later = LabServerSchema::Version + 1;
    server.Column(database, "ALTER TABLE readings RENAME COLUMN value TO mass");
    server.Column(database,
                  QStringLiteral("INSERT INTO schema_version (version) VALUES (%1)").arg(later));
    const QString newer = QStringLiteral("schema is at version %1, newer than version %2 of this "
                                         "program")
                              .arg(later)
                              .arg(LabServerSchema::Version);

    const LabServerCommands::Outcome init = LabServerCommands::Init(settings);
    EXPECT_FALSE(init.ok);
    EXPECT_TRUE(init.reason.contains(newer)) << init.reason.toStdString();
    const LabServerCommands::Outcome status = LabServerCommands::Status(settings, path).connection;
    EXPECT_FALSE(status.ok);
    EXPECT_TRUE(status.connected);
    EXPECT_EQ(status.schemaVersion, later);
    EXPECT_TRUE(status.reason.contains(newer)) << status.reason.toStdString();

    auto sender = Sender();
    QSignalSpy failed(sender.get(), &LabServerSender::Failed);
    sender->Start();
    Store(1, 5);
    ASSERT_TRUE(WaitUntil([&] { return failed.count() > 0; }, 10000));
    // Retries every 100 ms meanwhile.
    RunEventsFor(700);
    sender->Stop();
    EXPECT_EQ(failed.count(), 1);
    EXPECT_TRUE(failed.first().first().value<LabServerStatus>().reason.contains(newer));
    EXPECT_EQ(Queued(), 5);
    EXPECT_EQ(OnServer(), 0);
    EXPECT_EQ(server.Value(database, "SELECT max(version) FROM schema_version").toInt(), later);
}

// The server refuses each batch (a trigger raises the reason kept in the
// table refusal): every cause is told once, not at each new connection;
// another cause is told; once readings arrived, the same cause is news
// again.
TEST_F(LabServerSenderTest, EachCauseOfFailureIsToldOnceUntilItChanges) {
    ASSERT_TRUE(LabServerCommands::Init(settings).ok);
    server.Column(database, "CREATE TABLE refusal (reason text)");
    server.Column(database, "INSERT INTO refusal VALUES (NULL)");
    server.Column(database, "CREATE FUNCTION refuse() RETURNS trigger AS $$ BEGIN "
                            "IF (SELECT reason FROM refusal) IS NOT NULL THEN "
                            "RAISE EXCEPTION '%', (SELECT reason FROM refusal); END IF; "
                            "RETURN NEW; END $$ LANGUAGE plpgsql");
    server.Column(database, "CREATE TRIGGER refuse BEFORE INSERT ON readings "
                            "FOR EACH ROW EXECUTE FUNCTION refuse()");
    auto sender = Sender();
    QSignalSpy failed(sender.get(), &LabServerSender::Failed);
    sender->Start();
    struct Step {
        const char* refusal; // none: the server takes the readings
        int newReadings;
        int told;
    };
    const Step steps[] = {
        {"refused A", 2, 1}, {"refused B", 0, 2}, {nullptr, 1, 2}, {"refused B", 1, 3}};
    int stored = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.refusal ? step.refusal : "none");
        server.Column(database, step.refusal ? QStringLiteral("UPDATE refusal SET reason = '%1'")
                                                   .arg(QLatin1String(step.refusal))
                                             : QStringLiteral("UPDATE refusal SET reason = NULL"));
        if (step.newReadings > 0)
            Store(stored + 1, stored + step.newReadings);
        stored += step.newReadings;
        if (step.refusal) {
            ASSERT_TRUE(WaitUntil([&] { return failed.count() == step.told; }, 10000));
            EXPECT_TRUE(
                failed.last().first().value<LabServerStatus>().reason.contains(step.refusal));
            // Several new connections meanwhile.
            RunEventsFor(500);
        } else {
            ASSERT_TRUE(WaitUntil([&] { return OnServer() == stored; }, 10000));
        }
        EXPECT_EQ(failed.count(), step.told);
    }
    sender->Stop();
}

TEST_F(LabServerSenderTest, TheSchemaIsCreatedOnceAndUpgradingAgainChangesNothing) {
    for (int run = 0; run < 2; ++run) {
        QString reason;
        ASSERT_TRUE(LabServerSchema::Connect(settings, "schema-test", &reason))
            << reason.toStdString();
        {
            QSqlDatabase connection = QSqlDatabase::database("schema-test");
            ASSERT_TRUE(LabServerSchema::Upgrade(connection, &reason)) << reason.toStdString();
            EXPECT_EQ(LabServerSchema::CurrentVersion(connection), LabServerSchema::Version);
            connection.close();
        }
        QSqlDatabase::removeDatabase("schema-test");
    }
    EXPECT_EQ(server.Value(database, "SELECT count(*) FROM schema_version").toInt(),
              LabServerSchema::Version);
    EXPECT_EQ(server
                  .Value(database, "SELECT count(*) FROM information_schema.tables WHERE "
                                   "table_name IN ('stations', 'series', 'readings', 'reports')")
                  .toInt(),
              4);
}

// A lab database whose journal was keyed by station and seq alone keeps
// every entry on the upgrade, each in the chain its station's entry 1 begins.
TEST_F(LabServerSenderTest, AnUpgradeKeepsTheJournalAndKeysItsChains) {
    server.Column(database,
                  "CREATE TABLE schema_version (version integer PRIMARY KEY, "
                  "applied_at timestamptz NOT NULL DEFAULT now()); "
                  "INSERT INTO schema_version (version) VALUES (1), (2) RETURNING version");
    server.Column(database,
                  "CREATE TABLE journal (station text NOT NULL, seq bigint NOT NULL, at "
                  "timestamptz NOT NULL, utc_offset integer NOT NULL, nr_wagi text, os_user "
                  "text, host text, event integer NOT NULL, data bytea, hash bytea NOT NULL, "
                  "received_at timestamptz NOT NULL DEFAULT now(), PRIMARY KEY (station, seq)); "
                  "INSERT INTO journal (station, seq, at, utc_offset, event, hash) VALUES "
                  "('A', 1, now(), 0, 1, '\\x01'), ('A', 2, now(), 0, 2, '\\x02'), "
                  "('B', 2, now(), 0, 2, '\\x03') RETURNING seq");
    QString reason;
    ASSERT_TRUE(LabServerSchema::Connect(settings, "upgrade-test", &reason))
        << reason.toStdString();
    {
        QSqlDatabase connection = QSqlDatabase::database("upgrade-test");
        ASSERT_TRUE(LabServerSchema::Upgrade(connection, &reason)) << reason.toStdString();
        EXPECT_EQ(LabServerSchema::CurrentVersion(connection), LabServerSchema::Version);
        connection.close();
    }
    QSqlDatabase::removeDatabase("upgrade-test");
    EXPECT_EQ(server
                  .Value(database, "SELECT string_agg(station || seq || '=' || "
                                   "encode(chain, 'hex'), ',' ORDER BY station, seq) FROM journal")
                  .toString(),
              "A1=01,A2=01,B2=");
    // A chain begun anew beside the old one.
    server.Column(database, "INSERT INTO journal (station, chain, seq, at, utc_offset, event, "
                            "hash) VALUES ('A', '\\x09', 1, now(), 0, 1, '\\x09') RETURNING seq");
    EXPECT_EQ(server.Value(database, "SELECT count(*) FROM journal WHERE station = 'A'").toInt(),
              3);
}

// A database at version 6 gains the reading's stability and the series'
// limits in place: what it holds stays, and is of unknown stability and
// without limits.
TEST_F(LabServerSenderTest, AnUpgradeFromVersionSixKeepsTheReadingsWithNothingKnownOfTheNew) {
    QString reason;
    ASSERT_TRUE(LabServerSchema::Connect(settings, "upgrade-test", &reason))
        << reason.toStdString();
    {
        QSqlDatabase connection = QSqlDatabase::database("upgrade-test");
        ASSERT_TRUE(LabServerSchema::Upgrade(connection, &reason)) << reason.toStdString();
        // Version 7 taken back: the tables as version 6 left them.
        server.Column(database,
                      "ALTER TABLE readings DROP COLUMN stable; "
                      "ALTER TABLE series DROP COLUMN lower_limit, DROP COLUMN upper_limit; "
                      "DELETE FROM schema_version WHERE version = 7 RETURNING version");
        server.Column(database,
                      "INSERT INTO stations (station) VALUES ('A'); "
                      "INSERT INTO series (station, series, started) VALUES ('A', 'S', now()); "
                      "INSERT INTO readings (station, series, lp, value, taken_at) "
                      "VALUES ('A', 'S', 1, 2.5, now()) RETURNING lp");
        ASSERT_EQ(LabServerSchema::CurrentVersion(connection), 6);
        ASSERT_TRUE(LabServerSchema::Upgrade(connection, &reason)) << reason.toStdString();
        EXPECT_EQ(LabServerSchema::CurrentVersion(connection), 7);
        connection.close();
    }
    QSqlDatabase::removeDatabase("upgrade-test");
    EXPECT_EQ(server.Value(database, "SELECT value FROM readings WHERE lp = 1").toDouble(), 2.5);
    EXPECT_TRUE(server.Value(database, "SELECT stable FROM readings WHERE lp = 1").isNull());
    EXPECT_EQ(server
                  .Value(database, "SELECT count(*) FROM series WHERE lower_limit IS NULL AND "
                                   "upper_limit IS NULL")
                  .toInt(),
              1);
    // The new columns take what a station sends.
    server.Column(database, "UPDATE readings SET stable = false; "
                            "UPDATE series SET lower_limit = 1.5 RETURNING lower_limit");
    EXPECT_EQ(server.Value(database, "SELECT lower_limit FROM series").toDouble(), 1.5);
}

TEST_F(LabServerSenderTest, ServerCommandsInitAndStatus) {
    LabServerSettings wrong = settings;
    wrong.connection = server.Connection("nowhere");
    const LabServerCommands::Outcome refused = LabServerCommands::Init(wrong);
    EXPECT_FALSE(refused.ok);
    EXPECT_TRUE(refused.reason.contains("does not exist")) << refused.reason.toStdString();

    const LabServerCommands::Outcome init = LabServerCommands::Init(settings);
    ASSERT_TRUE(init.ok) << init.reason.toStdString();
    EXPECT_EQ(init.schemaVersion, LabServerSchema::Version);

    Store(1, 4);
    LabServerOutbox other(path, "12");
    working.Begin();
    other.QueueReading(working, start, "dane.mdb", Row(1));
    working.Commit();
    LabServerCommands::StatusReport status = LabServerCommands::Status(settings, path);
    EXPECT_TRUE(status.connection.ok);
    EXPECT_EQ(status.connection.schemaVersion, LabServerSchema::Version);
    const QList<QPair<QString, int>> queued{{"12", 1}, {"3", 4}};
    EXPECT_EQ(status.queued, queued);
    EXPECT_TRUE(status.onServer.isEmpty());

    auto sender = Sender();
    sender->Start();
    ASSERT_TRUE(WaitUntil([&] { return Queued() == 0; }, 10000));
    sender->Stop();
    status = LabServerCommands::Status(settings, path);
    EXPECT_TRUE(status.queued.isEmpty());
    EXPECT_EQ(status.onServer, queued);

    status = LabServerCommands::Status(wrong, path);
    EXPECT_FALSE(status.connection.ok);
    EXPECT_FALSE(status.connection.reason.isEmpty());
}

} // namespace
