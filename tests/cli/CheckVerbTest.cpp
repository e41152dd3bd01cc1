#include "CheckRegister.h"
#include "EventWait.h"
#include "PostgresServer.h"
#include "TrevaloProcess.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <unistd.h>

using namespace Pomiar;

namespace {

// trevalo check fed by `yes ''`: the operator who presses Enter at every
// prompt, as an unattended script does.
TrevaloResult RunUnattended(const QStringList& arguments, const char* input = "yes ''") {
    QStringList quoted;
    for (const QString& argument : arguments)
        quoted << QStringLiteral("'%1'").arg(argument);
    QProcess shell;
    shell.start("/bin/sh", {"-c", QStringLiteral("%1 | '%2' %3")
                                      .arg(QLatin1String(input), QLatin1String(TREVALO_PATH),
                                           quoted.join(' '))});
    TrevaloResult result;
    if (!shell.waitForFinished(30000)) {
        shell.kill();
        shell.waitForFinished(1000);
        return result;
    }
    result.exitCode = shell.exitCode();
    result.out = QString::fromUtf8(shell.readAllStandardOutput());
    result.err = QString::fromUtf8(shell.readAllStandardError());
    return result;
}

// The value of a "name = value" line.
std::optional<double> Figure(const TrevaloResult& run, const QString& name) {
    for (const QString& line : run.OutLines())
        if (line.startsWith(name + " = "))
            return line.mid(name.size() + 3).toDouble();
    return std::nullopt;
}

class CheckInEveryFamily : public testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        WriteSettings("[ustawienia]\r\nNr_wagi=4\r\n");
        for (const char* suffix : {"", "-wal", "-shm"})
            QFile::remove(CheckRegister::PathIn(ProgramFolder()) + QLatin1String(suffix));
        ASSERT_TRUE(simulator.Start({"--dialect", Family(), "--mass", "20.0000", "--scatter", "1",
                                     "--seed", "7", "--offset", "back-right=3"}));
    }
    QString Family() const { return QString::fromLatin1(GetParam()); }
    QStringList Link() const { return {"--tcp", simulator.Tcp(), "--dialect", Family()}; }

    Simulator simulator;
};

} // namespace

// Ten replicate weighings, unattended, in the family's own words: ten
// readings, the figures, a verdict, and the check in the register, which
// verifies.
TEST_P(CheckInEveryFamily, RepeatabilityRunsUnattended) {
    const auto run = RunUnattended(QStringList{"check", "repeatability", "--count", "10", "--d",
                                               "0.0001", "--smallest-net", "0.5"} +
                                   Link());
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString() << run.out.toStdString();
    EXPECT_EQ(run.out.count(QStringLiteral("press Enter")), 10) << run.out.toStdString();
    // Each as the balance shows it, with the four places of d.
    for (int i = 1; i <= 10; ++i)
        EXPECT_TRUE(run.out.contains(QRegularExpression(
            QStringLiteral("\\nreading %1: (19\\.99|20\\.00)\\d\\d g\\n").arg(i))))
            << run.out.toStdString();
    EXPECT_EQ(Figure(run, "n"), 10);
    EXPECT_NEAR(*Figure(run, "mean"), 20.0, 0.0005);
    // A scatter of one digit gives s near 0.0001 g, above 0.41·d.
    EXPECT_GT(*Figure(run, "s"), 0.00003);
    EXPECT_LT(*Figure(run, "s"), 0.0003);
    EXPECT_NEAR(*Figure(run, "m_min"), 2000 * *Figure(run, "s_used"), 1e-9);
    EXPECT_TRUE(run.out.contains("verdict: pass")) << run.out.toStdString();

    CheckRegister checks(CheckRegister::PathIn(ProgramFolder()));
    const auto stored = checks.Check(qint64(*Figure(run, "check")));
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->readings.size(), 10);
    EXPECT_EQ(stored->station, "4");
    EXPECT_EQ(stored->program, "trevalo");
    EXPECT_EQ(stored->balanceId, "station 4");
    EXPECT_NEAR(*stored->Figure("s"), *Figure(run, "s"), 1e-9);
    EXPECT_TRUE(checks.Verify().verified) << checks.Verify().where.toStdString();
}

