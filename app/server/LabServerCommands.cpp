#include "LabServerCommands.h"

#include "Database.h"
#include "LabServerSchema.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace Pomiar::LabServerCommands {

namespace {

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

} // namespace Pomiar::LabServerCommands
