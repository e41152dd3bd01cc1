#pragma once

#include "BalanceModel.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

#include <optional>
#include <span>

namespace BalanceSim {

// What a command asks the balance to do, whatever the family calls it.
enum class Operation {
    StableRead,
    ImmediateRead,
    Tare,
    Zero,
    // Zero at once, even on an unsettled pan; the reply tells which it was.
    ZeroImmediately,
    ContinuousOn,
    ContinuousOff,
    SerialNumber,
    ModelName,
};

struct DialectCommand {
    const char* text;
    Operation operation;
};

// One balance family's command set and the form of its replies. Families
// are stateless: the instrument's state lives in the model, the client's
// continuous mode in its session.
class Dialect {
public:
    virtual ~Dialect() = default;

    // The family of that name, or none.
    static const Dialect* Find(QByteArrayView name);
    static const Dialect& Default();
    static QStringList Names();

    std::optional<Operation> Lookup(const QByteArray& command) const;
    // Commands a balance acts on as soon as they are complete, with or
    // without a line end: those that start with ESC.
    QList<QByteArray> SelfEndingCommands() const;

    // The reply to operation, taken from the model as it stands before the
    // operation has its effect; empty: the family answers nothing.
    virtual QByteArray Reply(Operation operation, BalanceModel& model) const = 0;
    // The reply that replaces operation while condition holds, or none when
    // the operation goes ahead regardless.
    std::optional<QByteArray> Refusal(BalanceModel::Condition condition, Operation operation,
                                      const BalanceModel& model) const;
    // The answer to a command the family does not know; may be empty.
    virtual QByteArray SyntaxError() const = 0;

protected:
    Dialect(const char* name, std::span<const DialectCommand> commands)
        : name(name), commands(commands) {}

    static bool IsRead(Operation operation) {
        return operation == Operation::StableRead || operation == Operation::ImmediateRead;
    }
    // The operations a condition stops; reads by default.
    virtual bool Refuses(Operation operation) const { return IsRead(operation); }
    virtual QByteArray FaultReply(BalanceModel::Condition condition, Operation operation,
                                  const BalanceModel& model) const = 0;

private:
    const char* name;
    std::span<const DialectCommand> commands;
};

} // namespace BalanceSim
