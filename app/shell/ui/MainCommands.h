#pragma once

#include "AcquisitionState.h"

#include <QHash>
#include <QObject>
#include <functional>
#include <optional>
#include <span>

class QAction;
class QIcon;
class QMainWindow;
class QToolBar;

namespace Pomiar {

// The commands of the main window, one row each: where its menu item sits,
// its toolbar button, and the acquisition command whose availability it
// follows. A command runs the operation named by its key, from the menu item
// as from the button; its button shows the toolbar image of the key.
struct MainCommand {
    enum class Menu { None, Plik, Pomiar, Ustawienia, MenuBar };
    // Which of menu item and button show a pressed state.
    enum class Pressable { No, Button, Both };

    const char* key = nullptr;
    Menu menu = Menu::None;
    const char* menuName = nullptr;
    const char* caption = nullptr;
    const char* shortcut = nullptr;
    // The object name of a separator put before the menu item.
    const char* separatorBefore = nullptr;
    // The button's place on the toolbar, from 1; 0 for no button.
    int toolbarSlot = 0;
    const char* toolTip = nullptr;
    // The button starts a new group on the toolbar.
    bool groupStart = false;
    Pressable pressable = Pressable::No;
    std::optional<AcquisitionState::Command> follows = std::nullopt;
};

// Menu items in menu order; the toolbar takes its buttons by slot.
std::span<const MainCommand> MainCommands();

// The toolbar and the menus of the main window built from the table: each
// menu item and button runs the operation of its key.
class CommandSurface : public QObject {
    Q_OBJECT
public:
    explicit CommandSurface(QMainWindow& window);

    // Menu items by name ("mnustart") and toolbar buttons by key ("start"):
    // two separate objects, each with its own enabled state.
    QAction* MenuItem(const QString& name) const { return menuItems.value(name); }
    QAction* ToolbarButton(const QString& key) const { return toolbarButtons.value(key); }
    QToolBar* Toolbar1() const { return toolbar; }

    void SetOperation(const QString& key, std::function<void()> operation);
    // Runs the command of a key ("start"), as its button and menu item do.
    void RunCommand(const QString& key);
    // A switch shown on or off: its menu item and button pressed, the
    // button's tip and image.
    void ShowSwitch(const QString& key, bool on, const QString& toolTip, const QIcon& image);
    // Enables menu items and buttons as the acquisition state allows them.
    void ShowStates(const AcquisitionState& state);

private:
    void addToolbarButtons();
    void addMenuItems(QMainWindow& window);

    QToolBar* toolbar = nullptr;
    QHash<QString, QAction*> menuItems;
    QHash<QString, QAction*> toolbarButtons;
    QHash<QString, std::function<void()>> operations;
};

} // namespace Pomiar
