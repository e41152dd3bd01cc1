#include <gtest/gtest.h>

#include "Formats.h"
#include "RunningStatistics.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <ostream>
#include <random>

// Failures show the text rather than its bytes.
static void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

using Pomiar::RunningStatistics;
using Pomiar::StatisticsFields;

namespace {

const QLocale Polish(QLocale::Polish, QLocale::Poland);
const QLocale English(QLocale::English, QLocale::UnitedStates);

double Shown(const QString& text, const QLocale& locale) {
    bool ok = false;
    const double value = Pomiar::Formats::ParseShownNumber(text, locale, &ok);
    return ok ? value : 0;
}

// The statistics as a plain pass over every value computed them before the
// running sums: the digits shown must not change.
StatisticsFields Reference(const std::vector<double>& values, const QString& pattern,
                           const QLocale& locale) {
    StatisticsFields f;
    if (values.empty())
        return f;
    const auto format = [&](double v) { return Pomiar::Formats::FormatNumber(v, pattern, locale); };
    double max = values.front(), min = values.front(), sum = 0, compensation = 0;
    for (const double x : values) {
        max = std::max(max, x);
        min = std::min(min, x);
        const double t = sum + x;
        compensation += std::fabs(sum) >= std::fabs(x) ? (sum - t) + x : (x - t) + sum;
        sum = t;
    }
    sum += compensation;
    const double n = double(values.size());
    const double mean = sum / n;
    f.lblLiczba = QString::number(values.size());
    f.lblMax = format(max);
    f.lblMin = format(min);
    f.lblSrednia = format(mean);
    f.lblSuma = format(sum);
    const double shownMean = Shown(f.lblSrednia, locale);
    double squares = 0, plain = 0, shownSquares = 0, shownAbsolute = 0;
    for (const double x : values) {
        squares += (x - mean) * (x - mean);
        plain += x - mean;
        shownSquares += (x - shownMean) * (x - shownMean);
        shownAbsolute += std::fabs(x - shownMean);
    }
    f.lblOKwadrat = format(shownSquares);
    f.lblOSrenie = format(shownAbsolute / n);
    if (values.size() < 2)
        return f;
    f.lblOStd = format(std::sqrt(std::max(0.0, squares - plain * plain / n) / (n - 1)));
    const double s = Shown(f.lblOStd, locale);
    f.lblWar = format(s * s);
    f.lblEWar = format(s * s * n / (n - 1));
    f.lblEOdch = format(std::sqrt(std::max(0.0, Shown(f.lblEWar, locale))));
    return f;
}

void ExpectSameFields(const StatisticsFields& got, const StatisticsFields& want, size_t count) {
    EXPECT_EQ(got.lblLiczba, want.lblLiczba) << count;
    EXPECT_EQ(got.lblMax, want.lblMax) << count;
    EXPECT_EQ(got.lblMin, want.lblMin) << count;
    EXPECT_EQ(got.lblSrednia, want.lblSrednia) << count;
    EXPECT_EQ(got.lblOStd, want.lblOStd) << count;
    EXPECT_EQ(got.lblOSrenie, want.lblOSrenie) << count;
    EXPECT_EQ(got.lblOKwadrat, want.lblOKwadrat) << count;
    EXPECT_EQ(got.lblWar, want.lblWar) << count;
    EXPECT_EQ(got.lblEWar, want.lblEWar) << count;
    EXPECT_EQ(got.lblEOdch, want.lblEOdch) << count;
    EXPECT_EQ(got.lblSuma, want.lblSuma) << count;
}

struct Series {
    const char* name;
    std::function<double(std::mt19937_64&)> next;
};

// Adds `length` readings one by one and compares the fields after each
// (every `step`-th once the series is long); returns how many comparisons
// were made.
int CompareGrowing(const Series& series, int length, int step, const QString& pattern,
                   const QLocale& locale, RunningStatistics& running, unsigned seed) {
    std::mt19937_64 random(seed);
    int compared = 0;
    for (int i = 1; i <= length; ++i) {
        running.Add(series.next(random));
        if (i > 200 && i % step != 0)
            continue;
        SCOPED_TRACE(series.name);
        ExpectSameFields(running.Fields(pattern, locale),
                         Reference(running.Values(), pattern, locale), running.Count());
        ++compared;
        if (::testing::Test::HasFailure())
            return compared;
    }
    return compared;
}

const std::vector<Series>& RandomSeries() {
    static const std::vector<Series> all = {
        {"noise about 12 g",
         [](std::mt19937_64& r) { return 12.0 + std::normal_distribution<double>(0, 0.01)(r); }},
        {"a million plus or minus 1e-4",
         [](std::mt19937_64& r) { return 1e6 + (r() % 2 == 0 ? 1e-4 : -1e-4); }},
        {"a million with noise of 1e-4",
         [](std::mt19937_64& r) {
             return 1e6 + std::uniform_real_distribution<double>(-1e-4, 1e-4)(r);
         }},
        {"negative, both signs",
         [](std::mt19937_64& r) { return std::uniform_real_distribution<double>(-5, 1)(r); }},
        {"four decimals as a balance sends them",
         [](std::mt19937_64& r) { return double(100000 + int(r() % 50)) / 10000; }},
        {"whole numbers", [](std::mt19937_64& r) { return double(r() % 7); }},
        {"moisture percentages",
         [](std::mt19937_64& r) { return double(1000 + int(r() % 300)) / 100; }},
    };
    return all;
}

TEST(RunningStatisticsTest, OneAndTwoReadingsAsTheFullPass) {
    for (const std::vector<double>& values :
         {std::vector<double>{2.5}, std::vector<double>{1, 3}, std::vector<double>{-1e6, 1e-4},
          std::vector<double>{1e6 + 1e-4, 1e6 - 1e-4}}) {
        RunningStatistics running;
        for (const double x : values)
            running.Add(x);
        ExpectSameFields(running.Fields("#0.0000", English), Reference(values, "#0.0000", English),
                         values.size());
    }
}

TEST(RunningStatisticsTest, RandomSeriesShowTheDigitsOfTheFullPass) {
    unsigned seed = 17;
    for (const Series& series : RandomSeries()) {
        for (const auto& [pattern, locale] :
             {std::pair{QString("#0.0000"), English}, std::pair{QString("0.00000"), Polish},
              std::pair{QString("#,##0.00"), Polish}}) {
            RunningStatistics running;
            const int compared = CompareGrowing(series, 3000, 37, pattern, locale, running, ++seed);
            ASSERT_FALSE(HasFailure()) << series.name << " " << pattern.toStdString();
            // The running sums do the work: a full pass is the exception.
            EXPECT_LT(running.FullPasses(), std::size_t(64 + compared / 10))
                << series.name << " " << pattern.toStdString();
        }
    }
}

TEST(RunningStatisticsTest, LongSeriesFarFromZeroKeepsItsDigits) {
    const Series offsets{"a million plus or minus 1e-4",
                         [](std::mt19937_64& r) { return 1e6 + (r() % 3 == 0 ? 1e-4 : -1e-4); }};
    RunningStatistics running;
    CompareGrowing(offsets, 60000, 4999, "#0.0000", English, running, 5);
}

TEST(RunningStatisticsTest, AFirstValueFarFromTheRestStillShowsTheFullPassDigits) {
    // A tare before the samples: the running sums lose their edge, and the
    // fields must then come from a full pass rather than show other digits.
    RunningStatistics running;
    running.Add(0);
    std::mt19937_64 random(3);
    for (int i = 0; i < 2000; ++i)
        running.Add(1e6 + std::uniform_real_distribution<double>(-1e-4, 1e-4)(random));
    ExpectSameFields(running.Fields("#0.0000", English),
                     Reference(running.Values(), "#0.0000", English), running.Count());
}

TEST(RunningStatisticsTest, UndefinedValuesFallBackToTheFullPass) {
    RunningStatistics running;
    for (int i = 0; i < 100; ++i)
        running.Add(i == 50 ? std::numeric_limits<double>::infinity() : double(i));
    ExpectSameFields(running.Fields("#0.0000", English),
                     Reference(running.Values(), "#0.0000", English), running.Count());
}

TEST(RunningStatisticsTest, ClearStartsANewSeries) {
    RunningStatistics running;
    for (int i = 0; i < 500; ++i)
        running.Add(100 + i);
    running.Clear();
    std::vector<double> fresh;
    for (int i = 0; i < 300; ++i)
        fresh.push_back(4 + i % 5);
    for (const double x : fresh)
        running.Add(x);
    EXPECT_EQ(running.Values(), fresh);
    ExpectSameFields(running.Fields("#0.0000", English), Reference(fresh, "#0.0000", English),
                     fresh.size());
}

} // namespace
