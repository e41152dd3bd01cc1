#pragma once

#include "AcquisitionState.h"
#include "MainCommands.h"

#include <QObject>
#include <functional>
#include <map>

class QAction;
class QIcon;
class QMainWindow;
class QToolBar;

namespace Pomiar {

// The toolbar and the menus of the main window built from the table of
// commands: each menu item and button runs the operation of its command.
class CommandSurface : public QObject {
    Q_OBJECT
public:
    explicit CommandSurface(QMainWindow& window);

    // The menu item ("mnustart") and the toolbar button ("start") of a
    // command: two separate objects, each with its own enabled state. Null
    // for the item or the button a command does not have.
    QAction* MenuItem(Command command) const;
    QAction* ToolbarButton(Command command) const;
    QToolBar* Toolbar1() const { return toolbar; }

    void SetOperation(Command command, std::function<void()> operation);
    // Runs the operation of a command, as its button and menu item do.
    void RunCommand(Command command);
    // A switch shown on or off: its menu item and button pressed, the
    // button's tip and image.
    void ShowSwitch(Command command, bool on, const QString& toolTip, const QIcon& image);
    // Enables menu items and buttons as the acquisition state allows them.
    void ShowStates(const AcquisitionState& state);

private:
    void addToolbarButtons();
    void addMenuItems(QMainWindow& window);

    QToolBar* toolbar = nullptr;
    std::map<Command, QAction*> menuItems;
    std::map<Command, QAction*> toolbarButtons;
    std::map<Command, std::function<void()>> operations;
};

} // namespace Pomiar
