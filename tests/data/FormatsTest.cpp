#include <gtest/gtest.h>

#include "Formats.h"
#include "SeriesModel.h"

#include <ostream>

// Failures show the text rather than its bytes.
static void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

#include <QDate>
#include <QTime>

using Pomiar::Formats::FormatDateTime;
using Pomiar::Formats::FormatNumber;
using Pomiar::Formats::ParseShownNumber;

namespace {

const QLocale Polish(QLocale::Polish, QLocale::Poland);
const QLocale English(QLocale::English, QLocale::UnitedStates);
const QString Nbsp = QString(QChar(0x00A0));

QString En(double value, const char* pattern) {
    return FormatNumber(value, QString::fromLatin1(pattern), English);
}

TEST(FormatNumberTest, RoundsHalfAwayFromZeroOnTheDecimalValue) {
    EXPECT_EQ(En(0.00005, "#0.0000"), "0.0001");
    EXPECT_EQ(En(2.00005, "#0.0000"), "2.0001");
    EXPECT_EQ(En(2.675, "#0.00"), "2.68");
    EXPECT_EQ(En(1.005, "#0.00"), "1.01");
    EXPECT_EQ(En(2.00004, "#0.0000"), "2.0000");
    EXPECT_EQ(En(2.5, "0"), "3");
    EXPECT_EQ(En(-2.5, "0"), "-3");
    EXPECT_EQ(En(-2.675, "#0.00"), "-2.68");
    EXPECT_EQ(En(-1.23456, "#0.0000"), "-1.2346");
}

TEST(FormatNumberTest, CarriesIntoTheIntegerPart) {
    EXPECT_EQ(En(9.99995, "#0.0000"), "10.0000");
    EXPECT_EQ(En(0.99995, "#.0000"), "1.0000");
    EXPECT_EQ(En(999.5, "0"), "1000");
    EXPECT_EQ(En(-99.999, "#0.00"), "-100.00");
}

TEST(FormatNumberTest, ZeroAfterRoundingHasNoMinusSign) {
    EXPECT_EQ(En(-0.00004, "#0.0000"), "0.0000");
    EXPECT_EQ(En(-0.0, "#0.0000"), "0.0000");
    EXPECT_EQ(En(-0.4, "0"), "0");
    EXPECT_EQ(En(-0.00005, "#0.0000"), "-0.0001");
}

TEST(FormatNumberTest, IntegerPlaceholders) {
    EXPECT_EQ(En(0.5, "0.00000"), "0.50000");
    EXPECT_EQ(En(0.5, "#0.00000"), "0.50000");
    EXPECT_EQ(En(0.5, "#.00"), ".50");
    EXPECT_EQ(En(-0.5, "#.00"), "-.50");
    EXPECT_EQ(En(0, "#.00"), ".00");
    EXPECT_EQ(En(12.5, "#.00"), "12.50");
    EXPECT_EQ(En(5, "00.00"), "05.00");
    EXPECT_EQ(En(12345, "0"), "12345");
    EXPECT_EQ(En(7, "#"), "7");
    EXPECT_EQ(En(0, "#"), "");
}

TEST(FormatNumberTest, OptionalDecimalsDropTrailingZeros) {
    EXPECT_EQ(En(2.5, "0.0#"), "2.5");
    EXPECT_EQ(En(2.567, "0.0#"), "2.57");
    EXPECT_EQ(En(2.501, "0.0#"), "2.5");
    EXPECT_EQ(En(2, "0.##"), "2");
    EXPECT_EQ(En(2.999, "0.##"), "3");
}

TEST(FormatNumberTest, LargeAndSmallMagnitudes) {
    EXPECT_EQ(En(1e6, "#0.0000"), "1000000.0000");
    EXPECT_EQ(En(123456789012.345, "#0.00"), "123456789012.35");
    EXPECT_EQ(En(1e20, "#0.0000"), "100000000000000000000.0000");
    EXPECT_EQ(En(1e-20, "#0.0000"), "0.0000");
    EXPECT_EQ(En(0.000123456, "0.000000"), "0.000123");
}

TEST(FormatNumberTest, DecimalSeparatorFollowsTheLocale) {
    EXPECT_EQ(FormatNumber(2, "#0.0000", Polish), "2,0000");
    EXPECT_EQ(FormatNumber(-3.99993, "#0.0000", Polish), "-3,9999");
    EXPECT_EQ(FormatNumber(0.5, "#.00", Polish), ",50");
    EXPECT_EQ(FormatNumber(2, "#0.0000", English), "2.0000");
}

TEST(FormatNumberTest, GroupsOnlyWhenThePatternAsks) {
    EXPECT_EQ(En(1234567.891, "#,##0.00"), "1,234,567.89");
    EXPECT_EQ(En(-1234.5, "#,##0.00"), "-1,234.50");
    EXPECT_EQ(En(123, "#,##0.00"), "123.00");
    EXPECT_EQ(En(999999.999, "#,##0.00"), "1,000,000.00");
    EXPECT_EQ(FormatNumber(1234567.891, "#,##0.00", Polish), "1" + Nbsp + "234" + Nbsp + "567,89");
    EXPECT_EQ(En(1234567.891, "#0.00"), "1234567.89");
    EXPECT_EQ(FormatNumber(1234567.891, "#0.00", Polish), "1234567,89");
}

TEST(FormatNumberTest, UnusablePatternFallsBack) {
    const QString expected = En(2.675, "#0.0000");
    EXPECT_EQ(expected, "2.6750");
    for (const char* pattern : {"", "abc", "0.00 g", "0.0.0", "%", ".", "#0.00,0", "Standard"})
        EXPECT_EQ(En(2.675, pattern), expected) << pattern;
    EXPECT_EQ(En(2.675, " #0.00 "), "2.68");
}

TEST(ParseShownNumberTest, ReadsSeparatorsOfTheLocale) {
    const struct {
        QString text;
        QLocale locale;
        double expected;
    } cases[] = {
        {"2,0000", Polish, 2.0},
        {"-1,4142", Polish, -1.4142},
        {" 2.5 ", English, 2.5},
        {".50", English, 0.5},
        {",50", Polish, 0.5},
        {"1,234,567.89", English, 1234567.89},
        {"1" + Nbsp + "234,5", Polish, 1234.5},
        {"1" + Nbsp + "234" + Nbsp + "567,89", Polish, 1234567.89},
        // Group separators count wherever they stand, as the platform takes them.
        {"1,5", English, 15.0},
    };
    for (const auto& c : cases) {
        bool ok = false;
        EXPECT_DOUBLE_EQ(ParseShownNumber(c.text, c.locale, &ok), c.expected)
            << c.text.toStdString();
        EXPECT_TRUE(ok) << c.text.toStdString();
    }
}

TEST(ParseShownNumberTest, RejectsWhatIsNotANumber) {
    bool ok = true;
    EXPECT_EQ(ParseShownNumber("", Polish, &ok), 0.0);
    EXPECT_FALSE(ok);
    ok = true;
    ParseShownNumber("abc", English, &ok);
    EXPECT_FALSE(ok);
    ok = true;
    ParseShownNumber("1.5", Polish, &ok);
    EXPECT_FALSE(ok);
    ok = true;
    ParseShownNumber("12 g", English, &ok);
    EXPECT_FALSE(ok);
}

TEST(ParseShownNumberTest, ReadsBackWhatFormatNumberShows) {
    const double values[] = {0.5, -0.5, 2.675, 1234567.891, -98765.4321, 1e6};
    for (const QLocale& locale : {Polish, English}) {
        for (const char* pattern : {"#0.0000", "0.00000", "#.00", "#,##0.00", "0"}) {
            for (const double value : values) {
                const QString shown = FormatNumber(value, pattern, locale);
                bool ok = false;
                const double back = ParseShownNumber(shown, locale, &ok);
                EXPECT_TRUE(ok) << shown.toStdString();
                EXPECT_EQ(FormatNumber(back, pattern, locale), shown);
            }
        }
    }
}

class FormatDateTimeTest : public ::testing::Test {
protected:
    // Every field differs: year 2008, month 11, day 6, hour 7, minute 8, second 9.
    const QDateTime morning{QDate(2008, 11, 6), QTime(7, 8, 9)};
    const QDateTime evening{QDate(2008, 11, 6), QTime(23, 59, 1)};
};

TEST_F(FormatDateTimeTest, DatePatterns) {
    EXPECT_EQ(FormatDateTime(morning, "yyyy-MM-dd"), "2008-11-06");
    EXPECT_EQ(FormatDateTime(morning, "yyyy-mm-dd"), "2008-11-06");
    EXPECT_EQ(FormatDateTime(morning, "dd-mm-yyyy"), "06-11-2008");
    EXPECT_EQ(FormatDateTime(morning, "d.m.yy"), "6.11.08");
    EXPECT_EQ(FormatDateTime(QDateTime(QDate(2009, 3, 4), QTime(1, 2, 3)), "d.m.yy"), "4.3.09");
}

TEST_F(FormatDateTimeTest, TimePatternsAreTwentyFourHour) {
    for (const char* pattern : {"hh:mm:ss", "HH:nn:ss", "HH:mm:ss"}) {
        EXPECT_EQ(FormatDateTime(morning, pattern), "07:08:09") << pattern;
        EXPECT_EQ(FormatDateTime(evening, pattern), "23:59:01") << pattern;
    }
    EXPECT_EQ(FormatDateTime(morning, "h:n:s"), "7:8:9");
}

TEST_F(FormatDateTimeTest, MmIsMinutesNextToHoursOrSeconds) {
    EXPECT_EQ(FormatDateTime(morning, "mm:ss"), "08:09");
    EXPECT_EQ(FormatDateTime(morning, "hh mm"), "07 08");
    EXPECT_EQ(FormatDateTime(morning, "mm"), "11");
    EXPECT_EQ(FormatDateTime(morning, "yyyy-mm-dd hh:mm:ss"), "2008-11-06 07:08:09");
    EXPECT_EQ(FormatDateTime(morning, "dd-mm-yyyy HH:nn"), "06-11-2008 07:08");
}

TEST_F(FormatDateTimeTest, NamesFollowTheLocale) {
    EXPECT_EQ(FormatDateTime(morning, "d MMMM yyyy", Polish), "6 listopada 2008");
    EXPECT_EQ(FormatDateTime(morning, "d MMMM yyyy", English), "6 November 2008");
    EXPECT_EQ(FormatDateTime(morning, "mmm", English), "Nov");
    EXPECT_EQ(FormatDateTime(morning, "dddd ddd", English), "Thursday Thu");
    EXPECT_EQ(FormatDateTime(morning, "ddddd", English), "2008-11-06");
    EXPECT_EQ(FormatDateTime(morning, "dddddd", Polish), "6 listopada 2008");
}

TEST_F(FormatDateTimeTest, LiteralsAndInvalidInput) {
    EXPECT_EQ(FormatDateTime(morning, "\"at\" hh"), "at 07");
    EXPECT_EQ(FormatDateTime(morning, "\\d d"), "d 6");
    EXPECT_EQ(FormatDateTime(morning, "[hh]"), "[07]");
    EXPECT_EQ(FormatDateTime(QDateTime(), "yyyy-MM-dd"), "");
}

} // namespace

