#include "InstalledFiles.h"

#include <QDir>
#include <QProcess>

namespace InstalledFiles {

QStringList SourceFiles(const QString& folder, const QStringList& patterns) {
    return QDir(folder).entryList(patterns, QDir::Files, QDir::Name);
}

QStringList Expected() {
    const QString libdir = QStringLiteral(INSTALL_LIBDIR);
    const QString app = QStringLiteral(APP_ID);
    QStringList files = {
        "bin/Pomiar",
        "bin/balance-sim",
        libdir + "/libMordal.so",
        libdir + "/libMordal.so." MORDAL_SOVERSION_TEXT,
        libdir + "/libMordal.so." MORDAL_VERSION_TEXT,
        libdir + "/pkgconfig/Mordal.pc",
        "share/applications/" + app + ".desktop",
        "share/metainfo/" + app + ".metainfo.xml",
        "share/icons/hicolor/scalable/apps/" + app + ".svg",
        "share/man/man1/Pomiar.1.gz",
        "share/man/man1/balance-sim.1.gz",
    };
#if CLI_INSTALLED
    files << "bin/trevalo"
          << "share/man/man1/trevalo.1.gz"
          << "lib/systemd/system/trevalo-web.service";
    for (const QString& page :
         SourceFiles(QStringLiteral(SOURCE_DIR "/app/server/web/page"), {"*"}))
        files << "share/trevalo/lab-web/" + page;
#endif
    for (const QString& header :
         SourceFiles(QStringLiteral(SOURCE_DIR "/comm/include/Mordal"), {"*.h"}))
        files << "include/Mordal/" + header;
    for (const QString& shipped :
         SourceFiles(QStringLiteral(SOURCE_DIR "/Language"), {"*.lag", "*.html"}))
        files << "share/trevalo/Language/" + shipped;
    return files;
}

Run Execute(const QString& program, const QStringList& arguments,
            const QProcessEnvironment& environment) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    Run run;
    // Packing every binary takes a while on a busy machine.
    if (!process.waitForFinished(180000)) {
        process.kill();
        process.waitForFinished();
        run.output = program.toUtf8() + ": did not finish: " + process.errorString().toUtf8();
        return run;
    }
    run.output = process.readAll();
    if (process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    return run;
}

} // namespace InstalledFiles
