#include "ProgramFolder.h"
#include "ScopedEnv.h"
#include "TestEnvironment.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Pomiar;
using TestFiles::ReadFile;
using TestFiles::WriteFile;

namespace {

class ProgramFolderTest : public ::testing::Test {
protected:
    QTemporaryDir temp{TestEnvironment::Root() + "/folder-XXXXXX"};
    QString base = temp.path();
    QString executableFolder = base + "/bin";

    void SetUp() override { ASSERT_TRUE(QDir().mkpath(executableFolder)); }
};

} // namespace

TEST_F(ProgramFolderTest, DirArgumentComesFirst) {
    ScopedEnv environment("POMIAR_DIR", base + "/env");
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
    ScopedEnv environment("POMIAR_DIR", base + "/env");
    EXPECT_EQ(ProgramFolder::Resolve({"Pomiar", "--dir"}, executableFolder), base + "/env");
    EXPECT_EQ(ProgramFolder::Resolve({"Pomiar", "--dir="}, executableFolder), base + "/env");
}

TEST_F(ProgramFolderTest, EnvironmentComesBeforeAPortableInstall) {
    ScopedEnv environment("POMIAR_DIR", base + "/env/");
    WriteFile(executableFolder + "/ustawienia.ini", "");
    EXPECT_EQ(ProgramFolder::Resolve({"Pomiar"}, executableFolder), base + "/env");
}

TEST_F(ProgramFolderTest, ExecutableFolderHoldingSettingsIsAPortableInstall) {
    ScopedEnv environment("POMIAR_DIR", QString());
    WriteFile(executableFolder + "/ustawienia.ini", "[ustawienia]\r\nNr_wagi=2\r\n");
    EXPECT_EQ(ProgramFolder::Resolve({"Pomiar"}, executableFolder), executableFolder);
}

TEST_F(ProgramFolderTest, OtherwiseTheUsersDataFolder) {
    ScopedEnv environment("POMIAR_DIR", QString());
    {
        ScopedEnv data("XDG_DATA_HOME", base + "/data");
        EXPECT_EQ(ProgramFolder::Resolve({"Pomiar"}, executableFolder), base + "/data/Trevalo");
    }
    ScopedEnv home("HOME", base + "/home");
    ScopedEnv data("XDG_DATA_HOME", QString());
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

// A language file from before an update gets the update's new texts in its
// own language, a quoted one with its quotes (and so its blanks); what it
// holds, translated by the user or not, stays.
TEST_F(ProgramFolderTest, PrepareAddsTheShippedTextsAUsersLanguageFileLacks) {
    const QString shipped = base + "/shipped";
    WriteFile(shipped + "/English.lag",
              "[D1]\r\nPlik=File\r\nNowy tekst=New text\r\n[Rp1]\r\nRP1_N=\"Report: \"\r\n");
    const QString folder = base + "/station";
    WriteFile(folder + "/Language/English.lag", "[D1]\r\nPlik=My file\r\n; a note\r\n");

    QString error;
    ASSERT_TRUE(ProgramFolder::Prepare(folder, shipped, &error)) << error.toStdString();
    EXPECT_EQ(ReadFile(folder + "/Language/English.lag"),
              "[D1]\r\nPlik=My file\r\n; a note\r\nNowy tekst=New text\r\n[Rp1]\r\nRP1_N=\"Report: "
              "\"\r\n");
    ASSERT_TRUE(ProgramFolder::Prepare(folder, shipped, &error));
    EXPECT_EQ(ReadFile(folder + "/Language/English.lag").count("New text"), 1);
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
              base + "/share/trevalo/Language");
    ASSERT_TRUE(QDir().mkpath(executableFolder + "/Language"));
    EXPECT_EQ(ProgramFolder::ShippedLanguageFolder(executableFolder),
              executableFolder + "/Language");
}
