#include "Wykresopcje.h"

#include "PerUserSettings.h"
#include "ProgramContext.h"
#include "UserDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>
#include <algorithm>

namespace Pomiar {

namespace {

const QString langSection = QStringLiteral("D11");

QString checkText(bool checked) {
    return checked ? QStringLiteral("1") : QStringLiteral("0");
}

bool isEditingKey(QChar c) {
    return c.unicode() < 0x20 || c.unicode() == 0x7f;
}

} // namespace

Wykresopcje::Wykresopcje(ProgramContext& context, QWidget* parent)
    : QDialog(parent), context(context) {
    setObjectName(QStringLiteral("Wykresopcje"));
    setWindowTitle(QStringLiteral("Ustawienia wykresu"));
    BuildWindow();
    ApplyTexts();
    Form_Load();
}

void Wykresopcje::BuildWindow() {
    const auto field = [this](const char* name, NumberField pole) {
        auto* edit = new QLineEdit;
        edit->setObjectName(QLatin1String(name));
        edit->setProperty("pole", int(pole));
        edit->installEventFilter(this);
        return edit;
    };
    chkLiczba = new QCheckBox(QStringLiteral("Pokazuj ostatnie pomiary"));
    chkLiczba->setObjectName(QStringLiteral("chkLiczba"));
    txtLiczba = field("txtLiczba", NumberField::Count);
    txtMax = field("txtMax", NumberField::Limit);
    txtMin = field("txtMin", NumberField::Limit);
    auto* lastForm = new QFormLayout;
    lastForm->addRow(QStringLiteral("Liczba ostatnich pomiarow:"), txtLiczba);
    lastForm->addRow(QStringLiteral("Gorna granica:"), txtMax);
    lastForm->addRow(QStringLiteral("Dolna granica:"), txtMin);

    Frame1 = new QGroupBox(QStringLiteral("Os OY"));
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Check1 = new QCheckBox(QStringLiteral("Dopasuj automatycznie"));
    Check1->setObjectName(QStringLiteral("Check1"));
    Text1 = field("Text1", NumberField::Range);
    Text2 = field("Text2", NumberField::Range);
    auto* rangeForm = new QFormLayout(Frame1);
    rangeForm->addRow(Check1);
    rangeForm->addRow(QStringLiteral("Min:"), Text1);
    rangeForm->addRow(QStringLiteral("Max:"), Text2);

    Command1 = new QPushButton(QStringLiteral("&Zapisz"));
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setDefault(true);
    Command2 = new QPushButton(QStringLiteral("&Anuluj"));
    Command2->setObjectName(QStringLiteral("Command2"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(chkLiczba);
    layout->addLayout(lastForm);
    layout->addWidget(Frame1);
    layout->addLayout(buttons);

    connect(chkLiczba, &QCheckBox::toggled, this, &Wykresopcje::UpdateEnabled);
    connect(Check1, &QCheckBox::toggled, this, &Wykresopcje::UpdateEnabled);
    connect(Command1, &QPushButton::clicked, this, &Wykresopcje::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &QDialog::reject);
}

void Wykresopcje::ApplyTexts() {
    setWindowTitle(context.Lang(langSection, QStringLiteral("x"), windowTitle()));
    for (QCheckBox* box : {chkLiczba, Check1})
        box->setText(context.Lang(langSection, box->text(), box->text()));
    for (QPushButton* button : {Command1, Command2})
        button->setText(context.Lang(langSection, button->text(), button->text()));
    Frame1->setTitle(context.Lang(langSection, Frame1->title(), Frame1->title()));
    for (QLabel* label : findChildren<QLabel*>())
        label->setText(context.Lang(langSection, label->text(), label->text()));
}

void Wykresopcje::Form_Load() {
    const PerUserSettings* settings = context.userSettings.get();
    const auto get = [settings](const QString& key, const QString& missing = QString()) {
        return settings ? settings->GetSetting(ChartOptions::Section, key, missing) : missing;
    };
    // A missing switch shows what the chart does without it: all readings
    // on an automatic axis.
    Check1->setChecked(
        ChartOptions::ParseNumber(get(ChartOptions::KeyOYAuto, QStringLiteral("1"))) != 0);
    Text1->setText(get(ChartOptions::KeyOYMin));
    Text2->setText(get(ChartOptions::KeyOYMax));
    chkLiczba->setChecked(ChartOptions::ParseNumber(get(ChartOptions::KeyLiczba)) == 1);
    txtLiczba->setText(get(ChartOptions::KeyLiczbaPom));
    txtMax->setText(get(ChartOptions::KeyMax));
    txtMin->setText(get(ChartOptions::KeyMin));
    UpdateEnabled();
}

void Wykresopcje::UpdateEnabled() {
    for (QLineEdit* edit : {txtLiczba, txtMax, txtMin})
        edit->setEnabled(chkLiczba->isChecked());
    for (QLineEdit* edit : {Text1, Text2})
        edit->setEnabled(!Check1->isChecked());
}

bool Wykresopcje::eventFilter(QObject* watched, QEvent* event) {
    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (!edit)
        return QDialog::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress) {
        if (!KeyAccepted(edit, *static_cast<QKeyEvent*>(event))) {
            RefuseKey(edit);
            return true;
        }
    } else if (event->type() == QEvent::FocusIn && (edit == Text1 || edit == Text2)) {
        // After the focus a mouse click would place the cursor and drop a
        // selection made now.
        QTimer::singleShot(0, edit, &QLineEdit::selectAll);
    }
    return QDialog::eventFilter(watched, event);
}

// Editing keys (Backspace, Delete, copy, select all) pass; pasting does
// not, as it would bypass the check of what is typed.
bool Wykresopcje::KeyAccepted(QLineEdit* edit, const QKeyEvent& event) const {
    if (event.matches(QKeySequence::Paste))
        return false;
    const QString typed = event.text();
    if (std::all_of(typed.begin(), typed.end(), isEditingKey))
        return true;
    QString kept = edit->text();
    if (edit->hasSelectedText())
        kept.remove(edit->selectionStart(), edit->selectedText().size());
    return TypedTextAccepted(NumberField(edit->property("pole").toInt()), typed, kept, locale);
}

// A refused key is not dropped unseen: the field says what it takes.
void Wykresopcje::RefuseKey(QLineEdit* edit) const {
    QApplication::beep();
    QStringList taken{QStringLiteral("0-9")};
    for (const QChar c : FieldCharacters(NumberField(edit->property("pole").toInt()), locale))
        taken << QString(c);
    QToolTip::showText(edit->mapToGlobal(QPoint(0, edit->height())), taken.join(QLatin1Char(' ')),
                       edit);
}

void Wykresopcje::Command1_Click() {
    const ChartOptionFields pola{chkLiczba->isChecked(), txtLiczba->text(),   txtMax->text(),
                                 txtMin->text(),         Check1->isChecked(), Text1->text(),
                                 Text2->text()};
    const std::optional<int> message = CheckChartOptions(pola);
    if (!message) {
        Save();
        return;
    }
    if (*message == 0)
        return;
    const int title = *message == 19 ? 45 : 46;
    context.dialogs->MessageBox(this, context.Msg(*message), MsgButtons::Ok, MsgIcon::None,
                                context.Msg(title));
}

void Wykresopcje::Save() {
    if (PerUserSettings* settings = context.userSettings.get()) {
        const auto save = [settings](const QString& key, const QString& value) {
            settings->SaveSetting(ChartOptions::Section, key, value);
        };
        save(ChartOptions::KeyOYAuto, checkText(Check1->isChecked()));
        save(ChartOptions::KeyOYMax, Text2->text());
        save(ChartOptions::KeyOYMin, Text1->text());
        save(ChartOptions::KeyLiczba, checkText(chkLiczba->isChecked()));
        save(ChartOptions::KeyLiczbaPom, txtLiczba->text());
        save(ChartOptions::KeyMax, txtMax->text());
        save(ChartOptions::KeyMin, txtMin->text());
    }
    emit Zapisano();
    accept();
}

} // namespace Pomiar
