#include "BalanceModel.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

using BalanceSim::BalanceModel;

namespace {

// How a receiver of continuous transmission reads a line: "SI" and "?"
// removed, the number somewhere in characters 4 to 18 (blanks skipped), a
// leading "-" of the raw line negating it, the unit in the last four
// characters.
struct ColumnReading {
    double value = 0.0;
    QByteArray unit;
};

ColumnReading ReadColumns(const QByteArray& line) {
    EXPECT_TRUE(line.endsWith("\r\n")) << line.constData();
    QByteArray s = line.chopped(2);
    s.replace("SI", "").replace("?", "");
    QByteArray field = s.mid(3, 15);
    field.replace(" ", "");
    ColumnReading reading;
    reading.value = std::strtod(field.constData(), nullptr);
    if (line.startsWith('-'))
        reading.value = -reading.value;
    reading.unit = s.right(4).trimmed();
    return reading;
}

// The number of a result line, found behind its header.
double ValueOf(const QByteArray& line) {
    return std::strtod(line.mid(4).trimmed().constData(), nullptr);
}

} // namespace

TEST(BalanceModel, StableReplyIsSignValueAndUnitInFixedColumns) {
    BalanceModel model;
    model.SetMass(12.3456);
    EXPECT_EQ(model.StableReply(), "S     12.3456 g  \r\n");
    model.SetMass(-1.2);
    model.SetUnit("kg");
    model.SetDecimals(2);
    EXPECT_EQ(model.StableReply(), "S       -1.20 kg \r\n");
}

TEST(BalanceModel, ValuesRoundingToZeroShowNoMinusSign) {
    BalanceModel model;
    model.SetMass(-0.00001);
    EXPECT_EQ(model.StableReply(), "S      0.0000 g  \r\n");
}

TEST(BalanceModel, ImmediateReplyCarriesTheUnstableMarkerOnlyWhileUnstable) {
    BalanceModel model;
    model.SetMass(12.3457);
    model.SetStable(false);
    EXPECT_EQ(model.ImmediateReply(), "SI ?   12.3457 g  \r\n");
    model.SetStable(true);
    EXPECT_EQ(model.ImmediateReply(), "SI     12.3457 g  \r\n");
    // The stable read waits for the pan to settle, so it is never marked.
    model.SetStable(false);
    EXPECT_FALSE(model.StableReply().contains('?'));
}

TEST(BalanceModel, NoiseWandersWithinItsAmplitudeButNotInTheStableRead) {
    BalanceModel model(7);
    model.SetMass(100.0);
    model.SetNoise(0.002);
    std::set<double> seen;
    for (int i = 0; i < 300; ++i) {
        const double value = ValueOf(model.ImmediateReply());
        EXPECT_NEAR(value, 100.0, 0.002 + 0.00005);
        seen.insert(value);
    }
    EXPECT_GT(seen.size(), 5u);
    EXPECT_EQ(model.StableReply(), "S    100.0000 g  \r\n");
}

TEST(BalanceModel, SameSeedGivesTheSameReadings) {
    BalanceModel first(42);
    BalanceModel second(42);
    for (BalanceModel* model : {&first, &second}) {
        model->SetMass(5.0);
        model->SetNoise(0.01);
    }
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(first.ImmediateReply(), second.ImmediateReply());
}

TEST(BalanceModel, ShrinkingTheNoiseDrawsTheReadingBackInside) {
    BalanceModel model(3);
    model.SetMass(1.0);
    model.SetNoise(0.5);
    for (int i = 0; i < 50; ++i)
        model.ImmediateReply();
    model.SetNoise(0.001);
    EXPECT_NEAR(ValueOf(model.ImmediateReply()), 1.0, 0.00105);
}

TEST(BalanceModel, TareZeroesTheReadingUntilANewMassIsSet) {
    BalanceModel model;
    model.SetMass(50.5);
    model.SetNoise(0.01);
    model.Tare();
    EXPECT_EQ(model.StableReply(), "S      0.0000 g  \r\n");
    model.SetMass(3.25);
    EXPECT_EQ(model.StableReply(), "S      3.2500 g  \r\n");
}

