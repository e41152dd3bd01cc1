#include "Database.h"
#include "EventWait.h"
#include "LabServer.h"
#include "LabServerOutbox.h"
#include "LabServerSchema.h"
#include "MeasurementStore.h"
#include "PostgresServer.h"
#include "ProgramContext.h"
#include "ScriptedDialogs.h"
#include "SeriesFile.h"
#include "SeriesJournal.h"
#include "StoreReadings.h"
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

    // Station 3 with its working database made anew, its journal going to
    // the lab database as the program sends it.
    struct LabStation {
        explicit LabStation(ServerVerbsOnALabDatabase& test) {
            const QString working = MeasurementStore::WorkingDatabasePath(ProgramFolder());
            for (const char* suffix : {"", "-wal", "-shm"})
                QFile::remove(working + QLatin1String(suffix));
            context.programFolder = ProgramFolder();
            context.dialogs = &dialogs;
            context.settings.nrWagi = "3";
            store = std::make_unique<MeasurementStore>(context);
            store->OtworzMagazyn();
            LabServerSettings settings;
            settings.enabled = true;
            settings.connection = test.server.Connection(test.database);
            settings.station = "Waga-3";
            lab = LabServer::Start(settings, working);
            lab->Attach(*store);
        }

        // Every entry queued has reached the lab database.
        bool SentAll() {
            return WaitUntil(
                [&] {
                    return store->Bound().Scalar("SELECT count(*) FROM LabOutbox").toInt() == 0 &&
                           lab->sender.Status().queued == 0;
                },
                10000);
        }

        ScriptedDialogs dialogs;
        ProgramContext context;
        std::unique_ptr<MeasurementStore> store;
        // Goes before the store it is attached to.
        std::unique_ptr<LabServer> lab;
    };
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

