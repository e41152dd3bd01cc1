#include "Database.h"
#include "TestEnvironment.h"

#include <QFile>
#include <cmath>
#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace Pomiar;

namespace {

class DatabaseTest : public ::testing::Test {
protected:
    QString path = TestEnvironment::Root() + "/dane.mdb";

    void SetUp() override { RemoveFiles(); }
    void TearDown() override { RemoveFiles(); }

    void RemoveFiles() {
        for (const char* suffix : {"", "-wal", "-shm", "-journal"})
            QFile::remove(path + suffix);
    }

    static QStringList TableColumns(Database& db, const QString& table) {
        QStringList names;
        for (const QVariantList& row : db.Query("PRAGMA table_info(" + table + ")").rows)
            names << row[1].toString() + ' ' + row[2].toString();
        return names;
    }

    static void AddReading(Database& db, int lp, const QString& godzina, double masa) {
        db.Execute("INSERT INTO pomiary (Lp, Godzina, Masa, LpTekst) VALUES (?, ?, ?, ?)",
                   {lp, godzina, masa, lp});
    }
};

} // namespace

TEST_F(DatabaseTest, NewFileGetsTheFourTablesWithTheirColumnsInOrder) {
    Database db(path);
    db.CreateSchema();
    EXPECT_EQ(TableColumns(db, "pomiary"),
              QStringList({"Lp INTEGER", "data TEXT", "Godzina TEXT", "Timer INTEGER", "Masa REAL",
                           "Jm TEXT", "LpTekst TEXT", "Nr_wagi TEXT", "status TEXT", "Opis TEXT"}));
    EXPECT_EQ(
        TableColumns(db, "temp"),
        QStringList({"Lp1 INTEGER", "data1 TEXT", "Godzina1 TEXT", "Timer1 INTEGER", "Masa1 REAL",
                     "Jm1 TEXT", "Opis1 TEXT", "Lp2 INTEGER", "data2 TEXT", "Godzina2 TEXT",
                     "Timer2 INTEGER", "Masa2 REAL", "Jm2 TEXT", "Opis2 TEXT"}));
    EXPECT_EQ(TableColumns(db, "raport"), QStringList({"Raport TEXT"}));
    EXPECT_EQ(TableColumns(db, "cykl"), QStringList({"start INTEGER", "Stop INTEGER"}));
    for (const char* table : {"POMIARY", "Temp", "raport", "Cykl"})
        EXPECT_TRUE(db.HasTable(table)) << table;
    EXPECT_FALSE(db.HasTable("pomiar"));
}

TEST_F(DatabaseTest, SchemaIsCreatedOnlyWhereMissing) {
    {
        Database db(path);
        db.Execute("CREATE TABLE Pomiary (Lp INTEGER)");
        db.Execute("INSERT INTO Pomiary VALUES (7)");
        db.CreateSchema();
        EXPECT_TRUE(db.HasTable("cykl"));
    }
    Database db(path);
    db.CreateSchema();
    EXPECT_EQ(db.Scalar("select Lp from pomiary").toInt(), 7);
    EXPECT_EQ(TableColumns(db, "pomiary"), QStringList({"Lp INTEGER"}));
}

TEST_F(DatabaseTest, TableAndColumnNamesMatchWithoutCase) {
    Database db(path);
    db.CreateSchema();
    db.Execute("INSERT INTO Pomiary (lp, Data, MASA, opis) VALUES (1, '2026-12-07', 2.5, ' ')");
    const Database::Rows rows = db.Query("select * from POMIARY");
    ASSERT_EQ(rows.rows.size(), 1u);
    const int masa = rows.Column("MASA");
    ASSERT_EQ(masa, 4);
    EXPECT_EQ(rows.rows[0][masa].toDouble(), 2.5);
    EXPECT_EQ(rows.rows[0][rows.Column("DATA")].toString(), "2026-12-07");
    EXPECT_EQ(rows.Column("nothing"), -1);
}

