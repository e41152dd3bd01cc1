#include "Module1.h"

#include "Glowna.h"
#include "INI.h"
#include "LanguageTexts.h"
#include "PerUserSettings.h"
#include "ProgramContext.h"
#include "ProgramFolder.h"
#include "QtUserDialogs.h"
#include "Startowa.h"
#include "Zakonczenie.h"

#include <QApplication>
#include <cstdio>

namespace Pomiar::Module1 {

bool ReadSettings(ProgramContext& context) {
    const QString ini = context.IniPath();
    context.settings.nrWagi = INI::CzytajIni(ini, "ustawienia", "Nr_wagi", "1");
    context.applicationTitle = QStringLiteral("Trevalo [%1]").arg(context.settings.nrWagi);
    context.settings.languageFileName =
        INI::CzytajIni(ini, "ustawienia", " language", "Polish.lag");
    context.settings.helpFileName =
        mUstawienia::HelpFileName(INI::CzytajIni(ini, "ustawienia", "language", "Polish.lag"));
    try {
        mUstawienia::WczytajUstawienia(ini, context.settings);
    } catch (const SettingsError& error) {
        context.dialogs->MessageBox(nullptr,
                                    QStringLiteral("Run-time error '13':\r\n\r\nType mismatch "
                                                   "(%1=%2 in %3)")
                                        .arg(error.key, error.value, ini),
                                    MsgButtons::Ok, MsgIcon::Critical, context.applicationTitle);
        return false;
    }
    mUstawienia::ZapiszUstawienia(ini, context.settings);
    return true;
}

int Main(QApplication& app, const QStringList& arguments) {
    const QString executableFolder = QCoreApplication::applicationDirPath();
    ProgramContext context;
    QtUserDialogs dialogs;
    context.dialogs = &dialogs;
    context.programFolder = ProgramFolder::Resolve(arguments, executableFolder);
    QString error;
    if (!ProgramFolder::Prepare(context.programFolder,
                                ProgramFolder::ShippedLanguageFolder(executableFolder), &error)) {
        std::fprintf(stderr, "Trevalo: %s\n", qPrintable(error));
        return 1;
    }
    if (!ReadSettings(context))
        return 1;
    QCoreApplication::setApplicationName(context.applicationTitle);
    context.userSettings = std::make_shared<PerUserSettings>(context.applicationTitle);

    const QString languageFile = context.LanguageFilePath();
    const bool templateMode = GetLangText(languageFile, QString(), "ok", "n") == "y";
    LoadMessages(languageFile, context.messages);
    if (templateMode)
        return 0;

    app.setQuitOnLastWindowClosed(false);
    Startowa start(context);
    Glowna* mainWindow = start.Load();
    if (!mainWindow)
        return 0;

    std::unique_ptr<Zakonczenie> closing;
    QObject::connect(mainWindow, &Glowna::Closed, [&] {
        closing = std::make_unique<Zakonczenie>(mainWindow->compactDatabase,
                                                mainWindow->compactionAttempts);
        QObject::connect(closing.get(), &Zakonczenie::finished, &app, &QCoreApplication::quit);
        closing->show();
    });
    return app.exec();
}

} // namespace Pomiar::Module1
