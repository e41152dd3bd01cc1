#include "ChartData.h"

#include "MeasurementStore.h"

#include <algorithm>
#include <numeric>

namespace Pomiar {

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
    const int total = std::min(store.RowCount(), static_cast<int>(store.Values().size()));
    ChartData dane;
    if (!opcje.ostatnie) {
        dane.rows.resize(size_t(total));
        std::iota(dane.rows.begin(), dane.rows.end(), 0);
    } else {
        // The database orders by time: no row of a long series is read.
        dane.rows = store.NewestRows(std::min(total, opcje.liczba));
    }
    dane.labelStep = LabelStep(static_cast<int>(dane.rows.size()));
    return dane;
}

} // namespace Pomiar
