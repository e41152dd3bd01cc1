#pragma once

#include "ControlCommand.h"
#include "LineFormat.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace BalanceSim {

// What the command line asks for.
struct Options {
    static constexpr double DefaultRate = 10.0;

    // 0: no serial endpoint.
    int com = 0;
    QString portDirectory;
    // -1: no TCP endpoint; 0: any free port.
    int tcpPort = -1;
    QString scriptPath;
    // The balance family whose commands and replies the instrument speaks.
    QByteArray dialect = "default";
    // The character format emulated on the pseudo-terminal.
    LineFormat line;
    // The starting state of the instrument, as control commands.
    QList<ControlCommand> setup;
    std::optional<quint32> seed;
    bool exitOnEof = false;
    // Continuous transmission is on before any client asks for it.
    bool streamingAtConnect = false;
    bool log = false;
    bool help = false;

    // Answers nothing, with the reason in error, for a command line that
    // asks for something impossible. arguments excludes the program name.
    static std::optional<Options> Parse(const QStringList& arguments, QString* error = nullptr);
    static QString HelpText();
    // $MORDAL_PORTS, else Mordal/ports in the user's configuration folder.
    static QString DefaultPortDirectory();
};

} // namespace BalanceSim
