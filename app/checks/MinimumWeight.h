#pragma once

#include "MinimumWeightRule.h"

#include <QDateTime>
#include <QString>
#include <optional>

namespace Pomiar {

class CheckRegister;
struct CheckSettings;

// The minimum weight in force for a balance: m_min of its last
// repeatability check that passed (or warned), times the lab's safety
// factor. A net reading below SF·m_min is not fit for use: it is marked,
// or refused when the lab says so. Nothing is in force before such a check.
struct MinimumWeight {
    bool inForce = false;
    double mMin = 0;
    double safetyFactor = 1;
    QString unit;
    bool refuse = false;
    // The check it comes from.
    qint64 checkId = 0;
    QDateTime checkedAt;

    double Threshold() const { return mMin * safetyFactor; }
    // The rule the acceptance of readings applies; none when nothing is in
    // force.
    std::optional<MinimumWeightRule> Rule() const;

    // For balanceId (settings.balanceId when empty) from the register.
    static MinimumWeight For(CheckRegister& checks, const CheckSettings& settings,
                             const QString& balanceId = {});
};

} // namespace Pomiar
