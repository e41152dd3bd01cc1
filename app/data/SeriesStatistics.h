#pragma once

#include <QLocale>
#include <QString>
#include <cmath>
#include <vector>

namespace Pomiar {

// The eleven statistics of a series as the main window shows them.
struct StatisticsFields {
    QString lblLiczba; // number of readings, plain integer
    QString lblMax;
    QString lblMin;
    QString lblSrednia;  // mean
    QString lblOStd;     // sample standard deviation (divisor n - 1)
    QString lblOSrenie;  // mean absolute deviation from the shown mean
    QString lblOKwadrat; // sum of squared deviations from the shown mean
    QString lblWar;      // shown deviation squared
    QString lblEWar;     // shown deviation squared times n / (n - 1)
    QString lblEOdch;    // square root of the shown variance estimator
    QString lblSuma;
};

namespace SeriesStatistics {

// Compensated (Neumaier) summation in the order values are added: a million
// readings of similar size would otherwise lose several digits of the sum in
// the last places shown. Adding one value at a time gives the very same sum
// as a pass over all of them.
class CompensatedSum {
public:
    void Add(double x) {
        const double t = sum + x;
        compensation += std::fabs(sum) >= std::fabs(x) ? (sum - t) + x : (x - t) + sum;
        sum = t;
    }
    double Value() const { return sum + compensation; }

private:
    double sum = 0;
    double compensation = 0;
};

// Computes the fields from the series' values (two or more), every field
// but the count formatted with the mass display format. Derived fields use
// the rounded values shown (the shown mean and the shown deviation), read
// back as the platform reads a number it has shown. With one value the
// fields that need the sample deviation (lblOStd, lblWar, lblEWar, lblEOdch)
// stay empty; with none every field is empty.
StatisticsFields ObliczStatystyke(const std::vector<double>& values, const QString& massFormat,
                                  const QLocale& locale);

// The steps of ObliczStatystyke, for a caller that has the figures of the
// series without a pass over its values (see RunningStatistics).
//
// The count, maximum, minimum, mean (sum / count) and sum fields.
StatisticsFields ColumnFields(std::size_t count, double max, double min, double sum,
                              const QString& massFormat, const QLocale& locale);
// A number read back from a field, as the derived fields read what is shown;
// a text that does not read (a "#" pattern shows nothing for zero) counts 0.
double ShownNumber(const QString& field, const QLocale& locale);
// The fields about the shown mean and those built on the sample deviation
// (left empty with fewer than two readings).
void DeviationFields(StatisticsFields& fields, std::size_t count, double sampleDeviation,
                     double shownSquares, double shownAbsolute, const QString& massFormat,
                     const QLocale& locale);

// The passes over the values behind those fields, one figure each, for a
// caller that needs only one of them from a pass: the sample deviation
// about the mean (sum / count), and the sums of (x - shown mean)^2 and of
// |x - shown mean|.
double SampleDeviation(const std::vector<double>& values, double mean);
double ShownSquares(const std::vector<double>& values, double shownMean);
double ShownAbsolute(const std::vector<double>& values, double shownMean);

// The limit test: with enabled off, false; else value > limit for ">" and
// value < limit for "<". Both texts have "," read as "." and are taken by
// their leading number. Any other sign is never outside.
bool PozaLimitem(bool enabled, const QString& value, const QString& limit, const QString& sign);
// A limit text as the limit test reads it.
double LimitNumber(const QString& limit);

// "," to ".", "%" removed, the leading number taken ("." decimal point, 0
// when none) and shown back as the platform shows numbers.
QString NormalizujLiczbe(const QString& text, const QLocale& locale);

} // namespace SeriesStatistics
} // namespace Pomiar
