#pragma once

#include "mUstawienia.h"

#include <QDialog>
#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace Pomiar {

class LinkOwner;
struct ProgramContext;
class frmCommSelect;

// The options dialog: the link's settings (through the communication source
// dialog), the mass format and the switches of the run kept in memory. The
// link itself is its owner's: the dialog asks it to go down while its
// settings are chosen, to apply a confirmed choice, or to come back as it
// was.
class Opcje : public QDialog {
    Q_OBJECT
public:
    // Shows the communication source dialog and returns once it is closed;
    // the program runs it modal, tests answer it directly.
    using CommSelectRunner = std::function<void(frmCommSelect&)>;

    // link: the owner of the run's link, not owned; null shows the dialog
    // without a link (its texts only).
    Opcje(ProgramContext& context, LinkOwner* link, QWidget* parent = nullptr);

    // When the link could not be opened at start the user must confirm a
    // setting: "&Anuluj" (and closing the window) is then unavailable.
    void SetCancelAvailable(bool available);
    bool CancelAvailable() const;
    // The link settings confirmed with "Zatwierdz" and applied; nothing when
    // the dialog was cancelled.
    const std::optional<LinkSettings>& AppliedLink() const { return appliedLink; }

    void SetCommSelectRunner(CommSelectRunner runner);

    QGroupBox* Frame1 = nullptr;
    QPushButton* cmdSettings = nullptr;
    QGroupBox* Frame3 = nullptr;
    QComboBox* cmbFormat = nullptr;
    QGroupBox* frameFastExport = nullptr;
    QCheckBox* chkFastExportEnabled = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* txtFastExportFile = nullptr;
    // Every CSV export, fast or chosen, ends with the journal's identity.
    QCheckBox* chkJournalTrailer = nullptr;
    QCheckBox* chkShowNote = nullptr;
    QCheckBox* chkShowSave = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;

public slots:
    void reject() override;

private:
    void BuildWindow();
    QGroupBox* BuildFastExportFrame();
    void ShowSettings();

    void cmdSettings_Click();
    void Command1_Click();
    void Command2_Click();

    // The five link keys, or their defaults when one cannot be read.
    LinkSettings ReadLinkSettingsOrDefaults() const;
    void TakeSwitches();
    void ShowProcedureError(int number, const QString& description, const QString& procedure);

    ProgramContext& context;
    LinkOwner* link;
    CommSelectRunner runCommSelect;
    std::optional<LinkSettings> appliedLink;
};

} // namespace Pomiar
