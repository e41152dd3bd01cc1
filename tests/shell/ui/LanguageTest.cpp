#include "CodePage1250.h"
#include "CycleGate.h"
#include "Database.h"
#include "FormTexts.h"
#include "Glowna.h"
#include "INI.h"
#include "LanguageTexts.h"
#include "Module1.h"
#include "Nowy.h"
#include "Opcje.h"
#include "Pasek.h"
#include "PerUserSettings.h"
#include "ProgramContext.h"
#include "ProgramFolder.h"
#include "Progress.h"
#include "ScriptedDialogs.h"
#include "SeriesReport.h"
#include "TestEnvironment.h"
#include "TestFiles.h"
#include "frmLanguage.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolBar>
#include <gtest/gtest.h>
#include <unistd.h>

#include <map>
#include <utility>
#include <vector>

using namespace Pomiar;
using Pomiar::INI::CzytajIni;

namespace {

// A language file as sections of (key, value) pairs in file order.
using Section = std::vector<std::pair<QString, QString>>;
using ParsedFile = std::map<QString, Section>;

ParsedFile ParseFile(const QString& path) {
    ParsedFile file;
    QString section;
    const QString text = CodePage1250::Decode(TestFiles::ReadFile(path));
    for (const QString& raw : text.split(QStringLiteral("\r\n"))) {
        const QString line = raw.trimmed();
        if (line.startsWith('[')) {
            section = line.mid(1, line.indexOf(']') - 1);
            file[section];
        } else if (line.contains('=')) {
            const qsizetype equals = line.indexOf('=');
            QString value = line.mid(equals + 1);
            // Stored in quotes to keep blanks at its ends, as the reader takes them off.
            if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
                value = value.mid(1, value.size() - 2);
            file[section].emplace_back(line.left(equals), value);
        }
    }
    return file;
}

QStringList Keys(const Section& section) {
    QStringList keys;
    for (const auto& entry : section)
        keys << entry.first;
    return keys;
}

QString ValueOf(const Section& section, const QString& key) {
    for (const auto& [k, v] : section) {
        if (k == key)
            return v;
    }
    return QStringLiteral("<missing>");
}

// A program folder of its own with the language file named in
// ustawienia.ini, and the scripted user.
class LanguageTest : public ::testing::Test {
protected:
    LanguageTest() {
        context.programFolder = folder.path();
        context.dialogs = &dialogs;
        context.userSettings = std::make_shared<PerUserSettings>(
            QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        QDir().mkpath(context.LanguageFolder());
    }

    QString LanguageFile() const { return context.LanguageFilePath(); }
    void WriteLanguage(const QByteArray& bytes) { TestFiles::WriteFile(LanguageFile(), bytes); }
    QString Lang(const QString& section, const QString& key) {
        return CzytajIni(LanguageFile(), section, key, QStringLiteral("<missing>"));
    }

    QTemporaryDir folder{TestEnvironment::Root() + "/lang-XXXXXX"};
    ScriptedDialogs dialogs;
    ProgramContext context;
};

// Records every window that is shown, whatever shows it.
class ShowRecorder : public QObject {
public:
    ShowRecorder() { qApp->installEventFilter(this); }
    ~ShowRecorder() override { qApp->removeEventFilter(this); }
    QStringList shown;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (event->type() == QEvent::Show && widget && widget->isWindow())
            shown << widget->objectName();
        return false;
    }
};

} // namespace

TEST(FormSection, EveryTranslatedWindowHasItsSection) {
    EXPECT_EQ(FormSection("Cykl"), "D1");
    EXPECT_EQ(FormSection("frmObjetoscNurnika"), "D3");
    EXPECT_EQ(FormSection("Glowna"), "D4");
    EXPECT_EQ(FormSection("Raport"), "D8");
    EXPECT_EQ(FormSection("Wykresopcje"), "D11");
    EXPECT_EQ(FormSection("frmCommSelect"), "D13");
    EXPECT_EQ(FormSection("frmLanguage"), "");
    EXPECT_EQ(FormSection("DebugForm"), "");
    EXPECT_EQ(FormSection("glowna"), "") << "window names are exact";
}

