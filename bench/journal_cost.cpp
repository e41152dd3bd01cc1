// What the series journal costs a reading: the time its entry adds to the
// reading's own transaction (median, p99) in a journal of 1,000, 100,000 and
// 1,000,000 entries, against the goal of 0.2 ms median; and the bytes a
// series file grows by per reading for its journal entry, at 1,000,000
// readings written by a station whose user and host names are 32
// characters long, against the goal of 100 bytes.
#include "Database.h"
#include "Percentile.h"
#include "SeriesJournal.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace Pomiar;

namespace {

constexpr double GoalMedianMs = 0.2;
constexpr double GoalBytesPerReading = 100;
constexpr int TimedEntries = 500;

// Long names: the entry must stay small whoever writes it.
const SeriesJournal::Author Station{QStringLiteral("1"), QString(32, u'u'), QString(32, u'h')};

// A reading's entry as the store writes it: a frame of a usual length, the
// Timer and LpTekst, and the blank description of a reading taken by hand.
// The mass is read from the frame's text, as the store reads it.
void AppendReading(Database& database, int lp) {
    const QString value = QString::number(12.3456 + (lp % 100000) * 1e-4, 'f', 4);
    SeriesJournal::Append(database, Station, SeriesJournal::Event::ReadingStored,
                          SeriesJournal::ReadingData(lp, value.toDouble(), QStringLiteral("g"),
                                                     ("S S     " + value + " g\r\n").toLatin1(), lp,
                                                     QString::number(lp), QStringLiteral(" ")),
                          QDateTime::currentDateTime());
}

// Entries appended in one transaction, as a continuous batch writes them.
void Fill(Database& database, int from, int count) {
    database.Begin();
    for (int lp = from; lp < from + count; ++lp)
        AppendReading(database, lp);
    database.Commit();
}

qint64 FileBytes(Database& database) {
    return database.Scalar(QStringLiteral("PRAGMA page_count")).toLongLong() *
           database.Scalar(QStringLiteral("PRAGMA page_size")).toLongLong();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QTemporaryDir folder;
    bool met = true;

    std::printf("journal_cost: the entry of one reading inside the reading's transaction\n");
    Database series(folder.filePath(QStringLiteral("series.ser")), Database::Journal::Rollback);
    series.CreateSchema();
    int entries = 0;
    for (const int length : {1000, 100000, 1000000}) {
        Fill(series, entries + 1, length - entries);
        entries = length;
        std::vector<double> ms;
        for (int i = 0; i < TimedEntries; ++i) {
            series.Begin();
            QElapsedTimer clock;
            clock.start();
            AppendReading(series, ++entries);
            ms.push_back(double(clock.nsecsElapsed()) / 1e6);
            series.Commit();
        }
        std::sort(ms.begin(), ms.end());
        const double median = BenchSupport::Percentile(ms, 50);
        const double p99 = BenchSupport::Percentile(ms, 99);
        const bool ok = median <= GoalMedianMs;
        met = met && ok;
        std::printf("  %8d entries: median %.3f ms  p99 %.3f ms   goal median <= %.1f ms%s\n",
                    length, median, p99, GoalMedianMs, ok ? "" : "   <-- missed");
    }

    std::printf("journal_cost: a series file's growth for its journal\n");
    Database grown(folder.filePath(QStringLiteral("grown.ser")), Database::Journal::Rollback);
    grown.CreateSchema();
    SeriesJournal::Create(grown);
    const qint64 before = FileBytes(grown);
    const int readings = 1000000;
    Fill(grown, 1, readings);
    const double perReading = double(FileBytes(grown) - before) / readings;
    const bool small = perReading <= GoalBytesPerReading;
    met = met && small;
    std::printf("  %d readings, 32-character user and host: %.1f bytes per reading   goal <= "
                "%.0f%s\n",
                readings, perReading, GoalBytesPerReading, small ? "" : "   <-- missed");
    return met ? EXIT_SUCCESS : EXIT_FAILURE;
}
