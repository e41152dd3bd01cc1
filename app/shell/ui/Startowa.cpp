#include "Startowa.h"

#include "FormTexts.h"
#include "Glowna.h"
#include "LanguageTexts.h"
#include "ProgramContext.h"
#include "StatisticsPanel.h"

#include <QLabel>

namespace Pomiar {

Startowa::Startowa(ProgramContext& context, QWidget* parent) : QWidget(parent), context(context) {
    setObjectName(QStringLiteral("Startowa"));
    setWindowTitle(QStringLiteral("Trevalo"));
    Label1 = new QLabel(QStringLiteral("Trevalo"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    ApplyFormTexts(context, this);
    hide();
}

Startowa::~Startowa() = default;

Glowna* Startowa::Load() {
    mainWindow = std::make_unique<Glowna>(context);
    if (!mainWindow->Load()) {
        mainWindow.reset();
        return nullptr;
    }
    mainWindow->Panel()->RestoreLimitSwitches();
    mainWindow->show();
    return mainWindow.get();
}

} // namespace Pomiar
