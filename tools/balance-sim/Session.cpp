#include "Session.h"

#include "BalanceModel.h"
#include "ReplyScript.h"

namespace BalanceSim {

Session::Session(BalanceModel& model, ReplyScript& script, const Behaviour& behaviour,
                 const Dialect& dialect)
    : model(model), script(script), behaviour(behaviour), dialect(dialect),
      lines(dialect.SelfEndingCommands()), continuous(behaviour.streamingAtConnect) {}

QList<TimedOutput> Session::Receive(const QByteArray& bytes) {
    QList<TimedOutput> outputs;
    for (const QByteArray& command : lines.Feed(bytes)) {
        if (behaviour.noReply)
            continue;
        outputs.append(Schedule(Answer(command)));
    }
    return outputs;
}

QByteArray Session::Answer(const QByteArray& command) {
    if (const auto scripted = script.Take(command))
        return *scripted;
    if (const auto operation = dialect.Lookup(command))
        return Perform(*operation);
    return dialect.SyntaxError();
}

QByteArray Session::Perform(Operation operation) {
    if (const auto refused = dialect.Refusal(model.CurrentCondition(), operation, model))
        return *refused;
    // The reply first: a tare acknowledgement tells the weight it took away.
    const QByteArray reply = dialect.Reply(operation, model);
    switch (operation) {
    case Operation::Tare:
    case Operation::Zero:
    case Operation::ZeroImmediately:
        // The simulated pan has no zero point apart from its tare.
        model.Tare();
        break;
    case Operation::ContinuousOn:
        continuous = true;
        break;
    case Operation::ContinuousOff:
        continuous = false;
        break;
    default:
        break;
    }
    return reply;
}

QList<TimedOutput> Session::Schedule(const QByteArray& reply) const {
    if (reply.isEmpty())
        return {};
    if (!behaviour.split || reply.size() < 2)
        return {{behaviour.delayMs, reply}};
    const qsizetype half = reply.size() / 2;
    return {{behaviour.delayMs, reply.left(half)},
            {behaviour.delayMs + behaviour.splitPauseMs, reply.mid(half)}};
}

} // namespace BalanceSim
