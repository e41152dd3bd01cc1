#pragma once

#include <QString>
#include <QStringList>

// Where the program keeps its files (ustawienia.ini, dane.mdb, Language,
// error logs, fast exports).
namespace Pomiar::ProgramFolder {

// "--dir DIR" (or "--dir=DIR") on the command line, else $POMIAR_DIR, else
// the executable's folder when it holds ustawienia.ini (a portable install),
// else $XDG_DATA_HOME/Trevalo (~/.local/share/Trevalo).
QString Resolve(const QStringList& arguments, const QString& executableFolder);

// Creates the folder and its "Language" subfolder when missing and copies in
// every shipped language file that the folder lacks (never overwriting a
// file the user has); a language file the user has gets the texts its
// shipped twin has and it lacks. Answers false with a reason when the
// folder cannot be made.
bool Prepare(const QString& folder, const QString& shippedLanguageFolder, QString* error);

// Where the shipped language files are: "Language" beside the executable (a
// build or a portable install), else the data folder of the install's
// prefix (<prefix>/share/trevalo/Language for <prefix>/bin).
QString ShippedLanguageFolder(const QString& executableFolder);

} // namespace Pomiar::ProgramFolder
