#include "LabServerCommands.h"

#include "Database.h"
#include "LabServerSchema.h"
#include "SeriesJournal.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace Pomiar::LabServerCommands {

namespace {

// The schema version that brought the journal.
constexpr int journalVersion = 2;

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
                 QStringLiteral("SELECT station, seq, (extract(epoch FROM at) * 1000)::bigint, "
                                "utc_offset, nr_wagi, os_user, host, event, data, hash "
                                "FROM journal ORDER BY station, seq"),
                 {}, outcome))
            return false;
        std::optional<ChainCheck> check;
        QString station;
        while (query.next()) {
            if (!check || query.value(0).toString() != station) {
                if (check)
                    report.stations.append(check->Result());
                station = query.value(0).toString();
                check.emplace(station);
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

FileComparison CompareFile(const LabServerSettings& settings, Database& file) {
    FileComparison comparison;
    QList<QPair<qint64, QByteArray>> chain;
    QString nrWagi;
    file.QueryRows(QStringLiteral("SELECT seq, hash, station FROM journal ORDER BY seq"),
                   [&](const Database::RowView& view) {
                       if (chain.isEmpty())
                           nrWagi = view.Text(2);
                       chain.append({view.Integer(0), view.Blob(1)});
                   });
    comparison.entries = chain.size();
    if (chain.isEmpty()) {
        comparison.matches = true;
        return comparison;
    }
    const auto neverReached = [](qint64 seq) {
        return QStringLiteral("entry %1 never reached the lab database").arg(seq);
    };
    comparison.connection = withServer(settings, [&](QSqlDatabase& database, Outcome& outcome) {
        if (!HasJournal(database, outcome))
            return false;
        QSqlQuery query(database);
        if (!Run(query,
                 QStringLiteral("SELECT station FROM journal WHERE nr_wagi = ? GROUP BY station "
                                "ORDER BY bool_or(seq = 1 AND hash = ?::bytea) DESC, station "
                                "LIMIT 1"),
                 {nrWagi, chain.first().second}, outcome))
            return false;
        if (!query.next()) {
            comparison.where = neverReached(chain.first().first);
            return true;
        }
        const QString station = query.value(0).toString();
        query.finish();
        if (!Run(query,
                 QStringLiteral("SELECT seq, hash FROM journal WHERE station = ? AND seq <= ? "
                                "ORDER BY seq"),
                 {station, chain.last().first}, outcome))
            return false;
        // Both run from seq 1 without gaps (the file's chain verified).
        qsizetype at = 0;
        while (at < chain.size() && query.next()) {
            const qint64 seq = query.value(0).toLongLong();
            if (seq > chain[at].first)
                break;
            if (seq < chain[at].first)
                continue;
            if (query.value(1).toByteArray() != chain[at].second) {
                comparison.where =
                    QStringLiteral("entry %1 differs from the lab database's copy").arg(seq);
                return true;
            }
            ++at;
        }
        if (query.lastError().isValid()) {
            outcome.reason = LabServerSchema::ReasonOf(query.lastError());
            return false;
        }
        if (at < chain.size())
            comparison.where = neverReached(chain[at].first);
        comparison.matches = comparison.where.isEmpty();
        return true;
    });
    return comparison;
}

} // namespace Pomiar::LabServerCommands
