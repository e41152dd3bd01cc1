#pragma once

#include <QString>
#include <optional>

namespace Pomiar {

// Section "LabServer" of ustawienia.ini: whether every reading also goes to
// the lab's shared PostgreSQL database, how to reach it and the name this
// station has there. The password is never kept here: libpq reads it from
// its password file (~/.pgpass or the file named by PGPASSFILE or passfile=).
struct LabServerSettings {
    static constexpr const char* Section = "LabServer";

    bool enabled = false; // "Enabled"
    QString connection;   // "Connection": a libpq connection string or a service name
    QString station;      // "Station": default the station's "Nr_wagi"

    // Throws SettingsError for an "Enabled" text that is no Boolean.
    static LabServerSettings Read(const QString& iniPath, const QString& nrWagi);

    // The libpq connection options, every value quoted: "Connection" is a
    // connection string ("host=... dbname=..."), a URI ("postgresql://...")
    // or, without "=", the name of a service of the connection service
    // file. Connect and transmit time-outs are added where it sets none, so
    // that an unreachable host fails within seconds. Nothing, with the
    // reason, when libpq cannot read the text.
    std::optional<QString> ConnectOptions(QString* error) const;
};

} // namespace Pomiar
