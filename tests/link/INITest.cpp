#include "INI.h"
#include "CodePage1250.h"
#include "TestEnvironment.h"
#include "TestFiles.h"
#include "WholeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace Pomiar;
using Pomiar::INI::CzytajIni;
using Pomiar::INI::ZapiszIni;

namespace {

class IniFileTest : public ::testing::Test {
protected:
    QString path = TestEnvironment::Root() + "/test.ini";

    void TearDown() override { QFile::remove(path); }

    void WriteFile(const QByteArray& bytes) { TestFiles::WriteFile(path, bytes); }
    QByteArray ReadFile() { return TestFiles::ReadFile(path); }
};

} // namespace

TEST_F(IniFileTest, NamesMatchWithoutCaseAndSurroundingBlanks) {
    WriteFile("[Ustawienia]\r\nBaudRate = 19200\r\n  MasaFormat=#0.00\r\n");
    EXPECT_EQ(CzytajIni(path, "ustawienia", "BaudRate ", "9600"), "19200");
    EXPECT_EQ(CzytajIni(path, " USTAWIENIA ", "masaformat", "x"), "#0.00");
    EXPECT_EQ(CzytajIni(path, "ustawienia", " language", "Polish.lag"), "Polish.lag");
    EXPECT_EQ(CzytajIni(path, "other", "BaudRate", "none"), "none");
}

TEST_F(IniFileTest, MissingFileGivesTheDefault) {
    EXPECT_EQ(CzytajIni(path, "ustawienia", "Nr_wagi", "1"), "1");
}

TEST_F(IniFileTest, KeysOfOtherSectionsAreNotSeen) {
    WriteFile("[A]\r\nkey=a\r\n[B]\r\nother=b\r\n");
    EXPECT_EQ(CzytajIni(path, "B", "key", "default"), "default");
    EXPECT_EQ(CzytajIni(path, "A", "other", "default"), "default");
    EXPECT_EQ(CzytajIni(path, "A", "key", "default"), "a");
}

TEST_F(IniFileTest, ValuesOf999CharactersOrMoreReadAsTheDefault) {
    WriteFile("[s]\r\nfits=" + QByteArray(998, 'x') + "\r\nlong=" + QByteArray(999, 'y') + "\r\n");
    EXPECT_EQ(CzytajIni(path, "s", "fits", "d").size(), 998);
    EXPECT_EQ(CzytajIni(path, "s", "long", "d"), "d");
}

TEST_F(IniFileTest, NamelessSectionIsTheLinesBeforeTheFirstHeader) {
    WriteFile("; language file\r\n[D4]\r\nok=translated\r\n");
    EXPECT_EQ(CzytajIni(path, "", "ok", "n"), "n");
    EXPECT_TRUE(ZapiszIni(path, "", "ok", "n"));
    EXPECT_EQ(ReadFile(), "; language file\r\nok=n\r\n[D4]\r\nok=translated\r\n");
    EXPECT_EQ(CzytajIni(path, "", "ok", "y"), "n");
    EXPECT_EQ(CzytajIni(path, "D4", "ok", ""), "translated");
    EXPECT_TRUE(ZapiszIni(path, "", "ok", "y"));
    EXPECT_EQ(CzytajIni(path, "", "ok", "n"), "y");
}

TEST_F(IniFileTest, NamelessSectionOfANewFile) {
    EXPECT_TRUE(ZapiszIni(path, "", "ok", "n"));
    EXPECT_TRUE(ZapiszIni(path, "MSG", "MSG_0", "Port"));
    EXPECT_EQ(ReadFile(), "ok=n\r\n[MSG]\r\nMSG_0=Port\r\n");
}

TEST_F(IniFileTest, WritingKeepsEveryOtherLine) {
    const QByteArray original = "; settings of station 1\r\n"
                                "[ustawienia]\r\n"
                                "Nr_wagi=1\r\n"
                                "; the port\r\n"
                                "Comm=3\r\n"
                                "\r\n"
                                "[COMMANDS]\r\n"
                                "CMD_SEND_STABLE=S\r\n";
    WriteFile(original);
    ASSERT_TRUE(ZapiszIni(path, "Ustawienia", " COMM ", "4"));
    ASSERT_TRUE(ZapiszIni(path, "ustawienia", "Speed", "19200"));
    ASSERT_TRUE(ZapiszIni(path, "EXPORT", "fastExportEnabled", "False"));
    EXPECT_EQ(ReadFile(), "; settings of station 1\r\n"
                          "[ustawienia]\r\n"
                          "Nr_wagi=1\r\n"
                          "; the port\r\n"
                          "COMM=4\r\n"
                          "Speed=19200\r\n"
                          "\r\n"
                          "[COMMANDS]\r\n"
                          "CMD_SEND_STABLE=S\r\n"
                          "[EXPORT]\r\n"
                          "fastExportEnabled=False\r\n");
    EXPECT_EQ(CzytajIni(path, "ustawienia", "comm", ""), "4");
}

