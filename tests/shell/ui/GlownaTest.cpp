#include "Glowna.h"
#include "CycleSettings.h"
#include "Cykl.h"
#include "DebugForm.h"
#include "EventWait.h"
#include "HelpWindow.h"
#include "INI.h"
#include "KontrolaWagi.h"
#include "Module1.h"
#include "Mordal.h"
#include "Opcje.h"
#include "PerUserSettings.h"
#include "PtyPair.h"
#include "SimulatorProcess.h"
#include "StartedProgram.h"
#include "StatisticsPanel.h"
#include "StatusFields.h"
#include "StoreReadings.h"
#include "TestEnvironment.h"
#include "Wykres.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QStatusBar>
#include <QTableView>
#include <QTextBrowser>
#include <gtest/gtest.h>
#include <tuple>

using namespace Pomiar;
using Pomiar::INI::CzytajIni;
using Pomiar::INI::ZapiszIni;

namespace {

// The started program with its language folder in place.
class MainWindowTest : public StartedProgram {
protected:
    MainWindowTest() { QDir().mkpath(context.LanguageFolder()); }

    QAction* Button(Command command) { return window->Commands().ToolbarButton(command); }
    QAction* Item(Command command) { return window->Commands().MenuItem(command); }

    // The program started with a TCP link to the balance simulator; the
    // simulator's port, or 0 when either did not start.
    int StartOnTcpSimulator(QProcess& simulator) {
        const int port = StartTcpSimulator(simulator, BALANCE_SIM_PATH);
        if (port == 0)
            return 0;
        SetLink("1", "1", "9600");
        ZapiszIni(context.IniPath(), "ustawienia", "HostIP", "127.0.0.1");
        ZapiszIni(context.IniPath(), "ustawienia", "HostPort", QString::number(port));
        return Start() ? port : 0;
    }
};

} // namespace

TEST_F(MainWindowTest, FirstStartWritesTheSettingsAndNamesTheStation) {
    ASSERT_TRUE(Module1::ReadSettings(context));
    EXPECT_EQ(context.applicationTitle, "Trevalo [1]");
    const QString ini = context.IniPath();
    EXPECT_EQ(CzytajIni(ini, "EXPORT", "fastExportEnabled", ""), "False");
    EXPECT_EQ(CzytajIni(ini, "EXPORT", "fastExportFileName", ""), "FastExportFile");
    EXPECT_EQ(CzytajIni(ini, "EXPORT", "journalTrailer", ""), "False");
    EXPECT_EQ(CzytajIni(ini, "ustawienia", "pomiarShowNote", ""), "False");
    EXPECT_EQ(CzytajIni(ini, "ustawienia", "pomiarShowSave", ""), "False");
    EXPECT_EQ(CzytajIni(ini, "COMMANDS", "CMD_SEND_UNSTABLE", ""), "SI");
    EXPECT_EQ(CzytajIni(ini, "COMMANDS", "CMD_SEND_STABLE", ""), "S");
}

TEST_F(MainWindowTest, StationSevenHasItsOwnTitleAndUserSettings) {
    ZapiszIni(context.IniPath(), "ustawienia", "Nr_wagi", "7");
    ZapiszIni(context.IniPath(), "ustawienia", "language", "Englag.lag");
    ASSERT_TRUE(Module1::ReadSettings(context));
    EXPECT_EQ(context.applicationTitle, "Trevalo [7]");
    EXPECT_EQ(context.settings.languageFileName, "Englag.lag");
    EXPECT_EQ(context.settings.helpFileName, "Engchm.chm");
    PerUserSettings seven(context.applicationTitle);
    PerUserSettings one("Trevalo [1]");
    seven.SaveSetting("Setup\\Cykl", "Timer", "25");
    EXPECT_NE(seven.FilePath(), one.FilePath());
    EXPECT_EQ(one.GetSetting("Setup\\Cykl", "Timer", "none"), "none");
}

TEST_F(MainWindowTest, UnusableBooleanSettingEndsTheStart) {
    ZapiszIni(context.IniPath(), "ustawienia", "pomiarShowNote", "maybe");
    EXPECT_FALSE(Module1::ReadSettings(context));
    ASSERT_EQ(dialogs.Calls().size(), 1u);
    EXPECT_TRUE(dialogs.Calls()[0].text.contains("Type mismatch"));
}

