#include "Database.h"
#include "EventWait.h"
#include "FileLock.h"
#include "Glowna.h"
#include "INI.h"
#include "Mordal.h"
#include "PtyPair.h"
#include "Raport.h"
#include "ScratchMount.h"
#include "ScriptedDialogs.h"
#include "SeriesFile.h"
#include "SeriesJournal.h"
#include "StartedProgram.h"
#include "StatisticsPanel.h"
#include "TestFiles.h"
#include "Wykres.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QRegularExpression>
#include <QTableView>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace Pomiar;

namespace {

// The File menu's commands and the descriptions, with the user's answers
// and file choices scripted.
class SeriesCommandsTest : public StartedProgram {
protected:
    SeriesCommandsTest() { balance.Publish(1); }
    ~SeriesCommandsTest() override { window.reset(); }

    void SetUp() override {
        SetLink("2", "1");
        ASSERT_TRUE(Start());
        dialogs.Clear();
    }

    void Read(const char* value) {
        ASSERT_TRUE(Reply(balance, QByteArray("S     ") + value + " g  \r\n"));
    }
    int Rows() { return window->Store().RowCount(); }
    QString File(const QString& name) { return folder.filePath(name); }
    int RowsIn(const QString& path) {
        return Database(path).Scalar("select count(*) from pomiary").toInt();
    }
    QString JournalShown() {
        return window->findChild<QLabel*>(QStringLiteral("journalStatus"))->text();
    }
    // The verdict on the journal of the file just opened, once it is shown.
    QString Verdict() {
        EXPECT_TRUE(WaitUntil([this] { return !window->Series().JournalChecking(); }, 20000));
        return JournalShown();
    }
    // The SeriesOpened entries of a file's journal, read without writing.
    int OpenedEntries(const QString& path) {
        Database file(path, Database::Journal::Rollback, Database::Access::ReadOnly);
        return file
            .Scalar("select count(*) from journal where event = ?",
                    {int(SeriesJournal::Event::SeriesOpened)})
            .toInt();
    }

    const QString checking = QStringLiteral("Dziennik serii: sprawdzanie...");

    PtyPair balance;
};

} // namespace

TEST_F(SeriesCommandsTest, SavingWritesTheSeriesFileAndStartsANewSeries) {
    Read("12.5000");
    dialogs.FileNext(File("pierwsza"), "Pliki wazen (*.ser)");
    ASSERT_TRUE(window->Series().Save());
    const QString saved = File("pierwsza.ser");
    ASSERT_TRUE(QFile::exists(saved));
    Database file(saved);
    EXPECT_EQ(file.Scalar("select count(*) from Pomiary").toInt(), 1);
    EXPECT_EQ(file.Scalar("select status from Pomiary").toString(), "0");
    EXPECT_DOUBLE_EQ(file.Scalar("select Masa from Pomiary").toDouble(), 12.5);
    EXPECT_EQ(Rows(), 0) << "saving ends the series";
    const auto asked = dialogs.CallsOf(ScriptedDialogs::Kind::SaveFileName);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].title, context.Msg(23));
    EXPECT_EQ(asked[0].folder, context.programFolder);
}

TEST_F(SeriesCommandsTest, CancelledSaveDialogKeepsEverything) {
    Read("1.0000");
    EXPECT_FALSE(window->Series().Save());
    EXPECT_EQ(Rows(), 1);
}

TEST_F(SeriesCommandsTest, CancelToTheSaveQuestionChangesNothing) {
    Read("1.0000");
    dialogs.AnswerNext(MsgAnswer::Cancel);
    window->Commands().RunCommand(Command::Nowa);
    EXPECT_EQ(dialogs.Messages(), QStringList{context.Msg(4)});
    EXPECT_EQ(Rows(), 1);
    EXPECT_TRUE(window->Store().WorkingDatabaseBound());
}

TEST_F(SeriesCommandsTest, SaveThatDoesNotCompleteKeepsTheSeriesOnNew) {
    Read("1.0000");
    dialogs.AnswerNext(MsgAnswer::Yes); // save first, then cancel the file dialog
    window->Commands().RunCommand(Command::Nowa);
    EXPECT_EQ(Rows(), 1);
}

TEST_F(SeriesCommandsTest, CancelledOpenStillMarksTheSeriesFile) {
    window->Commands().RunCommand(Command::Otworz);
    EXPECT_TRUE(window->Series().SeriesFileFlag());
    Read("1.0000");
    dialogs.AnswerNext(MsgAnswer::No);
    window->Commands().RunCommand(Command::Nowa);
    EXPECT_EQ(dialogs.Messages().last(), context.Msg(29));
    EXPECT_EQ(Rows(), 1);
    dialogs.AnswerNext(MsgAnswer::Yes);
    window->Commands().RunCommand(Command::Nowa);
    EXPECT_EQ(Rows(), 0);
    EXPECT_FALSE(window->Series().SeriesFileFlag());
}

