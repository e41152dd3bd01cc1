#include "AcceptReading.h"
#include "BalanceProtocol.h"
#include "CodePage1250.h"
#include "CollectedBatch.h"
#include "Database.h"
#include "MeasurementStore.h"
#include "MinimumWeightRule.h"
#include "ProgramContext.h"
#include "ReportText.h"
#include "ScriptedDialogs.h"
#include "SeriesFile.h"
#include "SeriesJournal.h"
#include "TestFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Pomiar;
using Verdict = MinimumWeightRule::Verdict;

namespace {

// m_min 0.05 g with SF 2: a net is fit from 0.1 g.
MinimumWeightRule Limit(bool refuse = false) {
    MinimumWeightRule rule;
    rule.minimumWeight = 0.05;
    rule.safetyFactor = 2;
    rule.unit = QStringLiteral("g");
    rule.refuse = refuse;
    rule.checkId = QStringLiteral("7");
    return rule;
}

TEST(MinimumWeightRule, JudgesTheNetAgainstSafetyFactorTimesMinimumWeight) {
    struct Case {
        double mass;
        const char* unit;
        bool refuse;
        Verdict expected;
    };
    const Case cases[] = {
        {0.0999, "g", false, Verdict::Below},
        {0.1, "g", false, Verdict::Fit}, // at SF·m_min: fit
        {0.1001, "g", false, Verdict::Fit},
        {-0.05, "g", false, Verdict::Below}, // weighed out by difference
        {-0.2, "g", false, Verdict::Fit},
        {0.0, "g", false, Verdict::Below},
        {99.9, "mg", false, Verdict::Below}, // 0.0999 g
        {100, "mg", false, Verdict::Fit},    // 0.1 g after the change of unit
        {0.0001, "kg", false, Verdict::Fit},
        {0.05, "%", false, Verdict::Fit}, // a moisture reading is not a mass
        {3, "pcs", false, Verdict::Fit},
        {0.05, "g", true, Verdict::Refused},
        {0.2, "g", true, Verdict::Fit},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Limit(c.refuse).Judge(c.mass, QString::fromLatin1(c.unit)), c.expected)
            << c.mass << " " << c.unit << (c.refuse ? " refusing" : "");
    }
    MinimumWeightRule none = Limit();
    none.minimumWeight = 0;
    EXPECT_EQ(none.Judge(0.0001, "g"), Verdict::Fit) << "no m_min, no limit";
}

class MinimumWeightStoreTest : public ::testing::Test {
protected:
    MinimumWeightStoreTest() {
        context.programFolder = folder.path();
        context.dialogs = &dialogs;
        context.settings.nrWagi = QStringLiteral("3");
        store.OtworzMagazyn();
        store.NowaSeria();
    }

    // Readings of 0.05, 0.1 and 0.5 g: below, at and above SF·m_min.
    void ThreeReadings() {
        const QDateTime start(QDate(2026, 12, 8), QTime(9, 30, 0));
        const double values[] = {0.05, 0.1, 0.5};
        for (int i = 0; i < 3; ++i) {
            const QString value = QString::number(values[i], 'f', 4);
            ASSERT_EQ(AcceptReading(store, value, "g", start.addSecs(i),
                                    ("S S     " + value + " g\r\n").toLatin1()),
                      ReadingAcceptance::Outcome::Stored);
        }
    }

    QStringList Statuses() {
        QStringList statuses;
        store.Bound().QueryEach(QStringLiteral("SELECT status FROM pomiary ORDER BY rowid"),
                                [&](const QVariantList& row) {
                                    statuses << (row.at(0).isNull() ? QStringLiteral("NULL")
                                                                    : row.at(0).toString());
                                });
        return statuses;
    }

    // The status field of each ReadingStored entry of the bound journal.
    QStringList JournalMarks() {
        QStringList marks;
        SeriesJournal::ForEachEntry(store.Bound(), [&](const SeriesJournal::Entry& entry) {
            if (entry.event != SeriesJournal::Event::ReadingStored)
                return;
            const QList<QByteArray> fields = SeriesJournal::SplitFields(entry.data);
            marks << (fields.size() > 7 ? QString::fromUtf8(fields[7]) : QString());
        });
        return marks;
    }

