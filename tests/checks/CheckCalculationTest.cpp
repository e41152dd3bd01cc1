// The cases are worked by hand from the public rules, not from the
// program's output: USP general chapter <41> "Balances", sections
// Repeatability (at least 10 replicates, s with n - 1, the 0.41 d floor,
// 2 s / m <= 0.10 %) and Accuracy (0.10 % of the test weight); Ph. Eur. 2.1.7
// "Balances for analytical purposes", Equipment performance (the same
// repeatability and minimum-weight rule); USP <1251> for the corner-load
// (eccentricity) test. The arithmetic stands beside each case.
#include "CheckCalculation.h"

#include <gtest/gtest.h>

using namespace Pomiar;

namespace {

const CheckLimits usp{0.10, std::nullopt, "USP <41>"};

QList<double> Repeated(double value, int n) {
    return QList<double>(n, value);
}

} // namespace

// Ten identical readings: s = 0, below 0.41·d, so s_used = 0.41·d.
// d = 0.0001 g: s_used = 0.41 × 0.0001 = 0.000041 g,
// m_min = 2000 × 0.000041 = 0.082 g.
// m_smallest = 0.5 g: 2 × 0.000041 / 0.5 = 0.000164 = 0.0164 % ≤ 0.10 %: pass.
TEST(CheckCalculation, DeviationBelowTheFloorUsesPoint41D) {
    const auto outcome = CheckCalculation::Repeatability(Repeated(20.0003, 10), 0.0001, 0.5, usp);
    ASSERT_TRUE(outcome.refusal.isEmpty());
    EXPECT_NEAR(*outcome.Figure("s"), 0.0, 1e-12);
    EXPECT_DOUBLE_EQ(*outcome.Figure("s_used"), 0.000041);
    EXPECT_DOUBLE_EQ(*outcome.Figure("m_min"), 0.082);
    EXPECT_NEAR(*outcome.Figure("ratio_pct"), 0.0164, 1e-12);
    EXPECT_NEAR(*outcome.Figure("mean"), 20.0003, 1e-12);
    EXPECT_EQ(outcome.verdict, Verdict::Pass);
}

// Five readings of 10.0000 g and five of 10.0002 g: mean 10.0001 g, each
// deviates by 0.0001 g, sum of squares 10 × 1e-8 = 1e-7,
// s = sqrt(1e-7 / 9) = 1.0540925533894598e-4 g, above 0.41·d = 0.000041 g,
// so s_used = s; m_min = 2000·s = 0.21081851067789195 g.
// m_smallest = 0.2 g: 2·s / 0.2 = 0.10540925533894598 % > 0.10 %: fail.
TEST(CheckCalculation, DeviationAboveTheFloorIsUsedAsItIs) {
    QList<double> readings;
    for (int i = 0; i < 5; ++i)
        readings << 10.0000 << 10.0002;
    const auto outcome = CheckCalculation::Repeatability(readings, 0.0001, 0.2, usp);
    EXPECT_NEAR(*outcome.Figure("s"), 1.0540925533894598e-4, 1e-15);
    EXPECT_DOUBLE_EQ(*outcome.Figure("s_used"), *outcome.Figure("s"));
    EXPECT_NEAR(*outcome.Figure("m_min"), 0.21081851067789195, 1e-12);
    EXPECT_NEAR(*outcome.Figure("ratio_pct"), 0.10540925533894598, 1e-12);
    EXPECT_EQ(outcome.verdict, Verdict::Fail);
}