TEST_F(LanguageTest, ControlsAreLookedUpInTheirWindowOrder) {
    QDialog window;
    window.setObjectName("Opcje");
    window.setWindowTitle("Opcje");
    auto* frame = new QGroupBox("Ramka", &window);
    new QCheckBox("&Pole", frame);
    new QLabel("", frame); // no caption: skipped
    new QLabel("Etykieta", &window);
    auto* owned = new QDialog(&window); // a window of its own: not entered
    owned->setObjectName("Nowy");
    new QPushButton("Wewnatrz", owned);
    new QPushButton("&Zatwierdz", &window);

    ApplyFormTexts(context, &window);

    const ParsedFile file = ParseFile(LanguageFile());
    ASSERT_EQ(file.count("D6"), 1u);
    EXPECT_EQ(Keys(file.at("D6")), QStringList({"x", "Ramka", "&Pole", "Etykieta", "&Zatwierdz"}));
    EXPECT_EQ(file.count("D5"), 0u);
}

TEST_F(LanguageTest, TranslatedTextsReplaceTheDesignedOnes) {
    WriteLanguage("[D6]\r\nx=Options\r\nRamka=Frame\r\n&Zatwierdz=&Confirm\r\n");
    QDialog window;
    window.setObjectName("Opcje");
    window.setWindowTitle("Opcje");
    auto* frame = new QGroupBox("Ramka", &window);
    auto* button = new QPushButton("&Zatwierdz", &window);
    auto* other = new QPushButton("&Anuluj", &window);

    ApplyFormTexts(context, &window);

    EXPECT_EQ(window.windowTitle(), "Options");
    EXPECT_EQ(frame->title(), "Frame");
    EXPECT_EQ(button->text(), "&Confirm");
    EXPECT_EQ(other->text(), "&Anuluj");
    EXPECT_EQ(Lang("D6", "&Anuluj"), "&Anuluj") << "a missing text is written back";
}

TEST_F(LanguageTest, WindowsOutsideTheTableAndRunsWithoutFolderKeepTheirTexts) {
    QDialog window;
    window.setObjectName("DebugForm");
    window.setWindowTitle("Komunikacja");
    ApplyFormTexts(context, &window);
    EXPECT_FALSE(QFile::exists(LanguageFile()));

    ProgramContext noFolder;
    window.setObjectName("Opcje");
    ApplyFormTexts(noFolder, &window);
    EXPECT_EQ(window.windowTitle(), "Komunikacja");
}

TEST_F(LanguageTest, MainWindowShowsD4TextsInMenusToolTipsAndGridColumns) {
    WriteLanguage("[D4]\r\n&Plik=&File\r\n&Nowa=&New\r\nNowa seria=New series\r\n"
                  "Odczyt=Reading\r\nTabela pomiarow:=Readings:\r\n");
    Glowna window(context, nullptr);
    // What the main window's loading does first.
    ApplyFormTexts(context, &window);

    EXPECT_EQ(window.Commands().MenuItem(Command::Nowa)->text(), "&New");
    EXPECT_EQ(QMenu::menuInAction(window.menuBar()->actions().front())->title(), "&File");
    EXPECT_EQ(window.Commands().ToolbarButton(Command::Nowa)->toolTip(), "New series");
    const QAbstractItemModel* grid = window.Grid()->model();
    EXPECT_EQ(grid->headerData(SeriesModel::Masa, Qt::Horizontal).toString(), "Reading");
    EXPECT_EQ(grid->headerData(SeriesModel::Lp, Qt::Horizontal).toString(), "Lp");
    EXPECT_EQ(SeriesModel::Caption(SeriesModel::Masa), "Odczyt") << "the designed caption stays";

    const ParsedFile file = ParseFile(LanguageFile());
    const QStringList keys = Keys(file.at("D4"));
    EXPECT_TRUE(keys.contains("P&omiar"));
    EXPECT_TRUE(keys.contains("Statystyka:")) << "the panel's captions belong to the window";
    EXPECT_TRUE(keys.contains("Ustawienia cyklu")) << "tool tips";
    EXPECT_EQ(keys.count("Trevalo"), 0) << "the caption goes under x";
    EXPECT_FALSE(keys.contains("Toolbar1")) << "the toolbar's own switch is no caption";
}

