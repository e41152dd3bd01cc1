#include "CycleGate.h"
#include "Database.h"
#include "DebugForm.h"
#include "EventWait.h"
#include "Film.h"
#include "Glowna.h"
#include "INI.h"
#include "Mordal.h"
#include "PtyPair.h"
#include "QtUserDialogs.h"
#include "StartedProgram.h"
#include "StoreReadings.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <gtest/gtest.h>

using namespace Pomiar;

namespace {

// The main window connected to a balance on a pseudo-terminal, with the
// user's answers scripted.
class AcquisitionTest : public StartedProgram {
protected:
    AcquisitionTest() { balance.Publish(1); }
    // The window closes its link before the balance goes away.
    ~AcquisitionTest() override { window.reset(); }

    void SetUp() override {
        SetLink("2", "1");
        ASSERT_TRUE(Start());
        // The balance is told to stop any stream when the link opens.
        const QByteArray off = window->Session().Dialect().Commands().continuousOff + "\r\n";
        ASSERT_EQ(balance.Read(int(off.size()), 2000), off);
        window->Session().SetInterval(2);
        QObject::connect(&window->Session(), &AcquisitionSession::LineCollected,
                         [this] { ++collected; });
    }

    // Lines continuous transmission collected so far.
    int Collected() const { return collected; }
    // "E" or "D" for the menu item and for the button of each command.
    std::string States() {
        std::string shown;
        for (const Command command :
             {Command::Start, Command::Stop, Command::Pauza, Command::Odczyt, Command::Rozpocznij,
              Command::Stabilny, Command::Tara}) {
            shown += window->Commands().MenuItem(command)->isEnabled() ? 'E' : 'D';
            shown += window->Commands().ToolbarButton(command)->isEnabled() ? 'E' : 'D';
            shown += ' ';
        }
        return shown;
    }

    // Cycle windows that count how often they were rewound and end the
    // cycle at the first reading.
    struct EndingCycle : CycleWindows {
        int rangesLoaded = 0;
        Result Check(int) override { return Result::EndOfCycle; }
        void LoadFirstRange() override { ++rangesLoaded; }
    };

    // The balance back under the same port name: the link reopens by itself,
    // automatic work asks it, and its reply is stored.
    void PlugBackDuringAutomaticWork(PtyPair& back) {
        back.Publish(1);
        ASSERT_TRUE(WaitUntil([&] { return window->Session().LinkOpen(); }, 3000));
        EXPECT_EQ(back.Read(4, 2000), "SI\r\n");
        back.Write("SI     7.0000 g  \r\n");
        ASSERT_TRUE(WaitUntil([&] { return window->Store().RowCount() == 1; }));
    }

    int Requests(const QByteArray& command) {
        return int(balance.Read(1, 100).count(command + "\r\n"));
    }

    PtyPair balance;
    int collected = 0;
};

} // namespace

TEST_F(AcquisitionTest, CommandsFollowTheStateTable) {
    ASSERT_TRUE(window->Session().LinkOpen());
    //                    start stop pause read cont  unst  tare
    EXPECT_EQ(States(), "EE DD DD EE EE EE EE ");
    window->Commands().RunCommand(Command::Start);
    EXPECT_EQ(States(), "DD EE EE DD DD DD EE ");
    window->Commands().RunCommand(Command::Pauza);
    EXPECT_EQ(States(), "DD DD EE DD DD DD EE ");
    EXPECT_TRUE(window->Commands().ToolbarButton(Command::Pauza)->isChecked());
    window->Commands().RunCommand(Command::Pauza);
    EXPECT_EQ(States(), "DD EE EE DD DD DD EE ");
    window->Commands().RunCommand(Command::Stop);
    EXPECT_EQ(States(), "EE DD DD EE EE EE EE ");
    window->Commands().RunCommand(Command::Rozpocznij);
    EXPECT_EQ(States(), "ED DD DD EE EE EE EE ");
    EXPECT_FALSE(window->Commands().MenuItem(Command::Nowa)->isEnabled());
    window->Commands().RunCommand(Command::Rozpocznij);
    EXPECT_EQ(States(), "EE DD DD EE EE EE EE ");
}

