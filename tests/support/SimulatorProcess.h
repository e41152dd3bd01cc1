#pragma once

#include "EventWait.h"

#include <QProcess>
#include <QString>
#include <QStringList>

// Starts the balance simulator (the program at `path`, with more options
// when given) on a free loopback TCP port and answers that port, or 0 when
// it did not come up.
inline int StartTcpSimulator(QProcess& simulator, const QString& path,
                             const QStringList& options = {}) {
    simulator.start(path, QStringList{QStringLiteral("--tcp"), QStringLiteral("0")} + options);
    if (!simulator.waitForStarted(5000) ||
        !WaitUntil([&] { return simulator.canReadLine(); }, 5000))
        return 0;
    // "READY TCP 127.0.0.1 <port>"
    const QStringList ready = QString::fromLatin1(simulator.readLine()).trimmed().split(' ');
    return ready.size() == 4 ? ready[3].toInt() : 0;
}
