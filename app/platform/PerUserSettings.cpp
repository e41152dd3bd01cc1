#include "PerUserSettings.h"

#include <QSettings>
#include <QStringList>

namespace Pomiar {

namespace {

// Sections are paths ("Setup\Cykl"); QSettings separates levels with "/",
// and takes "\" for one as well, so both spellings reach the same place.
QString groupOf(const QString& section) {
    QString path = section;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return path.split(QLatin1Char('/'), Qt::SkipEmptyParts).join(QLatin1Char('/'));
}

// A key is one name, never a path: a separator in it must not reach into
// another section.
QString keyOf(const QString& key) {
    QString name = key;
    return name.replace(QLatin1Char('%'), QLatin1String("%25"))
        .replace(QLatin1Char('/'), QLatin1String("%2F"))
        .replace(QLatin1Char('\\'), QLatin1String("%5C"));
}

QString pathOf(const QString& section, const QString& key) {
    const QString group = groupOf(section);
    return group.isEmpty() ? keyOf(key) : group + QLatin1Char('/') + keyOf(key);
}

} // namespace

PerUserSettings::PerUserSettings(const QString& applicationTitle)
    : applicationTitle(applicationTitle) {}

QString PerUserSettings::GetSetting(const QString& section, const QString& key,
                                    const QString& defaultValue) const {
    const QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Trevalo"),
                             applicationTitle);
    const QVariant value = settings.value(pathOf(section, key));
    if (!value.isValid())
        return defaultValue;
    // A hand-edited file may hold "a, b", which QSettings reads as a list.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

void PerUserSettings::SaveSetting(const QString& section, const QString& key,
                                  const QString& value) {
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Trevalo"),
                       applicationTitle);
    settings.setValue(pathOf(section, key), value);
}

QString PerUserSettings::FilePath() const {
    const QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Trevalo"),
                             applicationTitle);
    return settings.fileName();
}

} // namespace Pomiar
