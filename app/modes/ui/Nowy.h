#pragma once

#include <QDialog>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace Pomiar {

class CycleGate;
struct ProgramContext;

// The editor of one cycle window: a new row, or the row under the gate's
// cursor. It stays open until a window is saved or the user cancels.
class Nowy : public QDialog {
    Q_OBJECT
public:
    Nowy(ProgramContext& context, CycleGate& gate, bool newMode, QWidget* parent = nullptr);

    bool NewMode() const { return newMode; }

    // The text shown when there is no row to change (edit mode, empty table).
    static constexpr const char* NoRowText = "Brak zakresu do edycji. Dodaj nowy zakres.";

    QGroupBox* Frame1 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* Text1 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* Text2 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildWindow();
    QLineEdit* SecondsField(const QString& name);
    void Command1_Click();
    // False when the database refused the window.
    bool Write(int start, int stop);
    void ShowMessage(const QString& text, int titleIndex);

    ProgramContext& context;
    CycleGate& gate;
    bool newMode;
    int recordedRow;
};

} // namespace Pomiar
