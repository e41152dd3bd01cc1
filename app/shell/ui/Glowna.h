#pragma once

#include "AcquisitionState.h"
#include "BalanceProtocol.h"
#include "HelpWindow.h"
#include "LinkWatch.h"
#include "MeasurementStore.h"
#include "ProgramContext.h"
#include "Raport.h"
#include "SeriesCommands.h"
#include "Wykres.h"
#include "Zakonczenie.h"

#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <functional>

class QAction;
class QLabel;
class QTableView;
class QToolBar;

namespace Mordal {
class Comm;
enum class enCommSource : int32_t;
} // namespace Mordal

namespace Pomiar {

class DebugForm;
class Opcje;
class StatisticsPanel;

// The program's one working window: menus and toolbar as one command
// surface, the link and its state, the timers of acquisition, the close
// sequence.
class Glowna : public QMainWindow {
    Q_OBJECT
public:
    static constexpr const char* Version = "5.2.0";

    Glowna(ProgramContext& context, Mordal::Comm* comm, QWidget* parent = nullptr);
    ~Glowna() override;

    // Runs the loading steps. False when the program must end (a load error
    // was shown); the window is then not to be shown.
    bool Load();

    // Menu items by name ("mnustart") and toolbar buttons by key ("start"):
    // two separate objects, each with its own enabled state.
    QAction* MenuItem(const QString& name) const { return menuItems.value(name); }
    QAction* ToolbarButton(const QString& key) const { return toolbarButtons.value(key); }
    QToolBar* Toolbar1() const { return toolbar; }
    // Runs the command of a toolbar key ("start"), as its button and menu item do.
    void RunCommand(const QString& key);

    void OdpytajWage();
    void Czekaj(int ms);
    QString OpisZrodla() const;
    QString HelpFile() const { return helpFile; }
    // The window's texts from the language file, with the texts its code
    // shows (message boxes outside the message table).
    void ApplyLanguageTexts();
    void ShowDebugForm();
    DebugForm* Debug() const { return debugForm; }

    // The public variables other parts of the program use.
    Mordal::Comm* MSComm1 = nullptr;
    int32_t lTim2 = 0;
    int32_t lTim2L = 0;
    bool bolOldFile = false;
    bool lastStable = false;
    QTimer Timer2;
    QTimer tmrEthernet;

    BalanceProtocol& Protocol() { return protocol; }
    MeasurementStore& Store() { return store; }
    StatisticsPanel* Panel() const { return panel; }
    QTableView* Grid() const { return DataGrid1; }

    // The reading handler: a reply that is a reading becomes a row of the
    // series; anything that fails on the way goes to the error log.
    void PrzetworzOdczyt(const QByteArray& frame);
    ContinuousBuffers& Buffers() { return buffers; }
    bool ContinuousTransmission() const { return continuousFlag; }

    // Automatic work, pause, continuous transmission and the unstable-readings
    // switch, as their menu items and toolbar buttons run them.
    void StartCommand();
    void StopCommand();
    void PauseCommand();
    void ContinuousCommand();
    void UnstableSwitch();
    void Timer2Tick();
    // The last cycle window is over: automatic work stops and the user is told.
    void EndOfCycle();
    bool UnstableReadings() const { return unstableOn; }
    bool ContinuousTicked() const { return ciaglaTicked; }
    class Film* FilmWindow() const {
        return film.get();
    }

    // The series commands of the File menu and the descriptions of readings.
    SeriesCommands& Series() { return seriesCommands; }

    // How the series is saved when the program asks for it (closing, Start,
    // New, Open); tests may replace it.
    std::function<bool()> saveSeries;
    // Hooks of the parts that join in later: closing the chart window,
    // emptying its report label.
    std::function<void()> closeChart;
    std::function<void()> clearChartReport;
    // Cycle work: whether it is switched on (the per-user setting "Cykl"),
    // and loading its first window. Tests may replace either.
    std::function<bool()> cycleWorkOn;
    std::function<void()> loadFirstRange;
    class CycleGate* Gate() const {
        return gate.get();
    }
    Wykres* ChartWindow() const { return wykres.data(); }
    // How the report window is run: modal for the user; tests may look at
    // it while it is open.
    std::function<void(Raport&)> runReport;
    // The stored report of the series shown under the open chart.
    void RaportDoWykresu();
    void ShowCycleSettings();
    bool AutomaticWorkRunning() const {
        return acquisition.CurrentMode() == AcquisitionState::Mode::Automatic ||
               acquisition.CurrentMode() == AcquisitionState::Mode::Paused;
    }
    // Compacts the working database; the closing window calls it.
    std::function<bool()> compactDatabase;
    // Compactions counted for the closing window; the close sequence resets it.
    std::shared_ptr<Zakonczenie::AttemptCounter> compactionAttempts =
        std::make_shared<Zakonczenie::AttemptCounter>();

