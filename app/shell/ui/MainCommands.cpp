#include "MainCommands.h"

#include "ToolbarIcons.h"

#include <QAction>
#include <QMainWindow>
#include <QMenuBar>
#include <QToolBar>
#include <algorithm>
#include <map>

namespace Pomiar {

namespace {

using Cmd = AcquisitionState::Command;
using M = MainCommand::Menu;
using P = MainCommand::Pressable;

constexpr MainCommand mainCommands[] = {
    {.key = "nowa",
     .menu = M::Plik,
     .menuName = "mnunowa",
     .caption = "&Nowa",
     .shortcut = "Ctrl+N",
     .toolbarSlot = 1,
     .toolTip = "Nowa seria",
     .follows = Cmd::Series},
    {.key = "otworz",
     .menu = M::Plik,
     .menuName = "mnuotworz",
     .caption = "&Otworz",
     .shortcut = "Ctrl+O",
     .toolbarSlot = 2,
     .toolTip = "Otworz serie",
     .follows = Cmd::Series},
    {.key = "zapisz",
     .menu = M::Plik,
     .menuName = "mnuzapisz",
     .caption = "&Zapisz",
     .shortcut = "Ctrl+S",
     .toolbarSlot = 3,
     .toolTip = "Zapisz serie",
     .follows = Cmd::Series},
    {.key = "drukuj",
     .menu = M::Plik,
     .menuName = "mnudrukuj",
     .caption = "&Drukuj",
     .shortcut = "Ctrl+P",
     .toolbarSlot = 4,
     .toolTip = "Drukuj",
     .follows = Cmd::Series},
    {.key = "wyjscie",
     .menu = M::Plik,
     .menuName = "mnuwyjscie",
     .caption = "&Wyjscie",
     .separatorBefore = "mnuseparator1",
     .toolbarSlot = 18,
     .toolTip = "Wyjscie"},
    {.key = "start",
     .menu = M::Pomiar,
     .menuName = "mnustart",
     .caption = "&Start - praca automatyczna",
     .toolbarSlot = 7,
     .toolTip = "Start - praca automatyczna",
     .groupStart = true,
     .follows = Cmd::Start},
    {.key = "stop",
     .menu = M::Pomiar,
     .menuName = "mnustop",
     .caption = "S&top - praca automatyczna",
     .toolbarSlot = 8,
     .toolTip = "Stop - praca automatyczna",
     .follows = Cmd::Stop},
    {.key = "pauza",
     .menu = M::Pomiar,
     .menuName = "mnupauza",
     .caption = "&Pauza - praca automatyczna",
     .toolbarSlot = 9,
     .toolTip = "Pauza - praca automatyczna",
     .pressable = P::Button,
     .follows = Cmd::Pause},
    {.key = "odczyt",
     .menu = M::Pomiar,
     .menuName = "mnuodczyt",
     .caption = "&Odczytaj",
     .separatorBefore = "mnuseparator3",
     .toolbarSlot = 13,
     .toolTip = "Odczyt z wagi",
     .groupStart = true,
     .follows = Cmd::SingleRead},
    {.key = "tara",
     .menu = M::Pomiar,
     .menuName = "mnutara",
     .caption = "&Wytaruj",
     .toolbarSlot = 14,
     .toolTip = "Tarowanie wagi",
     .follows = Cmd::Tare},
    {.key = "rozpocznij",
     .menu = M::Pomiar,
     .menuName = "mnuCiagla",
     .caption = "&Transmisja ciagla",
     .toolbarSlot = 15,
     .toolTip = "Klinij, aby rozpoczac transmisje ciagla.",
     .pressable = P::Both,
     .follows = Cmd::Continuous},
    {.key = "stabilny",
     .menu = M::Pomiar,
     .menuName = "mnuStabilne",
     .caption = "O&dczyt danych niestabilnych",
     .toolbarSlot = 16,
     .toolTip = "Kliknij, aby pobrac dane niestabilne.",
     .pressable = P::Both,
     .follows = Cmd::Unstable},
    {.key = "raport",
     .menu = M::Pomiar,
     .menuName = "mnuRaport",
     .caption = "Pokaz &raport",
     .separatorBefore = "mnuseparator2",
     .toolbarSlot = 5,
     .toolTip = "Raport",
     .follows = Cmd::Series},
    {.key = "wykres",
     .menu = M::Pomiar,
     .menuName = "mnuwykres",
     .caption = "Pokaz wy&kres",
     .toolbarSlot = 6,
     .toolTip = "Pokaz wykres",
     .follows = Cmd::Series},
    {.key = "opcje",
     .menu = M::Ustawienia,
     .menuName = "mnuopcje",
     .caption = "&Opcje",
     .toolbarSlot = 10,
     .toolTip = "Opcje",
     .groupStart = true},
    {.key = "cykl",
     .menu = M::Ustawienia,
     .menuName = "mnucykl",
     .caption = "&Cykl",
     .toolbarSlot = 11,
     .toolTip = "Ustawienia cyklu"},
    {.key = "wykresopcje",
     .menu = M::Ustawienia,
     .menuName = "mnuustwykres",
     .caption = "&Wykres",
     .toolbarSlot = 12,
     .toolTip = "Ustawienia wykresu"},
    {.key = "Languuage", .menu = M::Ustawienia, .menuName = "Languuage", .caption = "Language"},
    // The help menu has no items: choosing it runs the help command.
    {.key = "pomoc",
     .menu = M::MenuBar,
     .menuName = "mnupomoc",
     .caption = "Po&moc",
     .toolbarSlot = 17,
     .toolTip = "Pomoc",
     .groupStart = true},
    {.key = "connection",
     .menu = M::None,
     .toolbarSlot = 19,
     .toolTip = "Connection State",
     .groupStart = true},
};

} // namespace

std::span<const MainCommand> MainCommands() {
    return mainCommands;
}

CommandSurface::CommandSurface(QMainWindow& window) {
    toolbar = window.addToolBar(QStringLiteral("Toolbar1"));
    toolbar->setObjectName(QStringLiteral("Toolbar1"));
    toolbar->setMovable(false);
    toolbar->setIconSize(QSize(24, 24));
    addToolbarButtons();
    addMenuItems(window);
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
        toolbarButtons.insert(key, button);
        connect(button, &QAction::triggered, this, [this, key] { RunCommand(key); });
    }
    toolbarButtons.value(QStringLiteral("connection"))
        ->setIcon(ToolbarIcons::Icon(QStringLiteral("disconnected")));
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
        const QString key = QString::fromLatin1(command.key);
        QAction* item = nullptr;
        if (command.menu == MainCommand::Menu::MenuBar) {
            item = window.menuBar()->addAction(QString::fromUtf8(command.caption));
        } else {
            QMenu* menu = menus.at(command.menu);
            if (command.separatorBefore)
                menu->addSeparator()->setObjectName(QString::fromLatin1(command.separatorBefore));
            item = menu->addAction(QString::fromUtf8(command.caption));
            item->setData(key);
        }
        item->setObjectName(QString::fromLatin1(command.menuName));
        if (command.shortcut)
            item->setShortcut(QKeySequence(QString::fromLatin1(command.shortcut)));
        item->setCheckable(command.pressable == MainCommand::Pressable::Both);
        menuItems.insert(item->objectName(), item);
        connect(item, &QAction::triggered, this, [this, key] { RunCommand(key); });
    }
}

