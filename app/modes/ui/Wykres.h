#pragma once

#include "ChartData.h"
#include "Wykresopcje.h"

#include <QWidget>

class QAction;
class QCategoryAxis;
class QChart;
class QChartView;
class QLabel;
class QLineEdit;
class QLineSeries;
class QMenu;
class QPrinter;
class QScrollArea;
class QValueAxis;

namespace Pomiar {

class MeasurementStore;
struct ProgramContext;

// The chart of the current series, with the stored calibration report and a
// caption box below it. Not modal; deleted when closed, so a QPointer to it
// is the chart-open flag. The store's chart hook calls Redraw while it is
// open.
class Wykres : public QWidget {
    Q_OBJECT
public:
    Wykres(ProgramContext& context, MeasurementStore& store, QWidget* parent = nullptr);

    // Whether the series is long enough for the chart the options ask for;
    // tells the user why not (messages 3 and 7).
    static bool CanOpen(ProgramContext& context, MeasurementStore& store, QWidget* parent);
    // The open-chart command: checks, then shows the chart (a new window, or
    // the open one brought to the front with its report text refreshed).
    // Nothing when the series is too short; an open chart is then closed,
    // since it no longer follows the series.
    static Wykres* Show(ProgramContext& context, MeasurementStore& store, Wykres* open,
                        QWidget* parent);

    // Rebuilds the chart from the store's rows and the saved options.
    void Redraw();
    // Shows the stored report of the bound database below the chart; the
    // window grows to make room for it.
    void ShowReport();
    // Prints the window on the printer the user chooses. Without a printer
    // it offers a PDF file instead, and tells the user that no printer was
    // found when the user declines it.
    void Drukuj();

    // Window heights with and without a stored report, in pixels.
    static constexpr int HeightWithReport = 8760 / 15;
    static constexpr int HeightWithoutReport = 6200 / 15;

    QChartView* MSChart1 = nullptr;
    QLabel* lblRaport = nullptr;
    QLineEdit* txtPodpis = nullptr;
    QMenu* mnu = nullptr;
    QAction* mnudrukuj = nullptr;

    QLineSeries* MassSeries() const { return masy; }
    QLineSeries* UpperLine() const { return gorna; }
    QLineSeries* LowerLine() const { return dolna; }
    QCategoryAxis* AxisX() const { return osX; }
    QValueAxis* AxisY() const { return osY; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void BuildWindow();
    void ApplyTexts();
    void SetReport(bool loading);
    void SetLabels(const ChartData& dane, bool lastN);
    void SetAxisY(const ChartOptions& opcje, double low, double high);
    bool ChoosePrinter(QPrinter& printer);
    void ShowMessage(int index, int titleIndex);

    ProgramContext& context;
    MeasurementStore& store;
    QChart* chart = nullptr;
    QLineSeries* masy = nullptr;
    QLineSeries* gorna = nullptr;
    QLineSeries* dolna = nullptr;
    QCategoryAxis* osX = nullptr;
    QValueAxis* osY = nullptr;
    QScrollArea* reportArea = nullptr;
};

} // namespace Pomiar
