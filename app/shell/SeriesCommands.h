#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace Pomiar {

class Magazyn;
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
        // The series shown comes from an opened series file.
        bool* bolOldFile = nullptr;
        // How the series is saved when a command asks for it first.
        std::function<bool()> saveSeries;
        // A new series leaves the chart's report label empty.
        std::function<void()> clearChartReport;
        // An opened series file is shown on the open chart with its report.
        std::function<void()> seriesOpened;
        // Where a failure that nobody waits for goes (the error log).
        std::function<void(const QString&)> logError;
    };

    // The longest description a series file holds.
    static constexpr int MaxDescriptionLength = 50;

    SeriesCommands(ProgramContext& context, Magazyn& store, Window window);

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

private:
    bool confirmSeriesFileEnd();
    bool saveSeriesFile(const QString& target);
    bool exportCsv(const QString& target, bool fastExport);
    void showProcedureError(int number, const QString& description, const QString& procedure);

    ProgramContext& context;
    Magazyn& store;
    Window window;
};

} // namespace Pomiar
