#include "LabWebJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>

using namespace Pomiar;

namespace {

const QDateTime now(QDate(2026, 12, 9), QTime(10, 0, 0, 250), Qt::UTC);

LabWebData::Reading SomeReading() {
    LabWebData::Reading reading;
    reading.station = "Waga-3";
    reading.series = "S1";
    reading.lp = 7;
    reading.value = 12.5;
    reading.unit = "g";
    reading.takenAt = now.addSecs(-3);
    reading.timer = 42;
    reading.description = "sample";
    reading.receivedAt = now.addMSecs(-10);
    return reading;
}

TEST(LabWebJson, AReadingHasItsStableFieldsAndUtcTimes) {
    const QJsonObject json = LabWebJson::Reading(SomeReading());
    EXPECT_EQ(json.keys(),
              (QStringList{"description", "lp", "outside_limits", "received_at", "series", "stable",
                           "station", "taken_at", "timer", "unit", "value"}));
    EXPECT_EQ(json["station"].toString(), "Waga-3");
    EXPECT_EQ(json["lp"].toInteger(), 7);
    EXPECT_DOUBLE_EQ(json["value"].toDouble(), 12.5);
    EXPECT_EQ(json["taken_at"].toString(), "2026-12-09T09:59:57.250Z");
    EXPECT_EQ(json["received_at"].toString(), "2026-12-09T10:00:00.240Z");
    EXPECT_EQ(json["timer"].toInteger(), 42);
}

TEST(LabWebJson, MissingValuesAreNullNotZeroOrEmpty) {
    LabWebData::Reading reading = SomeReading();
    reading.value.reset();
    reading.timer.reset();
    reading.unit = QString();
    reading.description = QString();
    const QJsonObject json = LabWebJson::Reading(reading);
    for (const char* key : {"value", "timer", "unit", "description"})
        EXPECT_TRUE(json[key].isNull()) << key;
    EXPECT_TRUE(LabWebJson::Time(QDateTime()).isNull());
}

// Stability as the balance told it, null when it was not kept; a reading
// outside its series' limits says so.
TEST(LabWebJson, AReadingSaysWhetherItWasStableAndOutsideTheLimits) {
    const struct {
        std::optional<bool> stable;
        bool outside;
        QJsonValue stableJson;
    } cases[] = {{true, false, true}, {false, true, false}, {std::nullopt, false, QJsonValue()}};
    for (const auto& c : cases) {
        LabWebData::Reading reading = SomeReading();
        reading.stable = c.stable;
        reading.outsideLimits = c.outside;
        const QJsonObject json = LabWebJson::Reading(reading);
        EXPECT_EQ(json["stable"], c.stableJson);
        EXPECT_EQ(json["outside_limits"], QJsonValue(c.outside));
    }
}

TEST(LabWebJson, TheSeriesLimitsAreNumbersOrNullWhenOff) {
    LabWebData::Station station;
    station.station = "A";
    station.limits = {std::nullopt, 12.75};
    station.outsideLimits = 4;
    const QJsonObject first =
        LabWebJson::Stations({station}, now)["stations"].toArray().at(0).toObject();
    EXPECT_TRUE(first["lower_limit"].isNull());
    EXPECT_DOUBLE_EQ(first["upper_limit"].toDouble(), 12.75);
    EXPECT_EQ(first["outside_limits"].toInteger(), 4);

    LabWebData::SeriesPage page;
    page.limits = {-0.5, std::nullopt};
    const QJsonObject series = LabWebJson::Series(page);
    EXPECT_DOUBLE_EQ(series["lower_limit"].toDouble(), -0.5);
    EXPECT_TRUE(series["upper_limit"].isNull());
    EXPECT_TRUE(series.contains("upper_limit"));
}

TEST(LabWebJson, MarkupFromTheDatabaseLeavesAsEscapesAndReadsBackTheSame) {
    LabWebData::Reading reading = SomeReading();
    reading.description = "</script><script>alert('x')</script> & <b>";
    reading.station = "<img src=x onerror=alert(1)>";
    const QByteArray bytes = LabWebJson::Serialized(LabWebJson::Reading(reading));
    EXPECT_FALSE(bytes.contains('<'));
    EXPECT_FALSE(bytes.contains('>'));
    EXPECT_FALSE(bytes.contains('&'));
    EXPECT_TRUE(bytes.contains("\\u003c/script\\u003e"));
    const QJsonObject back = QJsonDocument::fromJson(bytes).object();
    EXPECT_EQ(back["description"].toString(), reading.description);
    EXPECT_EQ(back["station"].toString(), reading.station);
}

struct QuietCase {
    qint64 quietSeconds; // -1: never heard
    bool online;
    int silentMinutes;
};

class LabWebStationsQuiet : public ::testing::TestWithParam<QuietCase> {};

TEST_P(LabWebStationsQuiet, OnlineUntilSilentForTwoMinutes) {
    const QuietCase& c = GetParam();
    LabWebData::Station station;
    station.station = "A";
    if (c.quietSeconds >= 0) {
        station.lastSeen = now.addSecs(-c.quietSeconds - 100);
        LabWebData::Reading last = SomeReading();
        // The later of the two counts.
        last.receivedAt = now.addSecs(-c.quietSeconds);
        station.last = last;
    }
    const QJsonObject json = LabWebJson::Stations({station}, now);
    const QJsonObject first = json["stations"].toArray().at(0).toObject();
    EXPECT_EQ(first["online"].toBool(), c.online) << c.quietSeconds;
    EXPECT_EQ(first["silent_minutes"].toInt(), c.silentMinutes) << c.quietSeconds;
    EXPECT_EQ(json["now"].toString(), "2026-12-09T10:00:00.250Z");
}

INSTANTIATE_TEST_SUITE_P(Cases, LabWebStationsQuiet,
                         ::testing::Values(QuietCase{0, true, 0}, QuietCase{119, true, 0},
                                           QuietCase{120, false, 2}, QuietCase{185, false, 3},
                                           QuietCase{7200, false, 120}, QuietCase{-1, false, 0}));

TEST(LabWebJson, StationsKeepTheirOrderAndLastReading) {
    LabWebData::Station a;
    a.station = "A";
    a.series = "S1";
    a.readings = 3;
    a.last = SomeReading();
    LabWebData::Station b;
    b.station = "B";
    const QJsonArray list = LabWebJson::Stations({a, b}, now)["stations"].toArray();
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list[0]["station"].toString(), "A");
    EXPECT_EQ(list[0]["readings"].toInteger(), 3);
    EXPECT_EQ(list[0]["last"]["lp"].toInteger(), 7);
    EXPECT_EQ(list[1]["station"].toString(), "B");
    EXPECT_TRUE(list[1]["last"].isNull());
    EXPECT_TRUE(list[1]["series"].isNull());
}

