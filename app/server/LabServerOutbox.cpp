#include "LabServerOutbox.h"

#include "Database.h"
#include "SeriesJournal.h"
#include "SeriesModel.h"

#include <QUuid>

namespace Pomiar {

namespace {

const QString insertRow =
    QStringLiteral("INSERT INTO LabOutbox (kind, station, series, lp, taken, timer, value, unit, "
                   "text) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");

const QString insertReading =
    QStringLiteral("INSERT INTO LabOutbox (kind, station, series, lp, taken, timer, value, unit, "
                   "text, stable, limits, lower_limit, upper_limit) "
                   "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");

QVariant Optional(const std::optional<double>& value) {
    return value ? QVariant(*value) : QVariant();
}

} // namespace

LabServerOutbox::LabServerOutbox(const QString& workingDatabasePath, const QString& station)
    : workingPath(workingDatabasePath), station(station) {}

LabServerOutbox::~LabServerOutbox() = default;

void LabServerOutbox::CreateTable(Database& database) {
    // AUTOINCREMENT: ids never come back after rows are removed, so the id
    // order is the order in which things happened.
    database.Execute(QStringLiteral("CREATE TABLE IF NOT EXISTS LabOutbox ("
                                    "id INTEGER PRIMARY KEY AUTOINCREMENT, "
                                    "kind TEXT NOT NULL, station TEXT NOT NULL, "
                                    "series TEXT NOT NULL, lp INTEGER, taken TEXT, timer INTEGER, "
                                    "value REAL, unit TEXT, text TEXT, stable INTEGER, "
                                    "limits INTEGER, lower_limit REAL, upper_limit REAL)"));
    // An outbox of an earlier program gains the reading's stability and the
    // limits in force; its queued rows leave them null (not known).
    if (database
            .Scalar(QStringLiteral("SELECT count(*) FROM pragma_table_info('LabOutbox') "
                                   "WHERE name = 'stable'"))
            .toInt() == 0) {
        for (const char* column :
             {"stable INTEGER", "limits INTEGER", "lower_limit REAL", "upper_limit REAL"})
            database.Execute(QStringLiteral("ALTER TABLE LabOutbox ADD COLUMN ") +
                             QLatin1String(column));
    }
    // The last journal entry queued for each station name.
    database.Execute(QStringLiteral("CREATE TABLE IF NOT EXISTS LabJournalQueued ("
                                    "station TEXT PRIMARY KEY, seq INTEGER NOT NULL)"));
}

QString LabServerOutbox::ZonedText(const QDateTime& time) {
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

QString LabServerOutbox::KindText(Kind kind) {
    switch (kind) {
    case Kind::Series:
        return QStringLiteral("series");
    case Kind::Reading:
        return QStringLiteral("reading");
    case Kind::Description:
        return QStringLiteral("description");
    case Kind::Report:
        return QStringLiteral("report");
    case Kind::Journal:
        return QStringLiteral("journal");
    case Kind::Check:
        return QStringLiteral("check");
    case Kind::Mark:
        return QStringLiteral("mark");
    }
    return {};
}

Database& LabServerOutbox::working() {
    if (!ownWorking) {
        ownWorking = std::make_unique<Database>(workingPath);
        CreateTable(*ownWorking);
    }
    return *ownWorking;
}

Database& LabServerOutbox::target(Database& written) {
    if (written.Path() == workingPath) {
        CreateTable(written);
        return written;
    }
    return working();
}

void LabServerOutbox::QueueReading(Database& database, const std::optional<QDateTime>& start,
                                   const QString& fileName, const SeriesRow& row,
                                   const std::optional<AcceptanceLimits>& limits) {
    Database& outbox = target(database);
    beginSeriesIfNew(outbox, start, fileName, row);
    outbox.Execute(insertReading, {KindText(Kind::Reading), station, seriesId, row.lp,
                                   ZonedText(row.godzina), row.timer, row.masa, row.jm.trimmed(),
                                   row.opis, row.stable ? QVariant(int(*row.stable)) : QVariant(),
                                   limits ? QVariant(1) : QVariant(),
                                   limits ? Optional(limits->Lower()) : QVariant(),
                                   limits ? Optional(limits->Upper()) : QVariant()});
    if (!row.status.isEmpty())
        outbox.Execute(insertRow, {KindText(Kind::Mark), station, seriesId, row.lp, QVariant(),
                                   QVariant(), QVariant(), QVariant(), row.status});
    lastLp = row.lp;
}

void LabServerOutbox::beginSeriesIfNew(Database& database, const std::optional<QDateTime>& start,
                                       const QString& fileName, const SeriesRow& row) {
    // A reading stored again after its transaction failed has the Lp of the
    // last one and the same start, and stays in its series. A series that
    // has only its report yet takes the first reading.
    const bool hasReadings = lastLp > 0;
    const bool isNew =
        seriesId.isEmpty() || (hasReadings && ((seriesStart && start != seriesStart) ||
                                               row.lp < lastLp || fileName != seriesFile));
    if (isNew)
        seriesId = QUuid::createUuid().toString(QUuid::WithoutBraces);
    if (isNew || !hasReadings) {
        seriesStart = start;
        seriesFile = fileName;
        queueSeries(database, start.value_or(row.godzina), fileName);
    } else if (start && !seriesStart) {
        seriesStart = start;
    }
}

void LabServerOutbox::queueSeries(Database& database, const QDateTime& start,
                                  const QString& fileName) {
    database.Execute(insertRow, {KindText(Kind::Series), station, seriesId, QVariant(),
                                 ZonedText(start), QVariant(), QVariant(), QVariant(), fileName});
}

void LabServerOutbox::QueueDescription(int lp, const QString& opis) {
    if (seriesId.isEmpty())
        return;
    working().Execute(insertRow, {KindText(Kind::Description), station, seriesId, lp, QVariant(),
                                  QVariant(), QVariant(), QVariant(), opis});
}

void LabServerOutbox::QueueReport(const QString& report) {
    Database& database = working();
    if (seriesId.isEmpty()) {
        seriesId = QUuid::createUuid().toString(QUuid::WithoutBraces);
        seriesStart.reset();
        lastLp = 0;
        queueSeries(database, QDateTime::currentDateTime(), seriesFile);
    }
    database.Execute(insertRow, {KindText(Kind::Report), station, seriesId, QVariant(), QVariant(),
                                 QVariant(), QVariant(), QVariant(), report});
}

void LabServerOutbox::QueueCheck(const QString& uid, const QDateTime& finished,
                                 const QByteArray& json) {
    working().Execute(insertRow,
                      {KindText(Kind::Check), station, uid, QVariant(), ZonedText(finished),
                       QVariant(), QVariant(), QVariant(), QString::fromUtf8(json)});
}

void LabServerOutbox::QueueJournal(Database& database, const SeriesJournal::Entry& entry) {
    if (database.Path() != workingPath)
        return;
    CreateTable(database);
    const qint64 queued =
        database
            .Scalar(QStringLiteral("SELECT seq FROM LabJournalQueued WHERE station = ?"), {station})
            .toLongLong();
    // Normally only this entry; a marker ahead of it would mean a journal
    // that started again, and then the entry alone goes.
    const qint64 after = queued < entry.seq ? queued : entry.seq - 1;
    database.Execute(QStringLiteral("INSERT INTO LabOutbox (kind, station, series, lp) "
                                    "SELECT ?, ?, '', seq FROM journal WHERE seq > ? AND seq <= ? "
                                    "ORDER BY seq"),
                     {KindText(Kind::Journal), station, after, entry.seq});
    database.Execute(
        QStringLiteral("INSERT OR REPLACE INTO LabJournalQueued (station, seq) VALUES (?, ?)"),
        {station, entry.seq});
}

} // namespace Pomiar
