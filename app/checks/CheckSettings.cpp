#include "CheckSettings.h"

#include "INI.h"
#include "mUstawienia.h"

#include <QFileInfo>
#include <cmath>
#include <vector>

namespace Pomiar {

namespace {

const QString section = QString::fromLatin1(CheckSettings::Section);

QString scheduleKey(CheckKind kind) {
    QString name = KindName(kind);
    name[0] = name[0].toUpper();
    return QStringLiteral("schedule") + name;
}

[[noreturn]] void mismatch(const QString& iniPath, const char* key, const QString& text) {
    throw SettingsError(QFileInfo(iniPath).fileName(), section, QLatin1String(key), text);
}

std::optional<double> readNumber(const QString& iniPath, const char* key) {
    const QString text = INI::CzytajIni(iniPath, section, QLatin1String(key), QString()).trimmed();
    if (text.isEmpty())
        return std::nullopt;
    bool ok = false;
    const double value = QString(text).replace(u',', u'.').toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < 0)
        mismatch(iniPath, key, text);
    return value;
}

bool readBoolean(const QString& iniPath, const char* key) {
    const QString text = INI::CzytajIni(iniPath, section, QLatin1String(key), QStringLiteral("0"));
    bool ok = false;
    const bool value = mUstawienia::ToBoolean(text, &ok);
    if (!ok)
        mismatch(iniPath, key, text);
    return value;
}

QString numberText(const std::optional<double>& value) {
    return value ? QString::number(*value, 'g', 15) : QString();
}

} // namespace

CheckSchedule CheckSettings::ScheduleOf(CheckKind kind) const {
    const auto found = schedules.find(kind);
    return found == schedules.end() ? CheckSchedule() : found->second;
}

std::optional<CheckLimits> CheckSettings::LimitsOf(CheckKind kind) const {
    const QString from = QStringLiteral("ustawienia.ini [%1] ").arg(section);
    switch (kind) {
    case CheckKind::Repeatability:
        return CheckLimits{repeatabilityLimitPct, repeatabilityWarningPct,
                           repeatabilityLimitPct == 0.10
                               ? QStringLiteral("USP <41>, Ph. Eur. 2.1.7: 2s/m <= 0.10 %")
                               : from + QStringLiteral("repeatabilityLimitPct")};
    case CheckKind::Accuracy:
        return CheckLimits{accuracyTolerancePct, accuracyWarningPct,
                           accuracyTolerancePct == 0.10
                               ? QStringLiteral("USP <41>: 0.10 % of the test weight")
                               : from + QStringLiteral("accuracyTolerancePct")};
    case CheckKind::Eccentricity:
        if (!eccentricityTolerance)
            return std::nullopt;
        return CheckLimits{*eccentricityTolerance, eccentricityWarning,
                           from + QStringLiteral("eccentricityTolerance")};
    }
    return std::nullopt;
}

CheckSettings CheckSettings::Read(const QString& iniPath) {
    CheckSettings settings;
    settings.balanceId =
        INI::CzytajIni(iniPath, section, QStringLiteral("balance"), QString()).trimmed();
    if (const auto sf = readNumber(iniPath, "safetyFactor")) {
        if (*sf < 1)
            mismatch(iniPath, "safetyFactor", QString::number(*sf));
        settings.safetyFactor = *sf;
    }
    settings.refuseBelowMinimum = readBoolean(iniPath, "refuseBelowMinimum");
    settings.refuseWhenDue = readBoolean(iniPath, "refuseWhenDue");
    settings.smallestNet = readNumber(iniPath, "smallestNet");
    settings.repeatabilityLimitPct =
        readNumber(iniPath, "repeatabilityLimitPct").value_or(settings.repeatabilityLimitPct);
    settings.repeatabilityWarningPct = readNumber(iniPath, "repeatabilityWarningPct");
    settings.accuracyTolerancePct =
        readNumber(iniPath, "accuracyTolerancePct").value_or(settings.accuracyTolerancePct);
    settings.accuracyWarningPct = readNumber(iniPath, "accuracyWarningPct");
    settings.eccentricityTolerance = readNumber(iniPath, "eccentricityTolerance");
    settings.eccentricityWarning = readNumber(iniPath, "eccentricityWarning");
    for (const CheckKind kind :
         {CheckKind::Repeatability, CheckKind::Accuracy, CheckKind::Eccentricity}) {
        const QString key = scheduleKey(kind);
        const QString text = INI::CzytajIni(iniPath, section, key, QString());
        const auto schedule = CheckSchedule::Parse(text);
        if (!schedule)
            throw SettingsError(QFileInfo(iniPath).fileName(), section, key, text);
        if (schedule->GetPeriod() != CheckSchedule::Period::None)
            settings.schedules[kind] = *schedule;
    }
    return settings;
}

bool CheckSettings::Write(const QString& iniPath, QString* error) const {
    std::vector<std::pair<QString, QString>> keys{
        {QStringLiteral("balance"), balanceId},
        {QStringLiteral("safetyFactor"), numberText(safetyFactor)},
        {QStringLiteral("refuseBelowMinimum"), mUstawienia::BooleanText(refuseBelowMinimum)},
        {QStringLiteral("refuseWhenDue"), mUstawienia::BooleanText(refuseWhenDue)},
        {QStringLiteral("smallestNet"), numberText(smallestNet)},
        {QStringLiteral("repeatabilityLimitPct"), numberText(repeatabilityLimitPct)},
        {QStringLiteral("repeatabilityWarningPct"), numberText(repeatabilityWarningPct)},
        {QStringLiteral("accuracyTolerancePct"), numberText(accuracyTolerancePct)},
        {QStringLiteral("accuracyWarningPct"), numberText(accuracyWarningPct)},
        {QStringLiteral("eccentricityTolerance"), numberText(eccentricityTolerance)},
        {QStringLiteral("eccentricityWarning"), numberText(eccentricityWarning)},
    };
    for (const CheckKind kind :
         {CheckKind::Repeatability, CheckKind::Accuracy, CheckKind::Eccentricity})
        keys.emplace_back(scheduleKey(kind), ScheduleOf(kind).Text());
    for (const auto& [key, value] : keys)
        if (!INI::ZapiszIni(iniPath, section, key, value, error))
            return false;
    return true;
}

} // namespace Pomiar
