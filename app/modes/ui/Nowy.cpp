#include "Nowy.h"

#include "CycleGate.h"
#include "CycleSettings.h"
#include "Database.h"
#include "FormTexts.h"
#include "LanguageTexts.h"
#include "ProgramContext.h"
#include "ReadingHandler.h"
#include "UserDialogs.h"

#include <QDialogButtonBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace Pomiar {

namespace {

// Nine digits always fit the 32-bit seconds the gate reads back.
constexpr int MaxDigits = 9;

QPushButton* NamedButton(const QString& text, const QString& name) {
    auto* button = new QPushButton(text);
    button->setObjectName(name);
    return button;
}

QLabel* NamedLabel(const QString& text, const QString& name, QWidget* buddy) {
    auto* label = new QLabel(text);
    label->setObjectName(name);
    label->setBuddy(buddy);
    return label;
}

} // namespace

Nowy::Nowy(ProgramContext& context, CycleGate& gate, bool newMode, QWidget* parent)
    : QDialog(parent), context(context), gate(gate), newMode(newMode), recordedRow(gate.Cursor()) {
    setObjectName(QStringLiteral("Nowy"));
    setWindowTitle(QStringLiteral("Nowy cykl"));
    setModal(true);
    BuildWindow();
    if (!newMode && gate.Cursor() >= 0) {
        const CycleGate::Row& row = gate.RowAt(gate.Cursor());
        Text1->setText(row.start.toString());
        Text2->setText(row.stop.toString());
    }
    ApplyFormTexts(context, this);
    // The editing caption is a text of its own in the window's section.
    if (!newMode) {
        const QString editing = QStringLiteral("Edytuj cykl");
        setWindowTitle(context.programFolder.isEmpty()
                           ? editing
                           : context.Lang(QStringLiteral("D5"), editing, editing));
    }
}

QLineEdit* Nowy::SecondsField(const QString& name) {
    auto* field = new QLineEdit;
    field->setObjectName(name);
    field->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), field));
    field->setMaxLength(MaxDigits);
    field->setAlignment(Qt::AlignRight);
    field->installEventFilter(this);
    return field;
}

void Nowy::BuildWindow() {
    Text1 = SecondsField(QStringLiteral("Text1"));
    Text2 = SecondsField(QStringLiteral("Text2"));
    Label1 = NamedLabel(QStringLiteral("Start:"), QStringLiteral("Label1"), Text1);
    Label2 = NamedLabel(QStringLiteral("Stop:"), QStringLiteral("Label2"), Text2);

    Frame1 = new QGroupBox(QStringLiteral("Wpisz dane cyklu"));
    Frame1->setObjectName(QStringLiteral("Frame1"));
    auto* grid = new QGridLayout(Frame1);
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(Text1, 0, 1);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(Text2, 1, 1);
    grid->setColumnStretch(1, 1);

    Command1 = NamedButton(QStringLiteral("&Zatwierdz"), QStringLiteral("Command1"));
    Command1->setDefault(true);
    Command2 = NamedButton(QStringLiteral("&Anuluj"), QStringLiteral("Command2"));
    auto* buttons = new QDialogButtonBox;
    buttons->addButton(Command1, QDialogButtonBox::AcceptRole);
    buttons->addButton(Command2, QDialogButtonBox::RejectRole);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Frame1);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    Frame1->setMinimumWidth(220);

    connect(Command1, &QPushButton::clicked, this, &Nowy::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Nowy::reject);
}

bool Nowy::eventFilter(QObject* watched, QEvent* event) {
    // Selecting at once would be undone by the mouse press that gave the
    // focus; selecting after it keeps the whole text marked for typing over.
    if (event->type() == QEvent::FocusIn && (watched == Text1 || watched == Text2))
        QMetaObject::invokeMethod(static_cast<QLineEdit*>(watched), &QLineEdit::selectAll,
                                  Qt::QueuedConnection);
    return QDialog::eventFilter(watched, event);
}

void Nowy::Command1_Click() {
    if (const auto message = CycleSettings::CheckRange(Text1->text(), Text2->text())) {
        ShowMessage(context.Msg(*message), 46);
        return;
    }
    if (!newMode && gate.Cursor() < 0) {
        const QString text = QString::fromLatin1(NoRowText);
        ShowMessage(context.Lang(QStringLiteral("D5"), text, text), 46);
        return;
    }
    try {
        if (Write(static_cast<int>(ReadingHandler::NumberAtFront(Text1->text())),
                  static_cast<int>(ReadingHandler::NumberAtFront(Text2->text())))) {
            gate.SetCursor(0);
            accept();
        }
    } catch (const DatabaseError& error) {
        // Reading the table back failed; the editor stays open for another try.
        if (context.dialogs)
            context.dialogs->MessageBox(
                this,
                QStringLiteral("Error %1 (%2) in procedure Command1_Click of Form Nowy")
                    .arg(error.code)
                    .arg(QString::fromUtf8(error.what())),
                MsgButtons::Ok, MsgIcon::Critical, QString());
    }
}

bool Nowy::Write(int start, int stop) {
    bool refused = false;
    try {
        if (newMode)
            gate.Insert(start, stop);
        else
            gate.UpdateCurrent(start, stop);
    } catch (const DatabaseError&) {
        refused = true;
    }
    if (refused)
        ShowMessage(context.Msg(12), 47);
    gate.Reload();
    if (refused)
        gate.SetCursor(recordedRow);
    return !refused;
}

void Nowy::ShowMessage(const QString& text, int titleIndex) {
    if (context.dialogs)
        context.dialogs->MessageBox(this, text, MsgButtons::Ok, MsgIcon::None,
                                    context.Msg(titleIndex));
}

} // namespace Pomiar
