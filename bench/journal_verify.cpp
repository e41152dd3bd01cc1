// `trevalo verify` and `trevalo export --journal` on series of 100,000 and
// 1,000,000 readings written as the store writes them (one journal entry per
// reading, by a station whose user and host names are 32 characters long),
// beside the floor measured in the same run: sqlite3 printing both tables
// into sha256sum. Prints the wall time and peak RSS of each, and the goals:
// verify at most 1.0x the floor with a peak of 32 MB (100k) and 64 MB (1M);
// export with the journal's line at most 1.3x the plain export, 64 MB; and
// verify of a 1,000,000-reading file in the full rows of an earlier program.
#include "Database.h"
#include "SeriesJournal.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimeZone>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

using namespace Pomiar;

namespace {

struct Run {
    double seconds = 0;
    // User and system time of the child: the machine is shared, its wall
    // time is not always its own.
    double cpuSeconds = 0;
    double peakMb = 0;
    int exitCode = -1;
};

double Now() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// A child process, its wall time and its own peak resident set.
Run Measure(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const double start = Now();
    const pid_t child = ::fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    return {Now() - start,
            double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6,
            double(usage.ru_maxrss) / 1024.0, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

// The median of a few runs by wall time: the machine is shared, and one
// lucky run says little.
Run Median(const std::vector<std::string>& argv, int runs) {
    std::vector<Run> all;
    for (int i = 0; i < runs; ++i)
        all.push_back(Measure(argv));
    std::sort(all.begin(), all.end(),
              [](const Run& a, const Run& b) { return a.seconds < b.seconds; });
    return all[all.size() / 2];
}

// Readings with their journal entries, as the store writes them: one
// transaction per batch, each reading's row and entry together.
void Fill(const QString& path, int readings) {
    Database series(path, Database::Journal::Rollback);
    series.CreateSchema();
    const SeriesJournal::Author author{QStringLiteral("3"), QString(32, u'u'), QString(32, u'h')};
    const QDateTime start(QDate(2026, 12, 8), QTime(9, 0), QTimeZone(3600));
    series.Begin();
    SeriesJournal::Append(series, author, SeriesJournal::Event::SeriesStarted, "0", start);
    for (int lp = 1; lp <= readings; ++lp) {
        const QDateTime at = start.addSecs(lp);
        // The mass as the store reads it from the frame's text.
        const QString value = QString::number(12.3456 + (lp % 1000) * 1e-4, 'f', 4);
        const double mass = value.toDouble();
        series.Execute(QStringLiteral("INSERT INTO pomiary (Lp, data, Godzina, Timer, Masa, Jm, "
                                      "LpTekst, Nr_wagi, Opis) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                       {lp, Database::DateText(at.date()), Database::DateTimeText(at), lp, mass,
                        QStringLiteral("g"), QString::number(lp), QStringLiteral("3"),
                        QStringLiteral(" ")});
        SeriesJournal::Append(series, author, SeriesJournal::Event::ReadingStored,
                              SeriesJournal::ReadingData(lp, mass, QStringLiteral("g"),
                                                         ("S S     " + value + " g\r\n").toLatin1(),
                                                         lp, QString::number(lp),
                                                         QStringLiteral(" ")),
                              at);
        if (lp % 50000 == 0) {
            series.Commit();
            series.Begin();
        }
    }
    series.Commit();
}

// The same series as an earlier program wrote it: every entry a full row,
// with its author and its offset in minutes, the fields joined plainly.
void FillFullRows(const QString& path, int readings) {
    Database series(path, Database::Journal::Rollback);
    series.CreateSchema();
    SeriesJournal::Create(series);
    const SeriesJournal::Author author{QStringLiteral("3"), QString(32, u'u'), QString(32, u'h')};
    const QDateTime start(QDate(2026, 12, 8), QTime(9, 0), QTimeZone(3600));
    QByteArray previous;
    const auto entry = [&](qint64 seq, const QDateTime& at, SeriesJournal::Event event,
                           const QByteArray& data) {
        SeriesJournal::Entry row{
            seq, at.toMSecsSinceEpoch(), at.offsetFromUtc() / 60, false, author, event, data, {}};
        row.hash = SeriesJournal::ChainedHash(previous, row);
        previous = row.hash;
        series.Execute(QStringLiteral("INSERT INTO journal (seq, at, utc_offset, station, "
                                      "os_user, host, event, data, hash) VALUES (?, ?, ?, ?, ?, "
                                      "?, ?, ?, ?)"),
                       {row.seq, row.at, row.utcOffset, author.station, author.user, author.host,
                        int(row.event), row.data, row.hash});
    };
    series.Begin();
    entry(1, start, SeriesJournal::Event::SeriesStarted, "0");
    for (int lp = 1; lp <= readings; ++lp) {
        const QDateTime at = start.addSecs(lp);
        const QString value = QString::number(12.3456 + (lp % 1000) * 1e-4, 'f', 4);
        series.Execute(QStringLiteral("INSERT INTO pomiary (Lp, data, Godzina, Timer, Masa, Jm, "
                                      "LpTekst, Nr_wagi, Opis) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                       {lp, Database::DateText(at.date()), Database::DateTimeText(at), lp,
                        value.toDouble(), QStringLiteral("g"), QString::number(lp),
                        QStringLiteral("3"), QStringLiteral(" ")});
        entry(lp + 1, at, SeriesJournal::Event::ReadingStored,
              QByteArray::number(lp) + '\x1f' + value.toLatin1() + "\x1fg\x1fS S     " +
                  value.toLatin1() + " g\r\n");
        if (lp % 50000 == 0) {
            series.Commit();
            series.Begin();
        }
    }
    series.Commit();
}

// The machine's load when the figures were taken: wall times on a busy
// machine are not the program's alone.
std::string LoadAverage() {
    double load[3] = {};
    if (::getloadavg(load, 3) != 3)
        return "unknown";
    char text[64];
    std::snprintf(text, sizeof text, "%.2f %.2f %.2f", load[0], load[1], load[2]);
    return text;
}

// Where the runs happen: the trevalo beside this program, a scratch program
// folder, and where the series files are made (or kept by --keep DIR).
struct Setting {
    std::string trevalo;
    std::string programFolder;
    QString seriesFolder;
    std::string csv;
};

// trevalo verify beside sqlite3 printing both tables into sha256sum; a file
// the journal vouches for only in part verifies with exit status 8.
bool MeasureVerify(const Setting& setting, const std::string& file, double rssGoal,
                   int verifiedExit = 0) {
    const std::string floorCommand = "sqlite3 '" + file +
                                     "' 'select * from journal; select * from Pomiary' | "
                                     "sha256sum > /dev/null";
    const Run floor = Median({"/bin/sh", "-c", floorCommand}, 5);
    const Run verify = Median({setting.trevalo, "verify", file, "--dir", setting.programFolder}, 5);
    const double ratio = verify.seconds / floor.seconds;
    const bool ok = verify.exitCode == verifiedExit && ratio <= 1.0 && verify.peakMb <= rssGoal;
    std::printf("    floor (sqlite3 | sha256sum)  %6.2f s  peak %5.1f MB  (cpu %.2f s)\n",
                floor.seconds, floor.peakMb, floor.cpuSeconds);
    std::printf("    trevalo verify               %6.2f s  peak %5.1f MB  (cpu %.2f s)  = %.2fx "
                "the floor   goal <= 1.0x, <= %.0f MB%s%s\n",
                verify.seconds, verify.peakMb, verify.cpuSeconds, ratio, rssGoal,
                verify.exitCode != verifiedExit ? "   <-- did not verify" : "",
                ok ? "" : "   <-- missed");
    return ok;
}

Run MeasureExport(const Setting& setting, const std::string& file, const char* journal) {
    return Median({"/bin/sh", "-c",
                   "rm -f '" + setting.csv + "'; exec '" + setting.trevalo + "' export '" + file +
                       "' --csv '" + setting.csv + "'" + journal + " --dir '" +
                       setting.programFolder + "'"},
                  3);
}

// trevalo export --journal beside the plain export.
bool MeasureExports(const Setting& setting, const std::string& file) {
    const Run plain = MeasureExport(setting, file, "");
    const Run journal = MeasureExport(setting, file, " --journal");
    const double ratio = journal.seconds / plain.seconds;
    const bool ok = journal.exitCode == 0 && ratio <= 1.3 && journal.peakMb <= 64;
    std::printf("    trevalo export               %6.2f s  peak %5.1f MB  (cpu %.2f s)\n",
                plain.seconds, plain.peakMb, plain.cpuSeconds);
    std::printf("    trevalo export --journal     %6.2f s  peak %5.1f MB  (cpu %.2f s)  = %.2fx "
                "the plain export (cpu %.2fx)   goal <= 1.3x, <= 64 MB%s\n",
                journal.seconds, journal.peakMb, journal.cpuSeconds, ratio,
                journal.cpuSeconds / plain.cpuSeconds, ok ? "" : "   <-- missed");
    return ok;
}

// The file made by fill (unless kept from an earlier run), measured, and
// removed unless kept.
bool Measure(const Setting& setting, const QString& name, const QString& keep,
             const std::function<void(const QString&)>& fill,
             const std::function<bool(const std::string&, double megabytes)>& measure) {
    const QString path = QDir(setting.seriesFolder).filePath(name);
    if (!QFileInfo::exists(path))
        fill(path);
    const bool ok = measure(path.toStdString(), double(QFileInfo(path).size()) / 1e6);
    if (keep.isEmpty())
        QFile::remove(path);
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QTemporaryDir folder;
    // --keep DIR: the series files are kept there and reused by the next run.
    QString keep;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--keep") == 0)
            keep = QString::fromLocal8Bit(argv[i + 1]);
    const Setting setting{
        (QCoreApplication::applicationDirPath() + QStringLiteral("/trevalo")).toStdString(),
        folder.path().toStdString(), keep.isEmpty() ? folder.path() : keep,
        folder.filePath(QStringLiteral("out.csv")).toStdString()};
    bool met = true;
    std::printf("journal_verify: trevalo verify and export --journal against their floors "
                "(medians; load average %s)\n",
                LoadAverage().c_str());
    for (const int readings : {100000, 1000000}) {
        met = Measure(
                  setting, QStringLiteral("series-%1.ser").arg(readings), keep,
                  [readings](const QString& path) { Fill(path, readings); },
                  [&](const std::string& file, double megabytes) {
                      std::printf("  %7d readings (%.0f MB file)\n", readings, megabytes);
                      const bool verifyOk =
                          MeasureVerify(setting, file, readings >= 1000000 ? 64 : 32);
                      return MeasureExports(setting, file) && verifyOk;
                  }) &&
              met;
    }
    // A file of an earlier program: full rows, each with its author.
    const int readings = 1000000;
    met = Measure(
              setting, QStringLiteral("full-rows-%1.ser").arg(readings), keep,
              [&](const QString& path) { FillFullRows(path, readings); },
              [&](const std::string& file, double megabytes) {
                  std::printf("  %7d readings in full rows of an earlier program (%.0f MB file)\n",
                              readings, megabytes);
                  // Their Timer and LpTekst no entry holds.
                  return MeasureVerify(setting, file, 64, 8);
              }) &&
          met;
    return met ? EXIT_SUCCESS : EXIT_FAILURE;
}