TEST(BalanceModel, MoistureAnalyserReportsPercentBehindTheTimeOfDay) {
    BalanceModel model;
    model.SetClock([] { return QTime(12, 5, 41); });
    model.SetMoisture(true);
    model.SetMass(3.5);
    EXPECT_EQ(model.StableReply(), "12:05      3.50 %  \r\n");
    EXPECT_EQ(ReadColumns(model.ImmediateReply()).unit, "%");
    model.SetMoisture(false);
    EXPECT_EQ(model.StableReply(), "S      3.5000 g  \r\n");
}

TEST(BalanceModel, ContinuousLinesFitTheReceiversFixedColumns) {
    struct Case {
        double mass;
        QByteArray unit;
        bool stable;
    };
    const Case cases[] = {
        {12.5, "g", true},      {-12.5, "g", false}, {220.0001, "g", true},
        {-99.9999, "g", false}, {0.0, "kg", true},   {1.25, "ozt", false},
    };
    for (const Case& c : cases) {
        BalanceModel model;
        model.SetMass(c.mass);
        model.SetUnit(c.unit);
        model.SetStable(c.stable);
        const ColumnReading reading = ReadColumns(model.ImmediateReply());
        EXPECT_DOUBLE_EQ(reading.value, c.mass) << c.mass;
        EXPECT_EQ(reading.unit, c.unit) << c.mass;
    }
}

TEST(BalanceModel, CalibrationReportCarriesThePrinterPlaceholders) {
    const QByteArray report = BalanceModel::CalibrationReport();
    EXPECT_TRUE(report.contains("Data: D\r\n"));
    EXPECT_TRUE(report.contains("\x1b"
                                "C\r\n"));
    EXPECT_TRUE(report.contains('\xf8'));
    EXPECT_TRUE(report.endsWith("\r\n"));
    // The receiver turns every "D" before a line end into the date, so no
    // other line may end in "D".
    EXPECT_EQ(report.count("D\r\n"), 1);
    EXPECT_EQ(report.count('\x1b'), 1);
}

TEST(BalanceModel, CalibrationReportLinesAreNotTakenForReadings) {
    // A receiver ignores empty lines, labelled lines (": ") and lines longer
    // than 30 characters; a report line of any other kind would become a
    // reading.
    for (const QByteArray& line : BalanceModel::CalibrationReport().split('\n')) {
        if (line.isEmpty())
            continue;
        const bool ignored = line == "\r" || line.contains(": ") || line.size() + 1 > 30;
        EXPECT_TRUE(ignored) << line.constData();
    }
}

// A scatter of 2 digits at 4 places: stable readings spread about the mass
// with a standard deviation near 0.0002 (300 draws: within 20 %).
TEST(BalanceModel, ScatterSpreadsStableReadingsByItsStandardDeviation) {
    BalanceModel model(11);
    model.SetMass(50.0);
    model.SetScatter(2);
    double sum = 0;
    double squares = 0;
    const int n = 300;
    for (int i = 0; i < n; ++i) {
        const double value = ValueOf(model.StableReply());
        sum += value;
        squares += value * value;
    }
    const double mean = sum / n;
    const double s = std::sqrt((squares - n * mean * mean) / (n - 1));
    EXPECT_NEAR(mean, 50.0, 0.00005);
    EXPECT_NEAR(s, 0.0002, 0.00004);
    model.SetScatter(0);
    EXPECT_EQ(model.StableReply(), "S     50.0000 g  \r\n");
}

// Offsets in digits per position, applied where the weight stands and only
// while something lies on the pan.
TEST(BalanceModel, AnOffCentreWeightReadsItsPositionsOffset) {
    BalanceModel model;
    model.SetMass(100.0);
    model.SetOffset(3, 3);
    model.SetOffset(1, -2);
    EXPECT_EQ(model.StableReply(), "S    100.0000 g  \r\n");
    model.SetPosition(3);
    EXPECT_EQ(model.StableReply(), "S    100.0003 g  \r\n");
    EXPECT_EQ(model.ImmediateReply(), "SI    100.0003 g  \r\n");
    model.SetPosition(1);
    EXPECT_EQ(model.StableReply(), "S     99.9998 g  \r\n");
    model.SetDecimals(2);
    EXPECT_EQ(model.StableReply(), "S       99.98 g  \r\n");
    model.Tare();
    EXPECT_EQ(model.StableReply(), "S        0.00 g  \r\n");
}
