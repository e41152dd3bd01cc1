#include "BalanceProtocol.h"
#include "CollectedBatch.h"
#include "Database.h"
#include "EventWait.h"
#include "LabServer.h"
#include "LabServerCommands.h"
#include "MeasurementStore.h"
#include "PostgresServer.h"
#include "ProgramContext.h"
#include "ScriptedDialogs.h"
#include "SeriesFile.h"
#include "StoreReadings.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Pomiar;

namespace {

// The store as the program wires it: every reading it writes, single or
// from continuous transmission, is queued with it and reaches the server.
// A lab database server and a station's store in a program folder of its
// own.
class LabServerStore : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.Made()) << server.Failure().toStdString();
        ASSERT_TRUE(server.CreateDatabase("lab"));
        context.programFolder = folder.path();
        context.dialogs = &dialogs;
        store.OtworzMagazyn();
    }

    PostgresServer server;
    QTemporaryDir folder;
    ScriptedDialogs dialogs;
    ProgramContext context;
    MeasurementStore store{context};
};

TEST_F(LabServerStore, ReadingsTheStoreWritesReachTheServer) {

    LabServerSettings settings;
    settings.enabled = true;
    settings.connection = server.Connection("lab");
    settings.station = "5";
    auto lab = LabServer::Start(settings, MeasurementStore::WorkingDatabasePath(folder.path()));
    lab->Attach(store);
    const QDateTime start = QDateTime::currentDateTime();
    ASSERT_TRUE(AppendReading(store, "12.5 g", "g", start));
    ASSERT_TRUE(AppendReading(store, "12.75 g", "g", start.addSecs(2)));
    ContinuousBuffers buffers;
    for (int i = 0; i < 3; ++i)
        buffers.Append(QByteArray("   13.0") + QByteArray::number(i) + " g  \r\n",
                       start.addSecs(3 + i));
    ASSERT_TRUE(StoreCollected(store, buffers, nullptr));
    ASSERT_EQ(store.RowCount(), 5);

    ASSERT_TRUE(WaitUntil(
        [&] { return server.Value("lab", "SELECT count(*) FROM readings").toInt() == 5; }, 10000));
    EXPECT_EQ(server
                  .Value("lab", "SELECT string_agg(lp::text || '=' || value::text, ',' "
                                "ORDER BY lp) FROM readings")
                  .toString(),
              "1=12.5,2=12.75,3=13,4=13.01,5=13.02");
    EXPECT_EQ(server.Value("lab", "SELECT count(DISTINCT series) FROM readings").toInt(), 1);
    EXPECT_EQ(server.Value("lab", "SELECT file_name FROM series").toString(), "dane.mdb");
    EXPECT_EQ(server.Value("lab", "SELECT timer FROM readings WHERE lp = 2").toInt(), 2);

    // A description set later and the instrument's report follow, and the
    // description stays on its own reading here.
    store.SetDescription(0, "sample A");
    EXPECT_EQ(store.Bound()
                  .Scalar("SELECT group_concat(Lp || '=' || trim(coalesce(Opis, '')), ',') "
                          "FROM (SELECT Lp, Opis FROM pomiary ORDER BY Lp)")
                  .toString(),
              "1=sample A,2=,3=,4=,5=");
    ASSERT_EQ(store.SaveReport("REPORT LINE"), ReportText::SaveResult::Saved);
    ASSERT_TRUE(WaitUntil(
        [&] {
            return server.Value("lab", "SELECT description FROM readings WHERE lp = 1")
                           .toString() == "sample A" &&
                   server.Value("lab", "SELECT count(*) FROM reports").toInt() == 1;
        },
        10000));
    EXPECT_EQ(server.Value("lab", "SELECT report FROM reports").toString(), "REPORT LINE");

    // A new series starts a new one on the server.
    store.NowaSeria();
    ASSERT_TRUE(AppendReading(store, "1.0 g", "g", start.addSecs(60)));
    ASSERT_TRUE(WaitUntil(
        [&] {
            return server.Value("lab", "SELECT count(DISTINCT series) FROM readings").toInt() == 2;
        },
        10000));
    lab.reset();
}

// A station switched on after its journal began sends it from its first
// entry; what a bound series file appends to its own copy stays there.
TEST_F(LabServerStore, TheWorkingJournalReachesTheServerWholeAndFilesKeepTheirOwn) {
    const QDateTime start = QDateTime::currentDateTime();
    ASSERT_TRUE(AppendReading(store, "1.5 g", "g", start));

    LabServerSettings settings;
    settings.enabled = true;
    settings.connection = server.Connection("lab");
    settings.station = "7";
    const QString working = MeasurementStore::WorkingDatabasePath(folder.path());
    auto lab = LabServer::Start(settings, working);
    lab->Attach(store);
    ASSERT_TRUE(AppendReading(store, "2.5 g", "g", start.addSecs(1)));
    const int entries = store.Bound().Scalar("SELECT count(*) FROM journal").toInt();
    ASSERT_GT(entries, 2);
    ASSERT_TRUE(WaitUntil(
        [&] { return server.Value("lab", "SELECT count(*) FROM journal").toInt() == entries; },
        10000));
    LabServerCommands::VerifyReport report = LabServerCommands::Verify(settings);
    ASSERT_TRUE(report.connection.ok) << report.connection.reason.toStdString();
    ASSERT_EQ(report.stations.size(), 1);
    EXPECT_TRUE(report.stations[0].verified) << report.stations[0].where.toStdString();
    EXPECT_EQ(report.stations[0].entries, entries);

    // A series file bound: its readings are queued, its journal entries not.
    const QString file = folder.path() + "/seria.ser";
    QString error;
    ASSERT_EQ(SeriesFile::ZapiszSerie(store.Bound(), file, nullptr, &error),
              SeriesFile::SaveResult::Completed)
        << error.toStdString();
    store.OtworzBaze(file);
    ASSERT_TRUE(AppendReading(store, "3.5 g", "g", start.addSecs(2)));
    ASSERT_TRUE(WaitUntil(
        [&] {
            return server.Value("lab", "SELECT count(*) FROM readings WHERE value = 3.5").toInt() ==
                   1;
        },
        10000));
    EXPECT_EQ(server.Value("lab", "SELECT count(*) FROM journal").toInt(), entries);
    lab.reset();
}

} // namespace
