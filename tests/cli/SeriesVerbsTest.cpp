#include "ConsoleDialogs.h"
#include "Database.h"
#include "LanguageTexts.h"
#include "MeasurementStore.h"
#include "ProgramContext.h"
#include "SeriesFile.h"
#include "SeriesJournal.h"
#include "StoreReadings.h"
#include "TestEnvironment.h"
#include "TestFiles.h"
#include "TrevaloProcess.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

const QString statisticNames[] = {"count",        "max",          "min",        "mean",
                                  "std_dev",      "mean_abs_dev", "sum_sq_dev", "variance",
                                  "variance_est", "std_dev_est",  "sum"};

QStringList FieldsOf(const Pomiar::StatisticsFields& fields) {
    return {fields.lblLiczba, fields.lblMax,     fields.lblMin,      fields.lblSrednia,
            fields.lblOStd,   fields.lblOSrenie, fields.lblOKwadrat, fields.lblWar,
            fields.lblEWar,   fields.lblEOdch,   fields.lblSuma};
}

class SeriesVerbs : public ::testing::Test {
protected:
    void SetUp() override {
        WriteSettings("[ustawienia]\r\nMasaFormat=#0.000\r\nlanguage=English.lag\r\n");
        context.programFolder = scratch.path();
        context.dialogs = &dialogs;
    }

    // A series saved by the program's own save command.
    QString SavedSeries(const std::vector<double>& masses) {
        Pomiar::MeasurementStore store(context);
        store.OtworzMagazyn();
        QDateTime time(QDate(2026, 12, 7), QTime(10, 0, 0));
        for (double mass : masses) {
            AppendReading(store, QString::number(mass, 'f', 4) + " g\r\n", "g", time);
            time = time.addSecs(1);
        }
        const QString path = TestEnvironment::Root() + "/series.ser";
        QString error;
        EXPECT_EQ(Pomiar::SeriesFile::ZapiszSerie(store.Bound(), path, nullptr, &error),
                  Pomiar::SeriesFile::SaveResult::Completed);
        return path;
    }

    // The statistics the program shows for the file once it is opened.
    QStringList ProgramStatistics(const QString& path, const QLocale& locale) {
        const QString copy = scratch.filePath("copy.ser");
        QFile::remove(copy);
        QFile::copy(path, copy);
        Pomiar::MeasurementStore store(context);
        store.SetLocale(locale);
        store.SetMassFormat("#0.000");
        store.OtworzMagazyn();
        store.OtworzBaze(copy);
        return FieldsOf(store.Statistics());
    }

    QTemporaryDir scratch;
    Trevalo::ConsoleDialogs dialogs;
    Pomiar::ProgramContext context;
};

QStringList StatisticsPrinted(const QString& out) {
    QStringList values;
    for (const QString& line : out.split(u'\n', Qt::SkipEmptyParts))
        values << line.section(u'\t', 1);
    return values;
}

} // namespace

TEST_F(SeriesVerbs, StatsAreThoseOfTheProgramInEitherLocale) {
    const QString series = SavedSeries({12.3456, 12.3401, 12.3519, -0.5, 1000.25});
    const auto english = RunTrevalo({"stats", series});
    ASSERT_EQ(english.exitCode, 0) << english.err.toStdString();
    EXPECT_EQ(StatisticsPrinted(english.out), ProgramStatistics(series, QLocale::c()));
    const QStringList lines = english.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 11);
    for (int i = 0; i < 11; ++i)
        EXPECT_TRUE(lines[i].startsWith(statisticNames[i] + u'\t')) << lines[i].toStdString();

    const auto polish = RunTrevalo({"stats", series, "--json"}, {"LC_ALL=pl_PL.UTF-8"});
    ASSERT_EQ(polish.exitCode, 0) << polish.err.toStdString();
    const QJsonObject json = QJsonDocument::fromJson(polish.out.toUtf8()).object();
    const QStringList expected =
        ProgramStatistics(series, QLocale(QLocale::Polish, QLocale::Poland));
    EXPECT_TRUE(expected[3].contains(u',')) << expected[3].toStdString();
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ(json.value(statisticNames[i]).toString(), expected[i]) << i;
}

