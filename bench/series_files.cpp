// Saving, opening and exporting a long series that carries its journal (one
// entry per reading), each beside the sqlite3 command-line tool doing the same
// work on the same files in the same run: the tool is the yardstick of what
// the storage itself costs on this machine. A series is opened the way the
// File menu opens it, in the main window of a process of its own: the first
// rows painted, the verdict on its journal shown, the longest time the
// window did not answer meanwhile; for a million rows also the memory held
// once the grid was scrolled end to end.
//
//   bench_series_files [--rows N] [--repeat R] [--large-rows M] [--grab PREFIX]
//
// Every figure is the median of R runs (3 by default) on a warm page cache.
#include "BenchSupport.h"
#include "Database.h"
#include "LocalTime.h"
#include "MainWindowBench.h"
#include "MeasurementStore.h"
#include "ProgramContext.h"
#include "QtUserDialogs.h"
#include "SeriesFile.h"
#include "StatisticsPanel.h"
#include "StoreBench.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
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
// The link of the main window, on a pseudo-terminal nobody answers.
constexpr int Port = 1;

int intArgument(int argc, char** argv, const char* name, int fallback) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0)
            return std::max(1, std::atoi(argv[i + 1]));
    }
    return fallback;
}

QString textArgument(int argc, char** argv, const char* name) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0)
            return QString::fromLocal8Bit(argv[i + 1]);
    }
    return {};
}

double msSince(const QElapsedTimer& clock) {
    return double(clock.nsecsElapsed()) / 1e6;
}

double median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