TEST(LabWebJson, SeriesCarriesTheElevenStatisticsAsTheProgramShowsThem) {
    LabWebData::SeriesPage page;
    page.station = "A";
    page.series = "S1";
    page.values = {1.0, 2.0, 3.0, 4.0};
    page.lastUnit = "g";
    page.readings = {SomeReading()};
    page.more = true;
    const QJsonObject json = LabWebJson::Series(page);
    EXPECT_EQ(json["next"].toInteger(), 7);
    EXPECT_TRUE(json["more"].toBool());
    const QJsonObject statistics = json["statistics"].toObject();
    EXPECT_EQ(statistics.size(), 11);
    EXPECT_EQ(statistics["count"].toString(), "4");
    EXPECT_EQ(statistics["mean"].toString(), "2.5000");
    EXPECT_EQ(statistics["max"].toString(), "4.0000");
    EXPECT_EQ(statistics["min"].toString(), "1.0000");
    EXPECT_EQ(statistics["sum"].toString(), "10.0000");
    EXPECT_EQ(statistics["std_dev"].toString(), "1.2910");
    EXPECT_EQ(statistics["mean_abs_dev"].toString(), "1.0000");
    EXPECT_EQ(statistics["sum_sq_dev"].toString(), "5.0000");
}

TEST(LabWebJson, NoStatisticsForOneValueOrAMoistureSeries) {
    LabWebData::SeriesPage page;
    page.values = {1.0};
    page.lastUnit = "g";
    EXPECT_TRUE(LabWebJson::Series(page)["statistics"].isNull());
    page.values = {1.0, 2.0};
    page.lastUnit = "%";
    EXPECT_TRUE(LabWebJson::Series(page)["statistics"].isNull());
    EXPECT_TRUE(LabWebJson::Series(page)["next"].isNull());
}

TEST(LabWebJson, AnErrorSaysItsStatusAndWhy) {
    const QJsonObject json = LabWebJson::Error(404, "no such station: x");
    EXPECT_EQ(json["status"].toInt(), 404);
    EXPECT_EQ(json["error"].toString(), "no such station: x");
}

} // namespace