TEST_F(DatabaseTest, TranslatesTheStatementsOfTheProgramAndNothingElse) {
    EXPECT_EQ(Database::Translate("DELETE * FROM pomiary;"), "DELETE FROM pomiary;");
    EXPECT_EQ(Database::Translate("DELETE * FROM temp"), "DELETE FROM temp");
    EXPECT_EQ(Database::Translate("  delete   *from raport ;"), "  delete from raport ;");
    EXPECT_EQ(Database::Translate("select top 25 lptekst, masa from pomiary order by godzina desc"),
              "select lptekst, masa from pomiary order by godzina desc LIMIT 25");
    EXPECT_EQ(Database::Translate("SELECT TOP 3 * FROM pomiary ORDER BY godzina DESC; "),
              "SELECT * FROM pomiary ORDER BY godzina DESC LIMIT 3; ");
    const QString stats = "SELECT Max(masa) AS maksimum, Min(masa) AS minimum, StDev(masa) AS "
                          "odchylenie, Avg(masa) AS srednia , Sum(masa) AS suma ,count(*) as "
                          "ilosc FROM pomiary;";
    for (const QString& same :
         {QString("select * from pomiary;"), QString("select lptekst, masa from pomiary;"), stats,
          QString("select top_n from t"), QString("DELETE FROM pomiary WHERE lp > 2"),
          QString("INSERT INTO raport (Raport) VALUES ('DELETE * FROM x; select top 5 a')")})
        EXPECT_EQ(Database::Translate(same), same);
}

TEST_F(DatabaseTest, TranslatedStatementsDoWhatTheySay) {
    Database db(path);
    db.CreateSchema();
    // Five readings inside one second: only the fraction orders them.
    for (int i = 1; i <= 5; ++i)
        AddReading(db, i, QString("2026-12-07 10:15:30.%1").arg(i * 100, 3, 10, QChar('0')),
                   i * 1.5);
    AddReading(db, 6, "2026-12-07 10:15:29", 99.0);

    const auto last = db.Query("select top 3 lptekst, masa from pomiary order by godzina desc");
    ASSERT_EQ(last.rows.size(), 3u);
    EXPECT_EQ(last.rows[0][0].toString(), "5");
    EXPECT_EQ(last.rows[1][0].toString(), "4");
    EXPECT_EQ(last.rows[2][0].toString(), "3");

    db.Execute("INSERT INTO raport (Raport) VALUES ('x')");
    EXPECT_EQ(db.Execute("DELETE * FROM pomiary;"), 6);
    EXPECT_EQ(db.Execute("DELETE * FROM raport;"), 1);
    EXPECT_EQ(db.Execute("DELETE * FROM temp"), 0);
    EXPECT_EQ(db.Scalar("select count(*) from pomiary").toInt(), 0);
}

TEST_F(DatabaseTest, StatisticsQueryRunsAsWritten) {
    Database db(path);
    db.CreateSchema();
    const QString stats = "SELECT Max(masa) AS maksimum, Min(masa) AS minimum, StDev(masa) AS "
                          "odchylenie, Avg(masa) AS srednia , Sum(masa) AS suma ,count(*) as "
                          "ilosc FROM pomiary;";
    AddReading(db, 1, "2026-12-07 10:00:00", 1.0);
    auto one = db.Query(stats);
    EXPECT_TRUE(one.rows[0][one.Column("odchylenie")].isNull());
    EXPECT_EQ(one.rows[0][one.Column("ilosc")].toInt(), 1);

    AddReading(db, 2, "2026-12-07 10:00:01", 3.0);
    db.Execute("INSERT INTO pomiary (Lp) VALUES (3)"); // no mass: not counted by the aggregates
    const auto two = db.Query(stats);
    EXPECT_DOUBLE_EQ(two.rows[0][two.Column("odchylenie")].toDouble(), std::sqrt(2.0));
    EXPECT_EQ(two.rows[0][two.Column("maksimum")].toDouble(), 3.0);
    EXPECT_EQ(two.rows[0][two.Column("minimum")].toDouble(), 1.0);
    EXPECT_EQ(two.rows[0][two.Column("srednia")].toDouble(), 2.0);
    EXPECT_EQ(two.rows[0][two.Column("suma")].toDouble(), 4.0);
    EXPECT_EQ(two.rows[0][two.Column("ilosc")].toInt(), 3);

    db.Execute("DELETE * FROM pomiary");
    EXPECT_TRUE(db.Scalar("select stdev(masa) from pomiary").isNull());
}

TEST_F(DatabaseTest, StDevStaysExactForNearlyEqualLargeValues) {
    Database db(path);
    db.CreateSchema();
    // Deviations 4, 7, 13, 16 around 1e9: a sum of squares would lose them.
    for (double offset : {4.0, 7.0, 13.0, 16.0})
        db.Execute("INSERT INTO pomiary (Masa) VALUES (?)", {1e9 + offset});
    EXPECT_NEAR(db.Scalar("select StDev(masa) from pomiary").toDouble(), std::sqrt(30.0), 1e-6);
}

