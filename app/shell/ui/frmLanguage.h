#pragma once

#include <QDialog>

class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace Pomiar {

struct ProgramContext;

// The language chooser: lists the language files ("*.lag") of the language
// folder and stores the chosen one in ustawienia.ini; it takes effect at the
// next start. Its own texts are never translated, so that a user lost in a
// foreign language file can still find the way back.
class frmLanguage : public QDialog {
    Q_OBJECT
public:
    explicit frmLanguage(const ProgramContext& context, QWidget* parent = nullptr);

    QGroupBox* Frame1 = nullptr;
    QListWidget* File1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* lblCurrent = nullptr;
    QPushButton* cmdOk = nullptr;
    QPushButton* cmdCancel = nullptr;

private:
    void FillFileList();
    void cmdOk_Click();

    const ProgramContext& context;
};

} // namespace Pomiar