TEST_F(SeriesCommandsTest, ReopenedSeriesTakesFurtherReadings) {
    Read("1.0000");
    dialogs.FileNext(File("seria.ser"), "Pliki wazen (*.ser)");
    ASSERT_TRUE(window->Series().Save());
    dialogs.FileNext(File("seria.ser"));
    window->Commands().RunCommand(Command::Otworz);
    ASSERT_EQ(Rows(), 1);
    Read("2.0000");
    Read("3.0000");
    EXPECT_EQ(Rows(), 3);
    EXPECT_EQ(RowsIn(File("seria.ser")), 3);
    EXPECT_EQ(window->Store().Model().Row(2).lp, 3);
}

// Opening a series file tells in the status bar what its journal says, and
// still shows a file that does not verify; the reopened file's further
// readings keep it verifying.
TEST_F(SeriesCommandsTest, OpeningASeriesFileShowsWhetherItsJournalVerifies) {
    Read("1.0000");
    Read("2.0000");
    dialogs.FileNext(File("seria.ser"), "Pliki wazen (*.ser)");
    ASSERT_TRUE(window->Series().Save());
    const auto journalShown = [this] { return JournalShown(); };
    dialogs.FileNext(File("seria.ser"));
    window->Commands().RunCommand(Command::Otworz);
    EXPECT_TRUE(Verdict().startsWith("Dziennik serii: zweryfikowany"))
        << journalShown().toStdString();
    Read("3.0000");
    dialogs.AnswerNext(MsgAnswer::Yes);
    window->Commands().RunCommand(Command::Nowa);
    EXPECT_TRUE(journalShown().isEmpty()) << "a new series is not the file";
    {
        Database file(File("seria.ser"), Database::Journal::Rollback);
        EXPECT_EQ(SeriesJournal::Verify(file).state, SeriesJournal::Verification::State::Verified);
        file.Execute("UPDATE Pomiary SET Masa = 9 WHERE Lp = 2");
    }
    dialogs.Clear();
    dialogs.FileNext(File("seria.ser"));
    window->Commands().RunCommand(Command::Otworz);
    EXPECT_EQ(Rows(), 3);
    EXPECT_TRUE(Verdict().contains("NIEZWERYFIKOWANY: reading Lp 2: the mass"))
        << journalShown().toStdString();
}

// The rows are there before the journal is checked, and the file stays as
// it came until the verdict; then the journal records the open.
TEST_F(SeriesCommandsTest, TheRowsShowBeforeTheVerdictAndTheOpenIsJournaledAfterIt) {
    for (const char* value : {"1.0000", "2.0000", "3.0000"})
        Read(value);
    const QString path = File("seria.ser");
    dialogs.FileNext(path, "Pliki wazen (*.ser)");
    ASSERT_TRUE(window->Series().Save());
    const QByteArray saved = TestFiles::ReadFile(path);
    dialogs.FileNext(path);
    window->Commands().RunCommand(Command::Otworz);
    EXPECT_EQ(Rows(), 3);
    EXPECT_EQ(window->Grid()->model()->rowCount(), 3);
    EXPECT_EQ(JournalShown(), checking);
    EXPECT_TRUE(window->Series().JournalChecking());
    window->Grid()->repaint();
    EXPECT_EQ(TestFiles::ReadFile(path), saved) << "written before the rows were shown";
    EXPECT_TRUE(Verdict().startsWith("Dziennik serii: zweryfikowany"))
        << JournalShown().toStdString();
    EXPECT_EQ(OpenedEntries(path), 1);
    // The entry of the open keeps the file verifying.
    Read("4.0000");
    Database file(path, Database::Journal::Rollback, Database::Access::ReadOnly);
    const auto verified = SeriesJournal::Verify(file);
    EXPECT_EQ(verified.state, SeriesJournal::Verification::State::Verified)
        << verified.where.toStdString();
}

