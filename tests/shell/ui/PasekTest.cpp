#include "Pasek.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <gtest/gtest.h>

using Pomiar::Pasek;

namespace {

QKeyEvent KeyPress(Qt::Key key, const QString& text = QString()) {
    return QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier, text);
}

class PasekTest : public ::testing::Test {
protected:
    void SetUp() override { Pasek::ContinueFlag() = true; }
    void TearDown() override { Pasek::ContinueFlag() = true; }
};

} // namespace

TEST_F(PasekTest, ShowsTheDesignedTextsAndStaysOnTop) {
    Pasek pasek;
    EXPECT_EQ(pasek.objectName(), "Pasek");
    EXPECT_EQ(pasek.windowTitle(), "Tworzenie raportu (ESC aby anulowac)");
    EXPECT_TRUE(pasek.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    auto* bar = pasek.findChild<QProgressBar*>("ProgressBar1");
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar, pasek.ProgressBar1());
    ASSERT_NE(pasek.findChild<QLabel*>("Label1"), nullptr);
    auto* label2 = pasek.findChild<QLabel*>("Label2");
    auto* label3 = pasek.findChild<QLabel*>("Label3");
    ASSERT_NE(label2, nullptr);
    ASSERT_NE(label3, nullptr);
    EXPECT_EQ(label2->text(), "100%");
    EXPECT_EQ(label3->text(), "50%");
}

TEST_F(PasekTest, CallerSetsCaptionRangeValueAndStep) {
    Pasek pasek;
    pasek.SetCaption("Zapisywanie serii");
    pasek.SetRange(0, 250);
    pasek.SetValue(125);
    pasek.SetStepText("Pomiar 125 z 250");
    EXPECT_EQ(pasek.windowTitle(), "Zapisywanie serii");
    EXPECT_EQ(pasek.ProgressBar1()->maximum(), 250);
    EXPECT_EQ(pasek.ProgressBar1()->value(), 125);
    EXPECT_EQ(pasek.findChild<QLabel*>("Label1")->text(), "Pomiar 125 z 250");
}

TEST_F(PasekTest, EscapeClearsTheFlagAndLeavesTheWindowOpen) {
    Pasek pasek;
    pasek.show();
    QKeyEvent escape = KeyPress(Qt::Key_Escape, QString(QChar(27)));
    QCoreApplication::sendEvent(&pasek, &escape);
    EXPECT_FALSE(Pasek::ContinueFlag());
    EXPECT_TRUE(pasek.isVisible());
}

TEST_F(PasekTest, OtherKeysLeaveTheFlagSet) {
    Pasek pasek;
    pasek.show();
    for (Qt::Key key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter, Qt::Key_A}) {
        QKeyEvent press = KeyPress(key);
        QCoreApplication::sendEvent(&pasek, &press);
    }
    EXPECT_TRUE(Pasek::ContinueFlag());
    EXPECT_TRUE(pasek.isVisible());
}

TEST_F(PasekTest, ALoopStopsAtTheStepAfterEscapeArrives) {
    Pasek pasek;
    pasek.SetRange(0, 100);
    pasek.show();
    int step = 0;
    for (; step < 100; ++step) {
        if (step == 30)
            QCoreApplication::postEvent(
                &pasek, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
        if (!pasek.Advance(step))
            break;
    }
    EXPECT_EQ(step, 30);
    EXPECT_EQ(pasek.ProgressBar1()->value(), 30);
}

TEST_F(PasekTest, ClosingTheWindowStopsTheOperation) {
    Pasek pasek;
    pasek.show();
    pasek.close();
    EXPECT_FALSE(Pasek::ContinueFlag());
}
