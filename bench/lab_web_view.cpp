// Five stations storing 10 readings a second each for 60 s into the lab
// database while the lab web view is open in chromium: the time from each
// reading's commit to the frame that shows it on its station's card,
// measured in the browser (goal: p95 <= 1 s), and the web server's CPU and
// memory.
//
//   bench_lab_web_view [--stations 5] [--rate 10] [--seconds 60]
#include "LabServerSchema.h"
#include "PostgresServer.h"
#include "lab_bench.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <unistd.h>

namespace {

double EpochMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// CPU seconds (user + system) of a process so far.
double CpuSeconds(qint64 pid) {
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = file.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    // utime and stime are fields 14 and 15 of the line, 12 and 13 after the name.
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) /
           double(sysconf(_SC_CLK_TCK));
}

// A line of /proc/PID/status in kB ("VmHWM", "VmRSS").
long StatusKb(qint64 pid, const char* key) {
    QFile file(QStringLiteral("/proc/%1/status").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key)) + 1).trimmed().split(' ').first().toLong();
    }
    return 0;
}

bool WaitFor(QProcess& process, QByteArray& out, const QByteArray& text, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!out.contains(text) && std::chrono::steady_clock::now() < end) {
        process.waitForReadyRead(100);
        out += process.readAllStandardOutput();
    }
    return out.contains(text);
}

// The lab schema on the server, and one connection per station (as each
// station's sender has its own), each station with a series and one
// reading so that the page has a card to show from the start; empty when
// the schema could not be made.
std::vector<QSqlDatabase> prepareStations(const Pomiar::LabServerSettings& settings, int stations) {
    QString reason;
    if (!Pomiar::LabServerSchema::Connect(settings, "schema", &reason)) {
        std::fprintf(stderr, "%s\n", qPrintable(reason));
        return {};
    }
    {
        QSqlDatabase schema = QSqlDatabase::database("schema");
        if (!Pomiar::LabServerSchema::Upgrade(schema, &reason)) {
            std::fprintf(stderr, "%s\n", qPrintable(reason));
            return {};
        }
    }
    std::vector<QSqlDatabase> links;
    for (int n = 1; n <= stations; ++n) {
        const QString name = QStringLiteral("station%1").arg(n);
        if (!Pomiar::LabServerSchema::Connect(settings, name, &reason))
            return {};
        links.push_back(QSqlDatabase::database(name));
        QSqlQuery query(links.back());
        query.exec(QStringLiteral("INSERT INTO stations (station) VALUES ('Waga-%1')").arg(n));
        query.exec(QStringLiteral("INSERT INTO series (station, series, started) VALUES "
                                  "('Waga-%1', 'S1', now())")
                       .arg(n));
        query.exec(QStringLiteral("INSERT INTO readings (station, series, lp, value, unit, "
                                  "taken_at) VALUES ('Waga-%1', 'S1', 1, 0, 'g', now())")
                       .arg(n));
    }
    return links;
}

// trevalo's web view on a free loopback port, reading the lab database
// the settings in folder name; the port, or 0 when it did not start.
int startWebView(QProcess& web, const QTemporaryDir& folder, const QString& connection) {
    QFile ini(folder.path() + "/ustawienia.ini");
    ini.open(QIODevice::WriteOnly);
    ini.write(QStringLiteral("[ustawienia]\r\nNr_wagi=1\r\n[LabServer]\r\nEnabled=True\r\n"
                             "Connection=%1\r\n")
                  .arg(connection)
                  .toUtf8());
    ini.close();
    QTcpServer probe;
    probe.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0);
    const int port = probe.serverPort();
    probe.close();
    web.start(QStringLiteral(TREVALO_PATH), {"server", "web", "--dir", folder.path(), "--listen",
                                             QStringLiteral("127.0.0.1:%1").arg(port)});
    QByteArray webOut;
    if (!WaitFor(web, webOut, "lab web view on", 10000)) {
        std::fprintf(stderr, "the web view did not start: %s\n",
                     web.readAllStandardError().constData());
        return 0;
    }
    return port;
}

// chromium on the page, through the browser tests' packages; false when
// it did not report the page open.
bool startBrowser(QProcess& browser, QByteArray& out, int port) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LAB_URL", QStringLiteral("http://127.0.0.1:%1/").arg(port));
    environment.insert("BROWSER_MODULES", QStringLiteral(BROWSER_TESTS_DIR "/node_modules"));
    browser.setProcessEnvironment(environment);
    browser.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    browser.start(QStringLiteral("node"), {QStringLiteral(BENCH_DIR "/lab_web_view.mjs")});
    if (WaitFor(browser, out, "ready\n", 30000))
        return true;
    std::fprintf(stderr, "the browser did not open the page\n");
    return false;
}

