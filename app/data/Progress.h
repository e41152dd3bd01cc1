#pragma once

#include <QString>
#include <QStringList>

namespace Pomiar {

// What a long operation shows while it runs; the shell's progress window
// implements it. Step is called for every item and must stay cheap; it
// answers whether to go on. The operation itself runs no events: a
// progress shown in a window lets them run from Step, every few
// milliseconds.
class Progress {
public:
    virtual ~Progress() = default;
    virtual void Begin(const QString& caption, int maximum) = 0;
    virtual bool Step(int value) = 0;
    virtual void End() = 0;
};

// The captions of the long operations, as designed; the progress window
// shows them in the language of the language file.
namespace ProgressCaption {
inline const QString AddingReadings = QStringLiteral("Dodawanie do bazy danych");
inline const QString SavingSeries = QStringLiteral("Zapisywanie (ESC aby anulowac)");
inline const QString PreparingReport = QStringLiteral("Tworzenie raportu (ESC aby anulowac)");
inline QStringList All() {
    return {AddingReadings, SavingSeries, PreparingReport};
}
} // namespace ProgressCaption

// Shows the progress of one operation and ends the display whichever way
// the operation ends.
class ProgressShown {
public:
    ProgressShown(Progress* progress, const QString& caption, qint64 maximum) : progress(progress) {
        if (progress)
            progress->Begin(caption, int(maximum));
    }
    ~ProgressShown() {
        if (progress)
            progress->End();
    }
    ProgressShown(const ProgressShown&) = delete;
    ProgressShown& operator=(const ProgressShown&) = delete;

private:
    Progress* progress;
};

} // namespace Pomiar
