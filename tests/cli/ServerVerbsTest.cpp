#include "Database.h"
#include "LabServerOutbox.h"
#include "LabServerSchema.h"
#include "MeasurementStore.h"
#include "PostgresServer.h"
#include "TrevaloProcess.h"

#include <QFile>
#include <QTcpServer>
#include <gtest/gtest.h>

#include <csignal>
#include <unistd.h>

using namespace Pomiar;

namespace {

// Readings the program stored while the server was away: queued in the
// working database of the program folder, which holds only these.
void QueueReadings(const QString& station, int count) {
    const QString path = MeasurementStore::WorkingDatabasePath(ProgramFolder());
    for (const char* suffix : {"", "-wal", "-shm"})
        QFile::remove(path + QLatin1String(suffix));
    Database working(path);
    LabServerOutbox::CreateTable(working);
    LabServerOutbox outbox(path, station);
    const QDateTime start(QDate(2026, 12, 7), QTime(10, 0, 0));
    working.Begin();
    for (int lp = 1; lp <= count; ++lp) {
        SeriesRow row;
        row.lp = lp;
        row.godzina = start.addSecs(lp);
        row.data = row.godzina.date();
        row.timer = lp;
        row.masa = 10.0 + lp;
        row.jm = "g";
        outbox.QueueReading(working, start, "dane.mdb", row);
    }
    working.Commit();
}

void WriteLabServerSettings(const QString& enabled, const QString& connection) {
    WriteSettings(QStringLiteral("[ustawienia]\r\nNr_wagi=3\r\n[LabServer]\r\nEnabled=%1\r\n"
                                 "Connection=%2\r\nStation=Waga-3\r\n")
                      .arg(enabled, connection)
                      .toUtf8());
}

// A loopback port where nothing answers.
int ClosedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0);
    const int port = probe.serverPort();
    probe.close();
    return port;
}

// A failure a script can act on: exit 3 and one line on standard error.
void ExpectOneLineFailure(const TrevaloResult& run) {
    EXPECT_EQ(run.exitCode, 3) << run.err.toStdString();
    EXPECT_EQ(run.err.count(u'\n'), 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.startsWith(QLatin1String("trevalo: server: "))) << run.err.toStdString();
}

// A lab database of its own on the test's PostgreSQL server, switched on in
// the station's settings.
class ServerVerbsOnALabDatabase : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.Made()) << server.Failure().toStdString();
        ASSERT_TRUE(server.CreateDatabase(database));
        WriteLabServerSettings("True", server.Connection(database));
    }

    PostgresServer server;
    // Per test and process: tests of several processes share the server.
    const QString database =
        QStringLiteral("lab%1_%2")
            .arg(::getpid())
            .arg(::testing::UnitTest::GetInstance()->current_test_info()->line());
};

TEST_F(ServerVerbsOnALabDatabase, InitCreatesTheSchemaAndStatusShowsConnectionSchemaAndQueue) {
    QueueReadings("Waga-3", 3);

    auto status = RunTrevalo({"server", "status"});
    EXPECT_EQ(status.exitCode, 0) << status.err.toStdString();
    EXPECT_EQ(status.OutLines(), (QStringList{"connection\tok", "schema\t0", "queued\tWaga-3\t3"}));

    const QString version = QStringLiteral("schema version %1").arg(LabServerSchema::Version);
    for (int run = 0; run < 2; ++run) {
        const auto init = RunTrevalo({"server", "init"});
        EXPECT_EQ(init.exitCode, 0) << init.err.toStdString();
        EXPECT_EQ(init.OutLines(), QStringList{version}) << "run " << run;
    }
    EXPECT_EQ(server.Value(database, "SELECT max(version) FROM schema_version").toInt(),
              LabServerSchema::Version);

    // Readings of two stations on the server, as the senders leave them.
    ASSERT_EQ(server
                  .Column(database,
                          "WITH st AS (INSERT INTO stations (station) VALUES ('Waga-1'), "
                          "('Waga-3') RETURNING station), "
                          "se AS (INSERT INTO series SELECT station, 's', now(), 'dane.mdb' "
                          "FROM st RETURNING station, series) "
                          "INSERT INTO readings (station, series, lp, value, unit, taken_at) "
                          "SELECT station, series, lp, 1.5, 'g', now() FROM se, "
                          "generate_series(1, CASE WHEN station = 'Waga-1' THEN 2 ELSE 5 END) lp "
                          "RETURNING lp")
                  .size(),
              7);
    status = RunTrevalo({"server", "status"});
    EXPECT_EQ(status.exitCode, 0) << status.err.toStdString();
    EXPECT_EQ(
        status.OutLines(),
        (QStringList{"connection\tok", QStringLiteral("schema\t%1").arg(LabServerSchema::Version),
                     "queued\tWaga-3\t3", "server\tWaga-1\t2", "server\tWaga-3\t5"}));

    // A later program's schema: refused, never reported as usable.
    const int newer = LabServerSchema::Version + 1;
    server.Column(database,
                  QStringLiteral("INSERT INTO schema_version (version) VALUES (%1)").arg(newer));
    for (const char* verb : {"init", "status"}) {
        const auto run = RunTrevalo({"server", verb});
        ExpectOneLineFailure(run);
        EXPECT_TRUE(run.err.contains(QStringLiteral("schema is at version %1, newer").arg(newer)))
            << run.err.toStdString();
    }
}

