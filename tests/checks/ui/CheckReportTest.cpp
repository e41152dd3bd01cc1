#include "CheckReport.h"
#include "AcceptReading.h"
#include "CheckReadingSource.h"
#include "CheckRegister.h"
#include "CheckReportText.h"
#include "CheckTexts.h"
#include "Database.h"
#include "KontrolaWagi.h"
#include "MeasurementStore.h"
#include "MinimumWeightRule.h"
#include "ProgramContext.h"
#include "ScriptedDialogs.h"
#include "SeriesGrid.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Pomiar;

namespace {

// A repeatability record as the register keeps it: ten readings of a 10 g
// weight, d = 0.1 mg, s = 0.0000674949 g above 0.41·d = 0.000041 g, so
// s_used = s; m_min = 2000·s_used = 0.1349898 g; with m_smallest = 0.5 g,
// 2·s_used / m_smallest = 0.02699796 %. The report only shows these.
CheckRecord HandWorked() {
    CheckRecord check;
    check.id = 4;
    check.kind = CheckKind::Repeatability;
    check.balanceId = "B1";
    check.weightId = "W10";
    check.weightCertificate = "PL-123";
    check.weightCertificateDue = QDate(2027, 6, 30);
    check.testMass = 10;
    check.d = 0.0001;
    check.smallestNet = 0.5;
    check.safetyFactor = 2;
    check.unit = "g";
    const double values[] = {10.0001, 10.0002, 10.0001, 10.0003, 10.0002,
                             10.0001, 10.0002, 10.0002, 10.0001, 10.0002};
    for (double value : values)
        check.readings << CheckReading{
            PanPosition::Centre, value, "g", {}, QDateTime(QDate(2026, 12, 9), QTime(8, 0))};
    check.figures = {{"n", 10},
                     {"mean", 10.00017},
                     {"s", 0.0000674949},
                     {"s_used", 0.0000674949},
                     {"m_min", 0.1349898},
                     {"ratio_pct", 0.02699796}};
    check.limits = {0.10, 0.08, "USP <41>"};
    check.verdict = Verdict::Pass;
    check.operatorName = "anna";
    check.station = "3";
    check.host = "lab-pc";
    check.program = "Pomiar";
    check.started = QDateTime(QDate(2026, 12, 9), QTime(8, 0));
    check.finished = QDateTime(QDate(2026, 12, 9), QTime(8, 6));
    check.journalSeq = 12;
    check.journalHash = QByteArray(32, '\xab');
    return check;
}

TEST(CheckReportText, ShowsEveryFormulaWithItsValuesAndWhatAReviewerSigns) {
    const CheckReportText report =
        CheckReportText::Of(HandWorked(), std::nullopt, std::nullopt, CheckTexts(), QLocale::c());
    EXPECT_EQ(report.title, "Raport z kontroli wagi: Powtarzalnosc i masa minimalna");
    EXPECT_EQ(report.verdict, "Wynik: zgodna");
    EXPECT_EQ(report.readings.size(), 10);
    EXPECT_EQ(report.readings[3],
              QStringList({"4", "srodek", "10.0003", "g", "2026-12-09 08:00:00"}));
    EXPECT_TRUE(report.figures.contains(
        "s_used = max(s; 0.41\u00b7d) = max(0.0000674949; 0.41\u00b70.0001) = 0.0000674949 g"));
    EXPECT_TRUE(report.figures.contains("m_min = 2000\u00b7s_used = 2000\u00b70.0000674949 = "
                                        "0.1349898 g"));
    EXPECT_TRUE(report.figures.contains(
        "2\u00b7s_used / m_smallest = 2\u00b70.0000674949 / 0.5 = 0.02699796 %"));
    EXPECT_TRUE(report.figures.contains("SF\u00b7m_min = 2\u00b70.1349898 = 0.2699796 g"));
    EXPECT_EQ(report.limits, (QList<CheckReportText::Row>{{"Granica niezgodnosci", "0.1 %"},
                                                          {"Granica ostrzezenia", "0.08 %"},
                                                          {"Zrodlo granic", "USP <41>"}}));
    EXPECT_TRUE(report.identity.startsWith("Dziennik rejestru: wpis 12, skrot abab"));
    ASSERT_EQ(report.signatures.size(), 2);
    EXPECT_TRUE(report.signatures[0].startsWith("Wykonal"));
    EXPECT_TRUE(report.signatures[1].startsWith("Sprawdzil"));
    bool certificate = false;
    for (const auto& [caption, value] : report.header)
        certificate |= value == "PL-123 (2027-06-30)";
    EXPECT_TRUE(certificate);
    EXPECT_EQ(CheckReportText::Number(0.0000674949, QLocale(QLocale::Polish)), "0,0000674949");
}

TEST(CheckReportText, AccuracyAndEccentricityShowTheirDeviations) {
    CheckRecord accuracy = HandWorked();
    accuracy.kind = CheckKind::Accuracy;
    accuracy.figures = {{"reading", 100.0003},
                        {"conventional_mass", 100.0001},
                        {"deviation", 0.0002},
                        {"tolerance", 0.1},
                        {"deviation_pct", 0.0002}};
    const QStringList lines = CheckReportText::Formulas(accuracy, QLocale::c());
    EXPECT_EQ(lines.value(0),
              "deviation = reading \u2212 m_c = 100.0003 \u2212 100.0001 = 0.0002 g");
    CheckRecord corners = HandWorked();
    corners.kind = CheckKind::Eccentricity;
    corners.readings = {{PanPosition::Centre, 100.0, "g", {}, {}},
                        {PanPosition::FrontLeft, 100.0002, "g", {}, {}}};
    corners.figures = {{"centre", 100.0}, {"deviation_front_left", 0.0002}, {"deviation", 0.0002}};
    EXPECT_TRUE(CheckReportText::Formulas(corners, QLocale::c())
                    .contains("front-left: 100.0002 \u2212 100 = 0.0002 g"));
}

// Screenshots: the window's register, a running check with its prompt, the
// history, the grid with a marked reading, and the check report's PDF, put
// into the folder CHECKUI_SHOTS names (otherwise only made and checked).
class Screens : public ::testing::Test {
protected:
    Screens() {
        context.programFolder = folder.path();
        context.dialogs = &dialogs;
        context.settings.nrWagi = "3";
        context.settings.languageFileName.clear();
        shots = qEnvironmentVariable("CHECKUI_SHOTS");
        if (shots.isEmpty())
            shots = folder.filePath("shots");
        QDir().mkpath(shots);
    }
    void Save(QWidget& widget, const char* name) {
        const QString path = QDir(shots).filePath(QLatin1String(name));
        ASSERT_TRUE(widget.grab().save(path)) << name;
        EXPECT_GT(QFile(path).size(), 1000) << name;
    }
    QTemporaryDir folder;
    ScriptedDialogs dialogs;
    ProgramContext context;
    QString shots;
};

class StillSource : public CheckReadingSource {
public:
    void RequestStable() override {}
    void Abandon() override {}
};

TEST_F(Screens, WindowGridAndReport) {
    CheckRegister checks(folder.filePath("checks.db"));
    const auto author = SeriesJournal::Author::Here("3");
    RegisteredBalance balance{"B1", "XS205", "B123456789", 220, 0.0001, "g", "3"};
    checks.SaveBalance(balance, author);
    checks.SaveWeight({"W10", 10, 10.00002, "g", "E2", "PL-123", QDate(2027, 6, 30), 0.00002},
                      author);
    checks.SaveWeight({"W100", 100, 100.0001, "g", "E2", "PL-124", QDate(2025, 1, 31), 0.00016},
                      author);
    CheckRecord done = HandWorked();
    done.id = 0;
    checks.StoreCheck(done, author);
    StillSource source;
    KontrolaWagi window(context, checks, source);
    window.resize(900, 560);
    window.show();
    Save(window, "kontrola-wagi-register.png");
    window.ChooseCheck(CheckKind::Repeatability, "B1", "W10");
    window.smallestNet->setText("0.5");
    ASSERT_TRUE(window.StartCheck());
    window.ShowCurrentReading("10.0002 g");
    Save(window, "kontrola-wagi-running.png");
    window.CancelCheck();
    window.tabs->setCurrentIndex(2);
    Save(window, "kontrola-wagi-history.png");
    EXPECT_EQ(window.history->rowCount(), 2);

    MeasurementStore store(context);
    store.OtworzMagazyn();
    MinimumWeightRule limit;
    limit.minimumWeight = 0.1349898;
    limit.safetyFactor = 2;
    store.SetMinimumWeight(limit);
    const QDateTime at(QDate(2026, 12, 9), QTime(9, 0));
    const char* values[] = {"1.2503", "0.2104", "0.8120", "0.2701"};
    for (int i = 0; i < 4; ++i)
        AcceptReading(store, values[i], "g", at.addSecs(i * 20));
    SeriesGrid grid(store.Model(), nullptr);
    grid.resize(640, 200);
    grid.show();
    Save(grid, "grid-marked-reading.png");

    CheckReport report(context, checks, checks.Checks().back());
    const QString pdf = QDir(shots).filePath("check-report.pdf");
    ASSERT_TRUE(report.SavePdf(pdf));
    EXPECT_TRUE(TestFiles::ReadFile(pdf).startsWith("%PDF"));
    // Its first page as a picture, where the tool is installed.
    QProcess::execute("pdftoppm", {"-png", "-r", "70", "-f", "1", "-l", "1", pdf,
                                   QDir(shots).filePath("check-report-page")});
}

} // namespace
