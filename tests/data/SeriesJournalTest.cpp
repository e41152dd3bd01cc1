#include "SeriesJournal.h"
#include "Database.h"
#include "MeasurementStore.h"
#include "ProgramContext.h"
#include "ScriptedDialogs.h"
#include "SeriesFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

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
            store.DodajPomiar(value + " g\r\n", "g", start.addSecs(i),
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
    }
}

// A file shown for viewing is copied into the working database: the working
// journal vouches for what comes after it, not for the readings it brought.
TEST_F(SeriesJournalTest, AViewedFileLeavesTheWorkingJournalVerifying) {
    const QString path = SavedSeries("viewed.ser", 10);
    store.OpenForViewing(path);
    store.DodajPomiar("13.0000 g\r\n", "g", QDateTime::currentDateTime(), "S 13.0000 g\r\n");
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
    store.DodajPomiar("13.0000 g\r\n", "g", QDateTime::currentDateTime(), "S 13.0000 g\r\n");
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
