#include "MeasurementStore.h"
#include "ProgramContext.h"
#include "ReportText.h"
#include "ScriptedDialogs.h"
#include "StoreReadings.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <vector>

using namespace Pomiar;

namespace {

const QDateTime start{QDate(2026, 12, 7), QTime(10, 15, 30)};

// The printed report's lines as text, read back from the store without a
// printer: what is printed is decided here, how it is laid out elsewhere.
class ReportLinesTest : public ::testing::Test {
protected:
    ReportLinesTest() {
        context.programFolder = folder.path();
        context.dialogs = &dialogs;
        store.SetLocale(QLocale(QLocale::English, QLocale::UnitedStates));
        store.OtworzMagazyn();
    }

    std::vector<ReportText::ReportLine> Lines(const QString& massFormat, const QLocale& locale) {
        std::vector<ReportText::ReportLine> lines;
        ReportText::EachTempLine(
            store.Bound(), massFormat, locale,
            [&lines](const ReportText::ReportLine& line) { lines.push_back(line); });
        return lines;
    }

    QTemporaryDir folder;
    ScriptedDialogs dialogs;
    ProgramContext context;
    MeasurementStore store{context};
};

TEST_F(ReportLinesTest, ReadingsPairUpAcrossTheHalvesInTheFormsPrinted) {
    AppendReading(store, "10.0010", "g", start.addSecs(1));
    AppendReading(store, "10.0020", "g", start.addSecs(2));
    AppendReading(store, "10.0036", "kg", start.addDays(1));
    ASSERT_TRUE(ReportText::FillTemp(store.Bound(), nullptr));

    const auto lines = Lines("#0.000", QLocale(QLocale::Polish, QLocale::Poland));
    ASSERT_EQ(lines.size(), 2u);
    for (const auto& line : lines)
        for (const QStringList& half : line)
            ASSERT_EQ(half.size(), ReportText::ReportColumnCount);

    // Reading 1 beside reading 3, reading 2 alone on the last line.
    EXPECT_EQ(lines[0][0][0], "1");
    EXPECT_EQ(lines[0][1][0], "3");
    EXPECT_EQ(lines[1][0][0], "2");
    EXPECT_EQ(lines[1][1].join(QString()), QString());

    const QStringList& third = lines[0][1];
    EXPECT_EQ(third[1], "2026-12-08");
    EXPECT_EQ(third[2], "10:15:30");
    EXPECT_EQ(third[ReportText::ReportMassColumn], "10,004");
    EXPECT_EQ(third[5], "kg");
    EXPECT_EQ(lines[1][0][ReportText::ReportMassColumn], "10,002");
}

TEST_F(ReportLinesTest, AnEmptyTableGivesNoLine) {
    ASSERT_TRUE(ReportText::FillTemp(store.Bound(), nullptr));
    EXPECT_TRUE(Lines("#0.00", QLocale::c()).empty());
}

} // namespace
