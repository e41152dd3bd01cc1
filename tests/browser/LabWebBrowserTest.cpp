// The lab web view in Debian's chromium, driven by playwright-core from
// lab-view.mjs, and in Firefox ESR, driven by puppeteer-core over WebDriver
// BiDi from lab-view-firefox.mjs: two stations fed by trevalo log against
// the simulator, the web server on loopback, and the database stopped and
// started when a script asks for it on its standard output.
#include "EventWait.h"
#include "PostgresServer.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <gtest/gtest.h>

#include <memory>
#include <unistd.h>

namespace {

int FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0);
    return probe.serverPort();
}

// A child process whose output is kept as it comes.
class Child {
public:
    Child(const QString& program, const QStringList& arguments) {
        QObject::connect(&process, &QProcess::readyReadStandardOutput,
                         [this] { out += process.readAllStandardOutput(); });
        QObject::connect(&process, &QProcess::readyReadStandardError,
                         [this] { err += process.readAllStandardError(); });
        process.start(program, arguments);
        process.waitForStarted(5000);
    }
    ~Child() {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished(1000);
        }
    }
    bool Says(const QByteArray& text, int timeoutMs) {
        return WaitUntil([&] { return out.contains(text); }, timeoutMs);
    }

    QProcess process;
    QByteArray out;
    QByteArray err;
};

// Two stations fed by trevalo log from the simulator and the web server on
// loopback, for a browser script to look at.
class LabWebInBrowser : public ::testing::Test {
protected:
    // A station's program folder: its settings, its working database.
    // limits: the acceptance limits' lines of its settings.
    QString StationFolder(int number, const QString& limits = QString()) {
        const QString folder = stations + QStringLiteral("/station%1").arg(number);
        QDir().mkpath(folder);
        QFile ini(folder + "/ustawienia.ini");
        ini.open(QIODevice::WriteOnly | QIODevice::Truncate);
        ini.write(QStringLiteral("[ustawienia]\r\nNr_wagi=%1\r\n%3[LabServer]\r\nEnabled=True\r\n"
                                 "Connection=%2\r\nStation=Waga-%1\r\n")
                      .arg(number)
                      .arg(pg.Connection(database), limits)
                      .toUtf8());
        return folder;
    }

    // The lab running, the page served at webPort; fails the test when not.
    void StartLab() {
        ASSERT_TRUE(pg.Made()) << pg.Failure().toStdString();
        ASSERT_TRUE(pg.CreateDatabase(database));
        // Station 1 reads 12.5 g within limits 12.4 to 12.6; the balance of
        // station 2 marks its immediate readings (automatic work asks for
        // those) unstable.
        const QString first =
            StationFolder(1, "min=1\r\nwart_min=12.4\r\nmax=1\r\nwart_max=12.6\r\n");
        const QString second = StationFolder(2);
        {
            QProcess init;
            init.start(QStringLiteral(TREVALO_PATH), {"server", "init", "--dir", first});
            ASSERT_TRUE(init.waitForFinished(20000));
            ASSERT_EQ(init.exitCode(), 0) << init.readAllStandardError().toStdString();
        }
        const char* masses[] = {"12.5", "3.25"};
        for (int station = 1; station <= 2; ++station) {
            QStringList simulatorOptions{"--tcp",   "0",   "--mass", masses[station - 1],
                                         "--noise", "0.01"};
            if (station == 2)
                simulatorOptions << "--unstable";
            simulators.push_back(
                std::make_unique<Child>(QStringLiteral(BALANCE_SIM_PATH), simulatorOptions));
            Child& simulator = *simulators.back();
            ASSERT_TRUE(simulator.Says("READY TCP", 5000)) << simulator.err.toStdString();
            const QByteArray ready = simulator.out.mid(simulator.out.indexOf("READY TCP"));
            const int port = ready.split('\n').first().split(' ').last().trimmed().toInt();
            const QString folder = station == 1 ? first : second;
            loggers.push_back(std::make_unique<Child>(
                QStringLiteral(TREVALO_PATH),
                QStringList{"log", "--tcp", QStringLiteral("127.0.0.1:%1").arg(port), "--interval",
                            "0.5", "--out", folder + "/series.ser", "--dir", folder}));
        }
        ASSERT_TRUE(WaitUntil(
            [&] {
                return pg.Value(database, "SELECT count(DISTINCT station) FROM readings").toInt() ==
                       2;
            },
            20000))
            << loggers[0]->err.toStdString() << loggers[1]->err.toStdString();
        ASSERT_TRUE(WaitUntil(
            [&] {
                return pg.Value(database,
                                "SELECT count(*) FROM series WHERE station = 'Waga-1' AND "
                                "lower_limit = 12.4 AND upper_limit = 12.6")
                           .toInt() == 1;
            },
            5000));
        // A description holding markup, as an operator may type one; and the
        // first reading above the series' upper limit, as one stored before
        // the limits were narrowed.
        pg.Column(database,
                  "UPDATE readings SET description = "
                  "'<script>window.pwned = 1</script><img src=x onerror=\"window.pwned = 2\">', "
                  "value = 12.9 WHERE station = 'Waga-1' AND lp = 1 RETURNING lp");

        webPort = FreePort();
        web = std::make_unique<Child>(QStringLiteral(TREVALO_PATH),
                                      QStringList{"server", "web", "--dir", first, "--listen",
                                                  QStringLiteral("127.0.0.1:%1").arg(webPort)});
        ASSERT_TRUE(web->Says("lab web view on", 10000)) << web->err.toStdString();
        QDir().mkpath(shots);
    }

