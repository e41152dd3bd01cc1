#include "ConsoleDialogs.h"
#include "Database.h"
#include "EventWait.h"
#include "MeasurementStore.h"
#include "ProgramContext.h"
#include "ScratchMount.h"
#include "SeriesFile.h"
#include "TestEnvironment.h"
#include "TestFiles.h"
#include "TrevaloProcess.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>

namespace {

struct Row {
    double value;
    QString time;
    bool operator==(const Row&) const = default;
};

[[maybe_unused]] void PrintTo(const Row& row, std::ostream* out) {
    *out << row.value << " at " << row.time.toStdString();
}

// A series file opened as the program opens one to go on with it.
std::vector<Row> RowsOpenedByTheProgram(const QString& path) {
    EXPECT_EQ(Pomiar::SeriesFile::Examine(path, nullptr), Pomiar::SeriesFile::FileState::Writable);
    QTemporaryDir folder;
    Trevalo::ConsoleDialogs dialogs;
    Pomiar::ProgramContext context;
    context.programFolder = folder.path();
    context.dialogs = &dialogs;
    Pomiar::MeasurementStore store(context);
    store.OtworzMagazyn();
    Pomiar::MeasurementStore::KompaktujBaze(path);
    store.OtworzBaze(path);
    std::vector<Row> rows;
    for (int i = 0; i < store.RowCount(); ++i) {
        const Pomiar::SeriesRow& row = store.Model().Row(i);
        rows.push_back({row.masa, row.godzina.toString("yyyy-MM-dd HH:mm:ss")});
    }
    return rows;
}

std::vector<Row> PrintedJson(const QStringList& lines) {
    std::vector<Row> rows;
    for (const QString& line : lines) {
        const QJsonObject object = QJsonDocument::fromJson(line.toUtf8()).object();
        rows.push_back({object.value("value").toDouble(), object.value("time").toString()});
    }
    return rows;
}

class AcquisitionVerbs : public ::testing::Test {
protected:
    void SetUp() override {
        WriteSettings("[ustawienia]\r\n");
        ASSERT_TRUE(
            simulator.Start({"--mass", "5.5", "--noise", "0.01", "--seed", "7", "--rate", "20"}));
    }
    // Tests of one process share its folders: each test its own file.
    QString Series() const {
        return TestEnvironment::Root() + QLatin1Char('/') +
               ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".ser";
    }

    Simulator simulator;
};

} // namespace

// Continuous transmission over both links ends at its duration or at
// Ctrl+C; every collected line is stored by the continuous line rule and
// printed, and with --out lands in the series file.
TEST_F(AcquisitionVerbs, StreamStoresEveryLine) {
    for (const QStringList& link :
         QList<QStringList>{{"--port", "1"}, {"--tcp", simulator.Tcp()}}) {
        SCOPED_TRACE(link.join(' ').toStdString());
        const auto run =
            RunTrevalo(QStringList{"stream", "--duration", "0.6", "--format", "json"} + link);
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        const auto rows = PrintedJson(run.OutLines());
        EXPECT_GE(rows.size(), 2u);
        for (const Row& row : rows)
            EXPECT_NEAR(row.value, 5.5, 0.0100001);
    }

    RunningTrevalo stream(
        {"stream", "--tcp", simulator.Tcp(), "--out", Series(), "--format", "json"});
    // The file is made before the transmission starts. Lines are stored when
    // it ends: nothing is printed before.
    ASSERT_TRUE(WaitUntil([&] { return QFile::exists(Series()); }, 10000));
    RunEventsFor(700);
    EXPECT_TRUE(stream.Lines().isEmpty());
    stream.Signal(SIGINT);
    const auto run = stream.Finish();
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const auto printed = PrintedJson(run.OutLines());
    EXPECT_GE(printed.size(), 2u);
    EXPECT_EQ(RowsOpenedByTheProgram(Series()), printed);
}

TEST_F(AcquisitionVerbs, StreamWithTooFewLinesStoresNothing) {
    ASSERT_TRUE(simulator.Control("noreply on"));
    const auto run = RunTrevalo({"stream", "--port", "1", "--duration", "0.3"});
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(run.err.contains("the balance sent nothing in 0.")) << run.err.toStdString();
}

