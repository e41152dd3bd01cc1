#include "Wykresopcje.h"

#include "Odczyt.h"
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
#include <cmath>
#include <limits>

namespace Pomiar {

namespace {

const QString keyLiczba = QStringLiteral("Liczba");
const QString keyLiczbaPom = QStringLiteral("LiczbaPom");
const QString keyMax = QStringLiteral("Max");
const QString keyMin = QStringLiteral("Min");
const QString keyOYAuto = QStringLiteral("OYAuto");
const QString keyOYMin = QStringLiteral("OYMin");
const QString keyOYMax = QStringLiteral("OYMax");
const QString langSection = QStringLiteral("D11");

QString checkText(bool checked) {
    return checked ? QStringLiteral("1") : QStringLiteral("0");
}

// The count as a 16-bit number, as the chart handles it.
int countOf(const QString& text) {
    const double value = std::round(OpcjeWykresu::Liczba(text));
    if (!std::isfinite(value))
        return value > 0 ? std::numeric_limits<qint16>::max() : 0;
    return static_cast<int>(std::clamp(value, 0.0, double(std::numeric_limits<qint16>::max())));
}

bool isEditingKey(QChar c) {
    return c.unicode() < 0x20 || c.unicode() == 0x7f;
}

bool isDecimalSeparator(QChar c, const QLocale& locale) {
    return c == QLatin1Char('.') || locale.decimalPoint() == QString(c);
}

} // namespace

double OpcjeWykresu::Liczba(const QString& text) {
    QString number = text;
    return Odczyt::WartoscLiczbowa(number.replace(QLatin1Char(','), QLatin1Char('.')));
}

QString ZnakiPola(PoleLiczbowe pole, const QLocale& locale) {
    if (pole == PoleLiczbowe::Count)
        return {};
    QString characters = locale.decimalPoint();
    if (!characters.contains(QLatin1Char('.')))
        characters += QLatin1Char('.');
    if (pole == PoleLiczbowe::Range)
        characters += QLatin1Char('-');
    return characters;
}

bool ZnakiPrzyjete(PoleLiczbowe pole, const QString& typed, const QString& kept,
                   const QLocale& locale) {
    const QString extra = ZnakiPola(pole, locale);
    bool separator = std::any_of(kept.begin(), kept.end(),
                                 [&locale](QChar c) { return isDecimalSeparator(c, locale); });
    for (const QChar c : typed) {
        if (c.isDigit() && c.unicode() < 0x80)
            continue;
        if (!extra.contains(c))
            return false;
        if (isDecimalSeparator(c, locale)) {
            // A second separator would cut the number where it stands.
            if (separator)
                return false;
            separator = true;
        }
    }
    return true;
}

OpcjeWykresu OpcjeWykresu::Wczytaj(const PerUserSettings* settings) {
    OpcjeWykresu opcje;
    if (!settings)
        return opcje;
    const auto get = [settings](const QString& key, const QString& missing = QString()) {
        return settings->GetSetting(Section, key, missing);
    };
    opcje.liczba = countOf(get(keyLiczbaPom));
    opcje.ostatnie = Liczba(get(keyLiczba)) == 1 && opcje.liczba >= 1;
    opcje.gorna = Liczba(get(keyMax));
    opcje.dolna = Liczba(get(keyMin));
    opcje.osMin = Liczba(get(keyOYMin));
    opcje.osMax = Liczba(get(keyOYMax));
    opcje.osAuto = Liczba(get(keyOYAuto, QStringLiteral("1"))) != 0 ||
                   !(opcje.osMin < opcje.osMax) || !std::isfinite(opcje.osMax - opcje.osMin);
    return opcje;
}

std::optional<int> SprawdzOpcjeWykresu(const PolaOpcjiWykresu& pola) {
    if (!pola.osAuto) {
        if (pola.osMin.isEmpty() || pola.osMax.isEmpty())
            return 17;
        if (OpcjeWykresu::Liczba(pola.osMax) < OpcjeWykresu::Liczba(pola.osMin))
            return 18;
    }
    if (pola.ostatnie) {
        if (pola.liczba.isEmpty())
            return 0;
        if (countOf(pola.liczba) == 0)
            return 19;
        if (pola.gorna.isEmpty() || pola.dolna.isEmpty())
            return 0;
    }
    return std::nullopt;
}

Wykresopcje::Wykresopcje(ProgramContext& context, QWidget* parent)
    : QDialog(parent), context(context) {
    setObjectName(QStringLiteral("Wykresopcje"));
    setWindowTitle(QStringLiteral("Ustawienia wykresu"));
    BuildWindow();
    ApplyTexts();
    Form_Load();
}

void Wykresopcje::BuildWindow() {
    const auto field = [this](const char* name, PoleLiczbowe pole) {
        auto* edit = new QLineEdit;
        edit->setObjectName(QLatin1String(name));
        edit->setProperty("pole", int(pole));
        edit->installEventFilter(this);
        return edit;
    };
    chkLiczba = new QCheckBox(QStringLiteral("Pokazuj ostatnie pomiary"));
    chkLiczba->setObjectName(QStringLiteral("chkLiczba"));
    txtLiczba = field("txtLiczba", PoleLiczbowe::Count);
    txtMax = field("txtMax", PoleLiczbowe::Limit);
    txtMin = field("txtMin", PoleLiczbowe::Limit);
    auto* lastForm = new QFormLayout;
    lastForm->addRow(QStringLiteral("Liczba ostatnich pomiarow:"), txtLiczba);
    lastForm->addRow(QStringLiteral("Gorna granica:"), txtMax);
    lastForm->addRow(QStringLiteral("Dolna granica:"), txtMin);

    Frame1 = new QGroupBox(QStringLiteral("Os OY"));
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Check1 = new QCheckBox(QStringLiteral("Dopasuj automatycznie"));
    Check1->setObjectName(QStringLiteral("Check1"));
    Text1 = field("Text1", PoleLiczbowe::Range);
    Text2 = field("Text2", PoleLiczbowe::Range);
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
        return settings ? settings->GetSetting(OpcjeWykresu::Section, key, missing) : missing;
    };
    // A missing switch shows what the chart does without it: all readings
    // on an automatic axis.
    Check1->setChecked(OpcjeWykresu::Liczba(get(keyOYAuto, QStringLiteral("1"))) != 0);
    Text1->setText(get(keyOYMin));
    Text2->setText(get(keyOYMax));
    chkLiczba->setChecked(OpcjeWykresu::Liczba(get(keyLiczba)) == 1);
    txtLiczba->setText(get(keyLiczbaPom));
    txtMax->setText(get(keyMax));
    txtMin->setText(get(keyMin));
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
    return ZnakiPrzyjete(PoleLiczbowe(edit->property("pole").toInt()), typed, kept, locale);
}