TEST_F(SeriesVerbs, ExportIsByteForByteThatOfTheProgram) {
    const QString series = SavedSeries({12.3456, 0.0001, -7.25});
    const QString csv = TestEnvironment::Root() + "/out.csv";
    TestFiles::WriteFile(csv, "an older export\r\n");
    for (const QLocale& locale : {QLocale::c(), QLocale(QLocale::Polish, QLocale::Poland)}) {
        SCOPED_TRACE(locale.name().toStdString());
        const auto run =
            RunTrevalo({"export", series, "--csv", csv}, {"LC_ALL=" + locale.name() + ".UTF-8"});
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();

        // The program's export of the file it opened.
        const QString copy = scratch.filePath("copy.ser");
        QFile::remove(copy);
        QFile::copy(series, copy);
        Pomiar::MeasurementStore store(context);
        store.SetLocale(locale);
        store.OtworzMagazyn();
        Pomiar::MeasurementStore::KompaktujBaze(copy);
        store.OtworzBaze(copy);
        const QString expected = scratch.filePath("expected.csv");
        QFile::remove(expected);
        // Its captions from the language file of the settings written above.
        Pomiar::ProgramContext program;
        program.programFolder = ProgramFolder();
        program.settings.languageFileName = "English.lag";
        Pomiar::SeriesFile::EksportCSV(
            store.Bound(), expected,
            [&program](const QString& column) { return Pomiar::ExportCaption(program, column); },
            locale);
        EXPECT_EQ(TestFiles::ReadFile(csv), TestFiles::ReadFile(expected));
        EXPECT_TRUE(TestFiles::ReadFile(csv).startsWith("No.;Date;Time;"));
    }
}

// The journal's line after the rows comes with --journal or the setting,
// never by default.
TEST_F(SeriesVerbs, ExportEndsWithTheJournalLineOnlyWhenAsked) {
    const QString series = SavedSeries({12.3456, 0.0001});
    Pomiar::SeriesJournal::Verification verified;
    {
        Pomiar::Database file(series, Pomiar::Database::Journal::Rollback,
                              Pomiar::Database::Access::ReadOnly);
        verified = Pomiar::SeriesJournal::Verify(file);
    }
    ASSERT_EQ(verified.state, Pomiar::SeriesJournal::Verification::State::Verified);
    const QRegularExpression trailer(
        QString(
            "\\r\\n# journal: station 1, user %1, exported "
            "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d [+-]\\d\\d:\\d\\d, %2 rows, head %3\\r\\n$")
            .arg(QRegularExpression::escape(Pomiar::SeriesJournal::Author::Here("1").user))
            .arg(verified.rows)
            .arg(QString::fromLatin1(verified.head.toHex().left(16))));
    const QByteArray settingOff = "[ustawienia]\r\nlanguage=English.lag\r\n";
    const QByteArray settingOn = settingOff + "[EXPORT]\r\njournalTrailer=True\r\n";
    struct Case {
        QByteArray settings;
        bool flag;
        bool trailer;
    };
    const QString csv = TestEnvironment::Root() + "/journal.csv";
    for (const Case& c : {Case{settingOff, false, false}, Case{settingOff, true, true},
                          Case{settingOn, false, true}}) {
        SCOPED_TRACE(c.settings.toStdString() + (c.flag ? " --journal" : ""));
        WriteSettings(c.settings);
        QStringList arguments{"export", series, "--csv", csv};
        if (c.flag)
            arguments << "--journal";
        const auto run = RunTrevalo(arguments);
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        const QString written = QString::fromLatin1(TestFiles::ReadFile(csv));
        EXPECT_EQ(written.contains(trailer), c.trailer) << written.toStdString();
        EXPECT_EQ(written.count(u'#'), c.trailer ? 1 : 0);
        EXPECT_EQ(written.count("\r\n"), 3 + (c.trailer ? 1 : 0)) << "header, two rows";
    }
}

