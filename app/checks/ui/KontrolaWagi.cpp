#include "KontrolaWagi.h"

#include "CheckReadingSource.h"
#include "CheckRegister.h"
#include "CheckReport.h"
#include "CheckReportText.h"
#include "CheckSettings.h"
#include "Database.h"
#include "ProgramContext.h"
#include "RegisterEntryDialog.h"
#include "UserDialogs.h"
#include "mUstawienia.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace Pomiar {

namespace {

QTableWidget* Table(QWidget* parent, const QStringList& columns, const char* name) {
    auto* table = new QTableWidget(0, int(columns.size()), parent);
    table->setObjectName(QLatin1String(name));
    table->setHorizontalHeaderLabels(columns);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

void SetRow(QTableWidget* table, int row, const QStringList& cells) {
    for (int column = 0; column < cells.size(); ++column)
        table->setItem(row, column, new QTableWidgetItem(cells[column]));
}

QString Shown(double value) {
    return CheckReportText::Number(value, QLocale::system());
}

} // namespace

KontrolaWagi::KontrolaWagi(ProgramContext& context, CheckRegister& checks,
                           CheckReadingSource& source, QWidget* parent)
    : QDialog(parent), context(context), checks(checks), runner(source), texts(&context) {
    setObjectName(QStringLiteral("KontrolaWagi"));
    setWindowTitle(texts("Kontrola wagi"));
    runner.SetRegister(&checks, SeriesJournal::Author::Here(context.settings.nrWagi));
    tabs = new QTabWidget(this);
    tabs->addTab(buildRegister(), texts("Rejestr"));
    tabs->addTab(buildCheck(), texts("Kontrola"));
    tabs->addTab(buildHistory(), texts("Historia"));
    auto* close = new QPushButton(texts("Zamknij"), this);
    close->setObjectName(QStringLiteral("cmdZamknij"));
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(close);
    layout->addLayout(bottom);
    resize(900, 560);

    connect(&runner, &CheckRunner::StepReady, this, &KontrolaWagi::showStep);
    connect(&runner, &CheckRunner::ReadingTaken, this, &KontrolaWagi::showReading);
    connect(&runner, &CheckRunner::ReadingFailed, this, [this](const QString& reason) {
        result->setText(texts("Odczyt nieudany: %1").arg(reason));
        confirm->setEnabled(true);
    });
    connect(&runner, &CheckRunner::Finished, this, &KontrolaWagi::showFinished);
    connect(&runner, &CheckRunner::StoreFailed, this, [this](const QString& reason) {
        tell(texts("Nie zapisano kontroli w rejestrze: %1").arg(reason));
    });
    Reload();
    showRunning(false);
}

KontrolaWagi::~KontrolaWagi() {
    if (runner.Running())
        runner.Cancel();
}

QWidget* KontrolaWagi::buildRegister() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    const auto group = [&](const QString& title, QTableWidget*& table, const QStringList& columns,
                           const char* name, auto edit) {
        auto* box = new QGroupBox(title, page);
        auto* boxLayout = new QVBoxLayout(box);
        table = Table(box, columns, name);
        boxLayout->addWidget(table);
        auto* buttons = new QHBoxLayout;
        auto* add = new QPushButton(texts("Dodaj..."), box);
        auto* change = new QPushButton(texts("Edytuj..."), box);
        add->setObjectName(QLatin1String(name) + QStringLiteral("Add"));
        change->setObjectName(QLatin1String(name) + QStringLiteral("Edit"));
        connect(add, &QPushButton::clicked, this, [this, edit] { (this->*edit)(true); });
        connect(change, &QPushButton::clicked, this, [this, edit] { (this->*edit)(false); });
        connect(table, &QTableWidget::cellDoubleClicked, this,
                [this, edit] { (this->*edit)(false); });
        buttons->addWidget(add);
        buttons->addWidget(change);
        buttons->addStretch();
        boxLayout->addLayout(buttons);
        layout->addWidget(box);
    };
    group(texts("Odwazniki wzorcowe"), weights,
          {texts("Id"), texts("Wartosc nominalna"), texts("Masa umowna"), texts("Jm"),
           texts("Klasa"), texts("Swiadectwo"), texts("Wazne do"), texts("Niepewnosc")},
          "weights", &KontrolaWagi::editWeight);
    group(texts("Wagi"), balances,
          {texts("Id"), texts("Model"), texts("Numer seryjny"), texts("Obciazenie maks."),
           texts("Dzialka d"), texts("Jm"), texts("Stanowisko")},
          "balances", &KontrolaWagi::editBalance);
    return page;
}

