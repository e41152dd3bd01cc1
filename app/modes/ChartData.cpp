#include "ChartData.h"

#include "MeasurementStore.h"

#include <algorithm>
#include <limits>
#include <numeric>

namespace Pomiar {

namespace {

// The reading's time as the stored text orders it: local wall-clock time,
// an unreadable time before every other.
qint64 timeKey(const QDateTime& time) {
    if (!time.isValid())
        return std::numeric_limits<qint64>::min();
    return time.date().toJulianDay() * 86'400'000 + time.time().msecsSinceStartOfDay();
}

} // namespace

QList<QPointF> ChartPoints(const std::vector<double>& values) {
    const int count = static_cast<int>(values.size());
    QList<QPointF> points;
    if (count <= MaxChartPoints) {
        points.reserve(count);
        for (int k = 0; k < count; ++k)
            points.append(QPointF(k + 1, values[size_t(k)]));
        return points;
    }
    const int buckets = MaxChartPoints / 2;
    points.reserve(MaxChartPoints);
    for (int b = 0; b < buckets; ++b) {
        const auto first = values.begin() + qint64(count) * b / buckets;
        const auto last = values.begin() + qint64(count) * (b + 1) / buckets;
        auto [lowest, highest] = std::minmax_element(first, last);
        if (lowest > highest)
            std::swap(lowest, highest);
        points.append(QPointF(double(lowest - values.begin()) + 1, *lowest));
        if (highest != lowest)
            points.append(QPointF(double(highest - values.begin()) + 1, *highest));
    }
    return points;
}

int ChartData::LabelStep(int count) {
    return std::max(1, static_cast<int>(std::nearbyint(count / 5.0)));
}

ChartData ChartData::Select(MeasurementStore& store, const ChartOptions& opcje) {
    const SeriesModel& model = store.Model();
    const int total = std::min(model.Count(), static_cast<int>(store.Values().size()));
    ChartData dane;
    if (!opcje.ostatnie) {
        dane.rows.resize(size_t(total));
        std::iota(dane.rows.begin(), dane.rows.end(), 0);
    } else {
        const int count = std::min(total, opcje.liczba);
        std::vector<qint64> keys(static_cast<size_t>(total));
        for (int row = 0; row < total; ++row)
            keys[size_t(row)] = timeKey(model.Row(row).godzina);
        dane.rows.resize(size_t(total));
        // Newest first; of two readings with the same time the later row.
        std::iota(dane.rows.rbegin(), dane.rows.rend(), 0);
        if (!std::is_sorted(keys.begin(), keys.end())) {
            std::partial_sort(dane.rows.begin(), dane.rows.begin() + count, dane.rows.end(),
                              [&keys](int a, int b) {
                                  const qint64 ka = keys[size_t(a)], kb = keys[size_t(b)];
                                  return ka != kb ? ka > kb : a > b;
                              });
        }
        dane.rows.resize(size_t(count));
    }
    dane.labelStep = LabelStep(static_cast<int>(dane.rows.size()));
    return dane;
}

} // namespace Pomiar
