#pragma once

#include "MeasurementStore.h"

#include <memory>

class QWidget;

namespace Pomiar {

class Pasek;
struct ProgramContext;

// Long operations of the store shown in the progress window.
class WindowedProgress : public Progress {
public:
    // With a context the window shows the texts of the language file.
    explicit WindowedProgress(QWidget* owner = nullptr, const ProgramContext* context = nullptr);
    ~WindowedProgress() override;

    void Begin(const QString& caption, int maximum) override;
    bool Step(int value) override;
    void End() override;

private:
    QWidget* owner;
    const ProgramContext* context;
    std::unique_ptr<Pasek> window;
};

} // namespace Pomiar