TEST_F(DatabaseTest, ParametersRoundTrip) {
    Database db(path);
    db.CreateSchema();
    const QDateTime when(QDate(2026, 12, 7), QTime(10, 15, 30));
    const QString polish = QString::fromUtf8("Zażółć gęślą jaźń");
    db.Execute(
        "INSERT INTO pomiary (Lp, data, Godzina, Masa, Jm, LpTekst, Opis, status) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
        {qint64(1) << 40, when.date(), when, 0.1 + 0.2, polish, 12, QString(""), QVariant()});
    const auto rows = db.Query("select Lp, data, Godzina, Masa, Jm, LpTekst, Opis, status, "
                               "typeof(data), length(Jm), typeof(LpTekst) from pomiary");
    const QVariantList& row = rows.rows.at(0);
    EXPECT_EQ(row[0].toLongLong(), qint64(1) << 40);
    EXPECT_EQ(row[1].toString(), "2026-12-07");
    EXPECT_EQ(row[2].toString(), "2026-12-07 10:15:30");
    EXPECT_EQ(Database::ParseDateTime(row[2]), when);
    EXPECT_EQ(row[3].toDouble(), 0.1 + 0.2);
    EXPECT_EQ(row[4].toString(), polish);
    EXPECT_EQ(row[5].toString(), "12");
    EXPECT_FALSE(row[6].isNull());
    EXPECT_EQ(row[6].toString(), "");
    EXPECT_TRUE(row[7].isNull());
    EXPECT_EQ(row[8].toString(), "text");
    EXPECT_EQ(row[9].toInt(), 17); // characters, not bytes: stored as UTF-8 text
    EXPECT_EQ(row[10].toString(), "text");

    const QByteArray bytes("\0\x01\xff", 3);
    EXPECT_EQ(db.Scalar("select ?", {bytes}).toByteArray(), bytes);
    EXPECT_EQ(db.Scalar("select typeof(?)", {QByteArray()}).toString(), "blob");
    EXPECT_EQ(db.Scalar("select ?", {true}).toLongLong(), 1);
    EXPECT_EQ(db.Scalar("select ?", {QDate()}), QVariant());
}

TEST_F(DatabaseTest, MassWrittenAsTextIsStoredAsNumber) {
    Database db(path);
    db.CreateSchema();
    db.Execute("INSERT INTO pomiary (Masa, Timer) VALUES (?, ?)", {QString("12.5"), 3.0});
    EXPECT_EQ(db.Scalar("select typeof(Masa) || ' ' || typeof(Timer) from pomiary").toString(),
              "real integer");
    EXPECT_EQ(db.Scalar("select Masa * 2 from pomiary").toDouble(), 25.0);
}

TEST_F(DatabaseTest, FaultyStatementsThrowAndLeaveTheConnectionUsable) {
    Database db(path);
    db.CreateSchema();
    try {
        db.Execute("INSERT INTO missing VALUES (1)");
        FAIL() << "no error";
    } catch (const DatabaseError& error) {
        EXPECT_EQ(error.code, SQLITE_ERROR);
        EXPECT_NE(QString(error.what()).indexOf("no such table"), -1) << error.what();
    }
    EXPECT_THROW(db.Execute("INSERT INTO pomiary (Lp) VALUES (?)", {}), DatabaseError);
    EXPECT_THROW(db.Execute("INSERT INTO pomiary (Lp) VALUES (?)", {1, 2}), DatabaseError);
    EXPECT_THROW(db.Query("   "), DatabaseError);
    // The second statement of a text would never run: the text is refused whole.
    EXPECT_THROW(db.Execute("INSERT INTO pomiary (Lp) VALUES (1); DELETE FROM pomiary"),
                 DatabaseError);
    EXPECT_EQ(db.Scalar("select count(*) from pomiary").toInt(), 0);

    // A statement that failed while stepping runs again afterwards.
    db.Execute("INSERT INTO cykl (start, Stop) VALUES (10, 20)");
    const QString insert = "INSERT INTO cykl (start, Stop) VALUES (?, ?)";
    EXPECT_THROW(db.Execute(insert, {15, 25}), DatabaseError);
    EXPECT_EQ(db.Execute(insert, {30, 40}), 1);
}

