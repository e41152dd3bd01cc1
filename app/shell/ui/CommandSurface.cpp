#include "CommandSurface.h"

#include "ToolbarIcons.h"

#include <QAction>
#include <QMainWindow>
#include <QMenuBar>
#include <QToolBar>
#include <QtGlobal>
#include <algorithm>
#include <vector>

namespace Pomiar {

namespace {

QAction* actionOf(const std::map<Command, QAction*>& actions, Command command) {
    const auto action = actions.find(command);
    return action == actions.end() ? nullptr : action->second;
}

} // namespace

CommandSurface::CommandSurface(QMainWindow& window) {
    toolbar = window.addToolBar(QStringLiteral("Toolbar1"));
    toolbar->setObjectName(QStringLiteral("Toolbar1"));
    toolbar->setMovable(false);
    toolbar->setIconSize(QSize(24, 24));
    addToolbarButtons();
    addMenuItems(window);
}

QAction* CommandSurface::MenuItem(Command command) const {
    return actionOf(menuItems, command);
}

QAction* CommandSurface::ToolbarButton(Command command) const {
    return actionOf(toolbarButtons, command);
}

void CommandSurface::addToolbarButtons() {
    std::vector<const MainCommand*> buttons;
    for (const MainCommand& command : MainCommands())
        if (command.toolbarSlot > 0)
            buttons.push_back(&command);
    std::ranges::sort(buttons, {}, &MainCommand::toolbarSlot);
    for (const MainCommand* command : buttons) {
        const QString key = QString::fromLatin1(command->key);
        const QString toolTip = QString::fromUtf8(command->toolTip);
        if (command->groupStart)
            toolbar->addSeparator();
        QAction* button = toolbar->addAction(ToolbarIcons::Icon(key), toolTip);
        button->setObjectName(key);
        button->setData(key);
        button->setToolTip(toolTip);
        button->setCheckable(command->pressable != MainCommand::Pressable::No);
        toolbarButtons.emplace(command->command, button);
        connect(button, &QAction::triggered, this,
                [this, id = command->command] { RunCommand(id); });
    }
    ToolbarButton(Command::Connection)->setIcon(ToolbarIcons::Icon(QStringLiteral("disconnected")));
}

void CommandSurface::addMenuItems(QMainWindow& window) {
    const auto addMenu = [&window](const char* caption, const char* name) {
        QMenu* menu = window.menuBar()->addMenu(QString::fromUtf8(caption));
        menu->setObjectName(QString::fromLatin1(name));
        return menu;
    };
    // Braced lists run in order: the menus appear in this order.
    const std::map<MainCommand::Menu, QMenu*> menus = {
        {MainCommand::Menu::Plik, addMenu("&Plik", "mnuplik")},
        {MainCommand::Menu::Pomiar, addMenu("P&omiar", "mnupomiar")},
        {MainCommand::Menu::Ustawienia, addMenu("&Ustawienia", "mnuustawienia")}};
    for (const MainCommand& command : MainCommands()) {
        if (command.menu == MainCommand::Menu::None)
            continue;
        QAction* item = nullptr;
        if (command.menu == MainCommand::Menu::MenuBar) {
            item = window.menuBar()->addAction(QString::fromUtf8(command.caption));
        } else {
            QMenu* menu = menus.at(command.menu);
            if (command.separatorBefore)
                menu->addSeparator()->setObjectName(QString::fromLatin1(command.separatorBefore));
            item = menu->addAction(QString::fromUtf8(command.caption));
            item->setData(QString::fromLatin1(command.key));
        }
        item->setObjectName(QString::fromLatin1(command.menuName));
        if (command.shortcut)
            item->setShortcut(QKeySequence(QString::fromLatin1(command.shortcut)));
        item->setCheckable(command.pressable == MainCommand::Pressable::Both);
        menuItems.emplace(command.command, item);
        connect(item, &QAction::triggered, this, [this, id = command.command] { RunCommand(id); });
    }
}

void CommandSurface::SetOperation(Command command, std::function<void()> operation) {
    operations.insert_or_assign(command, std::move(operation));
}

void CommandSurface::RunCommand(Command command) {
    const auto operation = operations.find(command);
    if (operation == operations.end() || !operation->second) {
        // The window gives every command its operation as it is built: a
        // command without one is a fault of the program. A debug build stops
        // here; the operator's program goes on, the click doing nothing.
        qWarning("The command \"%s\" has no operation.", MainCommandOf(command).key);
        Q_ASSERT_X(false, "CommandSurface::RunCommand", "a command without an operation");
        return;
    }
    operation->second();
}

void CommandSurface::ShowSwitch(Command command, bool on, const QString& toolTip,
                                const QIcon& image) {
    if (QAction* item = MenuItem(command))
        item->setChecked(on);
    QAction* button = ToolbarButton(command);
    button->setChecked(on);
    button->setToolTip(toolTip);
    button->setIcon(image);
}

void CommandSurface::ShowStates(const AcquisitionState& state) {
    for (const MainCommand& command : MainCommands()) {
        if (!command.follows)
            continue;
        const auto available = state.Available(*command.follows);
        if (QAction* item = MenuItem(command.command))
            item->setEnabled(available.menu);
        if (QAction* button = ToolbarButton(command.command))
            button->setEnabled(available.button);
    }
    ToolbarButton(Command::Pauza)
        ->setChecked(state.CurrentMode() == AcquisitionState::Mode::Paused);
}

} // namespace Pomiar
