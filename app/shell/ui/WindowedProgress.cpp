#include "WindowedProgress.h"

#include "Pasek.h"

#include <QApplication>

namespace Pomiar {

WindowedProgress::WindowedProgress(QWidget* owner, const ProgramContext* context, Events events)
    : owner(owner), context(context), events(events) {}

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
    sinceEvents.start();
}

bool WindowedProgress::Step(int value) {
    if (window)
        window->SetValue(value);
    // Events run every few milliseconds, not at every step: the window
    // repaints, Escape is seen, and frames still arriving are collected,
    // without repainting ten thousand times.
    if (events == Events::Run && sinceEvents.elapsed() >= EventsEveryMs) {
        QCoreApplication::processEvents();
        sinceEvents.start();
    }
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
