#include "Database.h"
#include "FileLock.h"
#include "Glowna.h"
#include "INI.h"
#include "Module1.h"
#include "Mordal.h"
#include "Opcje.h"
#include "PerUserSettings.h"
#include "Raport.h"
#include "ScriptedDialogs.h"
#include "StatystykaPanel.h"
#include "TestFiles.h"
#include "frmCustom.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Pomiar;

namespace {

// The File menu's commands and the descriptions, with the user's answers
// and file choices scripted.
class SeriesCommandsTest : public ::testing::Test {
protected:
    SeriesCommandsTest() {
        context.programFolder = folder.path();
        context.dialogs = &dialogs;
        INI::ZapiszIni(context.IniPath(), "ustawienia", "Type", "0");
        Module1::ReadSettings(context);
        context.userSettings = std::make_shared<PerUserSettings>(context.applicationTitle);
        window = std::make_unique<Glowna>(context, holder.Comm1());
        window->runOptions = [](Opcje&) {};
        window->Load();
        window->show();
        dialogs.Clear();
    }

    void Read(const char* value) {
        window->PrzetworzOdczyt(QByteArray("S     ") + value + " g  \r\n");
    }
    int Rows() { return window->Store().RowCount(); }
    QString File(const QString& name) { return folder.filePath(name); }
    int RowsIn(const QString& path) {
        return Database(path).Scalar("select count(*) from pomiary").toInt();
    }

    QTemporaryDir folder;
    ScriptedDialogs dialogs;
    ProgramContext context;
    frmCustom holder;
    std::unique_ptr<Glowna> window;
};

} // namespace

TEST_F(SeriesCommandsTest, SavingWritesTheSeriesFileAndStartsANewSeries) {
    Read("12.5000");
    dialogs.FileNext(File("pierwsza"), "Pliki wazen (*.ser)");
    ASSERT_TRUE(window->SaveCommand());
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
    EXPECT_FALSE(window->SaveCommand());
    EXPECT_EQ(Rows(), 1);
}

TEST_F(SeriesCommandsTest, CancelToTheSaveQuestionChangesNothing) {
    Read("1.0000");
    dialogs.AnswerNext(MsgAnswer::Cancel);
    window->ToolbarButtonClick("nowa");
    EXPECT_EQ(dialogs.Messages(), QStringList{context.Msg(4)});
    EXPECT_EQ(Rows(), 1);
    EXPECT_TRUE(window->Store().WorkingDatabaseBound());
}

TEST_F(SeriesCommandsTest, SaveThatDoesNotCompleteKeepsTheSeriesOnNew) {
    Read("1.0000");
    dialogs.AnswerNext(MsgAnswer::Yes); // save first, then cancel the file dialog
    window->ToolbarButtonClick("nowa");
    EXPECT_EQ(Rows(), 1);
}

TEST_F(SeriesCommandsTest, CancelledOpenStillMarksTheSeriesFile) {
    window->ToolbarButtonClick("otworz");
    EXPECT_TRUE(window->bolOldFile);
    Read("1.0000");
    dialogs.AnswerNext(MsgAnswer::No);
    window->ToolbarButtonClick("nowa");
    EXPECT_EQ(dialogs.Messages().last(), context.Msg(29));
    EXPECT_EQ(Rows(), 1);
    dialogs.AnswerNext(MsgAnswer::Yes);
    window->ToolbarButtonClick("nowa");
    EXPECT_EQ(Rows(), 0);
    EXPECT_FALSE(window->bolOldFile);
}

TEST_F(SeriesCommandsTest, ReopenedSeriesTakesFurtherReadings) {
    Read("1.0000");
    dialogs.FileNext(File("seria.ser"), "Pliki wazen (*.ser)");
    ASSERT_TRUE(window->SaveCommand());
    dialogs.FileNext(File("seria.ser"));
    window->ToolbarButtonClick("otworz");
    ASSERT_EQ(Rows(), 1);
    Read("2.0000");
    Read("3.0000");
    EXPECT_EQ(Rows(), 3);
    EXPECT_EQ(RowsIn(File("seria.ser")), 3);
    EXPECT_EQ(window->Store().Model().Row(2).lp, 3);
}

TEST_F(SeriesCommandsTest, SavingOverTheOpenSeriesFileOnlyCompactsIt) {
    Read("1.0000");
    dialogs.FileNext(File("seria.ser"), "Pliki wazen (*.ser)");
    ASSERT_TRUE(window->SaveCommand());
    dialogs.FileNext(File("seria.ser"));
    window->ToolbarButtonClick("otworz");
    Read("2.0000");
    dialogs.Clear();
    dialogs.FileNext(File("seria.ser"), "Pliki wazen (*.ser)");
    EXPECT_TRUE(window->SaveCommand());
    EXPECT_TRUE(dialogs.Messages().isEmpty());
    EXPECT_EQ(RowsIn(File("seria.ser")), 2);
}