TEST_F(MainWindowTest, NonNumericSpeedEndsTheStartWithMessageOne) {
    SetLink("2", "1", "fast");
    EXPECT_FALSE(Start());
    ASSERT_EQ(dialogs.Calls().size(), 1u);
    // The message names the key and the file, so it can be mended by hand.
    EXPECT_TRUE(dialogs.Calls()[0].text.startsWith(context.Msg(1) + "\r\n\r\n"));
    EXPECT_TRUE(dialogs.Calls()[0].text.contains("Speed")) << dialogs.Calls()[0].text.toStdString();
    EXPECT_TRUE(dialogs.Calls()[0].text.contains("ustawienia.ini"));
    EXPECT_EQ(dialogs.Calls()[0].title, context.Msg(46));
    EXPECT_EQ(dialogs.Calls()[0].icon, MsgIcon::Information);
    EXPECT_EQ(optionsShown, 0);
}

// A journal that verifies but does not vouch for all the series shows
// names what it lacks, the first of these that applies, and never "0
// readings".
TEST(StatusFieldsTest, TheJournalFieldNamesWhatTheJournalDoesNotVouchFor) {
    QStatusBar bar;
    StatusFields fields(&bar);
    auto* shown = bar.findChild<QLabel*>("journalStatus");
    ASSERT_NE(shown, nullptr);
    const QString verified = "Dziennik serii: zweryfikowany (9 wpisow)";
    struct Case {
        int before;
        int partly;
        bool report;
        QString expected;
    };
    for (const Case& c : {
             Case{2, 4, true, verified + ", BEZ POSWIADCZENIA 2 pomiarow starszych niz dziennik"},
             Case{0, 4, true,
                  verified + ", BEZ POSWIADCZENIA Timer i LpTekst 4 pomiarow (wpisy wczesniejszej "
                             "wersji)"},
             Case{0, 0, true, verified + ", BEZ POSWIADCZENIA raport starszy niz dziennik"},
         }) {
        SeriesJournal::Verification verdict;
        verdict.state = SeriesJournal::Verification::State::Verified;
        verdict.rows = 9;
        verdict.readingsBefore = c.before;
        verdict.readingsPartly = c.partly;
        verdict.reportBefore = c.report;
        fields.ShowJournal(verdict);
        EXPECT_EQ(shown->text(), c.expected);
    }
}

TEST_F(MainWindowTest, CaptionCarriesTheProgramVersion) {
    PtyPair balance;
    balance.Publish(1);
    SetLink("2", "1", "9600");
    ASSERT_TRUE(Start());
    EXPECT_EQ(window->windowTitle(), "Trevalo v.5.2.0");
    EXPECT_EQ(optionsShown, 0);
}

TEST_F(MainWindowTest, PortThatCannotOpenShowsTheErrorAndOptionsBeforeTheWindow) {
    SetLink("2", "3", "9600");
    bool visibleWhenAsked = true;
    ASSERT_TRUE(Module1::ReadSettings(context));
    window = std::make_unique<Glowna>(context);
    dialogs.WhileOpen<Opcje>([&](Opcje&) {
        ++optionsShown;
        visibleWhenAsked = window->isVisible();
    });
    ASSERT_TRUE(window->Load());
    EXPECT_EQ(optionsShown, 1);
    EXPECT_FALSE(visibleWhenAsked);
    ASSERT_EQ(dialogs.Calls().size(), 1u);
    EXPECT_EQ(dialogs.Calls()[0].title, "Communication Error");
    // The failure names the port and the device that was tried.
    EXPECT_EQ(dialogs.Calls()[0].text, "Source: Serial-3\r\n" + Mordal::PortNames::DisplayName(3) +
                                           ": " + QString::fromLocal8Bit(strerror(ENOENT)));
    EXPECT_EQ(dialogs.Calls()[0].icon, MsgIcon::Critical);
    EXPECT_EQ(window->Session().OpisZrodla(), "Serial-3");
}

TEST_F(MainWindowTest, FirstStartWithoutTheDefaultPortOffersTheOptionsWithoutAnError) {
    ASSERT_TRUE(Module1::ReadSettings(context));
    window = std::make_unique<Glowna>(context);
    dialogs.WhileOpen<Opcje>([&](Opcje&) { ++optionsShown; });
    ASSERT_TRUE(window->Load());
    EXPECT_EQ(optionsShown, 1);
    EXPECT_TRUE(dialogs.Calls().empty());
    EXPECT_FALSE(window->Session().LinkOpen());
}

