#include "ReadingOutput.h"

#include "SeriesFile.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

namespace Trevalo {

namespace {

QString TimeText(const QDateTime& time) {
    return time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString NumberText(double value) {
    return Pomiar::SeriesFile::CsvNumber(value, QLocale::c());
}

QString StabilityText(const std::optional<bool>& stable) {
    if (!stable)
        return {};
    return *stable ? QStringLiteral("stable") : QStringLiteral("unstable");
}

} // namespace

QString CsvHeader() {
    return QStringLiteral("time,value,unit,stability");
}

QString FormatReading(const PrintedReading& reading, OutputFormat format) {
    switch (format) {
    case OutputFormat::Text: {
        QString line = TimeText(reading.time) + QLatin1Char(' ') + NumberText(reading.value) +
                       QLatin1Char(' ') + reading.unit;
        if (reading.stable)
            line += QLatin1Char(' ') + StabilityText(reading.stable);
        return line;
    }
    case OutputFormat::Csv:
        // Units never hold commas or quotes: at most three characters of a
        // balance line, cut at blanks.
        return TimeText(reading.time) + QLatin1Char(',') + NumberText(reading.value) +
               QLatin1Char(',') + reading.unit + QLatin1Char(',') + StabilityText(reading.stable);
    case OutputFormat::Json: {
        QJsonObject object{{QStringLiteral("time"), TimeText(reading.time)},
                           {QStringLiteral("value"), reading.value},
                           {QStringLiteral("unit"), reading.unit}};
        object.insert(QStringLiteral("stable"),
                      reading.stable ? QJsonValue(*reading.stable) : QJsonValue());
        return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
    }
    }
    return {};
}

void ReadingPrinter::Print(const PrintedReading& reading) {
    if (format == OutputFormat::Csv && !headerDone) {
        std::fprintf(out, "%s\n", qPrintable(CsvHeader()));
        headerDone = true;
    }
    std::fprintf(out, "%s\n", FormatReading(reading, format).toUtf8().constData());
    std::fflush(out);
}

} // namespace Trevalo