TEST(ServerVerbs, SwitchedOffConnectsNowhere) {
    QTcpServer listener;
    ASSERT_TRUE(listener.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0));
    WriteLabServerSettings(
        "False", QStringLiteral("host=127.0.0.1 port=%1 dbname=lab").arg(listener.serverPort()));
    for (const char* verb : {"init", "status"}) {
        const auto run = RunTrevalo({"server", verb});
        ExpectOneLineFailure(run);
        EXPECT_TRUE(run.err.contains(QLatin1String("switched off"))) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
    }
    EXPECT_FALSE(listener.waitForNewConnection(100));
}

TEST(ServerVerbs, ServerDownFailsWithTheReasonAndStillShowsTheQueue) {
    WriteLabServerSettings(
        "True", QStringLiteral("host=127.0.0.1 port=%1 dbname=lab user=lab").arg(ClosedPort()));
    QueueReadings("Waga-3", 2);

    const auto status = RunTrevalo({"server", "status"});
    ExpectOneLineFailure(status);
    EXPECT_TRUE(status.err.contains(QLatin1String("refused"))) << status.err.toStdString();
    EXPECT_EQ(status.OutLines(),
              (QStringList{"connection\tfailed", "schema\t0", "queued\tWaga-3\t2"}));

    const auto init = RunTrevalo({"server", "init"});
    ExpectOneLineFailure(init);
    EXPECT_TRUE(init.out.isEmpty()) << init.out.toStdString();
}

} // namespace

// An unattended log feeds the lab database as the program does: every
// reading it prints reaches the server before the log ends.
TEST_F(ServerVerbsOnALabDatabase, LogLandsItsReadingsOnTheServer) {
    QFile::remove(MeasurementStore::WorkingDatabasePath(ProgramFolder()));
    ASSERT_EQ(RunTrevalo({"server", "init"}).exitCode, 0);
    Simulator simulator;
    ASSERT_TRUE(simulator.Start({"--mass", "2.5", "--noise", "0"}));
    const QString series = ProgramFolder() + QStringLiteral("/lab-log.ser");
    QFile::remove(series);

    RunningTrevalo log({"log", "--tcp", simulator.Tcp(), "--interval", "0.5", "--out", series});
    ASSERT_TRUE(log.WaitForLines(3));
    log.Signal(SIGINT);
    const auto run = log.Finish(20000);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_FALSE(run.err.contains("wait for the lab database")) << run.err.toStdString();
    EXPECT_EQ(server
                  .Value(database, "SELECT count(*) FROM readings WHERE station = 'Waga-3' "
                                   "AND value = 2.5 AND unit = 'g'")
                  .toInt(),
              run.OutLines().size());
    EXPECT_EQ(server.Value(database, "SELECT file_name FROM series").toString(), "lab-log.ser");
}
