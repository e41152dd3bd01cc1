#pragma once

#include "SeriesStatistics.h"

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;

namespace Pomiar {

class MeasurementStore;
struct ProgramContext;

// The main window's side panel: the eleven statistics of the series, the
// live-statistics switch and the two acceptance limits, kept in step with
// the store.
class StatisticsPanel : public QWidget {
    Q_OBJECT
public:
    StatisticsPanel(ProgramContext& context, MeasurementStore& store, QWidget* parent = nullptr);

    // Restores the limit switches from "min" and "max" of ustawienia.ini,
    // as clicking them would.
    void RestoreLimitSwitches();

    void ShowStatistics(const StatisticsFields& fields);
    QLabel* Field(const QString& name) const;

    QCheckBox* Check1 = nullptr;
    QCheckBox* ChMin = nullptr;
    QLineEdit* txtMin = nullptr;
    QCheckBox* ChMax = nullptr;
    QLineEdit* txtMax = nullptr;

private:
    struct LimitControls {
        QCheckBox* box;
        QLineEdit* text;
        const char* switchKey; // "min" / "max"
        const char* valueKey;  // "wart_min" / "wart_max"
    };

    QWidget* buildStatistics();
    QWidget* buildLimits();
    void limitClicked(const LimitControls& limit);
    void limitLeft(const LimitControls& limit);
    void updateStoreLimits();
    void check1Clicked();

    ProgramContext& context;
    MeasurementStore& store;
    QList<QLabel*> fields;
    LimitControls minimum{};
    LimitControls maximum{};
};

} // namespace Pomiar
