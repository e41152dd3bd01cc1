#include "BalanceProtocol.h"

#include "Comm.h"

#include <algorithm>

namespace Pomiar {

namespace {
const QByteArray lineEnd = "\r\n";
const QString outLabel = QStringLiteral("OUT");
const QString inLabel = QStringLiteral("IN ");
} // namespace

void ContinuousBuffers::Append(const QByteArray& frame, const QDateTime& received) {
    frames += frame;
    dates += received.date().toString(QStringLiteral("yyyy-MM-dd")) + QLatin1String("\r\n");
    times += received.time().toString(QStringLiteral("HH:mm:ss")) + QLatin1String("\r\n");
}

void ContinuousBuffers::Clear() {
    frames.clear();
    dates.clear();
    times.clear();
}

BalanceProtocol::BalanceProtocol(Mordal::Comm* comm, const Settings& settings)
    : comm(comm), settings(settings) {}

void BalanceProtocol::OutputDataAndDebug(const QByteArray& txt) {
    if (comm)
        comm->OutputData(txt, 1000);
    if (debugShow)
        echo(txt, outLabel);
}

bool BalanceProtocol::send(const QByteArray& command) {
    if (command.isEmpty())
        return false;
    lastCommand = command;
    OutputDataAndDebug(command + lineEnd);
    return true;
}

void BalanceProtocol::OdpytajWage(bool unstable) {
    // The default family's reads are the [COMMANDS] texts, sent even when
    // they are empty.
    const auto command =
        dialect.ReadCommand(unstable, settings.cmdSendStable, settings.cmdSendUnstable);
    if (!command)
        return;
    lastCommand = *command;
    OutputDataAndDebug(lastCommand + lineEnd);
}

bool BalanceProtocol::Tare() {
    return send(dialect.Commands().tare);
}

bool BalanceProtocol::ContinuousOn() {
    return send(dialect.Commands().continuousOn);
}

bool BalanceProtocol::ContinuousOff() {
    return send(dialect.Commands().continuousOff);
}

BalanceProtocol::Routed BalanceProtocol::RouteFrame(const QByteArray& frame,
                                                    const Receiving& receiving,
                                                    ContinuousBuffers& buffers,
                                                    const QDateTime& now) {
    Routed routed;
    routed.undecodable = Undecodable(frame, receiving.serial);
    if (debugShow)
        echo(frame, inLabel);
    if (receiving.continuous) {
        buffers.Append(frame, now);
        routed.route = Route::Collected;
    } else {
        routed.route = receiving.paused ? Route::Dropped : Route::ToReadingHandler;
    }
    return routed;
}

bool BalanceProtocol::Undecodable(const QByteArray& bytes, bool serial) {
    return std::any_of(bytes.begin(), bytes.end(), [serial](char byte) {
        return (serial && byte == '\0') || (byte & 0x80) != 0;
    });
}

void BalanceProtocol::echo(const QByteArray& text, const QString& label) {
    if (debugSink)
        debugSink(QString::fromLatin1(text), label);
}

} // namespace Pomiar
