#include "SeriesJournal.h"
#include "AcceptReading.h"
#include "BalanceProtocol.h"
#include "CollectedBatch.h"
#include "Database.h"
#include "JournalIdentity.h"
#include "MeasurementStore.h"
#include "MinimumWeightRule.h"
#include "ProgramContext.h"
#include "ReportText.h"
#include "ScriptedDialogs.h"
#include "SeriesFile.h"
#include "StoreReadings.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimeZone>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <sys/stat.h>
#include <thread>

using namespace Pomiar;
using State = SeriesJournal::Verification::State;

namespace {

// A series of three readings with a description, saved as a file, as the
// program writes them.
class SeriesJournalTest : public ::testing::Test {
protected:
    SeriesJournalTest() {
        context.programFolder = folder.path();
        context.dialogs = &dialogs;
        context.settings.nrWagi = QStringLiteral("3");
        store.OtworzMagazyn();
    }

    QString SavedSeries(const QString& name, double first) {
        store.NowaSeria();
        const QDateTime start(QDate(2026, 12, 8), QTime(9, 30, 0));
        for (int i = 0; i < 3; ++i) {
            const QString value = QString::number(first + i, 'f', 4);
            AppendReading(store, value + " g\r\n", "g", start.addSecs(i),
                          ("S       " + value + " g  \r\n").toLatin1());
        }
        store.SetDescription(0, QStringLiteral("próbka A"));
        const QString path = folder.filePath(name);
        EXPECT_EQ(SeriesFile::ZapiszSerie(store.Bound(), path, nullptr, nullptr),
                  SeriesFile::SaveResult::Completed);
        return path;
    }

    static SeriesJournal::Verification Verify(const QString& path) {
        Database file(path, Database::Journal::Rollback, Database::Access::ReadOnly);
        return SeriesJournal::Verify(file);
    }

    QTemporaryDir folder;
    ScriptedDialogs dialogs;
    ProgramContext context;
    MeasurementStore store{context};
};

namespace {

// A file is walked on two connections, the readings fed across (VerifyFile),
// the same walk handing the rows on (a verifying export), and the walk on
// one connection reading everything itself (as the window's check does, and
// as Verify does): all come to one verdict.
void ExpectOneVerdict(const QString& path, const SeriesJournal::Verification& verified,
                      const char* change) {
    SeriesJournal::Verification exported;
    try {
        exported = SeriesJournal::VerifyFile(path, [](const Database::RowView&) {});
    } catch (const DatabaseError& error) {
        exported.where = QString::fromUtf8(error.what());
    }
    EXPECT_EQ(exported.where, verified.where) << change;
    EXPECT_EQ(exported.state, verified.state) << change;
    EXPECT_EQ(exported.rows, verified.rows) << change;
    EXPECT_EQ(exported.head, verified.head) << change;
    EXPECT_EQ(exported.readings, verified.readings) << change;
    const auto oneCore = SeriesJournal::VerifyFile(path, nullptr, SeriesJournal::Cores::One);
    EXPECT_EQ(oneCore.where, verified.where) << change;
    EXPECT_EQ(oneCore.state, verified.state) << change;
    EXPECT_EQ(oneCore.rows, verified.rows) << change;
    EXPECT_EQ(oneCore.head, verified.head) << change;
    EXPECT_EQ(oneCore.readings, verified.readings) << change;
    Database file(path, Database::Journal::Rollback, Database::Access::ReadOnly);
    const auto alone = SeriesJournal::Verify(file);
    EXPECT_EQ(alone.where, verified.where) << change;
    EXPECT_EQ(alone.state, verified.state) << change;
}

} // namespace

TEST_F(SeriesJournalTest, ASavedSeriesVerifiesWhereverItIsRead) {
    const QString path = SavedSeries("a.ser", 10);
    const auto here = Verify(path);
    ASSERT_EQ(here.state, State::Verified) << here.where.toStdString();
    EXPECT_EQ(here.head.size(), 32);
    EXPECT_GE(here.rows, 5) << "series started, three readings, a description";
    EXPECT_EQ(Verify(store.Bound().Path()).state, State::Verified) << "the working database too";

    // Another machine: another time zone (and the C locale of the tests).
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "IST-5:30"); // POSIX form: needs no time zone database
    tzset();
    const auto there = Verify(path);
    zone.isNull() ? qunsetenv("TZ") : qputenv("TZ", zone);
    tzset();
    EXPECT_EQ(there.state, State::Verified) << there.where.toStdString();
    EXPECT_EQ(there.head, here.head);
}

