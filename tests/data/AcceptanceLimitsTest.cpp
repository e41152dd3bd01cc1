#include "MeasurementStore.h"
#include "TestEnvironment.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

using Pomiar::AcceptanceLimits;

namespace {

QString WriteIni(const QByteArray& text) {
    const QString path = TestEnvironment::Root() + QStringLiteral("/ustawienia.ini");
    TestFiles::WriteFile(path, text);
    return path;
}

TEST(StoredAcceptanceLimits, NothingStoredFiltersNothing) {
    const AcceptanceLimits limits =
        AcceptanceLimits::Stored(TestEnvironment::Root() + "/missing.ini", QLocale::c());
    EXPECT_FALSE(limits.minOn);
    EXPECT_FALSE(limits.maxOn);
    EXPECT_FALSE(limits.Outside("-1000000", QLocale::c()));
    EXPECT_FALSE(limits.Outside("1000000", QLocale::c()));
}

// The values are kept as the panel keeps them, in the separator of the
// desktop it was typed on; they filter in the locale of the reader.
TEST(StoredAcceptanceLimits, SwitchedOnValuesFilterInTheReadersLocale) {
    const QString ini = WriteIni("[ustawienia]\r\nmin= 1 \r\nwart_min=1,5\r\n"
                                 "max=1\r\nwart_max=2.25\r\n");
    const QLocale polish(QLocale::Polish, QLocale::Poland);
    for (const QLocale& locale : {QLocale::c(), polish}) {
        const AcceptanceLimits limits = AcceptanceLimits::Stored(ini, locale);
        EXPECT_TRUE(limits.minOn);
        EXPECT_TRUE(limits.maxOn);
        EXPECT_EQ(limits.minText, locale.toString(1.5));
        EXPECT_EQ(limits.maxText, locale.toString(2.25));
        EXPECT_TRUE(limits.Outside(locale.toString(1.4), locale));
        EXPECT_FALSE(limits.Outside(locale.toString(1.5), locale));
        EXPECT_FALSE(limits.Outside(locale.toString(2.25), locale));
        EXPECT_TRUE(limits.Outside(locale.toString(2.3), locale));
    }
}

// A value whose switch is off is not read: the panel shows it only once
// the switch is on again.
TEST(StoredAcceptanceLimits, SwitchedOffValueIsLeftAlone) {
    const QString ini =
        WriteIni("[ustawienia]\r\nmin=0\r\nwart_min=50\r\nmax=x\r\nwart_max=-50\r\n");
    const AcceptanceLimits limits = AcceptanceLimits::Stored(ini, QLocale::c());
    EXPECT_FALSE(limits.minOn);
    EXPECT_FALSE(limits.maxOn);
    EXPECT_EQ(limits.minText, AcceptanceLimits().minText);
    EXPECT_EQ(limits.maxText, AcceptanceLimits().maxText);
    EXPECT_FALSE(limits.Outside("10", QLocale::c()));
}

} // namespace

namespace {

// The numbers the lab database keeps as a series' limits are those the
// filter compares with: "," read as ".", none for a limit that is off.
TEST(AcceptanceLimitNumbers, AsTheFilterReadsThemAndNoneWhenOff) {
    const struct {
        bool on;
        const char* text;
        std::optional<double> number;
    } cases[] = {
        {true, "1,5", 1.5}, {true, "-2.25", -2.25}, {true, "0", 0.0}, {false, "7", std::nullopt}};
    for (const auto& c : cases) {
        AcceptanceLimits limits;
        limits.minOn = c.on;
        limits.minText = c.text;
        limits.maxOn = c.on;
        limits.maxText = c.text;
        EXPECT_EQ(limits.Lower(), c.number) << c.text;
        EXPECT_EQ(limits.Upper(), c.number) << c.text;
        if (c.number) {
            // Equal is inside, as the filter has it.
            EXPECT_FALSE(limits.Outside(QString::number(*c.number), QLocale::c())) << c.text;
        }
    }
}

} // namespace
