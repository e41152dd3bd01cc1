#pragma once

#include "Magazyn.h"

#include <memory>

class QWidget;

namespace Pomiar {

class Pasek;
struct ProgramContext;

// Long operations of the store shown in the progress window.
class PasekProgress : public Progress {
public:
    // With a context the window shows the texts of the language file.
    explicit PasekProgress(QWidget* owner = nullptr, const ProgramContext* context = nullptr);
    ~PasekProgress() override;

    void Begin(const QString& caption, int maximum) override;
    bool Step(int value) override;
    void End() override;

private:
    QWidget* owner;
    const ProgramContext* context;
    std::unique_ptr<Pasek> window;
};

} // namespace Pomiar
