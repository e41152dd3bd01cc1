#pragma once

#include "LabWebData.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>

namespace Pomiar::LabWebJson {

// How the view tells a station that still sends from one gone quiet.
constexpr qint64 SilentAfterSeconds = 120;

// A time as the API gives every time: UTC, ISO 8601 with milliseconds and
// "Z"; null when there is none.
QJsonValue Time(const QDateTime& time);

// {station, series, lp, value, unit, taken_at, timer, description, received_at,
// stable, outside_limits}
QJsonObject Reading(const LabWebData::Reading& reading);

// {"stations": [...], "now": ...}: each station with its current series, its
// last reading, the series' limits and how many of its readings are outside
// them, whether it is online and for how many whole minutes it has been
// silent, as of now.
QJsonObject Stations(const QList<LabWebData::Station>& stations, const QDateTime& now);

// {station, series, started, lower_limit, upper_limit, readings, next, more,
// statistics}: the limits are null when off or not known; statistics
// are the eleven of the program's main window over the whole series,
// formatted as it shows them; null for fewer than two values or a moisture
// series ("%").
QJsonObject Series(const LabWebData::SeriesPage& page);

// {"error": text, "status": status}
QJsonObject Error(int status, const QString& text);

// Compact UTF-8 JSON with "<", ">" and "&" written as \u escapes, so that
// no text from the database can close a script or start markup wherever
// the JSON ends up.
QByteArray Serialized(const QJsonObject& object);

} // namespace Pomiar::LabWebJson
