#include "RegisterEntryDialog.h"

#include "CheckReportText.h"
#include "CheckTexts.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>

namespace Pomiar {

namespace {

QString Shown(double value) {
    return value == 0 ? QString() : CheckReportText::Number(value, QLocale::c());
}

std::optional<double> Read(const QLineEdit* field) {
    QString text = field->text().trimmed();
    if (text.isEmpty())
        return 0.0;
    text.replace(u',', u'.');
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok && value >= 0 ? std::optional<double>(value) : std::nullopt;
}

} // namespace

RegisterEntryDialog::RegisterEntryDialog(const TestWeight& weight, const CheckTexts& texts,
                                         QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("RegisterEntryDialog"));
    setWindowTitle(texts("Odwaznik wzorcowy"));
    auto* form = new QFormLayout;
    add(form, texts("Id"), weight.id);
    add(form, texts("Wartosc nominalna"), Shown(weight.nominal));
    add(form, texts("Masa umowna"), Shown(weight.conventionalMass));
    add(form, texts("Jm"), weight.unit);
    add(form, texts("Klasa"), weight.weightClass);
    add(form, texts("Swiadectwo"), weight.certificate);
    add(form, texts("Wazne do"),
        weight.certificateDue ? weight.certificateDue->toString(Qt::ISODate) : QString());
    add(form, texts("Niepewnosc"), weight.uncertainty ? Shown(*weight.uncertainty) : QString());
    fields[6]->setPlaceholderText(QStringLiteral("yyyy-mm-dd"));
    finish(form, texts);
}

RegisterEntryDialog::RegisterEntryDialog(const RegisteredBalance& balance, const CheckTexts& texts,
                                         QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("RegisterEntryDialog"));
    setWindowTitle(texts("Waga"));
    auto* form = new QFormLayout;
    add(form, texts("Id"), balance.id);
    add(form, texts("Model"), balance.model);
    add(form, texts("Numer seryjny"), balance.serialNumber);
    add(form, texts("Obciazenie maks."), Shown(balance.capacity));
    add(form, texts("Dzialka d"), Shown(balance.d));
    add(form, texts("Jm"), balance.unit);
    add(form, texts("Stanowisko"), balance.station);
    finish(form, texts);
}

QLineEdit* RegisterEntryDialog::add(QFormLayout* form, const QString& caption,
                                    const QString& value) {
    auto* field = new QLineEdit(value, this);
    form->addRow(caption, field);
    fields << field;
    return field;
}

void RegisterEntryDialog::finish(QFormLayout* form, const CheckTexts& texts) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(texts("Zamknij"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
    setLayout(form);
}

std::optional<TestWeight> RegisterEntryDialog::Weight() const {
    if (fields.size() != 8 || fields[0]->text().trimmed().isEmpty())
        return std::nullopt;
    TestWeight weight;
    weight.id = fields[0]->text().trimmed();
    const auto nominal = Read(fields[1]), mass = Read(fields[2]), uncertainty = Read(fields[7]);
    if (!nominal || !mass || !uncertainty)
        return std::nullopt;
    weight.nominal = *nominal;
    weight.conventionalMass = *mass > 0 ? *mass : *nominal;
    weight.unit =
        fields[3]->text().trimmed().isEmpty() ? QStringLiteral("g") : fields[3]->text().trimmed();
    weight.weightClass = fields[4]->text().trimmed();
    weight.certificate = fields[5]->text().trimmed();
    const QString due = fields[6]->text().trimmed();
    if (!due.isEmpty()) {
        const QDate date = QDate::fromString(due, Qt::ISODate);
        if (!date.isValid())
            return std::nullopt;
        weight.certificateDue = date;
    }
    if (!fields[7]->text().trimmed().isEmpty())
        weight.uncertainty = *uncertainty;
    return weight;
}

std::optional<RegisteredBalance> RegisterEntryDialog::Balance() const {
    if (fields.size() != 7 || fields[0]->text().trimmed().isEmpty())
        return std::nullopt;
    RegisteredBalance balance;
    balance.id = fields[0]->text().trimmed();
    balance.model = fields[1]->text().trimmed();
    balance.serialNumber = fields[2]->text().trimmed();
    const auto capacity = Read(fields[3]), d = Read(fields[4]);
    if (!capacity || !d)
        return std::nullopt;
    balance.capacity = *capacity;
    balance.d = *d;
    balance.unit =
        fields[5]->text().trimmed().isEmpty() ? QStringLiteral("g") : fields[5]->text().trimmed();
    balance.station = fields[6]->text().trimmed();
    return balance;
}

} // namespace Pomiar
