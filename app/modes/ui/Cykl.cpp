#include "Cykl.h"

#include "CycleGate.h"
#include "CycleSettings.h"
#include "CycleWindowsModel.h"
#include "Database.h"
#include "FormTexts.h"
#include "LanguageTexts.h"
#include "Nowy.h"
#include "PerUserSettings.h"
#include "ProcedureError.h"
#include "ProgramContext.h"
#include "UserDialogs.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTableView>
#include <QVBoxLayout>

namespace Pomiar {

namespace {

QPushButton* NamedButton(const QString& text, const QString& name) {
    auto* button = new QPushButton(text);
    button->setObjectName(name);
    // Return in the interval field confirms the field, it must not press a
    // button of the list.
    button->setAutoDefault(false);
    return button;
}

QGroupBox* NamedFrame(const QString& title, const QString& name) {
    auto* frame = new QGroupBox(title);
    frame->setObjectName(name);
    return frame;
}

} // namespace

Cykl::Cykl(ProgramContext& context, CycleGate& gate, QWidget* parent)
    : QDialog(parent), context(context), gate(gate), model(new CycleWindowsModel(gate, this)) {
    setObjectName(QStringLiteral("Cykl"));
    setWindowTitle(QStringLiteral("Ustawienia cyklu"));
    setModal(false);
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    BuildWindow();

    connect(&gate, &CycleGate::CursorChanged, this, &Cykl::ShowCursor);
    connect(&gate, &CycleGate::RowsReloaded, this, [this] { ShowCursor(this->gate.Cursor()); });
    ShowCursor(gate.Cursor());
    ApplyFormTexts(context, this);
}

void Cykl::BuildWindow() {
    Text1 = new QLineEdit;
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setAlignment(Qt::AlignRight);
    lblCzasCyklu = new QLabel;
    lblCzasCyklu->setObjectName(QStringLiteral("lblCzasCyklu"));
    lblCzasCyklu->setMinimumWidth(lblCzasCyklu->fontMetrics().horizontalAdvance("000:00:00,5"));
    Frame1 = NamedFrame(QStringLiteral("Odczyt z wagi co (s):"), QStringLiteral("Frame1"));
    auto* intervalRow = new QHBoxLayout(Frame1);
    intervalRow->addWidget(Text1, 1);
    intervalRow->addWidget(lblCzasCyklu);

    Check1 = new QCheckBox(QStringLiteral("Wlaczona"));
    Check1->setObjectName(QStringLiteral("Check1"));
    Frame2 = NamedFrame(QStringLiteral("Praca cykliczna:"), QStringLiteral("Frame2"));
    auto* switchRow = new QHBoxLayout(Frame2);
    switchRow->addWidget(Check1);
    switchRow->addStretch(1);

    auto* topRow = new QHBoxLayout;
    topRow->addWidget(Frame1, 3);
    topRow->addWidget(Frame2, 2);

    Command4 = NamedButton(QStringLiteral("&Wyjscie"), QStringLiteral("Command4"));
    auto* closeRow = new QHBoxLayout;
    closeRow->addStretch(1);
    closeRow->addWidget(Command4);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(topRow);
    layout->addWidget(BuildRangesFrame(), 1);
    layout->addLayout(closeRow);

    connect(Text1, &QLineEdit::editingFinished, this, &Cykl::Text1_Validate);
    connect(Check1, &QCheckBox::toggled, this, &Cykl::Check1_Click);
    connect(Command1, &QPushButton::clicked, this, &Cykl::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Cykl::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Cykl::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Cykl::reject);
}

QGroupBox* Cykl::BuildRangesFrame() {
    DataGrid1 = new QTableView;
    DataGrid1->setObjectName(QStringLiteral("DataGrid1"));
    DataGrid1->setModel(model);
    DataGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    DataGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    DataGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DataGrid1->verticalHeader()->hide();
    DataGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    DataGrid1->setMinimumHeight(160);
    connect(DataGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid())
                    gate.SetCursor(current.row());
            });

    Command1 = NamedButton(QStringLiteral("&Nowy"), QStringLiteral("Command1"));
    Command2 = NamedButton(QStringLiteral("&Edytuj"), QStringLiteral("Command2"));
    Command3 = NamedButton(QStringLiteral("&Usun"), QStringLiteral("Command3"));
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    buttons->addWidget(Command3);
    buttons->addStretch(1);

    Frame3 = NamedFrame(QStringLiteral("Zakresy cykli (sekundy)"), QStringLiteral("Frame3"));
    auto* row = new QHBoxLayout(Frame3);
    row->addWidget(DataGrid1, 1);
    row->addLayout(buttons);
    // Switching cycle work off hides the list; the window keeps its size.
    for (QWidget* inside : {static_cast<QWidget*>(DataGrid1), static_cast<QWidget*>(Command1),
                            static_cast<QWidget*>(Command2), static_cast<QWidget*>(Command3)}) {
        QSizePolicy policy = inside->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        inside->setSizePolicy(policy);
    }
    return Frame3;
}

