#pragma once

#include "LanguageTexts.h"
#include "mUstawienia.h"

#include <QString>
#include <memory>

namespace Pomiar {

class PerUserSettings;
class UserDialogs;

// What every window of one run shares: where the files are, the settings in
// memory, the texts, the per-user store and the dialogs.
struct ProgramContext {
    QString programFolder;
    QString applicationTitle = QStringLiteral("Trevalo");
    Settings settings;
    MessageTable messages;
    UserDialogs* dialogs = nullptr;
    std::shared_ptr<PerUserSettings> userSettings;

    QString IniPath() const { return programFolder + QStringLiteral("/ustawienia.ini"); }
    QString LanguageFolder() const { return programFolder + QStringLiteral("/Language"); }
    QString LanguageFilePath() const {
        return LanguageFolder() + QLatin1Char('/') + settings.languageFileName;
    }
    QString Lang(const QString& section, const QString& key, const QString& defaultText) const {
        return GetLangText(LanguageFilePath(), section, key, defaultText);
    }
    QString Msg(int index) const { return messages.Text(index); }
};

} // namespace Pomiar
