// Saving, opening and exporting a long series, each beside the sqlite3
// command-line tool doing the same work on the same files in the same run:
// the tool is the yardstick of what the storage itself costs on this machine.
// Then a series of a million rows opened in a fresh process: its first rows
// painted, and the memory held once the grid was scrolled end to end.
//
//   bench_series_files [--rows N] [--repeat R] [--large-rows M]
//
// Every figure is the median of R runs (3 by default) on a warm page cache.
#include "Database.h"
#include "LocalTime.h"
#include "MeasurementStore.h"
#include "ProgramContext.h"
#include "QtUserDialogs.h"
#include "SeriesFile.h"
#include "StoreBench.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using namespace Pomiar;

namespace {

constexpr int firstRowsShown = 50;

int intArgument(int argc, char** argv, const char* name, int fallback) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0)
            return std::max(1, std::atoi(argv[i + 1]));
    }
    return fallback;
}

double msSince(const QElapsedTimer& clock) {
    return double(clock.nsecsElapsed()) / 1e6;
}

double median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

// The working database as the program keeps it, holding one series of n
// rows written in one transaction, and a report row.
void fillWorkingDatabase(Database& db, int rows) {
    db.CreateSchema();
    db.Begin();
    const QDateTime start(QDate(2026, 12, 7), QTime(8, 0));
    for (int i = 1; i <= rows; ++i) {
        const QDateTime at = start.addMSecs(qint64(i) * 250);
        db.Execute("INSERT INTO pomiary (Lp, data, Godzina, Timer, Masa, Jm, LpTekst, Nr_wagi, "
                   "Opis) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)",
                   {i, Database::DateText(at.date()), Database::DateTimeText(at), i / 4,
                    12.0 + (i % 1000) * 0.0001, "g", QString::number(i), "1",
                    i % 10 == 0 ? QStringLiteral("opis %1").arg(i) : QStringLiteral(" ")});
    }
    db.Execute("INSERT INTO raport (Raport) VALUES (?)", {QStringLiteral("raport serii")});
    db.Commit();
}

// Runs the sqlite3 tool to its end, its output into outputFile, and answers
// the milliseconds it took from start to exit.
double runTool(const QStringList& arguments, const QString& outputFile) {
    QProcess tool;
    tool.setProgram(QStringLiteral("sqlite3"));
    tool.setArguments(arguments);
    tool.setStandardOutputFile(outputFile);
    QElapsedTimer clock;
    clock.start();
    tool.start();
    if (!tool.waitForFinished(-1) || tool.exitStatus() != QProcess::NormalExit ||
        tool.exitCode() != 0)
        throw std::runtime_error("sqlite3 " + arguments.join(' ').toStdString() +
                                 " failed: " + tool.readAllStandardError().toStdString() +
                                 tool.errorString().toStdString());
    return msSince(clock);
}

qint64 countRows(const QString& path) {
    Database db(path);
    return db.Scalar(QStringLiteral("SELECT count(*) FROM Pomiary")).toLongLong();
}

qint64 countLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    return file.readAll().count('\n');
}

struct OpenFigures {
    double returned = 0;   // OtworzBaze is back
    double painted = 0;    // the grid has painted its first rows
    double statistics = 0; // the statistics of the whole series are shown
    double closed = 0;     // releasing the file afterwards
};

long residentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').front().toLong();
    }
    return -1;
}

OpenFigures openOnce(ProgramContext& context, const QString& path, int expectedRows) {
    OpenFigures figures;
    QElapsedTimer clock;
    auto store = std::make_unique<MeasurementStore>(context);
    auto grid = std::make_unique<SeriesGrid>(store->Model(), nullptr);
    StoreBench::ShowGrid(*grid, firstRowsShown);
    QCoreApplication::processEvents();
    clock.start();
    store->OtworzBaze(path);
    figures.returned = msSince(clock);
    grid->repaint();
    figures.painted = msSince(clock);
    while (store->Statistics().lblLiczba.isEmpty())
        QCoreApplication::processEvents();
    figures.statistics = msSince(clock);
    if (store->RowCount() != expectedRows)
        throw std::runtime_error("the opened series has " + std::to_string(store->RowCount()) +
                                 " rows, not " + std::to_string(expectedRows));
    clock.restart();
    grid.reset();
    store.reset();
    figures.closed = msSince(clock);
    return figures;
}