TEST_F(SeriesVerbs, FilesThatAreNoSeriesAreFileErrors) {
    const QString notSeries = TestEnvironment::Root() + "/notes.ser";
    TestFiles::WriteFile(notSeries, "just text\n");
    for (const QStringList& arguments :
         QList<QStringList>{{"stats", notSeries},
                            {"stats", TestEnvironment::Root() + "/missing.ser"},
                            {"export", notSeries, "--csv", TestEnvironment::Root() + "/x.csv"}}) {
        const auto run = RunTrevalo(arguments);
        EXPECT_EQ(run.exitCode, 5) << arguments.join(' ').toStdString();
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_FALSE(run.err.isEmpty());
    }
    const QString series = SavedSeries({1.0, 2.0});
    const auto unwritable =
        RunTrevalo({"export", series, "--csv", TestEnvironment::Root() + "/no/such/dir/x.csv"});
    EXPECT_EQ(unwritable.exitCode, 5);
}

// A failed export leaves an earlier CSV of the target name as it was, and
// names the file at fault: the damaged series, or the CSV that cannot be
// written.
TEST_F(SeriesVerbs, FailedExportKeepsTheOldCsvAndNamesTheFileAtFault) {
    const QString sound = TestEnvironment::Root() + "/sound.ser";
    QFile::remove(sound);
    ASSERT_TRUE(QFile::copy(SavedSeries({1.0}), sound));
    const QString damaged = SavedSeries(std::vector<double>(3000, 12.5));
    {
        // Every page after the first (the schema) overwritten.
        QFile file(damaged);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        const qint64 pageSize = 4096;
        ASSERT_GT(file.size(), 4 * pageSize);
        file.seek(pageSize);
        file.write(QByteArray(file.size() - pageSize, '\xA5'));
    }
    const QString csv = TestEnvironment::Root() + "/older.csv";
    const QString unwritable = TestEnvironment::Root() + "/no/such/folder/x.csv";
    struct Case {
        QString series;
        QString csv;
        QString atFault;
    };
    for (const Case& export_ : {Case{damaged, csv, damaged}, Case{sound, unwritable, unwritable}}) {
        SCOPED_TRACE(export_.csv.toStdString());
        TestFiles::WriteFile(csv, "an older export\r\n");
        const auto run = RunTrevalo({"export", export_.series, "--csv", export_.csv});
        EXPECT_EQ(run.exitCode, 5);
        EXPECT_TRUE(run.err.startsWith("trevalo: " + export_.atFault + ": "))
            << run.err.toStdString();
        EXPECT_EQ(run.err.count(".csv"), export_.atFault == export_.csv ? 1 : 0)
            << run.err.toStdString();
        EXPECT_EQ(TestFiles::ReadFile(csv), "an older export\r\n");
        EXPECT_TRUE(QDir(TestEnvironment::Root())
                        .entryList({".trevalo-*"}, QDir::AllEntries | QDir::Hidden)
                        .isEmpty());
    }
}

// A saved series verifies; the same file changed behind the program's back
// does not, and the change is named.
TEST_F(SeriesVerbs, VerifyPassesAnUntouchedSeriesAndNamesAChange) {
    const QString file = SavedSeries({1.5, 2.5});
    auto verified = RunTrevalo({"verify", file});
    ASSERT_EQ(verified.exitCode, 0) << verified.err.toStdString();
    EXPECT_TRUE(verified.out.startsWith("verified: ")) << verified.out.toStdString();

    {
        Pomiar::Database series(file, Pomiar::Database::Journal::Rollback);
        series.Execute("UPDATE Pomiary SET Masa = Masa + 1 WHERE Lp = 1");
    }
    verified = RunTrevalo({"verify", file});
    EXPECT_EQ(verified.exitCode, 6);
    EXPECT_TRUE(verified.err.contains("Lp 1: the mass")) << verified.err.toStdString();
}

