#pragma once

#include "AcquisitionSession.h"
#include "BalanceCheckLink.h"
#include "CommandSurface.h"
#include "LabServerLink.h"
#include "MeasurementStore.h"
#include "ProgramContext.h"
#include "ProgramWindows.h"
#include "SeriesCommands.h"
#include "SeriesGrid.h"
#include "Station.h"
#include "StatusFields.h"
#include "WindowedProgress.h"
#include "Zakonczenie.h"

#include <QMainWindow>
#include <QTimer>

class QAction;
class QLabel;
class QTableView;
class QToolBar;

namespace Pomiar {

class StatisticsPanel;

// The program's one working window: menus and toolbar as one command
// surface over the acquisition session and the series, the grid and its
// statistics, the close sequence.
class Glowna : public QMainWindow {
    Q_OBJECT
public:
    static constexpr const char* Version = TREVALO_VERSION;

    // Builds the run's station (link, store, acquisition, lab database
    // feed); Load opens it.
    explicit Glowna(ProgramContext& context, QWidget* parent = nullptr);
    ~Glowna() override;

    // Runs the loading steps. False when the program must end (a load error
    // was shown); the window is then not to be shown.
    bool Load();

    // The menus and the toolbar, one command surface.
    CommandSurface& Commands() { return commands; }

    QString HelpFile() const { return helpFile; }
    // The window's texts from the language file, with the texts its code
    // shows (message boxes outside the message table).
    void ApplyLanguageTexts();

    // The link, automatic work, continuous transmission and the cycle
    // windows; the window runs its commands and shows its state.
    AcquisitionSession& Session() { return session; }
    MeasurementStore& Store() { return store; }
    StatisticsPanel* Panel() const { return panel; }
    QTableView* Grid() const { return DataGrid1; }

    // Start of automatic work, after the questions about the series shown.
    void StartCommand();

    // The series commands of the File menu and the descriptions of readings.
    SeriesCommands& Series() { return seriesCommands; }

    class CycleGate* Gate() const {
        return gate.get();
    }
    void ShowCycleSettings();
    // The windows it opens beside itself.
    ProgramWindows& Windows() { return windows; }
    // Compacts the working database; the closing window calls it.
    bool CompactDatabase() const;
    // Compactions counted for the closing window; the close sequence resets it.
    std::shared_ptr<Zakonczenie::AttemptCounter> CompactionAttempts() const {
        return compactionAttempts;
    }

signals:
    // The close sequence finished: the link is closed and every window but
    // the closing window is gone.
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void addOperations();
    void buildCentralArea();
    // Menu items and buttons as the acquisition state allows them.
    void showCommandStates();
    void connectSession();

    bool showLoadError(int number, const QString& description);
    void showOptions(bool cancelAvailable);
    void showLinkStatus();
    void showLinkState(bool open);
    void showUnstable(bool on);
    void showContinuous(bool on);

    void openCycleGate();
    void showCycleImage(bool on);
    SeriesCommands::Window seriesWindow();
    void afterReadingPrompts();
    void exitCommand();
    // Stops automatic work and ends continuous transmission, its lines stored.
    void endAcquisition();
    void finishClose();

    ProgramContext& context;
    CommandSurface commands;
    Station station;
    MeasurementStore& store;
    AcquisitionSession& session;
    // Where storing what continuous transmission collected shows progress.
    WindowedProgress batchProgress;
    SeriesCommands seriesCommands;
    ProgramWindows windows;
    LabServerLink labServer;
    std::unique_ptr<BalanceCheckLink> balanceChecks;
    StatisticsPanel* panel = nullptr;
    bool closing = false;
    // A description prompt after a reading is open.
    bool promptOpen = false;
    std::unique_ptr<Database> cycleDatabase;
    std::unique_ptr<class CycleGate> gate;
    std::shared_ptr<Zakonczenie::AttemptCounter> compactionAttempts =
        std::make_shared<Zakonczenie::AttemptCounter>();
    QString helpFile;
    // Texts shown from code, in the language of the language file.
    struct {
        QString helpFileMissing = QStringLiteral("Nie znaleziono pliku pomocy:");
        QString helpFileUnopened = QStringLiteral("Nie mozna otworzyc pliku pomocy:");
    } codeTexts;
    LinkWatch::Texts linkTexts;
    StatusFields* status = nullptr;
    class AcquisitionNotices* notices = nullptr;

    SeriesGrid* DataGrid1 = nullptr;
    QLabel* gridCaption = nullptr;
};

} // namespace Pomiar