TEST_F(DatabaseTest, CycleTableRefusesOverlappingAndSenselessWindows) {
    Database db(path);
    db.CreateSchema();
    const QString insert = "INSERT INTO cykl (start, Stop) VALUES (?, ?)";
    db.Execute(insert, {30, 40});
    db.Execute(insert, {10, 20}); // out of order is allowed and kept
    db.Execute(insert, {5, 5});
    EXPECT_THROW(db.Execute(insert, {20, 25}), DatabaseError);
    EXPECT_THROW(db.Execute(insert, {1, 50}), DatabaseError);
    EXPECT_THROW(db.Execute(insert, {0, 3}), DatabaseError);
    EXPECT_THROW(db.Execute(insert, {50, 45}), DatabaseError);
    EXPECT_EQ(db.Execute("UPDATE cykl SET Stop = 45 WHERE start = 30"), 1); // its own row
    EXPECT_THROW(db.Execute("UPDATE cykl SET Stop = 30 WHERE start = 10"), DatabaseError);

    const auto rows = db.Query("select * from cykl");
    ASSERT_EQ(rows.rows.size(), 3u);
    EXPECT_EQ(rows.rows[0][1].toInt(), 45);
    EXPECT_EQ(rows.rows[1][0].toInt(), 10);
    EXPECT_EQ(rows.rows[2][0].toInt(), 5);
}

TEST_F(DatabaseTest, TransactionsCommitOrLeaveNothing) {
    Database db(path);
    db.CreateSchema();
    db.Begin();
    EXPECT_TRUE(db.InTransaction());
    AddReading(db, 1, "2026-12-07 10:00:00", 1.0);
    db.Execute("INSERT INTO raport (Raport) VALUES ('r')");
    db.Rollback();
    EXPECT_FALSE(db.InTransaction());
    EXPECT_EQ(db.Scalar("select count(*) from pomiary").toInt(), 0);
    EXPECT_EQ(db.Scalar("select count(*) from raport").toInt(), 0);
    EXPECT_NO_THROW(db.Rollback());

    db.Begin();
    EXPECT_THROW(db.Begin(), DatabaseError);
    AddReading(db, 1, "2026-12-07 10:00:00", 1.0);
    db.Commit();
    EXPECT_EQ(db.Scalar("select count(*) from pomiary").toInt(), 1);
    EXPECT_EQ(db.LastInsertRowId(), 1);
}