void printPair(const char* what, double ours, double tool, double goal) {
    const double ratio = ours / tool;
    std::printf("  %-34s ours %9.1f ms   sqlite3 %9.1f ms   ratio %5.2f  goal %.1f %s\n", what,
                ours, tool, ratio, goal, ratio <= goal ? "(met)" : "(OVER)");
}

// In a process of its own, so that its memory is the program's alone: opens
// the series in a grid, paints the first rows, scrolls end to end and prints
// "<first rows painted ms> <statistics shown ms> <resident KiB>".
int measureLargeOpen(const QString& path) {
    StoreBench::ScratchProgram program;
    MeasurementStore store(program.context);
    SeriesGrid grid(store.Model(), nullptr);
    StoreBench::ShowGrid(grid, firstRowsShown);
    QCoreApplication::processEvents();
    QElapsedTimer clock;
    clock.start();
    store.OtworzBaze(path);
    grid.repaint();
    const double painted = msSince(clock);
    while (store.Statistics().lblLiczba.isEmpty())
        QCoreApplication::processEvents();
    const double statistics = msSince(clock);
    QScrollBar* bar = grid.verticalScrollBar();
    for (int step = 0; step <= 400; ++step) {
        bar->setValue(int(qint64(bar->maximum()) * step / 400));
        grid.repaint();
    }
    std::printf("%.1f %.1f %ld\n", painted, statistics, residentKiB());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    Pomiar::KeepTimeZoneLoaded();
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--measure-open") == 0)
            return measureLargeOpen(QString::fromLocal8Bit(argv[i + 1]));
    }
    const int rows = intArgument(argc, argv, "--rows", 100000);
    const int largeRows = intArgument(argc, argv, "--large-rows", 1000000);
    const int repeat = intArgument(argc, argv, "--repeat", 3);

    StoreBench::ScratchProgram program;
    QTemporaryDir& folder = program.folder;
    ProgramContext& context = program.context;
    const QString workingPath = MeasurementStore::WorkingDatabasePath(folder.path());
    const QString seriesPath = folder.filePath(QStringLiteral("seria.ser"));
    const QString toolDbPath = folder.filePath(QStringLiteral("tool.db"));
    const QString ourCsv = folder.filePath(QStringLiteral("ours.csv"));
    const QString toolCsv = folder.filePath(QStringLiteral("tool.csv"));
    const QString nullDevice = QProcess::nullDevice();

    std::printf("series_files: a series of %d rows, median of %d runs each\n", rows, repeat);
    try {
        Database working(workingPath);
        fillWorkingDatabase(working, rows);

        // 1. Save.
        std::vector<double> oursSave, toolSave, toolRewrite;
        for (int i = 0; i < repeat; ++i) {
            QString error;
            QElapsedTimer clock;
            clock.start();
            const auto result = SeriesFile::ZapiszSerie(working, seriesPath, nullptr, &error);
            oursSave.push_back(msSince(clock));
            if (result != SeriesFile::SaveResult::Completed)
                throw std::runtime_error("ZapiszSerie failed: " + error.toStdString());

            QFile::remove(toolDbPath);
            toolSave.push_back(
                runTool({workingPath, QStringLiteral(".backup '%1'").arg(toolDbPath)}, nullDevice));
        }
        // A series file's rows differ from the working rows (status "0", a
        // blank for an empty description, whole seconds), so a save rewrites
        // every row and cannot copy pages. The floor of that work: sqlite3
        // itself rewriting the same rows the same way into a new file.
        const QString rewritePath = folder.filePath(QStringLiteral("rewrite.db"));
        const QString rewrite =
            QStringLiteral(
                "PRAGMA journal_mode=OFF; PRAGMA synchronous=FULL; ATTACH '%1' AS zrodlo; BEGIN; "
                "CREATE TABLE Pomiary (Lp INTEGER, data TEXT, Godzina TEXT, Timer INTEGER, "
                "Masa REAL, Jm TEXT, LpTekst TEXT, Nr_wagi TEXT, status TEXT, Opis TEXT); "
                "INSERT INTO Pomiary SELECT Lp, data, CASE WHEN substr(Godzina, 20, 1) = '.' "
                "THEN substr(Godzina, 1, 19) ELSE Godzina END, Timer, Masa, Jm, LpTekst, "
                "Nr_wagi, '0', CASE WHEN Opis = '' THEN ' ' ELSE Opis END FROM zrodlo.pomiary "
                "ORDER BY rowid; COMMIT;")
                .arg(workingPath);
        for (int i = 0; i < repeat; ++i) {
            QFile::remove(rewritePath);
            toolRewrite.push_back(runTool({rewritePath, rewrite}, nullDevice));
        }
        if (countRows(seriesPath) != rows || countRows(toolDbPath) != rows)
            throw std::runtime_error("a saved file lacks rows");
        const qint64 seriesSize = QFileInfo(seriesPath).size();

        // 2. Open.
        std::vector<double> returned, painted, statistics, closed, toolFirst, toolRead;
        for (int i = 0; i < repeat; ++i) {
            const OpenFigures figures = openOnce(context, seriesPath, rows);
            returned.push_back(figures.returned);
            painted.push_back(figures.painted);
            statistics.push_back(figures.statistics);
            closed.push_back(figures.closed);
            toolFirst.push_back(runTool(
                {seriesPath, QStringLiteral("select * from Pomiary limit %1").arg(firstRowsShown)},
                nullDevice));
            toolRead.push_back(
                runTool({seriesPath, QStringLiteral("select * from Pomiary")}, nullDevice));
        }

        // 3. Export.
        std::vector<double> oursExport, toolExport;
        {
            Database series(seriesPath);
            const QLocale polish(QLocale::Polish, QLocale::Poland);
            const auto caption = [](const QString& column) { return column; };
            for (int i = 0; i < repeat; ++i) {
                // The export appends to an existing file.
                QFile::remove(ourCsv);
                QElapsedTimer clock;
                clock.start();
                SeriesFile::EksportCSV(series, ourCsv, caption, polish);
                oursExport.push_back(msSince(clock));

                toolExport.push_back(runTool({QStringLiteral("-csv"), QStringLiteral("-separator"),
                                              QStringLiteral(";"), seriesPath,
                                              QStringLiteral("select * from Pomiary")},
                                             toolCsv));
            }
        }
        if (countLines(ourCsv) != rows + 1 || countLines(toolCsv) != rows)
            throw std::runtime_error("an exported file lacks lines");

        std::printf("  series file %lld bytes; CSV ours %lld bytes (with header), sqlite3 %lld "
                    "bytes\n",
                    static_cast<long long>(seriesSize),
                    static_cast<long long>(QFileInfo(ourCsv).size()),
                    static_cast<long long>(QFileInfo(toolCsv).size()));
        printPair("save (ZapiszSerie) vs .backup", median(oursSave), median(toolSave), 1.2);
        printPair("save vs sqlite3 rewriting the rows", median(oursSave), median(toolRewrite), 1.2);
        printPair("open, first 50 rows painted", median(painted), median(toolFirst), 1.2);
        std::printf("  %-34s   goal under 50 ms: %s; OtworzBaze back at %.1f ms\n", "",
                    median(painted) < 50 ? "met" : "OVER", median(returned));
        printPair("open, whole-series statistics shown", median(statistics), median(toolRead), 2.0);
        std::printf("  %-34s   closing it again %.1f ms\n", "", median(closed));
        printPair("export (EksportCSV) vs -csv", median(oursExport), median(toolExport), 1.3);

        // 4. A million rows, opened in a process of its own.
        const QString largePath = folder.filePath(QStringLiteral("large.ser"));
        StoreBench::WriteSeries(largePath, largeRows,
                                [](int i) { return 12.0 + (i % 1000) * 0.0001; });
        QProcess measure;
        measure.start(QCoreApplication::applicationFilePath(),
                      {QStringLiteral("--measure-open"), largePath});
        if (!measure.waitForFinished(-1) || measure.exitCode() != 0)
            throw std::runtime_error("the large open failed: " +
                                     measure.readAllStandardError().toStdString());
        const QList<QByteArray> large = measure.readAllStandardOutput().trimmed().split(' ');
        if (large.size() != 3)
            throw std::runtime_error("the large open printed no figures");
        const double largePainted = large[0].toDouble();
        const double largeKiB = large[2].toDouble();
        std::printf("  %d rows, first rows painted    %9.1f ms   goal under 100 ms %s\n", largeRows,
                    largePainted, largePainted < 100 ? "(met)" : "(OVER)");
        std::printf("  %d rows, statistics shown      %9.1f ms\n", largeRows, large[1].toDouble());
        std::printf("  %d rows, scrolled end to end   %9.1f MB resident   goal at most 80 MB "
                    "%s\n",
                    largeRows, largeKiB / 1024, largeKiB / 1024 <= 80 ? "(met)" : "(OVER)");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "series_files: %s\n", error.what());
        return 1;
    }
    return 0;
}
