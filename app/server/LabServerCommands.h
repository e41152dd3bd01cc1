#pragma once

#include "LabServerSettings.h"

#include <QList>
#include <QPair>
#include <QString>

namespace Pomiar {
class Database;
}

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

// After Init: the role (made when missing, able to log in, its password set
// by the database's administrator) may connect and read every table of the
// lab database, now and after later upgrades, and nothing else; its
// sessions are read-only by default ("trevalo server init --reader ROLE").
Outcome GrantReader(const LabServerSettings& settings, const QString& role);

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

// One station's journal on the server, checked from its first entry.
struct StationJournal {
    QString station;
    bool verified = false;
    qint64 entries = 0;
    // The hash of the last entry that verified.
    QByteArray head;
    // Where the chain breaks ("entry 57 does not match its hash").
    QString where;
};

struct VerifyReport {
    Outcome connection;
    QList<StationJournal> stations;
};

// "trevalo server verify": every station's journal on the server is one
// chain from seq 1 (or several, one for each time the station's journal
// began anew, each named by when it began), each entry with the hash
// SeriesJournal::ChainedHash gives it. Never changes the server.
VerifyReport Verify(const LabServerSettings& settings);

struct FileComparison {
    Outcome connection;
    bool matches = false;
    // The entries of the file.
    qint64 entries = 0;
    // The first entry that differs or never reached the server.
    QString where;
};

// "trevalo server verify --file": whether every entry of a series file's
// journal, whose own chain verified, is on the server with the same hash,
// from seq 1, in the chain that begins with the file's first entry, and
// whether the server's entry after the file's last is the "series saved"
// the program wrote when it saved the file (entries cut from the end of a
// file are found so). A chain rewritten whole by the rules of the journal
// verifies in the file and is caught here.
FileComparison CompareFile(const LabServerSettings& settings, Database& file);

} // namespace Pomiar::LabServerCommands
