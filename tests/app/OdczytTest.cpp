#include "Odczyt.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace Pomiar::Odczyt;

namespace {

struct ValueCase {
    const char* text;
    double value;
};

TEST(WartoscLiczbowa, ReadsTheLeadingNumberWithPointAsDecimalSeparator) {
    const ValueCase cases[] = {
        {"12.345 g", 12.345},
        {"- 1.5", -1.5},
        {"12,5 g", 12},
        {"  -1.20 kg\r\n", -1.2},
        {"+7", 7},
        {".5", 0.5},
        {"5.", 5},
        {"1 2 3", 123},
        {"\t\n42\n", 42},
        {"1.2.3", 1.2},
        {"3.5 %", 3.5},
        {"0012", 12},
        {"12\r\n34", 12},
        {"--1", 0},
        {"+-1", 0},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(WartoscLiczbowa(QString::fromLatin1(c.text)), c.value) << c.text;
}

TEST(WartoscLiczbowa, TextWithoutDigitsIsZero) {
    for (const char* text : {"", "g", "-", ".", " . ", "E5", "-e", "ES", "\r\n"})
        EXPECT_EQ(WartoscLiczbowa(QString::fromLatin1(text)), 0) << text;
}

TEST(WartoscLiczbowa, ReadsAnExponentMarkedByEOrD) {
    const ValueCase cases[] = {
        {"1E3", 1000},      {"1.5e-3", 0.0015}, {"2D2", 200}, {"2d+2", 200},
        {"-4 E 2 g", -400}, {"12e", 12},        {"12e-", 12}, {"12E+ g", 12},
        {"1.5E2.5", 150},   {"3e2e1", 300},     {"7 g 1", 7}, {"1.25E-2kg", 0.0125},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(WartoscLiczbowa(QString::fromLatin1(c.text)), c.value) << c.text;
}

TEST(WartoscLiczbowa, NumbersBeyondADoubleAreInfiniteOrZero) {
    EXPECT_EQ(WartoscLiczbowa("1E400"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(WartoscLiczbowa("-1E400"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(WartoscLiczbowa("1E-400"), 0);
    // Leading fraction zeros make the number tiny even with a positive exponent.
    EXPECT_EQ(WartoscLiczbowa("0." + QString(500, u'0') + "1E100"), 0);
}

TEST(JestLiczba, FollowsTheLocaleAndAllowsBlanksAround) {
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QLocale polish(QLocale::Polish, QLocale::Poland);
    EXPECT_TRUE(JestLiczba(".4", english));
    EXPECT_TRUE(JestLiczba(" 45 ", english));
    EXPECT_TRUE(JestLiczba("-1.5e3", english));
    EXPECT_TRUE(JestLiczba("1,5", polish));
    EXPECT_TRUE(JestLiczba(" 12 ", polish));
    EXPECT_FALSE(JestLiczba("1.5", polish));
    for (const QLocale& locale : {english, polish}) {
        EXPECT_FALSE(JestLiczba("", locale));
        EXPECT_FALSE(JestLiczba("   ", locale));
        EXPECT_FALSE(JestLiczba("g", locale));
        EXPECT_FALSE(JestLiczba("kg", locale));
        EXPECT_FALSE(JestLiczba("%", locale));
        EXPECT_FALSE(JestLiczba("4g", locale));
    }
}

} // namespace
