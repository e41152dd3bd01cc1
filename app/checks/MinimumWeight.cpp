#include "MinimumWeight.h"

#include "CheckRegister.h"
#include "CheckSettings.h"

#include <cmath>

namespace Pomiar {

bool MinimumWeight::Below(double net, const QString& valueUnit) const {
    if (!inForce)
        return false;
    if (!valueUnit.isEmpty() && !unit.isEmpty() && valueUnit.trimmed() != unit.trimmed())
        return false;
    return std::abs(net) < Threshold();
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
