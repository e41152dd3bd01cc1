#include "StatisticsPanel.h"

#include "INI.h"
#include "MeasurementStore.h"
#include "ProgramContext.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace Pomiar {

namespace {

struct FieldSpec {
    const char* caption;
    const char* name;
    QString StatisticsFields::*value;
};

const FieldSpec fieldSpecs[] = {
    {"Ilosc pomiarow:", "lblLiczba", &StatisticsFields::lblLiczba},
    {"Wartosc maksymalna:", "lblMax", &StatisticsFields::lblMax},
    {"Wartosc minimalna:", "lblMin", &StatisticsFields::lblMin},
    {"Wartosc srednia:", "lblSrednia", &StatisticsFields::lblSrednia},
    {"Odchylenie standardowe:", "lblOStd", &StatisticsFields::lblOStd},
    {"Odchylenie srednie:", "lblOSrenie", &StatisticsFields::lblOSrenie},
    {"Odchylenie kwadratowe:", "lblOKwadrat", &StatisticsFields::lblOKwadrat},
    {"Wariancja:", "lblWar", &StatisticsFields::lblWar},
    {"Estymator wariancji:", "lblEWar", &StatisticsFields::lblEWar},
    {"Estymator odchylenia:", "lblEOdch", &StatisticsFields::lblEOdch},
    {"Suma wazen:", "lblSuma", &StatisticsFields::lblSuma},
};

const QString section = QStringLiteral("ustawienia");

} // namespace

StatisticsPanel::StatisticsPanel(ProgramContext& context, MeasurementStore& store, QWidget* parent)
    : QWidget(parent), context(context), store(store) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(buildStatistics());
    layout->addWidget(buildLimits());
    layout->addStretch();
    connect(&store, &MeasurementStore::StatisticsChanged, this, &StatisticsPanel::ShowStatistics);
}

QWidget* StatisticsPanel::buildStatistics() {
    auto* frame = new QGroupBox(QStringLiteral("Statystyka:"), this);
    frame->setObjectName(QStringLiteral("FrameStatystyka"));
    auto* grid = new QGridLayout(frame);
    int row = 0;
    for (const FieldSpec& field : fieldSpecs) {
        auto* caption = new QLabel(QString::fromUtf8(field.caption), frame);
        auto* value = new QLabel(frame);
        value->setObjectName(QString::fromLatin1(field.name));
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        value->setMinimumWidth(100);
        value->setFrameShape(QFrame::StyledPanel);
        grid->addWidget(caption, row, 0);
        grid->addWidget(value, row, 1);
        fields << value;
        ++row;
    }
    Check1 = new QCheckBox(QStringLiteral("&Biezaca statystyka"), frame);
    Check1->setObjectName(QStringLiteral("Check1"));
    Check1->setChecked(store.LiveStatistics());
    grid->addWidget(Check1, row, 0, 1, 2);
    connect(Check1, &QCheckBox::clicked, this, &StatisticsPanel::check1Clicked);
    return frame;
}

QWidget* StatisticsPanel::buildLimits() {
    auto* frame = new QGroupBox(QStringLiteral("Limity:"), this);
    frame->setObjectName(QStringLiteral("FrameLimity"));
    auto* grid = new QGridLayout(frame);
    ChMin = new QCheckBox(QStringLiteral("Min"), frame);
    ChMin->setObjectName(QStringLiteral("ChMin"));
    txtMin = new QLineEdit(frame);
    txtMin->setObjectName(QStringLiteral("txtMin"));
    ChMax = new QCheckBox(QStringLiteral("Max"), frame);
    ChMax->setObjectName(QStringLiteral("ChMax"));
    txtMax = new QLineEdit(frame);
    txtMax->setObjectName(QStringLiteral("txtMax"));
    grid->addWidget(ChMin, 0, 0);
    grid->addWidget(txtMin, 0, 1);
    grid->addWidget(ChMax, 1, 0);
    grid->addWidget(txtMax, 1, 1);
    minimum = {ChMin, txtMin, "min", "wart_min"};
    maximum = {ChMax, txtMax, "max", "wart_max"};
    for (const LimitControls* limit : {&minimum, &maximum}) {
        limit->text->setVisible(false);
        // The field keeps its place while hidden, so the frame does not jump.
        QSizePolicy policy = limit->text->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        limit->text->setSizePolicy(policy);
        connect(limit->box, &QCheckBox::clicked, this, [this, limit] { limitClicked(*limit); });
        connect(limit->text, &QLineEdit::editingFinished, this,
                [this, limit] { limitLeft(*limit); });
        // A reading is tested against what the field shows, typed or left.
        connect(limit->text, &QLineEdit::textChanged, this, &StatisticsPanel::updateStoreLimits);
    }
    return frame;
}

void StatisticsPanel::RestoreLimitSwitches() {
    const AcceptanceLimits stored = AcceptanceLimits::Stored(context.IniPath(), store.Locale());
    ChMax->setChecked(stored.maxOn);
    ChMin->setChecked(stored.minOn);
    for (const LimitControls* limit : {&maximum, &minimum})
        limitClicked(*limit);
}

void StatisticsPanel::limitClicked(const LimitControls& limit) {
    const bool on = limit.box->isChecked();
    limit.text->setVisible(on);
    INI::ZapiszIni(context.IniPath(), section, QLatin1String(limit.switchKey),
                   on ? QStringLiteral("1") : QStringLiteral("0"));
    if (on) {
        const QString stored = INI::CzytajIni(context.IniPath(), section,
                                              QLatin1String(limit.valueKey), QStringLiteral("0"));
        limit.text->setText(SeriesStatistics::NormalizujLiczbe(stored, store.Locale()));
    }
    updateStoreLimits();
}

void StatisticsPanel::limitLeft(const LimitControls& limit) {
    INI::ZapiszIni(context.IniPath(), section, QLatin1String(limit.valueKey),
                   SeriesStatistics::NormalizujLiczbe(limit.text->text(), store.Locale()));
    limit.text->setText(INI::CzytajIni(context.IniPath(), section, QLatin1String(limit.valueKey),
                                       QStringLiteral("0")));
    updateStoreLimits();
}

void StatisticsPanel::updateStoreLimits() {
    AcceptanceLimits limits;
    limits.minOn = ChMin->isChecked();
    limits.minText = txtMin->text();
    limits.maxOn = ChMax->isChecked();
    limits.maxText = txtMax->text();
    store.SetLimits(limits);
}

void StatisticsPanel::check1Clicked() {
    store.SetLiveStatistics(Check1->isChecked());
    if (Check1->isChecked() && store.RowCount() > 1)
        store.ObliczStatystyke();
}

void StatisticsPanel::ShowStatistics(const StatisticsFields& shown) {
    // A figure can be selected to be copied. An empty field has nothing to
    // select, and without the means to it paints at once: every field is
    // cleared when a series is opened, before its first rows are painted.
    for (size_t i = 0; i < std::size(fieldSpecs); ++i) {
        QLabel* field = fields[int(i)];
        const QString& text = shown.*(fieldSpecs[i].value);
        field->setTextInteractionFlags(text.isEmpty() ? Qt::NoTextInteraction
                                                      : Qt::TextSelectableByMouse);
        field->setText(text);
    }
}

QLabel* StatisticsPanel::Field(const QString& name) const {
    for (QLabel* field : fields) {
        if (field->objectName() == name)
            return field;
    }
    return nullptr;
}

} // namespace Pomiar
