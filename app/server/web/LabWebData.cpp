#include "LabWebData.h"

#include "LabServerSchema.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

namespace Pomiar::LabWebData {

namespace {

constexpr const char* readingColumns =
    "r.station, r.series, r.lp, r.value, r.unit, r.taken_at, r.timer, r.description, "
    "r.received_at";

// The columns of readingColumns from position first of the query.
Reading ReadingAt(const QSqlQuery& query, int first) {
    Reading reading;
    reading.station = query.value(first).toString();
    reading.series = query.value(first + 1).toString();
    reading.lp = query.value(first + 2).toLongLong();
    if (!query.isNull(first + 3))
        reading.value = query.value(first + 3).toDouble();
    reading.unit = query.value(first + 4).toString();
    reading.takenAt = query.value(first + 5).toDateTime();
    if (!query.isNull(first + 6))
        reading.timer = query.value(first + 6).toLongLong();
    reading.description = query.value(first + 7).toString();
    reading.receivedAt = query.value(first + 8).toDateTime();
    return reading;
}

bool Failed(const QSqlQuery& query, QString* error) {
    if (error)
        *error = LabServerSchema::ReasonOf(query.lastError());
    return false;
}

} // namespace

bool Stations(QSqlDatabase& database, QList<Station>* stations, QString* error) {
    QSqlQuery query(database);
    query.setForwardOnly(true);
    const QString statement =
        QStringLiteral(
            "SELECT s.station, s.first_seen, s.last_seen, c.series, c.started, "
            "(SELECT count(*) FROM readings n WHERE n.station = c.station AND n.series = "
            "c.series), "
            "%1 FROM stations s "
            "LEFT JOIN LATERAL (SELECT station, series, started FROM series "
            "WHERE station = s.station ORDER BY started DESC, series DESC LIMIT 1) c ON true "
            "LEFT JOIN LATERAL (SELECT * FROM readings l WHERE l.station = c.station "
            "AND l.series = c.series ORDER BY l.lp DESC LIMIT 1) r ON true "
            "ORDER BY s.station")
            .arg(QLatin1String(readingColumns));
    if (!query.exec(statement))
        return Failed(query, error);
    stations->clear();
    while (query.next()) {
        Station station;
        station.station = query.value(0).toString();
        station.firstSeen = query.value(1).toDateTime();
        station.lastSeen = query.value(2).toDateTime();
        station.series = query.value(3).toString();
        station.seriesStarted = query.value(4).toDateTime();
        station.readings = query.value(5).toLongLong();
        if (!query.isNull(6))
            station.last = ReadingAt(query, 6);
        stations->append(station);
    }
    return true;
}

bool Readings(QSqlDatabase& database, const QString& station, qint64 since, int limit,
              SeriesPage* page, QString* error) {
    *page = SeriesPage();
    page->station = station;
    QSqlQuery query(database);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT (SELECT count(*) FROM stations WHERE station = :s1), "
                                 "c.series, c.started FROM (SELECT 1) one LEFT JOIN LATERAL "
                                 "(SELECT series, started FROM series WHERE station = :s2 "
                                 "ORDER BY started DESC, series DESC LIMIT 1) c ON true"));
    query.bindValue(QStringLiteral(":s1"), station);
    query.bindValue(QStringLiteral(":s2"), station);
    if (!query.exec() || !query.next())
        return Failed(query, error);
    page->stationKnown = query.value(0).toLongLong() > 0;
    if (!page->stationKnown || query.isNull(1))
        return true;
    page->series = query.value(1).toString();
    page->started = query.value(2).toDateTime();

    query.prepare(QStringLiteral("SELECT %1 FROM readings r WHERE r.station = :s AND "
                                 "r.series = :c AND r.lp > :since ORDER BY r.lp LIMIT :n")
                      .arg(QLatin1String(readingColumns)));
    query.bindValue(QStringLiteral(":s"), station);
    query.bindValue(QStringLiteral(":c"), page->series);
    query.bindValue(QStringLiteral(":since"), since);
    // One more than asked tells whether more follow.
    query.bindValue(QStringLiteral(":n"), limit + 1);
    if (!query.exec())
        return Failed(query, error);
    while (query.next()) {
        if (page->readings.size() == limit) {
            page->more = true;
            break;
        }
        page->readings.append(ReadingAt(query, 0));
    }

    query.prepare(QStringLiteral("SELECT value, unit FROM readings WHERE station = :s AND "
                                 "series = :c ORDER BY lp"));
    query.bindValue(QStringLiteral(":s"), station);
    query.bindValue(QStringLiteral(":c"), page->series);
    if (!query.exec())
        return Failed(query, error);
    while (query.next()) {
        if (!query.isNull(0))
            page->values.push_back(query.value(0).toDouble());
        page->lastUnit = query.value(1).toString();
    }
    return true;
}

bool ReadingsByKey(QSqlDatabase& database, const QList<Key>& keys, QList<Reading>* readings,
                   QString* error) {
    readings->clear();
    if (keys.isEmpty())
        return true;
    QStringList rows;
    for (int i = 0; i < keys.size(); ++i)
        rows << QStringLiteral("(?, ?, ?::integer)");
    QSqlQuery query(database);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT %1 FROM readings r WHERE (r.station, r.series, r.lp) "
                                 "IN (%2) ORDER BY r.station, r.lp")
                      .arg(QLatin1String(readingColumns), rows.join(QStringLiteral(", "))));
    for (const Key& key : keys) {
        query.addBindValue(key.station);
        query.addBindValue(key.series);
        query.addBindValue(key.lp);
    }
    if (!query.exec())
        return Failed(query, error);
    while (query.next())
        readings->append(ReadingAt(query, 0));
    return true;
}

} // namespace Pomiar::LabWebData
