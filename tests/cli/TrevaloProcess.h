#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

// The balance simulator as a child process: a pseudo-terminal published as
// COM1 in the test's port folder and a loopback TCP port, steered through
// its control commands.
class Simulator {
public:
    ~Simulator();
    bool Start(const QStringList& options = {});
    int TcpPort() const { return tcpPort; }
    QString Tcp() const { return QStringLiteral("127.0.0.1:%1").arg(tcpPort); }
    // One control command; true when the simulator answered OK.
    bool Control(const QByteArray& command);

private:
    QList<QByteArray> lines();

    QProcess process;
    QByteArray output;
    int answered = 0;
    int tcpPort = 0;
};

// What a finished run of trevalo gave.
struct TrevaloResult {
    int exitCode = -1;
    QString out;
    QString err;
    QStringList OutLines() const;
};

// Runs trevalo to its end (at most 20 s) with the test's environment and
// extra variables ("NAME=value").
TrevaloResult RunTrevalo(const QStringList& arguments, const QStringList& environment = {});

// A run that goes on until the test ends it.
class RunningTrevalo {
public:
    explicit RunningTrevalo(const QStringList& arguments);
    ~RunningTrevalo();
    // Waits until at least count lines were printed.
    bool WaitForLines(int count, int timeoutMs = 10000);
    void Signal(int signalNumber);
    TrevaloResult Finish(int timeoutMs = 10000);
    QStringList Lines() const;
    // Standard error so far.
    QString Errors() const { return QString::fromUtf8(err); }

private:
    QProcess process;
    QByteArray out;
    QByteArray err;
};

// The program folder of the test (POMIAR_DIR), where trevalo looks for
// ustawienia.ini.
QString ProgramFolder();
void WriteSettings(const QByteArray& iniText);
