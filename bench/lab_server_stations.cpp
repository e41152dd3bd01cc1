// Eight stations storing 20 readings a second each for 60 s into one lab
// database: readings on the server against readings stored (goal: all) and
// the time from the local store to the server's commit (goal: p99 <= 1 s).
//
//   bench_lab_server_stations [--stations 8] [--rate 20] [--seconds 60]
#include "PostgresServer.h"
#include "lab_server_station.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <cstdio>

using namespace LabServerBench;

namespace {

// Each station stores on its own schedule, spread over the period.
void StoreOnSchedule(std::vector<std::unique_ptr<Station>>& all, int rate, int perStation) {
    const int stations = int(all.size());
    const qint64 periodNs = 1'000'000'000LL / rate;
    const qint64 began = nowNs();
    for (int tick = 0; tick < perStation; ++tick) {
        for (int n = 0; n < stations; ++n) {
            const qint64 due = began + tick * periodNs + n * periodNs / stations;
            const qint64 wait = due - nowNs();
            if (wait > 0)
                QThread::usleep(quint64(wait / 1000));
            all[size_t(n)]->Store();
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const Schedule run = Schedule::From(argc, argv, {8, 20, 60});
    const int stations = run.stations, rate = run.rate, seconds = run.seconds;
    PostgresServer server;
    if (!StartLabDatabase(server))
        return 2;
    const int perStation = rate * seconds;
    std::vector<std::unique_ptr<Station>> all;
    for (int n = 1; n <= stations; ++n) {
        Pomiar::LabServerSettings settings;
        settings.enabled = true;
        settings.connection = server.Connection(QStringLiteral("lab"));
        settings.station = QString::number(n);
        all.push_back(std::make_unique<Station>(settings, perStation));
        all.back()->sender->Start();
    }

    StoreOnSchedule(all, rate, perStation);
    QElapsedTimer drain;
    drain.start();
    const auto queued = [&] {
        int sum = 0;
        for (auto& station : all)
            sum += station->Queued();
        return sum;
    };
    while (queued() > 0 && drain.elapsed() < 30000)
        QThread::msleep(20);
    std::vector<double> latencies;
    int stored = 0;
    for (auto& station : all) {
        station->sender->Stop();
        stored += station->Stored();
        const std::vector<double> own = station->Latencies();
        latencies.insert(latencies.end(), own.begin(), own.end());
    }
    const int onServer =
        server.Value(QStringLiteral("lab"), QStringLiteral("SELECT count(*) FROM readings"))
            .toInt();
    std::sort(latencies.begin(), latencies.end());
    const double p50 = BenchSupport::Percentile(latencies, 50),
                 p99 = BenchSupport::Percentile(latencies, 99),
                 worst = BenchSupport::Percentile(latencies, 100);
    std::printf("stations %d, %d readings/s each, %d s\n", stations, rate, seconds);
    std::printf("rows on server / stored: %d / %d\n", onServer, stored);
    std::printf("store -> server commit: p50 %.1f ms, p99 %.1f ms, max %.1f ms (goal p99 <= 1000 "
                "ms)\n",
                p50, p99, worst);
    return onServer == stored && p99 <= 1000 ? 0 : 1;
}
