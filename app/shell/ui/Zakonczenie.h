#pragma once

#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

class QLabel;

namespace Pomiar {

struct ProgramContext;

// The window that stays on the screen after the main window has closed,
// while the working database is compacted. Every 100 ms (Timer1) it makes
// one attempt; it closes and emits finished() after the first successful
// attempt or after the fifth counted one, so the program ends after at most
// five attempts whether or not the last one succeeded.
class Zakonczenie : public QWidget {
    Q_OBJECT

public:
    static constexpr int MaxAttempts = 5;
    static constexpr int TimerInterval = 100;

    // Compactions since the main window's close sequence last reset the
    // count. Shared because the close sequence resets it before this window
    // exists; other compactions of the run may count into it as well.
    struct AttemptCounter {
        int attempts = 0;
        void Reset() { attempts = 0; }
    };

    // compact answers whether the compaction succeeded; an exception thrown
    // from it counts as a failed attempt, and without one there is nothing
    // to wait for. The window counts its own attempts, so a compaction passed
    // in must not count them again. Without a counter it counts from 0.
    // With a context the window shows the texts of the language file.
    explicit Zakonczenie(std::function<bool()> compact,
                         std::shared_ptr<AttemptCounter> counter = nullptr,
                         QWidget* parent = nullptr, const ProgramContext* context = nullptr);

    QTimer* Timer1() const { return timer1; }
    bool IsFinished() const { return done; }

signals:
    void finished();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private slots:
    void Timer1_Timer();

private:
    bool Attempt();

    std::function<bool()> compact;
    std::shared_ptr<AttemptCounter> counter;
    QTimer* timer1 = nullptr;
    QLabel* label2 = nullptr;
    bool started = false;
    bool done = false;
};

} // namespace Pomiar
