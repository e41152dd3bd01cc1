#include "Glowna.h"
#include "InstalledFiles.h"
#include "TestEnvironment.h"
#include "TestFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <memory>
#include <string>

using InstalledFiles::Execute;
using TestFiles::ReadFile;

namespace {

// One install of this build into a staging folder, as `DESTDIR=... cmake
// --install` makes it for a package, shared by the tests of the suite.
class InstallTest : public ::testing::Test {
protected:
    static inline std::unique_ptr<QTemporaryDir> stage;
    static inline QString prefix;
    static inline QByteArray installLog;

    static void SetUpTestSuite() {
        stage = std::make_unique<QTemporaryDir>(TestEnvironment::Root() + "/stage-XXXXXX");
        prefix = stage->path() + "/usr";
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DESTDIR", stage->path());
        const auto run =
            Execute(CMAKE_PROGRAM, {"--install", BUILD_DIR, "--prefix", "/usr"}, environment);
        installLog = run.exitCode == 0 ? QByteArray() : run.output;
    }
    static void TearDownTestSuite() { stage.reset(); }

    void SetUp() override { ASSERT_TRUE(installLog.isEmpty()) << installLog.toStdString(); }

    static QString Installed(const QString& relative) { return prefix + "/" + relative; }

    // The environment of a desktop session with nothing of the build in it:
    // a home of its own, the program folder left to the program. Programs
    // find the staged libMordal through their run path; a build for /usr
    // has none and leaves it to the loader's own folders, which the staged
    // copy is not in.
    static QProcessEnvironment Desktop(const QString& home) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("HOME", home);
        for (const char* name : {"POMIAR_DIR", "XDG_DATA_HOME", "LD_LIBRARY_PATH"})
            environment.remove(name);
        if (QStringLiteral(INSTALL_RPATH).isEmpty())
            environment.insert("LD_LIBRARY_PATH", Installed(INSTALL_LIBDIR));
        return environment;
    }
};

QStringList FilesUnder(const QString& root) {
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::System | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}

bool WaitForFile(const QString& path, QProcess& process, int milliseconds) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < milliseconds) {
        if (QFileInfo::exists(path))
            return true;
        if (process.state() == QProcess::NotRunning)
            return false;
        QThread::msleep(50);
    }
    return QFileInfo::exists(path);
}

} // namespace

TEST_F(InstallTest, EveryFileLandsInItsPlaceAndNothingOfTheBuildGoesWithIt) {
    const QStringList installed = FilesUnder(prefix);
    for (const QString& expected : InstalledFiles::Expected())
        EXPECT_TRUE(installed.contains(expected)) << expected.toStdString();
    for (const QString& file : installed) {
        const QString name = QFileInfo(file).fileName();
        EXPECT_FALSE(name.endsWith("_tests") || name.startsWith("bench_") ||
                     name == "window-shots" || name.endsWith(".a"))
            << file.toStdString();
    }
    EXPECT_TRUE(QFileInfo(Installed("bin/Pomiar")).isExecutable());
    EXPECT_TRUE(QFileInfo(Installed("bin/balance-sim")).isExecutable());
}

TEST_F(InstallTest, LibraryIsFoundThroughItsSoname) {
    const QString library = Installed(INSTALL_LIBDIR "/libMordal.so." MORDAL_VERSION_TEXT);
    const auto headers = Execute("objdump", {"-p", library});
    ASSERT_EQ(headers.exitCode, 0) << headers.output.toStdString();
    EXPECT_TRUE(headers.output.contains("SONAME               libMordal.so." MORDAL_SOVERSION_TEXT))
        << headers.output.toStdString();
    for (const char* link : {"/libMordal.so", "/libMordal.so." MORDAL_SOVERSION_TEXT}) {
        const QFileInfo info(Installed(INSTALL_LIBDIR) + link);
        EXPECT_TRUE(info.isSymLink()) << link;
        EXPECT_EQ(info.canonicalFilePath(), QFileInfo(library).canonicalFilePath()) << link;
    }
}

