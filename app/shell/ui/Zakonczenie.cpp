#include "Zakonczenie.h"

#include "FormTexts.h"
#include "LanguageTexts.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QVBoxLayout>

namespace Pomiar {

Zakonczenie::Zakonczenie(std::function<bool()> compact, std::shared_ptr<AttemptCounter> counter,
                         QWidget* parent, const ProgramContext* context)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint),
      compact(std::move(compact)),
      counter(counter ? std::move(counter) : std::make_shared<AttemptCounter>()) {
    setObjectName(QStringLiteral("Zakonczenie"));

    label2 = new QLabel(QStringLiteral("Kompaktowanie bazy danych...."), this);
    label2->setObjectName(QStringLiteral("Label2"));
    label2->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 18, 24, 18);
    layout->addWidget(label2);

    timer1 = new QTimer(this);
    timer1->setObjectName(QStringLiteral("Timer1"));
    timer1->setInterval(TimerInterval);
    connect(timer1, &QTimer::timeout, this, &Zakonczenie::Timer1_Timer);
    if (context)
        ApplyFormTexts(*context, this);
    // The caption is the program's title with its station number, which a
    // language file cannot know.
    setWindowTitle(QApplication::applicationDisplayName());
}

void Zakonczenie::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Attempts begin when the window appears, so that its label is on the
    // screen while the user waits.
    if (!started) {
        started = true;
        timer1->start();
    }
}

void Zakonczenie::Timer1_Timer() {
    timer1->stop();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool succeeded = Attempt();
    ++counter->attempts;
    QApplication::restoreOverrideCursor();

    // The compaction may let events run, and the user may have closed the
    // window meanwhile.
    if (done)
        return;
    // At or beyond the limit rather than exactly on it: a count that was not
    // reset and already stood past five must still end the program.
    if (succeeded || counter->attempts >= MaxAttempts)
        close();
    else
        timer1->start();
}

bool Zakonczenie::Attempt() {
    if (!compact)
        return true;
    try {
        return compact();
    } catch (...) {
        return false;
    }
}

void Zakonczenie::closeEvent(QCloseEvent* event) {
    // Whoever closes the window, the program ends: after the last attempt,
    // or at once when the user closes it, leaving the file as the last
    // attempt left it.
    QWidget::closeEvent(event);
    if (done)
        return;
    done = true;
    timer1->stop();
    emit finished();
}

} // namespace Pomiar
