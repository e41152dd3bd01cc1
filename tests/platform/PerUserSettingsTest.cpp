#include "PerUserSettings.h"
#include "TestEnvironment.h"
#include "TestFiles.h"

#include <QFileInfo>
#include <gtest/gtest.h>

using namespace Pomiar;

TEST(PerUserSettings, FileIsNamedAfterTheTitleUnderTheConfigFolder) {
    const PerUserSettings station(QStringLiteral("Trevalo [3]"));
    EXPECT_EQ(station.FilePath(), TestEnvironment::Root() + "/config/Trevalo/Trevalo [3].ini");
}

TEST(PerUserSettings, SavedValuesReadBackAndMissingGiveTheDefault) {
    PerUserSettings station(QStringLiteral("Trevalo [2]"));
    station.SaveSetting("Setup\\Cykl", "Timer", "15");
    station.SaveSetting("Setup\\Cykl", "Cykl", "1");
    EXPECT_EQ(station.GetSetting("Setup\\Cykl", "Timer"), "15");
    EXPECT_EQ(station.GetSetting("Setup\\Cykl", "Cykl", "0"), "1");
    EXPECT_EQ(station.GetSetting("Setup\\Cykl", "Missing", "default"), "default");
    EXPECT_TRUE(QFileInfo::exists(station.FilePath()));

    // A fresh object reads the file, not a cache of the one that wrote.
    const PerUserSettings again(QStringLiteral("Trevalo [2]"));
    EXPECT_EQ(again.GetSetting("Setup\\Cykl", "Timer"), "15");
}

TEST(PerUserSettings, StationsKeepTheirOwnValues) {
    PerUserSettings first(QStringLiteral("Trevalo [1]"));
    PerUserSettings seventh(QStringLiteral("Trevalo [7]"));
    first.SaveSetting("Setup\\Cykl", "Timer", "10");
    seventh.SaveSetting("Setup\\Cykl", "Timer", "70");
    seventh.SaveSetting("Setup\\Wykres", "Kolor", "red");

    EXPECT_NE(first.FilePath(), seventh.FilePath());
    EXPECT_EQ(first.GetSetting("Setup\\Cykl", "Timer"), "10");
    EXPECT_EQ(seventh.GetSetting("Setup\\Cykl", "Timer"), "70");
    EXPECT_EQ(first.GetSetting("Setup\\Wykres", "Kolor", "none"), "none");
}

TEST(PerUserSettings, SectionsDoNotCollide) {
    PerUserSettings station(QStringLiteral("Trevalo [4]"));
    station.SaveSetting("Setup\\Cykl", "Timer", "cycle");
    station.SaveSetting("Setup\\Wykres", "Timer", "chart");
    station.SaveSetting("Setup", "Timer", "setup");
    station.SaveSetting("Setup", "Cykl\\Timer", "a key, not a section");

    EXPECT_EQ(station.GetSetting("Setup\\Cykl", "Timer"), "cycle");
    EXPECT_EQ(station.GetSetting("Setup\\Wykres", "Timer"), "chart");
    EXPECT_EQ(station.GetSetting("Setup", "Timer"), "setup");
    EXPECT_EQ(station.GetSetting("Setup", "Cykl\\Timer"), "a key, not a section");
    EXPECT_EQ(station.GetSetting("Setup\\Cykl", "Timer"), "cycle");
}

TEST(PerUserSettings, ValuesComeBackAsTheyWereSaved) {
    PerUserSettings station(QStringLiteral("Trevalo [5]"));
    const QStringList values = {"1, 2, 3", " padded ", "@Invalid()",
                                "true",    "a\\b/c",   "x=y;z",
                                "",        "#0.0000",  QString::fromUtf8("Wyłacz ąę")};
    for (int i = 0; i < values.size(); ++i)
        station.SaveSetting("Setup\\Wykres", QString("V%1").arg(i), values[i]);

    const PerUserSettings again(QStringLiteral("Trevalo [5]"));
    for (int i = 0; i < values.size(); ++i)
        EXPECT_EQ(again.GetSetting("Setup\\Wykres", QString("V%1").arg(i), "default"), values[i])
            << i;
}

TEST(PerUserSettings, AByteOrderMarkHidesNoSection) {
    const PerUserSettings station(QStringLiteral("Trevalo [5]"));
    TestFiles::WriteFile(station.FilePath(), "\xEF\xBB\xBF[Setup]\r\nCykl\\Timer=15\r\n");
    EXPECT_EQ(station.GetSetting("Setup\\Cykl", "Timer", "none"), "15");
}