// A balance that stops answering is told once, not at every request, and
// told again when it answers.
TEST_F(AcquisitionVerbs, LogTellsASilentBalanceOnce) {
    ASSERT_TRUE(simulator.Control("noreply on"));
    RunningTrevalo logger({"log", "--port", "1", "--interval", "0.5", "--timeout", "0.2", "--out",
                           Series(), "--format", "json"});
    ASSERT_TRUE(WaitUntil([&] { return logger.Errors().contains("no reply within 0.2 s"); }));
    // Three requests more meanwhile.
    RunEventsFor(1500);
    ASSERT_TRUE(simulator.Control("noreply off"));
    ASSERT_TRUE(logger.WaitForLines(1));
    logger.Signal(SIGINT);
    const auto run = logger.Finish();
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.err.count("no reply within 0.2 s"), 1) << run.err.toStdString();
    EXPECT_EQ(run.err.count("the balance answers again"), 1) << run.err.toStdString();
}

// Automatic work appends reading by reading; Ctrl+C ends it cleanly and a
// second run goes on in the same file.
TEST_F(AcquisitionVerbs, LogAppendsToTheSeriesFile) {
    RunningTrevalo first(
        {"log", "--port", "1", "--interval", "0.5", "--out", Series(), "--format", "json"});
    ASSERT_TRUE(first.WaitForLines(3));
    first.Signal(SIGINT);
    const auto firstRun = first.Finish();
    ASSERT_EQ(firstRun.exitCode, 0) << firstRun.err.toStdString();
    auto printed = PrintedJson(firstRun.OutLines());

    RunningTrevalo second({"log", "--tcp", simulator.Tcp(), "--interval", "0.5", "--out", Series(),
                           "--format", "json"});
    ASSERT_TRUE(second.WaitForLines(2));
    second.Signal(SIGINT);
    const auto secondRun = second.Finish();
    ASSERT_EQ(secondRun.exitCode, 0) << secondRun.err.toStdString();
    for (const Row& row : PrintedJson(secondRun.OutLines()))
        printed.push_back(row);

    const auto missingCycle = RunTrevalo({"log", "--port", "1", "--interval", "0.5", "--out",
                                          Series(), "--cycle", "/nonexistent/cycle.txt"});
    EXPECT_EQ(missingCycle.exitCode, 5);
    EXPECT_EQ(RowsOpenedByTheProgram(Series()), printed);
}

// A converter that drops the connection overnight costs the readings of the
// outage, not the log: the link is opened again and logging goes on.
TEST_F(AcquisitionVerbs, LogOutlivesALostLink) {
    RunningTrevalo logger({"log", "--tcp", simulator.Tcp(), "--interval", "0.5", "--out", Series(),
                           "--format", "json"});
    ASSERT_TRUE(logger.WaitForLines(2));
    ASSERT_TRUE(simulator.Control("drop"));
    const int beforeDrop = int(logger.Lines().size());
    // TCP links are tried again every five seconds.
    ASSERT_TRUE(logger.WaitForLines(beforeDrop + 2, 15000));
    logger.Signal(SIGINT);
    const auto run = logger.Finish();
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("link lost")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("link back")) << run.err.toStdString();
    EXPECT_EQ(RowsOpenedByTheProgram(Series()), PrintedJson(run.OutLines()));
}

// A logger killed outright leaves a file the program opens, holding every
// reading it printed (the one in flight may be missing).
TEST_F(AcquisitionVerbs, LogKilledLosesAtMostTheReadingInFlight) {
    RunningTrevalo logger({"log", "--tcp", simulator.Tcp(), "--interval", "0.5", "--out", Series(),
                           "--format", "json"});
    ASSERT_TRUE(logger.WaitForLines(4));
    logger.Signal(SIGKILL);
    const auto killed = logger.Finish();
    EXPECT_EQ(killed.exitCode, -1);
    const auto printed = PrintedJson(killed.OutLines());
    const auto stored = RowsOpenedByTheProgram(Series());
    ASSERT_GE(stored.size(), printed.size());
    EXPECT_LE(stored.size(), printed.size() + 1);
    EXPECT_EQ(std::vector<Row>(stored.begin(), stored.begin() + long(printed.size())), printed);
}

