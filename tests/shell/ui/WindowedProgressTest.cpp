#include "WindowedProgress.h"
#include "Pasek.h"

#include <QApplication>
#include <QKeyEvent>
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
