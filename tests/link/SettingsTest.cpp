#include "INI.h"
#include "TestEnvironment.h"
#include "TestFiles.h"
#include "mUstawienia.h"

#include <Mordal/Comm.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Pomiar;
using Pomiar::INI::CzytajIni;
using Pomiar::INI::ZapiszIni;

namespace {

class SettingsFileTest : public ::testing::Test {
protected:
    QTemporaryDir folder{TestEnvironment::Root() + "/settings-XXXXXX"};
    QString path = folder.path() + "/ustawienia.ini";

    void WriteFile(const QByteArray& bytes) { TestFiles::WriteFile(path, bytes); }
    QByteArray ReadFile() { return TestFiles::ReadFile(path); }
    int ThrownErrorNumber(const std::function<void()>& action) {
        try {
            action();
        } catch (const SettingsError& error) {
            return error.errorNumber;
        }
        return 0;
    }
};

} // namespace

TEST_F(SettingsFileTest, MissingFileIsCreatedWithTheSevenKeysAndTheirDefaults) {
    Settings settings;
    mUstawienia::WczytajUstawienia(path, settings);
    mUstawienia::ZapiszUstawienia(path, settings);

    EXPECT_EQ(ReadFile(), "[EXPORT]\r\n"
                          "fastExportEnabled=False\r\n"
                          "fastExportFileName=FastExportFile\r\n"
                          "journalTrailer=False\r\n"
                          "[ustawienia]\r\n"
                          "pomiarShowNote=False\r\n"
                          "pomiarShowSave=False\r\n"
                          "[COMMANDS]\r\n"
                          "CMD_SEND_UNSTABLE=SI\r\n"
                          "CMD_SEND_STABLE=S\r\n");
}

TEST_F(SettingsFileTest, ReadingTakesEveryKeyFromItsSection) {
    WriteFile("[ustawienia]\r\nNr_wagi=7\r\npomiarShowNote=1\r\npomiarShowSave=-1\r\n"
              "fastExportEnabled=0\r\njournalTrailer=0\r\n"
              "[EXPORT]\r\nfastExportEnabled=True\r\nfastExportFileName=wyniki\r\n"
              "JOURNALTRAILER = true\r\n"
              "[COMMANDS]\r\nCMD_SEND_UNSTABLE=SUI\r\nCMD_SEND_STABLE=SU\r\n");
    Settings settings;
    mUstawienia::WczytajUstawienia(path, settings);

    EXPECT_TRUE(settings.fastExportEnabled);
    EXPECT_EQ(settings.fastExportFileName, "wyniki");
    EXPECT_TRUE(settings.journalTrailer);
    EXPECT_TRUE(settings.pomiarShowNote);
    EXPECT_TRUE(settings.pomiarShowSave);
    EXPECT_EQ(settings.cmdSendUnstable, "SUI");
    EXPECT_EQ(settings.cmdSendStable, "SU");
}

TEST_F(SettingsFileTest, BooleansAreRewrittenAsWordsAndOtherLinesStay) {
    WriteFile("[ustawienia]\r\nNr_wagi=3\r\npomiarShowNote=-1\r\n"
              "[EXPORT]\r\nfastExportEnabled=0\r\njournalTrailer=1\r\n");
    Settings settings;
    mUstawienia::WczytajUstawienia(path, settings);
    mUstawienia::ZapiszUstawienia(path, settings);

    EXPECT_EQ(CzytajIni(path, "ustawienia", "Nr_wagi", ""), "3");
    EXPECT_EQ(CzytajIni(path, "ustawienia", "pomiarShowNote", ""), "True");
    EXPECT_EQ(CzytajIni(path, "ustawienia", "pomiarShowSave", ""), "False");
    EXPECT_EQ(CzytajIni(path, "EXPORT", "fastExportEnabled", ""), "False");
    EXPECT_EQ(CzytajIni(path, "EXPORT", "journalTrailer", ""), "True");

    Settings again;
    mUstawienia::WczytajUstawienia(path, again);
    EXPECT_TRUE(again.pomiarShowNote);
    EXPECT_FALSE(again.fastExportEnabled);
    EXPECT_TRUE(again.journalTrailer);
}