TEST_F(AcquisitionTest, StartAsksOnlyWhenThereAreReadingsAndCancelKeepsThem) {
    window->Commands().RunCommand(Command::Start);
    EXPECT_TRUE(dialogs.Calls().empty());
    EXPECT_TRUE(window->Session().AutomaticTimerRunning());
    window->Commands().RunCommand(Command::Stop);

    AppendReading(window->Store(), "1 g", "g", QDateTime::currentDateTime());
    dialogs.AnswerNext(MsgAnswer::Cancel);
    window->Commands().RunCommand(Command::Start);
    ASSERT_EQ(dialogs.Calls().size(), 1u);
    EXPECT_EQ(dialogs.Calls()[0].text, context.Msg(4));
    EXPECT_FALSE(window->Session().AutomaticTimerRunning());
    EXPECT_EQ(window->Store().RowCount(), 1);

    // A save that did not complete (its file dialog cancelled) keeps the
    // readings and does not start.
    dialogs.AnswerNext(MsgAnswer::Yes);
    window->Commands().RunCommand(Command::Start);
    EXPECT_FALSE(window->Session().AutomaticTimerRunning());
    EXPECT_EQ(window->Store().RowCount(), 1);

    dialogs.AnswerNext(MsgAnswer::No);
    window->Commands().RunCommand(Command::Start);
    EXPECT_TRUE(window->Session().AutomaticTimerRunning());
    EXPECT_EQ(window->Store().RowCount(), 0);
}

// What the stop does to the cycle and the series is the session's (its
// tests); the window shows single read held until the link reports.
TEST_F(AcquisitionTest, StopWithCycleWorkOnDisablesSingleReadUntilTheLinkReports) {
    window->Session().SetCycleWork(true);
    EndingCycle cycle;
    window->Session().SetCycleWindows(&cycle);
    window->StartCommand();
    window->Session().Stop();
    EXPECT_FALSE(window->Commands().MenuItem(Command::Odczyt)->isEnabled());
    EXPECT_FALSE(window->Commands().ToolbarButton(Command::Odczyt)->isEnabled());
    window->Commands().RunCommand(Command::Connection);
    window->Commands().RunCommand(Command::Connection);
    EXPECT_TRUE(window->Commands().ToolbarButton(Command::Odczyt)->isEnabled());
}

// What is sent and stored is the session's (its tests); the window shows
// the collecting window while the transmission runs and the rows after.
TEST_F(AcquisitionTest, ContinuousTransmissionShowsTheCollectingWindowWhileItRuns) {
    window->Commands().RunCommand(Command::Rozpocznij);
    ASSERT_NE(window->Windows().FilmWindow(), nullptr);
    EXPECT_TRUE(window->Windows().FilmWindow()->isVisible());
    EXPECT_TRUE(window->Commands().ToolbarButton(Command::Stabilny)->isChecked())
        << "unstable readings shown on for the transmission";
    balance.Write("SI     1.0000 g  \r\nSI     2.0000 g  \r\nC1\r\nSI     3.0000 g  \r\n");
    ASSERT_TRUE(WaitUntil([&] { return Collected() == 4; }));

    window->Commands().RunCommand(Command::Rozpocznij);
    EXPECT_EQ(window->Windows().FilmWindow(), nullptr);
    EXPECT_FALSE(window->Commands().ToolbarButton(Command::Stabilny)->isChecked());
    EXPECT_EQ(window->Grid()->model()->rowCount(), 3);
}

