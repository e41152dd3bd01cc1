#include "ReadingOutput.h"

#include "SeriesFile.h"

#include <QJsonArray>
#include <QJsonDocument>
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

// A unit is whatever a garbled line leaves in its place: quoted when it
// would break the line.
QString CsvField(const QString& text) {
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n'))
        return text;
    return u'"' + QString(text).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

QString JsonString(const QString& text) {
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
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
        return TimeText(reading.time) + QLatin1Char(',') + NumberText(reading.value) +
               QLatin1Char(',') + CsvField(reading.unit) + QLatin1Char(',') +
               StabilityText(reading.stable);
    case OutputFormat::Json:
        // Written by hand so that the value keeps the plain form of the other
        // formats ("0.0001", never "1e-04") and the keys their order.
        return QStringLiteral("{\"time\":%1,\"value\":%2,\"unit\":%3,\"stable\":%4}")
            .arg(JsonString(TimeText(reading.time)), NumberText(reading.value),
                 JsonString(reading.unit),
                 reading.stable ? QLatin1String(*reading.stable ? "true" : "false")
                                : QLatin1String("null"));
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
