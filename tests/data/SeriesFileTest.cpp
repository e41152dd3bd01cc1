#include "SeriesFile.h"
#include "CodePage1250.h"
#include "Database.h"
#include "FileLock.h"
#include "JournalIdentity.h"
#include "MeasurementStore.h"
#include "ScratchMount.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimeZone>
#include <chrono>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <ostream>
#include <random>
#include <sqlite3.h>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>
#include <utility>

// Failures show the text rather than its bytes.
static void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

using namespace Pomiar;
using namespace Pomiar::SeriesFile;

namespace {

// Answers false at the given Step call (1-based), true before.
class StoppingProgress : public Progress {
public:
    explicit StoppingProgress(int stopAtCall = 0) : stopAtCall(stopAtCall) {}
    void Begin(const QString& shownCaption, int shownMaximum) override {
        caption = shownCaption;
        maximum = shownMaximum;
        ++begun;
    }
    bool Step(int value) override {
        steps << value;
        return int(steps.size()) != stopAtCall;
    }
    void End() override { ++ended; }

    int stopAtCall;
    QString caption;
    int maximum = -1;
    QList<int> steps;
    int begun = 0;
    int ended = 0;
};

class SeriesFileTest : public ::testing::Test {
protected:
    SeriesFileTest() {
        source = std::make_unique<Database>(folder.filePath("dane.mdb"));
        source->CreateSchema();
    }

    void AddReading(int lp, double masa, const QVariant& opis = QStringLiteral(" ")) {
        source->Execute("INSERT INTO pomiary (Lp, data, Godzina, Timer, Masa, Jm, LpTekst, "
                        "Nr_wagi, Opis) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)",
                        {lp, "2026-12-07",
                         QStringLiteral("2026-12-07 10:15:%1").arg(lp, 2, 10, QChar('0')), lp - 1,
                         masa, "g", QString::number(lp), "1", opis});
    }

    QString Path(const QString& name) const { return folder.filePath(name); }

    // Whatever the save left beside its target besides the listed files.
    QStringList Leftovers(const QStringList& expected) const {
        QStringList names = QDir(folder.path()).entryList(QDir::Files);
        for (const QString& name : expected)
            names.removeAll(name);
        for (const char* companion : {"dane.mdb", "dane.mdb-wal", "dane.mdb-shm"})
            names.removeAll(companion);
        return names;
    }

    static QString Sqlite3(const QString& file, const QString& sql) {
        QProcess tool;
        tool.start("sqlite3", {file, sql});
        if (!tool.waitForFinished(30000) || tool.exitCode() != 0)
            return "failed: " + QString::fromUtf8(tool.readAllStandardError());
        return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
    }

    QTemporaryDir folder;
    std::unique_ptr<Database> source;
};

QString CaptionOf(const QString& column) {
    return "<" + column + ">";
}

} // namespace

TEST_F(SeriesFileTest, OneReadingGivesAFileTheCommandLineToolReadsWithStatusZero) {
    AddReading(1, 12.5);
    source->Execute("INSERT INTO raport (Raport) VALUES ('KALIBRACJA OK')");
    source->Execute("INSERT INTO raport (Raport) VALUES ('second')");
    const QString target = Path("seria.ser");
    StoppingProgress progress;
    QString error;

    ASSERT_EQ(ZapiszSerie(*source, target, &progress, &error), SaveResult::Completed)
        << error.toStdString();

    EXPECT_EQ(Sqlite3(target, "select count(*) from Pomiary"), "1");
    EXPECT_EQ(Sqlite3(target, "select status, Masa, Jm, Godzina from Pomiary"),
              "0|12.5|g|2026-12-07 10:15:01");
    EXPECT_EQ(Sqlite3(target, "select group_concat(Raport) from Raport"), "KALIBRACJA OK");
    EXPECT_EQ(
        Sqlite3(target, "select group_concat(name, ',') from sqlite_master where type='table'"),
        "Pomiary,Temp,Raport");
    EXPECT_EQ(Sqlite3(target, "select group_concat(name, ',') from pragma_table_info('Pomiary')"),
              "Lp,data,Godzina,Timer,Masa,Jm,LpTekst,Nr_wagi,status,Opis");
    EXPECT_EQ(Sqlite3(target, "pragma journal_mode"), "delete");
    EXPECT_EQ(progress.caption, "Zapisywanie (ESC aby anulowac)");
    EXPECT_EQ(progress.maximum, 1);
    EXPECT_EQ(progress.begun, 1);
    EXPECT_EQ(progress.ended, 1);
    EXPECT_EQ(Leftovers({"seria.ser"}), QStringList());
}

