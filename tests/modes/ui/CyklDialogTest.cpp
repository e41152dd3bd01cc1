#include "CycleGate.h"
#include "CycleSettings.h"
#include "CycleWindowsModel.h"
#include "Cykl.h"
#include "Database.h"
#include "MeasurementStore.h"
#include "Nowy.h"
#include "PerUserSettings.h"
#include "ProgramContext.h"
#include "ScriptedDialogs.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QValidator>
#include <gtest/gtest.h>

#include <vector>

using namespace Pomiar;
namespace CU = Pomiar::CycleSettings;

namespace {

// What the dialog told the main window when it closed.
struct ClosedRecord {
    int lTim2;
    bool cycleWorkOn;
    bool operator==(const ClosedRecord&) const = default;
};

class CyklDialogTest : public ::testing::Test {
protected:
    CyklDialogTest() {
        context.programFolder = folder.path();
        context.dialogs = &dialogs;
        // Each test keeps its own per-user values.
        context.userSettings = std::make_shared<PerUserSettings>(
            QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    }

    void AddWindows(std::initializer_list<std::pair<int, int>> windows) {
        for (const auto& [start, stop] : windows)
            database.Execute("INSERT INTO cykl (start, Stop) VALUES (?, ?)", {start, stop});
        gate.Reload();
    }

    std::vector<std::pair<int, int>> StoredWindows() {
        std::vector<std::pair<int, int>> windows;
        for (const QVariantList& row : database.Query("SELECT start, Stop FROM cykl").rows)
            windows.emplace_back(row.at(0).toInt(), row.at(1).toInt());
        return windows;
    }

    QString Setting(const QString& key) {
        return context.userSettings->GetSetting(CU::Section, key, "<missing>");
    }

    void Store(const QString& key, const QString& value) {
        context.userSettings->SaveSetting(CU::Section, key, value);
    }

    // The Cykl dialog shown in Polish.
    std::unique_ptr<Cykl> OpenDialog() {
        auto dialog = std::make_unique<Cykl>(context, gate);
        dialog->locale = QLocale(QLocale::Polish, QLocale::Poland);
        dialog->show();
        return dialog;
    }

    // Types into the editor and presses "&Zatwierdz".
    static void Submit(Nowy& editor, const QString& start, const QString& stop) {
        editor.Text1->setText(start);
        editor.Text2->setText(stop);
        editor.Command1->click();
    }

    QTemporaryDir folder;
    ScriptedDialogs dialogs;
    ProgramContext context;
    Database database{MeasurementStore::WorkingDatabasePath(folder.path())};
    bool schemaCreated = (database.CreateSchema(), true);
    CycleGate gate{database};
};

TEST_F(CyklDialogTest, OpeningShowsTheStoredSettings) {
    Store(CU::KeyTimer, "2,5");
    Store(CU::KeyCykl, "1");
    AddWindows({{10, 20}, {30, 40}});
    auto dialog = OpenDialog();

    EXPECT_EQ(dialog->windowTitle(), "Ustawienia cyklu");
    EXPECT_TRUE(dialog->StaysOnTop());
    EXPECT_FALSE(dialog->isModal());
    EXPECT_EQ(dialog->Frame1->title(), "Odczyt z wagi co (s):");
    EXPECT_EQ(dialog->Frame2->title(), "Praca cykliczna:");
    EXPECT_EQ(dialog->Frame3->title(), "Zakresy cykli (sekundy)");
    EXPECT_EQ(dialog->Check1->text(), "Wlaczona");
    EXPECT_EQ(dialog->Command1->text(), "&Nowy");
    EXPECT_EQ(dialog->Command4->text(), "&Wyjscie");
    EXPECT_EQ(dialog->Model()->headerData(0, Qt::Horizontal).toString(), "start");
    EXPECT_EQ(dialog->Model()->headerData(1, Qt::Horizontal).toString(), "Stop");

    EXPECT_EQ(dialog->Text1->text(), "2,5");
    EXPECT_EQ(dialog->lblCzasCyklu->text(), "00:00:02,5");
    EXPECT_TRUE(dialog->Check1->isChecked());
    EXPECT_TRUE(dialog->Frame3->isEnabled());
    EXPECT_TRUE(dialog->DataGrid1->isVisible());
    ASSERT_EQ(dialog->Model()->rowCount(), 2);
    EXPECT_EQ(dialog->Model()->index(1, 0).data().toInt(), 30);
    EXPECT_EQ(dialog->Model()->index(1, 1).data().toInt(), 40);
    EXPECT_EQ(dialog->DataGrid1->currentIndex().row(), 0);
}

TEST_F(CyklDialogTest, SwitchingCycleWorkOffHidesTheRanges) {
    Store(CU::KeyCykl, "0");
    auto dialog = OpenDialog();
    EXPECT_FALSE(dialog->Check1->isChecked());
    EXPECT_FALSE(dialog->Frame3->isEnabled());
    for (QWidget* inside :
         {static_cast<QWidget*>(dialog->DataGrid1), static_cast<QWidget*>(dialog->Command1),
          static_cast<QWidget*>(dialog->Command2), static_cast<QWidget*>(dialog->Command3)})
        EXPECT_FALSE(inside->isVisible()) << inside->objectName().toStdString();

    dialog->Check1->setChecked(true);
    EXPECT_TRUE(dialog->Frame3->isEnabled());
    EXPECT_TRUE(dialog->DataGrid1->isVisible());
    EXPECT_TRUE(dialog->Command3->isVisible());
}

TEST_F(CyklDialogTest, LeavingTheIntervalFieldValidatesItAndTheLabel) {
    auto dialog = OpenDialog();
    const auto leave = [&](const QString& typed) {
        dialog->Text1->setText(typed);
        emit dialog->Text1->editingFinished();
        return std::pair{dialog->Text1->text(), dialog->lblCzasCyklu->text()};
    };
    EXPECT_EQ(leave("0"), (std::pair<QString, QString>{"0,5", "00:00:00,5"}));
    EXPECT_EQ(leave("0,3"), (std::pair<QString, QString>{"0,5", "00:00:00,5"}));
    EXPECT_EQ(leave("2.5"), (std::pair<QString, QString>{"2,5", "00:00:02,5"}));
    EXPECT_EQ(leave("2,5"), (std::pair<QString, QString>{"2", "00:00:02"}));
    EXPECT_EQ(leave("90"), (std::pair<QString, QString>{"90", "00:01:30"}));

    dialog->locale = QLocale(QLocale::English, QLocale::UnitedStates);
    EXPECT_EQ(leave("2.5"), (std::pair<QString, QString>{"2.5", "00:00:02.5"}));
    EXPECT_EQ(leave("0"), (std::pair<QString, QString>{"0.5", "00:00:00.5"}));
}

TEST_F(CyklDialogTest, ClosingStoresTheSettingsAndLoadsTheFirstWindow) {
    Store(CU::KeyCykl, "0");
    AddWindows({{10, 20}, {30, 40}});
    gate.SetCursor(1);
    auto dialog = OpenDialog();
    std::vector<ClosedRecord> closed;
    QObject::connect(dialog.get(), &Cykl::Closed, [&](int lTim2, bool on) {
        closed.push_back({lTim2, on});
    });

    dialog->Text1->setText("2.5");
    emit dialog->Text1->editingFinished();
    dialog->Check1->setChecked(true);
    dialog->Command4->click();

    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(Setting(CU::KeyTimer), "2,5");
    EXPECT_EQ(Setting(CU::KeyCykl), "1");
    EXPECT_EQ(closed, (std::vector<ClosedRecord>{{5, true}}));
    EXPECT_EQ(gate.Cursor(), 0);
    EXPECT_EQ(gate.lZakres(), (CycleGate::Range{10, 20}));
    EXPECT_TRUE(dialogs.Calls().empty());

    // Opened again it shows what it stored; the close box stores the field
    // as it stands, unvalidated.
    dialog->show();
    EXPECT_EQ(dialog->Text1->text(), "2,5");
    EXPECT_TRUE(dialog->Check1->isChecked());
    dialog->Text1->clear();
    dialog->Check1->setChecked(false);
    dialog->close();
    EXPECT_EQ(Setting(CU::KeyTimer), "");
    EXPECT_EQ(Setting(CU::KeyCykl), "0");
    EXPECT_EQ(closed, (std::vector<ClosedRecord>{{5, true}, {0, false}}));
}

TEST_F(CyklDialogTest, AFailureWhileClosingIsReportedAndTheDialogStillCloses) {
    auto dialog = OpenDialog();
    std::vector<ClosedRecord> closed;
    QObject::connect(dialog.get(), &Cykl::Closed, [&](int lTim2, bool on) {
        closed.push_back({lTim2, on});
    });
    database.Execute("DROP TABLE cykl");
    dialog->Command4->click();

    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(closed.size(), 1u);
    ASSERT_EQ(dialogs.Messages().size(), 1);
    EXPECT_TRUE(dialogs.Messages().front().startsWith("Error "));
    EXPECT_TRUE(dialogs.Messages().front().endsWith(") in procedure Form_Unload of Form Cykl"));
}

TEST_F(CyklDialogTest, TheListAndTheGateShareOneCursor) {
    Store(CU::KeyCykl, "1");
    AddWindows({{10, 20}, {30, 40}, {50, 60}});
    auto dialog = OpenDialog();

    dialog->DataGrid1->setCurrentIndex(dialog->Model()->index(2, 1));
    EXPECT_EQ(gate.Cursor(), 2);

    gate.LoadFirstRange();
    EXPECT_EQ(dialog->DataGrid1->currentIndex().row(), 0);
    ASSERT_EQ(gate.Check(35), CycleGate::Result::Accept);
    EXPECT_EQ(dialog->DataGrid1->currentIndex().row(), 1);
}

TEST_F(CyklDialogTest, UsunDeletesTheCurrentRowAndMovesToTheFirst) {
    Store(CU::KeyCykl, "1");
    AddWindows({{10, 20}, {30, 40}, {50, 60}});
    gate.LoadFirstRange();
    auto dialog = OpenDialog();

    dialog->DataGrid1->setCurrentIndex(dialog->Model()->index(1, 0));
    dialog->Command3->click();
    EXPECT_EQ(StoredWindows(), (std::vector<std::pair<int, int>>{{10, 20}, {50, 60}}));
    EXPECT_EQ(dialog->Model()->rowCount(), 2);
    EXPECT_EQ(dialog->DataGrid1->currentIndex().row(), 0);

    dialog->Command3->click();
    dialog->Command3->click();
    dialog->Command3->click();
    EXPECT_TRUE(StoredWindows().empty());
    EXPECT_EQ(dialog->Model()->rowCount(), 0);
    EXPECT_EQ(gate.lZakres(), (CycleGate::Range{10, 20}));
    EXPECT_TRUE(dialogs.Calls().empty());
}

TEST_F(CyklDialogTest, TheEditorOpensModalInFrontOfTheDialog) {
    Store(CU::KeyCykl, "1");
    AddWindows({{10, 20}});
    auto dialog = OpenDialog();
    std::vector<bool> newModes;
    dialogs.WhileOpen<Nowy>([&](Nowy& editor) {
        newModes.push_back(editor.NewMode());
        EXPECT_TRUE(editor.isModal());
        EXPECT_FALSE(dialog->StaysOnTop());
        EXPECT_EQ(editor.windowTitle(), editor.NewMode() ? "Nowy cykl" : "Edytuj cykl");
        if (editor.NewMode())
            Submit(editor, "30", "40");
        else
            Submit(editor, "5", "25");
        EXPECT_EQ(editor.result(), QDialog::Accepted);
    });

    dialog->Command1->click();
    EXPECT_TRUE(dialog->StaysOnTop());
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->Model()->rowCount(), 2);

