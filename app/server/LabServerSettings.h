#pragma once

#include <QString>

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

    // The libpq connection options: a text without "=" names a service of
    // the connection service file. Connect and transmit time-outs are added
    // when the text sets none, so that an unreachable host fails within
    // seconds.
    QString ConnectOptions() const;
};

} // namespace Pomiar
