#pragma once

#include "SeriesCellDelegate.h"

#include <QTableView>
#include <QTimer>

namespace Pomiar {

class SeriesModel;

// The grid of the series: whole rows selected, read only, fixed row
// heights; a number column grows to its widest value, and the newest row
// becomes current once rows stop coming for a moment. A reading appended
// costs the grid the same at ten rows or a million: the rows shown stay
// where they are, so only the scroll range and the new row are redone.
class SeriesGrid : public QTableView {
    Q_OBJECT
public:
    SeriesGrid(SeriesModel& model, QWidget* parent);

protected:
    void doItemsLayout() override;

private:
    void rowsAppended(const QModelIndex& parent, int first, int last);
    void growColumn(int column);
    void showLastRow();

    SeriesModel& model;
    SeriesCellDelegate cells;
    QTimer lastRowTimer;
    // Rows appended since the last layout, when nothing else changed; -1
    // for none or for a change that needs the whole layout.
    int appendedFirst = -1;
    int appendedLast = -1;
    bool wholeLayout = true;
};

} // namespace Pomiar
