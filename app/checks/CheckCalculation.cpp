#include "CheckCalculation.h"

#include <algorithm>
#include <cmath>

namespace Pomiar {

std::optional<double> CheckCalculation::Outcome::Figure(const QString& name) const {
    for (const CheckFigure& figure : figures)
        if (figure.name == name)
            return figure.value;
    return std::nullopt;
}

double CheckCalculation::SampleDeviation(const QList<double>& values) {
    if (values.size() < 2)
        return 0;
    // Two passes: the squares of deviations from the mean, not the
    // difference of two large sums, which loses the digits a repeatability
    // check is about (readings of 200 g that differ in the fifth place).
    double sum = 0;
    for (const double value : values)
        sum += value;
    const double mean = sum / double(values.size());
    double squares = 0;
    for (const double value : values)
        squares += (value - mean) * (value - mean);
    return std::sqrt(squares / double(values.size() - 1));
}

bool CheckCalculation::WithinLimit(double value, double limit) {
    return value <= limit + RelativeMargin * std::max(std::abs(limit), std::abs(value));
}

Verdict CheckCalculation::Judge(double figure, const CheckLimits& limits) {
    const double magnitude = std::abs(figure);
    if (!WithinLimit(magnitude, limits.failure))
        return Verdict::Fail;
    if (limits.warning && !WithinLimit(magnitude, *limits.warning))
        return Verdict::Warning;
    return Verdict::Pass;
}

CheckCalculation::Outcome CheckCalculation::Repeatability(const QList<double>& readings, double d,
                                                          double smallestNet,
                                                          const CheckLimits& limits) {
    Outcome outcome;
    const int n = int(readings.size());
    if (n < MinimumReplicates) {
        outcome.refusal = QStringLiteral("repeatability needs at least %1 replicate weighings, "
                                         "not %2")
                              .arg(MinimumReplicates)
                              .arg(n);
        return outcome;
    }
    if (!(d > 0)) {
        outcome.refusal = QStringLiteral("the balance's scale interval d must be above 0");
        return outcome;
    }
    double sum = 0;
    for (const double value : readings)
        sum += value;
    const double mean = sum / n;
    const double s = SampleDeviation(readings);
    const double floor = SFloorFactor * d;
    const double sUsed = s < floor ? floor : s;
    const double mMin = MinimumWeightFactor * sUsed;
    outcome.figures = {{QStringLiteral("n"), double(n)},  {QStringLiteral("mean"), mean},
                       {QStringLiteral("s"), s},          {QStringLiteral("limit_s"), floor},
                       {QStringLiteral("s_used"), sUsed}, {QStringLiteral("m_min"), mMin}};
    if (smallestNet > 0) {
        const double ratio = 2 * sUsed / smallestNet * 100;
        outcome.figures << CheckFigure{QStringLiteral("m_smallest"), smallestNet}
                        << CheckFigure{QStringLiteral("ratio_pct"), ratio};
        outcome.verdict = Judge(ratio, limits);
    } else {
        outcome.verdict = Verdict::Pass;
        outcome.warnings << QStringLiteral("no smallest net weight given: the check gives the "
                                           "minimum weight only");
    }
    return outcome;
}

CheckCalculation::Outcome CheckCalculation::Accuracy(double reading, double conventionalMass,
                                                     const CheckLimits& limits,
                                                     std::optional<double> weightUncertainty) {
    Outcome outcome;
    if (!(conventionalMass > 0)) {
        outcome.refusal = QStringLiteral("the test weight's conventional mass must be above 0");
        return outcome;
    }
    const double deviation = reading - conventionalMass;
    const double tolerance = limits.failure * conventionalMass / 100;
    const double percent = std::abs(deviation) / conventionalMass * 100;
    outcome.figures = {{QStringLiteral("reading"), reading},
                       {QStringLiteral("conventional_mass"), conventionalMass},
                       {QStringLiteral("deviation"), deviation},
                       {QStringLiteral("tolerance"), tolerance},
                       {QStringLiteral("deviation_pct"), percent}};
    outcome.verdict = Judge(percent, limits);
    if (weightUncertainty && !WithinLimit(*weightUncertainty, tolerance * WeightUncertaintyShare))
        outcome.warnings << QStringLiteral("the weight's uncertainty %1 is above a third of the "
                                           "tolerance %2")
                                .arg(*weightUncertainty)
                                .arg(tolerance);
    return outcome;
}

CheckCalculation::Outcome CheckCalculation::Eccentricity(const QList<double>& readings,
                                                         const CheckLimits& limits) {
    Outcome outcome;
    const QList<PanPosition>& positions = EccentricityPositions();
    if (readings.size() != positions.size()) {
        outcome.refusal = QStringLiteral("eccentricity needs %1 readings (centre and four "
                                         "corners), not %2")
                              .arg(positions.size())
                              .arg(readings.size());
        return outcome;
    }
    const double centre = readings[0];
    outcome.figures << CheckFigure{QStringLiteral("centre"), centre};
    double largest = 0;
    for (qsizetype i = 1; i < readings.size(); ++i) {
        const double deviation = readings[i] - centre;
        outcome.figures << CheckFigure{QStringLiteral("deviation_") +
                                           PositionName(positions[i]).replace(u'-', u'_'),
                                       deviation};
        if (std::abs(deviation) > std::abs(largest))
            largest = deviation;
    }
    outcome.figures << CheckFigure{QStringLiteral("deviation"), largest};
    outcome.verdict = Judge(largest, limits);
    return outcome;
}

} // namespace Pomiar
