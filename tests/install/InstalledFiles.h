#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// What an install holds and how the tests run the tools that check it.
namespace InstalledFiles {

// Every file an install puts under its prefix, relative to the prefix
// ("bin/Pomiar", "share/man/man1/Pomiar.1.gz", ...): the programs, the
// library with its SONAME link, every public header, the pkg-config file,
// each shipped language file and guide, the menu entry, metainfo, icon and
// manual pages.
QStringList Expected();

// The public headers and shipped language files as kept in the sources, so
// that a file added there and left out of the install is noticed.
QStringList SourceFiles(const QString& folder, const QStringList& patterns);

struct Run {
    int exitCode = -1;
    QByteArray output; // standard output and error together
};

// Runs program to its end (at most a minute) in the given environment.
Run Execute(const QString& program, const QStringList& arguments,
            const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());

} // namespace InstalledFiles