double massOf(int i) {
    return 12.0 + (i % 1000) * 0.0001;
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

void printPair(const char* what, double ours, double tool, double goal) {
    const double ratio = ours / tool;
    std::printf("  %-34s ours %9.1f ms   sqlite3 %9.1f ms   ratio %5.2f  goal %.1f %s\n", what,
                ours, tool, ratio, goal, ratio <= goal ? "(met)" : "(OVER)");
}

struct Shown {
    double verdict = -1, statistics = -1, unanswered = 0;
};

// Turns the event loop until the verdict and the statistics are shown (ms
// since clock started): the longest time one turn took is how long the
// window did not answer. False after 10 minutes.
bool waitUntilShown(const QLabel& journal, const QString& checking, MeasurementStore& store,
                    const QElapsedTimer& clock, Shown* shown) {
    while (shown->verdict < 0 || shown->statistics < 0) {
        QElapsedTimer turn;
        turn.start();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        shown->unanswered = std::max(shown->unanswered, msSince(turn));
        if (shown->verdict < 0 && journal.text() != checking)
            shown->verdict = msSince(clock);
        if (shown->statistics < 0 && !store.Statistics().lblLiczba.isEmpty())
            shown->statistics = msSince(clock);
        if (clock.elapsed() > 600000)
            return false;
    }
    return true;
}

// In a process of its own, so that its memory is the program's alone: the
// main window opens the series through its File menu `repeat` times and
// prints, for each, "<first rows painted ms> <verdict shown ms> <statistics
// shown ms> <longest unanswered ms>"; then, when scroll is set, scrolls the
// grid end to end and prints "rss <resident KiB>"; last "verdict <text>".
// With a grab prefix, the window is saved as <prefix>-checking.png right
// after the first rows and as <prefix>-verdict.png once the verdict is shown.
int measureWindowOpen(int argc, char** argv, const QString& path, int repeat, bool scroll,
                      const QString& grab) {
    MainWindowBench::Folders folders;
    BenchSupport::PtyPeer peer;
    if (!peer.Open(Port, "series_files"))
        return 1;
    QApplication app(argc, argv);
    MainWindowBench::Program program;
    if (!program.Open(folders.Program(), Port, "series_files"))
        return 1;
    Glowna& window = *program.window;
    if (!grab.isEmpty())
        window.resize(1000, 640);
    const QLabel* journal = window.findChild<QLabel*>(QStringLiteral("journalStatus"));
    MeasurementStore& store = window.Store();
    // The window has long been painted when the user opens a file.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 300)
        QCoreApplication::processEvents();
    for (int run = 0; run < repeat; ++run) {
        program.dialogs.openNext = path;
        QElapsedTimer clock;
        clock.start();
        window.Commands().RunCommand(Command::Otworz);
        window.Grid()->repaint();
        const double painted = msSince(clock);
        const QString checking = journal->text();
        if (!grab.isEmpty() && run == 0) {
            // The status bar lays its new text out first.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
            window.grab().save(grab + QStringLiteral("-checking.png"));
        }
        if (store.RowCount() == 0 || !window.Series().JournalChecking()) {
            std::fprintf(stderr, "series_files: no rows or no check after the open\n");
            return 1;
        }
        Shown shown;
        if (!waitUntilShown(*journal, checking, store, clock, &shown)) {
            std::fprintf(stderr, "series_files: no verdict after 10 minutes\n");
            return 1;
        }
        if (!grab.isEmpty() && run == 0)
            window.grab().save(grab + QStringLiteral("-verdict.png"));
        std::printf("%.2f %.1f %.1f %.1f\n", painted, shown.verdict, shown.statistics,
                    shown.unanswered);
    }
    if (scroll) {
        QScrollBar* bar = window.Grid()->verticalScrollBar();
        for (int step = 0; step <= 400; ++step) {
            bar->setValue(int(qint64(bar->maximum()) * step / 400));
            window.Grid()->repaint();
        }
        std::printf("rss %ld\n", residentKiB());
    }
    std::printf("verdict %s\n", journal->text().toUtf8().constData());
    return 0;
}

struct WindowOpen {
    std::vector<double> painted, verdict, statistics, unanswered;
    long residentKiB = -1;
    QString verdictText;
};

WindowOpen openInWindow(const QString& path, int repeat, bool scroll,
                        const QString& grab = QString()) {
    QProcess measure;
    measure.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    measure.start(QCoreApplication::applicationFilePath(),
                  {QStringLiteral("--measure-open"), path, QStringLiteral("--repeat"),
                   QString::number(repeat), QStringLiteral("--scroll"),
                   QString::number(scroll ? 1 : 0), QStringLiteral("--grab"), grab});
    if (!measure.waitForFinished(-1) || measure.exitCode() != 0)
        throw std::runtime_error("the open in the main window failed");
    WindowOpen figures;
    for (const QByteArray& line : measure.readAllStandardOutput().split('\n')) {
        if (line.startsWith("rss ")) {
            figures.residentKiB = line.mid(4).toLong();
        } else if (line.startsWith("verdict ")) {
            figures.verdictText = QString::fromUtf8(line.mid(8));
        } else if (!line.trimmed().isEmpty()) {
            const QList<QByteArray> values = line.trimmed().split(' ');
            if (values.size() != 4)
                throw std::runtime_error("the open printed no figures");
            figures.painted.push_back(values[0].toDouble());
            figures.verdict.push_back(values[1].toDouble());
            figures.statistics.push_back(values[2].toDouble());
            figures.unanswered.push_back(values[3].toDouble());
        }
    }
    if (figures.painted.empty())
        throw std::runtime_error("the open printed no figures");
    return figures;
}

int writeSeriesOnly(const QString& path, int rows) {
    QTemporaryDir scratch;
    const QString source = scratch.filePath(QStringLiteral("dane.mdb"));
    StoreBench::WriteJournaledSeries(source, rows, massOf);
    Database working(source);
    QString error;
    return SeriesFile::ZapiszSerie(working, path, nullptr, &error) ==
                   SeriesFile::SaveResult::Completed
               ? 0
               : 1;
}

struct SaveTimes {
    std::vector<double> ours, backup, rewrite;
};

// ZapiszSerie beside sqlite3's .backup and sqlite3 rewriting the rows.
SaveTimes measureSave(Database& working, const QString& workingPath, const QString& seriesPath,
                      const QString& toolDbPath, const QString& rewritePath, int repeat) {
    const QString nullDevice = QProcess::nullDevice();
    SaveTimes times;
    for (int i = 0; i < repeat; ++i) {
        QString error;
        QElapsedTimer clock;
        clock.start();
        const auto result = SeriesFile::ZapiszSerie(working, seriesPath, nullptr, &error);
        times.ours.push_back(msSince(clock));
        if (result != SeriesFile::SaveResult::Completed)
            throw std::runtime_error("ZapiszSerie failed: " + error.toStdString());

        QFile::remove(toolDbPath);
        times.backup.push_back(
            runTool({workingPath, QStringLiteral(".backup '%1'").arg(toolDbPath)}, nullDevice));
    }
    // A series file's rows differ from the working rows (status "0", a
    // blank for an empty description, whole seconds), so a save rewrites
    // every row and cannot copy pages. The floor of that work: sqlite3
    // itself rewriting the same rows the same way into a new file.
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
        times.rewrite.push_back(runTool({rewritePath, rewrite}, nullDevice));
    }
    return times;
}

