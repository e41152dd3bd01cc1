#include "KontrolaWagi.h"
#include "CheckReadingSource.h"
#include "CheckRegister.h"
#include "CheckSettings.h"
#include "CheckStatus.h"
#include "CheckTexts.h"
#include "ProgramContext.h"
#include "ScriptedDialogs.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

using namespace Pomiar;

namespace {

// A balance that answers each request with the next value of its list,
// after the event loop turns, as a link does; an empty list fails.
class ScriptedSource : public CheckReadingSource {
public:
    QList<double> values;
    int requests = 0;
    void RequestStable() override {
        ++requests;
        QTimer::singleShot(0, this, [this] {
            if (values.isEmpty()) {
                emit ReadingFailed(QStringLiteral("no reply"));
                return;
            }
            const double value = values.takeFirst();
            emit ReadingArrived(value, QStringLiteral("g"),
                                "S S " + QByteArray::number(value, 'f', 4) + " g\r\n");
        });
    }
    void Abandon() override {}
};

void Settle() {
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

class KontrolaWagiTest : public ::testing::Test {
protected:
    KontrolaWagiTest() {
        context.programFolder = folder.path();
        context.dialogs = &dialogs;
        context.settings.nrWagi = QStringLiteral("3");
        context.settings.languageFileName.clear();
        const SeriesJournal::Author author = SeriesJournal::Author::Here("3");
        RegisteredBalance balance;
        balance.id = "B1";
        balance.model = "XS205";
        balance.capacity = 220;
        balance.d = 0.0001;
        balance.station = "3";
        checks.SaveBalance(balance, author);
        TestWeight weight;
        weight.id = "W10";
        weight.nominal = 10;
        weight.conventionalMass = 10.00002;
        weight.weightClass = "E2";
        weight.certificate = "PL-123";
        weight.certificateDue = QDate::currentDate().addYears(1);
        checks.SaveWeight(weight, author);
        weight.id = "W-OLD";
        weight.certificateDue = QDate(2020, 1, 31);
        checks.SaveWeight(weight, author);
        window = std::make_unique<KontrolaWagi>(context, checks, source);
    }

    // Confirms every step until the check ends; the prompts on the way.
    QStringList RunToTheEnd() {
        QStringList prompts;
        for (int step = 0; step < 30 && window->Runner().Running(); ++step) {
            prompts << window->prompt->text();
            EXPECT_TRUE(window->confirm->isEnabled()) << step;
            window->confirm->click();
            EXPECT_FALSE(window->confirm->isEnabled()) << "one click per step";
            Settle();
        }
        return prompts;
    }

    QTemporaryDir folder;
    ScriptedDialogs dialogs;
    ProgramContext context;
    CheckRegister checks{folder.filePath("checks.db")};
    ScriptedSource source;
    std::unique_ptr<KontrolaWagi> window;
};

TEST_F(KontrolaWagiTest, TheRegisterListsWeightsAndBalancesAndAPastDueCertificate) {
    ASSERT_EQ(window->weights->rowCount(), 2);
    ASSERT_EQ(window->balances->rowCount(), 1);
    EXPECT_EQ(window->balances->item(0, 1)->text(), "XS205");
    EXPECT_EQ(window->weight->count(), 3) << "two weights and one not in the register";
    EXPECT_EQ(window->balance->currentData().toString(), "B1");
}

TEST_F(KontrolaWagiTest, ARepeatabilityCheckRunsAsGuidedStepsIntoTheHistory) {
    source.values = {10.0001, 10.0002, 10.0001, 10.0003, 10.0002,
                     10.0001, 10.0002, 10.0002, 10.0001, 10.0002};
    std::optional<CheckRecord> finished;
    std::vector<bool> running;
    window->checkFinished = [&](const CheckRecord& record) { finished = record; };
    window->checkRunning = [&](bool on) { running.push_back(on); };
    window->ChooseCheck(CheckKind::Repeatability, "B1", "W10");
    window->smallestNet->setText("0,5");
    ASSERT_TRUE(window->StartCheck());
    EXPECT_FALSE(window->start->isEnabled());
    EXPECT_TRUE(window->cancel->isEnabled());
    const QStringList prompts = RunToTheEnd();
    ASSERT_EQ(prompts.size(), 10);
    EXPECT_EQ(prompts.front(), "Poloz odwaznik na srodku szalki (1 z 10)");
    EXPECT_EQ(prompts[1], "Zdejmij odwaznik i poloz go ponownie (2 z 10)");
    EXPECT_EQ(source.requests, 10);
    EXPECT_EQ(window->readings->rowCount(), 10);
    EXPECT_EQ(window->readings->item(3, 2)->text(), "10.0003");
    EXPECT_TRUE(window->prompt->text().startsWith("Zdejmij odwaznik z szalki\n"));
    EXPECT_TRUE(window->prompt->text().endsWith("zgodna"));
    EXPECT_TRUE(window->result->text().contains("m_min = 2000"));
    ASSERT_TRUE(finished);
    EXPECT_EQ(finished->verdict, Verdict::Pass);
    EXPECT_EQ(finished->station, "3");
    EXPECT_EQ(finished->weightId, "W10");
    EXPECT_EQ(running, (std::vector<bool>{true, false})) << "the store holds nothing meanwhile";
    // Stored in the register and shown in the station's history.
    ASSERT_EQ(window->history->rowCount(), 1);
    EXPECT_EQ(window->history->item(0, 4)->text(), "zgodna");
    EXPECT_EQ(checks.Checks().size(), 1);
    EXPECT_TRUE(window->start->isEnabled());
}

TEST_F(KontrolaWagiTest, EccentricityPromptsEachPositionOfThePan) {
    CheckSettings settings;
    settings.eccentricityTolerance = 0.001;
    ASSERT_TRUE(settings.Write(context.IniPath()));
    source.values = {100.0000, 100.0002, 99.9999, 100.0001, 100.0000};
    window->ChooseCheck(CheckKind::Eccentricity, "B1");
    window->testMass->setText("100");
    ASSERT_TRUE(window->StartCheck());
    const QStringList prompts = RunToTheEnd();
    EXPECT_EQ(prompts, QStringList({"Poloz odwaznik na srodku szalki (1 z 5)",
                                    "Przesun odwaznik: lewy przod (2 z 5)",
                                    "Przesun odwaznik: lewy tyl (3 z 5)",
                                    "Przesun odwaznik: prawy tyl (4 z 5)",
                                    "Przesun odwaznik: prawy przod (5 z 5)"}));
    EXPECT_EQ(window->readings->item(1, 1)->text(), "lewy przod");
}

TEST_F(KontrolaWagiTest, CancellingLeavesACancelledRecordAndFreesTheForm) {
    source.values = {10.0001, 10.0002};
    window->ChooseCheck(CheckKind::Repeatability, "B1", "W10");
    ASSERT_TRUE(window->StartCheck());
    window->confirm->click();
    Settle();
    window->cancel->click();
    Settle();
    EXPECT_FALSE(window->Runner().Running());
    EXPECT_EQ(window->prompt->text(), "Kontrola anulowana");
    EXPECT_TRUE(window->start->isEnabled());
    EXPECT_FALSE(window->confirm->isEnabled());
    ASSERT_EQ(window->history->rowCount(), 1);
    EXPECT_EQ(window->history->item(0, 4)->text(), "anulowana");
    EXPECT_EQ(checks.Checks().front().readings.size(), 1);
}

TEST_F(KontrolaWagiTest, AFailedReadingLetsTheOperatorConfirmAgain) {
    source.values = {};
    window->ChooseCheck(CheckKind::Repeatability, "B1", "W10");
    ASSERT_TRUE(window->StartCheck());
    window->confirm->click();
    Settle();
    EXPECT_TRUE(window->result->text().contains("no reply"));
    EXPECT_TRUE(window->confirm->isEnabled());
    EXPECT_TRUE(window->Runner().Running());
}

TEST_F(KontrolaWagiTest, AWeightPastItsDueDateIsChosenOnlyAfterAWarningTheRecordKeeps) {
    window->ChooseCheck(CheckKind::Repeatability, "B1", "W-OLD");
    dialogs.AnswerNext(MsgAnswer::No);
    EXPECT_FALSE(window->StartCheck());
    ASSERT_EQ(dialogs.Messages().size(), 1);
    EXPECT_TRUE(dialogs.Messages().front().contains("2020-01-31"));
    EXPECT_FALSE(window->Runner().Running());
    EXPECT_TRUE(checks.Checks().isEmpty()) << "nothing stored for a check never begun";

    dialogs.AnswerNext(MsgAnswer::Yes);
    ASSERT_TRUE(window->StartCheck());
    window->CancelCheck();
    Settle();
    ASSERT_EQ(checks.Checks().size(), 1);
    EXPECT_TRUE(checks.Checks().front().warnings.join(' ').contains("2020-01-31"));
}

TEST_F(KontrolaWagiTest, APlanTheCheckCannotRunIsRefusedWithItsReason) {
    window->ChooseCheck(CheckKind::Accuracy, "B1");
    window->testMass->setText("");
    EXPECT_FALSE(window->StartCheck());
    ASSERT_EQ(dialogs.Messages().size(), 1);
    EXPECT_TRUE(dialogs.Messages().front().startsWith("Nie mozna rozpoczac kontroli"));
    EXPECT_TRUE(checks.Checks().isEmpty());
}

TEST(CheckStatusText, TellsTheLastCheckAndWhenTheNextIsDue) {
    QTemporaryDir folder;
    CheckRegister checks(folder.filePath("checks.db"));
    CheckSettings settings;
    settings.balanceId = "B1";
    const CheckTexts texts;
    const QDate today(2026, 12, 9);
    // Nothing scheduled, nothing done: nothing to say.
    EXPECT_EQ(CheckStatus::Of(checks, settings, today).Text(texts), "");
    settings.schedules[CheckKind::Repeatability] = CheckSchedule::Daily();
    const CheckStatus never = CheckStatus::Of(checks, settings, today);
    EXPECT_TRUE(never.Overdue());
    EXPECT_EQ(never.Text(texts), "Kontrola: brak, nastepna dzis");
    EXPECT_FALSE(never.HoldsReadings(settings));
    settings.refuseWhenDue = true;
    EXPECT_TRUE(never.HoldsReadings(settings));

    CheckRecord passed;
    passed.kind = CheckKind::Repeatability;
    passed.balanceId = "B1";
    passed.verdict = Verdict::Pass;
    passed.started = QDateTime(QDate(2026, 12, 7), QTime(8, 0));
    passed.finished = QDateTime(QDate(2026, 12, 7), QTime(8, 5));
    checks.StoreCheck(passed, SeriesJournal::Author::Here("3"));
    const CheckStatus late = CheckStatus::Of(checks, settings, today);
    EXPECT_TRUE(late.Overdue());
    EXPECT_EQ(late.Text(texts), "Kontrola ZALEGLA od 2026-12-08: Powtarzalnosc i masa minimalna");
    const CheckStatus onTime = CheckStatus::Of(checks, settings, QDate(2026, 12, 7));
    EXPECT_FALSE(onTime.DueNow());
    EXPECT_FALSE(onTime.HoldsReadings(settings));
    EXPECT_EQ(onTime.Text(texts), "Kontrola: Powtarzalnosc i masa minimalna zgodna "
                                  "(2026-12-07 08:05), nastepna 2026-12-08");
    EXPECT_EQ(CheckStatus::Of(checks, settings, QDate(2026, 12, 8)).Text(texts),
              "Kontrola wymagana dzis: Powtarzalnosc i masa minimalna");
}

} // namespace
