#include "PasekProgress.h"

#include "Pasek.h"

#include <QApplication>

namespace Pomiar {

PasekProgress::PasekProgress(QWidget* owner, const ProgramContext* context)
    : owner(owner), context(context) {}

PasekProgress::~PasekProgress() {
    End();
}

void PasekProgress::Begin(const QString& caption, int maximum) {
    if (!window) {
        window = std::make_unique<Pasek>(owner, context);
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    Pasek::ContinueFlag() = true;
    window->SetCaption(caption);
    window->SetRange(0, maximum);
    window->show();
}

bool PasekProgress::Step(int value) {
    if (window)
        window->SetValue(value);
    return Pasek::ContinueFlag();
}

void PasekProgress::End() {
    if (!window)
        return;
    window->hide();
    window.reset();
    QApplication::restoreOverrideCursor();
}

} // namespace Pomiar