QWidget* KontrolaWagi::buildCheck() {
    auto* page = new QWidget(this);
    auto* layout = new QHBoxLayout(page);
    layout->addLayout(buildCheckForm(page), 2);
    layout->addLayout(buildCheckRun(page), 3);
    return page;
}

// What the check is of: its kind, balance, weight, count and masses.
QFormLayout* KontrolaWagi::buildCheckForm(QWidget* page) {
    auto* form = new QFormLayout;
    kind = new QComboBox(page);
    kind->setObjectName(QStringLiteral("cboRodzaj"));
    for (const CheckKind each :
         {CheckKind::Repeatability, CheckKind::Accuracy, CheckKind::Eccentricity})
        kind->addItem(texts.KindText(each), int(each));
    balance = new QComboBox(page);
    balance->setObjectName(QStringLiteral("cboWaga"));
    weight = new QComboBox(page);
    weight->setObjectName(QStringLiteral("cboOdwaznik"));
    count = new QSpinBox(page);
    count->setObjectName(QStringLiteral("spnLiczba"));
    count->setRange(CheckCalculation::MinimumReplicates, 100);
    testMass = new QLineEdit(page);
    testMass->setObjectName(QStringLiteral("txtMasaWzorca"));
    smallestNet = new QLineEdit(page);
    smallestNet->setObjectName(QStringLiteral("txtNajmniejszaNetto"));
    form->addRow(texts("Rodzaj kontroli:"), kind);
    form->addRow(texts("Waga:"), balance);
    form->addRow(texts("Odwaznik:"), weight);
    form->addRow(texts("Liczba pomiarow:"), count);
    form->addRow(texts("Masa wzorca:"), testMass);
    form->addRow(texts("Najmniejsza masa netto:"), smallestNet);
    start = new QPushButton(texts("Rozpocznij"), page);
    start->setObjectName(QStringLiteral("cmdRozpocznij"));
    form->addRow(start);
    connect(start, &QPushButton::clicked, this, &KontrolaWagi::StartCheck);
    // Repeatability counts readings and needs the smallest net; the other
    // two weigh a test mass.
    const auto kindChanged = [this] {
        const auto chosen = CheckKind(kind->currentData().toInt());
        count->setEnabled(chosen == CheckKind::Repeatability);
        smallestNet->setEnabled(chosen == CheckKind::Repeatability);
    };
    connect(kind, &QComboBox::currentIndexChanged, this, kindChanged);
    kindChanged();
    connect(weight, &QComboBox::currentIndexChanged, this, [this] {
        if (const auto chosen = checks.Weight(weight->currentData().toString()))
            testMass->setText(Shown(chosen->conventionalMass));
    });
    return form;
}