    QTemporaryDir folder;
    ScriptedDialogs dialogs;
    ProgramContext context;
    MeasurementStore store{context};
};

TEST_F(MinimumWeightStoreTest, BeforeAnyPassedCheckNoReadingIsMarked) {
    ThreeReadings();
    EXPECT_EQ(Statuses(), QStringList({"NULL", "NULL", "NULL"}));
    EXPECT_EQ(JournalMarks(), QStringList({"", "", ""}));
    EXPECT_FALSE(store.Model().index(0, SeriesModel::Masa).data(SeriesModel::MarkRole).toBool());
    EXPECT_FALSE(store.MinimumWeightForAcceptance());
}

TEST_F(MinimumWeightStoreTest, OnlyTheNetBelowTheLimitIsMarkedInRowGridAndJournal) {
    store.SetMinimumWeight(Limit());
    ThreeReadings();
    EXPECT_EQ(Statuses(), QStringList({"<m", "NULL", "NULL"}));
    EXPECT_EQ(JournalMarks(), QStringList({"<m", "", ""}));
    SeriesModel& model = store.Model();
    for (int row = 0; row < 3; ++row) {
        const bool marked = row == 0;
        EXPECT_EQ(model.index(row, SeriesModel::Masa).data(SeriesModel::MarkRole).toBool(), marked)
            << row;
        EXPECT_EQ(model.index(row, SeriesModel::Status).data().toString().isEmpty(), !marked)
            << row;
        EXPECT_FALSE(model.index(row, SeriesModel::Lp).data(SeriesModel::MarkRole).toBool());
    }
    model.SetMarkTexts("below m_min", "tip");
    EXPECT_EQ(model.index(0, SeriesModel::Status).data().toString(), "below m_min");
    EXPECT_EQ(model.index(0, SeriesModel::Masa).data(Qt::ToolTipRole).toString(), "tip");
    // Read again from the database, as a series opened later is.
    model.Bind(store.Bound());
    EXPECT_TRUE(model.index(0, SeriesModel::Status).data(SeriesModel::MarkRole).toBool());
    EXPECT_EQ(SeriesJournal::Verify(store.Bound()).state,
              SeriesJournal::Verification::State::Verified);
}

TEST_F(MinimumWeightStoreTest, PuttingALimitInForceOrLiftingItIsJournaled) {
    store.SetMinimumWeight(Limit());
    store.SetMinimumWeight(Limit()); // the same again writes nothing
    store.SetMinimumWeight(std::nullopt);
    QList<QByteArray> settings;
    SeriesJournal::ForEachEntry(store.Bound(), [&](const SeriesJournal::Entry& entry) {
        if (entry.event == SeriesJournal::Event::SettingChanged)
            settings << entry.data;
    });
    ASSERT_EQ(settings.size(), 2);
    const QList<QByteArray> inForce = SeriesJournal::SplitFields(settings[0]);
    EXPECT_EQ(inForce.value(0), "minimum weight");
    EXPECT_EQ(inForce.value(1), "0.1");
    EXPECT_EQ(inForce.value(5), "7") << "the check it comes from";
    EXPECT_EQ(SeriesJournal::SplitFields(settings[1]).value(1), "off");
}