long long fileSize(const QString& path) {
    return static_cast<long long>(QFileInfo(path).size());
}

void printSizes(const QString& seriesPath, const QString& ourCsv, const QString& toolCsv) {
    std::printf("  series file %lld bytes; CSV ours %lld bytes (with header), sqlite3 %lld "
                "bytes\n",
                fileSize(seriesPath), fileSize(ourCsv), fileSize(toolCsv));
}

struct ToolReads {
    std::vector<double> first, all;
};

// sqlite3 reading the first rows the window shows, and all the rows.
ToolReads measureToolReads(const QString& seriesPath, int repeat) {
    const QString nullDevice = QProcess::nullDevice();
    ToolReads times;
    for (int i = 0; i < repeat; ++i) {
        times.first.push_back(runTool(
            {seriesPath, QStringLiteral("select * from Pomiary limit %1").arg(firstRowsShown)},
            nullDevice));
        times.all.push_back(
            runTool({seriesPath, QStringLiteral("select * from Pomiary")}, nullDevice));
    }
    return times;
}

struct ExportTimes {
    std::vector<double> ours, tool;
};

// EksportCSV beside sqlite3's -csv.
ExportTimes measureExport(const QString& seriesPath, const QString& ourCsv, const QString& toolCsv,
                          int repeat) {
    ExportTimes times;
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
            times.ours.push_back(msSince(clock));

            times.tool.push_back(
                runTool({QStringLiteral("-csv"), QStringLiteral("-separator"), QStringLiteral(";"),
                         seriesPath, QStringLiteral("select * from Pomiary")},
                        toolCsv));
        }
    }
    return times;
}

void printFigures(const SaveTimes& save, const WindowOpen& opened, const ToolReads& tool,
                  const ExportTimes& exported) {
    printPair("save (ZapiszSerie) vs .backup", median(save.ours), median(save.backup), 1.2);
    printPair("save vs sqlite3 rewriting the rows", median(save.ours), median(save.rewrite), 1.2);
    printPair("open (menu), first 50 rows painted", median(opened.painted), median(tool.first),
              0.5);
    std::printf("  %-34s   verdict shown at %.1f ms (%s), longest unanswered %.1f ms\n", "",
                median(opened.verdict), qPrintable(opened.verdictText), median(opened.unanswered));
    printPair("open, whole-series statistics shown", median(opened.statistics), median(tool.all),
              2.0);
    printPair("export (EksportCSV) vs -csv", median(exported.ours), median(exported.tool), 1.3);
}

