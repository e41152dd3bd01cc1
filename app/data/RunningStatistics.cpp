#include "RunningStatistics.h"

#include "Formats.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace Pomiar {

namespace {

// Below this many readings a full pass costs less than the bookkeeping.
constexpr std::size_t fullPassUpTo = 64;
// Blocks of sorted values split in two when they reach twice this size.
constexpr std::size_t blockSize = 1024;

// Unit roundoff of the full pass (double) and of the running sums.
constexpr long double unitDouble = DBL_EPSILON / 2;
constexpr long double unitRunning = LDBL_EPSILON / 2;
// Every error bound below is taken this many times over.
constexpr long double margin = 2;

// Whether every result within bound of the estimate shows as one text:
// rounding to a format is monotonic, so both ends of the range decide.
bool Sure(long double estimate, long double bound, const QString& massFormat,
          const QLocale& locale) {
    if (!std::isfinite(estimate) || !std::isfinite(bound))
        return false;
    const double low = double(estimate - bound);
    const double high = double(estimate + bound);
    return Formats::FormatNumber(low, massFormat, locale) ==
           Formats::FormatNumber(high, massFormat, locale);
}

} // namespace

void RunningStatistics::Clear() {
    *this = RunningStatistics();
}

void RunningStatistics::Add(double value) {
    values.push_back(value);
    addToSums(value);
    if (allFinite)
        insertSorted(value);
}

void RunningStatistics::Assign(std::vector<double> series) {
    Clear();
    values = std::move(series);
    for (const double x : values)
        addToSums(x);
    if (!allFinite)
        return;
    std::vector<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    for (std::size_t from = 0; from < sorted.size(); from += blockSize) {
        Block block;
        block.sorted.assign(sorted.begin() + std::ptrdiff_t(from),
                            sorted.begin() +
                                std::ptrdiff_t(std::min(sorted.size(), from + blockSize)));
        for (const double x : block.sorted)
            block.shiftedSum += (long double)x - shift;
        blocks.push_back(std::move(block));
    }
}

void RunningStatistics::addToSums(double value) {
    sum.Add(value);
    ++added;
    if (added == 1) {
        max = min = shift = value;
    } else {
        max = std::max(max, value);
        min = std::min(min, value);
    }
    if (!std::isfinite(value))
        allFinite = false;
    if (!allFinite)
        return;
    const long double shifted = (long double)value - shift;
    shiftedTotal += shifted;
    shiftedAbsolute += std::fabs(shifted);
    const long double delta = shifted - welfordMean;
    welfordMean += delta / (long double)added;
    welfordSquares += delta * (shifted - welfordMean);
}

void RunningStatistics::insertSorted(double value) {
    if (blocks.empty()) {
        blocks.push_back({{value}, (long double)value - shift});
        return;
    }
    auto block = std::lower_bound(blocks.begin(), blocks.end(), value,
                                  [](const Block& b, double v) { return b.sorted.back() < v; });
    if (block == blocks.end())
        block = blocks.end() - 1;
    std::vector<double>& sorted = block->sorted;
    sorted.insert(std::upper_bound(sorted.begin(), sorted.end(), value), value);
    block->shiftedSum += (long double)value - shift;
    if (sorted.size() < 2 * blockSize)
        return;
    Block upper;
    upper.sorted.assign(sorted.begin() + blockSize, sorted.end());
    sorted.resize(blockSize);
    block->shiftedSum = 0;
    for (const double x : sorted)
        block->shiftedSum += (long double)x - shift;
    for (const double x : upper.sorted)
        upper.shiftedSum += (long double)x - shift;
    blocks.insert(block + 1, std::move(upper));
}

RunningStatistics::Side RunningStatistics::below(double threshold) const {
    Side side;
    for (const Block& block : blocks) {
        if (block.sorted.back() < threshold) {
            side.count += block.sorted.size();
            side.shiftedSum += block.shiftedSum;
            continue;
        }
        const auto end = std::lower_bound(block.sorted.begin(), block.sorted.end(), threshold);
        for (auto x = block.sorted.begin(); x != end; ++x)
            side.shiftedSum += (long double)*x - shift;
        side.count += std::size_t(end - block.sorted.begin());
        break;
    }
    return side;
}