TEST_F(AcquisitionTest, ATransmissionOfOneLineIsRefusedWithAMessage) {
    window->Commands().RunCommand(Command::Rozpocznij);
    balance.Write("SI     1.0000 g  \r\n");
    ASSERT_TRUE(WaitUntil([&] { return Collected() == 1; }));
    window->Commands().RunCommand(Command::Rozpocznij);
    ASSERT_EQ(dialogs.Calls().size(), 1u);
    EXPECT_EQ(dialogs.Calls()[0].text, context.Msg(20));
    EXPECT_EQ(dialogs.Calls()[0].title, context.Msg(46));
    EXPECT_EQ(window->Store().RowCount(), 0);
}

TEST_F(AcquisitionTest, UnstableSwitchAlreadyOnStaysOn) {
    window->Commands().RunCommand(Command::Stabilny);
    window->Commands().RunCommand(Command::Rozpocznij);
    window->Commands().RunCommand(Command::Rozpocznij);
    EXPECT_TRUE(window->Session().UnstableReadings());
    EXPECT_TRUE(window->Commands().ToolbarButton(Command::Stabilny)->isChecked());
}

TEST_F(AcquisitionTest, EscapeInTheCollectingWindowEndsTheTransmission) {
    window->Commands().RunCommand(Command::Rozpocznij);
    balance.Write("SI     1.0000 g  \r\nSI     2.0000 g  \r\n");
    ASSERT_TRUE(WaitUntil([&] { return Collected() == 2; }));
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(window->Windows().FilmWindow(), &escape);
    EXPECT_FALSE(window->Session().ContinuousRunning());
    EXPECT_EQ(window->Store().RowCount(), 2);
    EXPECT_TRUE(balance.Read(8).endsWith("C0\r\n"));
}

TEST_F(AcquisitionTest, ExitDuringTransmissionStoresTheFramesAndKeepsTheProgram) {
    window->Commands().RunCommand(Command::Rozpocznij);
    balance.Write("SI     1.0000 g  \r\nSI     2.0000 g  \r\n");
    ASSERT_TRUE(WaitUntil([&] { return Collected() == 2; }));
    window->Commands().RunCommand(Command::Wyjscie);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(dialogs.Calls().empty());
    EXPECT_EQ(window->Store().RowCount(), 2);
    dialogs.AnswerNext(MsgAnswer::No);
    window->Commands().RunCommand(Command::Wyjscie);
    EXPECT_EQ(dialogs.Calls().size(), 1u) << "the second exit asks the close question";
}

TEST_F(AcquisitionTest, ExitDuringAutomaticWorkStopsItFirst) {
    window->StartCommand();
    dialogs.AnswerNext(MsgAnswer::No);
    window->Commands().RunCommand(Command::Wyjscie);
    EXPECT_FALSE(window->Session().AutomaticTimerRunning());
    EXPECT_TRUE(window->Commands().MenuItem(Command::Start)->isEnabled());
}

// The end itself is the session's (its tests); the window tells it.
TEST_F(AcquisitionTest, EndOfCycleStopsAutomaticWorkAndTells) {
    window->Session().SetCycleWork(true);
    EndingCycle cycle;
    window->Session().SetCycleWindows(&cycle);
    window->StartCommand();
    ASSERT_TRUE(Reply(balance, "SI     1.0000 g  \r\n"));
    EXPECT_FALSE(window->Commands().MenuItem(Command::Stop)->isEnabled());
    ASSERT_EQ(dialogs.Calls().size(), 1u);
    EXPECT_EQ(dialogs.Calls()[0].text, context.Msg(25));
    EXPECT_EQ(dialogs.Calls()[0].icon, MsgIcon::Information);
    EXPECT_EQ(dialogs.Calls()[0].kind, ScriptedDialogs::Kind::Notice)
        << "told from the reading path";
}

// The one request and its stored reply are the session's (its tests).
TEST_F(AcquisitionTest, StartWithoutAnIntervalStopsAndSaysWhereToSetIt) {
    window->Session().SetInterval(0);
    window->StartCommand();
    //                    start stop pause read cont  unst  tare
    EXPECT_EQ(States(), "EE DD DD EE EE EE EE ");
    ASSERT_EQ(dialogs.Calls().size(), 1u);
    EXPECT_TRUE(dialogs.Calls()[0].text.contains("Ustawienia cyklu"));
}

