#include "LabServerSchema.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

namespace Pomiar::LabServerSchema {

namespace {

// Taken by every station that upgrades, for the length of its transaction.
constexpr const char* upgradeLock = "SELECT pg_advisory_xact_lock(20261207)";

// migrations[n - 1] brings the schema from version n - 1 to n. Released
// migrations never change; a new version appends one.
const QList<QStringList> migrations = {
    {
        QStringLiteral("CREATE TABLE stations ("
                       "station text PRIMARY KEY, "
                       "first_seen timestamptz NOT NULL DEFAULT now(), "
                       "last_seen timestamptz NOT NULL DEFAULT now())"),
        QStringLiteral("CREATE TABLE series ("
                       "station text NOT NULL REFERENCES stations, "
                       "series text NOT NULL, "
                       "started timestamptz NOT NULL, "
                       "file_name text, "
                       "PRIMARY KEY (station, series))"),
        QStringLiteral("CREATE TABLE readings ("
                       "station text NOT NULL, "
                       "series text NOT NULL, "
                       "lp integer NOT NULL, "
                       "value double precision, "
                       "unit text, "
                       "taken_at timestamptz NOT NULL, "
                       "timer integer, "
                       "description text, "
                       "received_at timestamptz NOT NULL DEFAULT now(), "
                       "PRIMARY KEY (station, series, lp), "
                       "FOREIGN KEY (station, series) REFERENCES series)"),
        QStringLiteral("CREATE INDEX readings_taken_at ON readings (taken_at)"),
        QStringLiteral("CREATE TABLE reports ("
                       "station text NOT NULL, "
                       "series text NOT NULL, "
                       "report text, "
                       "stored_at timestamptz NOT NULL DEFAULT now(), "
                       "PRIMARY KEY (station, series), "
                       "FOREIGN KEY (station, series) REFERENCES series)"),
    },
    {
        QStringLiteral("CREATE TABLE journal ("
                       "station text NOT NULL, "
                       "seq bigint NOT NULL, "
                       "at timestamptz NOT NULL, "
                       "utc_offset integer NOT NULL, "
                       "nr_wagi text, "
                       "os_user text, "
                       "host text, "
                       "event integer NOT NULL, "
                       "data bytea, "
                       "hash bytea NOT NULL, "
                       "received_at timestamptz NOT NULL DEFAULT now(), "
                       "PRIMARY KEY (station, seq))"),
    },
    {
        // A station's journal may begin anew (a working database recreated
        // on a new disk): each chain is kept under the hash of its first
        // entry, beside the ones before it.
        QStringLiteral("ALTER TABLE journal ADD COLUMN chain bytea"),
        QStringLiteral("UPDATE journal j SET chain = coalesce((SELECT f.hash FROM journal f "
                       "WHERE f.station = j.station AND f.seq = 1), '\\x'::bytea)"),
        QStringLiteral("ALTER TABLE journal ALTER COLUMN chain SET NOT NULL"),
        QStringLiteral("ALTER TABLE journal DROP CONSTRAINT journal_pkey"),
        QStringLiteral("ALTER TABLE journal ADD PRIMARY KEY (station, chain, seq)"),
    },
    {
        // Balance checks, one row per check of every station, with the
        // whole record as the station's register keeps it; and each
        // station's latest check of each kind per balance.
        QStringLiteral("CREATE TABLE checks ("
                       "station text NOT NULL, "
                       "check_id text NOT NULL, "
                       "kind text NOT NULL, "
                       "balance text, "
                       "weight text, "
                       "verdict text NOT NULL, "
                       "started_at timestamptz, "
                       "finished_at timestamptz NOT NULL, "
                       "os_user text, "
                       "record jsonb NOT NULL, "
                       "received_at timestamptz NOT NULL DEFAULT now(), "
                       "PRIMARY KEY (station, check_id))"),
        QStringLiteral("CREATE INDEX checks_finished_at ON checks (finished_at)"),
        QStringLiteral("CREATE VIEW last_checks AS "
                       "SELECT DISTINCT ON (station, balance, kind) station, balance, kind, "
                       "verdict, finished_at, check_id "
                       "FROM checks WHERE verdict <> 'cancelled' "
                       "ORDER BY station, balance, kind, finished_at DESC"),
    },
    {
        // A reading's mark: "<m" for a net below the balance's minimum
        // weight.
        QStringLiteral("ALTER TABLE IF EXISTS readings ADD COLUMN IF NOT EXISTS status text"),
    },
    {
        // Every reading stored or described is announced with its key, so
        // that a live view learns of it without asking the tables; the
        // announcement leaves with the commit.
        QStringLiteral("CREATE OR REPLACE FUNCTION readings_announce() RETURNS trigger "
                       "LANGUAGE plpgsql AS $$ BEGIN "
                       "PERFORM pg_notify('%1', json_build_object('station', NEW.station, "
                       "'series', NEW.series, 'lp', NEW.lp)::text); "
                       "RETURN NULL; END $$")
            .arg(QLatin1String(ReadingsChannel)),
        // Only where the table is, so that a schema made in part upgrades too.
        QStringLiteral("DO $$ BEGIN IF to_regclass('readings') IS NOT NULL THEN "
                       "CREATE TRIGGER readings_announce AFTER INSERT OR UPDATE ON readings "
                       "FOR EACH ROW EXECUTE FUNCTION readings_announce(); END IF; END $$"),
    },
    {
        // Whether the balance called a reading stable (null: stored before
        // it was known), and the acceptance limits the station had on when
        // the series' latest reading was stored (null: off or not known).
        QStringLiteral("ALTER TABLE IF EXISTS readings ADD COLUMN IF NOT EXISTS stable boolean"),
        QStringLiteral("ALTER TABLE IF EXISTS series "
                       "ADD COLUMN IF NOT EXISTS lower_limit double precision, "
                       "ADD COLUMN IF NOT EXISTS upper_limit double precision"),
    },
};

bool run(QSqlQuery& query, const QString& statement, QString* error) {
    if (query.exec(statement))
        return true;
    if (error)
        *error = ReasonOf(query.lastError());
    return false;
}

bool applyMissing(QSqlDatabase& database, QString* error) {
    QSqlQuery query(database);
    // The server's notices ("already exists, skipping") are no news here.
    if (!run(query, QStringLiteral("SET LOCAL client_min_messages = warning"), error) ||
        !run(query, QString::fromLatin1(upgradeLock), error) ||
        !run(query,
             QStringLiteral("CREATE TABLE IF NOT EXISTS schema_version ("
                            "version integer PRIMARY KEY, "
                            "applied_at timestamptz NOT NULL DEFAULT now())"),
             error))
        return false;
    const int current = CurrentVersion(database);
    // A later program changed tables this one writes to: writing on would
    // fail row by row, or worse, succeed half-way.
    if (current > Version) {
        if (error)
            *error = NewerSchemaText(current);
        return false;
    }
    for (int version = current + 1; version <= Version; ++version) {
        for (const QString& statement : migrations[version - 1]) {
            if (!run(query, statement, error))
                return false;
        }
        if (!run(query,
                 QStringLiteral("INSERT INTO schema_version (version) VALUES (%1)").arg(version),
                 error))
            return false;
    }
    return true;
}

} // namespace

QString NewerSchemaText(int version) {
    return QStringLiteral("the lab database's schema is at version %1, newer than version %2 "
                          "of this program: update the program")
        .arg(version)
        .arg(Version);
}

QString ReasonOf(const QSqlError& error) {
    QString text = error.databaseText();
    // The driver appends the error code as "(code)", "()" when the server gave none.
    const QString code = QLatin1Char('(') + error.nativeErrorCode() + QLatin1Char(')');
    if (text.endsWith(code))
        text.chop(code.size());
    text = text.trimmed();
    return text.isEmpty() ? error.text().trimmed() : text;
}

bool Connect(const LabServerSettings& settings, const QString& connectionName, QString* error) {
    QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connectionName);
    if (!database.isValid()) {
        if (error)
            *error = ReasonOf(database.lastError());
        return false;
    }
    QString reason;
    const std::optional<QString> options = settings.ConnectOptions(&reason);
    if (!options) {
        if (error)
            *error = reason;
        return false;
    }
    database.setConnectOptions(*options);
    if (database.open())
        return true;
    if (error)
        *error = ReasonOf(database.lastError());
    return false;
}

bool Upgrade(QSqlDatabase& database, QString* error) {
    if (!database.transaction()) {
        if (error)
            *error = ReasonOf(database.lastError());
        return false;
    }
    if (applyMissing(database, error) && database.commit())
        return true;
    if (error && error->isEmpty())
        *error = ReasonOf(database.lastError());
    database.rollback();
    return false;
}

int CurrentVersion(QSqlDatabase& database) {
    QSqlQuery query(database);
    if (!query.exec(QStringLiteral("SELECT to_regclass('schema_version') IS NOT NULL")) ||
        !query.next() || !query.value(0).toBool())
        return 0;
    if (!query.exec(QStringLiteral("SELECT coalesce(max(version), 0) FROM schema_version")) ||
        !query.next())
        return 0;
    return query.value(0).toInt();
}

} // namespace Pomiar::LabServerSchema