// A journaled series of largeRows saved and opened in the main window.
void measureLarge(QTemporaryDir& folder, int largeRows, int repeat, const QString& grab) {
    const QString nullDevice = QProcess::nullDevice();
    const QString largeWorking = folder.filePath(QStringLiteral("large.mdb"));
    const QString largePath = folder.filePath(QStringLiteral("large.ser"));
    StoreBench::WriteJournaledSeries(largeWorking, largeRows, massOf);
    {
        Database source(largeWorking);
        QString error;
        if (SeriesFile::ZapiszSerie(source, largePath, nullptr, &error) !=
            SeriesFile::SaveResult::Completed)
            throw std::runtime_error("ZapiszSerie failed: " + error.toStdString());
    }
    QFile::remove(largeWorking);
    const WindowOpen large = openInWindow(largePath, 1, true, grab);
    std::vector<double> largeToolFirst;
    for (int i = 0; i < repeat; ++i)
        largeToolFirst.push_back(runTool(
            {largePath, QStringLiteral("select * from Pomiary limit %1").arg(firstRowsShown)},
            nullDevice));
    const double largePainted = large.painted.front();
    std::printf("  %d rows, first rows painted   %9.1f ms   sqlite3 first rows %.1f ms   goal "
                "at most 50 ms %s\n",
                largeRows, largePainted, median(largeToolFirst),
                largePainted <= 50 ? "(met)" : "(OVER)");
    std::printf("  %d rows, verdict shown        %9.1f ms   (%s)\n", largeRows,
                large.verdict.front(), qPrintable(large.verdictText));
    std::printf("  %d rows, statistics shown     %9.1f ms\n", largeRows, large.statistics.front());
    std::printf("  %d rows, longest unanswered   %9.1f ms   (one turn of the event loop "
                "until the verdict and the statistics)\n",
                largeRows, large.unanswered.front());
    std::printf("  %d rows, scrolled end to end  %9.1f MB resident   goal at most 80 MB "
                "%s\n",
                largeRows, double(large.residentKiB) / 1024,
                double(large.residentKiB) / 1024 <= 80 ? "(met)" : "(OVER)");
}

} // namespace

int main(int argc, char** argv) {
    Pomiar::KeepTimeZoneLoaded();
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--measure-open") == 0)
            return measureWindowOpen(argc, argv, QString::fromLocal8Bit(argv[i + 1]),
                                     intArgument(argc, argv, "--repeat", 3),
                                     textArgument(argc, argv, "--scroll") == QLatin1String("1"),
                                     textArgument(argc, argv, "--grab"));
    }
    QApplication app(argc, argv);
    // --write-series PATH --series-rows N: only writes a journaled series file.
    const QString writeOnly = textArgument(argc, argv, "--write-series");
    if (!writeOnly.isEmpty())
        return writeSeriesOnly(writeOnly, intArgument(argc, argv, "--series-rows", 1000));
    const int rows = intArgument(argc, argv, "--rows", 100000);
    const int largeRows = intArgument(argc, argv, "--large-rows", 1000000);
    const int repeat = intArgument(argc, argv, "--repeat", 3);

    StoreBench::ScratchProgram program;
    QTemporaryDir& folder = program.folder;
    const QString workingPath = MeasurementStore::WorkingDatabasePath(folder.path());
    const QString seriesPath = folder.filePath(QStringLiteral("seria.ser"));
    const QString toolDbPath = folder.filePath(QStringLiteral("tool.db"));
    const QString ourCsv = folder.filePath(QStringLiteral("ours.csv"));
    const QString toolCsv = folder.filePath(QStringLiteral("tool.csv"));

    std::printf("series_files: a series of %d rows, median of %d runs each\n", rows, repeat);
    try {
        StoreBench::WriteJournaledSeries(workingPath, rows, massOf);
        Database working(workingPath);

        // 1. Save.
        const SaveTimes save = measureSave(working, workingPath, seriesPath, toolDbPath,
                                           folder.filePath(QStringLiteral("rewrite.db")), repeat);
        if (countRows(seriesPath) != rows || countRows(toolDbPath) != rows)
            throw std::runtime_error("a saved file lacks rows");

        // 2. Open, through the File menu of the main window.
        const WindowOpen opened = openInWindow(seriesPath, repeat, false);
        const ToolReads tool = measureToolReads(seriesPath, repeat);

        // 3. Export.
        const ExportTimes exported = measureExport(seriesPath, ourCsv, toolCsv, repeat);
        if (countLines(ourCsv) != rows + 1 || countLines(toolCsv) != rows)
            throw std::runtime_error("an exported file lacks lines");

        printSizes(seriesPath, ourCsv, toolCsv);
        printFigures(save, opened, tool, exported);

        // 4. A million rows, opened in a process of its own; --grab PREFIX:
        // pictures of the window opening it.
        measureLarge(folder, largeRows, repeat, textArgument(argc, argv, "--grab"));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "series_files: %s\n", error.what());
        return 1;
    }
    return 0;
}
