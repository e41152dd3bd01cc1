#pragma once

#include <QDialog>
#include <QString>

class QTextBrowser;

namespace Pomiar {

// The user guide in a window of the program's own, for a desktop that has
// no viewer for it. Links inside the guide stay in the window.
class HelpWindow : public QDialog {
    Q_OBJECT

public:
    explicit HelpWindow(const QString& guidePath, QWidget* parent = nullptr);

    // Whether this window can show the file (an HTML guide, not a compiled
    // help file).
    static bool CanShow(const QString& path);

    QTextBrowser* Browser() const { return browser; }

private:
    QTextBrowser* browser = nullptr;
};

} // namespace Pomiar
