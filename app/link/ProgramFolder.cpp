#include "ProgramFolder.h"

#include "INI.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace Pomiar::ProgramFolder {

namespace {

const QString dirOption = QStringLiteral("--dir");

// The install puts the shipped files into the data folder of its prefix; the
// build passes where that is seen from the executable's folder, so the
// program finds them under any prefix (/usr, /usr/local, a staging folder).
#ifdef TREVALO_LANGUAGE_FROM_BIN
constexpr const char* InstalledLanguageFolder = TREVALO_LANGUAGE_FROM_BIN;
#else
constexpr const char* InstalledLanguageFolder = "../share/trevalo/Language";
#endif

QString absolute(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

QString dirArgument(const QStringList& arguments) {
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == dirOption && i + 1 < arguments.size())
            return arguments[i + 1];
        if (argument.startsWith(dirOption + QLatin1Char('=')))
            return argument.mid(dirOption.size() + 1);
    }
    return {};
}

QString dataHome() {
    const QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    // Relative values are to be ignored, as the XDG rules say.
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return xdg;
    return QDir::homePath() + QStringLiteral("/.local/share");
}

// Copies what target lacks, folder by folder; files already there stay
// untouched, since the user may have translated them.
bool copyMissing(const QString& source, const QString& target, QString* error) {
    QDirIterator it(source, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    const QDir sourceDir(source);
    while (it.hasNext()) {
        const QFileInfo entry(it.next());
        const QString destination =
            target + QLatin1Char('/') + sourceDir.relativeFilePath(entry.absoluteFilePath());
        if (entry.isDir()) {
            if (!QDir().mkpath(destination)) {
                if (error)
                    *error = QStringLiteral("Cannot create the folder %1").arg(destination);
                return false;
            }
        } else if (!QFileInfo::exists(destination)) {
            QFile file(entry.absoluteFilePath());
            if (!file.copy(destination)) {
                if (error)
                    *error = QStringLiteral("Cannot copy %1 to %2: %3")
                                 .arg(entry.absoluteFilePath(), destination, file.errorString());
                return false;
            }
        }
    }
    return true;
}

} // namespace

QString Resolve(const QStringList& arguments, const QString& executableFolder) {
    const QString fromArgument = dirArgument(arguments);
    if (!fromArgument.isEmpty())
        return absolute(fromArgument);
    const QString fromEnvironment = qEnvironmentVariable("POMIAR_DIR");
    if (!fromEnvironment.isEmpty())
        return absolute(fromEnvironment);
    if (QFileInfo(QDir(executableFolder).filePath(QStringLiteral("ustawienia.ini"))).isFile())
        return absolute(executableFolder);
    return absolute(dataHome() + QStringLiteral("/Trevalo"));
}

bool Prepare(const QString& folder, const QString& shippedLanguageFolder, QString* error) {
    const QString languageFolder = folder + QStringLiteral("/Language");
    if (!QDir().mkpath(languageFolder)) {
        if (error)
            *error = QStringLiteral("Cannot create the folder %1").arg(languageFolder);
        return false;
    }
    if (shippedLanguageFolder.isEmpty() || !QFileInfo(shippedLanguageFolder).isDir())
        return true;
    if (QFileInfo(shippedLanguageFolder).canonicalFilePath() ==
        QFileInfo(languageFolder).canonicalFilePath())
        return true;
    const QStringList ownBefore =
        QDir(languageFolder).entryList({QStringLiteral("*.lag")}, QDir::Files);
    if (!copyMissing(shippedLanguageFolder, languageFolder, error))
        return false;
    for (const QString& name : ownBefore) {
        const QString shipped = shippedLanguageFolder + QLatin1Char('/') + name;
        // A language file the user has, from before the program knew texts
        // its shipped twin has, gets them in its language rather than in the
        // designed Polish (which a lookup of a text missing would write).
        if (QFileInfo(shipped).isFile())
            INI::AddMissing(shipped, languageFolder + QLatin1Char('/') + name);
    }
    return true;
}

QString ShippedLanguageFolder(const QString& executableFolder) {
    const QString beside = QDir(executableFolder).filePath(QStringLiteral("Language"));
    if (QFileInfo(beside).isDir())
        return absolute(beside);
    return absolute(executableFolder + QLatin1Char('/') + QLatin1String(InstalledLanguageFolder));
}

} // namespace Pomiar::ProgramFolder
