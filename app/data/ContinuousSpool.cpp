#include "ContinuousSpool.h"

#include "Database.h"

namespace Pomiar {

namespace {
const QString table = QStringLiteral("continuous_spool");
} // namespace

void ContinuousSpool::CreateTable(Database& database) {
    database.Execute(QStringLiteral("CREATE TABLE IF NOT EXISTS continuous_spool (frame BLOB, "
                                    "received TEXT, series_start TEXT, dialect TEXT)"));
}

void ContinuousSpool::Clear(Database& database) {
    if (database.HasTable(table))
        database.Execute(QStringLiteral("DELETE FROM continuous_spool"));
}

void ContinuousSpool::Append(Database& database, const QByteArray& frame, const QDateTime& received,
                             const std::optional<QDateTime>& seriesStart, const QString& family) {
    database.Execute(QStringLiteral("INSERT INTO continuous_spool (frame, received, "
                                    "series_start, dialect) VALUES (?, ?, ?, ?)"),
                     {frame, received, seriesStart ? QVariant(*seriesStart) : QVariant(), family});
}

ContinuousSpool::Contents ContinuousSpool::Read(Database& database) {
    Contents contents;
    if (!database.HasTable(table))
        return contents;
    database.QueryEach(
        QStringLiteral("SELECT frame, received, series_start, dialect FROM "
                       "continuous_spool ORDER BY rowid"),
        [&contents](const QVariantList& row) {
            contents.lines.push_back({row.at(0).toByteArray(), Database::ParseDateTime(row.at(1))});
            const QDateTime start = Database::ParseDateTime(row.at(2));
            if (!contents.seriesStart && start.isValid())
                contents.seriesStart = start;
            contents.family = row.at(3).toString();
        });
    return contents;
}

} // namespace Pomiar