// Compacting a file is left until its verdict is shown, and only a file
// with free pages is compacted at all.
TEST_F(SeriesCommandsTest, AFileIsCompactedAfterTheVerdictOnlyWhenItHasSpaceToGiveBack) {
    Read("1.0000");
    Read("2.0000");
    const QString path = File("seria.ser");
    dialogs.FileNext(path, "Pliki wazen (*.ser)");
    ASSERT_TRUE(window->Series().Save());
    const auto freePages = [&path] {
        Database file(path, Database::Journal::Rollback, Database::Access::ReadOnly);
        return file.Scalar("PRAGMA freelist_count").toInt();
    };
    {
        Database file(path, Database::Journal::Rollback);
        file.Execute("CREATE TABLE wypelnienie (x)");
        for (int i = 0; i < 20; ++i)
            file.Execute("INSERT INTO wypelnienie VALUES (zeroblob(8000))");
        file.Execute("DROP TABLE wypelnienie");
    }
    ASSERT_GT(freePages(), 0);
    dialogs.FileNext(path);
    window->Commands().RunCommand(Command::Otworz);
    EXPECT_GT(freePages(), 0) << "compacted before the rows were shown";
    EXPECT_TRUE(Verdict().startsWith("Dziennik serii: zweryfikowany"))
        << JournalShown().toStdString();
    EXPECT_EQ(freePages(), 0);
    EXPECT_EQ(Rows(), 2);
    Read("3.0000");
    EXPECT_EQ(RowsIn(path), 3);
    EXPECT_EQ(window->Store().Model().Row(2).lp, 3);
}

// A check still running is stopped by whatever leaves its file: the next
// file shows its own verdict only, a new series none; the file left still
// gets the entry of its open.
TEST_F(SeriesCommandsTest, LeavingAFileWhileItsJournalIsCheckedShowsNoVerdictOfIt) {
    Read("1.0000");
    Read("2.0000");
    const QString changed = File("zmieniona.ser");
    dialogs.FileNext(changed, "Pliki wazen (*.ser)");
    ASSERT_TRUE(window->Series().Save());
    Read("5.0000");
    const QString genuine = File("seria.ser");
    dialogs.FileNext(genuine, "Pliki wazen (*.ser)");
    ASSERT_TRUE(window->Series().Save());
    Database(changed, Database::Journal::Rollback)
        .Execute("UPDATE Pomiary SET Masa = 9 WHERE Lp = 2");

    dialogs.Clear();
    dialogs.FileNext(changed);
    window->Commands().RunCommand(Command::Otworz);
    EXPECT_EQ(JournalShown(), checking);
    dialogs.AnswerNext(MsgAnswer::Yes); // end the series file
    dialogs.FileNext(genuine);
    window->Commands().RunCommand(Command::Otworz);
    EXPECT_EQ(window->Store().BoundPath(), genuine);
    EXPECT_EQ(JournalShown(), checking);
    bool staleShown = false;
    EXPECT_TRUE(WaitUntil(
        [&] {
            staleShown = staleShown || JournalShown().contains("NIEZWERYFIKOWANY");
            return !window->Series().JournalChecking();
        },
        20000));
    RunEventsFor(100);
    EXPECT_FALSE(staleShown);
    EXPECT_TRUE(JournalShown().startsWith("Dziennik serii: zweryfikowany"))
        << JournalShown().toStdString();
    EXPECT_EQ(OpenedEntries(changed), 1);

    // A new series while the check runs: no verdict at all.
    dialogs.FileNext(changed);
    dialogs.AnswerNext(MsgAnswer::Yes);
    window->Commands().RunCommand(Command::Otworz);
    ASSERT_EQ(window->Store().BoundPath(), changed);
    dialogs.AnswerNext(MsgAnswer::Yes);
    window->Commands().RunCommand(Command::Nowa);
    EXPECT_TRUE(window->Store().WorkingDatabaseBound());
    EXPECT_FALSE(window->Series().JournalChecking());
    RunEventsFor(200);
    EXPECT_TRUE(JournalShown().isEmpty()) << JournalShown().toStdString();
    EXPECT_EQ(OpenedEntries(changed), 2);
}

TEST_F(SeriesCommandsTest, SavingOverTheOpenSeriesFileOnlyCompactsIt) {
    Read("1.0000");
    dialogs.FileNext(File("seria.ser"), "Pliki wazen (*.ser)");
    ASSERT_TRUE(window->Series().Save());
    dialogs.FileNext(File("seria.ser"));
    window->Commands().RunCommand(Command::Otworz);
    Read("2.0000");
    dialogs.Clear();
    dialogs.FileNext(File("seria.ser"), "Pliki wazen (*.ser)");
    EXPECT_TRUE(window->Series().Save());
    EXPECT_TRUE(dialogs.Messages().isEmpty());
    EXPECT_EQ(RowsIn(File("seria.ser")), 2);
}

