// The lab web view in Debian's chromium, driven by playwright-core from
// lab-view.mjs: two stations fed by trevalo log against the simulator, the
// web server on loopback, and the database stopped and started when the
// script asks for it on its standard output.
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

class LabWebInChromium : public ::testing::Test {
protected:
    // A station's program folder: its settings, its working database.
    QString StationFolder(int number) {
        const QString folder = TestEnvironment::Root() + QStringLiteral("/station%1").arg(number);
        QDir().mkpath(folder);
        QFile ini(folder + "/ustawienia.ini");
        ini.open(QIODevice::WriteOnly | QIODevice::Truncate);
        ini.write(QStringLiteral("[ustawienia]\r\nNr_wagi=%1\r\n[LabServer]\r\nEnabled=True\r\n"
                                 "Connection=%2\r\nStation=Waga-%1\r\n")
                      .arg(number)
                      .arg(pg.Connection(database))
                      .toUtf8());
        return folder;
    }

    PostgresServer pg;
    const QString database = QStringLiteral("labview%1").arg(::getpid());
};

TEST_F(LabWebInChromium, TwoStationsLiveEscapedAndReconnecting) {
    ASSERT_TRUE(QFileInfo::exists(QStringLiteral(CHROMIUM_PATH)))
        << CHROMIUM_PATH << " is missing: run scripts/setup.sh";
    ASSERT_TRUE(
        QFileInfo::exists(QStringLiteral(BROWSER_TESTS_DIR "/node_modules/playwright-core")))
        << "playwright-core is missing: run scripts/setup.sh (npm ci in tests/browser)";
    ASSERT_TRUE(pg.Made()) << pg.Failure().toStdString();
    ASSERT_TRUE(pg.CreateDatabase(database));
    const QString first = StationFolder(1);
    const QString second = StationFolder(2);
    {
        QProcess init;
        init.start(QStringLiteral(TREVALO_PATH), {"server", "init", "--dir", first});
        ASSERT_TRUE(init.waitForFinished(20000));
        ASSERT_EQ(init.exitCode(), 0) << init.readAllStandardError().toStdString();
    }

    std::vector<std::unique_ptr<Child>> simulators;
    std::vector<std::unique_ptr<Child>> loggers;
    const char* masses[] = {"12.5", "3.25"};
    for (int station = 1; station <= 2; ++station) {
        simulators.push_back(std::make_unique<Child>(
            QStringLiteral(BALANCE_SIM_PATH),
            QStringList{"--tcp", "0", "--mass", masses[station - 1], "--noise", "0.01"}));
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
            return pg.Value(database, "SELECT count(DISTINCT station) FROM readings").toInt() == 2;
        },
        20000))
        << loggers[0]->err.toStdString() << loggers[1]->err.toStdString();
    // A description holding markup, as an operator may type one.
    pg.Column(database,
              "UPDATE readings SET description = "
              "'<script>window.pwned = 1</script><img src=x onerror=\"window.pwned = 2\">' "
              "WHERE station = 'Waga-1' AND lp = 1 RETURNING lp");

    const int webPort = FreePort();
    Child web(QStringLiteral(TREVALO_PATH), {"server", "web", "--dir", first, "--listen",
                                             QStringLiteral("127.0.0.1:%1").arg(webPort)});
    ASSERT_TRUE(web.Says("lab web view on", 10000)) << web.err.toStdString();

    const QString shots = QStringLiteral(SHOTS_DIR);
    QDir().mkpath(shots);
    QProcess node;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LAB_URL", QStringLiteral("http://127.0.0.1:%1/").arg(webPort));
    environment.insert("SHOTS_DIR", shots);
    environment.insert("CHROMIUM_PATH", QStringLiteral(CHROMIUM_PATH));
    node.setProcessEnvironment(environment);
    node.setWorkingDirectory(QStringLiteral(BROWSER_TESTS_DIR));
    QByteArray out;
    QByteArray err;
    int handled = 0;
    QObject::connect(&node, &QProcess::readyReadStandardError,
                     [&] { err += node.readAllStandardError(); });
    QObject::connect(&node, &QProcess::readyReadStandardOutput, [&] {
        out += node.readAllStandardOutput();
        const QList<QByteArray> lines = out.split('\n');
        // The last piece is a line not yet ended.
        for (; handled < lines.size() - 1; ++handled) {
            const QByteArray line = lines[handled].trimmed();
            if (line == "control: stop-database")
                node.write(pg.Stop() ? "ok\n" : "failed\n");
            else if (line == "control: start-database")
                node.write(pg.Start() ? "ok\n" : "failed\n");
        }
    });
    node.start(QStringLiteral("node"), {QStringLiteral("lab-view.mjs")});
    ASSERT_TRUE(node.waitForStarted(5000));
    const bool finished = WaitUntil([&] { return node.state() == QProcess::NotRunning; }, 100000);
    if (!finished)
        node.kill();
    EXPECT_TRUE(finished);
    EXPECT_EQ(node.exitCode(), 0) << out.toStdString() << err.toStdString()
                                  << "\nweb server: " << web.err.toStdString();
    std::printf("%s", out.constData());
    for (const char* shot : {"lab-web-page.png", "lab-web-station.png", "lab-web-phone.png"})
        EXPECT_TRUE(QFileInfo(shots + "/" + shot).size() > 1000) << shot;
}

} // namespace