    // How the options dialog is run: modal for the user, scripted in tests.
    std::function<void(Opcje&)> runOptions;

signals:
    // The close sequence finished: the link is closed and every window but
    // the closing window is gone.
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildCommands();
    void buildCentralArea();
    QAction* addMenuItem(QMenu* menu, const QString& name, const QString& caption,
                         const QString& toolbarKey, const QKeySequence& shortcut = {});
    void addToolbarButton(const QString& key, const QString& toolTip);
    // Menu items and buttons as the acquisition state allows them.
    void showCommandStates();

    void findHelpFile();
    bool configureAndOpenLink();
    bool showLoadError(int number, const QString& description);
    void showOptions(bool cancelAvailable);

    void onComm(const QByteArray& frame, int framesCount, int bufferCount, bool& clearFrameData);
    void onCommIsOpen(bool state);
    void onErrorComm(int number, const QString& description, Mordal::enCommSource source);
    void onEthernetTick();
    void showLinkStatus();

    SeriesCommands::Window seriesWindow();
    void afterReadingPrompts();
    void BlokujMenuCiaglej();
    void OdblokujMenuCiaglej();
    void continuousOn();
    void continuousOff();
    void connectionButton();
    void help();
    void exitCommand();
    bool confirmClose();
    void finishClose();
    void closeOtherWindows();

    void logReadingError(const QString& error);

    ProgramContext& context;
    BalanceProtocol protocol;
    MeasurementStore store;
    SeriesCommands seriesCommands;
    StatisticsPanel* panel = nullptr;
    ContinuousBuffers buffers;
    bool continuousFlag = false;
    bool ciaglaTicked = false;
    bool unstableOn = false;
    bool firstTimer2Tick = true;
    bool closing = false;
    std::unique_ptr<class Film> film;
    AcquisitionState acquisition;
    QPointer<Wykres> wykres;        // the chart window while it is open
    Raport* raportWindow = nullptr; // the report window while it captures
    std::unique_ptr<Database> cycleDatabase;
    std::unique_ptr<class CycleGate> gate;
    class Cykl* cycleDialog = nullptr;
    void openCycleGate();
    bool passCycleGate(int timer);
    void showCycleImage(bool on);
    QString helpFile;
    // Texts shown from code, in the language of the language file.
    struct {
        QString communicationError = QStringLiteral("Communication Error");
        QString source = QStringLiteral("Source:");
        QString helpFileMissing = QStringLiteral("Nie znaleziono pliku pomocy:");
        QString helpFileUnopened = QStringLiteral("Nie mozna otworzyc pliku pomocy:");
        QString noInterval = QStringLiteral(
            "Nie ustawiono odstepu miedzy odczytami: wykonano jeden odczyt. Ustaw odstep w "
            "oknie \"Ustawienia cyklu\" (menu Ustawienia, Cykl).");
    } codeTexts;
    LinkWatch linkWatch{MSComm1};
    LinkWatch::Texts linkTexts;
    QLabel* linkStatus = nullptr;

    QTimer showLastRow;
    QToolBar* toolbar = nullptr;
    QTableView* DataGrid1 = nullptr;
    QLabel* gridCaption = nullptr;
    DebugForm* debugForm = nullptr;
    QPointer<HelpWindow> helpWindow; // the guide, when the desktop has no viewer for it
    QHash<QString, QAction*> menuItems;
    QHash<QString, QAction*> toolbarButtons;
    QHash<QString, std::function<void()>> operations;
};

} // namespace Pomiar
