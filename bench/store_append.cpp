// Appending one reading to a long series, with live statistics on and the
// grid attached: median and p99 time of one append at 1,000, 100,000 and
// 1,000,000 rows, and the memory the program holds with a 1,000,000-row
// series loaded.
#include "Database.h"
#include "LocalTime.h"
#include "MeasurementStore.h"
#include "ProgramContext.h"
#include "QtUserDialogs.h"
#include "StoreBench.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

using namespace Pomiar;

namespace {

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return 0;
}

struct Figures {
    double median;
    double p99;
};

Figures Summary(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 99 / 100)]};
}

Figures timeAppends(MeasurementStore& store, int count) {
    std::vector<double> ms;
    QDateTime at = QDateTime::currentDateTime();
    for (int i = 0; i < count; ++i) {
        QElapsedTimer clock;
        clock.start();
        store.DodajPomiar(QStringLiteral("12.3456 g\r\n"), QStringLiteral("g"), at.addSecs(i));
        QCoreApplication::processEvents();
        ms.push_back(clock.nsecsElapsed() / 1e6);
    }
    return Summary(std::move(ms));
}

// What the disk asks of one stored reading with nothing else around it: one
// row committed on its own, in a file kept as the store keeps it.
Figures timeBareCommits(const QString& path, Database::Journal journal, int count) {
    Database db(path, journal);
    db.CreateSchema();
    std::vector<double> ms;
    for (int i = 0; i < count; ++i) {
        QElapsedTimer clock;
        clock.start();
        db.Begin();
        db.Execute(QStringLiteral("INSERT INTO pomiary (Lp, Masa, Jm) VALUES (?, ?, 'g')"),
                   {i, 12.3456});
        db.Commit();
        ms.push_back(clock.nsecsElapsed() / 1e6);
    }
    return Summary(std::move(ms));
}

// The statistics step of an append alone, without the write to disk.
Figures timeStatistics(MeasurementStore& store, int count) {
    std::vector<double> ms;
    for (int i = 0; i < count; ++i) {
        QElapsedTimer clock;
        clock.start();
        store.ObliczStatystyke();
        ms.push_back(clock.nsecsElapsed() / 1e6);
    }
    return Summary(std::move(ms));
}

} // namespace

int main(int argc, char** argv) {
    Pomiar::KeepTimeZoneLoaded();
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    StoreBench::ScratchProgram program;
    QTemporaryDir& folder = program.folder;
    ProgramContext& context = program.context;
    const int appends = 200;

    std::printf("store_append: %d appends of one reading, live statistics on, grid attached\n",
                appends);
    for (const int rows : {1000, 100000, 1000000}) {
        const QString path = folder.filePath(QStringLiteral("series-%1.ser").arg(rows));
        StoreBench::WriteSeries(path, rows, [](int i) { return 12.0 + (i % 100) * 0.001; });
        // A series file bound in place is flushed whole at every reading; the
        // working database, where acquisition writes, flushes only its log.
        for (const bool workingDatabase : {false, true}) {
            const long before = residentKiB();
            MeasurementStore store(context);
            SeriesGrid grid(store.Model(), nullptr);
            StoreBench::ShowGrid(grid, 30);
            if (workingDatabase) {
                store.OtworzMagazyn();
                store.OpenForViewing(path);
            } else {
                store.OtworzBaze(path);
            }
            // The values are read right after the first rows show.
            QCoreApplication::processEvents();
            const long loaded = residentKiB();
            const std::size_t passesBefore = store.Running().FullPasses();
            const Figures live = timeAppends(store, appends);
            const std::size_t fullPasses = store.Running().FullPasses() - passesBefore;
            const Figures statistics = timeStatistics(store, appends);
            store.SetLiveStatistics(false);
            const Figures quiet = timeAppends(store, appends);
            std::printf("  %8d rows, %s:\n", rows,
                        workingDatabase ? "working database" : "series file bound in place");
            std::printf("                median %6.3f ms  p99 %6.3f ms   (without statistics: "
                        "median %6.3f ms  p99 %6.3f ms)\n",
                        live.median, live.p99, quiet.median, quiet.p99);
            std::printf(
                "                median %.2fx and p99 %.2fx the goal; statistics field from a "
                "pass over the values: %zu in %d appends\n",
                live.median / 1.5, live.p99 / 5.0, fullPasses, appends);
            std::printf("                statistics step alone: median %6.3f ms  p99 %6.3f ms\n",
                        statistics.median, statistics.p99);
            std::printf("                series loaded: %+ld KiB resident (process %ld KiB)\n",
                        loaded - before, loaded);
        }
    }
    const Figures rollback = timeBareCommits(folder.filePath(QStringLiteral("bare.ser")),
                                             Database::Journal::Rollback, appends);
    const Figures writeAhead = timeBareCommits(folder.filePath(QStringLiteral("bare.db")),
                                               Database::Journal::WriteAhead, appends);
    std::printf("  one row committed alone, nothing else: series file (rollback journal, "
                "flushed) median %.3f ms p99 %.3f ms; working database (write-ahead log) "
                "median %.3f ms p99 %.3f ms\n",
                rollback.median, rollback.p99, writeAhead.median, writeAhead.p99);
    std::printf("  goal: median at most 1.5 ms and p99 at most 5 ms at every length\n");
    return 0;
}