// The boundary: s_used = 0.41 × 0.0001 = 0.000041 g, m_min = 0.082 g.
// m_smallest = 0.082 g: 2 × 0.000041 / 0.082 = 0.001 = exactly 0.10 %,
// which passes (the rule is "≤"); in double the quotient comes out as
// 0.10000000000000002 %, which the relative margin takes as on the limit.
// m_smallest = 0.0819 g (one step of 0.1 mg less): 0.000082 / 0.0819
// = 0.10012210 % > 0.10 %: fail.
TEST(CheckCalculation, ExactlyAtTheLimitPassesAndJustAboveFails) {
    const auto atLimit = CheckCalculation::Repeatability(Repeated(5.0, 10), 0.0001, 0.082, usp);
    EXPECT_NEAR(*atLimit.Figure("ratio_pct"), 0.10, 1e-15);
    EXPECT_EQ(atLimit.verdict, Verdict::Pass);
    const auto above = CheckCalculation::Repeatability(Repeated(5.0, 10), 0.0001, 0.0819, usp);
    EXPECT_NEAR(*above.Figure("ratio_pct"), 0.1001221001221001, 1e-12);
    EXPECT_EQ(above.verdict, Verdict::Fail);
}

// The comparison itself: a figure a rounding error above its limit is on
// it; one a digit of a balance above it (1e-7 relative) is not.
TEST(CheckCalculation, TheMarginAbsorbsRoundingNotDigits) {
    EXPECT_TRUE(CheckCalculation::WithinLimit(0.1 + 0.2, 0.3));
    EXPECT_FALSE(0.1 + 0.2 <= 0.3);
    EXPECT_TRUE(CheckCalculation::WithinLimit(0.3, 0.3));
    EXPECT_FALSE(CheckCalculation::WithinLimit(0.3 * (1 + 1e-7), 0.3));
    EXPECT_FALSE(CheckCalculation::WithinLimit(0.0001, 0.0));
}

TEST(CheckCalculation, FewerThanTenReadingsAreRefused) {
    const auto nine = CheckCalculation::Repeatability(Repeated(1.0, 9), 0.0001, 0.5, usp);
    EXPECT_FALSE(nine.refusal.isEmpty());
    EXPECT_EQ(nine.verdict, Verdict::Cancelled);
    EXPECT_TRUE(nine.figures.isEmpty());
    const auto noD = CheckCalculation::Repeatability(Repeated(1.0, 10), 0.0, 0.5, usp);
    EXPECT_FALSE(noD.refusal.isEmpty());
}

// Without m_smallest the check gives m_min only and says so.
TEST(CheckCalculation, WithoutSmallestNetOnlyTheMinimumWeight) {
    const auto outcome = CheckCalculation::Repeatability(Repeated(1.0, 10), 0.001, 0, usp);
    EXPECT_DOUBLE_EQ(*outcome.Figure("m_min"), 2000 * 0.41 * 0.001);
    EXPECT_FALSE(outcome.Figure("ratio_pct").has_value());
    EXPECT_EQ(outcome.verdict, Verdict::Pass);
    EXPECT_EQ(outcome.warnings.size(), 1);
}

// A warning limit between pass and fail: ratio 0.0164 % (first case above)
// against a warning at 0.01 % warns, at 0.02 % passes.
TEST(CheckCalculation, AWarningLimitWarnsBelowTheFailure) {
    const auto warned =
        CheckCalculation::Repeatability(Repeated(20.0, 10), 0.0001, 0.5, {0.10, 0.01, "lab"});
    EXPECT_EQ(warned.verdict, Verdict::Warning);
    const auto passed =
        CheckCalculation::Repeatability(Repeated(20.0, 10), 0.0001, 0.5, {0.10, 0.02, "lab"});
    EXPECT_EQ(passed.verdict, Verdict::Pass);
}

struct AccuracyCase {
    const char* name;
    double reading;
    double mass;
    Verdict verdict;
};

// Test weight 200 g, tolerance 0.10 % of it = 0.2 g.
//   200.2000: deviation 0.2 g = 0.10 %, on the limit: pass
//   199.8000: deviation −0.2 g, magnitude on the limit: pass
//   200.2001: 0.2001 g = 0.10005 % : fail
//   200.0150: 0.015 g = 0.0075 % : pass
class AccuracyCases : public testing::TestWithParam<AccuracyCase> {};

