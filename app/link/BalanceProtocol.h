#pragma once

#include "BalanceDialect.h"
#include "mUstawienia.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <functional>

namespace Mordal {
class Comm;
}

namespace Pomiar {

// What continuous transmission collects: the frames as delivered and, line
// by line in step with them, the date and time each arrived.
struct ContinuousBuffers {
    QByteArray frames;
    QString dates;
    QString times;

    void Append(const QByteArray& frame, const QDateTime& received);
    void Clear();
    bool IsEmpty() const { return frames.isEmpty(); }
};

// The commands the program sends to the balance, in the words of its
// family, and the first steps every received frame takes. The commands
// never wait for their replies: a reply is routed whenever it arrives.
class BalanceProtocol {
public:
    using DebugSink = std::function<void(const QString& text, const QString& label)>;

    BalanceProtocol(Mordal::Comm* comm, const Settings& settings);
    // Null: nothing is sent any more.
    void SetComm(Mordal::Comm* link) { comm = link; }

    // Called with every command sent and every frame received while the
    // traffic window is open.
    void SetDebugSink(DebugSink sink) { debugSink = std::move(sink); }
    bool debugShow = false;

    void SetDialect(const BalanceDialect& family) { dialect = family; }
    const BalanceDialect& Dialect() const { return dialect; }

    void OutputDataAndDebug(const QByteArray& txt);
    // The immediate read when unstable readings are wanted, else the stable one.
    void OdpytajWage(bool unstable);
    // The commands of the family; false when it has none for this, and
    // nothing was sent.
    bool Tare();
    bool ContinuousOn();
    bool ContinuousOff();
    // The last command sent (without its line end), which a refusal names.
    const QByteArray& LastCommand() const { return lastCommand; }

    enum class Route { Collected, Dropped, ToReadingHandler };
    // Where a frame goes, and whether it holds bytes that do not decode.
    struct Routed {
        Route route = Route::Dropped;
        bool undecodable = false;
    };
    // What the receiver is doing when a frame arrives.
    struct Receiving {
        // Continuous transmission runs: frames are collected.
        bool continuous = false;
        // Automatic work is paused: frames are dropped.
        bool paused = false;
        // The link is a serial port (see Undecodable).
        bool serial = false;
    };

    // Bytes no balance sends on a matching line: the eighth bit set (a
    // 7-bit line read as 8 bits) or, on a serial port (serial), NUL, which
    // is what a parity or framing error leaves there.
    static bool Undecodable(const QByteArray& bytes, bool serial);

    // The first step of every received frame: tells whether it is
    // undecodable, echoes it to the traffic window, then collects it while
    // continuous transmission runs, drops it while automatic work is paused,
    // and otherwise hands it to the reading handler.
    Routed RouteFrame(const QByteArray& frame, const Receiving& receiving,
                      ContinuousBuffers& buffers, const QDateTime& now);

private:
    void echo(const QByteArray& text, const QString& label);
    // Sends a command of the family with its line end; false, and nothing
    // sent, for one the family does not have.
    bool send(const QByteArray& command);

    Mordal::Comm* comm;
    const Settings& settings;
    BalanceDialect dialect;
    DebugSink debugSink;
    QByteArray lastCommand;
};

} // namespace Pomiar
