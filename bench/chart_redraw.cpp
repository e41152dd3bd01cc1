// Redrawing the series chart on a long series: median and worst time of a
// redraw (the series and axes rebuilt from the store), of a redraw with the
// chart painted, and of one appended reading with the open chart following
// it, at 1,000, 100,000 and 1,000,000 rows, for all readings and for the
// last 1,000.
#include "Database.h"
#include "MeasurementStore.h"
#include "PerUserSettings.h"
#include "Percentile.h"
#include "ProgramContext.h"
#include "QtUserDialogs.h"
#include "StoreBench.h"
#include "Wykres.h"

#include <QApplication>
#include <QChartView>
#include <QElapsedTimer>
#include <QPointer>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

using namespace Pomiar;

namespace {

struct Figures {
    double median;
    double worst;
};

Figures timeRuns(int runs, const std::function<void()>& run) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        run();
        ms.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return {BenchSupport::Percentile(ms, 50), ms.back()};
}

void setMode(PerUserSettings& settings, bool lastN) {
    settings.SaveSetting(ChartOptions::Section, "Liczba", lastN ? "1" : "0");
    settings.SaveSetting(ChartOptions::Section, "LiczbaPom", "1000");
    settings.SaveSetting(ChartOptions::Section, "Max", "12,01");
    settings.SaveSetting(ChartOptions::Section, "Min", "11,99");
}

} // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    StoreBench::ScratchProgram program;
    QTemporaryDir& folder = program.folder;
    ProgramContext& context = program.context;
    qputenv("XDG_CONFIG_HOME", folder.filePath("config").toLocal8Bit());
    QApplication app(argc, argv);
    context.userSettings = std::make_shared<PerUserSettings>(QStringLiteral("chart-bench"));
    MeasurementStore store(context);
    store.OtworzMagazyn();

    std::printf("%-8s %-10s %-22s %-22s %-22s %s\n", "rows", "mode", "redraw ms (med/max)",
                "redraw+paint ms", "append+redraw ms", "first redraw ms");
    for (const int rows : {1000, 100000, 1000000}) {
        const QString path = folder.filePath(QStringLiteral("series%1.ser").arg(rows));
        StoreBench::WriteSeries(path, rows, [](int i) { return 12.0 + std::sin(i / 50.0) * 0.01; });
        for (const bool lastN : {false, true}) {
            store.OtworzBaze(path);
            setMode(*context.userSettings, lastN);
            QElapsedTimer first;
            first.start();
            QPointer<Wykres> wykres = new Wykres(context, store);
            const double firstMs = first.nsecsElapsed() / 1e6;
            wykres->show();
            QCoreApplication::processEvents();

            const Figures redraw = timeRuns(20, [&] { wykres->Redraw(); });
            const Figures painted = timeRuns(10, [&] {
                wykres->Redraw();
                wykres->MSChart1->viewport()->repaint();
            });
            const QMetaObject::Connection redrawn = QObject::connect(
                &store, &MeasurementStore::SeriesChanged, [&wykres] { wykres->Redraw(); });
            // Readings go on after the series' last one (one a second from
            // 08:00), as a running series has them.
            const QDateTime at =
                QDateTime(QDate(2026, 12, 7), QTime(8, 0)).addSecs(rows + (lastN ? 100 : 1));
            int n = 0;
            const Figures append = timeRuns(20, [&] {
                AcceptedReading reading;
                reading.mass = 12.0001;
                reading.unit = QStringLiteral("g");
                reading.time = at.addSecs(++n);
                reading.description = QStringLiteral(" ");
                store.DodajPomiar(reading);
            });
            QObject::disconnect(redrawn);
            std::printf("%-8d %-10s %8.2f / %-11.2f %8.2f / %-11.2f %8.2f / %-11.2f %.2f\n", rows,
                        lastN ? "last 1000" : "all", redraw.median, redraw.worst, painted.median,
                        painted.worst, append.median, append.worst, firstMs);
            if (rows == 1000000 && !lastN)
                std::printf("         goal: all readings of 1,000,000 rows redrawn in at most 100 "
                            "ms: median %.2fx the goal %s\n",
                            redraw.median / 100, redraw.median <= 100 ? "(met)" : "(OVER)");
            delete wykres;
        }
    }
    return 0;
}