TEST_F(AcquisitionTest, AnUnpluggedBalanceIsToldOnceAndAutomaticWorkGoesOnWhenItComesBack) {
    window->Session().SetInterval(1);
    window->StartCommand();
    EXPECT_EQ(Requests("SI"), 1);
    balance.Unplug();
    ASSERT_TRUE(WaitUntil([&] { return !window->Session().LinkOpen(); }));
    EXPECT_FALSE(window->Commands().ToolbarButton(Command::Odczyt)->isEnabled());
    // Several attempts to reopen fail meanwhile; the user hears of it once.
    RunEventsFor(2500);
    ASSERT_EQ(dialogs.Calls().size(), 1u);
    EXPECT_EQ(dialogs.Calls()[0].kind, ScriptedDialogs::Kind::Notice) << "nothing waits on it";
    EXPECT_TRUE(dialogs.Calls()[0].text.contains("COM1")) << dialogs.Calls()[0].text.toStdString();
    EXPECT_TRUE(window->Session().AutomaticTimerRunning()) << "automatic work goes on ticking";

    PtyPair back;
    ASSERT_NO_FATAL_FAILURE(PlugBackDuringAutomaticWork(back));
    EXPECT_EQ(dialogs.Calls().size(), 1u);
    //                    start stop pause read cont  unst  tare
    EXPECT_EQ(States(), "DD EE EE DD DD DD EE ") << "still automatic work, no second Start";
}

// What is stored is the session's (its tests); the window closes the
// collecting window.
TEST_F(AcquisitionTest, ALinkLostDuringContinuousTransmissionClosesTheCollectingWindow) {
    window->Commands().RunCommand(Command::Rozpocznij);
    EXPECT_EQ(balance.Read(4), "C1\r\n");
    balance.Write("SI     1.0000 g  \r\nSI     2.0000 g  \r\n");
    ASSERT_TRUE(WaitUntil([&] { return Collected() == 2; }));
    balance.Unplug();
    ASSERT_TRUE(WaitUntil([&] { return !window->Session().ContinuousRunning(); }));
    EXPECT_EQ(window->Windows().FilmWindow(), nullptr);
}

// The modes are the session's (its tests); the window's commands follow them.
TEST_F(AcquisitionTest, StartDuringTransmissionLeavesStopAndPauseAvailable) {
    window->Commands().RunCommand(Command::Rozpocznij);
    window->Commands().RunCommand(Command::Start);
    //                    start stop pause read cont  unst  tare
    EXPECT_EQ(States(), "DD EE EE DD DD DD EE ");
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(window->Windows().FilmWindow(), &escape);
    EXPECT_EQ(States(), "DD EE EE DD DD DD EE ") << "Stop and Pause stay available";
    window->Commands().RunCommand(Command::Stop);
    EXPECT_EQ(States(), "EE DD DD EE EE EE EE ");

    // Stopped while the transmission still runs, it is back to transmitting.
    window->Commands().RunCommand(Command::Rozpocznij);
    window->Commands().RunCommand(Command::Start);
    window->Commands().RunCommand(Command::Stop);
    EXPECT_EQ(States(), "ED DD DD EE EE EE EE ");
    EXPECT_NE(window->Windows().FilmWindow(), nullptr);
}

