#pragma once

#include <QWidget>

namespace Mordal {
class Comm;
}

namespace Pomiar {

// The hidden window that holds the one link control of the run, created
// from the library by its type name.
class frmCustom : public QWidget {
    Q_OBJECT
public:
    explicit frmCustom(QWidget* parent = nullptr);

    // Null only when the library could not create the control.
    Mordal::Comm* Comm1() const { return comm; }

private:
    Mordal::Comm* comm = nullptr;
};

} // namespace Pomiar