TEST_F(SeriesFileTest, DescriptionsKeepTheirBlankAndNullAndRowsTheirOrder) {
    AddReading(1, 1.0, QString(""));
    AddReading(2, 2.0, QStringLiteral(" "));
    AddReading(3, 3.0, QVariant());
    AddReading(4, 4.0, QStringLiteral("próbka"));
    const QString target = Path("opisy.ser");
    ASSERT_EQ(ZapiszSerie(*source, target, nullptr, nullptr), SaveResult::Completed);

    Database saved(target);
    const auto rows = saved.Query("SELECT Lp, Opis, typeof(Opis), status FROM Pomiary");
    ASSERT_EQ(rows.rows.size(), 4u);
    EXPECT_EQ(rows.rows[0][1].toString(), " ");
    EXPECT_EQ(rows.rows[1][1].toString(), " ");
    EXPECT_EQ(rows.rows[2][2].toString(), "null");
    EXPECT_EQ(rows.rows[3][1].toString(), QString("próbka"));
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(rows.rows[i][0].toInt(), i + 1);
        EXPECT_EQ(rows.rows[i][3].toString(), "0");
    }
    EXPECT_FALSE(saved.HasTable("cykl"));
}

// A long series is saved in larger pages, a short one in the engine's own;
// either is a whole database that other tools read and that takes further
// readings.
TEST_F(SeriesFileTest, ALongSeriesIsSavedInLargerPagesAndReadsAsAnyOther) {
    const struct {
        int rows;
        int pageBytes;
    } cases[] = {{3, 4096}, {10001, 16384}};
    int added = 0;
    for (const auto& c : cases) {
        source->Begin();
        while (added < c.rows) {
            ++added;
            AddReading(added, added / 8.0);
        }
        source->Commit();
        const QString target = Path(QStringLiteral("series-%1.ser").arg(c.rows));
        ASSERT_EQ(ZapiszSerie(*source, target, nullptr, nullptr), SaveResult::Completed);
        EXPECT_EQ(Sqlite3(target, "PRAGMA page_size"), QString::number(c.pageBytes)) << c.rows;
        const QStringList read =
            Sqlite3(target, "SELECT count(*), sum(Masa) FROM Pomiary").split('|');
        ASSERT_EQ(read.size(), 2) << c.rows;
        EXPECT_EQ(read[0].toInt(), c.rows);
        EXPECT_DOUBLE_EQ(read[1].toDouble(), c.rows * (c.rows + 1) / 16.0) << c.rows;
        Database saved(target, Database::Journal::Rollback);
        saved.Execute("INSERT INTO Pomiary (Lp, Masa) VALUES (?, 1.5)", {c.rows + 1});
        EXPECT_EQ(saved.Scalar("PRAGMA integrity_check").toString(), "ok") << c.rows;
        EXPECT_EQ(saved.Scalar("SELECT count(*) FROM Pomiary").toInt(), c.rows + 1) << c.rows;
    }
}

TEST_F(SeriesFileTest, EscapeLeavesTheOldFileAsItWasAndNoPartialFile) {
    for (int lp = 1; lp <= 5; ++lp)
        AddReading(lp, lp * 1.5);
    const QString target = Path("stara.ser");
    const QByteArray old("not replaced");
    TestFiles::WriteFile(target, old);

    StoppingProgress progress(3);
    EXPECT_EQ(ZapiszSerie(*source, target, &progress, nullptr), SaveResult::Cancelled);
    EXPECT_EQ(TestFiles::ReadFile(target), old);
    EXPECT_EQ(progress.steps, QList<int>({0, 1, 2}));
    EXPECT_EQ(progress.ended, 1);
    EXPECT_EQ(Leftovers({"stara.ser"}), QStringList());

    StoppingProgress again(2);
    const QString fresh = Path("nowa.ser");
    EXPECT_EQ(ZapiszSerie(*source, fresh, &again, nullptr), SaveResult::Cancelled);
    EXPECT_FALSE(QFile::exists(fresh));
    EXPECT_EQ(Leftovers({"stara.ser"}), QStringList());
    EXPECT_EQ(source->Scalar("select count(*) from pomiary").toInt(), 5);
}

