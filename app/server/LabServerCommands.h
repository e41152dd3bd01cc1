#pragma once

#include "LabServerSettings.h"

#include <QList>
#include <QPair>
#include <QString>

namespace Pomiar::LabServerCommands {

struct Outcome {
    // The server answered (ok may still be false: it refused the work).
    bool connected = false;
    bool ok = false;
    // libpq's or the server's reason when not ok.
    QString reason;
    int schemaVersion = 0;
};

// Connects and creates or upgrades the schema ("trevalo server init").
Outcome Init(const LabServerSettings& settings);

struct StatusReport {
    Outcome connection;
    // Readings waiting in this working database, per station, by station.
    QList<QPair<QString, int>> queued;
    // Readings on the server, per station, by station (when connected and
    // the schema is there).
    QList<QPair<QString, int>> onServer;
};

// What "trevalo server status" shows: whether the server answers, at which
// schema version, and how many readings wait here and are there per
// station; not ok for a schema newer than this program's. Never changes
// the server or the outbox.
StatusReport Status(const LabServerSettings& settings, const QString& workingDatabasePath);

} // namespace Pomiar::LabServerCommands