// Each station stores on its own schedule, spread over the period; the
// time of each commit by "station lp".
QHash<QString, double> storeReadings(std::vector<QSqlDatabase>& links,
                                     const LabServerBench::Schedule& run) {
    QHash<QString, double> committed;
    const int stations = int(links.size());
    const qint64 periodNs = 1'000'000'000LL / run.rate;
    const auto began = std::chrono::steady_clock::now();
    const int perStation = run.rate * run.seconds;
    for (int tick = 0; tick < perStation; ++tick) {
        for (int n = 0; n < stations; ++n) {
            const auto due =
                began + std::chrono::nanoseconds(tick * periodNs + n * periodNs / stations);
            const auto wait = due - std::chrono::steady_clock::now();
            if (wait.count() > 0)
                QThread::usleep(
                    quint64(std::chrono::duration_cast<std::chrono::microseconds>(wait).count()));
            QSqlQuery query(links[size_t(n)]);
            const int lp = tick + 2;
            query.prepare("INSERT INTO readings (station, series, lp, value, unit, taken_at) "
                          "VALUES (?, 'S1', ?, ?, 'g', now())");
            query.addBindValue(QStringLiteral("Waga-%1").arg(n + 1));
            query.addBindValue(lp);
            query.addBindValue(100.0 + n + 0.001 * (tick % 50));
            if (!query.exec())
                continue;
            committed.insert(QStringLiteral("Waga-%1 %2").arg(n + 1).arg(lp), EpochMs());
        }
    }
    return committed;
}

// From each commit to the first frame that showed it, in ms, out of the
// browser's "station lp time" lines.
std::vector<double> latenciesShown(const QByteArray& out, const QHash<QString, double>& committed) {
    std::vector<double> latencies;
    QSet<QString> counted;
    for (const QByteArray& line : out.split('\n')) {
        const QList<QByteArray> words = line.split(' ');
        if (words.size() != 3)
            continue;
        const QString key = QString::fromUtf8(words[0] + ' ' + words[1]);
        const auto found = committed.constFind(key);
        // A card drawn again with the same reading is not a new showing.
        if (found != committed.constEnd() && !counted.contains(key)) {
            counted.insert(key);
            latencies.push_back(words[2].toDouble() - *found);
        }
    }
    return latencies;
}

} // namespace

int main(int argc, char** argv) {
    using BenchSupport::Percentile;
    QCoreApplication app(argc, argv);
    const auto run = LabServerBench::Schedule::From(argc, argv, {5, 10, 60});
    PostgresServer server;
    if (!LabServerBench::StartLabDatabase(server))
        return 2;
    Pomiar::LabServerSettings settings;
    settings.enabled = true;
    settings.connection = server.Connection(QStringLiteral("lab"));
    std::vector<QSqlDatabase> links = prepareStations(settings, run.stations);
    if (links.empty())
        return 2;
    QTemporaryDir folder;
    QProcess web;
    const int port = startWebView(web, folder, settings.connection);
    QProcess browser;
    QByteArray out;
    if (port == 0 || !startBrowser(browser, out, port))
        return 2;

    const qint64 pid = web.processId();
    const double cpuBefore = CpuSeconds(pid);
    const long rssBefore = StatusKb(pid, "VmRSS:");
    const auto began = std::chrono::steady_clock::now();
    const QHash<QString, double> committed = storeReadings(links, run);
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    const double cpu = CpuSeconds(pid) - cpuBefore;
    QThread::msleep(2000);
    browser.write("done\n");
    WaitFor(browser, out, "end\n", 30000);
    std::vector<double> latencies = latenciesShown(out, committed);
    std::sort(latencies.begin(), latencies.end());
    const long rssAfter = StatusKb(pid, "VmRSS:");
    const long peak = StatusKb(pid, "VmHWM:");
    web.terminate();
    web.waitForFinished(5000);
    browser.waitForFinished(5000);

    std::printf("stations %d, %d readings/s each, %d s\n", run.stations, run.rate, run.seconds);
    std::printf("readings committed / shown on the page: %lld / %zu\n", qint64(committed.size()),
                latencies.size());
    std::printf("commit -> shown in the page: p50 %.1f ms, p95 %.1f ms, max %.1f ms "
                "(goal p95 <= 1000 ms)\n",
                Percentile(latencies, 50), Percentile(latencies, 95), Percentile(latencies, 100));
    std::printf("web server CPU: %.2f s in %.1f s (%.1f%% of one core)\n", cpu, elapsed,
                100.0 * cpu / elapsed);
    std::printf("web server memory: RSS %ld kB before, %ld kB after, peak %ld kB\n", rssBefore,
                rssAfter, peak);
    return latencies.size() == size_t(committed.size()) ? 0 : 1;
}
