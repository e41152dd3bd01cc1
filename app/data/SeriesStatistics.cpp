#include "SeriesStatistics.h"

#include "Formats.h"
#include "NumberText.h"

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

Aggregates Aggregate(const std::vector<double>& values) {
    Aggregates result;
    result.max = values.front();
    result.min = values.front();
    CompensatedSum sum;
    for (const double x : values) {
        result.max = std::max(result.max, x);
        result.min = std::min(result.min, x);
        sum.Add(x);
    }
    result.sum = sum.Value();
    result.mean = result.sum / static_cast<double>(values.size());
    return result;
}

} // namespace

double SampleDeviation(const std::vector<double>& values, double mean) {
    double squares = 0;
    double plain = 0;
    for (const double x : values) {
        const double d = x - mean;
        squares += d * d;
        plain += d;
    }
    const double n = static_cast<double>(values.size());
    // The corrected two-pass form: the plain sum takes out the rounding
    // error left in the mean.
    const double m2 = std::max(0.0, squares - plain * plain / n);
    return n > 1 ? std::sqrt(m2 / (n - 1)) : 0;
}

double ShownSquares(const std::vector<double>& values, double shownMean) {
    double sum = 0;
    for (const double x : values)
        sum += (x - shownMean) * (x - shownMean);
    return sum;
}

double ShownAbsolute(const std::vector<double>& values, double shownMean) {
    double sum = 0;
    for (const double x : values)
        sum += std::fabs(x - shownMean);
    return sum;
}

namespace {

double NumericValue(QString text) {
    return NumberText::NumberAtFront(text.replace(u',', u'.'));
}

} // namespace

StatisticsFields ColumnFields(std::size_t count, double max, double min, double sum,
                              const QString& massFormat, const QLocale& locale) {
    StatisticsFields fields;
    if (count == 0)
        return fields;
    fields.lblLiczba = QString::number(count);
    fields.lblMax = Formats::FormatNumber(max, massFormat, locale);
    fields.lblMin = Formats::FormatNumber(min, massFormat, locale);
    fields.lblSrednia = Formats::FormatNumber(sum / static_cast<double>(count), massFormat, locale);
    fields.lblSuma = Formats::FormatNumber(sum, massFormat, locale);
    return fields;
}

double ShownNumber(const QString& field, const QLocale& locale) {
    bool ok = false;
    const double value = Formats::ParseShownNumber(field, locale, &ok);
    return ok ? value : 0;
}

void DeviationFields(StatisticsFields& fields, std::size_t count, double sampleDeviation,
                     double shownSquares, double shownAbsolute, const QString& massFormat,
                     const QLocale& locale) {
    const auto format = [&](double value) {
        return Formats::FormatNumber(value, massFormat, locale);
    };
    const double n = static_cast<double>(count);
    fields.lblOKwadrat = format(shownSquares);
    fields.lblOSrenie = format(shownAbsolute / n);
    // One reading has no sample deviation; the fields built on it stay
    // empty rather than showing a division by zero.
    if (count < 2)
        return;
    fields.lblOStd = format(sampleDeviation);
    const double s = ShownNumber(fields.lblOStd, locale);
    fields.lblWar = format(s * s);
    fields.lblEWar = format(s * s * n / (n - 1));
    fields.lblEOdch = format(std::sqrt(std::max(0.0, ShownNumber(fields.lblEWar, locale))));
}

StatisticsFields ObliczStatystyke(const std::vector<double>& values, const QString& massFormat,
                                  const QLocale& locale) {
    if (values.empty())
        return {};
    const Aggregates aggregates = Aggregate(values);
    StatisticsFields fields = ColumnFields(values.size(), aggregates.max, aggregates.min,
                                           aggregates.sum, massFormat, locale);
    const double shownMean = ShownNumber(fields.lblSrednia, locale);
    DeviationFields(fields, values.size(), SampleDeviation(values, aggregates.mean),
                    ShownSquares(values, shownMean), ShownAbsolute(values, shownMean), massFormat,
                    locale);
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

double LimitNumber(const QString& limit) {
    return NumericValue(limit);
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
