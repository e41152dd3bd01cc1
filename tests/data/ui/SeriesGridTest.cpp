// The series grid paints its cells from kept glyphs and draws its own grid
// lines: what it shows must match what the style paints for the same cells.
#include "SeriesGrid.h"
#include "MeasurementStore.h"
#include "ProgramContext.h"
#include "ScriptedDialogs.h"
#include "SeriesCellDelegate.h"
#include "SeriesModel.h"
#include "StoreReadings.h"

#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QPaintEvent>
#include <QRegion>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Pomiar;

namespace {

// Pixels of a cell that differ from its background, found as a bounding box.
QRect InkOf(const QImage& image, const QRect& cell) {
    const QRgb background = image.pixel(cell.left() + 1, cell.top() + 1);
    QRect ink;
    // The last pixel row and column belong to the grid line.
    for (int y = cell.top(); y < cell.bottom(); ++y) {
        for (int x = cell.left(); x < cell.right(); ++x) {
            if (image.pixel(x, y) != background)
                ink |= QRect(x, y, 1, 1);
        }
    }
    return ink;
}

class SeriesGridTest : public ::testing::Test {
protected:
    SeriesGridTest() {
        context.programFolder = folder.path();
        context.dialogs = &dialogs;
        store.SetLocale(QLocale(QLocale::English, QLocale::UnitedStates));
        store.OtworzMagazyn();
        store.SetMassFormat("#0.0000");
    }

    void Append(double mass, const QString& unit = QStringLiteral("g")) {
        const QString text = QString::number(mass, 'f', 4) + ' ' + unit + "\r\n";
        ASSERT_TRUE(AppendReading(store, text, unit, start.addSecs(++readings)));
    }

    // The style's own painting of the same cells: its delegate and its grid.
    void Reference(QTableView& view, const SeriesGrid& grid) {
        view.setModel(&store.Model());
        view.setAlternatingRowColors(true);
        view.verticalHeader()->hide();
        view.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        view.verticalHeader()->setDefaultSectionSize(grid.verticalHeader()->defaultSectionSize());
        view.horizontalHeader()->setStretchLastSection(true);
        for (int column = 0; column < SeriesModel::ColumnCount; ++column)
            view.setColumnWidth(column, grid.columnWidth(column));
        view.resize(grid.size());
    }

    QImage Shot(QTableView& view) {
        view.show();
        QApplication::processEvents();
        return view.viewport()->grab().toImage();
    }

