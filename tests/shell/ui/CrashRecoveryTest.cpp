#include "EventWait.h"
#include "INI.h"
#include "QtUserDialogs.h"
#include "SimulatorProcess.h"
#include "StartedProgram.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QProcess>
#include <QProcessEnvironment>
#include <QScopeGuard>
#include <QTimer>
#include <cstdio>
#include <gtest/gtest.h>

using namespace Pomiar;

// The program killed outright during continuous transmission, and started
// again on the same working database. The run to be killed is this test
// program itself, started again to run only the half that plays the
// program (it reads where to work from the environment).

namespace {

const char* const childFolderVariable = "POMIAR_CRASH_CHILD_FOLDER";

class CrashRecoveryTest : public StartedProgram {
protected:
    ~CrashRecoveryTest() override { window.reset(); }

    // The link to the simulator's TCP port, as the options dialog writes it.
    void LinkTo(int port) {
        SetLink("1");
        INI::ZapiszIni(context.IniPath(), "ustawienia", "HostIP", "127.0.0.1");
        INI::ZapiszIni(context.IniPath(), "ustawienia", "HostPort", QString::number(port));
    }
};

} // namespace

// The half that plays the program: continuous transmission on, a line
// printed for every line collected, until it is killed.
TEST_F(CrashRecoveryTest, ProgramKilledDuringContinuousTransmission) {
    const QString shared = qEnvironmentVariable(childFolderVariable);
    if (shared.isEmpty())
        GTEST_SKIP() << "run by LinesCollectedBeforeAKillAreOfferedAtTheNextStart";
    context.programFolder = shared;
    ASSERT_TRUE(Start());
    AcquisitionSession& session = window->Session();
    ASSERT_TRUE(
        WaitUntil([&] { return session.LinkOpen() && !session.DiscardingStream(); }, 10000));
    int collected = 0;
    QObject::connect(&session, &AcquisitionSession::LineCollected, [&] {
        std::printf("collected %d\n", ++collected);
        std::fflush(stdout);
    });
    window->Commands().RunCommand(Command::Rozpocznij);
    RunEventsFor(60000);
    FAIL() << "not killed";
}

// Every line collected before the kill is offered with the recovery
// question at the next start; the balance, still streaming, adds nothing
// while the question is open or after. The question is kept as a picture
// (RECOVERY_PICTURE, else /tmp/recovery.png).
TEST_F(CrashRecoveryTest, LinesCollectedBeforeAKillAreOfferedAtTheNextStart) {
    QProcess simulator;
    const auto stopSimulator = qScopeGuard([&] {
        simulator.kill();
        simulator.waitForFinished(2000);
    });
    const int port = StartTcpSimulator(
        simulator, BALANCE_SIM_PATH,
        {"--mass", "4.25", "--decimals", "2", "--rate", "20", "--streaming-at-connect"});
    ASSERT_GT(port, 0);
    LinkTo(port);

    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(childFolderVariable, folder.path());
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QByteArray printed;
    QObject::connect(&program, &QProcess::readyReadStandardOutput,
                     [&] { printed += program.readAllStandardOutput(); });
    program.start(QCoreApplication::applicationFilePath(),
                  {"--gtest_filter=CrashRecoveryTest.ProgramKilledDuringContinuousTransmission"});
    ASSERT_TRUE(WaitUntil([&] { return printed.contains("collected 25\n"); }, 20000))
        << printed.toStdString();
    program.kill();
    ASSERT_TRUE(program.waitForFinished(5000));
    printed += program.readAllStandardOutput();
    const int collected = int(printed.count("collected "));

    // The user's answer, and the question as it looked.
    QtUserDialogs userDialogs;
    context.dialogs = &userDialogs;
    QString question;
    const QString picture = qEnvironmentVariable("RECOVERY_PICTURE", "/tmp/recovery.png");
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        question = box->text();
        box->grab().save(picture);
        box->button(QMessageBox::Yes)->click();
    });
    answer.start(100);
    ASSERT_TRUE(Start());
    answer.stop();
    EXPECT_TRUE(question.contains("W tym z transmisji ciaglej:")) << question.toStdString();
    MeasurementStore& store = window->Store();
    // The line in flight at the kill may be missing; the acknowledgement of
    // the command is no reading.
    EXPECT_GE(store.RecoveredLines(), collected - 2);
    EXPECT_GE(store.RowCount(), collected - 2);
    EXPECT_LE(store.RowCount(), collected + 1);
    for (int row = 0; row < store.RowCount(); ++row)
        EXPECT_DOUBLE_EQ(store.Model().Row(row).masa, 4.25) << row;

    const int recovered = store.RowCount();
    RunEventsFor(2 * AcquisitionSession::StreamQuietMs);
    EXPECT_EQ(store.RowCount(), recovered) << "the stream left running adds no row";
}