TEST_F(InstallTest, AHostBuildsAgainstTheInstalledHeadersThroughPkgConfig) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("PKG_CONFIG_PATH", Installed(INSTALL_LIBDIR "/pkgconfig"));
    const auto flags = Execute("pkg-config", {"--cflags", "--libs", "Mordal"}, environment);
    ASSERT_EQ(flags.exitCode, 0) << flags.output.toStdString();
    const auto version = Execute("pkg-config", {"--modversion", "Mordal"}, environment);
    EXPECT_EQ(version.output.trimmed(), MORDAL_VERSION_TEXT) << "the library's own version";

    QTemporaryDir work(TestEnvironment::Root() + "/host-XXXXXX");
    // The control a host compiles against is a QObject and one pointer, so
    // the library's insides can change under the same SONAME.
    TestFiles::WriteFile(work.filePath("host.cpp"), R"(#include <Mordal/Mordal.h>
#include <QCoreApplication>
static_assert(sizeof(Mordal::Comm) == sizeof(QObject) + sizeof(void*));
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return qobject_cast<Mordal::Comm*>(Mordal::CreateControl("Brisko_2.Comm", &app)) ? 0 : 3;
}
)");
    QStringList arguments = {"-std=c++20",
                             "-fPIC",
                             work.filePath("host.cpp"),
                             "-o",
                             work.filePath("host"),
                             "-Wl,-rpath," + Installed(INSTALL_LIBDIR)};
    arguments << QString::fromUtf8(flags.output).simplified().split(' ');
    const auto compile = Execute("c++", arguments);
    ASSERT_EQ(compile.exitCode, 0) << compile.output.toStdString();
    const auto host = Execute(work.filePath("host"), {});
    EXPECT_EQ(host.exitCode, 0) << host.output.toStdString();
}

// The transports, the socket class, the frame buffer, the timers and the
// seam of the library's own tests: a public header that names one, or an
// export that carries one, ties every host to the library's private layout.
TEST_F(InstallTest, NoPrivatePartOfTheLibraryShowsInItsHeadersOrExports) {
    const auto exports =
        Execute("nm", {"-DC", "--defined-only",
                       Installed(INSTALL_LIBDIR "/libMordal.so." MORDAL_VERSION_TEXT)});
    ASSERT_EQ(exports.exitCode, 0) << exports.output.toStdString();
    ASSERT_TRUE(exports.output.contains("Mordal::Comm::OutputData")) << "the exports were read";
    const QDir folder(Installed("include/Mordal"));
    const QStringList headers = folder.entryList({"*.h"}, QDir::Files);
    ASSERT_TRUE(headers.contains("Comm.h")) << headers.join(' ').toStdString();

    for (const char* pattern :
         {R"(\bSerialAPI\b)", R"(\bTCP\s*[*&]|\bTCP::|\bclass\s+TCP\b)", R"(\bCSocket\b)",
          R"(\bFrameBuffer\b)", R"(\bIKavlin\b)", R"(\bI?TransportOwner\b)", R"(\bQTimer\b)",
          R"(\bUseTransport\b)", R"(\bCommInternals\b)"}) {
        SCOPED_TRACE(pattern);
        const QRegularExpression privatePart(QString::fromLatin1(pattern));
        for (const QString& header : headers) {
            const QRegularExpressionMatch found =
                privatePart.match(QString::fromUtf8(ReadFile(folder.filePath(header))));
            EXPECT_FALSE(found.hasMatch())
                << header.toStdString() << ": " << found.captured().toStdString();
        }
        const QRegularExpressionMatch exported =
            privatePart.match(QString::fromUtf8(exports.output));
        EXPECT_FALSE(exported.hasMatch()) << "exported: " << exported.captured().toStdString();
    }
}