TEST_F(SeriesCommandsTest, FileInUseElsewhereIsRefusedAndNothingChanges) {
    const QString target = File("zajety.ser");
    Read("1.0000");
    dialogs.FileNext(target, "Pliki wazen (*.ser)");
    ASSERT_TRUE(window->SaveCommand());
    const QByteArray before = TestFiles::ReadFile(target);
    Read("5.0000");
    FileLock other(target, FileLock::Mode::Shared);
    dialogs.FileNext(target, "Pliki wazen (*.ser)");
    EXPECT_FALSE(window->SaveCommand());
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
        ASSERT_TRUE(window->SaveCommand());
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
    ASSERT_TRUE(window->SaveCommand());
    EXPECT_EQ(Rows(), 1);
    const auto opened = dialogs.CallsOf(ScriptedDialogs::Kind::OpenWithDesktop);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].text, File("wyniki.csv"));
    EXPECT_EQ(TestFiles::ReadFile(File("wyniki.csv")).count("\r\n"), 2);
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
    window->EdytujOpis(0);
    EXPECT_EQ(model.Row(0).opis, "  probka A  ");
    const auto asked = dialogs.CallsOf(ScriptedDialogs::Kind::InputBox);
    EXPECT_EQ(asked[0].title, context.Msg(48));
    EXPECT_EQ(asked[0].text, context.Msg(31));
    EXPECT_EQ(asked[0].defaultText, "") << "no description yet, its blank trimmed";

    dialogs.InputNext(std::nullopt);
    window->EdytujOpis(0);
    EXPECT_EQ(model.Row(0).opis, "  probka A  ") << "Cancel changes nothing";

    dialogs.InputNext(QString("probka A"));
    window->EdytujOpis(0);
    EXPECT_EQ(model.Row(0).opis, "probka A") << "the unchanged default, trimmed";

    dialogs.InputNext(QString(51, 'x'));
    window->EdytujOpis(0);
    EXPECT_EQ(model.Row(0).opis, "probka A") << "too long for the column: refused";

    dialogs.InputNext(QString());
    window->EdytujOpis(0);
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
    EXPECT_EQ(dialogs.CallsOf(ScriptedDialogs::Kind::InputBox).size(), 1u);
    EXPECT_EQ(window->Store().Model().Row(0).opis, "B");
}

TEST_F(SeriesCommandsTest, OpenChartFollowsEveryNewReading) {
    Read("1.0000");
    window->ToolbarButtonClick("wykres");
    EXPECT_EQ(window->ChartWindow(), nullptr) << "one reading is too few";
    EXPECT_EQ(dialogs.Messages().last(), context.Msg(3));
    Read("2.0000");
    window->ToolbarButtonClick("wykres");
    ASSERT_NE(window->ChartWindow(), nullptr);
    const int before = window->ChartWindow()->Masy()->count();
    Read("3.0000");
    EXPECT_GT(window->ChartWindow()->Masy()->count(), before);
    dialogs.AnswerNext(MsgAnswer::No);
    window->StartCommand();
    EXPECT_TRUE(!window->ChartWindow() || !window->ChartWindow()->isVisible())
        << "Start closes the chart";
}

TEST_F(SeriesCommandsTest, ReportWindowCapturesWhileOpenAndPrintoutLinesAreNoReadings) {
    Read("1.0000");
    bool captured = false;
    window->runReport = [&](Raport& raport) {
        EXPECT_TRUE(raport.Capturing());
        window->PrzetworzOdczyt("Kalibracja\r\n");
        window->PrzetworzOdczyt("\r\n");
        window->PrzetworzOdczyt("Temperatura: 22.5 \xf8"
                                "C\r\n");
        window->PrzetworzOdczyt("Masa wzorca: 200.0000 g\r\n");
        window->PrzetworzOdczyt("    2.0000 g\r\n");
        captured = raport.findChild<QLabel*>("lblRaport")->text().contains("Kalibracja");
    };
    window->ToolbarButtonClick("raport");
    EXPECT_TRUE(captured);
    EXPECT_EQ(Rows(), 2) << "only the weighing is a reading, not the report's lines";
    EXPECT_DOUBLE_EQ(window->Store().Values().back(), 2.0);
    window->PrzetworzOdczyt("Kalibracja\r\n");
    EXPECT_EQ(Rows(), 2);
}
