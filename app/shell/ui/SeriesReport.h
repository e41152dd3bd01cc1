#pragma once

#include "JournalIdentity.h"
#include "SeriesStatistics.h"

#include <QLocale>
#include <QString>
#include <QStringList>

class QPrinter;
class QWidget;

namespace Pomiar {

class Database;
class MeasurementStore;
class Progress;
class StatisticsPanel;
struct ProgramContext;

// The printed series report: the statistics of the series above its
// readings, two to a line, on numbered pages. The print command fills table
// temp with the lines under the progress window, then shows the report in a
// print preview that prints it or saves it as a PDF file.
class SeriesReport {
public:
    // The report's texts, designed or taken from the language file.
    struct Texts {
        QString caption;                   // the preview window's title
        QString title;                     // "Raport z wazen"
        QString heading;                   // "Statystyka wazen"
        QStringList statistics;            // the eleven captions, in the order of StatisticsFields
        QString measurements;              // "Pomiary"
        QStringList columns;               // "Lp" to "Opis", the same over both halves of a line
        QString footer;                    // "%p z %P": page p of P
        JournalIdentity::Wording identity; // the line that ends the report
        QString belowMinimum;              // what the mark after a mass says, when one is printed
    };
    static Texts DesignedTexts();
    // Every text looked up in section "Rp1" with itself as key and default,
    // the caption under "RP1_N"; missing texts are written into the file.
    // Without a language file the designed texts stay.
    static Texts TranslatedTexts(const ProgramContext& context);

    // What the report shows besides the lines of temp.
    struct Content {
        StatisticsFields statistics;
        QString massFormat;
        QLocale locale;
        Texts texts;
        // Who printed the series, when, and how far its journal reached.
        QString identity;
    };

    // panel: the main window's live-statistics switch, ticked before the
    // report is made; without it the store's switch is set directly.
    // progress: what shows the progress; by default the progress window.
    SeriesReport(ProgramContext& context, MeasurementStore& store, QWidget* parent = nullptr,
                 StatisticsPanel* panel = nullptr, Progress* progress = nullptr);

    // The print command ("&Drukuj", toolbar "drukuj"). False when no report
    // was shown: stopped with Escape, already being prepared, or failed (the
    // user was told).
    bool Drukuj();

    // The report of what temp holds now, as a PDF file; false when the file
    // could not be written.
    bool SavePdf(const QString& path);

    // Draws the lines of temp onto the printer, page by page, and the
    // identity after them.
    static void Render(QPrinter& printer, Database& database, const Content& content);
    // A4 with 15 mm margins, the page the report is laid out for.
    static void SetUpPage(QPrinter& printer);

private:
    Content currentContent() const;
    void tickLiveStatistics();
    bool prepare();
    void showPreview();

    ProgramContext& context;
    MeasurementStore& store;
    QWidget* parent;
    StatisticsPanel* panel;
    Progress* progress;
};

} // namespace Pomiar
