#pragma once

#include "ChartOptions.h"

#include <QDialog>
#include <QLocale>

class QCheckBox;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;

namespace Pomiar {

struct ProgramContext;

// The chart options dialog, shown modal. Saving writes "Setup\Wykres" and
// tells an open chart to redraw (Zapisano).
class Wykresopcje : public QDialog {
    Q_OBJECT
public:
    explicit Wykresopcje(ProgramContext& context, QWidget* parent = nullptr);

    // Whose decimal separator the number fields take.
    QLocale locale = QLocale::system();

    QCheckBox* chkLiczba = nullptr;
    QLineEdit* txtLiczba = nullptr;
    QLineEdit* txtMax = nullptr;
    QLineEdit* txtMin = nullptr;
    QGroupBox* Frame1 = nullptr;
    QCheckBox* Check1 = nullptr;
    QLineEdit* Text1 = nullptr;
    QLineEdit* Text2 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;

signals:
    void Zapisano();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildWindow();
    void ApplyTexts();
    void Form_Load();
    void UpdateEnabled();
    bool KeyAccepted(QLineEdit* edit, const QKeyEvent& event) const;
    void RefuseKey(QLineEdit* edit) const;
    void Command1_Click();
    void Save();

    ProgramContext& context;
};

} // namespace Pomiar