// The operator moves the weight around the pan (the simulator is told
// where it stands before each Enter): the back right reads 3 digits more,
// above a tolerance of 0.0002 g: the check fails with exit 7.
TEST_P(CheckInEveryFamily, EccentricityFollowsTheWeightAroundThePan) {
    ASSERT_TRUE(simulator.Control("scatter 0"));
    QProcess trevalo;
    trevalo.start(TREVALO_PATH, QStringList{"check", "eccentricity", "--test-weight", "20",
                                            "--tolerance", "0.0002", "--d", "0.0001"} +
                                    Link());
    ASSERT_TRUE(trevalo.waitForStarted(5000));
    QByteArray out;
    const char* positions[] = {"centre", "front-left", "back-left", "back-right", "front-right"};
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(WaitUntil(
            [&] {
                out += trevalo.readAllStandardOutput();
                return out.count("press Enter") > i;
            },
            10000))
            << out.toStdString() << trevalo.readAllStandardError().toStdString();
        ASSERT_TRUE(simulator.Control(QByteArray("position ") + positions[i]));
        trevalo.write("\n");
    }
    ASSERT_TRUE(trevalo.waitForFinished(10000));
    out += trevalo.readAllStandardOutput();
    TrevaloResult run;
    run.exitCode = trevalo.exitCode();
    run.out = QString::fromUtf8(out);
    EXPECT_EQ(run.exitCode, 7) << run.out.toStdString();
    EXPECT_NEAR(*Figure(run, "deviation_back_right"), 0.0003, 1e-9);
    EXPECT_NEAR(*Figure(run, "deviation_front_left"), 0.0, 1e-9);
    EXPECT_NEAR(*Figure(run, "deviation"), 0.0003, 1e-9);
    EXPECT_TRUE(run.out.contains("verdict: fail"));
}

INSTANTIATE_TEST_SUITE_P(EveryFamily, CheckInEveryFamily,
                         testing::Values("default", "sics", "sbi", "ad", "ohaus"));

namespace {

class CheckVerb : public testing::Test {
protected:
    void SetUp() override {
        WriteSettings("[ustawienia]\r\nNr_wagi=5\r\n");
        for (const char* suffix : {"", "-wal", "-shm"})
            QFile::remove(CheckRegister::PathIn(ProgramFolder()) + QLatin1String(suffix));
        ASSERT_TRUE(simulator.Start({"--dialect", "sics", "--mass", "200.0003"}));
    }
    QStringList Link() const { return {"--tcp", simulator.Tcp(), "--dialect", "sics"}; }
    int Stored() {
        return int(CheckRegister(CheckRegister::PathIn(ProgramFolder())).Checks().size());
    }
    Simulator simulator;
};

} // namespace

// --format json: one object with the same keys, the prompts on standard
// error. 200.0003 g against 200 g is 0.00015 %: pass; against 199.7 g it
// is 0.15 %: fail, exit 7.
TEST_F(CheckVerb, AccuracyAsJson) {
    const auto passed = RunUnattended(
        QStringList{"check", "accuracy", "--test-weight", "200", "--format", "json"} + Link());
    ASSERT_EQ(passed.exitCode, 0) << passed.err.toStdString();
    const QJsonObject object = QJsonDocument::fromJson(passed.out.toUtf8()).object();
    EXPECT_EQ(object["verdict"].toString(), "pass") << passed.out.toStdString();
    EXPECT_NEAR(object["deviation"].toDouble(), 0.0003, 1e-9);
    EXPECT_NEAR(object["tolerance"].toDouble(), 0.2, 1e-12);
    EXPECT_EQ(object["limits"].toObject()["source"].toString(),
              "USP <41>: 0.10 % of the test weight");
    EXPECT_TRUE(passed.err.contains("press Enter"));

    const auto failed = RunUnattended(
        QStringList{"check", "accuracy", "--test-weight", "199.7", "--tolerance-pct", "0.1"} +
        Link());
    EXPECT_EQ(failed.exitCode, 7) << failed.err.toStdString();
    EXPECT_TRUE(failed.out.contains("limits_source = --tolerance-pct"));
    EXPECT_EQ(Stored(), 2);
}

// Fewer than ten replicates, no d, an unknown weight: usage errors, and
// nothing is stored.
TEST_F(CheckVerb, PlansThatCannotRunAreUsageErrors) {
    for (const QStringList& arguments :
         {QStringList{"check", "repeatability", "--count", "9", "--d", "0.0001"},
          QStringList{"check", "repeatability"},
          QStringList{"check", "accuracy", "--weight", "W404"},
          QStringList{"check", "eccentricity", "--test-weight", "100"},
          QStringList{"check", "repeatability", "--d", "-1"}}) {
        const auto run = RunUnattended(arguments + Link());
        EXPECT_EQ(run.exitCode, 2) << arguments.join(' ').toStdString() << run.err.toStdString();
    }
    const auto unknown = RunTrevalo({"check", "linearity"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.err.contains("repeatability, accuracy or eccentricity"));
    EXPECT_EQ(Stored(), 0);
}

// Standard input ends before the check does: the check is cancelled and
// the register keeps a record saying so.
TEST_F(CheckVerb, InputEndingCancelsWithARecord) {
    const auto run = RunUnattended(QStringList{"check", "repeatability", "--d", "0.0001"} + Link(),
                                   "printf '\\n\\n\\n'");
    EXPECT_EQ(run.exitCode, 4) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("verdict: cancelled")) << run.out.toStdString();
    const auto stored = CheckRegister(CheckRegister::PathIn(ProgramFolder())).Checks();
    ASSERT_EQ(stored.size(), 1);
    EXPECT_EQ(stored[0].verdict, Verdict::Cancelled);
    EXPECT_EQ(stored[0].readings.size(), 3);
}