TEST_F(InstallTest, InstalledProgramAnswersHelpAndVersionWithoutADisplay) {
    QProcessEnvironment environment = Desktop(stage->filePath("home"));
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(name);
    const auto help = Execute(Installed("bin/Pomiar"), {"--help"}, environment);
    EXPECT_EQ(help.exitCode, 0) << help.output.toStdString();
    EXPECT_TRUE(help.output.startsWith("Usage: Pomiar")) << help.output.toStdString();
    EXPECT_TRUE(help.output.contains("--dir DIR"));
    const auto version = Execute(Installed("bin/Pomiar"), {"--version"}, environment);
    EXPECT_EQ(version.exitCode, 0) << version.output.toStdString();
    EXPECT_EQ(version.output.trimmed().toStdString(),
              std::string("Pomiar (Trevalo) ") + Pomiar::Glowna::Version)
        << "the version the main window's caption shows";
    // Neither made a program folder: nothing was started.
    EXPECT_FALSE(QFileInfo::exists(stage->filePath("home/.local/share/Trevalo")));
}

TEST_F(InstallTest, InstalledProgramFillsItsPerUserFolderOnTheFirstStart) {
    const QString home = stage->filePath("first-start-home");
    ASSERT_TRUE(QDir().mkpath(home));
    QProcess program;
    program.setProcessEnvironment(Desktop(home));
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(Installed("bin/Pomiar"), {});
    ASSERT_TRUE(program.waitForStarted());
    // The working database is made when the main window loads, after the
    // folder was filled and the settings and texts were read.
    const QString folder = home + "/.local/share/Trevalo";
    const bool loaded = WaitForFile(folder + "/dane.mdb", program, 30000);
    program.kill();
    program.waitForFinished();
    ASSERT_TRUE(loaded) << "the main window did not load";

    for (const QString& shipped :
         InstalledFiles::SourceFiles(QStringLiteral(SOURCE_DIR "/Language"), {"*.lag", "*.html"})) {
        SCOPED_TRACE(shipped.toStdString());
        EXPECT_EQ(ReadFile(folder + "/Language/" + shipped),
                  ReadFile(Installed("share/trevalo/Language/" + shipped)));
    }
    QSettings settings(folder + "/ustawienia.ini", QSettings::IniFormat);
    EXPECT_EQ(settings.value("EXPORT/fastExportEnabled").toString(), "False");
    EXPECT_EQ(settings.value("EXPORT/fastExportFileName").toString(), "FastExportFile");
    EXPECT_EQ(settings.value("ustawienia/pomiarShowNote").toString(), "False");
    EXPECT_EQ(settings.value("ustawienia/pomiarShowSave").toString(), "False");
    EXPECT_EQ(settings.value("COMMANDS/CMD_SEND_UNSTABLE").toString(), "SI");
    EXPECT_EQ(settings.value("COMMANDS/CMD_SEND_STABLE").toString(), "S");
}

TEST_F(InstallTest, MenuEntryAndMetainfoPassTheirValidators) {
    const QString desktop = Installed("share/applications/" APP_ID ".desktop");
    const auto entry = Execute("desktop-file-validate", {desktop});
    EXPECT_EQ(entry.exitCode, 0) << entry.output.toStdString();
    EXPECT_TRUE(entry.output.isEmpty()) << entry.output.toStdString();
    const auto metainfo =
        Execute("appstreamcli",
                {"validate", "--no-net", Installed("share/metainfo/" APP_ID ".metainfo.xml")});
    EXPECT_EQ(metainfo.exitCode, 0) << metainfo.output.toStdString();

    // The entry starts an installed program and shows the installed icon.
    QSettings fields(desktop, QSettings::IniFormat);
    fields.beginGroup("Desktop Entry");
    EXPECT_TRUE(QFileInfo(Installed("bin/" + fields.value("Exec").toString())).isExecutable());
    EXPECT_TRUE(QFileInfo::exists(Installed("share/icons/hicolor/scalable/apps/" +
                                            fields.value("Icon").toString() + ".svg")));
}

