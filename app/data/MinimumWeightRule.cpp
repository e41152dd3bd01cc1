#include "MinimumWeightRule.h"

#include "SeriesJournal.h"

#include <cmath>

namespace Pomiar {

namespace {

// Grams per unit of the mass units balances send.
double Grams(const QString& unit) {
    const QString u = unit.trimmed();
    if (u == QLatin1String("g"))
        return 1;
    if (u == QLatin1String("mg"))
        return 1e-3;
    if (u == QLatin1String("kg"))
        return 1e3;
    if (u == QLatin1String("ug") || u == QStringLiteral("\u00b5g") ||
        u == QStringLiteral("\u03bcg"))
        return 1e-6;
    if (u == QLatin1String("ct"))
        return 0.2;
    return 0;
}

} // namespace

double MinimumWeightRule::UnitFactor(const QString& from, const QString& to) {
    const double source = Grams(from);
    const double target = Grams(to);
    return source > 0 && target > 0 ? source / target : 0;
}

MinimumWeightRule::Verdict MinimumWeightRule::Judge(double mass, const QString& readingUnit) const {
    const double factor = UnitFactor(readingUnit, unit);
    if (factor <= 0 || !(minimumWeight > 0) || !std::isfinite(mass))
        return Verdict::Fit;
    // Compared in the limit's unit; a net exactly at the limit is fit,
    // also when a change of unit leaves it a rounding error below.
    if (std::fabs(mass) * factor >= Limit() * (1 - 1e-12))
        return Verdict::Fit;
    return refuse ? Verdict::Refused : Verdict::Below;
}

QByteArray MinimumWeightRule::JournalData() const {
    return SeriesJournal::JoinFields({"minimum weight", QByteArray::number(Limit(), 'g', 12),
                                      unit.toUtf8(), QByteArray::number(safetyFactor, 'g', 12),
                                      QByteArray::number(minimumWeight, 'g', 12), checkId.toUtf8(),
                                      refuse ? "refuse" : "mark"});
}

} // namespace Pomiar
