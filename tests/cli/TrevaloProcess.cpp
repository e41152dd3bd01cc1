#include "TrevaloProcess.h"

#include "EventWait.h"
#include "TestEnvironment.h"
#include "TestFiles.h"

#include <csignal>

Simulator::~Simulator() {
    if (process.state() == QProcess::NotRunning)
        return;
    process.write("quit\n");
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(1000);
    }
}

QList<QByteArray> Simulator::lines() {
    QList<QByteArray> all = output.split('\n');
    all.removeLast();
    return all;
}

bool Simulator::Start(const QStringList& options) {
    QObject::connect(&process, &QProcess::readyReadStandardOutput,
                     [this] { output += process.readAllStandardOutput(); });
    process.start(QStringLiteral(BALANCE_SIM_PATH),
                  QStringList{"--com", "1", "--tcp", "0"} + options);
    if (!process.waitForStarted(5000) || !WaitUntil([&] { return lines().size() >= 2; }, 5000))
        return false;
    for (const QByteArray& line : lines().mid(0, 2)) {
        const QList<QByteArray> words = line.split(' ');
        if (words.size() == 4 && words[1] == "TCP")
            tcpPort = words[3].toInt();
    }
    answered = 2;
    return tcpPort > 0;
}

bool Simulator::Control(const QByteArray& command) {
    process.write(command + '\n');
    if (!WaitUntil([&] { return lines().size() > answered; }))
        return false;
    return lines().at(answered++).startsWith("OK");
}

QStringList TrevaloResult::OutLines() const {
    return out.split(u'\n', Qt::SkipEmptyParts);
}

TrevaloResult RunTrevalo(const QStringList& arguments, const QStringList& environment) {
    QProcess process;
    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    for (const QString& variable : environment)
        variables.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
    process.setProcessEnvironment(variables);
    process.start(QStringLiteral(TREVALO_PATH), arguments);
    TrevaloResult result;
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished(1000);
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

RunningTrevalo::RunningTrevalo(const QStringList& arguments) {
    QObject::connect(&process, &QProcess::readyReadStandardOutput,
                     [this] { out += process.readAllStandardOutput(); });
    QObject::connect(&process, &QProcess::readyReadStandardError,
                     [this] { err += process.readAllStandardError(); });
    process.start(QStringLiteral(TREVALO_PATH), arguments);
    process.waitForStarted(5000);
}

RunningTrevalo::~RunningTrevalo() {
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(1000);
    }
}

QStringList RunningTrevalo::Lines() const {
    return QString::fromUtf8(out).split(u'\n', Qt::SkipEmptyParts);
}

bool RunningTrevalo::WaitForLines(int count, int timeoutMs) {
    return WaitUntil([&] { return Lines().size() >= count; }, timeoutMs);
}

void RunningTrevalo::Signal(int signalNumber) {
    ::kill(pid_t(process.processId()), signalNumber);
}

TrevaloResult RunningTrevalo::Finish(int timeoutMs) {
    TrevaloResult result;
    if (!process.waitForFinished(timeoutMs))
        return result;
    out += process.readAllStandardOutput();
    err += process.readAllStandardError();
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(out);
    result.err = QString::fromUtf8(err);
    return result;
}

QString ProgramFolder() {
    return TestEnvironment::Root() + QStringLiteral("/program");
}

void WriteSettings(const QByteArray& iniText) {
    TestFiles::WriteFile(ProgramFolder() + QStringLiteral("/ustawienia.ini"), iniText);
}