// The grid sizes its number columns from the row the model names as the
// widest, so that row must hold the widest text as shown.
TEST(SeriesModelWidestTest, FollowsTheShownTextsOfTheNumberColumns) {
    Pomiar::SeriesModel model;
    model.SetLocale(QLocale(QLocale::Polish, QLocale::Poland));
    std::vector<int> changed;
    QObject::connect(&model, &Pomiar::SeriesModel::WidestRowChanged,
                     [&changed](int column) { changed.push_back(column); });
    const auto reading = [](int lp, double masa) {
        Pomiar::SeriesRow row;
        row.lp = lp;
        row.timer = lp * 10;
        row.masa = masa;
        return row;
    };
    const auto widestText = [&model](int column) {
        return model.data(model.index(model.WidestRow(column), column)).toString();
    };
    EXPECT_EQ(model.WidestRow(Pomiar::SeriesModel::Masa), -1);
    model.Append(reading(9, 10.5));
    model.Append(reading(10, 1000000.0001));
    changed.clear();
    model.Append(reading(8, -9.25)); // a sign is narrower than a digit
    EXPECT_EQ(widestText(Pomiar::SeriesModel::Masa), "1000000,0001");
    EXPECT_EQ(widestText(Pomiar::SeriesModel::Lp), "10");
    EXPECT_EQ(widestText(Pomiar::SeriesModel::Timer), "100");
    EXPECT_TRUE(changed.empty()) << "nothing got wider";
    EXPECT_EQ(model.WidestRow(Pomiar::SeriesModel::Opis), -1);

    // More places make another reading the widest.
    model.Clear();
    model.Append(reading(1, 99.5));
    model.Append(reading(2, 100.123456));
    EXPECT_EQ(widestText(Pomiar::SeriesModel::Masa), "100,1235");
    model.SetMassFormat("#0.0#####");
    EXPECT_EQ(widestText(Pomiar::SeriesModel::Masa), "100,123456");
}