TEST_F(SettingsFileTest, UnusableBooleanThrowsAndLeavesTheSettingsAlone) {
    WriteFile("[EXPORT]\r\nfastExportFileName=wyniki\r\n[ustawienia]\r\npomiarShowSave=maybe\r\n");
    Settings settings;
    try {
        mUstawienia::WczytajUstawienia(path, settings);
        FAIL() << "no SettingsError";
    } catch (const SettingsError& error) {
        EXPECT_EQ(error.errorNumber, 13);
        EXPECT_EQ(error.key, "pomiarShowSave");
        EXPECT_EQ(error.value, "maybe");
    }
    EXPECT_EQ(settings.fastExportFileName, "FastExportFile");
}

TEST_F(SettingsFileTest, EmptyBooleanValueIsNotFalse) {
    WriteFile("[EXPORT]\r\nfastExportEnabled=\r\n");
    Settings settings;
    EXPECT_EQ(ThrownErrorNumber([&] { mUstawienia::WczytajUstawienia(path, settings); }), 13);
}

TEST(ToBoolean, WordsInAnyCaseAndNumbers) {
    struct Case {
        const char* text;
        bool value;
    };
    const Case cases[] = {{"True", true},   {"TRUE", true}, {"true", true}, {" False ", false},
                          {"fAlSe", false}, {"0", false},   {"-1", true},   {"1", true},
                          {"2", true},      {"0.0", false}, {"0.5", true},  {" 1 ", true},
                          {"-0", false},    {"1e3", true}};
    for (const Case& c : cases) {
        bool ok = false;
        EXPECT_EQ(mUstawienia::ToBoolean(c.text, &ok), c.value) << c.text;
        EXPECT_TRUE(ok) << c.text;
    }
}

TEST(ToBoolean, TextsThatAreNeitherNumberNorWordDoNotConvert) {
    for (const char* text : {"maybe", "", " ", "Tak", "yes", "1x", "Truee", "inf", "nan", "0,5"}) {
        bool ok = true;
        mUstawienia::ToBoolean(text, &ok);
        EXPECT_FALSE(ok) << '"' << text << '"';
    }
}

TEST(BooleanText, IsTheWordTrueOrFalse) {
    EXPECT_EQ(mUstawienia::BooleanText(true), "True");
    EXPECT_EQ(mUstawienia::BooleanText(false), "False");
}

TEST(HelpFileName, EveryLagBecomesChmInExactCase) {
    EXPECT_EQ(mUstawienia::HelpFileName("Polish.lag"), "Polish.chm");
    EXPECT_EQ(mUstawienia::HelpFileName("English.lag"), "English.chm");
    EXPECT_EQ(mUstawienia::HelpFileName("lagos.lag"), "chmos.chm");
    EXPECT_EQ(mUstawienia::HelpFileName("Polish.LAG"), "Polish.LAG");
}

TEST_F(SettingsFileTest, LinkSettingsDefaultsWhenKeysAreMissing) {
    const LinkSettings link = LinkSettings::Read(path);
    EXPECT_EQ(link.speed, 9600);
    EXPECT_EQ(link.comm, 1);
    EXPECT_EQ(link.hostIP, LinkSettings::DefaultHost);
    EXPECT_EQ(link.hostPort, 4001);
    EXPECT_EQ(link.type, 2);
    EXPECT_EQ(link.lineFormat.Text(), "8N1");
}

TEST_F(SettingsFileTest, OnlyAnUnchosenDefaultPortWithoutItsDeviceCountsAsMissing) {
    EXPECT_TRUE(LinkSettings::Read(path).DefaultPortMissing()) << "no file: COM1 by default";

    QFile device(TestEnvironment::Root() + "/device1");
    ASSERT_TRUE(device.open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile::link(device.fileName(), TestEnvironment::PortDirectory() + "/COM1"));
    EXPECT_FALSE(LinkSettings::Read(path).DefaultPortMissing()) << "COM1 names a device";
    ASSERT_TRUE(QFile::remove(TestEnvironment::PortDirectory() + "/COM1"));

    INI::ZapiszIni(path, "ustawienia", "Type", "1");
    EXPECT_FALSE(LinkSettings::Read(path).DefaultPortMissing()) << "a TCP link";
    INI::ZapiszIni(path, "ustawienia", "Type", "2");
    INI::ZapiszIni(path, "ustawienia", "Comm", "1");
    EXPECT_FALSE(LinkSettings::Read(path).DefaultPortMissing()) << "a port the user chose";
}

