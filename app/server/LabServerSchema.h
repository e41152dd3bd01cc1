#pragma once

#include "LabServerSettings.h"

#include <QSqlDatabase>
#include <QString>

namespace Pomiar::LabServerSchema {

// The schema version this program creates and upgrades to. Each version
// is one migration, applied in order inside one transaction, so that a
// server is always at a version and never half-way; stations that start at
// the same time upgrade one after the other.
//
//   stations        station (key), first_seen, last_seen
//   series          station, series (key together), started (timestamptz),
//                   file_name, lower_limit, upper_limit (the acceptance
//                   limits in force at the series' latest reading; null when
//                   off or not known)
//   readings        station, series, lp (key together), value (double),
//                   unit, taken_at (timestamptz), timer (seconds from the
//                   series start), description, received_at, status (the
//                   minimum-weight mark), stable (null when not known)
//   reports         station, series (key together), report, stored_at
//   journal         station, seq (key together), at (timestamptz, whole
//                   milliseconds), utc_offset (minutes), nr_wagi, os_user,
//                   host, event, data, hash: the station's series journal
//                   (SeriesJournal), entry by entry, received_at
//   checks          station, check_id (key together), kind, balance, weight,
//                   verdict, started_at, finished_at, os_user, record (the
//                   check as the station's register keeps it, jsonb),
//                   received_at; view last_checks: the latest finished
//                   check per station, balance and kind
//   schema_version  version, applied_at: one row per migration applied
//
// Each insert into or update of readings sends a notification on
// ReadingsChannel whose payload is {"station": ..., "series": ..., "lp": ...}.
constexpr int Version = 7;

constexpr const char* ReadingsChannel = "lab_readings";

// Opens a connection to the lab database on the calling thread under the
// given connection name. False with libpq's reason in error.
bool Connect(const LabServerSettings& settings, const QString& connectionName, QString* error);

// Creates or upgrades the schema. False with the server's reason in error;
// the schema is then as it was. A schema newer than Version is refused: the
// program cannot write to it.
bool Upgrade(QSqlDatabase& database, QString* error);

// The version the server's schema is at, 0 when it has none.
int CurrentVersion(QSqlDatabase& database);

// Why a schema at version (newer than Version) is refused.
QString NewerSchemaText(int version);

// The reason a statement failed, as the server or libpq put it.
QString ReasonOf(const class QSqlError& error);

} // namespace Pomiar::LabServerSchema