// A balance that stops answering: three failed readings end the check.
TEST_F(CheckVerb, ASilentBalanceEndsTheCheck) {
    ASSERT_TRUE(simulator.Control("noreply on"));
    const auto run = RunUnattended(
        QStringList{"check", "accuracy", "--test-weight", "200", "--timeout", "0.2"} + Link());
    EXPECT_EQ(run.exitCode, 4) << run.err.toStdString();
    EXPECT_EQ(run.err.count("no reply"), 4) << run.err.toStdString();
    EXPECT_EQ(Stored(), 1);
}

// A check reaches the lab database through the station's outbox.
TEST(CheckOnTheLabDatabase, ReachesTheChecksTable) {
    PostgresServer server;
    ASSERT_TRUE(server.Made()) << server.Failure().toStdString();
    const QString database = QStringLiteral("labcheck%1").arg(::getpid());
    ASSERT_TRUE(server.CreateDatabase(database));
    WriteSettings(QStringLiteral("[ustawienia]\r\nNr_wagi=6\r\n[LabServer]\r\nEnabled=True\r\n"
                                 "Connection=%1\r\nStation=Waga-6\r\n")
                      .arg(server.Connection(database))
                      .toUtf8());
    Simulator simulator;
    ASSERT_TRUE(simulator.Start({"--mass", "50.0001"}));
    const auto run = RunUnattended(
        {"check", "accuracy", "--test-weight", "50", "--tcp", simulator.Tcp(), "--format", "json"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QJsonObject object = QJsonDocument::fromJson(run.out.toUtf8()).object();
    EXPECT_EQ(server.Value(database, "SELECT count(*) FROM checks").toInt(), 1);
    EXPECT_EQ(server
                  .Value(database, "SELECT check_id FROM checks WHERE station = 'Waga-6' AND "
                                   "kind = 'accuracy' AND verdict = 'pass'")
                  .toString(),
              object["uid"].toString());
    EXPECT_EQ(
        server.Value(database, "SELECT (record->>'deviation')::numeric FROM checks").toDouble(),
        object["deviation"].toDouble());
    EXPECT_EQ(
        server.Value(database, "SELECT kind FROM last_checks WHERE station = 'Waga-6'").toString(),
        "accuracy");
}

// The register's weight and balance: the conventional mass is the test
// mass, d comes from the balance, and a weight past its certificate's due
// date is used with a warning that the stored record keeps.
TEST_F(CheckVerb, TheRegistersWeightAndBalance) {
    {
        CheckRegister checks(CheckRegister::PathIn(ProgramFolder()));
        TestWeight weight;
        weight.id = "W200";
        weight.nominal = 200;
        weight.conventionalMass = 200.0002;
        weight.certificate = "PL-77";
        weight.certificateDue = QDate::currentDate().addDays(-3);
        checks.SaveWeight(weight, {"5", "anna", "lab-pc"});
        checks.SaveBalance({"XS205", "XS205", "B123", 220, 0.0001, "g", "5"},
                           {"5", "anna", "lab-pc"});
    }
    const auto run = RunUnattended(
        QStringList{"check", "accuracy", "--weight", "W200", "--balance", "XS205"} + Link());
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("W200")) << run.err.toStdString();
    // 200.0003 − 200.0002 = 0.0001 g, printed with the four places of d.
    EXPECT_TRUE(run.out.contains("reading 1: 200.0003 g")) << run.out.toStdString();
    EXPECT_NEAR(*Figure(run, "deviation"), 0.0001, 1e-9);
    CheckRegister checks(CheckRegister::PathIn(ProgramFolder()));
    const auto stored = checks.LastCheck("XS205", CheckKind::Accuracy);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->weightId, "W200");
    EXPECT_EQ(stored->weightCertificate, "PL-77");
    EXPECT_DOUBLE_EQ(stored->testMass, 200.0002);
    ASSERT_EQ(stored->warnings.size(), 1);
    EXPECT_TRUE(stored->warnings[0].contains("PL-77"));
    EXPECT_TRUE(checks.Verify().verified);
}
