#include "INI.h"
#include "CodePage1250.h"
#include "TestEnvironment.h"
#include "TestFiles.h"

#include <QFile>
#include <gtest/gtest.h>

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
