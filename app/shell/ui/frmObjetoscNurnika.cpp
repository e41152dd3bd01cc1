#include "frmObjetoscNurnika.h"

#include "FormTexts.h"
#include "LanguageTexts.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace Pomiar {

frmObjetoscNurnika::frmObjetoscNurnika(const ProgramContext& context, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("frmObjetoscNurnika"));
    setWindowTitle(QStringLiteral("Gestosc cieczy"));

    Frame1 = new QGroupBox(QStringLiteral("Podaj objetosc nurnika:"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Text1 = new QLineEdit(Frame1);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setAlignment(Qt::AlignRight);
    auto* frameLayout = new QHBoxLayout(Frame1);
    frameLayout->addWidget(Text1);

    Command1 = new QPushButton(QStringLiteral("&OK"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setDefault(true);
    Command2 = new QPushButton(QStringLiteral("&Odczyt"), this);
    Command2->setObjectName(QStringLiteral("Command2"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Frame1);
    layout->addLayout(buttons);
    connect(Command1, &QPushButton::clicked, this, &QDialog::accept);

    ApplyFormTexts(context, this);
}

} // namespace Pomiar
