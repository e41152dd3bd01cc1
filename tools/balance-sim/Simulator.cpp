#include "Simulator.h"

#include "PtyEndpoint.h"
#include "TcpEndpoint.h"

#include <random>

namespace BalanceSim {

namespace {

quint32 Seed(const Options& options) {
    return options.seed ? *options.seed : std::random_device{}();
}

const Dialect& DialectOf(const Options& options) {
    const Dialect* named = Dialect::Find(options.dialect);
    return named ? *named : Dialect::Default();
}

// The commands that change only the balance's model; false for the others.
bool ApplyToModel(BalanceModel& model, const ControlCommand& command) {
    using Kind = ControlCommand::Kind;
    switch (command.kind) {
    case Kind::Mass:
        model.SetMass(command.number);
        return true;
    case Kind::Unit:
        model.SetUnit(command.bytes);
        return true;
    case Kind::Stable:
        model.SetStable(command.on);
        return true;
    case Kind::Noise:
        model.SetNoise(command.number);
        return true;
    case Kind::Moisture:
        model.SetMoisture(command.on);
        return true;
    case Kind::Decimals:
        model.SetDecimals(command.integer);
        return true;
    case Kind::Overload:
        model.SetCondition(BalanceModel::Condition::Overload, command.on);
        return true;
    case Kind::Underload:
        model.SetCondition(BalanceModel::Condition::Underload, command.on);
        return true;
    case Kind::Busy:
        model.SetCondition(BalanceModel::Condition::Busy, command.on);
        return true;
    case Kind::Fault:
        model.SetCondition(BalanceModel::Condition::Fault, command.on);
        return true;
    case Kind::Form:
        model.SetForm(command.bytes);
        return true;
    case Kind::Scatter:
        model.SetScatter(command.number);
        return true;
    case Kind::Position:
        model.SetPosition(command.integer);
        return true;
    case Kind::Offset:
        model.SetOffset(command.integer, command.number);
        return true;
    default:
        return false;
    }
}

} // namespace

Simulator::Simulator(const Options& options, QObject* parent)
    : QObject(parent), options(options), model(Seed(options)), dialect(DialectOf(options)) {
    behaviour.streamingAtConnect = options.streamingAtConnect;
}

Simulator::~Simulator() = default;

bool Simulator::Start(QString* error) {
    if (!options.scriptPath.isEmpty() && !script.Load(options.scriptPath, error))
        return false;
    if (options.com != 0) {
        pty = std::make_unique<PtyEndpoint>(model, script, behaviour, dialect);
        pty->SetLogging(options.log);
        pty->SetLineFormat(options.line);
        if (!pty->Open(options.com, options.portDirectory, error))
            return false;
        // A pseudo-terminal's client is there from the start.
        pty->FollowContinuousState();
    }
    if (options.tcpPort >= 0) {
        tcp = std::make_unique<TcpEndpoint>(model, script, behaviour, dialect);
        tcp->SetLogging(options.log);
        if (!tcp->Listen(options.tcpPort, error))
            return false;
    }
    for (const ControlCommand& command : options.setup) {
        const QString why = Apply(command);
        if (!why.isEmpty()) {
            if (error)
                *error = why;
            return false;
        }
    }
    return true;
}

QStringList Simulator::ReadyLines() const {
    QStringList lines;
    if (pty)
        lines << QStringLiteral("READY COM%1 %2").arg(options.com).arg(pty->SlavePath());
    if (tcp)
        lines << QStringLiteral("READY TCP 127.0.0.1 %1").arg(tcp->Port());
    return lines;
}

QByteArray Simulator::Execute(const QByteArray& line) {
    if (line.trimmed().isEmpty())
        return {};
    QString why;
    const auto command = ControlCommand::Parse(line, &why);
    if (command)
        why = Apply(*command);
    if (!why.isEmpty())
        return "ERR " + why.toLatin1();
    if (command->kind == ControlCommand::Kind::Quit)
        emit QuitRequested();
    return "OK";
}

QString Simulator::Apply(const ControlCommand& command) {
    if (ApplyToModel(model, command))
        return {};
    using Kind = ControlCommand::Kind;
    switch (command.kind) {
    case Kind::NoReply:
        behaviour.noReply = command.on;
        break;
    case Kind::Delay:
        behaviour.delayMs = command.integer;
        break;
    case Kind::Split:
        behaviour.split = command.on;
        if (command.integer > 0)
            behaviour.splitPauseMs = command.integer;
        break;
    case Kind::Garbage:
    case Kind::Send:
        SendToAll(command.bytes);
        break;
    case Kind::Report:
        SendToAll(BalanceModel::CalibrationReport());
        break;
    case Kind::Drop:
        if (!tcp)
            return QStringLiteral("no TCP endpoint");
        if (!tcp->DropClient())
            return QStringLiteral("no TCP client");
        break;
    case Kind::Rate:
        for (Endpoint* endpoint : Endpoints())
            endpoint->SetRate(command.number);
        break;
    case Kind::AutoPrint:
        model.SetAutoPrint(command.on);
        for (Endpoint* endpoint : Endpoints())
            endpoint->FollowContinuousState();
        break;
    default:
        break;
    }
    return {};
}

void Simulator::SendToAll(const QByteArray& bytes) {
    for (Endpoint* endpoint : Endpoints())
        endpoint->Send(bytes);
}

QList<Endpoint*> Simulator::Endpoints() const {
    QList<Endpoint*> endpoints;
    if (pty)
        endpoints << pty.get();
    if (tcp)
        endpoints << tcp.get();
    return endpoints;
}

} // namespace BalanceSim
