#pragma once

#include "CheckRunner.h"
#include "CheckTexts.h"

#include <QDialog>
#include <functional>

class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTableWidget;
class QVBoxLayout;

namespace Pomiar {

class CheckReadingSource;
class CheckRegister;
struct ProgramContext;

// "Kontrola wagi": the register of test weights and balances, the three
// checks run as guided steps (what to do, the current reading, confirm or
// cancel), and the history of this station's checks with their reports.
class KontrolaWagi : public QDialog {
    Q_OBJECT
public:
    KontrolaWagi(ProgramContext& context, CheckRegister& checks, CheckReadingSource& source,
                 QWidget* parent = nullptr);
    ~KontrolaWagi() override;

    // What the balance shows now, as it comes.
    void ShowCurrentReading(const QString& text);
    // The register and the history read again.
    void Reload();
    // Picks the check's inputs (for tests and the command that opens the
    // window on a due check).
    void ChooseCheck(CheckKind kind, const QString& balanceId, const QString& weightId = {});

    // Starts the check the form describes; false when it did not start (the
    // reason shown).
    bool StartCheck();
    void ConfirmStep();
    void CancelCheck();
    CheckRunner& Runner() { return runner; }

    // Called with the check's running state (the store holds nothing back
    // while a check takes its readings) and with every finished check.
    std::function<void(bool running)> checkRunning;
    std::function<void(const CheckRecord&)> checkFinished;

    QTabWidget* tabs = nullptr;
    QTableWidget* weights = nullptr;
    QTableWidget* balances = nullptr;
    QComboBox* kind = nullptr;
    QComboBox* balance = nullptr;
    QComboBox* weight = nullptr;
    QSpinBox* count = nullptr;
    QLineEdit* testMass = nullptr;
    QLineEdit* smallestNet = nullptr;
    QPushButton* start = nullptr;
    QPushButton* confirm = nullptr;
    QPushButton* cancel = nullptr;
    QLabel* prompt = nullptr;
    QLabel* currentReading = nullptr;
    QTableWidget* readings = nullptr;
    QLabel* result = nullptr;
    QTableWidget* history = nullptr;
    QPushButton* report = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* buildRegister();
    QWidget* buildCheck();
    QFormLayout* buildCheckForm(QWidget* page);
    QVBoxLayout* buildCheckRun(QWidget* page);
    QWidget* buildHistory();
    void fillRegister();
    void fillHistory();
    void editWeight(bool add);
    void editBalance(bool add);
    void showStep(const CheckStep& step);
    void showReading(const CheckReading& reading, int index);
    void showFinished(const CheckRecord& record);
    void showRunning(bool running);
    void showReport();
    void tell(const QString& text);
    // A weight past its certificate's due date only with the operator's
    // consent; false when refused.
    bool acceptWeight(const TestWeight& chosen);
    double number(const QLineEdit* field) const;

    ProgramContext& context;
    CheckRegister& checks;
    CheckRunner runner;
    CheckTexts texts;
    QList<CheckRecord> shownHistory;
};

} // namespace Pomiar
