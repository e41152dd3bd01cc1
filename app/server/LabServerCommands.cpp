#include "LabServerCommands.h"

#include "Database.h"
#include "LabServerSchema.h"
#include "SeriesJournal.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace Pomiar::LabServerCommands {

namespace {

// The schema version that brought the journal.
constexpr int journalVersion = 3;

// Runs work on a connection of its own, closed afterwards.
template <typename Work> Outcome withServer(const LabServerSettings& settings, Work work) {
    const QString name =
        QStringLiteral("LabServerCommand-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    Outcome outcome;
    if (LabServerSchema::Connect(settings, name, &outcome.reason)) {
        QSqlDatabase database = QSqlDatabase::database(name, false);
        outcome.connected = true;
        outcome.ok = work(database, outcome);
        database.close();
    }
    QSqlDatabase::removeDatabase(name);
    return outcome;
}

QList<QPair<QString, int>> perStation(Database& working) {
    QList<QPair<QString, int>> counts;
    if (!working.HasTable(QStringLiteral("LabOutbox")))
        return counts;
    for (const QVariantList& row :
         working
             .Query(QStringLiteral("SELECT station, count(*) FROM LabOutbox "
                                   "WHERE kind = 'reading' GROUP BY station ORDER BY station"))
             .rows)
        counts.append({row[0].toString(), row[1].toInt()});
    return counts;
}

// Whether the server's schema has the journal; the reason when not.
bool HasJournal(QSqlDatabase& database, Outcome& outcome) {
    outcome.schemaVersion = LabServerSchema::CurrentVersion(database);
    if (outcome.schemaVersion > LabServerSchema::Version) {
        outcome.reason = LabServerSchema::NewerSchemaText(outcome.schemaVersion);
        return false;
    }
    if (outcome.schemaVersion < journalVersion) {
        outcome.reason = QStringLiteral("the lab database keeps no journal yet (schema version "
                                        "%1): run trevalo server init")
                             .arg(outcome.schemaVersion);
        return false;
    }
    return true;
}

bool Run(QSqlQuery& query, const QString& statement, const QVariantList& values, Outcome& outcome) {
    query.setForwardOnly(true);
    if (query.prepare(statement)) {
        for (const QVariant& value : values)
            query.addBindValue(value);
        if (query.exec())
            return true;
    }
    outcome.reason = LabServerSchema::ReasonOf(query.lastError());
    return false;
}

// Checks one station's entries as they come, in seq order.
class ChainCheck {
public:
    explicit ChainCheck(const QString& station) { result.station = station; }

    void Add(const SeriesJournal::Entry& entry) {
        if (!result.where.isEmpty())
            return;
        switch (chain.Add(entry)) {
        case SeriesJournal::Chain::Fault::Missing:
            result.where = QStringLiteral("entry %1 is missing").arg(chain.Length() + 1);
            break;
        case SeriesJournal::Chain::Fault::HashMismatch:
            result.where = QStringLiteral("entry %1 does not match its hash").arg(entry.seq);
            break;
        case SeriesJournal::Chain::Fault::None:
            break;
        }
    }

    StationJournal Result() const {
        StationJournal done = result;
        done.entries = chain.Length();
        done.head = chain.Head();
        done.verified = done.where.isEmpty();
        return done;
    }

private:
    SeriesJournal::Chain chain;
    StationJournal result;
};

} // namespace

Outcome Init(const LabServerSettings& settings) {
    return withServer(settings, [](QSqlDatabase& database, Outcome& outcome) {
        if (!LabServerSchema::Upgrade(database, &outcome.reason))
            return false;
        outcome.schemaVersion = LabServerSchema::CurrentVersion(database);
        return true;
    });
}

Outcome GrantReader(const LabServerSettings& settings, const QString& role) {
    return withServer(settings, [&role](QSqlDatabase& database, Outcome& outcome) {
        const QString name = database.driver()->escapeIdentifier(role, QSqlDriver::TableName);
        QSqlQuery query(database);
        query.setForwardOnly(true);
        if (!Run(
                query,
                QStringLiteral(
                    "SELECT (SELECT count(*) FROM pg_roles WHERE rolname = ?), current_database()"),
                {role}, outcome) ||
            !query.next())
            return false;
        QStringList statements;
        if (query.value(0).toInt() == 0)
            statements << QStringLiteral("CREATE ROLE %1 LOGIN").arg(name);
        // Tables a later version adds are granted by the role that adds
        // them, the one that runs init.
        statements
            << QStringLiteral("GRANT CONNECT ON DATABASE %1 TO %2")
                   .arg(database.driver()->escapeIdentifier(query.value(1).toString(),
                                                            QSqlDriver::TableName),
                        name)
            << QStringLiteral("GRANT USAGE ON SCHEMA public TO %1").arg(name)
            << QStringLiteral("GRANT SELECT ON ALL TABLES IN SCHEMA public TO %1").arg(name)
            << QStringLiteral("ALTER DEFAULT PRIVILEGES IN SCHEMA public GRANT SELECT ON "
                              "TABLES TO %1")
                   .arg(name)
            << QStringLiteral("ALTER ROLE %1 SET default_transaction_read_only = on").arg(name);
        // Not prepared: the server prepares no utility statement.
        for (const QString& statement : statements) {
            if (!query.exec(statement)) {
                outcome.reason = LabServerSchema::ReasonOf(query.lastError());
                return false;
            }
        }
        outcome.schemaVersion = LabServerSchema::CurrentVersion(database);
        return true;
    });
}

StatusReport Status(const LabServerSettings& settings, const QString& workingDatabasePath) {
    StatusReport report;
    if (QFileInfo::exists(workingDatabasePath)) {
        try {
            Database working(workingDatabasePath, Database::Journal::WriteAhead,
                             Database::Access::ReadOnly);
            report.queued = perStation(working);
        } catch (const DatabaseError&) {
            // The server's side is still worth showing.
        }
    }
    report.connection = withServer(settings, [&report](QSqlDatabase& database, Outcome& outcome) {
        outcome.schemaVersion = LabServerSchema::CurrentVersion(database);
        if (outcome.schemaVersion == 0)
            return true;
        if (outcome.schemaVersion > LabServerSchema::Version) {
            outcome.reason = LabServerSchema::NewerSchemaText(outcome.schemaVersion);
            return false;
        }
        QSqlQuery query(database);
        if (!query.exec(QStringLiteral("SELECT station, count(*) FROM readings "
                                       "GROUP BY station ORDER BY station"))) {
            outcome.reason = LabServerSchema::ReasonOf(query.lastError());
            return false;
        }
        while (query.next())
            report.onServer.append({query.value(0).toString(), query.value(1).toInt()});
        return true;
    });
    return report;
}

VerifyReport Verify(const LabServerSettings& settings) {
    VerifyReport report;
    report.connection = withServer(settings, [&report](QSqlDatabase& database, Outcome& outcome) {
        if (!HasJournal(database, outcome))
            return false;
        QSqlQuery query(database);
        // The time as the station hashed it: whole milliseconds since 1970.
        if (!Run(query,
                 QStringLiteral(
                     "WITH chains AS (SELECT station, chain, min(at) AS begun FROM journal "
                     "GROUP BY station, chain), "
                     "counts AS (SELECT station, count(*) AS n FROM chains GROUP BY station) "
                     "SELECT j.station, j.seq, (extract(epoch FROM j.at) * 1000)::bigint, "
                     "j.utc_offset, j.nr_wagi, j.os_user, j.host, j.event, j.data, j.hash, "
                     "j.chain, n.n, c.begun FROM journal j "
                     "JOIN chains c ON c.station = j.station AND c.chain = j.chain "
                     "JOIN counts n ON n.station = j.station "
                     "ORDER BY j.station, c.begun, j.chain, j.seq"),
                 {}, outcome))
            return false;
        std::optional<ChainCheck> check;
        QString station;
        QByteArray chain;
        while (query.next()) {
            if (!check || query.value(0).toString() != station ||
                query.value(10).toByteArray() != chain) {
                if (check)
                    report.stations.append(check->Result());
                station = query.value(0).toString();
                chain = query.value(10).toByteArray();
                // A station whose journal began anew has its chains told
                // apart by when each began.
                const bool several = query.value(11).toInt() > 1;
                check.emplace(
                    several ? QStringLiteral("%1 (journal begun %2)")
                                  .arg(station, query.value(12).toDateTime().toString(Qt::ISODate))
                            : station);
            }
            check->Add(
                {query.value(1).toLongLong(),
                 query.value(2).toLongLong(),
                 query.value(3).toInt(),
                 query.value(5).isNull(),
                 {query.value(4).toString(), query.value(5).toString(), query.value(6).toString()},
                 SeriesJournal::Event(query.value(7).toInt()),
                 query.value(8).toByteArray(),
                 query.value(9).toByteArray()});
        }
        if (check)
            report.stations.append(check->Result());
        if (query.lastError().isValid()) {
            outcome.reason = LabServerSchema::ReasonOf(query.lastError());
            return false;
        }
        return true;
    });
    return report;
}

namespace {

using FileChain = QList<QPair<qint64, QByteArray>>;

QString NeverReached(qint64 seq) {
    return QStringLiteral("entry %1 never reached the lab database").arg(seq);
}

// Steps the server's entries of the file's chain beside the file's own
// (both run from seq 1 without gaps, the file's chain verified): how many
// of the file's are there (*matched), the event of the entry after the
// file's last (*after), and the words for the first that differs, if any.
QString MatchServerEntries(QSqlQuery& query, const FileChain& chain, qsizetype* matched,
                           std::optional<int>* after) {
    qsizetype& at = *matched;
    while (query.next()) {
        const qint64 seq = query.value(0).toLongLong();
        if (at == chain.size()) {
            if (seq == chain.last().first + 1)
                *after = query.value(2).toInt();
            continue;
        }
        if (seq > chain[at].first)
            break;
        if (seq < chain[at].first)
            continue;
        if (query.value(1).toByteArray() != chain[at].second)
            return QStringLiteral("entry %1 differs from the lab database's copy").arg(seq);
        ++at;
    }
    return {};
}

// What the server's copy says of the file's end: nothing where all the
// file's entries are there and the one after is the "series saved" that
// ends a saved file.
QString EndOfFile(const FileChain& chain, qsizetype matched, std::optional<int> after) {
    const qint64 last = chain.last().first;
    if (matched < chain.size())
        return NeverReached(chain[matched].first);
    if (!after)
        return QStringLiteral("the lab database has nothing after entry %1: the "
                              "\"series saved\" entry that ends a saved file is "
                              "not there (yet)")
            .arg(last);
    if (SeriesJournal::Event(*after) != SeriesJournal::Event::SeriesSaved)
        return QStringLiteral("the file ends at entry %1, but the lab database's "
                              "entry %2 is \"%3\", not the \"series saved\" "
                              "that ends a saved file: entries were cut from its "
                              "end")
            .arg(last)
            .arg(last + 1)
            .arg(SeriesJournal::EventName(qint64(*after)));
    return {};
}

} // namespace

FileComparison CompareFile(const LabServerSettings& settings, Database& file) {
    FileComparison comparison;
    FileChain chain;
    file.QueryRows(QStringLiteral("SELECT seq, hash FROM journal ORDER BY seq"),
                   [&](const Database::RowView& view) {
                       chain.append({view.Integer(0), view.Blob(1)});
                   });
    comparison.entries = chain.size();
    if (chain.isEmpty()) {
        comparison.matches = true;
        return comparison;
    }
    comparison.connection = withServer(settings, [&](QSqlDatabase& database, Outcome& outcome) {
        if (!HasJournal(database, outcome))
            return false;
        QSqlQuery query(database);
        // The chain the file was saved from: the one that begins with the
        // file's first entry.
        if (!Run(query,
                 QStringLiteral("SELECT station, chain FROM journal WHERE seq = 1 AND hash = "
                                "?::bytea ORDER BY station LIMIT 1"),
                 {chain.first().second}, outcome))
            return false;
        if (!query.next()) {
            comparison.where = NeverReached(chain.first().first);
            return true;
        }
        const QString station = query.value(0).toString();
        const QByteArray chainId = query.value(1).toByteArray();
        query.finish();
        // The file's entries and the one after them, which the program
        // wrote when it saved the file.
        if (!Run(query,
                 QStringLiteral("SELECT seq, hash, event FROM journal WHERE station = ? AND "
                                "chain = ?::bytea AND seq <= ? ORDER BY seq"),
                 {station, chainId, chain.last().first + 1}, outcome))
            return false;
        qsizetype at = 0;
        std::optional<int> after;
        comparison.where = MatchServerEntries(query, chain, &at, &after);
        if (query.lastError().isValid()) {
            outcome.reason = LabServerSchema::ReasonOf(query.lastError());
            return false;
        }
        if (comparison.where.isEmpty())
            comparison.where = EndOfFile(chain, at, after);
        comparison.matches = comparison.where.isEmpty();
        return true;
    });
    return comparison;
}

} // namespace Pomiar::LabServerCommands