TEST_F(LanguageTest, TheSameCaptionInAnotherWindowGetsItsOwnEntry) {
    WriteLanguage("[D6]\r\n&Zatwierdz=&Confirm\r\n");
    Database database(":memory:");
    database.CreateSchema();
    CycleGate gate(database);
    Opcje options(context, nullptr);
    Nowy editor(context, gate, true);

    EXPECT_EQ(options.Command1->text(), "&Confirm");
    EXPECT_EQ(editor.Command1->text(), "&Zatwierdz");
    EXPECT_EQ(Lang("D5", "&Zatwierdz"), "&Zatwierdz");
}

TEST_F(LanguageTest, CycleEditorTranslatesBothOfItsCaptions) {
    WriteLanguage("[D5]\r\nx=New cycle\r\nEdytuj cykl=Edit cycle\r\n");
    Database database(":memory:");
    database.CreateSchema();
    CycleGate gate(database);
    EXPECT_EQ(Nowy(context, gate, true).windowTitle(), "New cycle");
    EXPECT_EQ(Nowy(context, gate, false).windowTitle(), "Edit cycle");
}

TEST_F(LanguageTest, ProgressCaptionsOfTheLongOperationsAreTranslated) {
    WriteLanguage("[D7]\r\nZapisywanie (ESC aby anulowac)=Saving (ESC to cancel)\r\n");
    Pasek progress(nullptr, &context);
    progress.SetCaption(ProgressCaption::SavingSeries);
    EXPECT_EQ(progress.windowTitle(), "Saving (ESC to cancel)");
    progress.SetCaption(ProgressCaption::AddingReadings);
    EXPECT_EQ(progress.windowTitle(), ProgressCaption::AddingReadings) << "untranslated: designed";
    // Every caption is listed for the translator when the window loads.
    EXPECT_EQ(Lang("D7", ProgressCaption::PreparingReport), ProgressCaption::PreparingReport);
}

TEST_F(LanguageTest, SlashNInAMessageBecomesALineBreak) {
    WriteLanguage("[MSG]\r\nMSG_14=Port in use./nChoose another port\r\n");
    LoadMessages(LanguageFile(), context.messages);
    EXPECT_EQ(context.Msg(14), "Port in use.\r\nChoose another port");
    EXPECT_EQ(context.Msg(14).split("\r\n").size(), 2);
    EXPECT_EQ(context.Msg(13), QString::fromUtf8("Wybierz własciwy port!"));
}

TEST_F(LanguageTest, ReportCaptionsComeFromRp1) {
    WriteLanguage("[Rp1]\r\nRP1_N=Series report\r\nSrednia=Mean\r\n");
    ReportTexts report{"Raport serii", {{"Srednia", "", "Odchylenie"}, {"Data"}}};
    TranslateReport(context, report);
    EXPECT_EQ(report.caption, "Series report");
    EXPECT_EQ(report.sections[0], QStringList({"Mean", "", "Odchylenie"}));
    EXPECT_EQ(report.sections[1], QStringList({"Data"}));
    EXPECT_EQ(Lang("Rp1", "Odchylenie"), "Odchylenie");
    EXPECT_EQ(Lang("Rp1", "Data"), "Data");
}