TEST_F(InstallTest, ManualPagesAndMetainfoNameTheVersionTheCaptionShows) {
    const std::string version = Pomiar::Glowna::Version;
    const QRegularExpression pageFooter(R"re(^\.TH \S+ 1 "[^"]*" "Trevalo ([^"]+)")re");
    const QRegularExpression release(R"re(<release version="([^"]+)")re");
    QStringList places = InstalledFiles::Expected().filter(QRegularExpression("^share/man/"));
    places << "share/metainfo/" APP_ID ".metainfo.xml";
    for (const QString& place : places) {
        SCOPED_TRACE(place.toStdString());
        const bool page = place.endsWith(".gz");
        const QByteArray text =
            page ? Execute("gzip", {"-dc", Installed(place)}).output : ReadFile(Installed(place));
        // A page names it in its header; the newest release comes first.
        const QRegularExpressionMatch found =
            (page ? pageFooter : release).match(QString::fromUtf8(text));
        ASSERT_TRUE(found.hasMatch()) << text.left(200).toStdString();
        EXPECT_EQ(found.captured(1).toStdString(), version);
    }
}

TEST_F(InstallTest, ManualPagesAreCompressedPages) {
    const QStringList pages = InstalledFiles::Expected().filter(QRegularExpression("^share/man/"));
    EXPECT_GE(pages.size(), 2);
    for (const QString& page : pages) {
        SCOPED_TRACE(page.toStdString());
        const auto text = Execute("gzip", {"-dc", Installed(page)});
        ASSERT_EQ(text.exitCode, 0) << text.output.toStdString();
        EXPECT_TRUE(text.output.startsWith(".TH ")) << text.output.left(80).toStdString();
        EXPECT_TRUE(text.output.contains(".SH SYNOPSIS"));
    }
}

#if CLI_INSTALLED
// The lab web view finds its page's files where the install put them, and
// serves them while the database is still away.
TEST_F(InstallTest, InstalledLabWebViewServesItsInstalledPage) {
    const QString folder = stage->filePath("web-station");
    ASSERT_TRUE(QDir().mkpath(folder));
    TestFiles::WriteFile(folder + "/ustawienia.ini",
                         "[ustawienia]\r\nNr_wagi=1\r\n[LabServer]\r\nEnabled=True\r\n"
                         "Connection=host=127.0.0.1 port=1 dbname=lab connect_timeout=1\r\n");
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    QProcess web;
    web.setProcessEnvironment(Desktop(stage->filePath("web-home")));
    web.start(Installed("bin/trevalo"), {"server", "web", "--dir", folder, "--listen",
                                         QStringLiteral("127.0.0.1:%1").arg(port)});
    QByteArray out;
    QElapsedTimer waited;
    waited.start();
    while (!out.contains("lab web view on") && waited.elapsed() < 10000 &&
           web.state() != QProcess::NotRunning) {
        web.waitForReadyRead(100);
        out += web.readAllStandardOutput();
    }
    ASSERT_TRUE(out.contains("lab web view on")) << web.readAllStandardError().toStdString();
    const auto get = [port](const QByteArray& path) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        socket.waitForConnected(5000);
        socket.write("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
        // The server keeps the connection: the reply ends with its body.
        QByteArray reply;
        const auto complete = [&reply] {
            const qsizetype end = reply.indexOf("\r\n\r\n");
            if (end < 0)
                return false;
            const qsizetype at = reply.toLower().indexOf("content-length:");
            const qsizetype length =
                at < 0
                    ? 0
                    : reply.mid(at + 15, reply.indexOf('\r', at) - at - 15).trimmed().toLongLong();
            return reply.size() >= end + 4 + length;
        };
        while (!complete() && socket.waitForReadyRead(3000))
            reply += socket.readAll();
        return reply;
    };
    const QByteArray page = get("/");
    EXPECT_TRUE(page.startsWith("HTTP/1.1 200")) << page.left(200).toStdString();
    EXPECT_TRUE(page.contains("uPlot.iife.js"));
    const QByteArray chart = get("/uPlot.iife.js");
    EXPECT_TRUE(chart.startsWith("HTTP/1.1 200")) << chart.left(200).toStdString();
    EXPECT_TRUE(chart.contains("uPlot"));
    EXPECT_TRUE(get("/api/stations").startsWith("HTTP/1.1 503"));
    web.terminate();
    EXPECT_TRUE(web.waitForFinished(5000));
    EXPECT_EQ(web.exitCode(), 0);
}
#endif