TEST_F(SettingsFileTest, LinkSettingsWrittenReadBack) {
    LinkSettings link;
    link.speed = 115200;
    link.comm = 3;
    link.hostIP = "localhost";
    link.hostPort = 5001;
    link.type = 1;
    link.lineFormat = *Mordal::LineFormat::FromText("7O1");
    link.dialect = BalanceDialect(BalanceDialect::Family::Sbi);
    link.Write(path);

    EXPECT_EQ(ReadFile(), "[ustawienia]\r\nSpeed=115200\r\nComm=3\r\nHostIP=localhost\r\n"
                          "HostPort=5001\r\nType=1\r\nLineFormat=7O1\r\nDialect=sbi\r\n");
    const LinkSettings read = LinkSettings::Read(path);
    EXPECT_EQ(read.speed, 115200);
    EXPECT_EQ(read.comm, 3);
    EXPECT_EQ(read.hostIP, "localhost");
    EXPECT_EQ(read.hostPort, 5001);
    EXPECT_EQ(read.type, 1);
    EXPECT_EQ(read.lineFormat, link.lineFormat);
    EXPECT_EQ(read.dialect.Name(), "sbi");
}

TEST_F(SettingsFileTest, LinkSettingsOpenFramesTheLinkWithTheLineFormat) {
    WriteFile("[ustawienia]\r\nType=0\r\nLineFormat= 7e2 \r\n");
    Mordal::Comm comm;
    LinkSettings::Read(path).Open(comm);
    EXPECT_EQ(comm.SerialLineFormat().Text(), "7E2");
}

TEST_F(SettingsFileTest, LinkSettingsAcceptBlanksAroundNumbers) {
    WriteFile("[ustawienia]\r\nSpeed= 19200 \r\nComm=\" 4\"\r\nType=0\r\n");
    const LinkSettings link = LinkSettings::Read(path);
    EXPECT_EQ(link.speed, 19200);
    EXPECT_EQ(link.comm, 4);
    EXPECT_EQ(link.type, 0);
}

TEST_F(SettingsFileTest, LinkSettingsKeyThatCannotBeUsedThrows13) {
    const QList<QPair<QString, QString>> bad = {
        {"Speed", "fast"},     {"Speed", "9600.5"},        {"Speed", ""},
        {"Comm", "COM1"},      {"Comm", "40000"},          {"HostPort", "port"},
        {"HostPort", "-"},     {"HostPort", "3000000000"}, {"Type", "TCP"},
        {"Type", "99999"},     {"LineFormat", "9N1"},      {"LineFormat", "8N"},
        {"LineFormat", "8X1"}, {"LineFormat", ""},         {"Dialect", "mettler"},
    };
    for (const auto& [key, value] : bad) {
        QFile::remove(path);
        ZapiszIni(path, "ustawienia", key, value);
        EXPECT_EQ(ThrownErrorNumber([&] { LinkSettings::Read(path); }), 13)
            << key.toStdString() << '=' << value.toStdString();
    }
}

TEST_F(SettingsFileTest, SettingsErrorNamesTheKeyAndValue) {
    ZapiszIni(path, "ustawienia", "HostPort", "abc");
    try {
        LinkSettings::Read(path);
        FAIL() << "no SettingsError";
    } catch (const SettingsError& error) {
        EXPECT_EQ(error.key, "HostPort");
        EXPECT_EQ(error.value, "abc");
        EXPECT_NE(std::string(error.what()).find("HostPort"), std::string::npos);
    }
}

TEST_F(SettingsFileTest, ANumberOutOfRangeNamesItsKeyAndFile) {
    WriteFile("[ustawienia]\r\nSpeed=9600\r\nComm=70000\r\n");
    try {
        LinkSettings::Read(path);
        FAIL() << "no SettingsError";
    } catch (const SettingsError& error) {
        EXPECT_EQ(error.errorNumber, 13);
        EXPECT_EQ(error.Where(), path + ": [ustawienia] Comm=70000");
        EXPECT_TRUE(QString::fromLocal8Bit(error.what()).contains(error.Where()));
    }
}

TEST_F(SettingsFileTest, AFailedWriteIsReportedAndKeepsTheFile) {
    // A folder in place of the file: nothing can be written there.
    const QString blocked = folder.path() + "/blocked.ini";
    QDir().mkpath(blocked);
    QString error;
    EXPECT_FALSE(mUstawienia::ZapiszUstawienia(blocked, Settings{}, &error));
    EXPECT_TRUE(error.contains(blocked)) << error.toStdString();
    EXPECT_FALSE(LinkSettings{}.Write(blocked, &error));
    EXPECT_TRUE(QFileInfo(blocked).isDir());
    EXPECT_TRUE(mUstawienia::ZapiszUstawienia(path, Settings{}, &error));
}
