#pragma once

#include "Magazyn.h"

#include <memory>

class QWidget;

namespace Pomiar {

class Pasek;

// Long operations of the store shown in the progress window.
class PasekProgress : public Progress {
public:
    explicit PasekProgress(QWidget* owner = nullptr);
    ~PasekProgress() override;

    void Begin(const QString& caption, int maximum) override;
    bool Step(int value) override;
    void End() override;

private:
    QWidget* owner;
    std::unique_ptr<Pasek> window;
};

} // namespace Pomiar
