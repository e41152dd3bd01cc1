#include "LabWebJson.h"

#include "SeriesStatistics.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>

namespace Pomiar::LabWebJson {

namespace {

// The program's default mass display format.
const QString massFormat = QStringLiteral("#0.0000");

QJsonValue Text(const QString& text) {
    return text.isNull() ? QJsonValue() : QJsonValue(text);
}

QJsonValue Number(const std::optional<double>& value) {
    return value ? QJsonValue(*value) : QJsonValue();
}

QJsonValue StatisticsOf(const LabWebData::SeriesPage& page) {
    if (page.values.size() < 2 || page.lastUnit == QLatin1String("%"))
        return QJsonValue();
    const StatisticsFields fields =
        SeriesStatistics::ObliczStatystyke(page.values, massFormat, QLocale::c());
    return QJsonObject{
        {QStringLiteral("count"), fields.lblLiczba},
        {QStringLiteral("max"), fields.lblMax},
        {QStringLiteral("min"), fields.lblMin},
        {QStringLiteral("mean"), fields.lblSrednia},
        {QStringLiteral("std_dev"), fields.lblOStd},
        {QStringLiteral("mean_abs_dev"), fields.lblOSrenie},
        {QStringLiteral("sum_sq_dev"), fields.lblOKwadrat},
        {QStringLiteral("variance"), fields.lblWar},
        {QStringLiteral("variance_est"), fields.lblEWar},
        {QStringLiteral("std_dev_est"), fields.lblEOdch},
        {QStringLiteral("sum"), fields.lblSuma},
    };
}

} // namespace

QJsonValue Time(const QDateTime& time) {
    if (!time.isValid())
        return QJsonValue();
    return time.toUTC().toString(Qt::ISODateWithMs);
}

QJsonObject Reading(const LabWebData::Reading& reading) {
    return QJsonObject{
        {QStringLiteral("station"), reading.station},
        {QStringLiteral("series"), reading.series},
        {QStringLiteral("lp"), reading.lp},
        {QStringLiteral("value"), reading.value ? QJsonValue(*reading.value) : QJsonValue()},
        {QStringLiteral("unit"), Text(reading.unit)},
        {QStringLiteral("taken_at"), Time(reading.takenAt)},
        {QStringLiteral("timer"), reading.timer ? QJsonValue(*reading.timer) : QJsonValue()},
        {QStringLiteral("description"), Text(reading.description)},
        {QStringLiteral("received_at"), Time(reading.receivedAt)},
        {QStringLiteral("stable"), reading.stable ? QJsonValue(*reading.stable) : QJsonValue()},
        {QStringLiteral("outside_limits"), reading.outsideLimits},
    };
}

QJsonObject Stations(const QList<LabWebData::Station>& stations, const QDateTime& now) {
    QJsonArray list;
    for (const LabWebData::Station& station : stations) {
        QDateTime heard = station.lastSeen;
        if (station.last && station.last->receivedAt > heard)
            heard = station.last->receivedAt;
        const qint64 quiet = heard.isValid() ? std::max<qint64>(0, heard.secsTo(now)) : 0;
        list.append(QJsonObject{
            {QStringLiteral("station"), station.station},
            {QStringLiteral("first_seen"), Time(station.firstSeen)},
            {QStringLiteral("last_seen"), Time(heard)},
            {QStringLiteral("online"), heard.isValid() && quiet < SilentAfterSeconds},
            {QStringLiteral("silent_minutes"), quiet < SilentAfterSeconds ? 0 : quiet / 60},
            {QStringLiteral("series"), Text(station.series)},
            {QStringLiteral("series_started"), Time(station.seriesStarted)},
            {QStringLiteral("readings"), station.readings},
            {QStringLiteral("lower_limit"), Number(station.limits.lower)},
            {QStringLiteral("upper_limit"), Number(station.limits.upper)},
            {QStringLiteral("outside_limits"), station.outsideLimits},
            {QStringLiteral("last"),
             station.last ? QJsonValue(Reading(*station.last)) : QJsonValue()},
        });
    }
    return QJsonObject{{QStringLiteral("stations"), list},
                       {QStringLiteral("now"), Time(now)},
                       {QStringLiteral("silent_after_s"), SilentAfterSeconds}};
}

QJsonObject Series(const LabWebData::SeriesPage& page) {
    QJsonArray readings;
    for (const LabWebData::Reading& reading : page.readings)
        readings.append(Reading(reading));
    return QJsonObject{
        {QStringLiteral("station"), page.station},
        {QStringLiteral("series"), Text(page.series)},
        {QStringLiteral("started"), Time(page.started)},
        {QStringLiteral("lower_limit"), Number(page.limits.lower)},
        {QStringLiteral("upper_limit"), Number(page.limits.upper)},
        {QStringLiteral("readings"), readings},
        {QStringLiteral("next"), page.readings.isEmpty() ? QJsonValue() : page.readings.last().lp},
        {QStringLiteral("more"), page.more},
        {QStringLiteral("statistics"), StatisticsOf(page)},
    };
}

QJsonObject Error(int status, const QString& text) {
    return QJsonObject{{QStringLiteral("error"), text}, {QStringLiteral("status"), status}};
}

QByteArray Serialized(const QJsonObject& object) {
    QByteArray bytes = QJsonDocument(object).toJson(QJsonDocument::Compact);
    // Outside strings JSON has none of these characters, so each one found
    // is inside a string, where its escape means the same.
    bytes.replace('<', "\\u003c");
    bytes.replace('>', "\\u003e");
    bytes.replace('&', "\\u0026");
    return bytes;
}

} // namespace Pomiar::LabWebJson