TEST_F(MinimumWeightStoreTest, TheRefusingSettingRefusesUnlessACheckTakesItsReadings) {
    using Outcome = ReadingAcceptance::Outcome;
    const QDateTime at(QDate(2026, 12, 8), QTime(9, 30, 0));
    store.SetMinimumWeight(Limit(true));
    EXPECT_EQ(AcceptReading(store, "0.0500", "g", at), Outcome::BelowMinimumWeight);
    EXPECT_EQ(AcceptReading(store, "0,2000", "g", at), Outcome::Stored) << "a decimal comma";
    EXPECT_EQ(AcceptReading(store, "100", "mg", at), Outcome::Stored);
    EXPECT_EQ(store.RowCount(), 2);
    store.SetCheckInProgress(true);
    EXPECT_EQ(AcceptReading(store, "0.0500", "g", at), Outcome::Stored);
    EXPECT_EQ(store.Model().Row(2).status, "<m") << "a check's reading is marked, not refused";
    store.SetHeldForCheck(true);
    EXPECT_FALSE(store.HeldForCheck()) << "a check's own readings are never held";
    store.SetCheckInProgress(false);
    EXPECT_TRUE(store.HeldForCheck());
    EXPECT_EQ(AcceptReading(store, "5", "g", at), Outcome::CheckDue);
}

TEST_F(MinimumWeightStoreTest, TheMarkReachesTheExportTheSavedFileAndThePrintedLines) {
    store.SetMinimumWeight(Limit());
    ThreeReadings();
    const QString csv = folder.filePath("export.csv");
    SeriesFile::EksportCSV(
        store.Bound(), csv, [](const QString& column) { return column; }, QLocale::c());
    const QStringList lines =
        CodePage1250::Decode(TestFiles::ReadFile(csv)).split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4);
    const int status = int(lines[0].split(';').indexOf("status"));
    ASSERT_GE(status, 0);
    EXPECT_EQ(lines[1].split(';').value(status), "<m");
    EXPECT_EQ(lines[2].split(';').value(status), "");

    // A saved file keeps the mark where the others get "0", and verifies.
    const QString saved = folder.filePath("marked.ser");
    ASSERT_EQ(SeriesFile::ZapiszSerie(store.Bound(), saved, nullptr, nullptr),
              SeriesFile::SaveResult::Completed);
    {
        Database file(saved, Database::Journal::Rollback, Database::Access::ReadOnly);
        EXPECT_EQ(file.Query("SELECT status FROM Pomiary ORDER BY rowid").rows,
                  (std::vector<QVariantList>{{"<m"}, {"0"}, {"0"}}));
    }
    EXPECT_EQ(SeriesJournal::VerifyFile(saved).state, SeriesJournal::Verification::State::Verified);

    // The printed report's lines: the mass of Lp 1 (left half) and Lp 3
    // (right half of the second line) as they print.
    store.OtworzBaze(saved);
    ASSERT_TRUE(ReportText::FillTemp(store.Bound(), nullptr));
    QStringList masses;
    ReportText::EachTempLine(store.Bound(), "0.0000", QLocale::c(),
                             [&](const ReportText::ReportLine& line) {
                                 for (const QStringList& half : line)
                                     masses << half.value(ReportText::ReportMassColumn);
                             });
    EXPECT_EQ(masses, QStringList({"0.0500 <m", "0.5000", "0.1000", ""}));
}

TEST_F(MinimumWeightStoreTest, ContinuousLinesAreMarkedOrTurnedAwayByTheSameRule) {
    store.SetMinimumWeight(Limit(true));
    ContinuousBuffers buffers;
    const QDateTime at(QDate(2026, 12, 8), QTime(10, 0, 0));
    buffers.Append("S S      0.0500 g\r\n", at);
    buffers.Append("S S      0.5000 g\r\n", at.addSecs(1));
    buffers.Append("S S      0.7000 g\r\n", at.addSecs(2));
    ASSERT_TRUE(StoreCollected(store, buffers, nullptr, *BalanceDialect::Named("sics")));
    EXPECT_EQ(store.RowCount(), 2);
    EXPECT_EQ(store.LastBatch().turnedAwayReason, "below the minimum weight");

    store.SetMinimumWeight(Limit(false));
    buffers.Append("S S      0.0500 g\r\n", at.addSecs(3));
    buffers.Append("S S      0.6000 g\r\n", at.addSecs(4));
    ASSERT_TRUE(StoreCollected(store, buffers, nullptr, *BalanceDialect::Named("sics")));
    EXPECT_EQ(Statuses(), QStringList({"NULL", "NULL", "<m", "NULL"}));
}

} // namespace
