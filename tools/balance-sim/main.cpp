#include "ControlInput.h"
#include "Options.h"
#include "SignalWatcher.h"
#include "Simulator.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <unistd.h>

using namespace BalanceSim;

namespace {

void PrintLine(const QByteArray& line) {
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QString error;
    const auto options = Options::Parse(app.arguments().mid(1), &error);
    if (!options) {
        std::fprintf(stderr, "balance-sim: %s\nTry balance-sim --help.\n", qPrintable(error));
        return 2;
    }
    if (options->help) {
        std::fputs(qPrintable(Options::HelpText()), stdout);
        return 0;
    }
    // A reader of our output that goes away must not end the instrument.
    std::signal(SIGPIPE, SIG_IGN);
    // Started in the background of an interactive shell, reading the
    // terminal would stop us; ignored, the read fails and only the control
    // input ends.
    std::signal(SIGTTIN, SIG_IGN);

    // Watching signals before READY is printed: whoever reads READY may
    // terminate us at once and must still find the link removed.
    SignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &SignalWatcher::Caught, &app, &QCoreApplication::quit);

    Simulator simulator(*options);
    if (!simulator.Start(&error)) {
        std::fprintf(stderr, "balance-sim: %s\n", qPrintable(error));
        return 1;
    }
    for (const QString& line : simulator.ReadyLines())
        PrintLine(line.toLatin1());

    ControlInput input(STDIN_FILENO);
    QObject::connect(&input, &ControlInput::LineReceived, &simulator, [&](const QByteArray& line) {
        const QByteArray answer = simulator.Execute(line);
        if (!answer.isEmpty())
            PrintLine(answer);
    });
    if (options->exitOnEof)
        QObject::connect(&input, &ControlInput::Ended, &app, &QCoreApplication::quit);
    QObject::connect(&simulator, &Simulator::QuitRequested, &app, &QCoreApplication::quit);
    return app.exec();
}