TEST_F(MainWindowTest, TheLabDatabaseIsOffByDefaultAndShowsNothing) {
    SetLink("0");
    ASSERT_TRUE(Start());
    EXPECT_EQ(window->findChild<QLabel*>("labServerStatus"), nullptr);
}

TEST_F(MainWindowTest, ALabDatabaseOutOfReachIsToldOnceAndReadingsWaitForIt) {
    SetLink("0");
    INI::ZapiszIni(context.IniPath(), "LabServer", "Enabled", "True");
    // Nothing listens on port 1 of the loopback: the connection is refused.
    INI::ZapiszIni(context.IniPath(), "LabServer", "Connection",
                   "host=127.0.0.1 port=1 dbname=lab connect_timeout=2");
    ASSERT_TRUE(Start());
    auto* field = window->findChild<QLabel*>("labServerStatus");
    ASSERT_NE(field, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return !dialogs.Calls().empty(); }, 10000));
    ASSERT_TRUE(AppendReading(window->Store(), "1 g", "g", QDateTime::currentDateTime()));
    // Between two attempts the field says the server is out of reach.
    ASSERT_TRUE(WaitUntil(
        [&] {
            return field->text().contains("w kolejce: 1") &&
                   field->text().contains("brak polaczenia");
        },
        10000))
        << field->text().toStdString();
    ASSERT_EQ(dialogs.Calls().size(), 1u) << "once per outage, not per attempt";
    EXPECT_TRUE(dialogs.Calls()[0].text.startsWith("Baza laboratorium jest niedostepna"));
    EXPECT_EQ(window->Store().RowCount(), 1) << "the reading is stored here all the same";
}

TEST_F(MainWindowTest, MessagesOutsideTheMessageTableFollowTheLanguageFile) {
    QFile language(context.LanguageFilePath());
    ASSERT_TRUE(language.open(QIODevice::WriteOnly));
    language.write("[D4]\r\nCommunication Error=Link error\r\nSource:=From:\r\n"
                   "Nie znaleziono pliku pomocy:=Help file not found:\r\n");
    language.close();
    SetLink("2", "3", "9600");
    ASSERT_TRUE(Start());
    ASSERT_FALSE(dialogs.Calls().empty());
    EXPECT_EQ(dialogs.Calls()[0].title, "Link error");
    EXPECT_TRUE(dialogs.Calls()[0].text.startsWith("From: Serial-3\r\n"))
        << dialogs.Calls()[0].text.toStdString();

    window->Commands().RunCommand(Command::Pomoc);
    EXPECT_EQ(dialogs.Calls().back().text, "Help file not found:\r\n" + window->HelpFile());
}

TEST_F(MainWindowTest, NoSourceLeavesTheFirstLineBare) {
    SetLink("0", "1", "9600");
    ASSERT_TRUE(Start());
    EXPECT_EQ(window->Session().OpisZrodla(), "");
    EXPECT_EQ(optionsShown, 1) << "no link is open, so the options come up";
}

TEST_F(MainWindowTest, HelpFileIsFoundUnderTheLanguageFolder) {
    QFile(context.LanguageFolder() + "/Polish.chm").open(QIODevice::WriteOnly);
    SetLink("0", "1", "9600");
    ASSERT_TRUE(Start());
    EXPECT_EQ(window->HelpFile(), context.LanguageFolder() + "/Polish.chm");
}

TEST_F(MainWindowTest, MissingHelpFileFallsBackToEnglish) {
    SetLink("0", "1", "9600");
    ASSERT_TRUE(Start());
    EXPECT_EQ(window->HelpFile(), context.LanguageFolder() + "/English.chm");
}

TEST_F(MainWindowTest, GuideShowsInItsOwnWindowWhenTheDesktopHasNoViewer) {
    QFile guide(context.LanguageFolder() + "/English.html");
    ASSERT_TRUE(guide.open(QIODevice::WriteOnly));
    guide.write("<html><head><title>User guide</title></head><body><h1>Connecting</h1>"
                "</body></html>");
    guide.close();
    dialogs.desktopOpens = false;
    SetLink("0", "1", "9600");
    ASSERT_TRUE(Start());
    window->Commands().RunCommand(Command::Pomoc);
    auto* shown = window->findChild<HelpWindow*>();
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(shown->isVisible());
    EXPECT_EQ(shown->windowTitle(), "User guide");
    EXPECT_TRUE(shown->Browser()->toPlainText().contains("Connecting"));
    EXPECT_TRUE(dialogs.Messages().isEmpty());

    // A compiled help file without a viewer is told apart from a missing one.
    QFile(context.LanguageFolder() + "/Polish.chm").open(QIODevice::WriteOnly);
    window.reset();
    ASSERT_TRUE(Start());
    window->Commands().RunCommand(Command::Pomoc);
    EXPECT_EQ(dialogs.Messages().last(),
              "Nie mozna otworzyc pliku pomocy:\r\n" + window->HelpFile());
}