TEST_F(SeriesCommandsTest, FileInUseElsewhereIsRefusedAndNothingChanges) {
    const QString target = File("zajety.ser");
    Read("1.0000");
    dialogs.FileNext(target, "Pliki wazen (*.ser)");
    ASSERT_TRUE(window->Series().Save());
    const QByteArray before = TestFiles::ReadFile(target);
    Read("5.0000");
    FileLock other(target, FileLock::Mode::Shared);
    dialogs.FileNext(target, "Pliki wazen (*.ser)");
    EXPECT_FALSE(window->Series().Save());
    EXPECT_EQ(dialogs.Messages().last(), context.Msg(8));
    EXPECT_EQ(dialogs.Calls().back().title, context.Msg(46));
    EXPECT_EQ(Rows(), 1);
    EXPECT_EQ(TestFiles::ReadFile(target), before);
}

TEST_F(SeriesCommandsTest, FastExportAppendsAndStartsANewSeries) {
    context.settings.fastExportEnabled = true;
    context.settings.fastExportFileName = "szybki";
    for (int round = 0; round < 2; ++round) {
        Read("1.0000");
        Read("2.0000");
        ASSERT_TRUE(window->Series().Save());
        EXPECT_EQ(Rows(), 0);
    }
    const QByteArray csv = TestFiles::ReadFile(File("szybki.csv"));
    EXPECT_EQ(csv.count("\r\n"), 5) << "one header and four readings";
    EXPECT_FALSE(csv.endsWith("\r\n\r\n"));
    EXPECT_TRUE(dialogs.CallsOf(ScriptedDialogs::Kind::SaveFileName).empty());
    EXPECT_TRUE(dialogs.CallsOf(ScriptedDialogs::Kind::OpenWithDesktop).empty());
}

TEST_F(SeriesCommandsTest, ExportChosenInTheDialogOpensTheEditorAndKeepsTheSeries) {
    Read("1.0000");
    dialogs.FileNext(File("wyniki"), "Export CSV[;] (*.csv)");
    ASSERT_TRUE(window->Series().Save());
    EXPECT_EQ(Rows(), 1);
    const auto opened = dialogs.CallsOf(ScriptedDialogs::Kind::OpenWithDesktop);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].text, File("wyniki.csv"));
    EXPECT_EQ(TestFiles::ReadFile(File("wyniki.csv")).count("\r\n"), 2);
}

// With the setting on, either export ends with the journal's line as it
// stood before the export itself was recorded.
TEST_F(SeriesCommandsTest, WithTheJournalSettingEitherExportEndsWithTheJournalLine) {
    context.settings.journalTrailer = true;
    context.settings.fastExportFileName = "szybki";
    for (const bool fast : {false, true}) {
        SCOPED_TRACE(fast ? "fast export" : "chosen file");
        context.settings.fastExportEnabled = fast;
        Read("1.0000");
        const SeriesJournal::Verification verified = SeriesJournal::Verify(window->Store().Bound());
        ASSERT_EQ(verified.state, SeriesJournal::Verification::State::Verified);
        if (!fast)
            dialogs.FileNext(File("wyniki"), "Export CSV[;] (*.csv)");
        ASSERT_TRUE(window->Series().Save());
        const QString csv =
            QString::fromLatin1(TestFiles::ReadFile(File(fast ? "szybki.csv" : "wyniki.csv")));
        EXPECT_TRUE(csv.contains(QRegularExpression(
            QString("\r\n# journal: station \\d+, user [^,]+, exported [^,]+, %1 rows, head "
                    "%2\r\n$")
                .arg(verified.rows)
                .arg(QString::fromLatin1(verified.head.toHex().left(16))))))
            << csv.toStdString();
        EXPECT_EQ(csv.count(u'#'), 1);
    }
}

TEST_F(SeriesCommandsTest, ClosingWithACancelledSaveKeepsTheProgram) {
    Read("1.0000");
    dialogs.AnswerNext(MsgAnswer::Yes); // save, then cancel the file dialog
    window->close();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(Rows(), 1);
}

TEST_F(SeriesCommandsTest, DescriptionsAreEditedAndKept) {
    Read("1.0000");
    SeriesModel& model = window->Store().Model();
    dialogs.InputNext(QString("  probka A  "));
    window->Series().EditDescription(0);
    EXPECT_EQ(model.Row(0).opis, "  probka A  ");
    const auto asked = dialogs.CallsOf(ScriptedDialogs::Kind::InputBox);
    EXPECT_EQ(asked[0].title, context.Msg(48));
    EXPECT_EQ(asked[0].text, context.Msg(31));
    EXPECT_EQ(asked[0].defaultText, "") << "no description yet, its blank trimmed";

    dialogs.InputNext(std::nullopt);
    window->Series().EditDescription(0);
    EXPECT_EQ(model.Row(0).opis, "  probka A  ") << "Cancel changes nothing";

    dialogs.InputNext(QString("probka A"));
    window->Series().EditDescription(0);
    EXPECT_EQ(model.Row(0).opis, "probka A") << "the unchanged default, trimmed";

    dialogs.InputNext(QString(51, 'x'));
    window->Series().EditDescription(0);
    EXPECT_EQ(model.Row(0).opis, "probka A") << "too long for the column: refused";

    dialogs.InputNext(QString());
    window->Series().EditDescription(0);
    EXPECT_EQ(model.Row(0).opis, " ");
    EXPECT_EQ(window->Store().Bound().Scalar("select Opis from pomiary").toString(), " ");
}

