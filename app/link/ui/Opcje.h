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
class QTimer;

namespace Mordal {
class Comm;
}

namespace Pomiar {

struct ProgramContext;
class frmCommSelect;

// The options dialog: the link (through the communication source dialog),
// the mass format and the switches of the run kept in memory.
class Opcje : public QDialog {
    Q_OBJECT
public:
    // Shows the communication source dialog and returns once it is closed;
    // the program runs it modal, tests answer it directly.
    using CommSelectRunner = std::function<void(frmCommSelect&)>;

    Opcje(ProgramContext& context, Mordal::Comm* comm, QTimer* tmrEthernet,
          QWidget* parent = nullptr);

    // When the link could not be opened at start the user must confirm a
    // setting: "&Anuluj" (and closing the window) is then unavailable.
    void SetCancelAvailable(bool available);
    bool CancelAvailable() const;
    // The link settings confirmed with "Zapisz" and opened; nothing when the
    // dialog was cancelled. The acquisition takes the balance's family from
    // them.
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
    void ConfigureAndOpenLink(const LinkSettings& link);
    // The link is closed and its reconnection stopped while the
    // communication source dialog is open; a cancel puts both back as they
    // were.
    void TakeLinkDown();
    void PutLinkBack();
    void TakeSwitches();
    void ShowProcedureError(int number, const QString& description, const QString& procedure);

    ProgramContext& context;
    Mordal::Comm* comm;
    QTimer* tmrEthernet;
    CommSelectRunner runCommSelect;

    struct LinkBefore {
        bool open;
        bool reconnecting;
    };
    // Set while this dialog holds the link down.
    std::optional<LinkBefore> linkBefore;
    std::optional<LinkSettings> appliedLink;
};

} // namespace Pomiar