    QTemporaryDir folder;
    ScriptedDialogs dialogs;
    ProgramContext context;
    MeasurementStore store{context};
    const QDateTime start{QDate(2026, 12, 7), QTime(8, 0)};
    int readings = 0;
};

TEST_F(SeriesGridTest, CellsShowTheirTextsWhereTheStylePutsThem) {
    Append(12.3456);
    Append(-0.5);
    Append(1234.5);
    store.SetDescription(1, QStringLiteral("zażółć gęślą jaźń"));
    // Wider than its column: the style elides it.
    store.SetDescription(2, QString(200, QLatin1Char('W')));
    SeriesGrid grid(store.Model(), nullptr);
    grid.resize(700, 200);
    QTableView reference;
    Reference(reference, grid);
    // Neither draws a focus frame: only one of them could have the focus.
    for (QTableView* view : {static_cast<QTableView*>(&grid), &reference}) {
        view->setFocusPolicy(Qt::NoFocus);
        view->selectRow(0);
    }
    const QImage ours = Shot(grid);
    const QImage theirs = Shot(reference);
    ASSERT_EQ(ours.size(), theirs.size());

    for (int row = 0; row < store.Model().rowCount(); ++row) {
        for (int column = 0; column < SeriesModel::ColumnCount; ++column) {
            const QModelIndex index = store.Model().index(row, column);
            // The table's grid takes a pixel off each cell; the grid's cells
            // keep it and draw the line there themselves.
            const QRect cell = grid.visualRect(index);
            ASSERT_EQ(cell, reference.visualRect(index).adjusted(0, 0, 1, 1));
            const QRect ink = InkOf(ours, cell);
            const QRect expected = InkOf(theirs, cell);
            ASSERT_EQ(ink.isEmpty(), expected.isEmpty()) << row << "," << column;
            // The same place to a pixel either way (glyph edges may differ).
            EXPECT_LE(std::abs(ink.left() - expected.left()), 1) << row << "," << column;
            EXPECT_LE(std::abs(ink.right() - expected.right()), 1) << row << "," << column;
            EXPECT_LE(std::abs(ink.top() - expected.top()), 1) << row << "," << column;
            EXPECT_LE(std::abs(ink.bottom() - expected.bottom()), 1) << row << "," << column;
            // Background (selected or alternate) and grid line as the style has them.
            EXPECT_EQ(ours.pixel(cell.left() + 1, cell.top() + 1),
                      theirs.pixel(cell.left() + 1, cell.top() + 1))
                << row << "," << column;
            EXPECT_EQ(ours.pixel(cell.right(), cell.center().y()),
                      theirs.pixel(cell.right(), cell.center().y()))
                << row << "," << column;
            EXPECT_EQ(ours.pixel(cell.center().x(), cell.bottom()),
                      theirs.pixel(cell.center().x(), cell.bottom()))
                << row << "," << column;
        }
    }
    // The selected row's text in the highlighted text colour.
    const QRect selected = grid.visualRect(store.Model().index(0, SeriesModel::Masa));
    const QColor highlightedText =
        grid.palette().color(QPalette::Active, QPalette::HighlightedText);
    const QColor text = grid.palette().color(QPalette::Active, QPalette::Text);
    bool darkestIsHighlighted = false;
    for (int x = selected.left(); x < selected.right(); ++x)
        for (int y = selected.top(); y < selected.bottom(); ++y)
            darkestIsHighlighted |=
                ours.pixelColor(x, y) == highlightedText && highlightedText != text;
    EXPECT_TRUE(darkestIsHighlighted);
}

TEST_F(SeriesGridTest, KeepsABoundedNumberOfTextsWhileScrollingALongSeries) {
    for (int i = 0; i < 3000; ++i)
        Append(10 + i * 0.0001);
    SeriesGrid grid(store.Model(), nullptr);
    grid.resize(700, 400);
    grid.show();
    QApplication::processEvents();
    QScrollBar* bar = grid.verticalScrollBar();
    for (int step = 0; step <= 100; ++step) {
        bar->setValue(int(qint64(bar->maximum()) * step / 100));
        QApplication::processEvents();
    }
    const auto* cells = dynamic_cast<SeriesCellDelegate*>(grid.itemDelegate());
    ASSERT_NE(cells, nullptr);
    EXPECT_GT(cells->KeptTexts(), 0);
    EXPECT_LE(cells->KeptTexts(), SeriesCellDelegate::keptTextsAtMost);
    // The last row shows the last reading.
    EXPECT_EQ(store.Model().data(store.Model().index(2999, SeriesModel::Masa)).toString(),
              QStringLiteral("10.2999"));
}

// Records what a widget is asked to paint.
class PaintedRegion : public QObject {
public:
    explicit PaintedRegion(QWidget* widget) { widget->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            painted |= static_cast<QPaintEvent*>(event)->region();
        return false;
    }
    QRegion painted;
};

// A reading appended repaints the rows that changed at the bottom, not the
// whole grid, and the grid then looks as one that showed the series anew.
TEST_F(SeriesGridTest, AnAppendRepaintsTheNewRowNotTheWholeGrid) {
    for (int i = 0; i < 200; ++i)
        Append(10 + i * 0.0001);
    SeriesGrid grid(store.Model(), nullptr);
    grid.resize(700, 400);
    grid.show();
    // Following the newest readings, as during acquisition.
    grid.selectRow(store.RowCount() - 1);
    grid.scrollToBottom();
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
    PaintedRegion region(grid.viewport());
    const int viewportHeight = grid.viewport()->height();
    for (int i = 0; i < 3; ++i) {
        region.painted = QRegion();
        Append(11 + i * 0.0001);
        for (int turn = 0; turn < 5; ++turn)
            QApplication::processEvents();
        const QRect painted = region.painted.boundingRect();
        EXPECT_FALSE(painted.isEmpty()) << "append " << i;
        EXPECT_LT(painted.height(), viewportHeight / 2) << "append " << i;
    }
    const int last = store.RowCount() - 1;
    EXPECT_EQ(grid.rowAt(grid.viewport()->height() - 2), last);

    SeriesGrid fresh(store.Model(), nullptr);
    fresh.resize(grid.size());
    fresh.show();
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
    fresh.selectRow(last);
    fresh.scrollToBottom();
    QApplication::processEvents();
    EXPECT_EQ(grid.viewport()->grab().toImage(), fresh.viewport()->grab().toImage());
}

} // namespace