TEST_F(MainWindowTest, EveryCommandHasItsMenuItemAndButtonApart) {
    SetLink("0", "1", "9600");
    ASSERT_TRUE(Start());
    // The names the language files and the toolbar's images go by; null
    // where a command has no button or no menu item.
    const std::tuple<Command, const char*, const char*> commands[] = {
        {Command::Nowa, "nowa", "mnunowa"},
        {Command::Otworz, "otworz", "mnuotworz"},
        {Command::Zapisz, "zapisz", "mnuzapisz"},
        {Command::Drukuj, "drukuj", "mnudrukuj"},
        {Command::Raport, "raport", "mnuRaport"},
        {Command::Wykres, "wykres", "mnuwykres"},
        {Command::Start, "start", "mnustart"},
        {Command::Stop, "stop", "mnustop"},
        {Command::Pauza, "pauza", "mnupauza"},
        {Command::Opcje, "opcje", "mnuopcje"},
        {Command::Cykl, "cykl", "mnucykl"},
        {Command::Wykresopcje, "wykresopcje", "mnuustwykres"},
        {Command::Odczyt, "odczyt", "mnuodczyt"},
        {Command::Tara, "tara", "mnutara"},
        {Command::Rozpocznij, "rozpocznij", "mnuCiagla"},
        {Command::Stabilny, "stabilny", "mnuStabilne"},
        {Command::Pomoc, "pomoc", "mnupomoc"},
        {Command::Wyjscie, "wyjscie", "mnuwyjscie"},
        {Command::Connection, "connection", nullptr},
        {Command::Languuage, nullptr, "Languuage"}};
    for (const auto& [command, button, item] : commands) {
        if (button) {
            ASSERT_NE(Button(command), nullptr) << button;
            EXPECT_EQ(Button(command)->objectName(), button);
            EXPECT_EQ(window->findChild<QAction*>(button), Button(command)) << button;
            EXPECT_FALSE(Button(command)->icon().isNull()) << button;
        } else {
            EXPECT_EQ(Button(command), nullptr) << item;
        }
        if (item) {
            ASSERT_NE(Item(command), nullptr) << item;
            EXPECT_EQ(Item(command)->objectName(), item);
        } else {
            EXPECT_EQ(Item(command), nullptr) << button;
        }
    }
    EXPECT_NE(Item(Command::Odczyt), Button(Command::Odczyt));
    EXPECT_FALSE(Item(Command::Stop)->isEnabled());
    EXPECT_FALSE(Button(Command::Pauza)->isEnabled());
}

TEST_F(MainWindowTest, TheBalanceCheckItemOpensItsWindowAndTheStatusBarTellsTheChecks) {
    SetLink("0", "1", "9600");
    ZapiszIni(context.IniPath(), "CHECKS", "scheduleRepeatability", "daily");
    ASSERT_TRUE(Start());
    ASSERT_NE(Item(Command::KontrolaWagi), nullptr);
    EXPECT_EQ(Button(Command::KontrolaWagi), nullptr);
    auto* status = window->findChild<QLabel*>("checkStatus");
    ASSERT_NE(status, nullptr);
    // Scheduled and never done: due now, shown as a warning.
    EXPECT_EQ(status->text(), "Kontrola: brak, nastepna dzis");
    EXPECT_TRUE(status->styleSheet().contains("color"));
    Item(Command::KontrolaWagi)->trigger();
    auto* checks = window->findChild<KontrolaWagi*>();
    ASSERT_NE(checks, nullptr);
    EXPECT_TRUE(checks->isVisible());
    EXPECT_TRUE(QFile::exists(folder.filePath("checks.db"))) << "the register beside dane.mdb";
    window->Commands().RunCommand(Command::KontrolaWagi);
    EXPECT_EQ(window->findChildren<KontrolaWagi*>().size(), 1) << "one window, raised again";
    // The main window with its menu item and status line, for a look.
    if (const QString shots = qEnvironmentVariable("CHECKUI_SHOTS"); !shots.isEmpty()) {
        EXPECT_TRUE(window->grab().save(QDir(shots).filePath("main-window-status.png")));
    }
}

