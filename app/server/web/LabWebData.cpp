#include "LabWebData.h"

#include "LabServerSchema.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

namespace Pomiar::LabWebData {

namespace {

// The columns of a reading r of series s. The limit test of the station's
// filter: below the lower or above the upper limit, a limit equalled is
// inside.
constexpr const char* readingColumns =
    "r.station, r.series, r.lp, r.value, r.unit, r.taken_at, r.timer, r.description, "
    "r.received_at, r.stable, coalesce(r.value < s.lower_limit OR r.value > s.upper_limit, false)";

constexpr const char* seriesJoin = "JOIN series s ON s.station = r.station AND s.series = r.series";

std::optional<double> OptionalDouble(const QSqlQuery& query, int index) {
    if (query.isNull(index))
        return std::nullopt;
    return query.value(index).toDouble();
}

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
    if (!query.isNull(first + 9))
        reading.stable = query.value(first + 9).toBool();
    reading.outsideLimits = query.value(first + 10).toBool();
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
            "SELECT t.station, t.first_seen, t.last_seen, s.series, s.started, "
            "(SELECT count(*) FROM readings n WHERE n.station = s.station AND n.series = "
            "s.series), s.lower_limit, s.upper_limit, "
            "(SELECT count(*) FROM readings n WHERE n.station = s.station AND n.series = "
            "s.series AND (n.value < s.lower_limit OR n.value > s.upper_limit)), "
            "%1 FROM stations t "
            "LEFT JOIN LATERAL (SELECT * FROM series "
            "WHERE station = t.station ORDER BY started DESC, series DESC LIMIT 1) s ON true "
            "LEFT JOIN LATERAL (SELECT * FROM readings l WHERE l.station = s.station "
            "AND l.series = s.series ORDER BY l.lp DESC LIMIT 1) r ON true "
            "ORDER BY t.station")
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
        station.limits = {OptionalDouble(query, 6), OptionalDouble(query, 7)};
        station.outsideLimits = query.value(8).toLongLong();
        if (!query.isNull(9))
            station.last = ReadingAt(query, 9);
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
                                 "c.series, c.started, c.lower_limit, c.upper_limit "
                                 "FROM (SELECT 1) one LEFT JOIN LATERAL "
                                 "(SELECT series, started, lower_limit, upper_limit "
                                 "FROM series WHERE station = :s2 "
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
    page->limits = {OptionalDouble(query, 3), OptionalDouble(query, 4)};

    query.prepare(QStringLiteral("SELECT %1 FROM readings r %2 WHERE r.station = :s AND "
                                 "r.series = :c AND r.lp > :since ORDER BY r.lp LIMIT :n")
                      .arg(QLatin1String(readingColumns), QLatin1String(seriesJoin)));
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
    query.prepare(QStringLiteral("SELECT %1 FROM readings r %2 WHERE (r.station, r.series, r.lp) "
                                 "IN (%3) ORDER BY r.station, r.lp")
                      .arg(QLatin1String(readingColumns), QLatin1String(seriesJoin),
                           rows.join(QStringLiteral(", "))));
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
