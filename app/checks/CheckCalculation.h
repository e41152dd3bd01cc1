#pragma once

#include "CheckRecord.h"

#include <QList>
#include <optional>

namespace Pomiar {

// The arithmetic of the three checks, as the pharmacopoeias give it
// (USP general chapter <41> "Balances", Ph. Eur. 2.1.7 "Balances for
// analytical purposes"); no link, no file.
//
// Limits are compared with a relative margin of RelativeMargin: a figure
// within 1e-9 of its limit (relative) counts as on it. The figures are
// differences and quotients of readings in the balance's digits; the double
// arithmetic errs by some 1e-16 relative, a digit of a balance by 1e-7 at
// the least, so the margin absorbs the one and never a digit.
class CheckCalculation {
public:
    static constexpr int MinimumReplicates = 10;
    // s below 0.41·d is taken as 0.41·d.
    static constexpr double SFloorFactor = 0.41;
    // Repeatability: 2·s_used / m_smallest must not exceed 0.10 %.
    static constexpr double RepeatabilityLimitPercent = 0.10;
    // m_min = 2000·s_used (2·s / m = 0.10 % solved for m).
    static constexpr double MinimumWeightFactor = 2000;
    // Accuracy (USP): within 0.10 % of the test weight.
    static constexpr double AccuracyLimitPercent = 0.10;
    // The weight's uncertainty should not exceed a third of the tolerance.
    static constexpr double WeightUncertaintyShare = 1.0 / 3.0;
    static constexpr double RelativeMargin = 1e-9;

    struct Outcome {
        QList<CheckFigure> figures;
        Verdict verdict = Verdict::Cancelled;
        QStringList warnings;
        // Not empty: the input cannot be judged (verdict Cancelled).
        QString refusal;
        std::optional<double> Figure(const QString& name) const;
    };

    // Figures: n, mean, s, s_used, limit_s (0.41·d), m_min, ratio_pct
    // (2·s_used/m_smallest in percent). smallestNet 0: none given, the
    // verdict then judges m_min alone (m_smallest taken as m_min, which
    // passes by definition) and says so in a warning.
    static Outcome Repeatability(const QList<double>& readings, double d, double smallestNet,
                                 const CheckLimits& limits);
    // Figures: reading, conventional_mass, deviation (reading − mass),
    // tolerance (mass unit), deviation_pct. weightUncertainty: warns when
    // above a third of the tolerance.
    static Outcome Accuracy(double reading, double conventionalMass, const CheckLimits& limits,
                            std::optional<double> weightUncertainty = std::nullopt);
    // readings: the centre first, then the four corners. Figures: centre,
    // one deviation per corner ("deviation_front_left", ...), deviation
    // (the largest in magnitude, with its sign).
    static Outcome Eccentricity(const QList<double>& readings, const CheckLimits& limits);

    // The sample standard deviation (n − 1), 0 below two values.
    static double SampleDeviation(const QList<double>& values);
    // Whether value is at most limit, with the margin above.
    static bool WithinLimit(double value, double limit);
    // Pass, warning or fail of a figure (its magnitude) against the limits.
    static Verdict Judge(double figure, const CheckLimits& limits);
};

} // namespace Pomiar
