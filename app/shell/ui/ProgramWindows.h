#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>

class QWidget;

namespace Pomiar {

class AcquisitionSession;
class CycleGate;
class Cykl;
class DebugForm;
class Film;
class HelpWindow;
class MeasurementStore;
class Raport;
class StatisticsPanel;
class Wykres;
struct ProgramContext;

// The windows the main window opens beside itself: the chart and its
// options, the report, the printout, the language chooser, the cycle
// settings, the continuous transmission window, the traffic window and
// the guide. Each shows once; asking again raises it.
class ProgramWindows : public QObject {
    Q_OBJECT
public:
    ProgramWindows(ProgramContext& context, MeasurementStore& store, AcquisitionSession& session,
                   QWidget* owner);
    ~ProgramWindows() override;

    void ShowChart();
    void ShowChartOptions();
    void RedrawChart();
    void CloseChart();
    void ClearChartReport();
    // The stored report of the series shown under the open chart.
    void RaportDoWykresu();
    Wykres* ChartWindow() const;

    void ShowReport();
    // The report window while it captures the balance's printout, else null.
    Raport* CapturingReport() const;

    void Print(StatisticsPanel* panel);
    void ShowLanguageChooser();
    void ShowCycleSettings(CycleGate& gate);
    // The window shown while continuous transmission runs; Escape there
    // switches the transmission off.
    void ShowFilm();
    void CloseFilm();
    Film* FilmWindow() const { return film.get(); }

    void ShowDebugForm();
    // The user guide in the desktop's viewer, else in a window of the
    // program's own; else the user is told it is missing or unopened.
    void ShowGuide(const QString& helpFile, const QString& missing, const QString& unopened);
    DebugForm* Debug() const { return debugForm; }

signals:
    // The cycle settings were closed with this interval and switch.
    void CycleSettingsClosed(int ticks, bool cycleWorkOn);

private:
    // A reply the report window captures is its printout.
    void captureReport(const QByteArray& frame);

    ProgramContext& context;
    MeasurementStore& store;
    AcquisitionSession& session;
    QWidget* owner;
    QPointer<Wykres> wykres;        // the chart window while it is open
    Raport* reportWindow = nullptr; // the report window while it runs
    Cykl* cycleDialog = nullptr;
    DebugForm* debugForm = nullptr;
    std::unique_ptr<Film> film;
    QPointer<HelpWindow> helpWindow; // the guide, when the desktop has no viewer for it
};

} // namespace Pomiar
