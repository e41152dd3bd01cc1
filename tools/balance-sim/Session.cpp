#include "Session.h"

#include "BalanceModel.h"
#include "ReplyScript.h"

namespace BalanceSim {

Session::Session(BalanceModel& model, ReplyScript& script, const Behaviour& behaviour)
    : model(model), script(script), behaviour(behaviour) {}

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
    if (command == "S")
        return model.StableReply();
    if (command == "SI")
        return model.ImmediateReply();
    if (command == "T") {
        model.Tare();
        return BalanceModel::TareAcknowledgement();
    }
    if (command == "C1") {
        continuous = true;
        return BalanceModel::ContinuousOnAcknowledgement();
    }
    if (command == "C0") {
        continuous = false;
        return BalanceModel::ContinuousOffAcknowledgement();
    }
    return BalanceModel::ErrorReply();
}

QByteArray Session::StreamLine() {
    return model.ImmediateReply();
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
