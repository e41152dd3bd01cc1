#include "Station.h"

#include "EventWait.h"
#include "LabServer.h"
#include "ProgramContext.h"
#include "PtyPair.h"
#include "StationSettings.h"
#include "TestFiles.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace Pomiar;
using TestFiles::WriteFile;

namespace {

class StationTest : public ::testing::Test {
protected:
    StationTest() {
        context.programFolder = qEnvironmentVariable("POMIAR_DIR");
        QFile::remove(context.IniPath());
    }
    ProgramContext context;
};

} // namespace

// The program's window and trevalo read the start through this one loader:
// the language key as it is spelt, whatever blanks a hand-edited file puts
// around it, and the station number of the command line before the file's.
TEST_F(StationTest, TheStartSettingsOfBothPrograms) {
    const struct {
        const char* name;
        QByteArray ini;
        std::optional<QString> number;
        QString station;
        QString language;
        QString help;
    } cases[] = {
        {"defaults", "", std::nullopt, "1", "Polish.lag", "Polish.chm"},
        {"stored", "[ustawienia]\r\nNr_wagi=4\r\nlanguage=English.lag\r\n", std::nullopt, "4",
         "English.lag", "English.chm"},
        {"blanks around the key", "[ustawienia]\r\n language =English.lag\r\n", std::nullopt, "1",
         "English.lag", "English.chm"},
        {"number of the command line", "[ustawienia]\r\nNr_wagi=4\r\n", QString("7"), "7",
         "Polish.lag", "Polish.chm"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(context.IniPath(), c.ini);
        ProgramContext read = context;
        StationSettings::ReadStart(read, c.number);
        EXPECT_EQ(read.settings.nrWagi, c.station);
        EXPECT_EQ(read.applicationTitle, "Trevalo [" + c.station + "]");
        EXPECT_EQ(read.settings.languageFileName, c.language);
        EXPECT_EQ(read.settings.helpFileName, c.help);
    }
}

TEST_F(StationTest, TheLinkMassFormatAndLimitsOrTheReasonTheyCannotBeUsed) {
    WriteFile(context.IniPath(), "[ustawienia]\r\nType=1\r\nHostIP=127.0.0.1\r\nHostPort=4002\r\n"
                                 "MasaFormat=#0.0\r\nmax=1\r\nwart_max=10\r\n");
    const StationSettings stored = StationSettings::Read(context);
    EXPECT_EQ(stored.link.type, 1);
    EXPECT_EQ(stored.link.hostPort, 4002);
    EXPECT_EQ(stored.massFormat, "#0.0");
    EXPECT_TRUE(stored.limits.maxOn);
    EXPECT_EQ(stored.limits.maxText, "10");

    WriteFile(context.IniPath(), "[ustawienia]\r\nType=TCP\r\n");
    EXPECT_THROW(StationSettings::Read(context), SettingsError);
}

// A station has its link control from the start and feeds the lab
// database only when the settings switch it on.
TEST_F(StationTest, BuildsItsPartsAndFeedsTheLabDatabaseOnlyWhenSwitchedOn) {
    Station station(context);
    EXPECT_TRUE(station.Engine().HasLink());
    EXPECT_FALSE(station.Engine().LinkOpen());
    station.Store().OtworzMagazyn();
    station.StartLabFeed();
    EXPECT_EQ(station.LabFeed(), nullptr);

    WriteFile(context.IniPath(), "[LabServer]\r\nEnabled=ja\r\n");
    EXPECT_THROW(station.StartLabFeed(), SettingsError);
    EXPECT_EQ(station.LabFeed(), nullptr);
}

// The link's owner takes it down for the options, and a second visit keeps
// what it was before the first; a confirmed choice replaces what was kept.
TEST_F(StationTest, TheEngineSuspendsRestoresAndAppliesTheLink) {
    PtyPair balance;
    ASSERT_TRUE(balance.IsValid());
    balance.Publish(2);
    WriteFile(context.IniPath(), "[ustawienia]\r\nType=2\r\nComm=2\r\n");
    Station station(context);
    AcquisitionSession& engine = station.Engine();
    ASSERT_TRUE(engine.OpenLink(StationSettings::Read(context).link));
    ASSERT_TRUE(WaitUntil([&] { return engine.Reconnecting(); }));

    engine.SuspendLink();
    EXPECT_FALSE(engine.LinkOpen());
    EXPECT_FALSE(engine.Reconnecting());
    engine.SuspendLink();
    engine.RestoreLink();
    EXPECT_TRUE(engine.LinkOpen());
    EXPECT_TRUE(engine.Reconnecting());
    // Nothing suspended: nothing to put back.
    engine.SuspendLink();
    engine.RestoreLink();
    engine.RestoreLink();
    EXPECT_TRUE(engine.LinkOpen());

    engine.SuspendLink();
    LinkSettings none;
    none.type = 0;
    none.dialect = *BalanceDialect::Named("sics");
    engine.ApplyLink(none);
    EXPECT_FALSE(engine.LinkOpen());
    EXPECT_EQ(engine.Dialect().Name(), "sics");
    engine.RestoreLink();
    EXPECT_FALSE(engine.LinkOpen()) << "the applied choice stands";
}
