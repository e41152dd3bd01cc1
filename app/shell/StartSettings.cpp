#include "StartSettings.h"

#include "LanguageTexts.h"
#include "ProgramContext.h"
#include "StationSettings.h"
#include "UserDialogs.h"
#include "mUstawienia.h"

#include <cstdio>

namespace Pomiar::Module1 {

bool ReadSettings(ProgramContext& context) {
    const QString ini = context.IniPath();
    try {
        StationSettings::ReadStart(context);
    } catch (const SettingsError& error) {
        context.dialogs->MessageBox(
            nullptr,
            QStringLiteral("Run-time error '13':\r\n\r\nType mismatch\r\n") + error.Where(),
            MsgButtons::Ok, MsgIcon::Critical, context.applicationTitle);
        return false;
    }
    // A file that cannot be written keeps what it held; the run goes on with
    // the settings read.
    QString error;
    if (!mUstawienia::ZapiszUstawienia(ini, context.settings, &error))
        std::fprintf(stderr, "Trevalo: %s\n", qPrintable(error));
    return true;
}

void CheckLanguageFile(ProgramContext& context) {
    const QString languageFile = context.LanguageFilePath();
    if (IsUsableLanguageFile(languageFile))
        return;
    // Garbled or foreign texts would hide every command; the designed ones
    // keep the program usable until another file is chosen.
    UseDesignedTexts(languageFile);
    context.dialogs->MessageBox(nullptr, context.Msg(27) + QStringLiteral("\r\n") + languageFile,
                                MsgButtons::Ok, MsgIcon::Exclamation, context.applicationTitle);
}

} // namespace Pomiar::Module1
