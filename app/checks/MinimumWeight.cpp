#include "MinimumWeight.h"

#include "CheckRegister.h"
#include "CheckSettings.h"

namespace Pomiar {

std::optional<MinimumWeightRule> MinimumWeight::Rule() const {
    if (!inForce)
        return std::nullopt;
    MinimumWeightRule rule;
    rule.minimumWeight = mMin;
    rule.safetyFactor = safetyFactor;
    rule.unit = unit;
    rule.refuse = refuse;
    rule.checkId = QString::number(checkId);
    return rule;
}

MinimumWeight MinimumWeight::For(CheckRegister& checks, const CheckSettings& settings,
                                 const QString& balanceId) {
    MinimumWeight weight;
    weight.safetyFactor = settings.safetyFactor;
    weight.refuse = settings.refuseBelowMinimum;
    const QString balance = balanceId.isEmpty() ? settings.balanceId : balanceId;
    const auto last = checks.LastCheck(balance, CheckKind::Repeatability, true);
    if (!last)
        return weight;
    const auto mMin = last->Figure(QStringLiteral("m_min"));
    if (!mMin)
        return weight;
    weight.inForce = true;
    weight.mMin = *mMin;
    weight.unit = last->unit;
    weight.checkId = last->id;
    weight.checkedAt = last->finished;
    return weight;
}

} // namespace Pomiar
