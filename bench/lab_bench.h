// What the lab database benchmarks share: their schedule, read as every
// benchmark reads its options, and the PostgreSQL server each starts for
// itself. Their figures take the one percentile (Percentile.h).
#pragma once

#include "BenchArguments.h"
#include "Percentile.h"
#include "PostgresServer.h"

#include <QString>

#include <cstdio>

namespace LabServerBench {

// The stations, their rate and the run's length, as the benchmarks that
// store on a schedule take them.
struct Schedule {
    int stations;
    int rate;
    int seconds;

    static Schedule From(int argc, char** argv, Schedule defaults) {
        return {BenchSupport::IntArgument(argc, argv, "--stations", defaults.stations),
                BenchSupport::IntArgument(argc, argv, "--rate", defaults.rate),
                BenchSupport::IntArgument(argc, argv, "--seconds", defaults.seconds)};
    }
};

// The server started with an empty database "lab"; false, told on
// standard error, when it could not be.
inline bool StartLabDatabase(PostgresServer& server) {
    if (server.Made() && server.CreateDatabase(QStringLiteral("lab")))
        return true;
    std::fprintf(stderr, "no server: %s\n", qPrintable(server.Failure()));
    return false;
}

} // namespace LabServerBench
