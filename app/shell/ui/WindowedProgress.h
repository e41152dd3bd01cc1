#pragma once

#include "MeasurementStore.h"

#include <QElapsedTimer>
#include <memory>

class QWidget;

namespace Pomiar {

class Pasek;
struct ProgramContext;

// Long operations of the store shown in the progress window.
class WindowedProgress : public Progress {
public:
    // Whether a step lets events run: for an operation that holds nothing
    // open meanwhile (the reading of a continuous batch, whose frames still
    // arriving are then collected).
    enum class Events { Held, Run };
    // With a context the window shows the texts of the language file.
    explicit WindowedProgress(QWidget* owner = nullptr, const ProgramContext* context = nullptr,
                              Events events = Events::Held);
    ~WindowedProgress() override;

    void Begin(const QString& caption, int maximum) override;
    bool Step(int value) override;
    void End() override;

    // How often a step lets events run.
    static constexpr int EventsEveryMs = 30;

private:
    QWidget* owner;
    const ProgramContext* context;
    Events events;
    std::unique_ptr<Pasek> window;
    QElapsedTimer sinceEvents;
};

} // namespace Pomiar
