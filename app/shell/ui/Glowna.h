#pragma once

#include "AcquisitionSession.h"
#include "CommandSurface.h"
#include "LabServerLink.h"
#include "MeasurementStore.h"
#include "ProgramContext.h"
#include "ProgramWindows.h"
#include "SeriesCommands.h"
#include "SeriesGrid.h"
#include "Station.h"
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
    void showLinkFailure(int number, const QString& description);
    void showLinkState(bool open);
    void showUnstable(bool on);
    void showContinuous(bool on);

    void openCycleGate();
    void showCycleImage(bool on);
    SeriesCommands::Window seriesWindow();
    // A reply the report window captures is its printout.
    void captureReport(const QByteArray& frame);
    void afterReadingPrompts();
    void exitCommand();
    // Stops automatic work and ends continuous transmission, its lines stored.
    void endAcquisition();
    void finishClose();
    void logReadingError(const QString& error);
    void showBalanceStatus(BalanceReply::Error status);
    // What the balance or the link said, in the status bar for a while.
    void showStatus(const QString& text);
    // What the journal of the series file just opened said.
    void showJournal(const SeriesJournal::Verification& verified);
    void showRefusal(const QByteArray& command, const BalanceReply& reply);

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
        QString communicationError = QStringLiteral("Communication Error");
        QString source = QStringLiteral("Source:");
        QString helpFileMissing = QStringLiteral("Nie znaleziono pliku pomocy:");
        QString helpFileUnopened = QStringLiteral("Nie mozna otworzyc pliku pomocy:");
        QString noInterval = QStringLiteral(
            "Nie ustawiono odstepu miedzy odczytami: wykonano jeden odczyt. Ustaw odstep w "
            "oknie \"Ustawienia cyklu\" (menu Ustawienia, Cykl).");
        QString overload = QStringLiteral("Przeciazenie wagi");
        QString underload = QStringLiteral("Niedociazenie wagi");
        QString noStableValue = QStringLiteral("Brak stabilnego odczytu");
        QString balanceError = QStringLiteral("Blad wagi %1");
        QString journalChecking = QStringLiteral("Dziennik serii: sprawdzanie...");
        QString journalVerified = QStringLiteral("Dziennik serii: zweryfikowany (%1 wpisow)");
        QString journalMissing = QStringLiteral("Dziennik serii: brak");
        QString journalUnvouched =
            QStringLiteral("Dziennik serii: zweryfikowany (%1 wpisow), BEZ POSWIADCZENIA %2 "
                           "pomiarow starszych niz dziennik");
        QString journalBroken = QStringLiteral("Dziennik serii: NIEZWERYFIKOWANY: %1");
        QString nothingStored =
            QStringLiteral("Nic nie zapisano: wszystkie linie (%1) odrzucono (%2)");
        QString undecodable = QStringLiteral("Odebrano bajty, ktorych nie mozna odczytac: sprawdz "
                                             "format znaku (7E1, 8N1, ...) i predkosc transmisji");
    } codeTexts;
    LinkWatch::Texts linkTexts;
    QLabel* linkStatus = nullptr;
    // What the balance last said of itself instead of a reading; cleared by
    // the next reading or after a while.
    QLabel* journalStatus = nullptr;
    QLabel* balanceStatus = nullptr;
    static constexpr int BalanceStatusShownMs = 10000;
    QTimer balanceStatusShown;

    SeriesGrid* DataGrid1 = nullptr;
    QLabel* gridCaption = nullptr;
};

} // namespace Pomiar