    // Runs a script of tests/browser with node against the page, stopping
    // and starting the database when it asks; its exit code, -1 when it
    // did not finish in time.
    int RunScript(const QString& script, const QProcessEnvironment& extra, QByteArray* out,
                  QByteArray* err) {
        QProcess node;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(extra);
        environment.insert("LAB_URL", QStringLiteral("http://127.0.0.1:%1/").arg(webPort));
        environment.insert("SHOTS_DIR", shots);
        node.setProcessEnvironment(environment);
        node.setWorkingDirectory(QStringLiteral(BROWSER_TESTS_DIR));
        int handled = 0;
        QObject::connect(&node, &QProcess::readyReadStandardError,
                         [&] { *err += node.readAllStandardError(); });
        QObject::connect(&node, &QProcess::readyReadStandardOutput, [&] {
            *out += node.readAllStandardOutput();
            const QList<QByteArray> lines = out->split('\n');
            // The last piece is a line not yet ended.
            for (; handled < lines.size() - 1; ++handled) {
                const QByteArray line = lines[handled].trimmed();
                if (line == "control: stop-database")
                    node.write(pg.Stop() ? "ok\n" : "failed\n");
                else if (line == "control: start-database")
                    node.write(pg.Start() ? "ok\n" : "failed\n");
            }
        });
        node.start(QStringLiteral("node"), {script});
        if (!node.waitForStarted(5000))
            return -1;
        const bool finished =
            WaitUntil([&] { return node.state() == QProcess::NotRunning; }, 100000);
        if (!finished) {
            node.kill();
            node.waitForFinished(2000);
            return -1;
        }
        *out += node.readAllStandardOutput();
        std::printf("%s", out->constData());
        return node.exitCode();
    }

    PostgresServer pg;
    // Each test's stations begin with no series of their own.
    const QString stations = TestEnvironment::FreshFolder();
    const QString database = QStringLiteral("labview%1").arg(::getpid());
    const QString shots = QStringLiteral(SHOTS_DIR);
    std::vector<std::unique_ptr<Child>> simulators;
    std::vector<std::unique_ptr<Child>> loggers;
    std::unique_ptr<Child> web;
    int webPort = 0;
};

TEST_F(LabWebInBrowser, ChromiumTwoStationsLiveEscapedAndReconnecting) {
    ASSERT_TRUE(QFileInfo::exists(QStringLiteral(CHROMIUM_PATH)))
        << CHROMIUM_PATH << " is missing: run scripts/setup.sh";
    ASSERT_TRUE(
        QFileInfo::exists(QStringLiteral(BROWSER_TESTS_DIR "/node_modules/playwright-core")))
        << "playwright-core is missing: run scripts/setup.sh (npm ci in tests/browser)";
    StartLab();
    if (HasFatalFailure())
        return;
    QProcessEnvironment environment;
    environment.insert("CHROMIUM_PATH", QStringLiteral(CHROMIUM_PATH));
    QByteArray out;
    QByteArray err;
    EXPECT_EQ(RunScript("lab-view.mjs", environment, &out, &err), 0)
        << out.toStdString() << err.toStdString() << "\nweb server: " << web->err.toStdString();
    for (const char* shot : {"lab-web-page.png", "lab-web-station.png", "lab-web-phone.png"})
        EXPECT_TRUE(QFileInfo(shots + "/" + shot).size() > 1000) << shot;
}

TEST_F(LabWebInBrowser, FirefoxEsrTwoStationsLiveAndEscaped) {
    ASSERT_TRUE(QFileInfo::exists(QStringLiteral(FIREFOX_PATH)))
        << FIREFOX_PATH << " is missing: run scripts/setup.sh";
    ASSERT_TRUE(QFileInfo::exists(QStringLiteral(BROWSER_TESTS_DIR "/node_modules/puppeteer-core")))
        << "puppeteer-core is missing: run scripts/setup.sh (npm ci in tests/browser)";
    StartLab();
    if (HasFatalFailure())
        return;
    QProcessEnvironment environment;
    environment.insert("FIREFOX_PATH", QStringLiteral(FIREFOX_PATH));
    QByteArray out;
    QByteArray err;
    EXPECT_EQ(RunScript("lab-view-firefox.mjs", environment, &out, &err), 0)
        << out.toStdString() << err.toStdString() << "\nweb server: " << web->err.toStdString();
    EXPECT_TRUE(QFileInfo(shots + "/lab-web-firefox.png").size() > 1000);
}

} // namespace
