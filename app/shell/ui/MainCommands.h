#pragma once

#include "AcquisitionState.h"

#include <optional>
#include <span>

namespace Pomiar {

// The commands of the main window, named after their keys ("nowa", "start",
// "Languuage").
enum class Command {
    Nowa,
    Otworz,
    Zapisz,
    Drukuj,
    Wyjscie,
    Start,
    Stop,
    Pauza,
    Odczyt,
    Tara,
    Rozpocznij,
    Stabilny,
    Raport,
    Wykres,
    Opcje,
    Cykl,
    Wykresopcje,
    Languuage,
    Pomoc,
    KontrolaWagi,
    // The last one: the table is checked up to it.
    Connection,
};

// The commands of the main window, one row each: where its menu item sits,
// its toolbar button, and the acquisition command whose availability it
// follows. A command runs the operation named by its key, from the menu item
// as from the button; its button shows the toolbar image of the key.
struct MainCommand {
    enum class Menu { None, Plik, Pomiar, Ustawienia, MenuBar };
    // Which of menu item and button show a pressed state.
    enum class Pressable { No, Button, Both };

    Command command;
    // The name of the button (and its image), and of the command in the
    // language file's texts.
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
// The row of a command.
const MainCommand& MainCommandOf(Command command);

} // namespace Pomiar
