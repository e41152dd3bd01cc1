#pragma once

#include "Behaviour.h"
#include "Dialect.h"
#include "LineAssembler.h"

#include <QByteArray>
#include <QList>

namespace BalanceSim {

class BalanceModel;
class ReplyScript;

// Bytes to send, afterMs after the moment the command that caused them
// arrived.
struct TimedOutput {
    int afterMs = 0;
    QByteArray bytes;

    bool operator==(const TimedOutput&) const = default;
};

// The conversation with one client: turns received bytes into timed replies
// in the family's dialect and keeps the client's own continuous-transmission
// state.
class Session {
public:
    Session(BalanceModel& model, ReplyScript& script, const Behaviour& behaviour,
            const Dialect& dialect = Dialect::Default());

    QList<TimedOutput> Receive(const QByteArray& bytes);
    // The reply to one command (without its line end), before timing.
    QByteArray Answer(const QByteArray& command);

    bool IsContinuous() const { return continuous; }
    // A line of continuous transmission: an immediate read.
    QByteArray StreamLine() { return Perform(Operation::ImmediateRead); }

private:
    QByteArray Perform(Operation operation);
    QList<TimedOutput> Schedule(const QByteArray& reply) const;

    BalanceModel& model;
    ReplyScript& script;
    const Behaviour& behaviour;
    const Dialect& dialect;
    LineAssembler lines;
    bool continuous = false;
};

} // namespace BalanceSim
