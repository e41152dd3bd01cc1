#pragma once

#include <QWidget>
#include <memory>

class QLabel;

namespace Pomiar {

class Glowna;
struct ProgramContext;

// The start window: never seen. Loading it restores the limit switches and
// loads and shows the main window.
class Startowa : public QWidget {
    Q_OBJECT
public:
    explicit Startowa(ProgramContext& context, QWidget* parent = nullptr);
    ~Startowa() override;

    // Loads the main window and shows it. Null when its loading ended the
    // program.
    Glowna* Load();

    Glowna* MainWindow() const { return mainWindow.get(); }

    // Outlives the start window: the run owns it from here on.
    std::unique_ptr<Glowna> mainWindow;

private:
    ProgramContext& context;
    QLabel* Label1 = nullptr;
};

} // namespace Pomiar