TEST_F(LanguageTest, MissingOrUnwritableLanguageFileNeverStopsAnything) {
    // A folder where the file should be: it can be neither read nor written.
    QDir().mkpath(LanguageFile());
    LoadMessages(LanguageFile(), context.messages);
    EXPECT_EQ(context.Msg(45), "Uwaga");
    Glowna window(context, nullptr);
    ApplyFormTexts(context, &window);
    EXPECT_EQ(window.Commands().MenuItem(Command::Nowa)->text(), "&Nowa");

    // No language folder at all.
    QDir(context.LanguageFolder()).removeRecursively();
    Opcje options(context, nullptr);
    EXPECT_EQ(options.windowTitle(), "Opcje");
    EXPECT_FALSE(QFileInfo::exists(context.LanguageFolder()));
}

TEST_F(LanguageTest, ReadOnlyLanguageFileStillTranslates) {
    if (geteuid() == 0)
        GTEST_SKIP() << "the superuser writes read-only files";
    WriteLanguage("[D6]\r\nx=Options\r\n");
    QFile::setPermissions(LanguageFile(), QFile::ReadOwner);
    QFile::setPermissions(context.LanguageFolder(), QFile::ReadOwner | QFile::ExeOwner);
    Opcje options(context, nullptr);
    QFile::setPermissions(context.LanguageFolder(),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(options.windowTitle(), "Options");
    EXPECT_EQ(options.Command1->text(), "&Zatwierdz");
}

TEST_F(LanguageTest, TemplateRunFillsAnEmptyFileWithEveryWindowsTexts) {
    WriteLanguage("");
    TestFiles::WriteFile(folder.filePath("opisy.ini"), "[1]\r\nopis=stary\r\n");
    ASSERT_EQ(GetLangText(LanguageFile(), "", "ok", "n"), "n");
    RunTemplateMode(context, {[this] { SeriesReport::TranslatedTexts(context); },
                              [this] { Module1::LoadTemplateWindows(context); }});

    EXPECT_EQ(TestFiles::ReadFile(folder.filePath("opisy.ini")), "ok=n\r\n");
    const ParsedFile file = ParseFile(LanguageFile());
    EXPECT_EQ(ValueOf(file.at(""), "ok"), "n");
    ASSERT_EQ(file.count("MSG"), 1u);
    const Section& messages = file.at("MSG");
    EXPECT_EQ(messages.size(), 38u);
    for (int index : MessageTable::LanguageIndices())
        EXPECT_EQ(CzytajIni(LanguageFile(), "MSG", QStringLiteral("MSG_%1").arg(index), "?"),
                  MessageTable::DefaultText(index))
            << index;

    for (const char* section :
         {"D1", "D2", "D3", "D4", "D5", "D6", "D7", "D8", "D9", "D10", "D11", "D13"})
        EXPECT_TRUE(file.count(section) && Keys(file.at(section)).contains("x")) << section;
    // The captions as designed, in Polish.
    EXPECT_EQ(ValueOf(file.at("D1"), "x"), "Ustawienia cyklu");
    EXPECT_EQ(ValueOf(file.at("D1"), "Stop"), "Stop") << "the table's columns";
    EXPECT_EQ(ValueOf(file.at("D1"), "start"), "start");
    EXPECT_EQ(Keys(file.at("D3")), QStringList({"x", "Podaj objetosc nurnika:", "&OK", "&Odczyt"}));
    EXPECT_EQ(ValueOf(file.at("D3"), "x"), "Gestosc cieczy");
    EXPECT_EQ(ValueOf(file.at("D4"), "&Wyjscie"), "&Wyjscie");
    EXPECT_EQ(ValueOf(file.at("D4"), "Odczyt z wagi"), "Odczyt z wagi");
    EXPECT_EQ(ValueOf(file.at("D5"), "Edytuj cykl"), "Edytuj cykl");
    EXPECT_EQ(ValueOf(file.at("D6"), "Nazwa pliku:"), "Nazwa pliku:");
    EXPECT_EQ(ValueOf(file.at("D7"), "x"), "Tworzenie raportu (ESC aby anulowac)");
    EXPECT_EQ(ValueOf(file.at("D12"), "Kompaktowanie bazy danych...."),
              "Kompaktowanie bazy danych....");
    EXPECT_EQ(ValueOf(file.at("D13"), "Wlasciwosci RS-232"), "Wlasciwosci RS-232");
    ASSERT_EQ(file.count("Rp1"), 1u) << "the printed report's texts";
    EXPECT_EQ(ValueOf(file.at("Rp1"), "RP1_N"), "Raport z wazen");
    for (const auto& [name, section] : file) {
        for (const auto& [key, value] : section) {
            EXPECT_FALSE(value.isEmpty()) << name.toStdString() << " " << key.toStdString();
            // The switching tool tips are keyed by name, not by their wording.
            if (name.startsWith('D') && key != "x" && !key.startsWith("TB_")) {
                EXPECT_EQ(value, key) << "a designed caption is its own Polish text";
            }
        }
    }
    EXPECT_FALSE(QFile::exists(folder.filePath("dane.mdb"))) << "the working database stays";

    // Texts looked up only on the way are listed too.
    EXPECT_EQ(ValueOf(file.at("D4"), "TB_22x"), "Kliknij, aby zakonczyc transmisje ciagla.");
    EXPECT_EQ(ValueOf(file.at("D4"), "TB_23x"), "Kliknij, aby pobrac dane stabilne.");
    ASSERT_EQ(file.count("EXPORT"), 1u);
    EXPECT_EQ(ValueOf(file.at("EXPORT"), "Masa"), "Masa");
    EXPECT_EQ(ValueOf(file.at("EXPORT"), "Opis"), "Opis");
    // Each designed key once: a translated caption is never taken for a key.
    for (const auto& [name, section] : file) {
        QStringList keys = Keys(section);
        for (QString& key : keys)
            key = key.toCaseFolded();
        keys.removeDuplicates();
        EXPECT_EQ(keys.size(), qsizetype(section.size())) << name.toStdString();
    }
}

namespace {

// The steps of a start that read texts, then every window loaded once.
void StartAndOpenEveryWindow(ProgramContext& context) {
    ASSERT_TRUE(Module1::ReadSettings(context));
    Module1::CheckLanguageFile(context);
    ASSERT_EQ(context.Lang("", "ok", "n"), "n");
    LoadMessages(context.LanguageFilePath(), context.messages);
    Module1::LoadTemplateWindows(context);
}

} // namespace

TEST_F(LanguageTest, AStartChangesNothingInACompleteShippedFile) {
    TestFiles::WriteFile(folder.filePath("ustawienia.ini"), "[ustawienia]\r\nType=0\r\n");
    for (const char* name : {"Polish.lag", "English.lag"}) {
        const QByteArray shipped =
            TestFiles::ReadFile(QStringLiteral(LANGUAGE_SOURCE_DIR "/") + name);
        ASSERT_FALSE(shipped.isEmpty()) << name;
        TestFiles::WriteFile(context.LanguageFolder() + "/" + name, shipped);
        INI::ZapiszIni(context.IniPath(), "ustawienia", "language", name);
        StartAndOpenEveryWindow(context);
        EXPECT_EQ(TestFiles::ReadFile(context.LanguageFolder() + "/" + name), shipped) << name;
        for (const auto& call : dialogs.Calls())
            ADD_FAILURE() << name << ": " << call.text.toStdString();
    }
}

TEST_F(LanguageTest, UnusableLanguageFileIsReportedAndTheDesignedTextsShow) {
    TestFiles::WriteFile(folder.filePath("ustawienia.ini"),
                         "[ustawienia]\r\nType=0\r\nlanguage=German.lag\r\n");
    // Saved as UTF-16 by an editor: text in neither encoding.
    const QString german = QString::fromUtf8("[D6]\r\nx=Optionen\r\n&Zatwierdz=&Übernehmen\r\n");
    QByteArray utf16("\xFF\xFE");
    utf16.append(reinterpret_cast<const char*>(german.utf16()), german.size() * 2);
    TestFiles::WriteFile(context.LanguageFolder() + "/German.lag", utf16);
    StartAndOpenEveryWindow(context);

    ASSERT_EQ(dialogs.Calls().size(), 1u);
    EXPECT_TRUE(dialogs.Calls().front().text.startsWith(MessageTable::DefaultText(27)));
    EXPECT_TRUE(dialogs.Calls().front().text.contains("German.lag"));
    EXPECT_EQ(Opcje(context, nullptr).windowTitle(), "Opcje");
    EXPECT_EQ(TestFiles::ReadFile(context.LanguageFolder() + "/German.lag"), utf16)
        << "nothing is written into it";
}

TEST_F(LanguageTest, AnyTextIsALanguageFileThatFillsItselfWithWhatItLacks) {
    // What a start makes of a new file, or a translation begun by hand.
    for (const QByteArray& usable :
         {QByteArray(""), QByteArray("ok=n\r\n"), QByteArray("[MSG]\r\nMSG_45=Warning\r\n"),
          QByteArray("[D1]\r\nx=Cycle\r\n"), QByteArray("[D6]\r\nx=Options\r\n"),
          QByteArray("[Rp1]\r\nRP1_N=Report\r\n[EXPORT]\r\nMasa=Mass\r\n")}) {
        SCOPED_TRACE(usable.constData());
        WriteLanguage(usable);
        EXPECT_TRUE(IsUsableLanguageFile(LanguageFile()));
        Module1::CheckLanguageFile(context);
        EXPECT_TRUE(dialogs.Calls().empty());
    }

    WriteLanguage("[D6]\r\nx=Options\r\n");
    LoadMessages(LanguageFile(), context.messages);
    EXPECT_EQ(context.Msg(45), "Uwaga") << "a missing message is the designed one";
    EXPECT_EQ(Lang("MSG", "MSG_45"), "Uwaga") << "and is written in for the translator";
    EXPECT_EQ(Opcje(context, nullptr).windowTitle(), "Options");
}

TEST_F(LanguageTest, StartWithOkYRunsTheTemplateWithoutShowingAWindow) {
    WriteLanguage("ok=y\r\n");
    TestFiles::WriteFile(folder.filePath("ustawienia.ini"), "[ustawienia]\r\nType=0\r\n");
    ShowRecorder recorder;
    const int exitCode = Module1::Main(*qApp, {"Pomiar", "--dir", folder.path()});

    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(recorder.shown, QStringList());
    EXPECT_EQ(CzytajIni(folder.filePath("opisy.ini"), "", "ok", "?"), "n");
    EXPECT_EQ(Lang("", "ok"), "y") << "the language file's own switch stays";
    EXPECT_EQ(Lang("D4", "&Plik"), "&Plik");
    EXPECT_EQ(Lang("MSG", "MSG_26"), QString::fromUtf8("Prosze zrestartowac program."));
}

TEST_F(LanguageTest, ChooserStoresTheChosenFileAndAsksForARestart) {
    for (const char* name : {"Polish.lag", "English.lag", "notes.txt"})
        TestFiles::WriteFile(context.LanguageFolder() + "/" + name, "ok=n\r\n");
    TestFiles::WriteFile(context.LanguageFolder() + "/English.html", "<html></html>");
    INI::ZapiszIni(context.IniPath(), "ustawienia", "language", "Polish.lag");
    Module1::ReadSettings(context);
    LoadMessages(LanguageFile(), context.messages);

    frmLanguage chooser(context);
    EXPECT_EQ(chooser.windowTitle(), " language");
    EXPECT_EQ(chooser.Frame1->title(), "Select language");
    ASSERT_EQ(chooser.File1->count(), 2);
    EXPECT_EQ(chooser.File1->item(0)->text(), "English.lag");
    EXPECT_EQ(chooser.File1->item(1)->text(), "Polish.lag");
    EXPECT_EQ(chooser.Label1->text(), "Current lang:");
    EXPECT_EQ(chooser.lblCurrent->text(), "Polish.lag");
    EXPECT_FALSE(Keys(ParseFile(LanguageFile())[""]).contains(" language"))
        << "the chooser's texts are never looked up";

    chooser.File1->setCurrentRow(0);
    chooser.cmdOk->click();
    EXPECT_EQ(chooser.result(), QDialog::Accepted);
    EXPECT_EQ(CzytajIni(context.IniPath(), "ustawienia", "language", "?"), "English.lag");
    ASSERT_EQ(dialogs.Calls().size(), 1u);
    const ScriptedDialogs::Call& told = dialogs.Calls().front();
    EXPECT_EQ(told.text, QString::fromUtf8("Prosze zrestartowac program."));
    EXPECT_EQ(told.icon, MsgIcon::Information);
    EXPECT_EQ(told.title, context.applicationTitle);
    EXPECT_EQ(context.settings.languageFileName, "Polish.lag") << "nothing is reloaded";

    // The next start.
    ProgramContext next;
    next.programFolder = folder.path();
    next.dialogs = &dialogs;
    ASSERT_TRUE(Module1::ReadSettings(next));
    EXPECT_EQ(next.LanguageFilePath(), context.LanguageFolder() + "/English.lag");
    EXPECT_EQ(next.settings.helpFileName, "English.chm");
    EXPECT_EQ(FindHelpFile(next.LanguageFolder(), next.settings.helpFileName),
              context.LanguageFolder() + "/English.html")
        << "without a compiled help file the guide of the language opens";
    TestFiles::WriteFile(context.LanguageFolder() + "/help/English.chm", "chm");
    EXPECT_EQ(FindHelpFile(next.LanguageFolder(), next.settings.helpFileName),
              context.LanguageFolder() + "/help/English.chm");
}

TEST_F(LanguageTest, ChoosersButtonsReadAsDesignedWhateverTheLanguage) {
    // A translation of every other window, and Qt's own texts in English.
    WriteLanguage("[D4]\r\nAnuluj=Cancel\r\n[D6]\r\n&Anuluj=&Cancel\r\n");
    frmLanguage chooser(context);
    EXPECT_EQ(chooser.cmdOk->text(), "&Ok");
    EXPECT_EQ(chooser.cmdCancel->text(), "Anuluj");
}

TEST_F(LanguageTest, ChooserCancelledOrWithoutChoiceStoresNothing) {
    TestFiles::WriteFile(context.LanguageFolder() + "/English.lag", "ok=n\r\n");
    {
        frmLanguage chooser(context);
        EXPECT_EQ(chooser.lblCurrent->text(), "0") << "nothing stored yet";
        chooser.File1->setCurrentRow(0);
        chooser.cmdCancel->click();
    }
    {
        frmLanguage chooser(context);
        chooser.File1->clearSelection();
        chooser.cmdOk->click();
    }
    EXPECT_EQ(CzytajIni(context.IniPath(), "ustawienia", "language", "<none>"), "<none>");
    EXPECT_TRUE(dialogs.Calls().empty());
}

TEST(HelpFile, EveryLagOfTheNameBecomesChmAndEnglishIsTheFallback) {
    QTemporaryDir folder{TestEnvironment::Root() + "/help-XXXXXX"};
    const QString language = folder.path();
    EXPECT_EQ(FindHelpFile(language, "Polish.chm"), language + "/English.chm");
    TestFiles::WriteFile(language + "/Polish.html", "<html></html>");
    EXPECT_EQ(FindHelpFile(language, "Polish.chm"), language + "/Polish.html");
    TestFiles::WriteFile(language + "/Polish.chm", "chm");
    EXPECT_EQ(FindHelpFile(language, "Polish.chm"), language + "/Polish.chm");
    TestFiles::WriteFile(language + "/English.chm", "chm");
    EXPECT_EQ(FindHelpFile(language, "Czech.chm"), language + "/English.chm");
}

namespace {

// Every key a template run writes, with the editor's refusal, which the
// program looks up only on the way.
ParsedFile TemplateKeys() {
    QTemporaryDir folder{TestEnvironment::Root() + "/template-XXXXXX"};
    ScriptedDialogs dialogs;
    ProgramContext context;
    context.programFolder = folder.path();
    context.dialogs = &dialogs;
    QDir().mkpath(context.LanguageFolder());
    GetLangText(context.LanguageFilePath(), "", "ok", "n");
    context.userSettings = std::make_shared<PerUserSettings>(QStringLiteral("template"));
    RunTemplateMode(context, {[&context] { SeriesReport::TranslatedTexts(context); },
                              [&context] { Module1::LoadTemplateWindows(context); }});
    context.Lang("D5", Nowy::NoRowText, Nowy::NoRowText);
    return ParseFile(context.LanguageFilePath());
}

} // namespace

TEST(ShippedLanguageFiles, HoldEveryKeyOfATemplateRunWithAValue) {
    const ParsedFile wanted = TemplateKeys();
    ASSERT_GT(wanted.size(), 10u);
    for (const char* name : {"Polish.lag", "English.lag"}) {
        const QString shipped = QStringLiteral(LANGUAGE_SOURCE_DIR "/") + name;
        ASSERT_TRUE(QFile::exists(shipped)) << name;
        const ParsedFile file = ParseFile(shipped);
        for (const auto& [section, keys] : wanted) {
            for (const auto& entry : keys) {
                const QString value = CzytajIni(shipped, section, entry.first, QString());
                EXPECT_FALSE(value.isEmpty())
                    << name << " [" << section.toStdString() << "] " << entry.first.toStdString();
            }
        }
        EXPECT_EQ(CzytajIni(shipped, "", "ok", "?"), "n") << name;
    }
}

TEST(ShippedLanguageFiles, PolishIsAsDesignedAndEnglishIsTranslated) {
    const QString polish = QStringLiteral(LANGUAGE_SOURCE_DIR "/Polish.lag");
    const QString english = QStringLiteral(LANGUAGE_SOURCE_DIR "/English.lag");
    const ParsedFile wanted = TemplateKeys();
    int translated = 0;
    int total = 0;
    for (const auto& [section, keys] : wanted) {
        for (const auto& [key, designed] : keys) {
            if (section.isEmpty())
                continue;
            EXPECT_EQ(CzytajIni(polish, section, key, QString()), designed)
                << "[" << section.toStdString() << "] " << key.toStdString();
            ++total;
            if (CzytajIni(english, section, key, QString()) != designed)
                ++translated;
        }
    }
    // Names such as "Lp", "Timer" or "TCP" read the same in both.
    EXPECT_GT(translated, total * 8 / 10);
    EXPECT_EQ(CzytajIni(english, "MSG", "MSG_26", QString()), "Please restart the program.");
    EXPECT_EQ(CzytajIni(english, "D6", "&Zatwierdz", QString()).count('&'), 1);
}

TEST(ShippedLanguageFiles, ANewProgramFolderIsFilledFromBesideTheExecutable) {
    QTemporaryDir root{TestEnvironment::Root() + "/fresh-XXXXXX"};
    const QString program = root.filePath("Trevalo");
    const QString shipped =
        ProgramFolder::ShippedLanguageFolder(QCoreApplication::applicationDirPath());
    QString error;
    ASSERT_TRUE(ProgramFolder::Prepare(program, shipped, &error)) << error.toStdString();
    for (const char* name : {"Polish.lag", "English.lag", "Polish.html", "English.html"}) {
        const QByteArray source =
            TestFiles::ReadFile(QStringLiteral(LANGUAGE_SOURCE_DIR "/") + name);
        ASSERT_FALSE(source.isEmpty()) << name;
        EXPECT_EQ(TestFiles::ReadFile(program + "/Language/" + name), source) << name;
    }
}
