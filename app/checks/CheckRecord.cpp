#include "CheckRecord.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <array>

namespace Pomiar {

namespace {

template <typename Enum, size_t N>
std::optional<Enum> Named(const std::array<const char*, N>& names, const QString& name) {
    for (size_t i = 0; i < N; ++i)
        if (name == QLatin1String(names[i]))
            return Enum(i);
    return std::nullopt;
}

constexpr std::array<const char*, 3> kindNames{"repeatability", "accuracy", "eccentricity"};
constexpr std::array<const char*, 4> verdictNames{"pass", "warning", "fail", "cancelled"};
constexpr std::array<const char*, 5> positionNames{"centre", "front-left", "back-left",
                                                   "back-right", "front-right"};

// Times as the lab database takes them: ISO 8601 with milliseconds and the
// offset from UTC.
QString TimeText(const QDateTime& time) {
    return time.isValid() ? time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs)
                          : QString();
}

QDateTime TimeFrom(const QJsonValue& value) {
    return QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
}

QJsonValue Optional(const std::optional<double>& value) {
    return value ? QJsonValue(*value) : QJsonValue();
}

std::optional<double> OptionalFrom(const QJsonValue& value) {
    return value.isDouble() ? std::optional<double>(value.toDouble()) : std::nullopt;
}

} // namespace

QString KindName(CheckKind kind) {
    return QLatin1String(kindNames[size_t(kind)]);
}

std::optional<CheckKind> KindNamed(const QString& name) {
    return Named<CheckKind>(kindNames, name);
}

QString VerdictName(Verdict verdict) {
    return QLatin1String(verdictNames[size_t(verdict)]);
}

std::optional<Verdict> VerdictNamed(const QString& name) {
    return Named<Verdict>(verdictNames, name);
}

QString PositionName(PanPosition position) {
    return QLatin1String(positionNames[size_t(position)]);
}

std::optional<PanPosition> PositionNamed(const QString& name) {
    return Named<PanPosition>(positionNames, name);
}

const QList<PanPosition>& EccentricityPositions() {
    static const QList<PanPosition> positions{PanPosition::Centre, PanPosition::FrontLeft,
                                              PanPosition::BackLeft, PanPosition::BackRight,
                                              PanPosition::FrontRight};
    return positions;
}

std::optional<double> CheckRecord::Figure(const QString& name) const {
    for (const CheckFigure& figure : figures)
        if (figure.name == name)
            return figure.value;
    return std::nullopt;
}

