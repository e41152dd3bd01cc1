#pragma once

#include "SeriesStatistics.h"

#include <QLocale>
#include <QString>
#include <cstddef>
#include <vector>

namespace Pomiar {

// The values of the series in row order, with sums kept up to date as each
// value arrives, so that the shown statistics cost the same at ten readings
// or a million.
//
// The fields are exactly those of a full pass (SeriesStatistics::
// ObliczStatystyke). The running sums are far more precise than the full
// pass, whose own rounding is bounded; a field whose whole range of possible
// full-pass results does not round to one text takes its figure from that
// field's own pass over the values instead. That happens only where a result lies within a few
// parts in 1e10 of a rounding step of the format, or for a series whose first value lies far from
// all the others.
class RunningStatistics {
public:
    void Add(double value);
    // All values of a series at once, in row order: one sort instead of a
    // million insertions.
    void Assign(std::vector<double> series);
    void Clear();

    const std::vector<double>& Values() const { return values; }
    std::size_t Count() const { return values.size(); }

    StatisticsFields Fields(const QString& massFormat, const QLocale& locale) const;

    // How many passes over the values Fields() made: the whole computation
    // for a short series, one per unsure field of a long one (figures of the
    // benchmark, and of the tests that the running sums do the work).
    std::size_t FullPasses() const { return fullPasses; }

private:
    // Values in ascending order, cut into blocks with the sum of each, so
    // that the readings below a given mean are counted and summed without
    // visiting each of them.
    struct Block {
        std::vector<double> sorted;
        long double shiftedSum = 0; // sum of (value - shift)
    };
    struct Side {
        std::size_t count = 0;
        long double shiftedSum = 0;
    };

    void addToSums(double value);
    void insertSorted(double value);
    // The values strictly below the threshold.
    Side below(double threshold) const;
    // Sum of |value - centre| and of (value - centre)^2 over all values.
    long double absoluteDeviations(double centre) const;
    long double squaredDeviations(double centre) const;

    std::vector<double> values;
    double max = 0;
    double min = 0;
    SeriesStatistics::CompensatedSum sum;

    // Sums of the values less the first one: near the mean, so that a
    // series far from zero keeps every digit of its spread.
    double shift = 0;
    std::size_t added = 0;
    long double shiftedTotal = 0;
    long double shiftedAbsolute = 0;
    long double welfordMean = 0; // Welford's update, of the shifted values
    long double welfordSquares = 0;
    std::vector<Block> blocks;
    // An infinite or undefined value leaves only the full pass meaningful.
    bool allFinite = true;

    mutable std::size_t fullPasses = 0;
};

} // namespace Pomiar
