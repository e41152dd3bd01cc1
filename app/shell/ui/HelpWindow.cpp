#include "HelpWindow.h"

#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace Pomiar {

HelpWindow::HelpWindow(const QString& guidePath, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("HelpWindow"));
    browser = new QTextBrowser(this);
    browser->setObjectName(QStringLiteral("Browser"));
    browser->setOpenExternalLinks(false);
    browser->setSource(QUrl::fromLocalFile(QFileInfo(guidePath).absoluteFilePath()));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser);
    const QString title = browser->documentTitle();
    setWindowTitle(title.isEmpty() ? QFileInfo(guidePath).fileName() : title);
    resize(760, 640);
}

bool HelpWindow::CanShow(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("html") || suffix == QLatin1String("htm");
}

} // namespace Pomiar
