#include "Glowna.h"
#include "InstalledFiles.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <string>

using InstalledFiles::Execute;

namespace {

// The paths a package lists ("./usr/bin/Pomiar", a link with its target
// after " -> "), made relative to /usr.
QStringList PackagedFiles(const QByteArray& contents) {
    QStringList files;
    for (const QByteArray& line : contents.split('\n')) {
        const QStringList fields = QString::fromUtf8(line).simplified().split(' ');
        if (fields.size() < 6 || fields[0].startsWith('d'))
            continue;
        const QString path = fields[5];
        if (path.startsWith("./usr/"))
            files << path.mid(6);
    }
    return files;
}

QString ControlField(const QString& package, const char* field) {
    return QString::fromUtf8(Execute("dpkg-deb", {"--field", package, field}).output).trimmed();
}

} // namespace

TEST(PackageTest, DebianPackageHoldsTheInstallUnderUsrWithItsDependencies) {
    QTemporaryDir output(TestEnvironment::Root() + "/package-XXXXXX");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const auto cpack =
        Execute(CPACK_PROGRAM,
                {"-G", "DEB", "--config", BUILD_DIR "/CPackConfig.cmake", "-B", output.path()},
                environment);
    ASSERT_EQ(cpack.exitCode, 0) << cpack.output.toStdString();
    const QStringList packages = QDir(output.path()).entryList({"*.deb"}, QDir::Files);
    ASSERT_EQ(packages.size(), 1) << packages.join(' ').toStdString();
    const QString package = output.filePath(packages.first());

    const auto contents = Execute("dpkg-deb", {"--contents", package});
    ASSERT_EQ(contents.exitCode, 0) << contents.output.toStdString();
    const QStringList files = PackagedFiles(contents.output);
    for (const QString& expected : InstalledFiles::Expected())
        EXPECT_TRUE(files.contains(expected)) << expected.toStdString();

    EXPECT_EQ(ControlField(package, "Package"), "trevalo");
    const std::string version = Pomiar::Glowna::Version;
    EXPECT_EQ(ControlField(package, "Version").toStdString(), version);
    const QString depends = ControlField(package, "Depends");
    for (const char* dependency :
         {"libqt6core6", "libqt6widgets6", "libqt6charts6", "libqt6printsupport6", "libqt6svg6",
          "libsqlite3-0", "qt6-qpa-plugins"})
        EXPECT_TRUE(depends.contains(QLatin1String(dependency)))
            << dependency << " missing from: " << depends.toStdString();
    // Other packages that link the library depend on this one for it.
    const auto shlibs = Execute("dpkg-deb", {"--info", package, "shlibs"});
    EXPECT_EQ(shlibs.output.simplified().toStdString(),
              "libMordal " MORDAL_SOVERSION_TEXT " trevalo (>= " + version + ")");
}
