#pragma once

#include <QWidget>
#include <memory>

class QLabel;

namespace Pomiar {

class Glowna;
class frmCustom;
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

    frmCustom* Holder() const { return holder.get(); }
    Glowna* MainWindow() const { return mainWindow.get(); }

    // Both outlive the start window: the run owns them from here on.
    std::unique_ptr<frmCustom> holder;
    std::unique_ptr<Glowna> mainWindow;

private:
    ProgramContext& context;
    QLabel* Label1 = nullptr;
};

} // namespace Pomiar
