#include "WindowedProgress.h"

#include "Pasek.h"

#include <QApplication>

namespace Pomiar {

WindowedProgress::WindowedProgress(QWidget* owner, const ProgramContext* context)
    : owner(owner), context(context) {}

WindowedProgress::~WindowedProgress() {
    End();
}

void WindowedProgress::Begin(const QString& caption, int maximum) {
    if (!window) {
        window = std::make_unique<Pasek>(owner, context);
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    Pasek::ContinueFlag() = true;
    window->SetCaption(caption);
    window->SetRange(0, maximum);
    window->show();
}

bool WindowedProgress::Step(int value) {
    if (window)
        window->SetValue(value);
    return Pasek::ContinueFlag();
}

void WindowedProgress::End() {
    if (!window)
        return;
    window->hide();
    window.reset();
    QApplication::restoreOverrideCursor();
}

} // namespace Pomiar
