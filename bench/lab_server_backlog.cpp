// A backlog of 100,000 readings queued during an outage: the time the sender
// takes to ship it once the server is back (goal <= 20 s), and the time the
// store takes to write a reading before and while it drains (goal: the same
// within noise), at 20 readings a second (10 s of them before the drain).
//
//   bench_lab_server_backlog [--backlog 100000]
#include "PostgresServer.h"
#include "lab_server_station.h"

#include <QCoreApplication>
#include <QThread>

#include <cstdio>

using namespace LabServerBench;

namespace {

constexpr int ratePerSecond = 20;

// Stores readings at the rate until done() or the time runs out; answers
// the write times in milliseconds.
template <typename Done> std::vector<double> storeUntil(Station& station, Done done, int maxMs) {
    std::vector<double> ms;
    const qint64 periodNs = 1'000'000'000LL / ratePerSecond;
    const qint64 began = nowNs();
    for (qint64 due = began; !done() && due - began < qint64(maxMs) * 1'000'000; due += periodNs) {
        const qint64 wait = due - nowNs();
        if (wait > 0)
            QThread::usleep(quint64(wait / 1000));
        ms.push_back(station.Store());
    }
    return ms;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int backlog = BenchSupport::IntArgument(argc, argv, "--backlog", 100000);
    PostgresServer server;
    if (!StartLabDatabase(server))
        return 2;
    Pomiar::LabServerSettings settings;
    settings.enabled = true;
    settings.connection = server.Connection(QStringLiteral("lab"));
    settings.station = QStringLiteral("1");
    Station station(settings, backlog + 2000);

    // The outage: readings pile up while nothing sends.
    for (int stored = 0; stored < backlog; stored += 1000)
        station.Store(std::min(1000, backlog - stored));
    std::vector<double> before = storeUntil(
        station, [] { return false; }, 10000);
    const int backlogEnd = station.Stored();

    const qint64 began = nowNs();
    station.sender->Start();
    const auto drained = [&] { return station.committedNs[size_t(backlogEnd)] != 0; };
    std::vector<double> during = storeUntil(station, drained, 60000);
    while (!drained() && nowNs() - began < 60'000'000'000LL)
        QThread::msleep(5);
    const double drainS =
        drained() ? double(station.committedNs[size_t(backlogEnd)] - began) / 1e9 : -1;
    while (station.Queued() > 0 && nowNs() - began < 90'000'000'000LL)
        QThread::msleep(20);
    station.sender->Stop();
    const int onServer =
        server.Value(QStringLiteral("lab"), QStringLiteral("SELECT count(*) FROM readings"))
            .toInt();

    std::sort(before.begin(), before.end());
    std::sort(during.begin(), during.end());
    std::printf("backlog %d readings: drained in %.2f s (%.0f readings/s; goal <= 20 s)\n",
                backlogEnd, drainS, drainS > 0 ? backlogEnd / drainS : 0.0);
    std::printf("rows on server / stored: %d / %d\n", onServer, station.Stored());
    std::printf("store of one reading before the drain: p50 %.3f ms, p99 %.3f ms (%zu readings)\n",
                BenchSupport::Percentile(before, 50), BenchSupport::Percentile(before, 99),
                before.size());
    std::printf("store of one reading while draining:   p50 %.3f ms, p99 %.3f ms (%zu readings)\n",
                BenchSupport::Percentile(during, 50), BenchSupport::Percentile(during, 99),
                during.size());
    return drainS > 0 && drainS <= 20 && onServer == station.Stored() ? 0 : 1;
}