TEST_F(AcquisitionTest, TheCloseBoxDuringTransmissionStopsTheBalanceAndStoresTheLinesFirst) {
    window->Commands().RunCommand(Command::Rozpocznij);
    EXPECT_EQ(balance.Read(4), "C1\r\n");
    balance.Write("SI     1.0000 g  \r\nSI     2.0000 g  \r\n");
    ASSERT_TRUE(WaitUntil([&] { return Collected() == 2; }));
    dialogs.AnswerNext(MsgAnswer::Cancel); // the question about saving the readings
    window->close();
    EXPECT_TRUE(balance.Read(4).endsWith("C0\r\n"));
    EXPECT_FALSE(window->Session().ContinuousRunning());
    EXPECT_EQ(window->Store().RowCount(), 2) << "stored before the question";
    ASSERT_EQ(dialogs.Calls().size(), 1u);
    EXPECT_EQ(dialogs.Calls()[0].text, context.Msg(4));
    EXPECT_TRUE(window->isVisible()) << "Cancel keeps the program";
}

// What is sent and stored is the session's (its tests); the window asks for
// no description of the stream's lines, and for one of a requested reading.
TEST_F(AcquisitionTest, ABalanceStillStreamingWhenTheLinkReturnsIsNotDescribed) {
    context.settings.pomiarShowNote = true;
    window->Commands().RunCommand(Command::Rozpocznij);
    balance.Write("SI     1.0000 g  \r\nSI     2.0000 g  \r\n");
    ASSERT_TRUE(WaitUntil([&] { return Collected() == 2; }));
    balance.Unplug();
    ASSERT_TRUE(WaitUntil([&] { return !window->Session().ContinuousRunning(); }));
    ASSERT_EQ(window->Store().RowCount(), 2);
    dialogs.Clear();

    PtyPair back;
    back.Publish(1);
    ASSERT_TRUE(WaitUntil([&] { return window->Session().LinkOpen(); }, 3000));
    for (int line = 0; line < 5; ++line) {
        back.Write("SI     9.0000 g  \r\n");
        RunEventsFor(100);
    }
    EXPECT_TRUE(dialogs.CallsOf(ScriptedDialogs::Kind::InputBox).empty());

    ASSERT_TRUE(WaitUntil([&] { return !window->Session().DiscardingStream(); }, 3000));
    window->Commands().RunCommand(Command::Odczyt);
    back.Write("S      3.0000 g  \r\n");
    ASSERT_TRUE(WaitUntil([&] { return window->Store().RowCount() == 3; }));
    EXPECT_TRUE(WaitUntil([&] {
        return dialogs.CallsOf(ScriptedDialogs::Kind::InputBox).size() == 1;
    })) << "a requested reading is described as usual";
}

namespace {

std::vector<QMessageBox*> ShownBoxes() {
    std::vector<QMessageBox*> shown;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
            shown.push_back(box);
    return shown;
}

} // namespace

// With the dialogs a user sees: the failure is shown, and while it stays
// unanswered the link comes back and automatic work goes on.
TEST_F(AcquisitionTest, AutomaticWorkGoesOnWhileALinkFailureIsShown) {
    QtUserDialogs shownDialogs;
    context.dialogs = &shownDialogs;
    const auto restore = qScopeGuard([&] {
        for (QMessageBox* box : ShownBoxes())
            box->close();
        context.dialogs = &dialogs;
    });
    window->Session().SetInterval(1);
    window->StartCommand();
    EXPECT_EQ(Requests("SI"), 1);
    balance.Unplug();
    ASSERT_TRUE(WaitUntil([&] { return ShownBoxes().size() == 1; }, 3000));
    EXPECT_FALSE(ShownBoxes()[0]->isModal());

    PtyPair back;
    ASSERT_NO_FATAL_FAILURE(PlugBackDuringAutomaticWork(back));
    ASSERT_EQ(ShownBoxes().size(), 1u) << "still unanswered";

    // A later failure under the same title replaces the one shown.
    shownDialogs.Notice(window.get(), "again", MsgIcon::Critical, "Communication Error");
    ASSERT_EQ(ShownBoxes().size(), 1u);
    EXPECT_EQ(ShownBoxes()[0]->text(), "again");
}