TEST_F(MainWindowTest, ButtonsRunTheOperationOfTheirKey) {
    SetLink("0", "1", "9600");
    ASSERT_TRUE(Start());
    optionsShown = 0;
    window->Commands().RunCommand(Command::Opcje);
    EXPECT_EQ(optionsShown, 1);
    Item(Command::Opcje)->trigger();
    EXPECT_EQ(optionsShown, 2);
}

using MainWindowLink = MainWindowTest;

TEST_F(MainWindowLink, SingleReadSendsTheStableCommandAndTheTrafficIsShown) {
    PtyPair balance;
    balance.Publish(1);
    SetLink("2", "1", "9600");
    ASSERT_TRUE(Start());
    ASSERT_TRUE(window->Session().LinkOpen());
    EXPECT_EQ(balance.Read(4), "C0\r\n") << "any stream is stopped when the link opens";
    EXPECT_TRUE(Button(Command::Odczyt)->isEnabled());
    EXPECT_TRUE(Item(Command::Tara)->isEnabled());

    window->Windows().ShowDebugForm();
    window->Commands().RunCommand(Command::Odczyt);
    EXPECT_EQ(balance.Read(3), "S\r\n");
    balance.Write("S     12.3456 g  \r\n");
    auto* text = window->Windows().Debug()->findChild<QPlainTextEdit*>("Text1");
    ASSERT_NE(text, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return text->toPlainText().contains("(IN ): "); }));
    const QStringList lines = text->toPlainText().split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].endsWith(" (OUT): S[CRLF]")) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].endsWith(" (IN ): S     12.3456 g  [CRLF]")) << lines[1].toStdString();
}

// The command read from the station's settings file reaches the engine.
TEST_F(MainWindowLink, UnstableSwitchSendsTheConfiguredCommand) {
    PtyPair balance;
    balance.Publish(1);
    SetLink("2", "1", "9600");
    ZapiszIni(context.IniPath(), "COMMANDS", "CMD_SEND_UNSTABLE", "SIR");
    ASSERT_TRUE(Start());
    EXPECT_EQ(balance.Read(4), "C0\r\n");
    window->Commands().RunCommand(Command::Stabilny);
    EXPECT_TRUE(Item(Command::Stabilny)->isChecked());
    window->Session().OdpytajWage();
    EXPECT_EQ(balance.Read(5), "SIR\r\n");
}

TEST_F(MainWindowLink, ReadCommandsFollowTheLinkState) {
    PtyPair balance;
    balance.Publish(1);
    SetLink("2", "1", "9600");
    ASSERT_TRUE(Start());
    EXPECT_TRUE(Item(Command::Odczyt)->isEnabled());
    window->Commands().RunCommand(Command::Connection);
    EXPECT_FALSE(window->Session().LinkOpen());
    EXPECT_FALSE(Item(Command::Odczyt)->isEnabled());
    EXPECT_FALSE(Button(Command::Tara)->isEnabled());
    window->Commands().RunCommand(Command::Connection);
    EXPECT_TRUE(Button(Command::Odczyt)->isEnabled());
    // Commands that do not read from the balance stay as they are.
    EXPECT_TRUE(Item(Command::Languuage)->isEnabled());
    EXPECT_TRUE(Button(Command::Zapisz)->isEnabled());
}

// The reopening is the engine's (its tests); the read commands follow it.
TEST_F(MainWindowLink, ReadCommandsFollowADroppedAndReopenedTcpLink) {
    QProcess simulator;
    const int port = StartOnTcpSimulator(simulator);
    ASSERT_NE(port, 0);
    ASSERT_TRUE(window->Session().LinkOpen());

    simulator.write("drop\n");
    ASSERT_TRUE(WaitUntil([&] { return !window->Session().LinkOpen(); }));
    EXPECT_FALSE(Button(Command::Odczyt)->isEnabled());
    ASSERT_TRUE(WaitUntil([&] { return window->Session().LinkOpen(); }, 8000));
    EXPECT_TRUE(Button(Command::Odczyt)->isEnabled());
    simulator.write("quit\n");
    simulator.waitForFinished(2000);
}