TEST_F(IniFileTest, WritingWhatALineAlreadyHoldsLeavesTheFileAlone) {
    WriteFile("[ustawienia]\r\nComm=3\r\n");
    struct stat before {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &before), 0);
    ASSERT_TRUE(ZapiszIni(path, "ustawienia", "Comm", "3"));
    struct stat after {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "not replaced by a new file";
    ASSERT_TRUE(ZapiszIni(path, "ustawienia", "Comm", "4"));
    EXPECT_EQ(ReadFile(), "[ustawienia]\r\nComm=4\r\n");
}

TEST_F(IniFileTest, FilesWithUnixLineEndsKeepThem) {
    WriteFile("[s]\nkey=1\n");
    ASSERT_TRUE(ZapiszIni(path, "s", "other", "2"));
    EXPECT_EQ(ReadFile(), "[s]\nkey=1\nother=2\n");
}

TEST_F(IniFileTest, TextIsCodePage1250OnDisk) {
    const QString polish = QString::fromUtf8("Błąd zapisu");
    ASSERT_TRUE(ZapiszIni(path, "MSG", "46", polish));
    EXPECT_TRUE(ReadFile().contains(CodePage1250::Encode(polish)));
    EXPECT_EQ(CzytajIni(path, "msg", "46", ""), polish);
}

TEST_F(IniFileTest, ValueWithLineBreaksStaysOnOneLine) {
    ASSERT_TRUE(ZapiszIni(path, "s", "key", "one\r\ntwo"));
    ASSERT_TRUE(ZapiszIni(path, "s", "next", "3"));
    EXPECT_EQ(CzytajIni(path, "s", "next", ""), "3");
    EXPECT_EQ(CzytajIni(path, "s", "key", "").contains('\n'), false);
}

TEST_F(IniFileTest, QuotedValuesLoseTheirQuotes) {
    WriteFile("[s]\r\nname=\"  spaced  \"\r\n");
    EXPECT_EQ(CzytajIni(path, "s", "name", ""), "  spaced  ");
}

TEST_F(IniFileTest, WriteIntoMissingFolderFails) {
    EXPECT_FALSE(ZapiszIni(TestEnvironment::Root() + "/no/such/folder/x.ini", "s", "k", "v"));
}

TEST_F(IniFileTest, AByteOrderMarkHidesNoSectionAndStaysOnWriting) {
    WriteFile("\xEF\xBB\xBF[ustawienia]\r\nNr_wagi=7\r\n");
    EXPECT_EQ(CzytajIni(path, "ustawienia", "Nr_wagi", "1"), "7");
    ASSERT_TRUE(ZapiszIni(path, "ustawienia", "pomiarShowNote", "False"));
    EXPECT_EQ(ReadFile(), "\xEF\xBB\xBF[ustawienia]\r\nNr_wagi=7\r\npomiarShowNote=False\r\n");
}

TEST_F(IniFileTest, FilesSavedAsUtf8AreReadAndWrittenAsUtf8) {
    const QString polish = QString::fromUtf8("Błąd zapisu");
    for (const QByteArray& mark : {QByteArray(), QByteArray("\xEF\xBB\xBF")}) {
        WriteFile(mark + "[MSG]\r\nMSG_46=" + polish.toUtf8() + "\r\n");
        EXPECT_EQ(CzytajIni(path, "MSG", "MSG_46", ""), polish);
        ASSERT_TRUE(ZapiszIni(path, "MSG", "MSG_47", QString::fromUtf8("Informacja ż")));
        EXPECT_EQ(ReadFile(), mark + "[MSG]\r\nMSG_46=" + polish.toUtf8() + "\r\nMSG_47=" +
                                  QString::fromUtf8("Informacja ż").toUtf8() + "\r\n");
    }
    // Code page 1250 that happens to hold no UTF-8 sequence stays code page 1250.
    WriteFile("[MSG]\r\nMSG_46=" + CodePage1250::Encode(polish) + "\r\n");
    EXPECT_EQ(CzytajIni(path, "MSG", "MSG_46", ""), polish);
    ASSERT_TRUE(ZapiszIni(path, "MSG", "MSG_45", QString::fromUtf8("Uwaga ż")));
    EXPECT_TRUE(ReadFile().endsWith(CodePage1250::Encode(QString::fromUtf8("MSG_45=Uwaga ż\r\n"))));
}