// Readings a full disk refuses wait in memory. Ctrl+C writes them when the
// disk has room again; otherwise it counts them and the run fails.
TEST_F(AcquisitionVerbs, LogInterruptedOnAFullDiskWritesOrCountsTheWaitingReadings) {
    for (const bool roomAgain : {true, false}) {
        SCOPED_TRACE(roomAgain ? "room again" : "still full");
        const QString folder = TestEnvironment::Root() + (roomAgain ? "/disk-room" : "/disk-full");
        const auto disk = ScratchMount::Tmpfs(folder, 256 * 1024);
        if (!disk)
            GTEST_SKIP() << "no small file system can be mounted here";
        const QString series = folder + "/seria.ser";
        RunningTrevalo logger({"log", "--tcp", simulator.Tcp(), "--interval", "0.5", "--out",
                               series, "--format", "json"});
        ASSERT_TRUE(logger.WaitForLines(1));
        ScratchMount::Fill(folder);
        ASSERT_TRUE(WaitUntil([&] { return logger.Errors().contains("wait to be written"); }));
        RunEventsFor(100);
        const qsizetype writtenBefore = logger.Lines().size();
        if (roomAgain) {
            ASSERT_TRUE(QFile::remove(folder + "/filler"));
        }
        logger.Signal(SIGINT);
        const auto run = logger.Finish();
        QFile::remove(folder + "/filler");
        const auto stored = RowsOpenedByTheProgram(series);
        EXPECT_EQ(stored, PrintedJson(run.OutLines()));
        if (roomAgain) {
            EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
            EXPECT_GT(qsizetype(stored.size()), writtenBefore);
        } else {
            EXPECT_EQ(run.exitCode, 5);
            EXPECT_EQ(qsizetype(stored.size()), writtenBefore);
            EXPECT_TRUE(run.err.contains(QRegularExpression("[1-9][0-9]* readings could not be "
                                                            "written: database or disk is full")))
                << run.err.toStdString();
        }
    }
}

// Cycle windows in seconds from the first reading: only readings inside
// them are kept, and the end of the last window ends the run.
TEST_F(AcquisitionVerbs, LogWithCycleWindows) {
    const QString cycle = TestEnvironment::Root() + "/cycle.txt";
    TestFiles::WriteFile(cycle, "# start stop\n1 1\n");
    const auto run = RunTrevalo({"log", "--port", "1", "--interval", "0.5", "--cycle", cycle,
                                 "--out", Series(), "--format", "json", "--station", "7"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("end of the cycle"));
    {
        QTemporaryDir folder;
        Trevalo::ConsoleDialogs dialogs;
        Pomiar::ProgramContext context;
        context.programFolder = folder.path();
        context.dialogs = &dialogs;
        Pomiar::MeasurementStore store(context);
        store.OtworzMagazyn();
        store.OtworzBaze(Series());
        ASSERT_GE(store.RowCount(), 1);
        EXPECT_EQ(store.RowCount(), run.OutLines().size());
        for (int i = 0; i < store.RowCount(); ++i)
            EXPECT_EQ(store.Model().Row(i).timer, 1);
        // The station stored with each reading is that of the command line.
        EXPECT_EQ(store.Bound().Scalar("select count(*) from pomiary where Nr_wagi <> '7'").toInt(),
                  0);
    }

    TestFiles::WriteFile(cycle, "5 10\n8 12\n");
    const auto overlapping = RunTrevalo(
        {"log", "--port", "1", "--interval", "0.5", "--cycle", cycle, "--out", Series()});
    EXPECT_EQ(overlapping.exitCode, 5);
    EXPECT_TRUE(overlapping.err.contains("line 2")) << overlapping.err.toStdString();
}

// A transmission whose every line the balance marked as overload stores
// nothing, and says so with the status and the count.
TEST(AcquisitionVerbsOfAFamily, StreamOfOnlyOverloadLinesStoresNothingAndFails) {
    WriteSettings("[ustawienia]\r\n");
    Simulator simulator;
    ASSERT_TRUE(simulator.Start({"--dialect", "sics", "--overload", "--rate", "20"}));
    const auto run =
        RunTrevalo({"stream", "--tcp", simulator.Tcp(), "--dialect", "sics", "--duration", "0.6"});
    EXPECT_EQ(run.exitCode, 4) << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
    static const QRegularExpression told("nothing stored: all \\d+ lines were turned away "
                                         "\\(overload\\)");
    EXPECT_TRUE(run.err.contains(told)) << run.err.toStdString();
}

// A balance left streaming (by a run killed during continuous transmission)
// is told to stop when the link opens: a read prints exactly the readings
// asked for, over either link.
TEST(AcquisitionVerbsOfAFamily, ReadFromABalanceStillStreamingPrintsOnlyWhatWasAsked) {
    WriteSettings("[ustawienia]\r\n");
    Simulator simulator;
    ASSERT_TRUE(simulator.Start({"--mass", "2.5", "--rate", "20", "--streaming-at-connect"}));
    {
        // The balance streams to a client that asked for nothing.
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, quint16(simulator.TcpPort()));
        ASSERT_TRUE(WaitUntil([&] { return client.bytesAvailable() > 40; }, 3000));
        EXPECT_TRUE(client.readAll().startsWith("SI ")) << "unasked immediate-read lines";
    }
    for (const QStringList& link :
         QList<QStringList>{{"--tcp", simulator.Tcp()}, {"--port", "1"}}) {
        SCOPED_TRACE(link.join(' ').toStdString());
        const auto run = RunTrevalo(QStringList{"read", "--count", "2"} + link);
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_EQ(run.OutLines().size(), 2) << run.out.toStdString();
    }
}

