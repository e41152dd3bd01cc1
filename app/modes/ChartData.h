#pragma once

#include "ChartOptions.h"

#include <QList>
#include <QPointF>
#include <vector>

namespace Pomiar {

class MeasurementStore;

// The rows of the series a chart shows, in chart order, and where its
// horizontal labels go. Nothing here needs a window.
struct ChartData {
    std::vector<int> rows; // rows of the store's model
    int labelStep = 1;     // every labelStep-th row gets a label and a tick

    // All readings in table order, or in last-N mode the newest N (by the
    // time of the reading, newest first; fewer when the series is shorter).
    static ChartData Select(MeasurementStore& store, const ChartOptions& opcje);
    // A fifth of the rows shown, rounded half to even, at least 1.
    static int LabelStep(int count);
};

// A long series is drawn from the lowest and the highest reading of each of
// MaxChartPoints / 2 runs of rows, in their order: the plot is narrower
// than that many pixels, so the line looks the same, and drawing costs the
// same at 10,000 rows or at 1,000,000. Point k (from 1) is the k-th value.
inline constexpr int MaxChartPoints = 4000;
QList<QPointF> ChartPoints(const std::vector<double>& values);

} // namespace Pomiar