    dialog->DataGrid1->setCurrentIndex(dialog->Model()->index(0, 0));
    dialog->Command2->click();
    EXPECT_EQ(newModes, (std::vector<bool>{true, false}));
    EXPECT_EQ(StoredWindows(), (std::vector<std::pair<int, int>>{{5, 25}, {30, 40}}));
    EXPECT_EQ(dialog->Model()->index(0, 1).data().toInt(), 25);
    EXPECT_TRUE(dialog->StaysOnTop());
}

TEST_F(CyklDialogTest, EditorChecksTheFieldsInOrder) {
    struct Case {
        const char* start;
        const char* stop;
        int message;
    };
    for (const Case& c : {Case{"10", "5", 9}, Case{"", "5", 10}, Case{"5", "", 9}, Case{"", "", 10},
                          Case{"0", "5", 11}, Case{"5", "0", 9}, Case{"00", "00", 11}}) {
        dialogs.Clear();
        Nowy editor(context, gate, true);
        editor.show();
        Submit(editor, c.start, c.stop);
        SCOPED_TRACE(std::string(c.start) + " / " + c.stop);
        ASSERT_EQ(dialogs.Calls().size(), 1u);
        const ScriptedDialogs::Call& call = dialogs.Calls().front();
        EXPECT_EQ(call.text, context.Msg(c.message));
        EXPECT_EQ(call.title, context.Msg(46));
        EXPECT_EQ(call.buttons, MsgButtons::Ok);
        EXPECT_EQ(call.icon, MsgIcon::None);
        EXPECT_TRUE(editor.isVisible());
    }
    EXPECT_TRUE(StoredWindows().empty());
}

TEST_F(CyklDialogTest, OneSecondWindowIsSavedAndTheListMovesToTheFirstRow) {
    AddWindows({{100, 200}, {300, 400}});
    gate.SetCursor(1);
    Nowy editor(context, gate, true);
    editor.show();
    Submit(editor, "5", "5");
    EXPECT_TRUE(dialogs.Calls().empty());
    EXPECT_EQ(editor.result(), QDialog::Accepted);
    EXPECT_FALSE(editor.isVisible());
    EXPECT_EQ(StoredWindows(), (std::vector<std::pair<int, int>>{{100, 200}, {300, 400}, {5, 5}}));
    EXPECT_EQ(gate.RowCount(), 3);
    EXPECT_EQ(gate.Cursor(), 0);
}

TEST_F(CyklDialogTest, OverlappingWindowIsRefusedAndTheEditorStaysOpen) {
    AddWindows({{10, 20}, {30, 40}});
    gate.SetCursor(1);
    Nowy editor(context, gate, true);
    editor.show();
    gate.SetCursor(0);
    Submit(editor, "15", "25");

    ASSERT_EQ(dialogs.Calls().size(), 1u);
    EXPECT_EQ(dialogs.Calls().front().text, context.Msg(12));
    EXPECT_EQ(dialogs.Calls().front().text, "Cykl pokrywa sie z istniejacym.");
    EXPECT_EQ(dialogs.Calls().front().title, context.Msg(47));
    EXPECT_EQ(dialogs.Calls().front().icon, MsgIcon::None);
    EXPECT_TRUE(editor.isVisible());
    EXPECT_EQ(editor.Text1->text(), "15");
    EXPECT_EQ(StoredWindows(), (std::vector<std::pair<int, int>>{{10, 20}, {30, 40}}));
    // Back on the row it was on when the editor opened.
    EXPECT_EQ(gate.Cursor(), 1);

    // The user corrects the window and saves.
    Submit(editor, "21", "25");
    EXPECT_EQ(editor.result(), QDialog::Accepted);
    EXPECT_EQ(StoredWindows().size(), 3u);
}

TEST_F(CyklDialogTest, EditingChangesTheCurrentRowOnly) {
    AddWindows({{10, 20}, {30, 40}});
    gate.SetCursor(1);
    Nowy editor(context, gate, false);
    EXPECT_EQ(editor.Text1->text(), "30");
    EXPECT_EQ(editor.Text2->text(), "40");
    editor.show();
    Submit(editor, "10", "40");
    EXPECT_EQ(dialogs.Messages(), QStringList{context.Msg(12)});
    Submit(editor, "25", "45");
    EXPECT_EQ(editor.result(), QDialog::Accepted);
    EXPECT_EQ(StoredWindows(), (std::vector<std::pair<int, int>>{{10, 20}, {25, 45}}));
}

TEST_F(CyklDialogTest, EditingWithAnEmptyTableRefusesToSave) {
    Nowy editor(context, gate, false);
    EXPECT_TRUE(editor.Text1->text().isEmpty());
    editor.show();
    Submit(editor, "5", "10");
    ASSERT_EQ(dialogs.Calls().size(), 1u);
    EXPECT_EQ(dialogs.Calls().front().text, QString::fromLatin1(Nowy::NoRowText));
    EXPECT_EQ(dialogs.Calls().front().title, context.Msg(46));
    EXPECT_TRUE(editor.isVisible());
    EXPECT_TRUE(StoredWindows().empty());
}

TEST_F(CyklDialogTest, EditorFieldsTakeDigitsOnlyAndSelectOnFocus) {
    Nowy editor(context, gate, true);
    for (QLineEdit* field : {editor.Text1, editor.Text2}) {
        ASSERT_NE(field->validator(), nullptr);
        QString typed = "12a";
        int at = 3;
        EXPECT_EQ(field->validator()->validate(typed, at), QValidator::Invalid);
        typed = "-1";
        EXPECT_EQ(field->validator()->validate(typed, at), QValidator::Invalid);
        typed = "120";
        EXPECT_EQ(field->validator()->validate(typed, at), QValidator::Acceptable);
        field->setText("1234567890123");
        EXPECT_EQ(field->text(), "123456789");

        field->deselect();
        QFocusEvent focus(QEvent::FocusIn, Qt::TabFocusReason);
        QCoreApplication::sendEvent(field, &focus);
        QCoreApplication::processEvents();
        EXPECT_EQ(field->selectedText(), "123456789");
    }
    EXPECT_EQ(editor.Label1->text(), "Start:");
    EXPECT_EQ(editor.Label2->text(), "Stop:");
    EXPECT_EQ(editor.Frame1->title(), "Wpisz dane cyklu");
    EXPECT_EQ(editor.Command1->text(), "&Zatwierdz");
}

TEST_F(CyklDialogTest, AnulujClosesWithoutAChange) {
    AddWindows({{10, 20}});
    Nowy editor(context, gate, false);
    editor.show();
    editor.Text1->setText("11");
    editor.Command2->click();
    EXPECT_EQ(editor.result(), QDialog::Rejected);
    EXPECT_FALSE(editor.isVisible());
    EXPECT_EQ(StoredWindows(), (std::vector<std::pair<int, int>>{{10, 20}}));
    EXPECT_TRUE(dialogs.Calls().empty());
}

// Pictures of both dialogs for a look by eye:
//   cycle_tests --gtest_also_run_disabled_tests --gtest_filter='*Pictures*'
// writes them into the folder named by CYCLE_PICTURES (default: the
// temporary folder).
TEST_F(CyklDialogTest, DISABLED_Pictures) {
    const QString into = qEnvironmentVariable("CYCLE_PICTURES", QDir::tempPath());
    Store(CU::KeyTimer, "2,5");
    Store(CU::KeyCykl, "1");
    AddWindows({{10, 20}, {30, 40}});
    auto dialog = OpenDialog();
    dialog->adjustSize();
    EXPECT_TRUE(dialog->grab().save(into + "/Cykl.png"));

    dialogs.WhileOpen<Nowy>([&](Nowy& editor) {
        editor.show();
        EXPECT_TRUE(editor.grab().save(into + "/Nowy.png"));
    });
    dialog->Command2->click();
}

} // namespace