namespace {

QByteArray Sha256Of(const QString& path) {
    return QCryptographicHash::hash(TestFiles::ReadFile(path), QCryptographicHash::Sha256);
}

// A journal dropped from a changed file and started anew by the next touch
// does not make the file whole: its readings are told apart, exit 8.
TEST_F(SeriesVerbs, AStrippedJournalLeavesItsReadingsUnvouched) {
    const QString file = SavedSeries({1.5, 2.5, 3.5});
    {
        Pomiar::Database series(file, Pomiar::Database::Journal::Rollback);
        series.Execute("UPDATE Pomiary SET Masa = 9 WHERE Lp = 2");
        series.Execute("DROP TABLE journal");
        Pomiar::SeriesJournal::Append(series, Pomiar::SeriesJournal::Author::Here("1"),
                                      Pomiar::SeriesJournal::Event::SeriesOpened, "series.ser");
    }
    const auto verified = RunTrevalo({"verify", file});
    EXPECT_EQ(verified.exitCode, 8) << verified.err.toStdString();
    EXPECT_TRUE(verified.err.contains("NOT VOUCHED FOR: the first 3 readings"))
        << verified.err.toStdString();

    const QString csv = scratch.filePath("stripped.csv");
    const auto exported = RunTrevalo({"export", file, "--csv", csv, "--journal"});
    ASSERT_EQ(exported.exitCode, 0) << exported.err.toStdString();
    EXPECT_TRUE(TestFiles::ReadFile(csv).contains(
        "NOT VOUCHED FOR: 3 readings older than the journal\r\n"));
}

// Reading a file leaves it as it was, byte for byte, also in WAL mode with
// its log beside it; what is not a regular file is refused at once.
TEST_F(SeriesVerbs, VerifyWritesNothingAndRefusesAPipe) {
    const QString file = SavedSeries({1.5, 2.5});
    const QString copy = scratch.filePath("wal.ser");
    ASSERT_TRUE(QFile::copy(file, copy));
    // A connection left open keeps the log beside the file.
    Pomiar::Database writer(copy, Pomiar::Database::Journal::WriteAhead);
    writer.Execute("UPDATE Pomiary SET Opis = Opis WHERE Lp = 1");
    ASSERT_TRUE(QFile::exists(copy + "-wal"));
    const QByteArray before = Sha256Of(copy), log = Sha256Of(copy + "-wal");
    for (const char* verb : {"verify", "stats"}) {
        const auto run = RunTrevalo({verb, copy});
        EXPECT_EQ(run.exitCode, 0) << verb << ": " << run.err.toStdString();
        EXPECT_EQ(Sha256Of(copy), before) << verb;
        EXPECT_EQ(Sha256Of(copy + "-wal"), log) << verb;
    }

    const QString pipe = scratch.filePath("pipe.ser");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const auto refused = RunTrevalo({"verify", pipe});
    EXPECT_EQ(refused.exitCode, 5);
    EXPECT_TRUE(refused.err.contains("not a regular file")) << refused.err.toStdString();
}

// A cell holding a line end cannot forge a row of the export, whatever
// the journal says of the file.
TEST_F(SeriesVerbs, ExportQuotesACellThatWouldForgeALine) {
    const QString file = SavedSeries({1.5, 2.5});
    {
        Pomiar::Database series(file, Pomiar::Database::Journal::Rollback);
        series.Execute("UPDATE Pomiary SET status = '0' || char(13, 10) || "
                       "'3;2026-12-07;2026-12-07 10:00:02;2;99;g;3;1;0; ' WHERE Lp = 2");
    }
    EXPECT_EQ(RunTrevalo({"verify", file}).exitCode, 6);
    const QString csv = scratch.filePath("forged.csv");
    const auto exported = RunTrevalo({"export", file, "--csv", csv});
    ASSERT_EQ(exported.exitCode, 0) << exported.err.toStdString();
    const QByteArray written = TestFiles::ReadFile(csv);
    EXPECT_EQ(written.count("\r\n"), 4) << "the header, two rows and the quoted line end";
    EXPECT_TRUE(written.contains(";\"0\r\n3;2026-12-07;")) << written.toStdString();
}

} // namespace
