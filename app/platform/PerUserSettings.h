#pragma once

#include <QString>

namespace Pomiar {

// The per-user settings of one station: kept under the user's configuration
// folder, in a file named after the application title, so that "Trevalo [1]"
// and "Trevalo [7]" keep their own values. Sections look like "Setup\Cykl".
class PerUserSettings {
public:
    explicit PerUserSettings(const QString& applicationTitle);

    QString GetSetting(const QString& section, const QString& key,
                       const QString& defaultValue = QString()) const;
    void SaveSetting(const QString& section, const QString& key, const QString& value);

    // Where the values live, for the README and for tests.
    QString FilePath() const;

private:
    QString applicationTitle;
};

} // namespace Pomiar