long double RunningStatistics::absoluteDeviations(double centre) const {
    const long double d = (long double)centre - shift;
    const Side low = below(centre);
    const long double n = (long double)values.size();
    const long double highCount = n - (long double)low.count;
    const long double highSum = shiftedTotal - low.shiftedSum;
    return (highSum - highCount * d) + ((long double)low.count * d - low.shiftedSum);
}

long double RunningStatistics::squaredDeviations(double centre) const {
    const long double d = (long double)centre - shift;
    const long double offset = welfordMean - d;
    return welfordSquares + (long double)values.size() * offset * offset;
}

StatisticsFields RunningStatistics::Fields(const QString& massFormat, const QLocale& locale) const {
    const std::size_t count = values.size();
    if (count <= fullPassUpTo || !allFinite) {
        ++fullPasses;
        return SeriesStatistics::ObliczStatystyke(values, massFormat, locale);
    }
    // The column fields come from the same operations in the same order as
    // in a full pass.
    StatisticsFields fields =
        SeriesStatistics::ColumnFields(count, max, min, sum.Value(), massFormat, locale);
    const double shownMean = SeriesStatistics::ShownNumber(fields.lblSrednia, locale);

    const long double n = (long double)count;
    const long double d = (long double)shownMean - shift;
    // How far the running sums may be from the exact ones: the magnitudes
    // they were built from, times their rounding over n steps.
    const long double shiftedSquares = welfordSquares + n * welfordMean * welfordMean;
    const long double runningError = 8 * (n + 2) * unitRunning;

    const long double squares = squaredDeviations(shownMean);
    const long double squaresBound =
        margin * ((n + 4) * unitDouble * squares + runningError * (shiftedSquares + n * d * d));

    const long double absolute = absoluteDeviations(shownMean);
    const long double absoluteBound =
        margin *
        ((n + 3) * unitDouble * absolute + runningError * (shiftedAbsolute + n * std::fabs(d))) / n;

    // The full pass centres on its own mean, off the exact one by a few
    // units in its last place, and corrects by the sum of the differences.
    const long double meanSlip = 4 * unitDouble * std::max(std::fabs(max), std::fabs(min));
    const long double m2 = welfordSquares;
    const long double m2Bound =
        margin * ((n + 6) * unitDouble * (m2 + n * meanSlip * meanSlip) +
                  2 * meanSlip * (n + 2) * unitDouble * (absolute + n * meanSlip) +
                  runningError * shiftedSquares);
    const long double deviation = std::sqrt(m2 / (n - 1));
    const long double deviationLow =
        std::sqrt(std::max(0.0L, m2 - m2Bound) / (n - 1)) * (1 - 4 * unitDouble);
    const long double deviationHigh = std::sqrt((m2 + m2Bound) / (n - 1)) * (1 + 4 * unitDouble);

    // A field whose estimate is not sure of its digits takes its figure
    // from a pass over the values, the same pass the full computation runs.
    const double mean = sum.Value() / double(count);
    const bool squaresSure = Sure(squares, squaresBound, massFormat, locale);
    const bool absoluteSure = Sure(absolute / n, absoluteBound, massFormat, locale);
    const bool deviationSure = Sure((deviationLow + deviationHigh) / 2,
                                    (deviationHigh - deviationLow) / 2, massFormat, locale);
    fullPasses +=
        std::size_t(!squaresSure) + std::size_t(!absoluteSure) + std::size_t(!deviationSure);
    SeriesStatistics::DeviationFields(
        fields, count,
        deviationSure ? double(deviation) : SeriesStatistics::SampleDeviation(values, mean),
        squaresSure ? double(squares) : SeriesStatistics::ShownSquares(values, shownMean),
        absoluteSure ? double(absolute) : SeriesStatistics::ShownAbsolute(values, shownMean),
        massFormat, locale);
    return fields;
}

} // namespace Pomiar