namespace {

using SeriesJournal::Entry;

// Rewrites the journal of a series file whole by the journal's own rules:
// each entry as change leaves it, every hash computed anew.
void RewriteJournal(const QString& path, const std::function<void(Entry&)>& change) {
    Database file(path, Database::Journal::Rollback);
    QList<Entry> entries;
    file.QueryRows("SELECT seq, at, utc_offset, station, os_user, host, event, data FROM journal "
                   "ORDER BY seq",
                   [&entries](const Database::RowView& view) {
                       entries.append({view.Integer(0),
                                       view.Integer(1),
                                       int(view.Integer(2)),
                                       view.TypeOf(4) == Database::RowView::Type::Null,
                                       {view.Text(3), view.Text(4), view.Text(5)},
                                       SeriesJournal::Event(view.Integer(6)),
                                       view.Blob(7),
                                       {}});
                   });
    file.Begin();
    QByteArray previous;
    for (Entry& entry : entries) {
        change(entry);
        entry.hash = SeriesJournal::ChainedHash(previous, entry);
        previous = entry.hash;
        file.Execute("UPDATE journal SET data = ?, hash = ? WHERE seq = ?",
                     {entry.data, entry.hash, entry.seq});
    }
    file.Commit();
}

// The station's journal goes to the server with its readings; the server's
// copy then vouches for it, and for the series files saved from it.
TEST_F(ServerVerbsOnALabDatabase, TheJournalReachesTheServerWhichVerifiesItAndTheFilesSavedFromIt) {
    const QString saved = ProgramFolder() + "/journal.ser";
    QFile::remove(saved);
    {
        LabStation station(*this);
        MeasurementStore& store = *station.store;
        auto& lab = station.lab;
        const QDateTime start = QDateTime::currentDateTime();
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(AppendReading(store, QString::number(12.5 + i), "g", start.addSecs(i),
                                      "  12.5 g\r\n"));
        QString error;
        ASSERT_EQ(SeriesFile::ZapiszSerie(store.Bound(), saved, nullptr, &error),
                  SeriesFile::SaveResult::Completed)
            << error.toStdString();
        store.Record(SeriesJournal::Event::SeriesSaved, "journal.ser");
        ASSERT_TRUE(station.SentAll());
        const int entries = store.Bound().Scalar("SELECT count(*) FROM journal").toInt();
        EXPECT_EQ(
            server.Value(database, "SELECT count(*) FROM journal WHERE station = 'Waga-3'").toInt(),
            entries);
        EXPECT_EQ(server.Value(database, "SELECT count(*) FROM readings").toInt(), 3);
        lab.reset();
    }

    auto verify = RunTrevalo({"server", "verify"});
    EXPECT_EQ(verify.exitCode, 0) << verify.err.toStdString();
    ASSERT_EQ(verify.OutLines().size(), 1);
    EXPECT_TRUE(verify.OutLines()[0].startsWith("station Waga-3: verified, "))
        << verify.out.toStdString();

    // Copies of the saved file: as saved, forged with a chain computed anew
    // (its own journal still vouches for it), and as saved while the server
    // had only its first entries.
    qint64 forgedSeq = 0;
    const struct {
        const char* name;
        std::function<void(const QString& path)> change;
        int exitCode;
        QString told;
    } files[] = {
        {"as saved", [](const QString&) {}, 0, "matches the lab database ("},
        {"forged",
         [&forgedSeq](const QString& path) {
             RewriteJournal(path, [&forgedSeq](Entry& entry) {
                 QList<QByteArray> fields = SeriesJournal::SplitFields(entry.data);
                 // A compact entry gives Lp as its distance from its own number.
                 const qint64 lp = fields[0].startsWith('=')
                                       ? entry.seq - fields[0].mid(1).toLongLong()
                                       : fields[0].toLongLong();
                 if (entry.event == SeriesJournal::Event::ReadingStored && lp == 2) {
                     fields[1] = "99";
                     entry.data = SeriesJournal::JoinFields(fields);
                     forgedSeq = entry.seq;
                 }
             });
             Database(path, Database::Journal::Rollback)
                 .Execute("UPDATE pomiary SET Masa = 99 WHERE Lp = 2");
         },
         6, "entry %1 differs from the lab database's copy"},
        // The last reading and its entry cut from the file: the file still
        // verifies by itself, the server knows its end.
        {"its end cut",
         [](const QString& path) {
             Database file(path, Database::Journal::Rollback);
             file.Execute("DELETE FROM pomiary WHERE Lp = 3");
             file.Execute("DELETE FROM journal WHERE seq = (SELECT max(seq) FROM journal)");
         },
         6, "not the \"series saved\" that ends a saved file"},
        // Saved before the sender had sent all of it.
        {"ahead of the server",
         [this](const QString&) { server.Column(database, "DELETE FROM journal WHERE seq > 2"); },
         6, "entry 3 never reached the lab database"},
    };
    for (const auto& file : files) {
        const QString copy = ProgramFolder() + "/copy.ser";
        QFile::remove(copy);
        ASSERT_TRUE(QFile::copy(saved, copy));
        file.change(copy);
        EXPECT_EQ(RunTrevalo({"verify", copy}).exitCode, 0) << file.name;
        const auto run = RunTrevalo({"server", "verify", "--file", copy});
        EXPECT_EQ(run.exitCode, file.exitCode) << file.name << ": " << run.err.toStdString();
        const QString told = QString(file.told).replace("%1", QString::number(forgedSeq));
        EXPECT_TRUE((run.out + run.err).contains(told))
            << file.name << ": " << (run.out + run.err).toStdString();
    }
    EXPECT_GT(forgedSeq, 0);

    // A change on the server behind the stations' backs.
    server.Column(database, "UPDATE journal SET data = 'x'::bytea WHERE seq = 2 RETURNING seq");
    verify = RunTrevalo({"server", "verify"});
    EXPECT_EQ(verify.exitCode, 6);
    EXPECT_EQ(verify.OutLines(),
              QStringList{"station Waga-3: NOT VERIFIED: entry 2 does not match its hash"});
}

// A working database made anew (a new disk, a reinstall) begins its journal
// at entry 1 again: the server keeps that chain beside the old one, and
// says so, instead of dropping its entries.
TEST_F(ServerVerbsOnALabDatabase, AJournalBegunAnewIsKeptBesideTheOldOne) {
    int local = 0;
    for (int run = 0; run < 2; ++run) {
        LabStation station(*this);
        MeasurementStore& store = *station.store;
        auto& lab = station.lab;
        const QDateTime start = QDateTime::currentDateTime();
        for (int i = 0; i < 2; ++i)
            ASSERT_TRUE(AppendReading(store, QString::number(1.5 + i), "g", start.addSecs(i),
                                      "  1.5 g\r\n"));
        ASSERT_TRUE(station.SentAll());
        local += store.Bound().Scalar("SELECT count(*) FROM journal").toInt();
        lab.reset();
    }
    EXPECT_EQ(
        server.Value(database, "SELECT count(DISTINCT chain) FROM journal WHERE station = 'Waga-3'")
            .toInt(),
        2);
    EXPECT_EQ(server.Value(database, "SELECT count(*) FROM journal").toInt(), local);
    const auto verify = RunTrevalo({"server", "verify"});
    EXPECT_EQ(verify.exitCode, 0) << verify.err.toStdString();
    ASSERT_EQ(verify.OutLines().size(), 2) << verify.out.toStdString();
    for (const QString& line : verify.OutLines())
        EXPECT_TRUE(line.startsWith("station Waga-3 (journal begun ")) << line.toStdString();
}

} // namespace