// The check under way: the step to do, the current reading, the readings
// taken, the result, and the buttons that move it on.
QVBoxLayout* KontrolaWagi::buildCheckRun(QWidget* page) {
    auto* run = new QVBoxLayout;
    prompt = new QLabel(page);
    prompt->setObjectName(QStringLiteral("lblPolecenie"));
    prompt->setWordWrap(true);
    QFont big = prompt->font();
    big.setPointSizeF(big.pointSizeF() * 1.5);
    big.setBold(true);
    prompt->setFont(big);
    prompt->setMinimumHeight(60);
    auto* readingCaption = new QLabel(texts("Biezacy odczyt:"), page);
    currentReading = new QLabel(QStringLiteral("-"), page);
    currentReading->setObjectName(QStringLiteral("lblOdczyt"));
    QFont digits = currentReading->font();
    digits.setPointSizeF(digits.pointSizeF() * 2);
    digits.setFamily(QStringLiteral("DejaVu Sans Mono"));
    currentReading->setFont(digits);
    readings =
        Table(page, {texts("Lp"), texts("Pozycja"), texts("Odczyt"), texts("Jm")}, "checkReadings");
    result = new QLabel(page);
    result->setObjectName(QStringLiteral("lblWynik"));
    result->setWordWrap(true);
    result->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* buttons = new QHBoxLayout;
    confirm = new QPushButton(texts("Potwierdz"), page);
    confirm->setObjectName(QStringLiteral("cmdPotwierdz"));
    confirm->setDefault(true);
    cancel = new QPushButton(texts("Anuluj kontrole"), page);
    cancel->setObjectName(QStringLiteral("cmdAnuluj"));
    connect(confirm, &QPushButton::clicked, this, &KontrolaWagi::ConfirmStep);
    connect(cancel, &QPushButton::clicked, this, &KontrolaWagi::CancelCheck);
    buttons->addWidget(confirm);
    buttons->addWidget(cancel);
    buttons->addStretch();
    run->addWidget(prompt);
    run->addWidget(readingCaption);
    run->addWidget(currentReading);
    run->addWidget(readings, 1);
    run->addWidget(result);
    run->addLayout(buttons);
    return run;
}

QWidget* KontrolaWagi::buildHistory() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    history = Table(page,
                    {texts("Data"), texts("Kontrola"), texts("Waga"), texts("Odwaznik"),
                     texts("Wynik"), texts("Operator")},
                    "history");
    report = new QPushButton(texts("Raport..."), page);
    report->setObjectName(QStringLiteral("cmdRaport"));
    connect(report, &QPushButton::clicked, this, &KontrolaWagi::showReport);
    connect(history, &QTableWidget::cellDoubleClicked, this, &KontrolaWagi::showReport);
    layout->addWidget(history);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(report);
    buttons->addStretch();
    layout->addLayout(buttons);
    return page;
}

void KontrolaWagi::Reload() {
    try {
        fillRegister();
        fillHistory();
    } catch (const DatabaseError& error) {
        tell(texts("Rejestr kontroli nie jest dostepny: %1").arg(error.Reason()));
    }
}

void KontrolaWagi::fillRegister() {
    const QList<TestWeight> allWeights = checks.Weights();
    const QList<RegisteredBalance> allBalances = checks.Balances();
    const QString chosenWeight = weight->currentData().toString();
    const QString chosenBalance = balance->currentData().toString();
    weights->setRowCount(int(allWeights.size()));
    weight->clear();
    weight->addItem(texts("(spoza rejestru)"), QString());
    const QDate today = QDate::currentDate();
    for (int row = 0; row < allWeights.size(); ++row) {
        const TestWeight& each = allWeights[row];
        SetRow(weights, row,
               {each.id, Shown(each.nominal), Shown(each.conventionalMass), each.unit,
                each.weightClass, each.certificate,
                each.certificateDue ? each.certificateDue->toString(Qt::ISODate) : QString(),
                each.uncertainty ? Shown(*each.uncertainty) : QString()});
        // A certificate past its date shows as a warning in the register.
        if (each.PastDue(today))
            weights->item(row, 6)->setForeground(QColor(0xb0, 0x20, 0x00));
        weight->addItem(each.id + QStringLiteral(" (") + Shown(each.conventionalMass) + u' ' +
                            each.unit + u')',
                        each.id);
    }
    balances->setRowCount(int(allBalances.size()));
    balance->clear();
    for (int row = 0; row < allBalances.size(); ++row) {
        const RegisteredBalance& each = allBalances[row];
        SetRow(balances, row,
               {each.id, each.model, each.serialNumber, Shown(each.capacity), Shown(each.d),
                each.unit, each.station});
        balance->addItem(each.id + (each.model.isEmpty() ? QString() : u' ' + each.model), each.id);
    }
    weights->resizeColumnsToContents();
    balances->resizeColumnsToContents();
    if (const int at = weight->findData(chosenWeight); at >= 0)
        weight->setCurrentIndex(at);
    if (const int at = balance->findData(chosenBalance); at >= 0)
        balance->setCurrentIndex(at);
}

