// What the lab database benchmarks share: their options, the PostgreSQL
// server each starts for itself, and the percentile they print.
#pragma once

#include "Percentile.h"
#include "PostgresServer.h"

#include <QStringList>

#include <cstdio>

namespace LabServerBench {

// The value of "--name N" among the arguments, or fallback. Options come
// in pairs after the program's name; an unknown one is passed over.
inline int IntOption(const QStringList& arguments, const char* name, int fallback) {
    for (int i = 1; i + 1 < arguments.size(); i += 2) {
        if (arguments[i] == QLatin1String(name))
            return arguments[i + 1].toInt();
    }
    return fallback;
}

// The stations, their rate and the run's length, as the benchmarks that
// store on a schedule take them.
struct Schedule {
    int stations;
    int rate;
    int seconds;

    static Schedule From(const QStringList& arguments, Schedule defaults) {
        return {IntOption(arguments, "--stations", defaults.stations),
                IntOption(arguments, "--rate", defaults.rate),
                IntOption(arguments, "--seconds", defaults.seconds)};
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