// What someone with an SQLite tool can do to a saved file, and what the
// journal says of it.
TEST_F(SeriesJournalTest, EveryChangeBehindTheProgramsBackIsFoundAndNamed) {
    const QString original = SavedSeries("original.ser", 10);
    const QString other = SavedSeries("other.ser", 20);
    struct Case {
        const char* change;
        QStringList statements;
        const char* named;
    };
    const Case cases[] = {
        {"a value changed", {"UPDATE Pomiary SET Masa = 10.5 WHERE Lp = 2"}, "Lp 2: the mass"},
        {"a row deleted", {"DELETE FROM Pomiary WHERE Lp = 3"}, "Lp 3 of the journal"},
        {"two values swapped",
         {"UPDATE Pomiary SET Masa = CASE Lp WHEN 1 THEN 11 ELSE 10 END WHERE Lp IN (1, 2)"},
         "Lp 1: the mass"},
        {"a description edited",
         {"UPDATE Pomiary SET Opis = 'probka B' WHERE Lp = 1"},
         "Lp 1: the description"},
        {"a reading added",
         {"INSERT INTO Pomiary (Lp, data, Godzina, Timer, Masa, Jm, LpTekst, Nr_wagi, Opis) "
          "VALUES (4, '2026-12-08', '2026-12-08 09:30:03', 3, 13, 'g', '4', '3', ' ')"},
         "Lp 4 (13 g) is not in the journal"},
        {"the journal's last rows cut",
         {"DELETE FROM journal WHERE seq > (SELECT max(seq) - 2 FROM journal)"},
         "Lp 1: the description"},
        {"a journal row changed",
         {"UPDATE journal SET os_user = 'someone' WHERE seq = 2"},
         "journal row 2"},
        {"a journal row removed",
         {"DELETE FROM journal WHERE seq = 2"},
         "journal row 2 is missing"},
        {"another file's journal",
         {"ATTACH DATABASE '" + other + "' AS other", "DELETE FROM journal",
          "INSERT INTO journal SELECT * FROM other.journal"},
         "the mass"},
        {"the station number changed", {"UPDATE Pomiary SET Nr_wagi = '7'"}, "the station"},
    };
    for (const Case& c : cases) {
        const QString copy = folder.filePath("changed.ser");
        QFile::remove(copy);
        ASSERT_TRUE(QFile::copy(original, copy));
        {
            Database file(copy, Database::Journal::Rollback);
            for (const QString& statement : c.statements)
                file.Execute(statement);
        }
        const auto verified = Verify(copy);
        EXPECT_EQ(verified.state, State::Broken) << c.change;
        EXPECT_TRUE(verified.where.contains(QLatin1String(c.named)))
            << c.change << ": " << verified.where.toStdString();
        ExpectOneVerdict(copy, verified, c.change);
    }
}

// A file shown for viewing is copied into the working database: the working
// journal vouches for what comes after it, not for the readings it brought.
TEST_F(SeriesJournalTest, AViewedFileLeavesTheWorkingJournalVerifying) {
    const QString path = SavedSeries("viewed.ser", 10);
    store.OpenForViewing(path);
    AppendReading(store, "13.0000 g\r\n", "g", QDateTime::currentDateTime(), "S 13.0000 g\r\n");
    const auto working = SeriesJournal::Verify(store.Bound());
    ASSERT_EQ(working.state, State::Verified) << working.where.toStdString();
    EXPECT_EQ(working.readingsBefore, 3);
}

// A file from before the journal is read as having none, and the journal
// it starts at the next change vouches only for what came after.
TEST_F(SeriesJournalTest, AFileWithoutAJournalStartsOneAtItsNextChange) {
    const QString path = SavedSeries("old.ser", 10);
    {
        Database file(path, Database::Journal::Rollback);
        file.Execute("DROP TABLE journal");
    }
    EXPECT_EQ(Verify(path).state, State::NoJournal);
    store.OtworzBaze(path);
    AppendReading(store, "13.0000 g\r\n", "g", QDateTime::currentDateTime(), "S 13.0000 g\r\n");
    store.NowaSeria();
    const auto verified = Verify(path);
    ASSERT_EQ(verified.state, State::Verified) << verified.where.toStdString();
    EXPECT_EQ(verified.readingsBefore, 3);
}

} // namespace

namespace {

// A change of the acceptance limits decides which readings are stored, so
// the journal keeps it; setting the same limits again is no change.
TEST_F(SeriesJournalTest, ALimitChangeIsJournaled) {
    const auto changes = [this] {
        return store.Bound()
            .Scalar("SELECT group_concat(replace(data, char(31), ' '), '|') FROM journal "
                    "WHERE event = ?",
                    {int(SeriesJournal::Event::SettingChanged)})
            .toString();
    };
    AcceptanceLimits limits;
    limits.maxOn = true;
    limits.maxText = "10";
    store.SetLimits(limits);
    store.SetLimits(limits);
    EXPECT_EQ(changes(), "limits off 10");
}

} // namespace

