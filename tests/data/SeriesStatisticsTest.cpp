#include <gtest/gtest.h>

#include "SeriesStatistics.h"

#include <ostream>

// Failures show the text rather than its bytes.
static void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

using Pomiar::StatisticsFields;
using Pomiar::SeriesStatistics::NormalizujLiczbe;
using Pomiar::SeriesStatistics::ObliczStatystyke;
using Pomiar::SeriesStatistics::PozaLimitem;

namespace {

const QLocale Polish(QLocale::Polish, QLocale::Poland);
const QLocale English(QLocale::English, QLocale::UnitedStates);
const QString Nbsp = QString(QChar(0x00A0));

TEST(ObliczStatystykeTest, TwoReadingsInEnglish) {
    const StatisticsFields f = ObliczStatystyke({1, 3}, "#0.0000", English);
    EXPECT_EQ(f.lblLiczba, "2");
    EXPECT_EQ(f.lblMax, "3.0000");
    EXPECT_EQ(f.lblMin, "1.0000");
    EXPECT_EQ(f.lblSrednia, "2.0000");
    EXPECT_EQ(f.lblOStd, "1.4142");
    EXPECT_EQ(f.lblWar, "2.0000");
    // From the shown 1.4142, not from the exact square root of 2.
    EXPECT_EQ(f.lblEWar, "3.9999");
    EXPECT_EQ(f.lblEOdch, "2.0000");
    EXPECT_EQ(f.lblOKwadrat, "2.0000");
    EXPECT_EQ(f.lblOSrenie, "1.0000");
    EXPECT_EQ(f.lblSuma, "4.0000");
}

TEST(ObliczStatystykeTest, TwoReadingsInPolishReadBackTheShownComma) {
    const StatisticsFields f = ObliczStatystyke({1, 3}, "#0.0000", Polish);
    EXPECT_EQ(f.lblLiczba, "2");
    EXPECT_EQ(f.lblMax, "3,0000");
    EXPECT_EQ(f.lblMin, "1,0000");
    EXPECT_EQ(f.lblSrednia, "2,0000");
    EXPECT_EQ(f.lblOStd, "1,4142");
    EXPECT_EQ(f.lblWar, "2,0000");
    EXPECT_EQ(f.lblEWar, "3,9999");
    EXPECT_EQ(f.lblEOdch, "2,0000");
    EXPECT_EQ(f.lblOKwadrat, "2,0000");
    EXPECT_EQ(f.lblOSrenie, "1,0000");
    EXPECT_EQ(f.lblSuma, "4,0000");
}

TEST(ObliczStatystykeTest, DerivedFieldsUseTheShownMean) {
    // Mean 0.4 shows as "0"; against 0 the squares sum to 16 and the mean
    // absolute deviation is 0.4, against 0.4 they would be 14.4 and 0.72.
    std::vector<double> values(9, 0.0);
    values.push_back(4);
    const StatisticsFields f = ObliczStatystyke(values, "0", English);
    EXPECT_EQ(f.lblLiczba, "10");
    EXPECT_EQ(f.lblSrednia, "0");
    EXPECT_EQ(f.lblOKwadrat, "16");
    EXPECT_EQ(f.lblOSrenie, "0");
    EXPECT_EQ(f.lblOStd, "1");
    EXPECT_EQ(f.lblWar, "1");
    EXPECT_EQ(f.lblEWar, "1");
    EXPECT_EQ(f.lblEOdch, "1");
    EXPECT_EQ(f.lblMax, "4");
    EXPECT_EQ(f.lblMin, "0");
    EXPECT_EQ(f.lblSuma, "4");
}

TEST(ObliczStatystykeTest, GroupedFormatReadsBackInPolish) {
    const StatisticsFields f = ObliczStatystyke({1000, 3000}, "#,##0.00", Polish);
    EXPECT_EQ(f.lblSrednia, "2" + Nbsp + "000,00");
    EXPECT_EQ(f.lblOStd, "1" + Nbsp + "414,21");
    // 1414.21 squared, and times 2: only right when the grouped text reads back.
    EXPECT_EQ(f.lblWar, "1" + Nbsp + "999" + Nbsp + "989,92");
    EXPECT_EQ(f.lblEWar, "3" + Nbsp + "999" + Nbsp + "979,85");
    EXPECT_EQ(f.lblEOdch, "1" + Nbsp + "999,99");
    EXPECT_EQ(f.lblOKwadrat, "2" + Nbsp + "000" + Nbsp + "000,00");
    EXPECT_EQ(f.lblSuma, "4" + Nbsp + "000,00");
}

TEST(ObliczStatystykeTest, NegativeReadings) {
    const StatisticsFields f = ObliczStatystyke({-2.5, -0.5, 0.5}, "#0.00", English);
    EXPECT_EQ(f.lblMin, "-2.50");
    EXPECT_EQ(f.lblSrednia, "-0.83");
    EXPECT_EQ(f.lblOStd, "1.53");
    // |x + 0.83|: 1.67 + 0.33 + 1.33 = 3.33, over 3.
    EXPECT_EQ(f.lblOSrenie, "1.11");
}

TEST(ObliczStatystykeTest, DeviationStaysAccurateFarFromZero) {
    const StatisticsFields f = ObliczStatystyke({1e9 + 1, 1e9 + 3}, "#0.0000", English);
    EXPECT_EQ(f.lblSrednia, "1000000002.0000");
    EXPECT_EQ(f.lblOStd, "1.4142");
    EXPECT_EQ(f.lblEWar, "3.9999");
    EXPECT_EQ(f.lblOKwadrat, "2.0000");
}

TEST(ObliczStatystykeTest, MillionReadingsKeepTheLastShownDigits) {
    std::vector<double> values;
    values.reserve(1000000);
    for (int i = 0; i < 1000000; ++i)
        values.push_back(i % 2 == 0 ? 100000.1 : 100000.3);
    const StatisticsFields f = ObliczStatystyke(values, "#0.0000", English);
    EXPECT_EQ(f.lblLiczba, "1000000");
    EXPECT_EQ(f.lblSuma, "100000200000.0000");
    EXPECT_EQ(f.lblSrednia, "100000.2000");
    EXPECT_EQ(f.lblOStd, "0.1000");
    EXPECT_EQ(f.lblOSrenie, "0.1000");
    EXPECT_EQ(f.lblOKwadrat, "10000.0000");
    EXPECT_EQ(f.lblMax, "100000.3000");
    EXPECT_EQ(f.lblMin, "100000.1000");
}

TEST(ObliczStatystykeTest, OneReadingLeavesDeviationFieldsEmpty) {
    const StatisticsFields f = ObliczStatystyke({2.5}, "#0.00", English);
    EXPECT_EQ(f.lblLiczba, "1");
    EXPECT_EQ(f.lblMax, "2.50");
    EXPECT_EQ(f.lblMin, "2.50");
    EXPECT_EQ(f.lblSrednia, "2.50");
    EXPECT_EQ(f.lblSuma, "2.50");
    EXPECT_EQ(f.lblOKwadrat, "0.00");
    EXPECT_EQ(f.lblOSrenie, "0.00");
    EXPECT_TRUE(f.lblOStd.isEmpty());
    EXPECT_TRUE(f.lblWar.isEmpty());
    EXPECT_TRUE(f.lblEWar.isEmpty());
    EXPECT_TRUE(f.lblEOdch.isEmpty());
}

TEST(ObliczStatystykeTest, NoReadingsLeaveEveryFieldEmpty) {
    const StatisticsFields f = ObliczStatystyke({}, "#0.0000", English);
    for (const QString& field :
         {f.lblLiczba, f.lblMax, f.lblMin, f.lblSrednia, f.lblOStd, f.lblOSrenie, f.lblOKwadrat,
          f.lblWar, f.lblEWar, f.lblEOdch, f.lblSuma})
        EXPECT_TRUE(field.isEmpty());
}

TEST(PozaLimitemTest, MinimumKeepsEqualValues) {
    EXPECT_TRUE(PozaLimitem(true, "9.9999", "10", "<"));
    EXPECT_FALSE(PozaLimitem(true, "10", "10", "<"));
    EXPECT_FALSE(PozaLimitem(true, "10.0001", "10", "<"));
    EXPECT_TRUE(PozaLimitem(true, "-5", "-4,5", "<"));
}

TEST(PozaLimitemTest, MaximumWithCommaLimit) {
    EXPECT_TRUE(PozaLimitem(true, "1.6", "1,5", ">"));
    EXPECT_FALSE(PozaLimitem(true, "1.5", "1,5", ">"));
    EXPECT_FALSE(PozaLimitem(true, "1,4", "1,5", ">"));
    EXPECT_TRUE(PozaLimitem(true, "1,51", "1.5", ">"));
}

TEST(PozaLimitemTest, TextsAreTakenByTheirLeadingNumber) {
    EXPECT_TRUE(PozaLimitem(true, "  12.345 g\r\n", "12.3", ">"));
    EXPECT_FALSE(PozaLimitem(true, "12.345 g\r\n", "12.3 g", "<"));
    // No leading number reads as 0.
    EXPECT_TRUE(PozaLimitem(true, "-1", "abc", "<"));
    EXPECT_FALSE(PozaLimitem(true, "0", "abc", "<"));
    EXPECT_TRUE(PozaLimitem(true, "0.1", "", ">"));
}

TEST(PozaLimitemTest, FlagOffOrUnknownSignIsNeverOutside) {
    EXPECT_FALSE(PozaLimitem(false, "9.9999", "10", "<"));
    EXPECT_FALSE(PozaLimitem(false, "1000", "1", ">"));
    EXPECT_FALSE(PozaLimitem(true, "1000", "1", "="));
    EXPECT_FALSE(PozaLimitem(true, "1000", "1", ""));
}

TEST(NormalizujLiczbeTest, ShowsTheNumberInTheLocale) {
    EXPECT_EQ(NormalizujLiczbe("1,5", Polish), "1,5");
    EXPECT_EQ(NormalizujLiczbe("1,5", English), "1.5");
    EXPECT_EQ(NormalizujLiczbe("1.5", Polish), "1,5");
    EXPECT_EQ(NormalizujLiczbe(" 2.50 g", English), "2.5");
    EXPECT_EQ(NormalizujLiczbe("-0,25", Polish), "-0,25");
    EXPECT_EQ(NormalizujLiczbe("1234567.5", Polish), "1234567,5");
    EXPECT_EQ(NormalizujLiczbe("0.1", English), "0.1");
}

TEST(NormalizujLiczbeTest, PercentAndNonNumbers) {
    EXPECT_EQ(NormalizujLiczbe("12%", English), "12");
    EXPECT_EQ(NormalizujLiczbe("12,5%", Polish), "12,5");
    EXPECT_EQ(NormalizujLiczbe("abc", English), "0");
    EXPECT_EQ(NormalizujLiczbe("", Polish), "0");
    EXPECT_EQ(NormalizujLiczbe("-0", English), "0");
}

} // namespace
