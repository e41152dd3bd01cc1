#pragma once

#include "CheckRecord.h"
#include "CheckSchedule.h"

#include <QString>
#include <map>
#include <optional>

namespace Pomiar {

// Section "CHECKS" of ustawienia.ini: the lab's limits, safety factor and
// schedules, kept where the program's other settings are, read by the
// program and by trevalo alike. Numbers use "." (a "," is read as ".").
//
//   balance=B1                   the register's balance read at this station
//   safetyFactor=2               SF: fit for use when net >= SF·m_min
//   refuseBelowMinimum=0         refuse readings below SF·m_min (else mark)
//   refuseWhenDue=0              refuse readings while a check is due
//   smallestNet=                 m_smallest for repeatability (unit)
//   repeatabilityLimitPct=0.10   repeatabilityWarningPct=
//   accuracyTolerancePct=0.10    accuracyWarningPct=
//   eccentricityTolerance=       eccentricityWarning=   (unit)
//   scheduleRepeatability=daily  scheduleAccuracy=  scheduleEccentricity=
struct CheckSettings {
    static constexpr const char* Section = "CHECKS";

    QString balanceId;
    double safetyFactor = 2;
    bool refuseBelowMinimum = false;
    bool refuseWhenDue = false;
    std::optional<double> smallestNet;
    double repeatabilityLimitPct = 0.10;
    std::optional<double> repeatabilityWarningPct;
    double accuracyTolerancePct = 0.10;
    std::optional<double> accuracyWarningPct;
    std::optional<double> eccentricityTolerance;
    std::optional<double> eccentricityWarning;
    std::map<CheckKind, CheckSchedule> schedules;

    CheckSchedule ScheduleOf(CheckKind kind) const;
    // The limits of a check from these settings, with their source; nothing
    // for eccentricity without a tolerance.
    std::optional<CheckLimits> LimitsOf(CheckKind kind) const;

    // Throws SettingsError for a key whose text is no number, Boolean or
    // schedule.
    static CheckSettings Read(const QString& iniPath);
    // False with the reason at the first write that fails.
    bool Write(const QString& iniPath, QString* error = nullptr) const;

    bool operator==(const CheckSettings&) const = default;
};

} // namespace Pomiar