namespace {

// A series as the program writes it, with a report, saved as a file: the
// ground every change below is made on.
class JournalTamperTest : public SeriesJournalTest {
protected:
    QString ReportedSeries(const QString& name) {
        store.NowaSeria();
        // Lp 1 (10 g) lies below SF·m_min = 2·5.25 g: it carries the mark.
        MinimumWeightRule limit;
        limit.minimumWeight = 5.25;
        limit.safetyFactor = 2;
        store.SetMinimumWeight(limit);
        const QDateTime start(QDate(2026, 12, 8), QTime(9, 30, 0));
        for (int i = 0; i < 3; ++i) {
            const QString value = QString::number(10 + i, 'f', 4);
            AcceptReading(store, value, "g", start.addSecs(i),
                          ("S       " + value + " g  \r\n").toLatin1());
        }
        store.SetDescription(0, QStringLiteral("próbka A"));
        EXPECT_EQ(store.SaveReport(QStringLiteral("report of the balance")),
                  ReportText::SaveResult::Saved);
        const QString path = folder.filePath(name);
        EXPECT_EQ(SeriesFile::ZapiszSerie(store.Bound(), path, nullptr, nullptr),
                  SeriesFile::SaveResult::Completed);
        return path;
    }
};

const char* const addRow =
    "INSERT INTO Pomiary (Lp, data, Godzina, Timer, Masa, Jm, LpTekst, Nr_wagi, status, Opis) ";

// One SQL statement each, made on a genuine saved series (three readings,
// the first marked below the minimum weight, a description of Lp 1, a
// report): every one is found and named.
TEST_F(JournalTamperTest, EveryStatementIsFoundAndNamed) {
    const QString original = ReportedSeries("original.ser");
    struct Case {
        const char* change;
        QString statement;
        const char* named;
    };
    const QString row = QString::fromLatin1(addRow);
    const Case cases[] = {
        {"a row with Lp NULL",
         row + "VALUES (NULL, '2026-12-08', '2026-12-08 09:30:03', 3, 13, 'g', '4', '3', '0', ' ')",
         "Lp NULL (13 g) is not in the journal"},
        {"a row with Lp 0",
         row + "VALUES (0, '2026-12-08', '2026-12-08 09:30:03', 3, 13, 'g', '4', '3', '0', ' ')",
         "Lp 0 (13 g) is not in the journal"},
        {"a row with Lp -1",
         row + "VALUES (-1, '2026-12-08', '2026-12-08 09:30:03', 3, 13, 'g', '4', '3', '0', ' ')",
         "Lp -1 (13 g) is not in the journal"},
        {"a row with Lp as text",
         row + "VALUES ('x4', '2026-12-08', '2026-12-08 09:30:03', 3, 13, 'g', '4', '3', '0', ' ')",
         "Lp x4 (13 g) is not in the journal"},
        {"a copy of a row", "INSERT INTO Pomiary SELECT * FROM Pomiary WHERE Lp = 2",
         "Lp 2 (11 g) is not in the journal"},
        {"the date", "UPDATE Pomiary SET data = '2026-12-09' WHERE Lp = 2", "Lp 2: the date"},
        {"the Timer", "UPDATE Pomiary SET Timer = 7 WHERE Lp = 2", "Lp 2: the Timer"},
        {"LpTekst", "UPDATE Pomiary SET LpTekst = '9' WHERE Lp = 2", "Lp 2: the LpTekst"},
        {"the status", "UPDATE Pomiary SET status = '1' WHERE Lp = 2", "Lp 2: the status"},
        {"a status forging a CSV line",
         "UPDATE Pomiary SET status = '0' || char(13, 10) || '9;x' WHERE Lp = 2",
         "Lp 2: the status"},
        {"a mark removed", "UPDATE Pomiary SET status = '0' WHERE Lp = 1", "Lp 1: the status"},
        {"a mark cleared", "UPDATE Pomiary SET status = NULL WHERE Lp = 1", "Lp 1: the status"},
        {"a mark forged", "UPDATE Pomiary SET status = '<m' WHERE Lp = 2", "Lp 2: the status"},
        {"a mass with a suffix", "UPDATE Pomiary SET Masa = '11x' WHERE Lp = 2", "Lp 2: the mass"},

        {"a time with a suffix", "UPDATE Pomiary SET Godzina = Godzina || '.5' WHERE Lp = 2",
         "Lp 2: the time"},
        {"a time moved", "UPDATE Pomiary SET Godzina = '2026-12-08 09:30:05' WHERE Lp = 2",
         "Lp 2: the time"},
        {"Lp not quite whole", "UPDATE Pomiary SET Lp = 3.000000000016 WHERE Lp = 3",
         "Lp 3 of the journal"},
        {"a mass", "UPDATE Pomiary SET Masa = 10.5 WHERE Lp = 2", "Lp 2: the mass"},
        {"a unit", "UPDATE Pomiary SET Jm = 'kg' WHERE Lp = 2", "Lp 2: the unit"},
        {"the station", "UPDATE Pomiary SET Nr_wagi = '7' WHERE Lp = 3", "Lp 3: the station"},
        {"a blank in front of a description", "UPDATE Pomiary SET Opis = ' ' || Opis WHERE Lp = 1",
         "Lp 1: the description"},
        {"a description given", "UPDATE Pomiary SET Opis = 'B' WHERE Lp = 2",
         "Lp 2: the description"},
        {"a description taken", "UPDATE Pomiary SET Opis = ' ' WHERE Lp = 1",
         "Lp 1: the description"},
        {"a row deleted", "DELETE FROM Pomiary WHERE Lp = 2", "Lp 2 of the journal"},
        {"the last row deleted", "DELETE FROM Pomiary WHERE Lp = 3", "Lp 3 of the journal"},
        {"utc_offset + 2^32",
         "UPDATE journal SET utc_offset = utc_offset + 4294967296 WHERE seq = 3",
         "journal row 3: its utc_offset is out of range"},
        {"an event + 2^32", "UPDATE journal SET event = event + 4294967296 WHERE seq = 3",
         "journal row 3: its event is out of range"},
        {"an event of 2^31", "UPDATE journal SET event = 2147483648 WHERE seq = 3",
         "journal row 3: its event is out of range"},
        {"data as text", "UPDATE journal SET data = CAST(data AS TEXT) WHERE seq = 4",
         "journal row 4: its data is stored as a text"},
        {"data as a real of the same value",
         "UPDATE journal SET data = 0.0 WHERE event = 1 AND CAST(data AS TEXT) = '0'",
         "journal row 2: its data is stored as a real"},
        {"a hash as text", "UPDATE journal SET hash = CAST(hash AS TEXT) WHERE seq = 2",
         "journal row 2: its hash is stored as a text"},
        {"a time as blob", "UPDATE journal SET at = CAST(at AS BLOB) WHERE seq = 2",
         "journal row 2: its at is stored as a blob"},
        {"a seq as text", "UPDATE journal SET utc_offset = CAST(utc_offset AS BLOB) WHERE seq = 2",
         "journal row 2: its utc_offset is stored as a blob"},
        {"the last journal row renumbered 0",
         "UPDATE journal SET seq = 0 WHERE seq = (SELECT max(seq) FROM journal)",
         "journal row 1 is numbered 0"},
        {"the last journal row renumbered -5",
         "UPDATE journal SET seq = -5 WHERE seq = (SELECT max(seq) FROM journal)",
         "journal row 1 is numbered -5"},
        {"a journal row changed", "UPDATE journal SET data = x'33' WHERE event = 1",
         "(journal started) does not match its hash"},
        {"an author written into a compact row",
         "UPDATE journal SET os_user = 'someone' WHERE seq = 3", "journal row 3"},
        {"a journal row removed", "DELETE FROM journal WHERE seq = 2", "journal row 2 is missing"},
        {"a missing column", "ALTER TABLE Pomiary DROP COLUMN status",
         "the table pomiary has no column status"},
        {"a missing journal column", "ALTER TABLE journal DROP COLUMN host",
         "the table journal has no column host"},
        {"a damaged table",
         "UPDATE sqlite_master SET rootpage = (SELECT rootpage FROM sqlite_master WHERE "
         "lower(name) = 'raport') WHERE lower(name) = 'pomiary'",
         "the file is damaged"},
        {"the report edited", "UPDATE raport SET Raport = 'a better report'", "the report"},
        {"a report added", "INSERT INTO raport (Raport) VALUES ('another report')", "the report"},
        {"the report removed", "DELETE FROM raport", "the report"},
    };
    for (const Case& c : cases) {
        const QString copy = folder.filePath("changed.ser");
        QFile::remove(copy);
        ASSERT_TRUE(QFile::copy(original, copy));
        {
            Database file(copy, Database::Journal::Rollback);
            file.Execute(QStringLiteral("PRAGMA writable_schema = ON"));
            file.Execute(c.statement);
        }
        SeriesJournal::Verification verified;
        try {
            verified = SeriesJournal::VerifyFile(copy);
        } catch (const DatabaseError& error) {
            ADD_FAILURE() << c.change << ": " << error.what();
            continue;
        }
        EXPECT_EQ(verified.state, State::Broken) << c.change;
        EXPECT_TRUE(verified.where.contains(QLatin1String(c.named)))
            << c.change << ": " << verified.where.toStdString();
        ExpectOneVerdict(copy, verified, c.change);
    }
    EXPECT_EQ(SeriesJournal::VerifyFile(original).state, State::Verified);
}

// A report added to a series that had none.
TEST_F(JournalTamperTest, AReportAddedToASeriesWithoutOneIsFound) {
    const QString path = SavedSeries("bare.ser", 10);
    ASSERT_EQ(SeriesJournal::VerifyFile(path).state, State::Verified);
    {
        Database file(path, Database::Journal::Rollback);
        file.Execute("INSERT INTO raport (Raport) VALUES ('a report')");
    }
    const auto verified = SeriesJournal::VerifyFile(path);
    EXPECT_EQ(verified.state, State::Broken);
    EXPECT_TRUE(verified.where.contains("the report")) << verified.where.toStdString();
}

// Genuine series, as the program writes them, each of which verifies.
TEST_F(SeriesJournalTest, GenuineSeriesVerify) {
    struct Case {
        const char* series;
        std::function<void(MeasurementStore&)> write;
    };
    const QDateTime start(QDate(2026, 12, 8), QTime(9, 30, 0));
    const auto reading = [start](MeasurementStore& store, const QString& value, const QString& unit,
                                 int second) {
        AppendReading(store, value + " " + unit + "\r\n", unit, start.addSecs(second),
                      ("S " + value + " " + unit + "\r\n").toUtf8());
    };
    const Case cases[] = {
        {"a reading of -0.00 g",
         [&](MeasurementStore& store) {
             reading(store, "-0.00", "g", 0);
             reading(store, "0.01", "g", 1);
         }},
        {"a unit holding the field separator",
         [&](MeasurementStore& store) { reading(store, "1.5", QStringLiteral("g\x1f"), 0); }},
        {"a description holding the field separator and the escape",
         [&](MeasurementStore& store) {
             reading(store, "1.5", "g", 0);
             store.SetDescription(0, QStringLiteral("a\x1f"
                                                    "b\x1b"
                                                    "c"));
         }},
        {"a description set, changed and cleared",
         [&](MeasurementStore& store) {
             reading(store, "1.5", "g", 0);
             reading(store, "1.6", "g", 1);
             store.SetDescription(0, "first");
             store.SetDescription(1, "second");
             store.SetDescription(0, "");
         }},
        {"a time zone whose offset has seconds",
         [&](MeasurementStore& store) {
             const QTimeZone zone(3600 + 1800 + 17);
             AppendReading(store, "2.5 g\r\n", "g",
                           QDateTime(QDate(2026, 12, 8), QTime(23, 59, 50), zone), "S 2.5 g\r\n");
             AppendReading(store, "2.6 g\r\n", "g",
                           QDateTime(QDate(2026, 12, 9), QTime(0, 0, 5), zone), "S 2.6 g\r\n");
         }},
        {"a continuous batch",
         [&](MeasurementStore& store) {
             ContinuousBuffers buffers;
             buffers.Append("   12.500 g  \r\n", start);
             buffers.Append("garbage\r\n", start.addSecs(1));
             buffers.Append("   13.000 g  \r\n", start.addSecs(2));
             ASSERT_TRUE(StoreCollected(store, buffers, nullptr));
         }},
        {"a saved report",
         [&](MeasurementStore& store) {
             reading(store, "1.5", "g", 0);
             ASSERT_EQ(store.SaveReport("the report"), ReportText::SaveResult::Saved);
             ASSERT_EQ(store.SaveReport("the report, again"), ReportText::SaveResult::Saved);
         }},
        {"an author changed between readings",
         [&](MeasurementStore& store) {
             reading(store, "1.5", "g", 0);
             context.settings.nrWagi = QStringLiteral("12");
             reading(store, "1.6", "g", 1);
         }},
    };
    for (const Case& c : cases) {
        context.settings.nrWagi = QStringLiteral("3");
        store.NowaSeria();
        c.write(store);
        const auto working = SeriesJournal::VerifyFile(store.Bound().Path());
        EXPECT_EQ(working.state, State::Verified)
            << c.series << ": " << working.where.toStdString();
        EXPECT_FALSE(working.Unvouched()) << c.series;
        const QString path = folder.filePath("genuine.ser");
        QFile::remove(path);
        ASSERT_EQ(SeriesFile::ZapiszSerie(store.Bound(), path, nullptr, nullptr),
                  SeriesFile::SaveResult::Completed);
        const auto saved = SeriesJournal::VerifyFile(path);
        EXPECT_EQ(saved.state, State::Verified)
            << c.series << " (saved): " << saved.where.toStdString();
        EXPECT_GE(saved.readings, 1) << c.series;
    }
}

QByteArray Sha256Of(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

// A file written with full rows (each carrying its author) before entries
// became compact verifies byte for byte as it did, negative zero included.
TEST(SeriesJournalFormatTest, AFileOfFullRowsVerifiesAsItDid) {
    const QString fixture =
        QStringLiteral(TREVALO_SOURCE_DIR "/tests/data/fixtures/journal-full-rows.ser");
    QTemporaryDir folder;
    const QString path = folder.filePath("old.ser");
    ASSERT_TRUE(QFile::copy(fixture, path));
    const QByteArray before = Sha256Of(path);
    const auto verified = SeriesJournal::VerifyFile(path);
    ASSERT_EQ(verified.state, State::Verified) << verified.where.toStdString();
    EXPECT_EQ(verified.rows, 10);
    EXPECT_EQ(verified.readings, 4);
    EXPECT_EQ(verified.head.toHex(),
              "f38890fc8361ab273fe0f86d57cbd18cd5662821317474b4c0612313ac0b1511");
    EXPECT_EQ(Sha256Of(path), before);
    // Full rows hold no Timer or LpTekst: the readings are vouched for in
    // part, and so is a report nothing of the series journaled.
    EXPECT_EQ(verified.readingsPartly, 4);
    EXPECT_FALSE(verified.reportBefore);
    EXPECT_TRUE(verified.Unvouched());
    {
        Database file(path, Database::Journal::Rollback);
        file.Execute("INSERT INTO Raport (Raport) VALUES ('added later')");
    }
    const auto reported = SeriesJournal::VerifyFile(path);
    EXPECT_EQ(reported.state, State::Verified) << reported.where.toStdString();
    EXPECT_TRUE(reported.reportBefore);

    // Its full rows are still read for what they say.
    {
        Database file(path, Database::Journal::Rollback);
        file.Execute("UPDATE Pomiary SET Masa = 11 WHERE Lp = 1");
    }
    EXPECT_EQ(SeriesJournal::VerifyFile(path).where.left(20), "reading Lp 1: the ma");
}

// A new entry does not repeat who wrote it: one entry names the author,
// the entries after it refer to it.
TEST_F(SeriesJournalTest, EntriesNameTheirAuthorOnce) {
    const QString path = SavedSeries("compact.ser", 10);
    Database file(path, Database::Journal::Rollback, Database::Access::ReadOnly);
    EXPECT_EQ(file.Scalar("SELECT count(*) FROM journal WHERE os_user IS NOT NULL").toInt(), 0);
    EXPECT_EQ(file.Scalar("SELECT count(*) FROM journal WHERE event = ?",
                          {int(SeriesJournal::Event::AuthorChanged)})
                  .toInt(),
              1);
    QList<SeriesJournal::Entry> entries;
    SeriesJournal::ForEachEntry(file, [&](const SeriesJournal::Entry& entry) { entries << entry; });
    ASSERT_FALSE(entries.isEmpty());
    EXPECT_TRUE(entries.last().compact);
    EXPECT_EQ(entries.last().author.station, "3") << "the author named before it";
}

// The journal of a series that lost it and started anew vouches only for
// what came after: such a series is told apart from a whole one.
TEST_F(SeriesJournalTest, AStrippedJournalDoesNotLaunderTheReadingsBeforeIt) {
    const QString path = SavedSeries("stripped.ser", 10);
    {
        Database file(path, Database::Journal::Rollback);
        file.Execute("UPDATE Pomiary SET Masa = 99 WHERE Lp = 2");
        file.Execute("DROP TABLE journal");
        SeriesJournal::Append(file, SeriesJournal::Author::Here("3"),
                              SeriesJournal::Event::SeriesOpened, "stripped.ser");
    }
    const auto verified = SeriesJournal::VerifyFile(path);
    EXPECT_EQ(verified.state, State::Verified) << verified.where.toStdString();
    EXPECT_EQ(verified.readingsBefore, 3);
    EXPECT_TRUE(verified.Unvouched());
}

TEST(SeriesJournalEventTest, AnyStoredNumberHasAName) {
    EXPECT_EQ(SeriesJournal::EventName(SeriesJournal::Event::ReadingStored), "reading stored");
    EXPECT_EQ(SeriesJournal::EventName(2147483648LL), "event 2147483648");
    EXPECT_EQ(SeriesJournal::EventName(std::numeric_limits<qint64>::min()),
              "event -9223372036854775808");
    EXPECT_EQ(SeriesJournal::EventName(0), "event 0");
}

TEST(SeriesJournalFieldsTest, FieldsComeBackAsTheyWentIn) {
    const QList<QByteArray> fields{"a\x1f"
                                   "b",
                                   "", "\x1b", "c\x1b\x1f"};
    EXPECT_EQ(SeriesJournal::SplitFields(SeriesJournal::JoinFields(fields)), fields);
}

// What verification does to the file it reads: nothing, whatever its state.
TEST_F(SeriesJournalTest, VerifyingWritesNothing) {
    AppendReading(store, "1.5 g\r\n", "g", QDateTime::currentDateTime(), "S 1.5 g\r\n");
    // The working database is in WAL mode with its log beside it.
    const QString working = store.Bound().Path();
    ASSERT_TRUE(QFile::exists(working + "-wal"));
    const QByteArray file = Sha256Of(working), log = Sha256Of(working + "-wal");
    EXPECT_EQ(SeriesJournal::VerifyFile(working).state, State::Verified);
    EXPECT_EQ(Sha256Of(working), file);
    EXPECT_EQ(Sha256Of(working + "-wal"), log);

    // A file nobody may write is read as it stands, without a lock file.
    const QString path = SavedSeries("readonly.ser", 10);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup);
    const QByteArray saved = Sha256Of(path);
    EXPECT_EQ(SeriesJournal::VerifyFile(path).state, State::Verified);
    EXPECT_EQ(Sha256Of(path), saved);
    EXPECT_FALSE(QFile::exists(path + "-shm"));
}

// Another program holding the file locked past the wait says nothing of
// the record: the verifier tells the lock, never "no journal" or "damaged".
TEST_F(SeriesJournalTest, AFileHeldLockedIsNoVerdictOnIt) {
    const QString path = SavedSeries("held.ser", 10);
    Database file(path, Database::Journal::Rollback, Database::Access::ReadOnly);
    sqlite3_busy_timeout(file.Handle(), 0);
    Database holder(path, Database::Journal::Rollback);
    holder.Execute(QStringLiteral("BEGIN EXCLUSIVE"));
    try {
        SeriesJournal::Verify(file);
        ADD_FAILURE() << "a locked file came to a verdict";
    } catch (const DatabaseError& error) {
        EXPECT_EQ(error.code & 0xff, SQLITE_BUSY);
    }
    const auto identity = JournalIdentity::Of(file, QStringLiteral("3"));
    EXPECT_EQ(identity.state, State::Broken);
    holder.Execute(QStringLiteral("ROLLBACK"));
    EXPECT_EQ(SeriesJournal::Verify(file).state, State::Verified);
}

TEST(SeriesJournalFileTest, WhatIsNotARegularFileIsRefusedAtOnce) {
    QTemporaryDir folder;
    const QString pipe = folder.filePath("pipe.ser");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    EXPECT_THROW(SeriesJournal::VerifyFile(pipe), DatabaseError);
    EXPECT_THROW(SeriesJournal::VerifyFile(folder.path()), DatabaseError);
    EXPECT_THROW(SeriesJournal::VerifyFile(folder.filePath("missing.ser")), DatabaseError);
}

// A series file in rollback mode written as the store writes one: its
// start, then readings of 1.5 g a second apart, each with its entry, a
// transaction per batch.
class JournaledFile {
public:
    explicit JournaledFile(const QString& path) : series(path, Database::Journal::Rollback) {
        series.CreateSchema();
    }
    void Add(int count) {
        series.Begin();
        if (lp == 0)
            SeriesJournal::Append(series, author, SeriesJournal::Event::SeriesStarted, "0", at);
        for (int i = 0; i < count; ++i) {
            ++lp;
            at = at.addSecs(1);
            series.Execute(
                QStringLiteral("INSERT INTO pomiary (Lp, data, Godzina, Timer, Masa, Jm, "
                               "LpTekst, Nr_wagi, Opis) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                {lp, Database::DateText(at.date()), Database::DateTimeText(at), lp, 1.5,
                 QStringLiteral("g"), QString::number(lp), QStringLiteral("3"),
                 QStringLiteral(" ")});
            SeriesJournal::Append(series, author, SeriesJournal::Event::ReadingStored,
                                  SeriesJournal::ReadingData(lp, 1.5, QStringLiteral("g"),
                                                             "S 1.5 g\r\n", lp, QString::number(lp),
                                                             QStringLiteral(" ")),
                                  at);
        }
        series.Commit();
    }
    int Readings() const { return lp; }

private:
    Database series;
    const SeriesJournal::Author author{QStringLiteral("3"), QStringLiteral("lab"),
                                       QStringLiteral("bench")};
    QDateTime at{QDate(2026, 12, 8), QTime(9, 0), QTimeZone(3600)};
    int lp = 0;
};

// A series file long enough to be read many pages at a time (forwards by
// the walk, backwards by the search for the series' start and by the
// structure check), in rollback and in write-ahead mode: every way of
// verifying it comes to the verdict of a connection of the program's own,
// untouched and with one reading changed far into the file.
TEST(SeriesJournalFileTest, ALongFileIsReadAsTheProgramReadsIt) {
    QTemporaryDir folder;
    const QString path = folder.filePath("series.ser");
    JournaledFile(path).Add(8000);
    ASSERT_GT(QFileInfo(path).size(), 1 << 20);
    const QString changed = folder.filePath("changed.ser");
    const QString writeAhead = folder.filePath("write-ahead.ser");
    ASSERT_TRUE(QFile::copy(path, changed));
    {
        Database file(changed, Database::Journal::Rollback);
        file.Execute(QStringLiteral("UPDATE pomiary SET Masa = 2.5 WHERE Lp = 5000"));
    }
    ASSERT_TRUE(QFile::copy(changed, writeAhead));
    { Database file(writeAhead, Database::Journal::WriteAhead); }
    const struct {
        QString path;
        State state;
        const char* where;
    } cases[] = {
        {path, State::Verified, ""},
        {changed, State::Broken, "reading Lp 5000: the mass is 2.5, the journal has 1.5"},
        {writeAhead, State::Broken, "reading Lp 5000: the mass is 2.5, the journal has 1.5"},
    };
    for (const auto& expected : cases) {
        const QByteArray name = QFileInfo(expected.path).fileName().toUtf8();
        Database file(expected.path, Database::Journal::Rollback, Database::Access::ReadOnly);
        const auto own = SeriesJournal::Verify(file);
        EXPECT_EQ(own.state, expected.state) << name.constData();
        EXPECT_EQ(own.where, QString::fromUtf8(expected.where)) << name.constData();
        ExpectOneVerdict(expected.path, own, name.constData());
        qint64 handed = 0;
        SeriesJournal::VerifyFile(expected.path, [&](const Database::RowView&) { ++handed; });
        EXPECT_EQ(handed, 8000) << name.constData();
    }
}

// A series file in rollback mode verified again and again (alone, and
// handing its rows on as an export does) while a writer adds readings with
// their entries: no verification holds the writer off longer than its own
// read, every verdict is of one moment, and the last counts every reading.
TEST(SeriesJournalFileTest, AFileWrittenWhileItIsVerifiedIsReadAtOneMoment) {
    QTemporaryDir folder;
    const QString path = folder.filePath("series.ser");
    JournaledFile series(path);
    series.Add(4000);
    std::atomic<bool> writing{true};
    std::atomic<int> checks{0};
    QString fault;
    std::thread verifier([&] {
        while (writing.load()) {
            qint64 handed = 0;
            const bool exporting = checks % 2 == 1;
            try {
                const auto verified = exporting
                                          ? SeriesJournal::VerifyFile(
                                                path, [&](const Database::RowView&) { ++handed; })
                                          : SeriesJournal::VerifyFile(path);
                if (fault.isEmpty() && verified.state != State::Verified)
                    fault = verified.where;
                if (fault.isEmpty() && exporting && handed != verified.readings)
                    fault = QStringLiteral("%1 rows handed on, %2 verified")
                                .arg(handed)
                                .arg(verified.readings);
            } catch (const DatabaseError& error) {
                if (fault.isEmpty())
                    fault = QString::fromUtf8(error.what());
            }
            ++checks;
        }
    });
    // Written back to back for a while (a commit then waits on the readers
    // most), then a batch at a time as readings come until a few
    // verifications have come to their verdict.
    std::chrono::steady_clock::duration longest{};
    try {
        for (int batch = 0; batch < 400 && (batch < 60 || checks.load() < 4); ++batch) {
            const auto started = std::chrono::steady_clock::now();
            series.Add(25);
            longest = std::max(longest, std::chrono::steady_clock::now() - started);
            if (batch >= 60)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    } catch (const DatabaseError& error) {
        ADD_FAILURE() << error.what();
    }
    writing = false;
    verifier.join();
    EXPECT_TRUE(fault.isEmpty()) << fault.toStdString();
    EXPECT_GE(checks.load(), 4);
    // A commit held off until the engine's wait of 5 s ran out, even once,
    // would take that long.
    EXPECT_LT(longest, std::chrono::seconds(4));
    const auto last = SeriesJournal::VerifyFile(path);
    EXPECT_EQ(last.state, State::Verified) << last.where.toStdString();
    EXPECT_EQ(last.readings, series.Readings());
}

// The program stores readings while another process verifies the working
// database: the journal and the readings are always read at one moment.
TEST_F(SeriesJournalTest, VerifyingWhileTheProgramWritesSeesOneMoment) {
    const QString working = store.Bound().Path();
    std::atomic<bool> writing{true};
    std::atomic<int> checks{0};
    QString fault;
    std::thread verifier([&] {
        while (writing.load()) {
            const auto verified = SeriesJournal::VerifyFile(working);
            if (verified.state != State::Verified && fault.isEmpty())
                fault = verified.where;
            ++checks;
        }
    });
    const QDateTime start = QDateTime::currentDateTime();
    for (int i = 0; i < 400; ++i)
        AppendReading(store, "1.5 g\r\n", "g", start.addSecs(i), "S 1.5 g\r\n");
    writing = false;
    verifier.join();
    EXPECT_TRUE(fault.isEmpty()) << fault.toStdString();
    EXPECT_GT(checks.load(), 0);
}

} // namespace
