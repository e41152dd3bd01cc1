#include "SeriesGrid.h"

#include "SeriesModel.h"

#include <QHeaderView>

namespace Pomiar {

SeriesGrid::SeriesGrid(SeriesModel& model, QWidget* parent) : QTableView(parent), model(model) {
    setModel(&model);
    setItemDelegate(&cells);
    setShowGrid(false); // the cells draw it
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAlternatingRowColors(true);
    verticalHeader()->hide();
    // Fixed row heights keep a view of a million rows as quick as of ten.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setStretchLastSection(true);
    for (int column = 0; column < SeriesModel::ColumnCount; ++column)
        setColumnWidth(column, SeriesModel::DefaultWidth(column));
    connect(&model, &SeriesModel::WidestRowChanged, this, &SeriesGrid::growColumn);
    // A batch of thousands is shown at its end, not scrolled to row by row.
    lastRowTimer.setSingleShot(true);
    lastRowTimer.setInterval(0);
    connect(&lastRowTimer, &QTimer::timeout, this, &SeriesGrid::showLastRow);
    connect(&model, &QAbstractItemModel::rowsInserted, &lastRowTimer, qOverload<>(&QTimer::start));
}

void SeriesGrid::growColumn(int column) {
    const int row = model.WidestRow(column);
    if (row < 0)
        return;
    // One pixel more for the grid line.
    const int needed = sizeHintForIndex(model.index(row, column)).width() + 1;
    if (needed > columnWidth(column))
        setColumnWidth(column, needed);
}

void SeriesGrid::showLastRow() {
    selectRow(model.Count() - 1);
    scrollToBottom();
}

} // namespace Pomiar
