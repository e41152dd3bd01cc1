#pragma once

#include <QDialog>
#include <QLocale>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace Pomiar {

class CycleGate;
class CycleWindowsModel;
struct ProgramContext;

// The cycle settings: the reading interval of automatic work, the switch of
// cycle work and the list of windows. Not modal and kept above the other
// windows; what it sets takes effect when it closes (Closed), except the
// list, which moves and edits the gate's own rows at once.
class Cykl : public QDialog {
    Q_OBJECT
public:
    Cykl(ProgramContext& context, CycleGate& gate, QWidget* parent = nullptr);

    CycleWindowsModel* Model() const { return model; }
    bool StaysOnTop() const;

    // The separator the interval is shown with; set before the dialog shows.
    QLocale locale = QLocale::system();

    QGroupBox* Frame1 = nullptr;
    QLineEdit* Text1 = nullptr;
    QLabel* lblCzasCyklu = nullptr;
    QGroupBox* Frame2 = nullptr;
    QCheckBox* Check1 = nullptr;
    QGroupBox* Frame3 = nullptr;
    QTableView* DataGrid1 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command4 = nullptr;

public slots:
    void done(int result) override;

signals:
    // The interval in ticks and the switch, as stored on closing: the main
    // window takes lTim2 and sets the picture of the "cykl" button.
    void Closed(int lTim2, bool cycleWorkOn);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildWindow();
    QGroupBox* BuildRangesFrame();
    void Form_Load();
    void Form_Unload();
    void Text1_Validate();
    void Check1_Click();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    // The editor of a cycle window (Nowy), modal in front of this one.
    void OpenWindowEditor(bool newMode);
    void SetStaysOnTop(bool onTop);
    void ShowCursor(int row);
    void ShowProcedureError(int number, const QString& description, const QString& procedure);

    ProgramContext& context;
    CycleGate& gate;
    CycleWindowsModel* model = nullptr;
    bool loaded = false;
};

} // namespace Pomiar