// A balance whose line format is not the port's sends bytes that do not
// decode: that is what is told, not the silence of the balance.
TEST(AcquisitionVerbsOfAFamily, ALineFormatThatDoesNotMatchIsToldAsSuch) {
    WriteSettings("[ustawienia]\r\n");
    Simulator simulator;
    ASSERT_TRUE(simulator.Start({"--mass", "2.5", "--line", "7E1"}));
    const auto run = RunTrevalo({"read", "--port", "1"});
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_TRUE(run.err.contains("bytes arrived that do not decode: check the line format"))
        << run.err.toStdString();
    EXPECT_FALSE(run.err.contains("no reply within")) << run.err.toStdString();
}

// A log that extends a series file goes on counting the file's Timer, as
// the program does when it opens a file and reads into it.
TEST_F(AcquisitionVerbs, LogExtendingASeriesFileContinuesItsTimer) {
    for (int part = 0; part < 2; ++part) {
        RunningTrevalo logger(
            {"log", "--port", "1", "--interval", "0.5", "--out", Series(), "--format", "json"});
        ASSERT_TRUE(logger.WaitForLines(2));
        logger.Signal(SIGINT);
        ASSERT_EQ(logger.Finish().exitCode, 0);
        if (part == 0)
            RunEventsFor(2100);
    }
    Pomiar::Database file(Series());
    const auto rows = file.Query("SELECT Godzina, Timer FROM pomiary ORDER BY rowid").rows;
    ASSERT_GE(rows.size(), 4u);
    const QDateTime first = Pomiar::Database::ParseDateTime(rows.front().at(0));
    for (const auto& row : rows)
        EXPECT_EQ(row.at(1).toLongLong(), first.secsTo(Pomiar::Database::ParseDateTime(row.at(0))))
            << row.at(0).toString().toStdString();
    EXPECT_GE(rows.back().at(1).toInt(), 2) << "not started again at 0";
}

// A series file whose rules ignore new rows is a failure of the log, not an
// empty success: nothing printed, the reason told, exit 5.
TEST_F(AcquisitionVerbs, LogIntoAFileThatIgnoresRowsFails) {
    {
        RunningTrevalo first({"log", "--port", "1", "--interval", "0.5", "--out", Series()});
        ASSERT_TRUE(first.WaitForLines(1));
        first.Signal(SIGINT);
        ASSERT_EQ(first.Finish().exitCode, 0);
    }
    Pomiar::Database(Series()).Execute(
        "CREATE TRIGGER ignore_rows BEFORE INSERT ON Pomiary BEGIN SELECT "
        "RAISE(IGNORE); END");
    RunningTrevalo logger({"log", "--port", "1", "--interval", "0.5", "--out", Series()});
    ASSERT_TRUE(WaitUntil([&] { return logger.Errors().contains("did not store"); }, 10000))
        << logger.Errors().toStdString();
    logger.Signal(SIGINT);
    const auto run = logger.Finish();
    EXPECT_EQ(run.exitCode, 5) << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
    EXPECT_TRUE(run.err.contains("readings could not be written")) << run.err.toStdString();
}