TEST_F(SeriesCommandsTest, DescriptionPromptFollowsOnlyStoredReadings) {
    context.settings.pomiarShowNote = true;
    window->Panel()->ChMax->click();
    window->Panel()->txtMax->setText("5");
    emit window->Panel()->txtMax->editingFinished();
    Read("9.0000");
    EXPECT_TRUE(dialogs.CallsOf(ScriptedDialogs::Kind::InputBox).empty());
    dialogs.InputNext(QString("B"));
    Read("1.0000");
    // Asked once the reading's delivery has returned.
    ASSERT_TRUE(
        WaitUntil([&] { return dialogs.CallsOf(ScriptedDialogs::Kind::InputBox).size() == 1u; }));
    EXPECT_EQ(window->Store().Model().Row(0).opis, "B");
}

TEST_F(SeriesCommandsTest, OpenChartFollowsEveryNewReading) {
    Read("1.0000");
    window->Commands().RunCommand(Command::Wykres);
    EXPECT_EQ(window->Windows().ChartWindow(), nullptr) << "one reading is too few";
    EXPECT_EQ(dialogs.Messages().last(), context.Msg(3));
    Read("2.0000");
    window->Commands().RunCommand(Command::Wykres);
    ASSERT_NE(window->Windows().ChartWindow(), nullptr);
    const int before = window->Windows().ChartWindow()->MassSeries()->count();
    Read("3.0000");
    EXPECT_GT(window->Windows().ChartWindow()->MassSeries()->count(), before);
    dialogs.AnswerNext(MsgAnswer::No);
    window->StartCommand();
    EXPECT_TRUE(!window->Windows().ChartWindow() || !window->Windows().ChartWindow()->isVisible())
        << "Start closes the chart";
}

TEST_F(SeriesCommandsTest, ReportWindowCapturesWhileOpenAndPrintoutLinesAreNoReadings) {
    Read("1.0000");
    bool captured = false;
    dialogs.WhileOpen<Raport>([&](Raport& raport) {
        EXPECT_TRUE(raport.Capturing());
        // The blank line is no frame of its own; the line after it is.
        for (const QByteArray& line :
             {QByteArray("Kalibracja\r\n"),
              QByteArray("\r\nTemperatura: 22.5 \xf8"
                         "C\r\n"),
              QByteArray("Masa wzorca: 200.0000 g\r\n"), QByteArray("    2.0000 g\r\n")})
            EXPECT_TRUE(Reply(balance, line)) << line.toStdString();
        captured = raport.findChild<QLabel*>("lblRaport")->text().contains("Kalibracja");
    });
    window->Commands().RunCommand(Command::Raport);
    EXPECT_TRUE(captured);
    EXPECT_EQ(Rows(), 2) << "only the weighing is a reading, not the report's lines";
    EXPECT_DOUBLE_EQ(window->Store().Values().back(), 2.0);
    ASSERT_TRUE(Reply(balance, "Kalibracja\r\n"));
    EXPECT_EQ(Rows(), 2);
}

TEST_F(SeriesCommandsTest, ANameThatGetsItsEndingIsNotReplacedUnasked) {
    for (const char* value : {"1.0000", "2.0000"})
        Read(value);
    const QString existing = File("seria 1.ser");
    dialogs.FileNext(existing, "Pliki wazen (*.ser)");
    ASSERT_TRUE(window->Series().Save());
    const QByteArray saved = TestFiles::ReadFile(existing);
    Read("3.0000");

    dialogs.Clear();
    dialogs.FileNext(File("seria 1"), "Pliki wazen (*.ser)");
    dialogs.AnswerNext(MsgAnswer::No);
    EXPECT_FALSE(window->Series().Save());
    ASSERT_EQ(dialogs.Messages().size(), 1);
    EXPECT_TRUE(dialogs.Messages()[0].contains(existing));
    EXPECT_EQ(dialogs.Calls().back().buttons, MsgButtons::YesNo);
    EXPECT_EQ(TestFiles::ReadFile(existing), saved);
    EXPECT_EQ(Rows(), 1);

    dialogs.FileNext(File("seria 1"), "Pliki wazen (*.ser)");
    dialogs.AnswerNext(MsgAnswer::Yes);
    EXPECT_TRUE(window->Series().Save());
    EXPECT_EQ(RowsIn(existing), 1);

    // The dialog itself asks about a name typed with its ending, and about
    // a new file nobody asks.
    Read("4.0000");
    dialogs.Clear();
    dialogs.FileNext(existing, "Pliki wazen (*.ser)");
    EXPECT_TRUE(window->Series().Save());
    Read("5.0000");
    dialogs.FileNext(File("nowa"), "Pliki wazen (*.ser)");
    EXPECT_TRUE(window->Series().Save());
    EXPECT_TRUE(dialogs.Messages().isEmpty());
    EXPECT_TRUE(dialogs.QueuesEmpty());
}

