// Appending one reading to a long series that carries its journal (one entry
// per reading), with live statistics on and the grid attached: median and p99
// time of one append, journal entry included, at 1,000, 100,000 and
// 1,000,000 rows, and the memory the program holds with a 1,000,000-row
// series loaded. The goal is for the working database, where acquisition
// writes; a series file bound in place is flushed whole at every reading and
// is shown beside it.
#include "Database.h"
#include "LocalTime.h"
#include "MeasurementStore.h"
#include "Percentile.h"
#include "ProgramContext.h"
#include "QtUserDialogs.h"
#include "StoreBench.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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
    return {BenchSupport::Percentile(ms, 50), BenchSupport::Percentile(ms, 99)};
}

// The whole append, and of it the part after the store is back: what the
// grid and the window do with the new row.
Figures timeAppends(MeasurementStore& store, int count, Figures* window = nullptr) {
    std::vector<double> ms, events;
    QDateTime at = QDateTime::currentDateTime();
    for (int i = 0; i < count; ++i) {
        QElapsedTimer clock;
        clock.start();
        AcceptedReading reading;
        reading.mass = 12.3456;
        reading.unit = QStringLiteral("g");
        reading.time = at.addSecs(i);
        reading.frame = QByteArrayLiteral("S S     12.3456 g\r\n");
        reading.description = QStringLiteral(" ");
        store.DodajPomiar(reading);
        const qint64 stored = clock.nsecsElapsed();
        QCoreApplication::processEvents();
        ms.push_back(clock.nsecsElapsed() / 1e6);
        events.push_back((clock.nsecsElapsed() - stored) / 1e6);
    }
    if (window)
        *window = Summary(std::move(events));
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

// The goal of an append in the working database.
constexpr double goalMedianMs = 1.0;

// The seeded series of `rows` readings copied to target and opened there
// (bound in place, or as the working database a run left), its appends
// timed with and without live statistics and printed; false, told, when
// it could not be set up.
bool measureIn(ProgramContext& context, const QString& seed, const QString& target, int rows,
               bool workingDatabase, int appends, bool& met) {
    for (const char* end : {"", "-wal", "-shm", "-journal"})
        QFile::remove(target + QLatin1String(end));
    if (!QFile::copy(seed, target)) {
        std::fprintf(stderr, "store_append: cannot copy %s\n", qPrintable(seed));
        return false;
    }
    const long before = residentKiB();
    MeasurementStore store(context);
    SeriesGrid grid(store.Model(), nullptr);
    StoreBench::ShowGrid(grid, 30);
    if (workingDatabase) {
        store.OtworzMagazyn();
        store.KeepLeftReadings();
    } else {
        store.OtworzBaze(target);
    }
    if (store.RowCount() != rows) {
        std::fprintf(stderr, "store_append: %d rows bound, not %d\n", store.RowCount(), rows);
        return false;
    }
    // The values are read right after the first rows show.
    QCoreApplication::processEvents();
    const long loaded = residentKiB();
    const std::size_t passesBefore = store.Running().FullPasses();
    Figures window{};
    const Figures live = timeAppends(store, appends, &window);
    const std::size_t fullPasses = store.Running().FullPasses() - passesBefore;
    const Figures statistics = timeStatistics(store, appends);
    store.SetLiveStatistics(false);
    const Figures quiet = timeAppends(store, appends);
    std::printf("  %8d rows, %s:\n", rows,
                workingDatabase ? "working database" : "series file bound in place");
    std::printf("                median %6.3f ms  p99 %6.3f ms   (without statistics: "
                "median %6.3f ms  p99 %6.3f ms)\n",
                live.median, live.p99, quiet.median, quiet.p99);
    std::printf("                of it the grid and the window after the store: median "
                "%6.3f ms  p99 %6.3f ms\n",
                window.median, window.p99);
    if (workingDatabase) {
        const bool ok = live.median <= goalMedianMs;
        met = met && ok;
        std::printf("                goal: median at most %.1f ms: %s\n", goalMedianMs,
                    ok ? "met" : "MISSED");
    }
    std::printf("                statistics from a pass over the values: %zu in %d "
                "appends\n",
                fullPasses, appends);
    std::printf("                statistics step alone: median %6.3f ms  p99 %6.3f ms\n",
                statistics.median, statistics.p99);
    std::printf("                series loaded: %+ld KiB resident (process %ld KiB)\n",
                loaded - before, loaded);
    return true;
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

    bool met = true;
    std::printf("store_append: %d appends of one reading with its journal entry, live statistics "
                "on, grid attached\n",
                appends);
    const QString working = MeasurementStore::WorkingDatabasePath(context.programFolder);
    // --rows N: that length alone (for a profile).
    std::vector<int> lengths{1000, 100000, 1000000};
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--rows")
            lengths = {std::max(1, std::atoi(argv[i + 1]))};
    }
    for (const int rows : lengths) {
        // Written once, as a run that ended without a clean end leaves the
        // working database: its readings stay bound when the store starts.
        const QString seed = folder.filePath(QStringLiteral("seed-%1.mdb").arg(rows));
        StoreBench::WriteJournaledSeries(
            seed, rows, [](int i) { return 12.0 + (i % 100) * 0.001; }, true);
        const QString path = folder.filePath(QStringLiteral("series-%1.ser").arg(rows));
        for (const bool workingDatabase : {false, true}) {
            const QString target = workingDatabase ? working : path;
            if (!measureIn(context, seed, target, rows, workingDatabase, appends, met))
                return 1;
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
    std::printf("  goal: in the working database, median at most %.1f ms at every length: %s\n",
                goalMedianMs, met ? "met" : "MISSED");
    return 0;
}
