// The one percentile of the benchmarks' figures.
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

namespace BenchSupport {

// The nearest-rank percentile of sorted samples: the smallest sample with
// at least p per cent of all samples at or below it, i.e. the
// ceil(p / 100 * N)-th of the N samples (p 0 gives the smallest, 100 the
// largest); 0 when there are none.
inline double Percentile(const std::vector<double>& sorted, double p) {
    if (sorted.empty())
        return 0;
    // Less a hair, so that 95 per cent of 100 is rank 95 whatever its last bit.
    const double rank = std::ceil(p / 100.0 * double(sorted.size()) - 1e-9);
    return sorted[std::size_t(std::clamp(rank, 1.0, double(sorted.size()))) - 1];
}

} // namespace BenchSupport