namespace {

// The window with a balance of another maker's family: what it sends, what
// it stores, and what it tells of the replies that are no readings.
class OtherFamilyTest : public AcquisitionTest {
protected:
    void SetUp() override {
        INI::ZapiszIni(context.IniPath(), "ustawienia", "Dialect", "sics");
        AcquisitionTest::SetUp();
    }

    QString StatusWord() const {
        return window->findChild<QLabel*>(QStringLiteral("balanceStatus"))->text();
    }
};

// What is sent and stored is the session's (its tests); the window tells
// the replies that are no readings in the family's words, in the status
// bar, the traffic window and the error log.
TEST_F(OtherFamilyTest, TellsInTheFamilysWords) {
    window->Commands().RunCommand(Command::Odczyt);
    ASSERT_TRUE(Reply(balance, "S +\r\n"));
    EXPECT_EQ(StatusWord(), QStringLiteral("Przeciazenie wagi"));
    // A value that is not stable answers no stable read.
    ASSERT_TRUE(Reply(balance, "S D      1.20 mg\r\n"));
    EXPECT_EQ(StatusWord(), QStringLiteral("Brak stabilnego odczytu"));
    ASSERT_TRUE(Reply(balance, "S S      1.25 mg\r\n"));
    ASSERT_EQ(window->Grid()->model()->rowCount(), 1);
    EXPECT_TRUE(StatusWord().isEmpty()) << "a reading clears the word";

    window->Commands().RunCommand(Command::Tara);
    window->Windows().ShowDebugForm();
    ASSERT_TRUE(Reply(balance, "EL\r\n"));
    EXPECT_TRUE(window->Windows().Debug()->Text1->toPlainText().contains(
        "the balance refused \"T\": logical error (EL)"));
    QFile log(QDir(context.programFolder).filePath("Error1.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(log.readAll().contains("the balance refused \"T\": logical error (EL)"));
}

// The balance's own error over the value field is its state, with its
// number, and no weight of 0.
TEST_F(OtherFamilyTest, TheBalancesOwnErrorIsShownWithItsNumber) {
    window->Commands().RunCommand(Command::Odczyt);
    EXPECT_EQ(balance.Read(3), "S\r\n");
    ASSERT_TRUE(Reply(balance, "S S  Error 10b\r\n"));
    EXPECT_EQ(StatusWord(), QStringLiteral("Blad wagi 10b"));
}

// A transmission whose every line was an overload stores nothing and says
// why, with the number of lines, instead of a link fault.
TEST_F(OtherFamilyTest, ATransmissionOfOnlyOverloadsIsToldAsNothingStored) {
    window->Commands().RunCommand(Command::Rozpocznij);
    balance.Write("S +\r\nS +\r\nS +\r\n");
    ASSERT_TRUE(WaitUntil([&] { return Collected() == 3; }));
    window->Commands().RunCommand(Command::Rozpocznij);
    EXPECT_EQ(window->Store().RowCount(), 0);
    const QString told = "Nic nie zapisano: wszystkie linie (3) odrzucono (overload)";
    EXPECT_EQ(StatusWord(), told);
    const auto notices = dialogs.CallsOf(ScriptedDialogs::Kind::Notice);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].text, told);
    EXPECT_TRUE(dialogs.CallsOf(ScriptedDialogs::Kind::MessageBox).empty()) << "no link fault";
}

// Bytes that do not decode name the line format and the baud rate in the
// status bar.
TEST_F(OtherFamilyTest, BytesThatDoNotDecodeNameTheLineFormat) {
    window->Commands().RunCommand(Command::Odczyt);
    balance.Write("\xd3 \xd3\xa0   \xb1\xae\xb2\xb5 g\x8d\n");
    EXPECT_TRUE(WaitUntil([&] { return StatusWord().contains("7E1, 8N1"); },
                          AcquisitionSession::ReplyWaitMs + 1000))
        << StatusWord().toStdString();
    EXPECT_EQ(window->Store().RowCount(), 0);
}

} // namespace