QByteArray CheckRecord::ToJson() const {
    QJsonObject object;
    object[QStringLiteral("id")] = id;
    object[QStringLiteral("uid")] = uid;
    object[QStringLiteral("check")] = KindName(kind);
    object[QStringLiteral("balance")] = balanceId;
    object[QStringLiteral("weight")] = weightId;
    object[QStringLiteral("weight_certificate")] = weightCertificate;
    object[QStringLiteral("weight_certificate_due")] =
        weightCertificateDue ? weightCertificateDue->toString(Qt::ISODate) : QString();
    object[QStringLiteral("test_mass")] = testMass;
    object[QStringLiteral("d")] = d;
    object[QStringLiteral("smallest_net")] = smallestNet;
    object[QStringLiteral("safety_factor")] = safetyFactor;
    object[QStringLiteral("unit")] = unit;
    object[QStringLiteral("planned_readings")] = plannedReadings;
    QJsonArray readingArray;
    for (const CheckReading& reading : readings)
        readingArray.append(
            QJsonObject{{QStringLiteral("position"), PositionName(reading.position)},
                        {QStringLiteral("value"), reading.value},
                        {QStringLiteral("unit"), reading.unit},
                        {QStringLiteral("frame"), QString::fromLatin1(reading.frame)},
                        {QStringLiteral("at"), TimeText(reading.at)}});
    object[QStringLiteral("readings")] = readingArray;
    // Figures keep their order: an array of pairs, and each also as a key of
    // its own for scripts.
    QJsonArray figureArray;
    for (const CheckFigure& figure : figures) {
        figureArray.append(QJsonArray{figure.name, figure.value});
        object[figure.name] = figure.value;
    }
    object[QStringLiteral("figures")] = figureArray;
    object[QStringLiteral("limits")] =
        QJsonObject{{QStringLiteral("failure"), limits.failure},
                    {QStringLiteral("warning"), Optional(limits.warning)},
                    {QStringLiteral("source"), limits.source}};
    object[QStringLiteral("verdict")] = VerdictName(verdict);
    object[QStringLiteral("warnings")] = QJsonArray::fromStringList(warnings);
    object[QStringLiteral("refusal")] = refusal;
    object[QStringLiteral("operator")] = operatorName;
    object[QStringLiteral("station")] = station;
    object[QStringLiteral("host")] = host;
    object[QStringLiteral("program")] = program;
    object[QStringLiteral("started")] = TimeText(started);
    object[QStringLiteral("finished")] = TimeText(finished);
    object[QStringLiteral("journal_seq")] = journalSeq;
    object[QStringLiteral("journal_hash")] = QString::fromLatin1(journalHash.toHex());
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<CheckRecord> CheckRecord::FromJson(const QByteArray& json) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const auto kindFound = KindNamed(object[QStringLiteral("check")].toString());
    const auto verdictFound = VerdictNamed(object[QStringLiteral("verdict")].toString());
    if (!kindFound || !verdictFound)
        return std::nullopt;
    CheckRecord record;
    record.id = object[QStringLiteral("id")].toInteger();
    record.uid = object[QStringLiteral("uid")].toString();
    record.kind = *kindFound;
    record.balanceId = object[QStringLiteral("balance")].toString();
    record.weightId = object[QStringLiteral("weight")].toString();
    record.weightCertificate = object[QStringLiteral("weight_certificate")].toString();
    const QDate due =
        QDate::fromString(object[QStringLiteral("weight_certificate_due")].toString(), Qt::ISODate);
    if (due.isValid())
        record.weightCertificateDue = due;
    record.testMass = object[QStringLiteral("test_mass")].toDouble();
    record.d = object[QStringLiteral("d")].toDouble();
    record.smallestNet = object[QStringLiteral("smallest_net")].toDouble();
    record.safetyFactor = object[QStringLiteral("safety_factor")].toDouble();
    record.unit = object[QStringLiteral("unit")].toString();
    record.plannedReadings = object[QStringLiteral("planned_readings")].toInt();
    for (const QJsonValue& value : object[QStringLiteral("readings")].toArray()) {
        const QJsonObject reading = value.toObject();
        record.readings.append({PositionNamed(reading[QStringLiteral("position")].toString())
                                    .value_or(PanPosition::Centre),
                                reading[QStringLiteral("value")].toDouble(),
                                reading[QStringLiteral("unit")].toString(),
                                reading[QStringLiteral("frame")].toString().toLatin1(),
                                TimeFrom(reading[QStringLiteral("at")])});
    }
    for (const QJsonValue& value : object[QStringLiteral("figures")].toArray()) {
        const QJsonArray pair = value.toArray();
        record.figures.append({pair.at(0).toString(), pair.at(1).toDouble()});
    }
    const QJsonObject limits = object[QStringLiteral("limits")].toObject();
    record.limits = {limits[QStringLiteral("failure")].toDouble(),
                     OptionalFrom(limits[QStringLiteral("warning")]),
                     limits[QStringLiteral("source")].toString()};
    record.verdict = *verdictFound;
    for (const QJsonValue& value : object[QStringLiteral("warnings")].toArray())
        record.warnings << value.toString();
    record.refusal = object[QStringLiteral("refusal")].toString();
    record.operatorName = object[QStringLiteral("operator")].toString();
    record.station = object[QStringLiteral("station")].toString();
    record.host = object[QStringLiteral("host")].toString();
    record.program = object[QStringLiteral("program")].toString();
    record.started = TimeFrom(object[QStringLiteral("started")]);
    record.finished = TimeFrom(object[QStringLiteral("finished")]);
    record.journalSeq = object[QStringLiteral("journal_seq")].toInteger();
    record.journalHash =
        QByteArray::fromHex(object[QStringLiteral("journal_hash")].toString().toLatin1());
    return record;
}

} // namespace Pomiar
