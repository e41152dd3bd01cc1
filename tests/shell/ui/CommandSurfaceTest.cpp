#include "CommandSurface.h"

#include <QAction>
#include <QMainWindow>
#include <QStringList>
#include <gtest/gtest.h>
#include <vector>

using namespace Pomiar;

namespace {

#ifdef QT_NO_DEBUG
QStringList warnings;

void keepWarning(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtWarningMsg)
        warnings << message;
}
#endif

} // namespace

TEST(CommandSurfaceTest, ButtonAndMenuItemRunTheOperationOfTheirCommand) {
    QMainWindow window;
    CommandSurface commands(window);
    std::vector<Command> ran;
    for (const Command command : {Command::Tara, Command::Odczyt})
        commands.SetOperation(command, [&ran, command] { ran.push_back(command); });
    commands.ToolbarButton(Command::Tara)->trigger();
    commands.MenuItem(Command::Odczyt)->trigger();
    commands.RunCommand(Command::Tara);
    EXPECT_EQ(ran, (std::vector<Command>{Command::Tara, Command::Odczyt, Command::Tara}));
}

TEST(CommandSurfaceTest, ACommandWithoutItsOperationIsAFaultNotASilentClick) {
    QMainWindow window;
    CommandSurface commands(window);
#ifdef QT_NO_DEBUG
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(keepWarning);
    commands.ToolbarButton(Command::Stabilny)->trigger();
    qInstallMessageHandler(previous);
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings[0].contains("\"stabilny\"")) << warnings[0].toStdString();
#else
    EXPECT_DEATH(commands.RunCommand(Command::Stabilny), "without an operation");
#endif
}