TEST_F(MainWindowLink, ARefusingPeerIsToldOncePerOutageAndTheStatusSaysSo) {
    QProcess simulator;
    const int port = StartOnTcpSimulator(simulator);
    ASSERT_NE(port, 0);
    ASSERT_TRUE(window->Session().LinkOpen());
    auto* status = window->findChild<QLabel*>("linkStatus");
    ASSERT_NE(status, nullptr);
    const QString link = "127.0.0.1:" + QString::number(port);
    EXPECT_EQ(status->text(), link + ": polaczono");
    dialogs.Clear();

    // The balance goes away: every attempt to reopen is refused.
    window->Session().SetReopenIntervalMs(50);
    simulator.write("quit\n");
    ASSERT_TRUE(simulator.waitForFinished(3000));
    ASSERT_TRUE(WaitUntil([&] { return !window->Session().LinkOpen(); }));
    RunEventsFor(400);
    window->Commands().RunCommand(Command::Connection);
    window->Commands().RunCommand(Command::Connection);
    ASSERT_EQ(dialogs.Calls().size(), 1u);
    EXPECT_EQ(dialogs.Calls()[0].title, "Communication Error");
    EXPECT_TRUE(dialogs.Calls()[0].text.startsWith("Source: TCP-127.0.0.1\r\n" + link + ": "))
        << dialogs.Calls()[0].text.toStdString();
    EXPECT_TRUE(status->text().startsWith(link + ": ")) << status->text().toStdString();
    EXPECT_NE(status->text(), link + ": polaczono");
}

TEST(LinkWatchTexts, APortTheUserMayNotOpenNamesTheGroupToJoin) {
    PtyPair device;
    device.Publish(4);
    Mordal::Comm comm;
    comm.SetCommSource(int(Mordal::enCommSource::Serial));
    comm.SetSerialPort(4);
    Mordal::Comm* link = &comm;
    LinkWatch watch(link);
    const LinkWatch::Texts texts;
    const QString group = QFileInfo(device.SlavePath()).group();
    ASSERT_FALSE(group.isEmpty());
    const QString text = watch.FailureText(EACCES, "Permission denied", texts);
    EXPECT_TRUE(text.startsWith("COM4 (" + device.SlavePath() + "): Permission denied\r\n"))
        << text.toStdString();
    EXPECT_TRUE(text.contains("\"" + group + "\"")) << text.toStdString();
    EXPECT_EQ(watch.FailureText(ENOENT, "No such file or directory", texts),
              "COM4 (" + device.SlavePath() + "): No such file or directory");

    // One outage, one message; another link, or the same after it was up,
    // is a new outage.
    EXPECT_TRUE(watch.FirstFailureOfOutage());
    EXPECT_FALSE(watch.FirstFailureOfOutage());
    comm.SetSerialPort(5);
    EXPECT_TRUE(watch.FirstFailureOfOutage());
    watch.Reported(true);
    EXPECT_TRUE(watch.FirstFailureOfOutage());
}

using MainWindowClose = MainWindowTest;

TEST_F(MainWindowClose, EveryOtherWindowClosesThroughItsOwnPathBeforeTheProgramEnds) {
    SetLink("0", "1", "9600");
    ASSERT_TRUE(Start());
    window->ShowCycleSettings();
    auto* cycle = window->findChild<Cykl*>();
    ASSERT_NE(cycle, nullptr);
    cycle->Text1->setText("7");
    window->Windows().ShowDebugForm();
    for (int i = 0; i < 3; ++i)
        AppendReading(window->Store(), "1 g", "g", QDateTime::currentDateTime());
    window->Commands().RunCommand(Command::Wykres);
    ASSERT_NE(window->Windows().ChartWindow(), nullptr);
    ASSERT_TRUE(window->Windows().ChartWindow()->isVisible());
    dialogs.Clear();
    int visibleAtClosed = -1;
    QObject::connect(window.get(), &Glowna::Closed, [&] {
        visibleAtClosed = 0;
        for (QWidget* other : QApplication::topLevelWidgets())
            visibleAtClosed += other != window.get() && other->isVisible() ? 1 : 0;
    });
    dialogs.AnswerNext(MsgAnswer::No);
    window->close();
    EXPECT_EQ(visibleAtClosed, 0);
    EXPECT_EQ(context.userSettings->GetSetting(CycleSettings::Section, CycleSettings::KeyTimer,
                                               QString()),
              "7");
}