TEST_F(IniFileTest, AChangeByAnotherProgramIsSeenAtTheNextLookup) {
    WriteFile("[s]\r\nkey=1\r\n");
    EXPECT_EQ(CzytajIni(path, "s", "key", ""), "1");
    WriteFile("[s]\r\nkey=2\r\n");
    EXPECT_EQ(CzytajIni(path, "s", "key", ""), "2");
    ASSERT_TRUE(ZapiszIni(path, "s", "other", "3"));
    EXPECT_EQ(ReadFile(), "[s]\r\nkey=2\r\nother=3\r\n");
}

TEST_F(IniFileTest, OnlyRegularFilesOfASaneSizeAreReadAndNoneElseWrittenOver) {
    EXPECT_EQ(CzytajIni("/dev/zero", "ustawienia", "key", "default"), "default");
    EXPECT_FALSE(ZapiszIni("/dev/null", "s", "k", "v"));
    EXPECT_FALSE(QFileInfo("/dev/null").isFile()) << "the device stays a device";

    // A pipe with no writer must not hang the reader.
    const QString pipe = TestEnvironment::Root() + "/pipe.ini";
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    EXPECT_EQ(CzytajIni(pipe, "s", "k", "default"), "default");
    EXPECT_FALSE(ZapiszIni(pipe, "s", "k", "v"));
    EXPECT_FALSE(QFileInfo(pipe).isFile());
    QFile::remove(pipe);

    // A file far bigger than any of the program's stays as it is.
    {
        QFile big(path);
        ASSERT_TRUE(big.open(QIODevice::WriteOnly));
        big.write("[s]\r\nk=1\r\n");
        ASSERT_TRUE(big.resize(WholeFile::DefaultSizeLimit + 1));
    }
    EXPECT_EQ(CzytajIni(path, "s", "k", "default"), "default");
    QString error;
    EXPECT_FALSE(ZapiszIni(path, "s", "k", "2", &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(QFileInfo(path).size(), WholeFile::DefaultSizeLimit + 1);
}

namespace {

// Files larger than limit cannot be written by this process while it lives:
// the kernel answers a write beyond it with EFBIG, as a full disk answers
// with ENOSPC.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limit) {
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &previous);
        rlimit lowered = previous;
        lowered.rlim_cur = limit;
        ::setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);
    }

private:
    rlimit previous{};
    void (*previousHandler)(int) = nullptr;
};

QStringList FolderEntries(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

} // namespace

TEST_F(IniFileTest, AWriteThatFailsLeavesTheOldFileAndSaysWhy) {
    const QByteArray original = "[ustawienia]\r\nType=1\r\nHostIP=127.0.0.1\r\nNr_wagi=4\r\n";
    WriteFile(original);
    const QStringList entries = FolderEntries(TestEnvironment::Root());
    QString error;
    bool written = true;
    {
        const FileSizeLimit limit(4096);
        written = ZapiszIni(path, "ustawienia", "Opis", QString(8000, 'x'), &error);
    }
    EXPECT_FALSE(written);
    EXPECT_TRUE(error.contains(path)) << error.toStdString();
    EXPECT_TRUE(error.contains(QString::fromLocal8Bit(std::strerror(EFBIG))))
        << error.toStdString();
    EXPECT_EQ(ReadFile(), original);
    EXPECT_EQ(CzytajIni(path, "ustawienia", "Nr_wagi", ""), "4");
    EXPECT_EQ(FolderEntries(TestEnvironment::Root()), entries) << "no temporary file is left";
}

TEST_F(IniFileTest, AFullDiskLeavesTheSettingsFileWhole) {
    QTemporaryDir mountPoint(TestEnvironment::Root() + "/full-XXXXXX");
    const QByteArray target = QFile::encodeName(mountPoint.path());
    if (::mount("tmpfs", target.constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "a small tmpfs cannot be mounted here: " << std::strerror(errno);
    const QString settings = mountPoint.filePath("ustawienia.ini");
    ASSERT_TRUE(ZapiszIni(settings, "ustawienia", "Nr_wagi", "4"));
    ASSERT_TRUE(ZapiszIni(settings, "ustawienia", "Type", "1"));
    const QByteArray before = TestFiles::ReadFile(settings);
    {
        // Fill every block that is left.
        QFile filler(mountPoint.filePath("filler"));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray block(4096, 'f');
        while (filler.write(block) == block.size()) {
        }
    }
    QString error;
    EXPECT_FALSE(ZapiszIni(settings, "ustawienia", "Opis", QString(8000, 'x'), &error));
    EXPECT_TRUE(error.contains(QString::fromLocal8Bit(std::strerror(ENOSPC))))
        << error.toStdString();
    EXPECT_EQ(TestFiles::ReadFile(settings), before);
    EXPECT_EQ(CzytajIni(settings, "ustawienia", "Nr_wagi", ""), "4");
    ::umount2(target.constData(), MNT_DETACH);
}