TEST_F(SeriesCommandsTest, AFileThatIsNoSeriesFileIsNeitherOpenedNorWritten) {
    for (const char* value : {"1.0000", "2.0000"})
        Read(value);
    TestFiles::WriteFile(File("pusty.ser"), "");
    TestFiles::WriteFile(File("obcy.ser"), "Lp;Masa\r\n1;2\r\n");
    {
        Database other(File("inna.ser"));
        other.Execute("CREATE TABLE pomiary (x)");
    }
    for (const char* name : {"pusty.ser", "obcy.ser", "inna.ser", "brak.ser"}) {
        const QString path = File(name);
        const QByteArray before = TestFiles::ReadFile(path);
        dialogs.Clear();
        dialogs.AnswerNext(MsgAnswer::No); // the readings stay unsaved
        dialogs.FileNext(path);
        window->Commands().RunCommand(Command::Otworz);
        ASSERT_EQ(dialogs.Messages().size(), 2) << name;
        EXPECT_TRUE(dialogs.Messages()[1].contains(path)) << name;
        EXPECT_EQ(dialogs.Calls().back().title, context.Msg(46));
        EXPECT_EQ(TestFiles::ReadFile(path), before) << name;
        EXPECT_FALSE(QFile::exists(path + "-journal") || QFile::exists(path + "-wal")) << name;
        EXPECT_EQ(Rows(), 2) << name;
        EXPECT_TRUE(window->Store().WorkingDatabaseBound()) << name;
        EXPECT_FALSE(window->Series().SeriesFileFlag()) << name;
    }
    EXPECT_FALSE(QFile::exists(File("brak.ser")));
    // The series goes on and is offered a save.
    Read("3.0000");
    EXPECT_EQ(RowsIn(MeasurementStore::WorkingDatabasePath(context.programFolder)), 3);
    dialogs.AnswerNext(MsgAnswer::Cancel);
    window->Commands().RunCommand(Command::Nowa);
    EXPECT_EQ(dialogs.Messages().last(), context.Msg(4));

    // A bound series file stays bound.
    dialogs.AnswerNext(MsgAnswer::No);
    window->Commands().RunCommand(Command::Nowa);
    Read("1.0000");
    dialogs.FileNext(File("seria.ser"), "Pliki wazen (*.ser)");
    ASSERT_TRUE(window->Series().Save());
    dialogs.FileNext(File("seria.ser"));
    window->Commands().RunCommand(Command::Otworz);
    dialogs.AnswerNext(MsgAnswer::Yes); // end the series
    dialogs.FileNext(File("pusty.ser"));
    window->Commands().RunCommand(Command::Otworz);
    EXPECT_TRUE(window->Series().SeriesFileFlag());
    EXPECT_EQ(window->Store().BoundPath(), File("seria.ser"));
    Read("2.0000");
    EXPECT_EQ(RowsIn(File("seria.ser")), 2);
}

TEST_F(SeriesCommandsTest, ABoundSeriesFileIsWholeAfterEveryReadingSoThatACopyHoldsThemAll) {
    Read("1.0000");
    dialogs.FileNext(File("seria.ser"), "Pliki wazen (*.ser)");
    ASSERT_TRUE(window->Series().Save());
    dialogs.FileNext(File("seria.ser"));
    window->Commands().RunCommand(Command::Otworz);
    for (const char* value : {"2.0000", "3.0000", "4.0000"})
        Read(value);
    EXPECT_FALSE(QFile::exists(File("seria.ser-wal")));
    ASSERT_TRUE(QDir().mkpath(File("kopia")));
    ASSERT_TRUE(QFile::copy(File("seria.ser"), File("kopia/seria.ser")));
    const QByteArray copy = TestFiles::ReadFile(File("kopia/seria.ser"));
    ASSERT_GT(copy.size(), 100);
    EXPECT_EQ(int(copy[18]), 1) << "a rollback-journal file, not a WAL one";
    EXPECT_EQ(int(copy[19]), 1);
    Database readOnly(File("kopia/seria.ser"), Database::Journal::Rollback,
                      Database::Access::ReadOnly);
    EXPECT_EQ(readOnly.Scalar("select count(*) from pomiary").toInt(), 4);
    EXPECT_DOUBLE_EQ(readOnly.Scalar("select Masa from pomiary where Lp = 4").toDouble(), 4.0);
}