TEST_F(DatabaseTest, ClosingLeavesOneSelfContainedFile) {
    {
        Database db(path);
        db.CreateSchema();
        EXPECT_EQ(db.Scalar("PRAGMA journal_mode").toString(), "wal");
        AddReading(db, 1, "2026-12-07 10:00:00", 1.0);
        Database other(path);
        EXPECT_EQ(other.Scalar("select count(*) from pomiary").toInt(), 1);
        db.Begin();
        AddReading(db, 2, "2026-12-07 10:00:01", 2.0); // never committed
    }
    EXPECT_FALSE(QFile::exists(path + "-wal"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray header = file.read(20);
    EXPECT_EQ(header[18], 1) << "the closed file still asks for a WAL";
    file.close();
    Database db(path);
    EXPECT_EQ(db.Scalar("select group_concat(Masa) from pomiary").toString(), "1.0");
}

TEST_F(DatabaseTest, RowsComeInInsertionOrderAlsoAfterCompaction) {
    Database db(path);
    db.CreateSchema();
    const QList<int> numbers = {5, 3, 9, 1, 7, 2, 8};
    for (int lp : numbers)
        AddReading(db, lp, "2026-12-07 10:00:00", lp * 0.5);
    db.Execute("DELETE FROM pomiary WHERE Lp IN (3, 7)");
    db.Compact();
    const auto rows = db.Query("select * from pomiary;");
    QList<int> seen;
    for (const QVariantList& row : rows.rows)
        seen << row[0].toInt();
    EXPECT_EQ(seen, QList<int>({5, 9, 1, 2, 8}));
    EXPECT_EQ(db.Scalar("select sum(Masa) from pomiary").toDouble(), 12.5);
    EXPECT_EQ(db.Scalar("PRAGMA integrity_check").toString(), "ok");
}

TEST_F(DatabaseTest, CompactKeepsEveryRowAndTheFileOpensAfterwards) {
    {
        Database db(path);
        db.CreateSchema();
        db.Begin();
        for (int i = 1; i <= 2000; ++i)
            AddReading(db, i, "2026-12-07 10:00:00", i);
        db.Commit();
        db.Execute("DELETE FROM pomiary WHERE Lp > 100");
        db.Begin();
        EXPECT_THROW(db.Compact(), DatabaseError);
        db.Rollback();
        EXPECT_GT(db.Scalar("PRAGMA freelist_count").toInt(), 0);
        db.Compact();
        EXPECT_EQ(db.Scalar("PRAGMA freelist_count").toInt(), 0);
    }
    Database db(path);
    EXPECT_EQ(db.Scalar("select count(*) from pomiary").toInt(), 100);
    EXPECT_EQ(db.Scalar("select sum(Lp) from pomiary").toInt(), 5050);
}

TEST_F(DatabaseTest, AFileThatIsNotADatabaseIsRefusedAndLeftAlone) {
    const QByteArray text = QByteArray("Lp;Data;Masa\r\n1;2026-12-07;12.5\r\n").repeated(200);
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    try {
        Database db(path);
        FAIL() << "opened";
    } catch (const DatabaseError& error) {
        EXPECT_EQ(error.code, SQLITE_NOTADB);
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), text);
    EXPECT_FALSE(QFile::exists(path + "-wal"));

    EXPECT_THROW(Database(TestEnvironment::Root() + "/no/such/folder/x.ser"), DatabaseError);
}

TEST_F(DatabaseTest, HundredThousandInsertsInOneTransaction) {
    Database db(path);
    db.CreateSchema();
    const QDateTime start(QDate(2026, 12, 7), QTime(8, 0));
    const QString insert = "INSERT INTO pomiary (Lp, data, Godzina, Timer, Nr_wagi, Masa, Jm, "
                           "LpTekst, Opis) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)";
    db.Begin();
    for (int i = 1; i <= 100000; ++i) {
        const QDateTime when = start.addMSecs(qint64(i) * 10);
        db.Execute(insert, {i, when.date(), when, i / 100, QString("1"), i * 0.001, QString("g"), i,
                            QString(" ")});
    }
    db.Commit();
    EXPECT_EQ(db.Scalar("select count(*) from pomiary").toInt(), 100000);
    EXPECT_NEAR(db.Scalar("select sum(Masa) from pomiary").toDouble(), 5000050.0, 1e-3);
    EXPECT_EQ(db.Scalar("select max(Godzina) from pomiary").toString(), "2026-12-07 08:16:40");
}

TEST_F(DatabaseTest, ManyDifferentStatementsStayCorrect) {
    Database db(path);
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(db.Scalar(QString("select %1 + ?").arg(i), {1}).toInt(), i + 1);
    EXPECT_EQ(db.Scalar("select 0 + ?", {5}).toInt(), 5);
}

TEST(DatabaseDates, WrittenAsIsoTextAndReadBack) {
    EXPECT_EQ(Database::DateText(QDate(2026, 12, 7)), "2026-12-07");
    EXPECT_EQ(Database::DateText(QDate()), QString());
    const QDateTime whole(QDate(2026, 1, 2), QTime(3, 4, 5));
    EXPECT_EQ(Database::DateTimeText(whole), "2026-01-02 03:04:05");
    // One form for every reading: a fraction of a second is cut, never
    // rounded into the next second.
    const QDateTime fraction(QDate(2026, 1, 2), QTime(3, 4, 5, 970));
    EXPECT_EQ(Database::DateTimeText(fraction), "2026-01-02 03:04:05");

    EXPECT_EQ(Database::ParseDateTime(QString("2026-01-02 03:04:05")), whole);
    // Older files hold fractions; they still read.
    EXPECT_EQ(Database::ParseDateTime(QString("2026-01-02T03:04:05.97")), fraction);
    EXPECT_EQ(Database::ParseDateTime(QString("2026-01-02 03:04:05.970")), fraction);
    EXPECT_EQ(Database::ParseDateTime(QString("2026-01-02")), QDate(2026, 1, 2).startOfDay());
    EXPECT_EQ(Database::ParseDateTime(QDate(2026, 1, 2)), QDate(2026, 1, 2).startOfDay());
    EXPECT_EQ(Database::ParseDateTime(QVariant(whole)), whole);
    for (const QVariant& bad : {QVariant(), QVariant(QString("")), QVariant(QString("2026-02-30")),
                                QVariant(QString("2026-01-02 25:00:00")),
                                QVariant(QString("07.12.2026")), QVariant(45000)})
        EXPECT_FALSE(Database::ParseDateTime(bad).isValid()) << bad.toString().toStdString();

    // The date alone, as the full reading gives it, for every form.
    for (const QVariant& stored :
         {QVariant(QString("2026-01-02 03:04:05")), QVariant(QString("2026-01-02T03:04:05.97")),
          QVariant(QString(" 2026-01-02 ")), QVariant(QDate(2026, 1, 2)), QVariant(whole),
          QVariant(QString("2026-03-29 02:30:00")), QVariant(), QVariant(QString("2026-02-30")),
          QVariant(QString("2026-01-02 25:00:00")), QVariant(QString("2026-01-02 03")),
          QVariant(45000)})
        EXPECT_EQ(Database::ParseDate(stored), Database::ParseDateTime(stored).date())
            << stored.toString().toStdString();
}
