#include "WindowedProgress.h"
#include "Pasek.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTimer>
#include <gtest/gtest.h>

using namespace Pomiar;

TEST(WindowedProgress, ShowsTheOperationAndEscapeAsksToStop) {
    WindowedProgress progress;
    progress.Begin("Dodawanie do bazy danych", 10);
    Pasek* shown = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (auto* pasek = qobject_cast<Pasek*>(top); pasek && pasek->isVisible())
            shown = pasek;
    }
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->windowTitle(), "Dodawanie do bazy danych");
    EXPECT_TRUE(progress.Step(3));

    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(shown, &escape);
    EXPECT_FALSE(progress.Step(4));

    progress.End();
    for (QWidget* top : QApplication::topLevelWidgets())
        EXPECT_FALSE(qobject_cast<Pasek*>(top) && top->isVisible());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// Only the progress of an operation that holds nothing open lets events run
// from its steps, every few milliseconds: frames still arriving during a
// continuous batch are collected, while a report being written in a
// transaction is not re-entered.
TEST(WindowedProgress, StepsLetEventsRunOnlyWhenAskedAndNotAtEveryStep) {
    for (const auto events : {WindowedProgress::Events::Held, WindowedProgress::Events::Run}) {
        const bool run = events == WindowedProgress::Events::Run;
        WindowedProgress progress(nullptr, nullptr, events);
        progress.Begin("Dodawanie do bazy danych", 10);
        int ran = 0;
        QTimer::singleShot(0, [&ran] { ++ran; });
        progress.Step(1);
        EXPECT_EQ(ran, 0) << "not at once: the first steps are cheap";
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < WindowedProgress::EventsEveryMs + 5) {
        }
        progress.Step(2);
        EXPECT_EQ(ran, run ? 1 : 0) << (run ? "run" : "held");
        progress.End();
        QCoreApplication::processEvents();
    }
}