void KontrolaWagi::fillHistory() {
    CheckFilter filter;
    filter.station = context.settings.nrWagi;
    filter.limit = 500;
    shownHistory = checks.Checks(filter);
    history->setRowCount(int(shownHistory.size()));
    for (int row = 0; row < shownHistory.size(); ++row) {
        const CheckRecord& each = shownHistory[row];
        SetRow(history, row,
               {each.finished.toString(QStringLiteral("yyyy-MM-dd HH:mm")),
                texts.KindText(each.kind), each.balanceId, each.weightId,
                texts.VerdictText(each.verdict), each.operatorName});
        const QColor colour = each.verdict == Verdict::Fail      ? QColor(0xb0, 0x20, 0x00)
                              : each.verdict == Verdict::Warning ? QColor(0xa0, 0x60, 0x00)
                              : each.verdict == Verdict::Pass    ? QColor(0x10, 0x70, 0x20)
                                                                 : QColor(Qt::gray);
        history->item(row, 4)->setForeground(colour);
    }
    history->resizeColumnsToContents();
}

void KontrolaWagi::editWeight(bool add) {
    TestWeight current;
    if (!add) {
        const int row = weights->currentRow();
        if (row < 0)
            return;
        current = checks.Weight(weights->item(row, 0)->text()).value_or(TestWeight{});
    }
    RegisterEntryDialog editor(current, texts, this);
    if (!context.dialogs->RunModal(editor))
        return;
    const auto edited = editor.Weight();
    if (!edited) {
        tell(texts("Id nie moze byc puste"));
        return;
    }
    try {
        checks.SaveWeight(*edited, SeriesJournal::Author::Here(context.settings.nrWagi));
    } catch (const DatabaseError& error) {
        tell(texts("Rejestr kontroli nie jest dostepny: %1").arg(error.Reason()));
    }
    Reload();
}

void KontrolaWagi::editBalance(bool add) {
    RegisteredBalance current;
    current.station = context.settings.nrWagi;
    if (!add) {
        const int row = balances->currentRow();
        if (row < 0)
            return;
        current = checks.Balance(balances->item(row, 0)->text()).value_or(RegisteredBalance{});
    }
    RegisterEntryDialog editor(current, texts, this);
    if (!context.dialogs->RunModal(editor))
        return;
    const auto edited = editor.Balance();
    if (!edited) {
        tell(texts("Id nie moze byc puste"));
        return;
    }
    try {
        checks.SaveBalance(*edited, SeriesJournal::Author::Here(context.settings.nrWagi));
    } catch (const DatabaseError& error) {
        tell(texts("Rejestr kontroli nie jest dostepny: %1").arg(error.Reason()));
    }
    Reload();
}

void KontrolaWagi::ChooseCheck(CheckKind chosen, const QString& balanceId,
                               const QString& weightId) {
    kind->setCurrentIndex(kind->findData(int(chosen)));
    if (const int at = balance->findData(balanceId); at >= 0)
        balance->setCurrentIndex(at);
    weight->setCurrentIndex(std::max(0, int(weight->findData(weightId))));
    tabs->setCurrentIndex(1);
}

double KontrolaWagi::number(const QLineEdit* field) const {
    QString text = field->text().trimmed();
    text.replace(u',', u'.');
    return text.toDouble();
}

bool KontrolaWagi::acceptWeight(const TestWeight& chosen) {
    if (!chosen.PastDue(QDate::currentDate()))
        return true;
    return context.dialogs->MessageBox(
               this,
               texts("Swiadectwo odwaznika %1 bylo wazne do %2. Uzyc go mimo to? Raport pokaze "
                     "ostrzezenie.")
                   .arg(chosen.id, chosen.certificateDue->toString(Qt::ISODate)),
               MsgButtons::YesNo, MsgIcon::Exclamation, windowTitle()) == MsgAnswer::Yes;
}

