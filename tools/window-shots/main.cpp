// Pictures of every translated window in one language, for checking a
// translation by eye: each window is built as a template run builds it and
// drawn into a PNG file named after the window; the main window's menus and
// the chooser of languages are drawn too. Nothing is shown on screen.
//
//   window-shots English.lag <output folder>
//
// The windows come up in a scratch program folder filled with the shipped
// language files, so no settings of a real program folder are touched.

#include "INI.h"
#include "LanguageTexts.h"
#include "Module1.h"
#include "PerUserSettings.h"
#include "ProgramContext.h"
#include "ProgramFolder.h"
#include "QtUserDialogs.h"
#include "frmLanguage.h"

#include <QApplication>
#include <QDir>
#include <QLayout>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QTemporaryDir>
#include <cstdio>

using namespace Pomiar;

namespace {

bool Save(QWidget& widget, const QString& folder, const QString& name) {
    widget.ensurePolished();
    if (widget.layout())
        widget.layout()->activate();
    if (widget.size().isEmpty() || widget.size() == QSize(640, 480))
        widget.adjustSize();
    const QString path = folder + QLatin1Char('/') + name + QStringLiteral(".png");
    if (!widget.grab().save(path)) {
        std::fprintf(stderr, "window-shots: cannot write %s\n", qPrintable(path));
        return false;
    }
    // The caption is drawn by the window manager, not by grab(): it is listed.
    std::printf("%s\t%s\n", qPrintable(path), qPrintable(widget.windowTitle()));
    return true;
}

void SaveMenus(QMainWindow& window, const QString& folder) {
    int index = 0;
    for (QAction* action : window.menuBar()->actions()) {
        if (QMenu* menu = action->menu())
            Save(*menu, folder, window.objectName() + QStringLiteral("-menu%1").arg(++index));
    }
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() != 3) {
        std::fprintf(stderr, "usage: window-shots <language file name> <output folder>\n");
        return 2;
    }
    const QString output = QDir(arguments[2]).absolutePath();
    QDir().mkpath(output);

    QTemporaryDir scratch;
    ProgramContext context;
    QtUserDialogs dialogs;
    context.dialogs = &dialogs;
    context.programFolder = scratch.path();
    QString error;
    if (!ProgramFolder::Prepare(context.programFolder,
                                ProgramFolder::ShippedLanguageFolder(app.applicationDirPath()),
                                &error)) {
        std::fprintf(stderr, "window-shots: %s\n", qPrintable(error));
        return 1;
    }
    INI::ZapiszIni(context.IniPath(), QStringLiteral("ustawienia"), QStringLiteral(" language"),
                   arguments[1]);
    if (!Module1::ReadSettings(context))
        return 1;
    context.userSettings = std::make_shared<PerUserSettings>(QStringLiteral("window-shots"));
    LoadMessages(context.LanguageFilePath(), context.messages);

    Module1::LoadTemplateWindows(context, [&](QWidget& window) {
        Save(window, output, window.objectName());
        if (auto* mainWindow = qobject_cast<QMainWindow*>(&window))
            SaveMenus(*mainWindow, output);
    });
    frmLanguage chooser(context);
    Save(chooser, output, chooser.objectName());
    return 0;
}
