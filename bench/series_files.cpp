// Saving, opening and exporting a long series, each beside the sqlite3
// command-line tool doing the same work on the same files in the same run:
// the tool is the yardstick of what the storage itself costs on this machine.
//
//   bench_series_files [--rows N] [--repeat R]
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
#include <QHeaderView>
#include <QProcess>
#include <QTableView>
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
    double inModel = 0;  // the grid model holds the rows
    double returned = 0; // OtworzBaze is back (statistics done)
    double painted = 0;  // the grid has painted its first rows
    double closed = 0;   // releasing the file afterwards
};

OpenFigures openOnce(ProgramContext& context, const QString& path, int expectedRows) {
    OpenFigures figures;
    QElapsedTimer clock;
    auto store = std::make_unique<MeasurementStore>(context);
    QTableView grid;
    grid.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid.resize(800, 30 * firstRowsShown);
    grid.setModel(&store->Model());
    grid.show();
    QCoreApplication::processEvents();
    QObject::connect(&store->Model(), &QAbstractItemModel::modelReset,
                     [&] { figures.inModel = msSince(clock); });
    clock.start();
    store->OtworzBaze(path);
    figures.returned = msSince(clock);
    grid.repaint();
    figures.painted = msSince(clock);
    if (store->RowCount() != expectedRows)
        throw std::runtime_error("the opened series has " + std::to_string(store->RowCount()) +
                                 " rows, not " + std::to_string(expectedRows));
    clock.restart();
    grid.setModel(nullptr);
    store.reset();
    figures.closed = msSince(clock);
    return figures;
}

void printPair(const char* what, double ours, double tool) {
    const double ratio = ours / tool;
    std::printf("  %-34s ours %9.1f ms   sqlite3 %9.1f ms   ratio %5.2f  %s\n", what, ours, tool,
                ratio, ratio <= 2.0 ? "(within 2)" : "(OVER 2)");
}

} // namespace

int main(int argc, char** argv) {
    Pomiar::KeepTimeZoneLoaded();
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rows = intArgument(argc, argv, "--rows", 100000);
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
        std::vector<double> oursSave, toolSave, compact;
        for (int i = 0; i < repeat; ++i) {
            QString error;
            QElapsedTimer clock;
            clock.start();
            const auto result = SeriesFile::ZapiszSerie(working, seriesPath, nullptr, &error);
            oursSave.push_back(msSince(clock));
            if (result != SeriesFile::SaveResult::Completed)
                throw std::runtime_error("ZapiszSerie failed: " + error.toStdString());

            QFile::remove(toolDbPath);
            toolSave.push_back(runTool(
                {toolDbPath, QStringLiteral("ATTACH '%1' AS s; CREATE TABLE Pomiary AS SELECT * "
                                            "FROM s.pomiary;")
                                 .arg(workingPath)},
                nullDevice));
        }
        // How much of a save the final compaction is: the same VACUUM on a
        // copy of the finished file.
        for (int i = 0; i < repeat; ++i) {
            const QString copy = folder.filePath(QStringLiteral("copy.ser"));
            QFile::remove(copy);
            QFile::copy(seriesPath, copy);
            QElapsedTimer clock;
            clock.start();
            MeasurementStore::KompaktujBaze(copy);
            compact.push_back(msSince(clock));
        }
        if (countRows(seriesPath) != rows || countRows(toolDbPath) != rows)
            throw std::runtime_error("a saved file lacks rows");
        const qint64 seriesSize = QFileInfo(seriesPath).size();

        // 2. Open.
        std::vector<double> inModel, returned, painted, closed, toolRead;
        for (int i = 0; i < repeat; ++i) {
            const OpenFigures figures = openOnce(context, seriesPath, rows);
            inModel.push_back(figures.inModel);
            returned.push_back(figures.returned);
            painted.push_back(figures.painted);
            closed.push_back(figures.closed);
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
        printPair("save (ZapiszSerie)", median(oursSave), median(toolSave));
        std::printf("  %-34s   of which compaction alone about %.1f ms\n", "", median(compact));
        printPair("open (OtworzBaze, rows in grid)", median(returned), median(toolRead));
        printPair("open, first 50 rows painted", median(painted), median(toolRead));
        std::printf("  %-34s   rows reach the model at %.1f ms: OtworzBaze reads the whole\n"
                    "  %-34s   series before the grid gets any row, so the first %d rows\n"
                    "  %-34s   show no sooner than the last; closing it again %.1f ms\n",
                    "", median(inModel), "", firstRowsShown, "", median(closed));
        printPair("export (EksportCSV)", median(oursExport), median(toolExport));
        std::printf("  goal: every ratio at most 2; the first rows shown at once on opening\n");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "series_files: %s\n", error.what());
        return 1;
    }
    return 0;
}
