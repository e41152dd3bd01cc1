#include "Percentile.h"

#include <gtest/gtest.h>

#include <vector>

// The nearest-rank percentile: the ceil(p / 100 * N)-th of N sorted samples.
TEST(PercentileTest, IsTheNearestRank) {
    std::vector<double> hundred;
    for (int i = 1; i <= 100; ++i)
        hundred.push_back(i);
    const std::vector<double> four{10, 20, 30, 40};
    const struct {
        const char* name;
        const std::vector<double>& sorted;
        double p;
        double value;
    } cases[] = {
        {"p95 of 1..100 is the 95th", hundred, 95, 95},
        {"p99 of 1..100 is the 99th, not the largest", hundred, 99, 99},
        {"p50 of 1..100 is the 50th", hundred, 50, 50},
        {"p100 is the largest", hundred, 100, 100},
        {"p0 is the smallest", hundred, 0, 1},
        {"p50 of four is the second", four, 50, 20},
        {"p51 of four is the third", four, 51, 30},
        {"p25 of four is the first", four, 25, 10},
        {"p99 of four is the largest", four, 99, 40},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(BenchSupport::Percentile(c.sorted, c.p), c.value) << c.name;
}

TEST(PercentileTest, OfNothingIsZero) {
    EXPECT_DOUBLE_EQ(BenchSupport::Percentile({}, 95), 0);
}
