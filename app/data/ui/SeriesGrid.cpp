#include "SeriesGrid.h"

#include "SeriesModel.h"

#include <QHeaderView>
#include <algorithm>

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
    // The mark beside the mass it is about; the description stays last and
    // takes the room left.
    horizontalHeader()->moveSection(SeriesModel::Status, SeriesModel::Opis);
    connect(&model, &SeriesModel::WidestRowChanged, this, &SeriesGrid::growColumn);
    // A batch of thousands is shown at its end, not scrolled to row by row.
    lastRowTimer.setSingleShot(true);
    lastRowTimer.setInterval(0);
    connect(&lastRowTimer, &QTimer::timeout, this, &SeriesGrid::showLastRow);
    connect(&model, &QAbstractItemModel::rowsInserted, &lastRowTimer, qOverload<>(&QTimer::start));
    connect(&model, &QAbstractItemModel::rowsInserted, this, &SeriesGrid::rowsAppended);
    const auto relayout = [this] { wholeLayout = true; };
    connect(&model, &QAbstractItemModel::modelReset, this, relayout);
    connect(&model, &QAbstractItemModel::layoutChanged, this, relayout);
    connect(&model, &QAbstractItemModel::rowsRemoved, this, relayout);
}

void SeriesGrid::rowsAppended(const QModelIndex& parent, int first, int last) {
    if (parent.isValid() || last != model.rowCount() - 1) {
        wholeLayout = true;
        return;
    }
    appendedFirst = appendedFirst < 0 ? first : std::min(appendedFirst, first);
    appendedLast = std::max(appendedLast, last);
}

void SeriesGrid::doItemsLayout() {
    const int first = appendedFirst;
    const int last = appendedLast;
    const bool whole = wholeLayout || first < 0;
    appendedFirst = appendedLast = -1;
    wholeLayout = false;
    if (whole) {
        // The whole view laid out and painted again.
        QTableView::doItemsLayout();
        return;
    }
    updateGeometries();
    // The new rows, where they show; the rows above them did not move.
    const QRect top = visualRect(model.index(first, 0));
    const QRect bottom = visualRect(model.index(last, 0));
    const QRect rows(0, top.top(), viewport()->width(), bottom.bottom() - top.top() + 1);
    if (rows.intersects(viewport()->rect()))
        viewport()->update(rows);
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
    selectRow(model.rowCount() - 1);
    scrollToBottom();
}

} // namespace Pomiar
