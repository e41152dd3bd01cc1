#include "Zakonczenie.h"

#include "EventWait.h"

#include <QApplication>
#include <QLabel>
#include <gtest/gtest.h>

#include <stdexcept>

using Pomiar::Zakonczenie;

namespace {

// A closing window over a scripted compaction, recording what happened.
struct ClosingRun {
    std::shared_ptr<Zakonczenie::AttemptCounter> counter =
        std::make_shared<Zakonczenie::AttemptCounter>();
    int calls = 0;
    int finishedSignals = 0;
    bool busyCursorSeen = true;
    std::unique_ptr<Zakonczenie> window;

    explicit ClosingRun(std::function<bool(int)> answer) {
        window = std::make_unique<Zakonczenie>(
            [this, answer] {
                ++calls;
                const QCursor* cursor = QApplication::overrideCursor();
                busyCursorSeen = busyCursorSeen && cursor && cursor->shape() == Qt::WaitCursor;
                return answer(calls);
            },
            counter);
        QObject::connect(window.get(), &Zakonczenie::finished, [this] { ++finishedSignals; });
    }

    bool RunToEnd() {
        window->show();
        return WaitUntil([this] { return finishedSignals > 0; }, 5000);
    }
};

} // namespace

TEST(ZakonczenieTest, ShowsItsLabelAndStartsAttemptsWhenShown) {
    ClosingRun run([](int) { return true; });
    auto* label = run.window->findChild<QLabel*>("Label2");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), "Kompaktowanie bazy danych....");
    EXPECT_EQ(run.window->findChild<QTimer*>("Timer1"), run.window->Timer1());
    EXPECT_EQ(run.window->Timer1()->interval(), 100);
    EXPECT_FALSE(run.window->Timer1()->isActive());
    run.window->show();
    EXPECT_TRUE(run.window->Timer1()->isActive());
}

TEST(ZakonczenieTest, AFailingCompactionIsTriedFiveTimesThenTheProgramEnds) {
    ClosingRun run([](int) { return false; });
    ASSERT_TRUE(run.RunToEnd());
    EXPECT_EQ(run.calls, 5);
    EXPECT_EQ(run.counter->attempts, 5);
    EXPECT_EQ(run.finishedSignals, 1);
    EXPECT_FALSE(run.window->isVisible());
    EXPECT_FALSE(run.window->Timer1()->isActive());
}

TEST(ZakonczenieTest, ASuccessEndsTheAttempts) {
    ClosingRun second([](int call) { return call == 2; });
    ASSERT_TRUE(second.RunToEnd());
    EXPECT_EQ(second.calls, 2);
    EXPECT_EQ(second.finishedSignals, 1);

    ClosingRun first([](int) { return true; });
    ASSERT_TRUE(first.RunToEnd());
    EXPECT_EQ(first.calls, 1);
}

TEST(ZakonczenieTest, TheCloseSequenceResetGivesFiveFreshAttempts) {
    // Compactions earlier in the run have counted.
    ClosingRun reset([](int) { return false; });
    reset.counter->attempts = 3;
    reset.counter->Reset();
    ASSERT_TRUE(reset.RunToEnd());
    EXPECT_EQ(reset.calls, 5);

    ClosingRun notReset([](int) { return false; });
    notReset.counter->attempts = 3;
    ASSERT_TRUE(notReset.RunToEnd());
    EXPECT_EQ(notReset.calls, 2);
}

TEST(ZakonczenieTest, ACountAlreadyPastFiveStillEnds) {
    ClosingRun run([](int) { return false; });
    run.counter->attempts = 9;
    ASSERT_TRUE(run.RunToEnd());
    EXPECT_EQ(run.calls, 1);
    EXPECT_EQ(run.finishedSignals, 1);
}

TEST(ZakonczenieTest, TheBusyCursorIsShownOnlyDuringAnAttempt) {
    ClosingRun run([](int call) { return call == 3; });
    ASSERT_TRUE(run.RunToEnd());
    EXPECT_TRUE(run.busyCursorSeen);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(ZakonczenieTest, AThrowingCompactionCountsAsAFailedAttempt) {
    ClosingRun run([](int) -> bool { throw std::runtime_error("database locked"); });
    ASSERT_TRUE(run.RunToEnd());
    EXPECT_EQ(run.calls, 5);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(ZakonczenieTest, ClosingTheWindowEndsTheProgramWithoutFurtherAttempts) {
    ClosingRun run([](int) { return false; });
    run.window->show();
    ASSERT_TRUE(WaitUntil([&] { return run.calls >= 1; }));
    run.window->close();
    EXPECT_EQ(run.finishedSignals, 1);
    EXPECT_FALSE(run.window->Timer1()->isActive());
    EXPECT_LT(run.calls, 5);
}
