#include "Opcje.h"

#include "FormTexts.h"
#include "LanguageTexts.h"
#include "LinkOwner.h"
#include "ProcedureError.h"
#include "ProgramContext.h"
#include "UserDialogs.h"
#include "frmCommSelect.h"
#include "mUstawienia.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace Pomiar {

namespace {

QPushButton* NamedButton(const QString& text, const QString& name) {
    auto* button = new QPushButton(text);
    button->setObjectName(name);
    return button;
}

QGroupBox* NamedFrame(const QString& title, const QString& name) {
    auto* frame = new QGroupBox(title);
    frame->setObjectName(name);
    return frame;
}

} // namespace

Opcje::Opcje(ProgramContext& context, LinkOwner* link, QWidget* parent)
    : QDialog(parent), context(context), link(link),
      runCommSelect([](frmCommSelect& dialog) { dialog.exec(); }) {
    setObjectName(QStringLiteral("Opcje"));
    setWindowTitle(QStringLiteral("Opcje"));
    BuildWindow();
    ShowSettings();
    ApplyFormTexts(context, this);
}

void Opcje::BuildWindow() {
    cmdSettings = NamedButton(QStringLiteral("Komunikacja"), QStringLiteral("cmdSettings"));
    Frame1 = NamedFrame(QStringLiteral("Port wagi:"), QStringLiteral("Frame1"));
    auto* linkRow = new QHBoxLayout(Frame1);
    linkRow->addWidget(cmdSettings);
    linkRow->addStretch(1);

    cmbFormat = new QComboBox;
    cmbFormat->setObjectName(QStringLiteral("cmbFormat"));
    cmbFormat->setEditable(true);
    cmbFormat->setInsertPolicy(QComboBox::NoInsert);
    cmbFormat->addItems({QStringLiteral("#0.0"), QStringLiteral("#0.00"), QStringLiteral("#0.000"),
                         QStringLiteral("#0.0000"), QStringLiteral("#0.00000"),
                         QStringLiteral("#0.000000")});
    Frame3 = NamedFrame(QStringLiteral("Format pomiaru:"), QStringLiteral("Frame3"));
    auto* formatRow = new QHBoxLayout(Frame3);
    formatRow->addWidget(cmbFormat, 1);

    auto* topRow = new QHBoxLayout;
    topRow->addWidget(Frame1, 1);
    topRow->addWidget(Frame3, 1);

    chkShowNote = new QCheckBox(QStringLiteral("Pokaz okno do edycji opisu dla nowych pomiarow"));
    chkShowNote->setObjectName(QStringLiteral("chkShowNote"));
    chkShowSave =
        new QCheckBox(QStringLiteral("Wyswietl komunikat przypominajacy o zapisaniu pomiarow"));
    chkShowSave->setObjectName(QStringLiteral("chkShowSave"));

    Command1 = NamedButton(QStringLiteral("&Zatwierdz"), QStringLiteral("Command1"));
    Command1->setDefault(true);
    Command2 = NamedButton(QStringLiteral("&Anuluj"), QStringLiteral("Command2"));
    auto* buttons = new QDialogButtonBox;
    buttons->addButton(Command1, QDialogButtonBox::AcceptRole);
    buttons->addButton(Command2, QDialogButtonBox::RejectRole);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(topRow);
    layout->addWidget(BuildFastExportFrame());
    layout->addWidget(chkShowNote);
    layout->addWidget(chkShowSave);
    layout->addSpacing(6);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(cmdSettings, &QPushButton::clicked, this, &Opcje::cmdSettings_Click);
    connect(Command1, &QPushButton::clicked, this, &Opcje::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Opcje::Command2_Click);
}

