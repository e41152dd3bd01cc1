// The printed series report of a long series: filling temp with the lines
// (under the progress window, as the print command does) and rendering
// every page, to a PDF file and into the print preview.
#include "Database.h"
#include "MeasurementStore.h"
#include "ProgramContext.h"
#include "QtUserDialogs.h"
#include "ReportText.h"
#include "SeriesReport.h"
#include "StoreBench.h"
#include "WindowedProgress.h"

#include <QApplication>
#include <QDateTime>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <utility>

using namespace Pomiar;

namespace {

// A series file of n readings, written directly: the store's own appends
// are measured elsewhere.
QString WriteSeries(const QString& path, int n) {
    {
        Database database(path);
        database.CreateSchema();
        const QDateTime start(QDate(2026, 12, 7), QTime(8, 0, 0));
        database.Begin();
        for (int i = 1; i <= n; ++i) {
            const QDateTime time = start.addSecs(i);
            database.Execute("INSERT INTO pomiary (Lp, data, Godzina, Timer, Masa, Jm, LpTekst, "
                             "Nr_wagi, status, "
                             "Opis) VALUES (?, ?, ?, ?, ?, 'g', ?, '1', '0', ?)",
                             {i, time.date(), time, i - 1, 100 + (i % 977) / 10000.0,
                              QString::number(i),
                              i % 10 == 0 ? QStringLiteral("probka kontrolna") : QString()});
        }
        database.Commit();
    }
    return path;
}

double Seconds(const QElapsedTimer& clock) {
    return clock.nsecsElapsed() / 1e9;
}

// Shows the print preview, lets it paint its first page and closes it: the
// time from the print command until the preview is shown.
class PreviewShown : public QtUserDialogs {
public:
    explicit PreviewShown(const QElapsedTimer& clock) : clock(clock) {}
    bool RunModal(QDialog& dialog) override {
        dialog.show();
        QCoreApplication::processEvents();
        seconds = Seconds(clock);
        return false;
    }
    double seconds = 0;

private:
    const QElapsedTimer& clock;
};

bool Run(ProgramContext& context, int n, double goal, const QString& keep) {
    QTemporaryDir folder;
    MeasurementStore store(context);
    store.OtworzMagazyn();
    store.OtworzBaze(WriteSeries(folder.filePath("seria.ser"), n));
    store.ObliczStatystyke();

    QElapsedTimer clock;
    clock.start();
    WindowedProgress progress;
    const bool filled = ReportText::FillTemp(store.Bound(), &progress);
    progress.End();
    const double fill = Seconds(clock);

    SeriesReport report(context, store);
    clock.restart();
    const QString pdf = folder.filePath("seria.pdf");
    const bool written = report.SavePdf(pdf);
    const double render = Seconds(clock);

    // The preview renders every page before it shows the first.
    double preview = 0;
    if (n <= 10000) {
        PreviewShown shown(clock);
        UserDialogs* const programDialogs = std::exchange(context.dialogs, &shown);
        SeriesReport previewed(context, store, nullptr, nullptr, &progress);
        clock.restart();
        previewed.Drukuj();
        context.dialogs = programDialogs;
        preview = shown.seconds;
    }

    if (!keep.isEmpty()) {
        const QString kept = keep + QStringLiteral("/series_report_%1.pdf").arg(n);
        QFile::remove(kept);
        QFile::copy(pdf, kept);
    }

    std::printf("series_report: %d readings: fill temp %.3f s, render %.3f s to PDF (%lld KiB)", n,
                fill, render, QFileInfo(pdf).size() / 1024);
    if (preview > 0)
        std::printf(", fill and show the preview %.3f s", preview);
    std::printf(" (goal: fill and show at most %.0f s)\n", goal);
    return filled && written;
}

} // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    StoreBench::ScratchProgram program;
    ProgramContext& context = program.context;
    // An optional folder keeps the PDF files, to look at them.
    const QString keep = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    bool ok = Run(context, 10000, 2, keep);
    ok = Run(context, 100000, 15, keep) && ok;
    return ok ? EXIT_SUCCESS : EXIT_FAILURE;
}