TEST_F(MainWindowClose, EmptySeriesAsksWhetherToEndAndNoKeepsTheProgram) {
    SetLink("0", "1", "9600");
    ASSERT_TRUE(Start());
    dialogs.Clear();
    int closed = 0;
    QObject::connect(window.get(), &Glowna::Closed, [&] { ++closed; });
    dialogs.AnswerNext(MsgAnswer::No);
    window->Commands().RunCommand(Command::Wyjscie);
    ASSERT_EQ(dialogs.Calls().size(), 1u);
    EXPECT_EQ(dialogs.Calls()[0].text, context.Msg(5));
    EXPECT_EQ(dialogs.Calls()[0].title, context.Msg(45));
    EXPECT_EQ(dialogs.Calls()[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(closed, 0);
    EXPECT_TRUE(window->isVisible());

    dialogs.AnswerNext(MsgAnswer::Yes);
    Item(Command::Wyjscie)->trigger();
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->Session().HasLink());
}

TEST_F(MainWindowClose, SeriesWithRowsOffersToSave) {
    SetLink("0", "1", "9600");
    ASSERT_TRUE(Start());
    dialogs.Clear();
    int closed = 0;
    for (int i = 0; i < 3; ++i)
        AppendReading(window->Store(), "1 g", "g", QDateTime::currentDateTime());
    QObject::connect(window.get(), &Glowna::Closed, [&] { ++closed; });

    dialogs.AnswerNext(MsgAnswer::Cancel);
    window->close();
    EXPECT_EQ(dialogs.Calls().back().text, context.Msg(4));
    EXPECT_EQ(dialogs.Calls().back().buttons, MsgButtons::YesNoCancel);
    EXPECT_EQ(closed, 0);

    const QString saved = folder.filePath("seria.ser");
    dialogs.AnswerNext(MsgAnswer::Yes);
    dialogs.FileNext(saved, "Pliki wazen (*.ser)");
    window->close();
    EXPECT_EQ(dialogs.CallsOf(ScriptedDialogs::Kind::SaveFileName).size(), 1u);
    EXPECT_TRUE(QFile::exists(saved));
    EXPECT_EQ(closed, 1);
}

TEST_F(MainWindowClose, OpenSeriesFileIsAskedAboutFirst) {
    SetLink("0", "1", "9600");
    ASSERT_TRUE(Start());
    // A cancelled open marks the series file as an opened one does.
    window->Commands().RunCommand(Command::Otworz);
    ASSERT_TRUE(window->Series().SeriesFileFlag());
    dialogs.Clear();
    dialogs.AnswerNext(MsgAnswer::No);
    window->close();
    ASSERT_EQ(dialogs.Calls().size(), 1u);
    EXPECT_EQ(dialogs.Calls()[0].text, context.Msg(28));
    EXPECT_TRUE(window->isVisible());
}

TEST_F(MainWindowClose, ClosingLetsThePortGo) {
    PtyPair balance;
    balance.Publish(1);
    SetLink("2", "1", "9600");
    ASSERT_TRUE(Start());
    dialogs.AnswerNext(MsgAnswer::Yes);
    window->close();
    EXPECT_FALSE(window->Session().LinkOpen());
    Mordal::Comm other;
    other.SetCommSource(int(Mordal::enCommSource::Serial));
    other.SetCommOpen(true);
    EXPECT_TRUE(other.CommOpen());
}

// The program on a balance at a pseudo-terminal, its replies handed in one
// by one.
class MainWindowReadings : public MainWindowTest {
protected:
    MainWindowReadings() { balance.Publish(1); }
    ~MainWindowReadings() override { window.reset(); }

    bool StartOnTheBalance() {
        SetLink("2", "1", "9600");
        return Start();
    }

    PtyPair balance;
};

TEST_F(MainWindowReadings, RepliesOfTheBalanceFillTheGridAndTheStatistics) {
    ASSERT_TRUE(StartOnTheBalance());
    MeasurementStore& store = window->Store();
    auto* count = window->Panel()->Field("lblLiczba");
    auto* mean = window->Panel()->Field("lblSrednia");
    ASSERT_NE(count, nullptr);

    balance.Write("S     1.0000 g  \r\n");
    ASSERT_TRUE(WaitUntil([&] { return store.RowCount() == 1; }));
    EXPECT_TRUE(count->text().isEmpty()) << "statistics need two readings";
    balance.Write("S A\r\nES\r\nSI ?   3.0000 g  \r\n");
    ASSERT_TRUE(WaitUntil([&] { return store.RowCount() == 2; }));
    RunEventsFor(50);
    EXPECT_EQ(count->text(), "2");
    EXPECT_EQ(mean->text(), "2.0000");
    EXPECT_TRUE(mean->textInteractionFlags() & Qt::TextSelectableByMouse) << "to be copied";
    const QModelIndex last = window->Grid()->model()->index(1, SeriesModel::Masa);
    EXPECT_EQ(last.data().toString(), "3.0000");
    EXPECT_EQ(window->Grid()->currentIndex().row(), 1) << "the new row is current";
}

TEST_F(MainWindowReadings, TheReadingColumnGrowsSoThatNoValueIsCut) {
    SetLink("0", "1", "9600");
    ASSERT_TRUE(Start());
    QTableView* grid = window->Grid();
    const int designed = grid->columnWidth(SeriesModel::Masa);
    AppendReading(window->Store(), "1000000.0001 g", "g", QDateTime::currentDateTime());
    const QModelIndex wide = grid->model()->index(0, SeriesModel::Masa);
    EXPECT_EQ(wide.data().toString(), "1000000.0001");
    EXPECT_GE(grid->columnWidth(SeriesModel::Masa), grid->sizeHintForIndex(wide).width());
    EXPECT_GT(grid->columnWidth(SeriesModel::Masa), designed);
}

// The panel's limits go to the store, which the engine's acceptance asks
// (the readings they turn away are the engine's tests).
TEST_F(MainWindowReadings, LimitsFromThePanelGoToTheStore) {
    ASSERT_TRUE(StartOnTheBalance());
    StatisticsPanel* panel = window->Panel();
    panel->ChMin->click();
    EXPECT_TRUE(panel->txtMin->isVisible());
    EXPECT_EQ(CzytajIni(context.IniPath(), "ustawienia", "min", ""), "1");
    panel->txtMin->setText("10");
    emit panel->txtMin->editingFinished();
    EXPECT_EQ(CzytajIni(context.IniPath(), "ustawienia", "wart_min", ""), "10");
    EXPECT_TRUE(window->Store().Limits().minOn);
    EXPECT_EQ(window->Store().Limits().minText, "10");

    panel->ChMax->click();
    panel->txtMax->setText("1,5");
    emit panel->txtMax->editingFinished();
    EXPECT_EQ(panel->txtMax->text(), "1.5");
    panel->ChMin->click();
    EXPECT_FALSE(panel->txtMin->isVisible());
    EXPECT_FALSE(window->Store().Limits().minOn);
    EXPECT_TRUE(window->Store().Limits().maxOn);
    EXPECT_EQ(window->Store().Limits().maxText, "1.5");
}

TEST_F(MainWindowReadings, LimitSwitchesStartAsTheyWereLeft) {
    ZapiszIni(context.IniPath(), "ustawienia", "max", "1");
    ZapiszIni(context.IniPath(), "ustawienia", "wart_max", "2,5");
    ASSERT_TRUE(StartOnTheBalance());
    window->Panel()->RestoreLimitSwitches();
    EXPECT_TRUE(window->Panel()->ChMax->isChecked());
    EXPECT_EQ(window->Panel()->txtMax->text(), "2.5");
    EXPECT_FALSE(window->Panel()->ChMin->isChecked());
    EXPECT_TRUE(window->Store().Limits().maxOn);
    EXPECT_EQ(window->Store().Limits().maxText, "2.5");
}

TEST_F(MainWindowReadings, MoistureReadingShowsItsPercentWithoutStatistics) {
    ASSERT_TRUE(StartOnTheBalance());
    ASSERT_TRUE(Reply(balance, "S     1.0000 g  \r\n"));
    ASSERT_TRUE(Reply(balance, "S     3.0000 g  \r\n"));
    EXPECT_FALSE(window->Panel()->Field("lblLiczba")->text().isEmpty());
    ASSERT_TRUE(Reply(balance, "12:05      3.50 %  \r\n"));
    ASSERT_EQ(window->Store().RowCount(), 3);
    EXPECT_TRUE(window->Panel()->Field("lblLiczba")->text().isEmpty());
}