void CommandSurface::SetOperation(const QString& key, std::function<void()> operation) {
    operations.insert(key, std::move(operation));
}

void CommandSurface::RunCommand(const QString& key) {
    const auto operation = operations.constFind(key);
    if (operation != operations.cend())
        (*operation)();
}

void CommandSurface::ShowSwitch(const QString& key, bool on, const QString& toolTip,
                                const QIcon& image) {
    for (const MainCommand& command : MainCommands())
        if (key == QLatin1String(command.key) && command.menuName)
            menuItems.value(QString::fromLatin1(command.menuName))->setChecked(on);
    QAction* button = toolbarButtons.value(key);
    button->setChecked(on);
    button->setToolTip(toolTip);
    button->setIcon(image);
}

void CommandSurface::ShowStates(const AcquisitionState& state) {
    for (const MainCommand& command : MainCommands()) {
        if (!command.follows)
            continue;
        const auto available = state.Available(*command.follows);
        if (QAction* item = menuItems.value(QString::fromLatin1(command.menuName)))
            item->setEnabled(available.menu);
        if (QAction* button = toolbarButtons.value(QString::fromLatin1(command.key)))
            button->setEnabled(available.button);
    }
    toolbarButtons.value(QStringLiteral("pauza"))
        ->setChecked(state.CurrentMode() == AcquisitionState::Mode::Paused);
}

} // namespace Pomiar