TEST_F(SeriesCommandsTest, AReadOnlySeriesFileIsShownAndLaterReadingsGoToTheWorkingSeries) {
    for (const char* value : {"1.0000", "2.0000"})
        Read(value);
    ASSERT_TRUE(QDir().mkpath(File("nosnik")));
    dialogs.FileNext(File("nosnik/seria.ser"), "Pliki wazen (*.ser)");
    ASSERT_TRUE(window->Series().Save());
    auto media = ScratchMount::ReadOnlyFolder(File("nosnik"));
    if (!media)
        GTEST_SKIP() << "no read-only media can be made here";
    const QString path = media->Path() + "/seria.ser";
    const QByteArray before = TestFiles::ReadFile(path);
    dialogs.Clear();
    dialogs.FileNext(path);
    window->Commands().RunCommand(Command::Otworz);
    ASSERT_EQ(dialogs.Messages().size(), 1);
    EXPECT_TRUE(dialogs.Messages()[0].contains(path));
    EXPECT_EQ(dialogs.Calls().back().icon, MsgIcon::Information);
    EXPECT_EQ(Rows(), 2);
    EXPECT_TRUE(window->Store().WorkingDatabaseBound());
    EXPECT_FALSE(window->Series().SeriesFileFlag());
    // Checked where it lies, read only.
    EXPECT_TRUE(Verdict().startsWith("Dziennik serii: zweryfikowany"))
        << JournalShown().toStdString();

    Read("3.0000");
    EXPECT_EQ(Rows(), 3);
    EXPECT_EQ(window->Store().Model().Row(2).lp, 3);
    EXPECT_EQ(RowsIn(MeasurementStore::WorkingDatabasePath(context.programFolder)), 3);
    EXPECT_EQ(TestFiles::ReadFile(path), before);
    dialogs.AnswerNext(MsgAnswer::Cancel);
    window->Commands().RunCommand(Command::Nowa);
    EXPECT_EQ(dialogs.Messages().last(), context.Msg(4)) << "the readings are offered a save";
}

TEST_F(SeriesCommandsTest, AFailedSaveNamesTheChosenFileAndTheSystemsReason) {
    ASSERT_TRUE(QDir().mkpath(File("nosnik")));
    auto media = ScratchMount::ReadOnlyFolder(File("nosnik"));
    if (!media)
        GTEST_SKIP() << "no read-only media can be made here";
    const QString reason = QString::fromLocal8Bit(std::strerror(::geteuid() == 0 ? EROFS : EACCES));
    Read("1.0000");
    for (const char* filter : {"Pliki wazen (*.ser)", "Export CSV[;] (*.csv)"}) {
        const QString chosen = media->Path() + "/wyniki";
        dialogs.Clear();
        dialogs.FileNext(chosen, filter);
        EXPECT_FALSE(window->Series().Save());
        ASSERT_EQ(dialogs.Messages().size(), 1) << filter;
        const QString shown = dialogs.Messages()[0];
        EXPECT_TRUE(shown.contains(SeriesFile::WithEnding(chosen, filter))) << shown.toStdString();
        EXPECT_TRUE(shown.contains(reason)) << shown.toStdString();
        EXPECT_FALSE(shown.contains(".part")) << shown.toStdString();
        EXPECT_FALSE(shown.contains("Error 0")) << shown.toStdString();
        EXPECT_EQ(dialogs.Calls().back().title, context.Msg(46));
    }
    EXPECT_EQ(Rows(), 1);
}