// A refused key is not dropped unseen: the field says what it takes.
void Wykresopcje::RefuseKey(QLineEdit* edit) const {
    QApplication::beep();
    QStringList taken{QStringLiteral("0-9")};
    for (const QChar c : ZnakiPola(PoleLiczbowe(edit->property("pole").toInt()), locale))
        taken << QString(c);
    QToolTip::showText(edit->mapToGlobal(QPoint(0, edit->height())), taken.join(QLatin1Char(' ')),
                       edit);
}

void Wykresopcje::Command1_Click() {
    const PolaOpcjiWykresu pola{chkLiczba->isChecked(), txtLiczba->text(),   txtMax->text(),
                                txtMin->text(),         Check1->isChecked(), Text1->text(),
                                Text2->text()};
    const std::optional<int> message = SprawdzOpcjeWykresu(pola);
    if (!message) {
        Zapisz();
        return;
    }
    if (*message == 0)
        return;
    const int title = *message == 19 ? 45 : 46;
    context.dialogs->MessageBox(this, context.Msg(*message), MsgButtons::Ok, MsgIcon::None,
                                context.Msg(title));
}

void Wykresopcje::Zapisz() {
    if (PerUserSettings* settings = context.userSettings.get()) {
        const auto save = [settings](const QString& key, const QString& value) {
            settings->SaveSetting(OpcjeWykresu::Section, key, value);
        };
        save(keyOYAuto, checkText(Check1->isChecked()));
        save(keyOYMax, Text2->text());
        save(keyOYMin, Text1->text());
        save(keyLiczba, checkText(chkLiczba->isChecked()));
        save(keyLiczbaPom, txtLiczba->text());
        save(keyMax, txtMax->text());
        save(keyMin, txtMin->text());
    }
    emit Zapisano();
    accept();
}

} // namespace Pomiar
