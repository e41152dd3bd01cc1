#pragma once

#include "SeriesCellDelegate.h"

#include <QTableView>
#include <QTimer>

namespace Pomiar {

class SeriesModel;

// The grid of the series: whole rows selected, read only, fixed row
// heights; a number column grows to its widest value, and the newest row
// becomes current once rows stop coming for a moment.
class SeriesGrid : public QTableView {
    Q_OBJECT
public:
    SeriesGrid(SeriesModel& model, QWidget* parent);

private:
    void growColumn(int column);
    void showLastRow();

    SeriesModel& model;
    SeriesCellDelegate cells;
    QTimer lastRowTimer;
};

} // namespace Pomiar
