#include "SeriesStatistics.h"

#include "Formats.h"
#include "ReadingHandler.h"

#include <algorithm>
#include <cmath>

namespace Pomiar::SeriesStatistics {

namespace {

// The column statistics of a series, at full precision.
struct Aggregates {
    double max = 0;
    double min = 0;
    double sum = 0;
    double mean = 0;
};

// Compensated (Neumaier) summation: a million readings of similar size
// would otherwise lose several digits of the sum in the last places shown.
Aggregates Aggregate(const std::vector<double>& values) {
    Aggregates result;
    result.max = values.front();
    result.min = values.front();
    double sum = 0;
    double compensation = 0;
    for (const double x : values) {
        result.max = std::max(result.max, x);
        result.min = std::min(result.min, x);
        const double t = sum + x;
        compensation += std::fabs(sum) >= std::fabs(x) ? (sum - t) + x : (x - t) + sum;
        sum = t;
    }
    result.sum = sum + compensation;
    result.mean = result.sum / static_cast<double>(values.size());
    return result;
}

// Sums of deviations from the exact mean (for the sample deviation) and from
// the shown mean (for the shown fields), in one pass.
struct Deviations {
    double sampleDeviation = 0;
    double shownSquares = 0;  // sum of (x - shown mean)^2
    double shownAbsolute = 0; // sum of |x - shown mean|
};

Deviations Deviate(const std::vector<double>& values, double mean, double shownMean) {
    double squares = 0;
    double plain = 0;
    Deviations result;
    for (const double x : values) {
        const double d = x - mean;
        squares += d * d;
        plain += d;
        const double shown = x - shownMean;
        result.shownSquares += shown * shown;
        result.shownAbsolute += std::fabs(shown);
    }
    const double n = static_cast<double>(values.size());
    // The corrected two-pass form: the plain sum takes out the rounding
    // error left in the mean.
    const double m2 = std::max(0.0, squares - plain * plain / n);
    result.sampleDeviation = n > 1 ? std::sqrt(m2 / (n - 1)) : 0;
    return result;
}

// A number read back from the text shown, as the derived fields use it; a
// text that does not read (a "#" pattern shows nothing for zero) counts 0.
double Shown(const QString& text, const QLocale& locale) {
    bool ok = false;
    const double value = Formats::ParseShownNumber(text, locale, &ok);
    return ok ? value : 0;
}

double NumericValue(QString text) {
    return ReadingHandler::NumberAtFront(text.replace(u',', u'.'));
}

} // namespace

StatisticsFields ObliczStatystyke(const std::vector<double>& values, const QString& massFormat,
                                  const QLocale& locale) {
    StatisticsFields fields;
    if (values.empty())
        return fields;
    const auto format = [&](double value) {
        return Formats::FormatNumber(value, massFormat, locale);
    };
    const std::size_t count = values.size();
    const double n = static_cast<double>(count);

    const Aggregates aggregates = Aggregate(values);
    fields.lblLiczba = QString::number(count);
    fields.lblMax = format(aggregates.max);
    fields.lblMin = format(aggregates.min);
    fields.lblSrednia = format(aggregates.mean);
    fields.lblSuma = format(aggregates.sum);

    const double shownMean = Shown(fields.lblSrednia, locale);
    const Deviations deviations = Deviate(values, aggregates.mean, shownMean);
    fields.lblOKwadrat = format(deviations.shownSquares);
    fields.lblOSrenie = format(deviations.shownAbsolute / n);

    // One reading has no sample deviation; the fields built on it stay
    // empty rather than showing a division by zero.
    if (count < 2)
        return fields;
    fields.lblOStd = format(deviations.sampleDeviation);
    const double s = Shown(fields.lblOStd, locale);
    fields.lblWar = format(s * s);
    fields.lblEWar = format(s * s * n / (n - 1));
    fields.lblEOdch = format(std::sqrt(std::max(0.0, Shown(fields.lblEWar, locale))));
    return fields;
}

bool PozaLimitem(bool enabled, const QString& value, const QString& limit, const QString& sign) {
    if (!enabled)
        return false;
    const double number = NumericValue(value);
    const double bound = NumericValue(limit);
    if (sign == u">")
        return number > bound;
    if (sign == u"<")
        return number < bound;
    return false;
}

QString NormalizujLiczbe(const QString& text, const QLocale& locale) {
    QString plain = text;
    plain.remove(u'%');
    // Adding 0 turns a negative zero ("-0") into the zero shown as "0".
    const double value = NumericValue(plain) + 0.0;
    QLocale platform = locale;
    platform.setNumberOptions(QLocale::OmitGroupSeparator);
    return platform.toString(value, 'g', 15);
}

} // namespace Pomiar::SeriesStatistics