TEST_F(SeriesFileTest, ACompleteSaveReplacesAnOldSeriesFile) {
    AddReading(1, 1.0);
    const QString target = Path("seria.ser");
    ASSERT_EQ(ZapiszSerie(*source, target, nullptr, nullptr), SaveResult::Completed);
    AddReading(2, 2.0);
    ASSERT_EQ(ZapiszSerie(*source, target, nullptr, nullptr), SaveResult::Completed);
    EXPECT_EQ(Sqlite3(target, "select group_concat(Masa) from Pomiary"), "1.0,2.0");
}

TEST_F(SeriesFileTest, AStaleJournalOfTheOldFileIsNotPlayedIntoTheNewOne) {
    // An old file whose last writes are still in its WAL, as a crash leaves it.
    const QString target = Path("stara.ser");
    const QString writing = Path("piszaca.db");
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(writing.toUtf8().constData(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;"
                           "CREATE TABLE inna (x); INSERT INTO inna VALUES (1);",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    QFile::copy(writing, target);
    QFile::copy(writing + "-wal", target + "-wal");
    sqlite3_close(db);
    QFile::remove(writing);

    AddReading(1, 7.0);
    ASSERT_EQ(ZapiszSerie(*source, target, nullptr, nullptr), SaveResult::Completed);
    EXPECT_FALSE(QFile::exists(target + "-wal"));
    EXPECT_EQ(Sqlite3(target, "pragma integrity_check"), "ok");
    EXPECT_EQ(Sqlite3(target, "select Masa from Pomiary"), "7.0");
}

TEST_F(SeriesFileTest, AFailedSaveReportsWhyAndLeavesTheOldFile) {
    AddReading(1, 1.0);
    const QString file = Path("plik.txt");
    TestFiles::WriteFile(file, "a file, not a folder");
    QString error;
    EXPECT_EQ(ZapiszSerie(*source, file + "/seria.ser", nullptr, &error), SaveResult::Failed);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(ZapiszSerie(*source, Path("brak/seria.ser"), nullptr, nullptr), SaveResult::Failed);

    // A folder in the way of the rename fails only at the very end.
    const QString folderTarget = Path("katalog.ser");
    ASSERT_TRUE(QDir().mkpath(folderTarget + "/zajety"));
    error.clear();
    EXPECT_EQ(ZapiszSerie(*source, folderTarget, nullptr, &error), SaveResult::Failed);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(QFileInfo(folderTarget).isDir());
    EXPECT_EQ(TestFiles::ReadFile(file), "a file, not a folder");
    EXPECT_EQ(Leftovers({"plik.txt"}), QStringList());
}

TEST_F(SeriesFileTest, AFileInUseIsRefusedAndKept) {
    AddReading(1, 1.0);
    const QString target = Path("zajety.ser");
    TestFiles::WriteFile(target, "held");
    {
        FileLock lock(target);
        ASSERT_TRUE(lock.Held());
        QString error;
        EXPECT_EQ(ZapiszSerie(*source, target, nullptr, &error), SaveResult::Failed);
        EXPECT_TRUE(error.contains("in use"));
        EXPECT_EQ(TestFiles::ReadFile(target), "held");
    }
    EXPECT_EQ(ZapiszSerie(*source, source->Path(), nullptr, nullptr), SaveResult::Failed);
    EXPECT_EQ(ZapiszSerie(*source, target, nullptr, nullptr), SaveResult::Completed);
}

TEST(FileLockTest, InUseWhileALockIsHeldAndNotAfter) {
    QTemporaryDir folder;
    const QString path = folder.filePath("dane.ser");
    EXPECT_FALSE(FileLock::InUse(path)); // missing
    TestFiles::WriteFile(path, "x");
    EXPECT_FALSE(FileLock::InUse(path));
    {
        FileLock shared(path, FileLock::Mode::Shared);
        ASSERT_TRUE(shared.Held());
        EXPECT_TRUE(FileLock::InUse(path));
        // A second shared holder is fine; an exclusive one is not.
        FileLock second(path, FileLock::Mode::Shared);
        EXPECT_TRUE(second.Held());
        EXPECT_FALSE(FileLock(path, FileLock::Mode::Exclusive).Held());

        FileLock moved(std::move(second));
        EXPECT_TRUE(moved.Held());
        EXPECT_FALSE(second.Held());
    }
    EXPECT_FALSE(FileLock::InUse(path));
    EXPECT_FALSE(FileLock(folder.filePath("brak.ser")).Held());
}

TEST(FileLockTest, AHolderInAnotherProcessCounts) {
    QTemporaryDir folder;
    const QString path = folder.filePath("dane.ser");
    TestFiles::WriteFile(path, "x");
    QProcess holder;
    holder.start("flock", {"--shared", path, "sh", "-c", "echo held; read line"});
    ASSERT_TRUE(holder.waitForReadyRead(10000));
    EXPECT_TRUE(FileLock::InUse(path));
    holder.write("\n");
    holder.closeWriteChannel();
    ASSERT_TRUE(holder.waitForFinished(10000));
    EXPECT_FALSE(FileLock::InUse(path));
}

TEST_F(SeriesFileTest, TwoExportsIntoOneFileGiveOneHeaderAndFourLines) {
    AddReading(1, 12.3456);
    AddReading(2, 0.1, QVariant());
    const QString csv = Path("eksport.csv");
    QStringList asked;
    const auto caption = [&](const QString& column) {
        asked << column;
        return CaptionOf(column);
    };
    const QLocale polish(QLocale::Polish, QLocale::Poland);
    EksportCSV(*source, csv, caption, polish);
    EksportCSV(*source, csv, caption, polish);

    const QByteArray line1 = "1;2026-12-07;2026-12-07 10:15:01;0;12,3456;g;1;1;; \r\n";
    const QByteArray line2 = "2;2026-12-07;2026-12-07 10:15:02;1;0,1;g;2;1;;\r\n";
    const QByteArray header = "<Lp>;<data>;<Godzina>;<Timer>;<Masa>;<Jm>;<LpTekst>;<Nr_wagi>;"
                              "<status>;<Opis>\r\n";
    EXPECT_EQ(TestFiles::ReadFile(csv), header + line1 + line2 + line1 + line2);
    EXPECT_EQ(asked.size(), 10); // captions asked once, for the new file
}

TEST_F(SeriesFileTest, AnEmptySeriesExportsNothing) {
    const QString csv = Path("pusty.csv");
    EksportCSV(*source, csv, CaptionOf, QLocale::c());
    EXPECT_FALSE(QFile::exists(csv));
}

TEST_F(SeriesFileTest, PolishLettersLeaveInCodePage1250) {
    AddReading(1, 1.0, QStringLiteral("źdźbło ŁĄKA"));
    const QString csv = Path("polskie.csv");
    EksportCSV(*source, csv, CaptionOf, QLocale::c());
    const QByteArray bytes = TestFiles::ReadFile(csv);
    EXPECT_TRUE(bytes.endsWith(";\x9f"
                               "d\x9f"
                               "b\xb3o \xa3\xa5KA\r\n"))
        << bytes.toStdString();
    EXPECT_EQ(CodePage1250::Decode(bytes).count(QStringLiteral("źdźbło")), 1);
    EXPECT_FALSE(bytes.endsWith("\r\n\r\n"));
}

TEST_F(SeriesFileTest, AnExportThatCannotBeWrittenThrowsAndLeavesNoFile) {
    AddReading(1, 1.0);
    EXPECT_THROW(EksportCSV(*source, Path("brak/eksport.csv"), CaptionOf, QLocale::c()),
                 std::runtime_error);
    EXPECT_FALSE(QFile::exists(Path("brak")));
    EXPECT_THROW(EksportCSV(*source, folder.path(), CaptionOf, QLocale::c()), std::runtime_error);
    if (QFile::exists("/dev/full")) {
        EXPECT_THROW(EksportCSV(*source, "/dev/full", CaptionOf, QLocale::c()), std::runtime_error);
    }
}

// The trailer is off unless asked for, and then ends the rows with the
// journal as it stands: its verified rows and the head of the chain.
TEST_F(SeriesFileTest, TheJournalTrailerEndsTheExportOnlyWhenAsked) {
    using State = SeriesJournal::Verification::State;
    AddReading(1, 12.3456);
    const QDateTime at(QDate(2026, 12, 8), QTime(10, 15), QTimeZone(3600));
    EXPECT_EQ(JournalIdentity::Of(*source, "7", at).state, State::NoJournal);
    SeriesJournal::Append(*source, SeriesJournal::Author::Here("7"),
                          SeriesJournal::Event::SeriesSaved);
    const SeriesJournal::Verification verified = SeriesJournal::Verify(*source);
    ASSERT_EQ(verified.state, State::Verified);
    // The author, JournalStarted for the reading already there, the save.
    ASSERT_EQ(verified.rows, 3);

    const QByteArray rows =
        "<Lp>;<data>;<Godzina>;<Timer>;<Masa>;<Jm>;<LpTekst>;<Nr_wagi>;"
        "<status>;<Opis>\r\n1;2026-12-07;2026-12-07 10:15:01;0;12.3456;g;1;1;; \r\n";
    EksportCSV(*source, Path("plain.csv"), CaptionOf, QLocale::c());
    EXPECT_EQ(TestFiles::ReadFile(Path("plain.csv")), rows);

    EksportCSV(*source, Path("trailer.csv"), CaptionOf, QLocale::c(),
               JournalIdentity::TrailerLine(JournalIdentity::Of(*source, "7", at)));
    const QString user = SeriesJournal::Author::Here("7").user;
    EXPECT_EQ(TestFiles::ReadFile(Path("trailer.csv")),
              rows + "# journal: station 7, user " + user.toUtf8() +
                  ", exported 2026-12-08 10:15:00 +01:00, 3 rows, head " +
                  verified.head.toHex().left(16) +
                  ", NOT VOUCHED FOR: 1 readings older than the journal\r\n")
        << "the reading stored before the journal began is not vouched for";
}

TEST(JournalIdentityTest, TrailerNamesStationUserTimeAndHowFarTheJournalReaches) {
    using State = SeriesJournal::Verification::State;
    using Lack = SeriesJournal::Verification::Lack;
    const QByteArray head = QByteArray::fromHex("0123456789abcdef") + QByteArray(24, '\x77');
    const QString start = "# journal: station 3, user anna, exported 2026-12-08 10:15:00 ";
    const QString verified = start + "+00:00, 7 rows, head 0123456789abcdef, NOT VOUCHED FOR: ";
    struct Case {
        State state;
        qint64 rows;
        int offsetSeconds;
        QString expected;
        // What the journal does not vouch for, and how many readings.
        Lack lack = Lack::None;
        int lacking = 0;
    };
    for (const Case& c : {
             Case{State::Verified, 42, 3600, start + "+01:00, 42 rows, head 0123456789abcdef"},
             Case{State::NoJournal, 0, 0, start + "+00:00, no journal"},
             Case{State::Broken, 5, -(3 * 3600 + 30 * 60),
                  start + "-03:30, 5 rows, head 0123456789abcdef, NOT VERIFIED after them"},
             Case{State::Verified, 7, 0, verified + "2 readings older than the journal",
                  Lack::ReadingsBefore, 2},
             Case{State::Verified, 7, 0,
                  verified + "the Timer and LpTekst of 4 readings (entries of an earlier version)",
                  Lack::ReadingsPartly, 4},
             Case{State::Verified, 7, 0, verified + "the report, older than the journal",
                  Lack::Report},
         }) {
        const JournalIdentity::Identity identity{
            {"3", "anna", "lab-1"},
            QDateTime(QDate(2026, 12, 8), QTime(10, 15), QTimeZone(c.offsetSeconds)),
            c.state,
            c.rows,
            head,
            c.lack,
            c.lacking};
        EXPECT_EQ(JournalIdentity::TrailerLine(identity), c.expected);
    }
}

TEST(JournalIdentityTest, AWordingMayReorderOrLeaveOutPlacesAndANameIsNoPlace) {
    const JournalIdentity::Identity identity{
        {"3", "an%1na", "lab-1"},
        QDateTime(QDate(2026, 12, 8), QTime(10, 15), QTimeZone(0)),
        SeriesJournal::Verification::State::Verified,
        42,
        QByteArray(32, '\x01')};
    EXPECT_EQ(JournalIdentity::Text(identity, {"%5 (%4) %2 at %1, 100%", {}, {}, {}, {}, {}}),
              "0101010101010101 (42) an%1na at 3, 100%");
}

TEST(CsvNumberTest, FullPrecisionWithTheLocaleSeparatorNeverInExponentForm) {
    const QLocale polish(QLocale::Polish, QLocale::Poland);
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    EXPECT_EQ(CsvNumber(12.3456, polish), "12,3456");
    EXPECT_EQ(CsvNumber(12.3456, english), "12.3456");
    EXPECT_EQ(CsvNumber(1234567.891, polish), "1234567,891"); // no grouping
    EXPECT_EQ(CsvNumber(0.1 + 0.2, english), "0.3");
    EXPECT_EQ(CsvNumber(0.0000123, english), "0.0000123");
    EXPECT_EQ(CsvNumber(123456789012.345, english), "123456789012.345");
    EXPECT_EQ(CsvNumber(1e20, english), "100000000000000000000");
    EXPECT_EQ(CsvNumber(-5.0, polish), "-5");
    EXPECT_EQ(CsvNumber(-0.0, polish), "0");
    EXPECT_EQ(CsvNumber(2.0 / 3.0, english), "0.666666666666667");
}

TEST(FastExportTest, InForceOnlyWithSwitchAndName) {
    EXPECT_TRUE(FastExportInForce(true, "FastExportFile"));
    EXPECT_FALSE(FastExportInForce(true, ""));
    EXPECT_FALSE(FastExportInForce(false, "FastExportFile"));
    EXPECT_EQ(FastExportPath("/opt/trevalo", "FastExportFile"), "/opt/trevalo/FastExportFile.csv");
}

TEST(WithEndingTest, ATypedNameGetsTheEndingOfTheChosenFilter) {
    const QString ser = "Pliki wazen (*.ser)";
    const QString csv = "Export CSV[;] (*.csv)";
    EXPECT_EQ(WithEnding("/home/a/seria", ser), "/home/a/seria.ser");
    EXPECT_EQ(WithEnding("/home/a/seria", csv), "/home/a/seria.csv");
    EXPECT_EQ(WithEnding("/home/a/seria.ser", csv), "/home/a/seria.ser");
    EXPECT_EQ(WithEnding("/home/a/seria.csv", ser), "/home/a/seria.csv");
    EXPECT_EQ(WithEnding("/home/a/seria.SER", ser), "/home/a/seria.SER.ser");
    EXPECT_EQ(WithEnding("/home/a/seria.txt", csv), "/home/a/seria.txt.csv");
    EXPECT_EQ(WithEnding("", ser), "");
    EXPECT_EQ(WithEnding("/home/a/seria", "All files"), "/home/a/seria");
}

TEST_F(SeriesFileTest, WhatASaveCutShortLeftIsClearedByTheNextSaveOfThatName) {
    AddReading(1, 3.0);
    const QString target = Path("seria.ser");
    // A save killed mid-way: its part file and a journal with garbage.
    TestFiles::WriteFile(target + ".part", QByteArray(5000, 'p'));
    TestFiles::WriteFile(target + ".part-journal", QByteArray(3000, 'j'));
    QString error;
    ASSERT_EQ(ZapiszSerie(*source, target, nullptr, &error), SaveResult::Completed)
        << error.toStdString();
    EXPECT_EQ(Sqlite3(target, "pragma integrity_check"), "ok");
    EXPECT_EQ(Sqlite3(target, "select Masa from Pomiary"), "3.0");
    EXPECT_EQ(Leftovers({"seria.ser"}), QStringList());

    // Another save of the same name that is writing just now is not disturbed.
    TestFiles::WriteFile(target + ".part", "");
    {
        FileLock writing(target + ".part", FileLock::Mode::Exclusive);
        ASSERT_TRUE(writing.Held());
        EXPECT_EQ(ZapiszSerie(*source, target, nullptr, &error), SaveResult::Failed);
        EXPECT_TRUE(error.contains("in use"));
    }
    EXPECT_EQ(Sqlite3(target, "select count(*) from Pomiary"), "1");
}

TEST_F(SeriesFileTest, ExaminingAFileNeverWritesIt) {
    AddReading(1, 1.0);
    const QString series = Path("seria.ser");
    ASSERT_EQ(ZapiszSerie(*source, series, nullptr, nullptr), SaveResult::Completed);
    TestFiles::WriteFile(Path("pusty.ser"), "");
    TestFiles::WriteFile(Path("obcy.ser"), "Lp;Masa\r\n");
    {
        Database other(Path("inna.ser"));
        other.Execute("CREATE TABLE pomiary (Lp INTEGER, Masa REAL)");
        other.Execute("CREATE TABLE raport (Raport TEXT)");
    }
    // A journal beside a file (here a spent one) keeps it from being told
    // on a connection that may write.
    ASSERT_TRUE(QFile::copy(series, Path("spare.ser")));
    TestFiles::WriteFile(Path("spare.ser-journal"), "");
    const struct {
        const char* name;
        FileState state;
        bool handedOut = false;
    } cases[] = {{"seria.ser", FileState::Writable, true}, {"spare.ser", FileState::Writable},
                 {"pusty.ser", FileState::NotASeriesFile}, {"obcy.ser", FileState::NotASeriesFile},
                 {"inna.ser", FileState::NotASeriesFile},  {"brak.ser", FileState::Unreadable}};
    // Not even a journal is created and deleted beside the file: the
    // folder's own time would change with it. The system's clock for file
    // times moves in steps of a few milliseconds.
    const auto folderTime = [this] {
        struct stat status {};
        ::stat(QFile::encodeName(Path("")).constData(), &status);
        return std::pair(status.st_mtim.tv_sec, status.st_mtim.tv_nsec);
    };
    for (const auto& [name, state, handedOut] : cases) {
        const QByteArray before = TestFiles::ReadFile(Path(name));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const auto folderBefore = folderTime();
        QString reason;
        std::unique_ptr<Database> opened;
        EXPECT_EQ(Examine(Path(name), &reason, &opened), state) << name;
        EXPECT_EQ(opened != nullptr, handedOut) << name;
        opened.reset();
        EXPECT_EQ(folderTime(), folderBefore) << name;
        EXPECT_EQ(TestFiles::ReadFile(Path(name)), before) << name;
        EXPECT_EQ(reason.isEmpty(), state != FileState::Unreadable) << name;
    }
    EXPECT_FALSE(QFile::exists(Path("brak.ser")));
    EXPECT_EQ(Leftovers({"seria.ser", "spare.ser", "spare.ser-journal", "pusty.ser", "obcy.ser",
                         "inna.ser"}),
              QStringList());
}

TEST_F(SeriesFileTest, TimesWithAFractionOfASecondLeaveInWholeSeconds) {
    source->Execute("INSERT INTO pomiary (Lp, data, Godzina, Masa, Opis) VALUES "
                    "(1, '2026-12-07', '2026-12-07 13:03:46.184', 1, 'o 13:03:46.184')");
    source->Execute("INSERT INTO pomiary (Lp, data, Godzina, Masa) VALUES "
                    "(2, '2026-12-07', '2026-12-07 13:03:47', 2)");
    const QString csv = Path("eksport.csv");
    EksportCSV(*source, csv, CaptionOf, QLocale::c());
    const QByteArray written = TestFiles::ReadFile(csv);
    EXPECT_TRUE(written.contains(";2026-12-07 13:03:46;"));
    EXPECT_TRUE(written.contains(";o 13:03:46.184\r\n")) << "a description stays as written";
    EXPECT_TRUE(written.contains(";2026-12-07 13:03:47;"));

    ASSERT_EQ(ZapiszSerie(*source, Path("seria.ser"), nullptr, nullptr), SaveResult::Completed);
    EXPECT_EQ(Sqlite3(Path("seria.ser"), "select Godzina from Pomiary order by Lp"),
              "2026-12-07 13:03:46\n2026-12-07 13:03:47");
}

TEST_F(SeriesFileTest, AFullDiskFailsTheSaveAndLeavesTheOldFile) {
    auto disk = ScratchMount::Tmpfs(Path("dysk"), 256 * 1024);
    if (!disk)
        GTEST_SKIP() << "no small file system can be mounted here";
    AddReading(1, 1.0);
    const QString target = disk->Path() + "/seria.ser";
    ASSERT_EQ(ZapiszSerie(*source, target, nullptr, nullptr), SaveResult::Completed);
    const QByteArray before = TestFiles::ReadFile(target);
    // Long enough to be saved in larger pages.
    source->Begin();
    for (int lp = 2; lp <= 10001; ++lp)
        AddReading(lp, lp);
    source->Commit();
    ScratchMount::Fill(disk->Path());
    QString error;
    EXPECT_EQ(ZapiszSerie(*source, target, nullptr, &error), SaveResult::Failed);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(error.contains(".part"));
    EXPECT_EQ(TestFiles::ReadFile(target), before);
    EXPECT_FALSE(QFile::exists(target + ".part"));
}

namespace {

// A real as the export wrote it before: through Qt's own conversions.
QString NumberAsBefore(double value, const QLocale& locale) {
    if (!std::isfinite(value))
        return QString::number(value);
    double rounded = QString::number(value, 'g', 15).toDouble();
    if (rounded == 0)
        rounded = 0;
    QString text = QString::number(rounded, 'f', QLocale::FloatingPointShortest);
    text.replace(QLatin1Char('.'), locale.decimalPoint());
    return text;
}

// The export as it was written before it streamed from the engine: every
// row through QVariants and a field list, each line converted on its own.
// Its bytes are what the export must still write.
QByteArray ExportAsBefore(Database& source, const std::function<QString(const QString&)>& caption,
                          const QLocale& locale) {
    const QString everything = QStringLiteral("SELECT * FROM pomiary");
    const QStringList columns = source.ColumnsOf(everything);
    QByteArray out;
    QStringList captions;
    for (const QString& column : columns)
        captions << caption(column);
    out += CodePage1250::Encode(captions.join(';') + "\r\n");
    const int time = int(columns.indexOf(QRegularExpression(
        QStringLiteral("^godzina$"), QRegularExpression::CaseInsensitiveOption)));
    source.QueryEach(everything, [&](const QVariantList& row) {
        QStringList fields;
        for (int i = 0; i < row.size(); ++i) {
            const QVariant& value = row[i];
            QString text;
            if (value.isNull()) {
            } else if (i == time && Database::ParseDateTime(value).isValid() &&
                       value.toString().size() > 19) {
                text = Database::DateTimeText(Database::ParseDateTime(value));
            } else if (value.typeId() == QMetaType::Double) {
                text = NumberAsBefore(value.toDouble(), locale);
            } else if (value.typeId() == QMetaType::LongLong) {
                text = QString::number(value.toLongLong());
            } else if (value.typeId() == QMetaType::QByteArray) {
                text = QString::fromUtf8(value.toByteArray());
            } else {
                text = value.toString();
            }
            fields << text;
        }
        out += CodePage1250::Encode(fields.join(';') + "\r\n");
    });
    return out;
}

} // namespace

TEST_F(SeriesFileTest, ExportWritesTheBytesItAlwaysWrote) {
    // Every kind of value a series file may hold, over more rows than one
    // buffer of the export.
    source->Begin();
    for (int lp = 1; lp <= 5000; ++lp) {
        QVariant opis = lp % 7 == 0    ? QVariant()
                        : lp % 5 == 0  ? QVariant(QStringLiteral("zażółć; gęślą %1").arg(lp))
                        : lp % 11 == 0 ? QVariant(QByteArray("blob ą"))
                                       : QVariant(QStringLiteral(" "));
        const QVariant godzina =
            lp % 13 == 0 ? QVariant(QStringLiteral("2026-12-07 10:15:30.250"))
            : lp % 17 == 0
                ? QVariant()
                : QVariant(QStringLiteral("2026-12-07 10:%1:00").arg(lp % 60, 2, 10, QChar('0')));
        const QVariant masa = lp % 3 == 0    ? QVariant(-lp * 0.0001 - 1e6)
                              : lp % 19 == 0 ? QVariant(qlonglong(lp))
                                             : QVariant(12.3456 + lp * 1e-7);
        source->Execute("INSERT INTO pomiary (Lp, data, Godzina, Timer, Masa, Jm, LpTekst, "
                        "Nr_wagi, status, Opis) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                        {lp, "2026-12-07", godzina, lp % 23 == 0 ? QVariant() : QVariant(lp * 3),
                         masa, lp % 2 ? "g" : "%", QString::number(lp), "1",
                         lp % 29 == 0 ? QVariant(1.5) : QVariant(), opis});
    }
    source->Commit();
    for (const QLocale& locale :
         {QLocale(QLocale::Polish, QLocale::Poland), QLocale(QLocale::English)}) {
        const QString csv = Path("eksport.csv");
        QFile::remove(csv);
        EksportCSV(*source, csv, CaptionOf, locale);
        QFile written(csv);
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        const QByteArray bytes = written.readAll();
        const QByteArray before = ExportAsBefore(*source, CaptionOf, locale);
        ASSERT_EQ(bytes.size(), before.size());
        EXPECT_TRUE(bytes == before);
    }
}

TEST(CsvNumberTest, RealsOfEveryMagnitudeKeepTheirFormerText) {
    std::mt19937_64 random(1250);
    const QLocale polish(QLocale::Polish, QLocale::Poland);
    for (int i = 0; i < 100000; ++i) {
        double value;
        if (i % 2 == 0) {
            const quint64 bits = random();
            std::memcpy(&value, &bits, sizeof value);
            if (!std::isfinite(value))
                continue;
        } else {
            // Readings as a balance sends them: a few decimals, any size.
            value = double(qint64(random() % 2000000001) - 1000000000) /
                    std::pow(10.0, double(random() % 9));
        }
        ASSERT_EQ(CsvNumber(value, polish), NumberAsBefore(value, polish)) << value;
    }
}