QGroupBox* Opcje::BuildFastExportFrame() {
    frameFastExport =
        NamedFrame(QStringLiteral("Szybki export"), QStringLiteral("frameFastExport"));
    chkFastExportEnabled = new QCheckBox(QStringLiteral("Aktywuj"));
    chkFastExportEnabled->setObjectName(QStringLiteral("chkFastExportEnabled"));
    txtFastExportFile = new QLineEdit;
    txtFastExportFile->setObjectName(QStringLiteral("txtFastExportFile"));
    Label2 = new QLabel(QStringLiteral("Nazwa pliku:"));
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setBuddy(txtFastExportFile);
    chkJournalTrailer =
        new QCheckBox(QStringLiteral("Dopisz na koncu eksportu CSV wiersz dziennika serii"));
    chkJournalTrailer->setObjectName(QStringLiteral("chkJournalTrailer"));

    auto* grid = new QGridLayout(frameFastExport);
    grid->addWidget(chkFastExportEnabled, 0, 0, 1, 2);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(txtFastExportFile, 1, 1);
    grid->addWidget(chkJournalTrailer, 2, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    return frameFastExport;
}

void Opcje::ShowSettings() {
    const Settings& settings = context.settings;
    chkFastExportEnabled->setChecked(settings.fastExportEnabled);
    txtFastExportFile->setText(settings.fastExportFileName);
    chkJournalTrailer->setChecked(settings.journalTrailer);
    chkShowNote->setChecked(settings.pomiarShowNote);
    chkShowSave->setChecked(settings.pomiarShowSave);
    cmbFormat->setEditText(mUstawienia::CzytajMasaFormat(context.IniPath()));
}

void Opcje::SetCancelAvailable(bool available) {
    Command2->setEnabled(available);
}

bool Opcje::CancelAvailable() const {
    return Command2->isEnabled();
}

void Opcje::SetCommSelectRunner(CommSelectRunner runner) {
    runCommSelect = std::move(runner);
}

LinkSettings Opcje::ReadLinkSettingsOrDefaults() const {
    try {
        return LinkSettings::Read(context.IniPath());
    } catch (const SettingsError&) {
        // The dialog then offers sound values; saving it repairs the file.
        return LinkSettings{};
    }
}

void Opcje::cmdSettings_Click() {
    // The link is down while its settings are chosen; a cancel brings it
    // back as it was.
    if (link)
        link->SuspendLink();

    const LinkSettings stored = ReadLinkSettingsOrDefaults();
    frmCommSelect dialog(this, &context);
    dialog.BaudRate = stored.speed;
    dialog.LineFormat = stored.lineFormat;
    dialog.SerialPort = stored.comm;
    dialog.HostIP = stored.hostIP;
    dialog.HostPort = stored.hostPort;
    dialog.Source = stored.type;
    dialog.Dialect = stored.dialect;
    dialog.LoadSettings();
    runCommSelect(dialog);
    if (!dialog.Accepted) {
        if (link)
            link->RestoreLink();
        return;
    }

    LinkSettings chosen;
    chosen.speed = dialog.BaudRate;
    chosen.lineFormat = dialog.LineFormat;
    chosen.comm = dialog.SerialPort;
    chosen.hostIP = dialog.HostIP;
    chosen.hostPort = dialog.HostPort;
    chosen.type = dialog.Source;
    chosen.dialect = dialog.Dialect;
    chosen.Write(context.IniPath());
}

void Opcje::Command1_Click() {
    LinkSettings chosen;
    try {
        chosen = LinkSettings::Read(context.IniPath());
    } catch (const SettingsError& error) {
        // Opening the link with values the user never chose would hide the
        // broken file; the dialog stays open so "Komunikacja" can repair it.
        ShowProcedureError(error.errorNumber, QStringLiteral("Type mismatch"),
                           QStringLiteral("Command1_Click"));
        return;
    }
    if (link)
        link->ApplyLink(chosen);
    appliedLink = chosen;
    mUstawienia::ZapiszMasaFormat(context.IniPath(), cmbFormat->currentText());
    TakeSwitches();
    mUstawienia::ZapiszUstawienia(context.IniPath(), context.settings);
    accept();
}

void Opcje::TakeSwitches() {
    Settings& settings = context.settings;
    settings.fastExportEnabled = chkFastExportEnabled->checkState() != Qt::Unchecked;
    settings.fastExportFileName = txtFastExportFile->text();
    settings.journalTrailer = chkJournalTrailer->isChecked();
    settings.pomiarShowNote = chkShowNote->checkState() != Qt::Unchecked;
    settings.pomiarShowSave = chkShowSave->checkState() != Qt::Unchecked;
}

void Opcje::Command2_Click() {
    // A link taken down for a choice that was saved but not confirmed runs
    // on as before; the saved choice applies at the next confirmation or
    // start.
    if (link)
        link->RestoreLink();
    QDialog::reject();
}

void Opcje::reject() {
    // Escape and the window's close button mean "&Anuluj", and are refused
    // with it.
    if (CancelAvailable())
        Command2_Click();
}

void Opcje::ShowProcedureError(int number, const QString& description, const QString& procedure) {
    if (context.dialogs)
        Pomiar::ShowProcedureError(*context.dialogs, this, number, description, procedure,
                                   objectName());
}

} // namespace Pomiar
