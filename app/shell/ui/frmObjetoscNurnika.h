#pragma once

#include <QDialog>

class QGroupBox;
class QLineEdit;
class QPushButton;

namespace Pomiar {

struct ProgramContext;

// The plunger volume entry of the liquid density measurement. No command
// opens it; it is loaded only by a template run, so that a language file
// holds its texts.
class frmObjetoscNurnika : public QDialog {
    Q_OBJECT
public:
    explicit frmObjetoscNurnika(const ProgramContext& context, QWidget* parent = nullptr);

    QGroupBox* Frame1 = nullptr;
    QLineEdit* Text1 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
};

} // namespace Pomiar
