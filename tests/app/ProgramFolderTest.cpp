#include "ProgramFolder.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Pomiar;

namespace {

// Sets an environment variable for one test and puts the old value back.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const QString& value)
        : name(name), wasSet(qEnvironmentVariableIsSet(name)), old(qgetenv(name)) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, QFile::encodeName(value));
    }
    ~ScopedEnvironment() {
        if (wasSet)
            qputenv(name, old);
        else
            qunsetenv(name);
    }

private:
    const char* name;
    bool wasSet;
    QByteArray old;
};

class ProgramFolderTest : public ::testing::Test {
protected:
    QTemporaryDir temp{TestEnvironment::Root() + "/folder-XXXXXX"};
    QString base = temp.path();
    QString executableFolder = base + "/bin";

    void SetUp() override { ASSERT_TRUE(QDir().mkpath(executableFolder)); }

    static void WriteFile(const QString& path, const QByteArray& bytes) {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    static QByteArray ReadFile(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

} // namespace

TEST_F(ProgramFolderTest, DirArgumentComesFirst) {
    ScopedEnvironment environment("POMIAR_DIR", base + "/env");
    WriteFile(executableFolder + "/ustawienia.ini", "");
    EXPECT_EQ(ProgramFolder::Resolve({"Pomiar", "--dir", base + "/arg"}, executableFolder),
              base + "/arg");
    EXPECT_EQ(ProgramFolder::Resolve({"Pomiar", "--dir=" + base + "/eq"}, executableFolder),
              base + "/eq");
}

TEST_F(ProgramFolderTest, RelativeDirIsMadeAbsolute) {
    const QString resolved =
        ProgramFolder::Resolve({"Pomiar", "--dir", "station"}, executableFolder);
    EXPECT_EQ(resolved, QDir::current().absoluteFilePath("station"));
}

TEST_F(ProgramFolderTest, DirWithoutValueIsIgnored) {
    ScopedEnvironment environment("POMIAR_DIR", base + "/env");
    EXPECT_EQ(ProgramFolder::Resolve({"Pomiar", "--dir"}, executableFolder), base + "/env");
    EXPECT_EQ(ProgramFolder::Resolve({"Pomiar", "--dir="}, executableFolder), base + "/env");
}

TEST_F(ProgramFolderTest, EnvironmentComesBeforeAPortableInstall) {
    ScopedEnvironment environment("POMIAR_DIR", base + "/env/");
    WriteFile(executableFolder + "/ustawienia.ini", "");
    EXPECT_EQ(ProgramFolder::Resolve({"Pomiar"}, executableFolder), base + "/env");
}

TEST_F(ProgramFolderTest, ExecutableFolderHoldingSettingsIsAPortableInstall) {
    ScopedEnvironment environment("POMIAR_DIR", QString());
    WriteFile(executableFolder + "/ustawienia.ini", "[ustawienia]\r\nNr_wagi=2\r\n");
    EXPECT_EQ(ProgramFolder::Resolve({"Pomiar"}, executableFolder), executableFolder);
}

TEST_F(ProgramFolderTest, OtherwiseTheUsersDataFolder) {
    ScopedEnvironment environment("POMIAR_DIR", QString());
    {
        ScopedEnvironment data("XDG_DATA_HOME", base + "/data");
        EXPECT_EQ(ProgramFolder::Resolve({"Pomiar"}, executableFolder), base + "/data/Trevalo");
    }
    ScopedEnvironment home("HOME", base + "/home");
    ScopedEnvironment data("XDG_DATA_HOME", QString());
    EXPECT_EQ(ProgramFolder::Resolve({"Pomiar"}, executableFolder),
              base + "/home/.local/share/Trevalo");
}

TEST_F(ProgramFolderTest, PrepareCreatesTheFolderAndCopiesShippedLanguageFiles) {
    const QString shipped = base + "/shipped";
    WriteFile(shipped + "/Polish.lag", "ok=n\r\n");
    WriteFile(shipped + "/English.lag", "ok=n\r\n[MSG]\r\nMSG_46=Error\r\n");
    WriteFile(shipped + "/help/English.chm", "help");
    const QString folder = base + "/new/Trevalo";

    QString error;
    ASSERT_TRUE(ProgramFolder::Prepare(folder, shipped, &error)) << error.toStdString();
    EXPECT_EQ(ReadFile(folder + "/Language/English.lag"), "ok=n\r\n[MSG]\r\nMSG_46=Error\r\n");
    EXPECT_EQ(ReadFile(folder + "/Language/Polish.lag"), "ok=n\r\n");
    EXPECT_EQ(ReadFile(folder + "/Language/help/English.chm"), "help");
}

TEST_F(ProgramFolderTest, PrepareNeverOverwritesTheUsersFiles) {
    const QString shipped = base + "/shipped";
    WriteFile(shipped + "/Polish.lag", "shipped");
    WriteFile(shipped + "/English.lag", "shipped");
    const QString folder = base + "/station";
    WriteFile(folder + "/Language/Polish.lag", "translated by the user");

    QString error;
    ASSERT_TRUE(ProgramFolder::Prepare(folder, shipped, &error)) << error.toStdString();
    EXPECT_EQ(ReadFile(folder + "/Language/Polish.lag"), "translated by the user");
    EXPECT_EQ(ReadFile(folder + "/Language/English.lag"), "shipped");
}

TEST_F(ProgramFolderTest, PrepareWithoutShippedFilesStillMakesTheFolders) {
    QString error;
    EXPECT_TRUE(ProgramFolder::Prepare(base + "/bare", base + "/nothing-here", &error));
    EXPECT_TRUE(QFileInfo(base + "/bare/Language").isDir());
}

TEST_F(ProgramFolderTest, PrepareReportsAFolderThatCannotBeMade) {
    WriteFile(base + "/blocked", "a file where the folder should be");
    QString error;
    EXPECT_FALSE(ProgramFolder::Prepare(base + "/blocked/Trevalo", QString(), &error));
    EXPECT_TRUE(error.contains("blocked")) << error.toStdString();
}

TEST_F(ProgramFolderTest, ShippedFilesBesideTheExecutableOrInTheShareFolder) {
    EXPECT_EQ(ProgramFolder::ShippedLanguageFolder(executableFolder),
              base + "/share/Trevalo/Language");
    ASSERT_TRUE(QDir().mkpath(executableFolder + "/Language"));
    EXPECT_EQ(ProgramFolder::ShippedLanguageFolder(executableFolder),
              executableFolder + "/Language");
}