TEST_P(AccuracyCases, DeviationAgainstTheTolerance) {
    const AccuracyCase& c = GetParam();
    const auto outcome = CheckCalculation::Accuracy(c.reading, c.mass, usp);
    EXPECT_EQ(outcome.verdict, c.verdict);
    EXPECT_NEAR(*outcome.Figure("deviation"), c.reading - c.mass, 1e-12);
    EXPECT_NEAR(*outcome.Figure("tolerance"), 0.2, 1e-12);
}

INSTANTIATE_TEST_SUITE_P(
    Hand, AccuracyCases,
    testing::Values(AccuracyCase{"OnTheLimit", 200.2000, 200.0, Verdict::Pass},
                    AccuracyCase{"OnTheLimitBelow", 199.8000, 200.0, Verdict::Pass},
                    AccuracyCase{"OneDigitAbove", 200.2001, 200.0, Verdict::Fail},
                    AccuracyCase{"WellWithin", 200.0150, 200.0, Verdict::Pass}),
    [](const auto& info) { return std::string(info.param.name); });

// Tolerance 0.2 g (200 g, 0.10 %): a third is 0.0667 g. A weight certified
// to 0.1 g is too coarse for it; one to 0.05 g is not.
TEST(CheckCalculation, AWeightTooCoarseForTheToleranceWarns) {
    EXPECT_EQ(CheckCalculation::Accuracy(200.0, 200.0, usp, 0.1).warnings.size(), 1);
    EXPECT_TRUE(CheckCalculation::Accuracy(200.0, 200.0, usp, 0.05).warnings.isEmpty());
}

// Centre 100.0000 g; corners 100.0002, 99.9997, 100.0001, 100.0003:
// deviations +0.0002, −0.0003, +0.0001, +0.0003. The largest magnitude is
// 0.0003 (back-left comes first, with its sign). Tolerance 0.0003 g: on the
// limit, pass; tolerance 0.0002 g: fail; warning at 0.0002 g with
// failure 0.0005 g: warning.
TEST(CheckCalculation, EccentricityTakesTheLargestCornerDeviation) {
    const QList<double> readings{100.0000, 100.0002, 99.9997, 100.0001, 100.0003};
    const auto onLimit = CheckCalculation::Eccentricity(readings, {0.0003, std::nullopt, "lab"});
    EXPECT_NEAR(*onLimit.Figure("deviation"), -0.0003, 1e-12);
    EXPECT_NEAR(*onLimit.Figure("deviation_front_left"), 0.0002, 1e-12);
    EXPECT_NEAR(*onLimit.Figure("deviation_front_right"), 0.0003, 1e-12);
    EXPECT_EQ(onLimit.verdict, Verdict::Pass);
    EXPECT_EQ(CheckCalculation::Eccentricity(readings, {0.0002, std::nullopt, "lab"}).verdict,
              Verdict::Fail);
    EXPECT_EQ(CheckCalculation::Eccentricity(readings, {0.0005, 0.0002, "lab"}).verdict,
              Verdict::Warning);
    EXPECT_FALSE(CheckCalculation::Eccentricity(readings.mid(0, 4), {0.0003, std::nullopt, "lab"})
                     .refusal.isEmpty());
}

// Readings around 200 g that differ in the fifth place: the two-pass
// deviation keeps them (a one-pass sum of squares would lose them).
TEST(CheckCalculation, SampleDeviationOfLargeNearlyEqualValues) {
    QList<double> readings;
    for (int i = 0; i < 10; ++i)
        readings << 200000.00001 + (i % 2) * 0.00002;
    // Five at a, five at a + 2e-5: s = sqrt(10 × 1e-10 / 9) = 1.054e-5.
    EXPECT_NEAR(CheckCalculation::SampleDeviation(readings), 1.0540925533894598e-5, 1e-8);
    EXPECT_EQ(CheckCalculation::SampleDeviation({1.0}), 0.0);
}
