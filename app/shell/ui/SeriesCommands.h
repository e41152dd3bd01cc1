#pragma once

#include "JournalCheck.h"
#include "SeriesJournal.h"

#include <QString>
#include <functional>

class QWidget;

namespace Pomiar {

class MeasurementStore;
struct ProgramContext;

// The series commands of the main window's File menu: a new series, opening
// a series file, saving the series as a series file or a CSV file, and the
// description of a reading. Every question goes to the user through the
// program's dialogs, with the main window as its parent.
class SeriesCommands {
public:
    // What the commands need of the main window besides the store.
    struct Window {
        QWidget* widget = nullptr;
        // A new series leaves the chart's report label empty.
        std::function<void()> clearChartReport;
        // An opened series file is shown on the open chart with its report.
        std::function<void()> seriesOpened;
        // Where a failure that nobody waits for goes (the error log).
        std::function<void(const QString&)> logError;
        // The journal of the series file just opened is being checked.
        std::function<void()> journalChecking;
        // What the journal of a series file said when it was opened
        // (cancelledEarly: the check was stopped, there is no verdict).
        std::function<void(const SeriesJournal::Verification&)> journalChecked;
    };

    // The longest description a series file holds.
    static constexpr int MaxDescriptionLength = 50;

    SeriesCommands(ProgramContext& context, MeasurementStore& store, Window window);

    void NewSeries();
    void OpenSeries();
    // Answers whether the series is safe: written, or nothing to write;
    // false when the user cancelled or the file could not be written.
    bool Save();
    // Asks for the description of a row and stores it.
    void EditDescription(int row);
    // Before the series is cleared: asks whether to save the readings and
    // saves them when the user says so. False when the user cancelled or
    // the readings could not be saved.
    bool AskToSaveExisting();
    // bolOldFile: the series shown comes from an opened series file, or an
    // open was cancelled (the next new series then asks whether to end it).
    bool SeriesFileFlag() const { return bolOldFile; }

    // Readings that wait for a full disk (MeasurementStore::WaitingReadings): tells
    // the user that storing failed, why, and how many wait.
    void TellStoreFailed(const QString& reason, int waiting);
    // Before the series ends: true when no readings wait (they are tried
    // once more first) or the user agrees to lose them.
    bool ConfirmDiscardWaiting();
    // The questions before the program closes: readings waiting for the
    // disk, an opened series file, the series to save. True to close.
    bool ConfirmClose();
    // At start, when the last run did not end cleanly and left readings
    // (MeasurementStore::LeftByLastRun): asks whether to keep them as the
    // current series. No offers to save them to a file and then clears the
    // series; a save that is cancelled or fails keeps them, as Yes and
    // Cancel do.
    void OfferReadingsOfLastRun();

    // Stops the check of the opened file's journal if it still runs, before
    // the series it checks is left or the file is rewritten; the window is
    // told that no verdict comes.
    void StopJournalCheck();
    bool JournalChecking() const { return journalCheck.Running(); }

    // The texts the commands show besides the message table, from the
    // window's section of the language file; the window calls this as it
    // applies its own texts.
    void ApplyLanguageTexts();

private:
    bool confirmSeriesFileEnd();
    bool confirmReplace(const QString& target);
    bool openSeriesFile(const QString& path);
    bool saveSeriesFile(const QString& target);
    bool exportCsv(const QString& target, bool fastExport);
    void showFileError(const QString& problem, const QString& path, const QString& reason);
    void journalVerdict(const QString& path, const SeriesJournal::Verification& verdict);
    void compactWhenWasteful(const QString& path);

    ProgramContext& context;
    MeasurementStore& store;
    Window window;
    bool bolOldFile = false;
    // The opened file's journal, checked while its rows are already shown.
    JournalCheck journalCheck;
    struct {
        QString replaceFile = QStringLiteral("Plik juz istnieje. Czy chcesz go zastapic?");
        QString cannotWrite = QStringLiteral("Nie mozna zapisac pliku:");
        QString cannotOpen = QStringLiteral("Nie mozna otworzyc pliku:");
        QString notASeriesFile = QStringLiteral("To nie jest plik serii pomiarow.");
        QString readOnly = QStringLiteral(
            "Tego pliku nie mozna zapisywac. Seria jest otwarta tylko do przegladania: nowe "
            "pomiary nie trafia do pliku, mozna je zapisac w innym pliku.");
        QString storeFailed = QStringLiteral("Nie mozna zapisac pomiaru:");
        QString waiting = QStringLiteral("Pomiary czekajace na zapis:");
        QString storedLater = QStringLiteral("Zostana zapisane, gdy zapis znow sie uda.");
        QString discardWaiting =
            QStringLiteral("Pomiary czekajace na zapis zostana utracone. Czy kontynuowac?");
        QString uncleanEnd =
            QStringLiteral("Poprzednie uruchomienie programu nie zakonczylo sie poprawnie.");
        QString readingsLeft = QStringLiteral("Pozostale pomiary:");
        QString linesRecovered = QStringLiteral("W tym z transmisji ciaglej:");
        QString keepLeft = QStringLiteral(
            "Czy zachowac je jako biezaca serie? Nie: zapisz je w pliku, potem seria zostanie "
            "wyczyszczona.");
    } texts;
};

} // namespace Pomiar