bool Cykl::StaysOnTop() const {
    return windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

void Cykl::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Dropping and restoring the stay-on-top flag around the editor shows the
    // window again; only a real opening loads the settings.
    if (!loaded) {
        loaded = true;
        Form_Load();
    }
}

void Cykl::Form_Load() {
    if (context.userSettings) {
        const PerUserSettings& settings = *context.userSettings;
        Text1->setText(settings.GetSetting(CycleSettings::Section, CycleSettings::KeyTimer));
        Check1->setChecked(CycleSettings::CycleWorkOn(settings));
    }
    Check1_Click();
    lblCzasCyklu->setText(CycleSettings::IntervalLabel(Text1->text(), locale));
    ShowCursor(gate.Cursor());
}

void Cykl::done(int result) {
    if (loaded) {
        loaded = false;
        Form_Unload();
    }
    QDialog::done(result);
}

void Cykl::Form_Unload() {
    try {
        if (context.userSettings) {
            PerUserSettings& settings = *context.userSettings;
            settings.SaveSetting(CycleSettings::Section, CycleSettings::KeyTimer, Text1->text());
            settings.SaveSetting(CycleSettings::Section, CycleSettings::KeyCykl,
                                 Check1->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
        }
        emit Closed(CycleSettings::Ticks(Text1->text()), Check1->isChecked());
        gate.LoadFirstRange();
    } catch (const DatabaseError& error) {
        ShowProcedureError(error.code, QString::fromUtf8(error.what()),
                           QStringLiteral("Form_Unload"));
    }
}

void Cykl::Text1_Validate() {
    Text1->setText(CycleSettings::ValidateInterval(Text1->text(), locale));
    lblCzasCyklu->setText(CycleSettings::IntervalLabel(Text1->text(), locale));
}

void Cykl::Check1_Click() {
    const bool on = Check1->isChecked();
    Frame3->setEnabled(on);
    DataGrid1->setVisible(on);
    Command1->setVisible(on);
    Command2->setVisible(on);
    Command3->setVisible(on);
}

void Cykl::Command1_Click() {
    OpenWindowEditor(true);
}

void Cykl::Command2_Click() {
    OpenWindowEditor(false);
}

void Cykl::OpenWindowEditor(bool newMode) {
    // The editor opens in front of this window, which must not cover it.
    SetStaysOnTop(false);
    {
        Nowy editor(context, gate, newMode, this);
        context.dialogs->RunModal(editor);
    }
    SetStaysOnTop(true);
}

void Cykl::Command3_Click() {
    try {
        gate.DeleteCurrent();
    } catch (const DatabaseError& error) {
        ShowProcedureError(error.code, QString::fromUtf8(error.what()),
                           QStringLiteral("Command3_Click"));
    }
}

void Cykl::SetStaysOnTop(bool onTop) {
    if (StaysOnTop() == onTop)
        return;
    // Changing a window flag hides the window; it must come back where it was.
    const bool wasVisible = isVisible();
    const QPoint at = pos();
    setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    if (wasVisible) {
        move(at);
        show();
    }
}

void Cykl::ShowCursor(int row) {
    QItemSelectionModel* selection = DataGrid1->selectionModel();
    if (row < 0 || row >= model->rowCount()) {
        selection->clear();
        return;
    }
    if (DataGrid1->currentIndex().row() != row)
        selection->setCurrentIndex(model->index(row, 0),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void Cykl::ShowProcedureError(int number, const QString& description, const QString& procedure) {
    if (context.dialogs)
        Pomiar::ShowProcedureError(*context.dialogs, this, number, description, procedure,
                                   objectName());
}

} // namespace Pomiar