TEST_F(SeriesCommandsTest, ReadingsWaitingForAFullDiskAreNotDroppedUnasked) {
    QTemporaryDir root;
    auto disk = ScratchMount::Tmpfs(root.filePath("dysk"), 512 * 1024);
    if (!disk)
        GTEST_SKIP() << "no small file system can be mounted here";
    Read("1.0000");
    dialogs.FileNext(disk->Path() + "/seria.ser", "Pliki wazen (*.ser)");
    ASSERT_TRUE(window->Series().Save());
    dialogs.FileNext(disk->Path() + "/seria.ser");
    window->Commands().RunCommand(Command::Otworz);
    ASSERT_TRUE(window->Series().SeriesFileFlag());
    MeasurementStore& store = window->Store();
    SeriesCommands& commands = window->Series();
    ScratchMount::Fill(disk->Path());
    dialogs.Clear();
    for (int i = 0; i < 400 && store.WaitingReadings() == 0; ++i)
        Read("2.0000");
    ASSERT_GT(store.WaitingReadings(), 0) << "the disk never filled";
    Read("3.0000");
    ASSERT_EQ(dialogs.Messages().size(), 1) << "told once";
    EXPECT_TRUE(dialogs.Messages()[0].contains(" 1\n")) << "one reading waits";

    const int rows = Rows();
    dialogs.AnswerNext(MsgAnswer::No);
    EXPECT_FALSE(commands.ConfirmDiscardWaiting());
    EXPECT_TRUE(dialogs.Messages().last().contains(QString::number(store.WaitingReadings())));

    ASSERT_TRUE(QFile::remove(disk->Path() + "/filler"));
    EXPECT_TRUE(commands.ConfirmDiscardWaiting()) << "stored now, nothing to ask";
    EXPECT_EQ(Rows(), rows + 2);
    EXPECT_EQ(RowsIn(disk->Path() + "/seria.ser"), rows + 2);
}

namespace {

// Starts after a run that ended without the clean close (killed, a power
// cut) and left three readings.
class LastRunTest : public SeriesCommandsTest {
protected:
    // The running program takes three readings and is killed.
    void KilledAfterThreeReadings() {
        window->Store().NowaSeria();
        for (const char* value : {"1.0000", "2.0000", "3.0000"})
            Read(value);
        ASSERT_EQ(window->Store().RowCount(), 3);
        window.reset();
        dialogs.Clear();
    }
    int GridRows() { return window->findChild<QTableView*>("DataGrid1")->model()->rowCount(); }
};

} // namespace

TEST_F(LastRunTest, EachAnswerToTheQuestionAfterAnUncleanEndDoesWhatItSays) {
    struct Case {
        const char* name;
        MsgAnswer answer;
        const char* filter; // the save dialog's answer; none: cancelled
        int rows;
        const char* written;
    };
    const Case cases[] = {
        {"Yes keeps them", MsgAnswer::Yes, nullptr, 3, nullptr},
        {"Cancel keeps them", MsgAnswer::Cancel, nullptr, 3, nullptr},
        {"No, saved as a series file", MsgAnswer::No, "Pliki wazen (*.ser)", 0, "zachowane.ser"},
        {"No, saved as CSV", MsgAnswer::No, "Export CSV[;] (*.csv)", 0, "zachowane.csv"},
        {"No, the save cancelled keeps them", MsgAnswer::No, nullptr, 3, nullptr},
    };
    for (const Case& c : cases) {
        KilledAfterThreeReadings();
        QFile::remove(File("zachowane.ser"));
        QFile::remove(File("zachowane.csv"));
        dialogs.AnswerNext(c.answer);
        if (c.filter)
            dialogs.FileNext(File("zachowane"), c.filter);
        ASSERT_TRUE(Start()) << c.name;

        ASSERT_FALSE(dialogs.Calls().empty()) << c.name;
        const ScriptedDialogs::Call& asked = dialogs.Calls().front();
        EXPECT_EQ(asked.text,
                  "Poprzednie uruchomienie programu nie zakonczylo sie poprawnie.\n"
                  "Pozostale pomiary: 3\nCzy zachowac je jako biezaca serie? Nie: zapisz je w "
                  "pliku, potem seria zostanie wyczyszczona.")
            << c.name;
        EXPECT_EQ(asked.buttons, MsgButtons::YesNoCancel) << c.name;
        EXPECT_TRUE(dialogs.QueuesEmpty()) << c.name;
        EXPECT_EQ(window->Store().RowCount(), c.rows) << c.name;
        EXPECT_EQ(GridRows(), c.rows) << c.name;
        EXPECT_EQ(window->Store().Statistics().lblLiczba, c.rows ? "3" : "") << c.name;
        if (c.written) {
            const QString written = File(c.written);
            ASSERT_TRUE(QFile::exists(written)) << c.name;
            if (written.endsWith(".ser"))
                EXPECT_EQ(RowsIn(written), 3) << c.name;
            else
                EXPECT_EQ(TestFiles::ReadFile(written).count('\n'), 4)
                    << c.name << ": the header and three readings";
        }
    }
}

TEST_F(LastRunTest, AfterTheCleanCloseTheStartAsksNothingAndTheSeriesIsEmpty) {
    Read("1.0000");
    dialogs.AnswerNext(MsgAnswer::No); // not saved
    window->close();
    ASSERT_FALSE(window->isVisible());
    window.reset();
    dialogs.Clear();

    ASSERT_TRUE(Start());
    EXPECT_TRUE(dialogs.Calls().empty());
    EXPECT_EQ(window->Store().RowCount(), 0);
}