bool KontrolaWagi::StartCheck() {
    if (runner.Running())
        return false;
    CheckPlan plan;
    plan.kind = CheckKind(kind->currentData().toInt());
    plan.station = context.settings.nrWagi;
    plan.program = QStringLiteral("Pomiar");
    CheckSettings settings;
    try {
        settings = CheckSettings::Read(context.IniPath());
        if (const auto chosen = checks.Balance(balance->currentData().toString()))
            plan.balance = *chosen;
        plan.weight = checks.Weight(weight->currentData().toString());
    } catch (const SettingsError& error) {
        tell(texts("Nie mozna rozpoczac kontroli: %1").arg(error.Where()));
        return false;
    } catch (const DatabaseError& error) {
        tell(texts("Rejestr kontroli nie jest dostepny: %1").arg(error.Reason()));
        return false;
    }
    if (plan.weight && !acceptWeight(*plan.weight))
        return false;
    plan.count = count->value();
    plan.smallestNet = smallestNet->text().trimmed().isEmpty() ? settings.smallestNet.value_or(0)
                                                               : number(smallestNet);
    plan.safetyFactor = settings.safetyFactor;
    plan.testMass = number(testMass);
    if (const auto limits = settings.LimitsOf(plan.kind))
        plan.limits = *limits;
    readings->setRowCount(0);
    result->clear();
    QString refusal;
    if (!runner.Start(plan, &refusal)) {
        tell(texts("Nie mozna rozpoczac kontroli: %1").arg(refusal));
        return false;
    }
    showRunning(true);
    return true;
}

void KontrolaWagi::ConfirmStep() {
    if (!runner.Running())
        return;
    // One confirmation per step: the next comes with the next prompt.
    confirm->setEnabled(false);
    runner.Confirm();
}

void KontrolaWagi::CancelCheck() {
    if (runner.Running())
        runner.Cancel();
}

void KontrolaWagi::ShowCurrentReading(const QString& text) {
    currentReading->setText(text.isEmpty() ? QStringLiteral("-") : text);
}

void KontrolaWagi::showStep(const CheckStep& step) {
    prompt->setText(texts.StepText(step));
    confirm->setEnabled(true);
    confirm->setFocus();
}

void KontrolaWagi::showReading(const CheckReading& reading, int index) {
    readings->setRowCount(index + 1);
    SetRow(readings, index,
           {QString::number(index + 1), texts.PositionText(reading.position), Shown(reading.value),
            reading.unit});
    readings->scrollToBottom();
    ShowCurrentReading(Shown(reading.value) + u' ' + reading.unit);
}

void KontrolaWagi::showFinished(const CheckRecord& record) {
    showRunning(false);
    // The last step (take the weight off) stays in view above the verdict.
    CheckStep off;
    off.action = CheckStep::Action::Remove;
    prompt->setText(
        record.verdict == Verdict::Cancelled
            ? texts("Kontrola anulowana")
            : texts.StepText(off) + u'\n' +
                  texts("Kontrola zakonczona: %1").arg(texts.VerdictText(record.verdict)));
    QStringList lines = CheckReportText::Formulas(record, QLocale::system());
    lines << record.warnings;
    if (!record.refusal.isEmpty())
        lines << record.refusal;
    result->setText(lines.join(u'\n'));
    Reload();
    if (checkFinished)
        checkFinished(record);
}

void KontrolaWagi::showRunning(bool running) {
    start->setEnabled(!running);
    kind->setEnabled(!running);
    balance->setEnabled(!running);
    weight->setEnabled(!running);
    confirm->setEnabled(running);
    cancel->setEnabled(running);
    if (checkRunning)
        checkRunning(running);
}

void KontrolaWagi::showReport() {
    const int row = history->currentRow();
    if (row < 0 || row >= shownHistory.size())
        return;
    CheckReport page(context, checks, shownHistory[row], this);
    page.Preview();
}

void KontrolaWagi::tell(const QString& text) {
    context.dialogs->MessageBox(this, text, MsgButtons::Ok, MsgIcon::Exclamation, windowTitle());
}

void KontrolaWagi::closeEvent(QCloseEvent* event) {
    // A check left running would wait for a confirmation nobody can give.
    if (runner.Running())
        runner.Cancel();
    event->accept();
}

} // namespace Pomiar
