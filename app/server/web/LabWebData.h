#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>
#include <vector>

class QSqlDatabase;

namespace Pomiar::LabWebData {

// One row of the lab database's readings.
struct Reading {
    QString station;
    QString series;
    qint64 lp = 0;
    std::optional<double> value;
    QString unit;
    QDateTime takenAt;
    std::optional<qint64> timer;
    QString description;
    QDateTime receivedAt;
    // As the balance told it; none for readings stored before it was kept.
    std::optional<bool> stable;
    // Below the series' lower or above its upper limit.
    bool outsideLimits = false;
};

// A series' acceptance limits; none for a limit that is off.
struct Limits {
    std::optional<double> lower;
    std::optional<double> upper;
};

// A station with its current series (the one it began last) and the last
// reading of that series.
struct Station {
    QString station;
    QDateTime firstSeen;
    QDateTime lastSeen;
    QString series;
    QDateTime seriesStarted;
    qint64 readings = 0;
    Limits limits;
    // Readings of the series outside its limits.
    qint64 outsideLimits = 0;
    std::optional<Reading> last;
};

// A page of a station's current series: the readings after an lp, and every
// value of the series for its statistics.
struct SeriesPage {
    bool stationKnown = false;
    QString station;
    QString series;
    QDateTime started;
    Limits limits;
    QList<Reading> readings;
    // More readings follow the page.
    bool more = false;
    std::vector<double> values;
    QString lastUnit;
};

struct Key {
    QString station;
    QString series;
    qint64 lp = 0;
};

// Every station by name. False with the reason when the query failed.
bool Stations(QSqlDatabase& database, QList<Station>* stations, QString* error);

// Up to limit readings after lp since of the station's current series, by lp.
bool Readings(QSqlDatabase& database, const QString& station, qint64 since, int limit,
              SeriesPage* page, QString* error);

// The readings with these keys (those still there), by station and lp.
bool ReadingsByKey(QSqlDatabase& database, const QList<Key>& keys, QList<Reading>* readings,
                   QString* error);

} // namespace Pomiar::LabWebData
