#include "Dialect.h"

namespace BalanceSim {

namespace {

using Condition = BalanceModel::Condition;
using enum Operation;

QByteArray Line(const QByteArray& text) {
    return text + "\r\n";
}

BalanceModel::Sample Take(Operation read, BalanceModel& model) {
    return read == StableRead ? model.Settled() : model.Current();
}

// A value's sign as a character of its own and its digits.
struct SignedNumber {
    char sign = '+';
    QByteArray digits;
};

SignedNumber Signed(const QByteArray& number) {
    if (number.startsWith('-'))
        return {'-', number.mid(1)};
    return {'+', number};
}

// The program's own command set; its lines are those of the model.
class DefaultDialect : public Dialect {
public:
    DefaultDialect() : Dialect("default", Commands) {}

    QByteArray Reply(Operation operation, BalanceModel& model) const override {
        switch (operation) {
        case StableRead:
            return model.StableReply();
        case ImmediateRead:
            return model.ImmediateReply();
        case Tare:
            return BalanceModel::TareAcknowledgement();
        case ContinuousOn:
            return BalanceModel::ContinuousOnAcknowledgement();
        case ContinuousOff:
            return BalanceModel::ContinuousOffAcknowledgement();
        default:
            return {};
        }
    }
    QByteArray SyntaxError() const override { return BalanceModel::ErrorReply(); }

protected:
    // The format has no overload or busy reply of its own.
    QByteArray FaultReply(Condition, Operation, const BalanceModel&) const override {
        return SyntaxError();
    }

private:
    static constexpr DialectCommand Commands[] = {
        {"S", StableRead},    {"SI", ImmediateRead}, {"T", Tare},
        {"C1", ContinuousOn}, {"C0", ContinuousOff},
    };
};

// "S S     100.00 g": a status word after the command's name, the value
// right-aligned in 10, the unit as it is.
class SicsDialect : public Dialect {
public:
    SicsDialect() : Dialect("sics", Commands) {}

    QByteArray Reply(Operation operation, BalanceModel& model) const override {
        switch (operation) {
        case StableRead:
        case ImmediateRead: {
            const auto sample = Take(operation, model);
            return Reading(sample.stable ? "S S" : "S D", sample.value, model);
        }
        case Tare:
            return Reading("T S", model.Mass(), model);
        case Zero:
            return Line("Z A");
        case ZeroImmediately:
            return Line(model.IsStable() ? "ZI S" : "ZI D");
        case ContinuousOff: // "@" resets the balance, which then identifies itself
        case SerialNumber:
            return Line("I4 A \"B021002593\"");
        case ModelName:
            return Line("I2 A \"XS205DU 220.00000 g\"");
        default:
            return {};
        }
    }
    QByteArray SyntaxError() const override { return Line("ES"); }

protected:
    bool Refuses(Operation operation) const override {
        return IsRead(operation) || operation == Tare || operation == Zero ||
               operation == ZeroImmediately;
    }
    QByteArray FaultReply(Condition condition, Operation operation,
                          const BalanceModel&) const override {
        // The balance's own error stands in the value field of the reply.
        if (condition == Condition::Fault)
            return Line(Prefix(operation) + " S  Error 10b");
        const char* status = condition == Condition::Overload    ? " +"
                             : condition == Condition::Underload ? " -"
                                                                 : " I";
        return Line(Prefix(operation) + status);
    }

private:
    static QByteArray Prefix(Operation operation) {
        switch (operation) {
        case Tare:
            return "T";
        case Zero:
            return "Z";
        case ZeroImmediately:
            return "ZI";
        default:
            return "S";
        }
    }
    static QByteArray Reading(const QByteArray& header, double value, const BalanceModel& model) {
        return Line(header + ' ' + model.Number(value).rightJustified(10, ' ') + ' ' +
                    model.DisplayUnit());
    }

    static constexpr DialectCommand Commands[] = {
        {"S", StableRead},    {"SI", ImmediateRead}, {"SIR", ContinuousOn},
        {"T", Tare},          {"Z", Zero},           {"ZI", ZeroImmediately},
        {"@", ContinuousOff}, {"I4", SerialNumber},  {"I2", ModelName},
    };
};

// ESC commands; "+   123.56 g  ": sign, blank, value of 8, blank, unit of 3
// that stays blank while the pan is unstable. The balance prints what it
// shows, so ESC P is both reads; it answers nothing it does not know.
class SbiDialect : public Dialect {
public:
    SbiDialect() : Dialect("sbi", Commands) {}

    QByteArray Reply(Operation operation, BalanceModel& model) const override {
        switch (operation) {
        case ImmediateRead: {
            const auto sample = model.Current();
            const SignedNumber number = Signed(model.Number(sample.value));
            const QByteArray unit = sample.stable ? model.DisplayUnit() : QByteArray();
            return Line(number.sign + QByteArray(" ") + number.digits.rightJustified(8, ' ') + ' ' +
                        unit.leftJustified(3, ' '));
        }
        case ModelName:
            return Line("SECURA225D-1S");
        case SerialNumber:
            return Line("0038504321");
        default:
            return {};
        }
    }
    QByteArray SyntaxError() const override { return {}; }

protected:
    QByteArray FaultReply(Condition condition, Operation,
                          const BalanceModel& model) const override {
        // 16 characters: the status from position 7, without "Stat".
        if (model.HasForm("short"))
            return Line(QByteArray(6, ' ') + (condition == Condition::Overload    ? "H       "
                                              : condition == Condition::Underload ? "L       "
                                              : condition == Condition::Fault     ? "Err 123 "
                                                                                  : "-- ---- "));
        // Newer models: the words, and the error in capitals.
        if (model.HasForm("words"))
            return Line(condition == Condition::Overload    ? "Stat    High          "
                        : condition == Condition::Underload ? "Stat    Low           "
                        : condition == Condition::Fault     ? "Stat     ERR 123    "
                                                            : "Stat   ----");
        return Line(condition == Condition::Overload    ? "Stat  H"
                    : condition == Condition::Underload ? "Stat  L"
                    : condition == Condition::Fault     ? "Stat      Err 123"
                                                        : "Stat   ----");
    }

private:
    static constexpr DialectCommand Commands[] = {
        {"\x1bP", ImmediateRead}, {"\x1bT", Tare},        {"\x1bU", Tare},
        {"\x1bV", Zero},          {"\x1bx1_", ModelName}, {"\x1bx2_", SerialNumber},
    };
};

// "ST,+00123.45  g": header, comma, value of 9 with its sign and leading
// zeros, unit of 3 right-aligned; ACK for what it carries out.
class AdDialect : public Dialect {
public:
    AdDialect() : Dialect("ad", Commands) {}

    QByteArray Reply(Operation operation, BalanceModel& model) const override {
        switch (operation) {
        case StableRead:
        case ImmediateRead: {
            const auto sample = Take(operation, model);
            const SignedNumber number = Signed(model.Number(sample.value));
            return Line(QByteArray(sample.stable ? "ST," : "US,") + number.sign +
                        number.digits.rightJustified(8, '0') + Unit(model));
        }
        case Tare:
        case Zero:
        case ContinuousOff:
            // With "AK, error code" (erCd) at 0 nothing is acknowledged.
            if (model.HasForm("noack"))
                return {};
            return Line("\x06");
        case SerialNumber:
            return Line("SN,\"T1234567\"");
        case ModelName:
            return Line("TN,\"FX-120i\"");
        default:
            return {};
        }
    }
    QByteArray SyntaxError() const override { return Line("EC,E01"); }

protected:
    QByteArray FaultReply(Condition condition, Operation, const BalanceModel&) const override {
        if (condition == Condition::Busy || condition == Condition::Fault)
            return Line("EC,E11");
        // The manual's form: a value of all nines with an exponent, no unit.
        return Line(condition == Condition::Overload ? "OL,+9999999E+19" : "OL,-9999999E+19");
    }

private:
    static QByteArray Unit(const BalanceModel& model) {
        return model.DisplayUnit().rightJustified(3, ' ');
    }

    static constexpr DialectCommand Commands[] = {
        {"S", StableRead},     {"Q", ImmediateRead}, {"T", Tare},           {"Z", Zero},
        {"SIR", ContinuousOn}, {"C", ContinuousOff}, {"?SN", SerialNumber}, {"?TN", ModelName},
    };
};

// "    123.45 g": value right-aligned in 10, blank, unit, " ?" behind an
// unstable reading; tare, zero and continuous mode are carried out silently.
class OhausDialect : public Dialect {
public:
    OhausDialect() : Dialect("ohaus", Commands) {}

    QByteArray Reply(Operation operation, BalanceModel& model) const override {
        switch (operation) {
        case StableRead:
        case ImmediateRead: {
            const auto sample = Take(operation, model);
            // A Navigator: unit of 5, the stability mark, the legend.
            if (model.HasForm("legend"))
                return Line(model.Number(sample.value).rightJustified(10, ' ') + ' ' +
                            model.DisplayUnit().leftJustified(5, ' ') + ' ' +
                            (sample.stable ? ' ' : '?') + " NET");
            return Line(model.Number(sample.value).rightJustified(10, ' ') + ' ' +
                        model.DisplayUnit() + (sample.stable ? "" : " ?"));
        }
        case SerialNumber:
            return Line("SN: 8331230456");
        default:
            return {};
        }
    }
    QByteArray SyntaxError() const override { return Line("ES"); }

protected:
    // The format has no overload or busy reply of its own.
    QByteArray FaultReply(Condition, Operation, const BalanceModel&) const override {
        return SyntaxError();
    }

private:
    static constexpr DialectCommand Commands[] = {
        {"SP", StableRead},   {"IP", ImmediateRead}, {"T", Tare},           {"Z", Zero},
        {"CP", ContinuousOn}, {"0P", ContinuousOff}, {"PSN", SerialNumber},
    };
};

const DefaultDialect defaultDialect;
const SicsDialect sicsDialect;
const SbiDialect sbiDialect;
const AdDialect adDialect;
const OhausDialect ohausDialect;

const Dialect* const All[] = {&defaultDialect, &sicsDialect, &sbiDialect, &adDialect,
                              &ohausDialect};

} // namespace

const Dialect* Dialect::Find(QByteArrayView name) {
    for (const Dialect* dialect : All) {
        if (QByteArrayView(dialect->name) == name)
            return dialect;
    }
    return nullptr;
}

const Dialect& Dialect::Default() {
    return defaultDialect;
}

QStringList Dialect::Names() {
    QStringList names;
    for (const Dialect* dialect : All)
        names << QString::fromLatin1(dialect->name);
    return names;
}

std::optional<Operation> Dialect::Lookup(const QByteArray& command) const {
    for (const DialectCommand& entry : commands) {
        if (command == entry.text)
            return entry.operation;
    }
    return std::nullopt;
}

QList<QByteArray> Dialect::SelfEndingCommands() const {
    QList<QByteArray> selfEnding;
    for (const DialectCommand& entry : commands) {
        if (entry.text[0] == '\x1b')
            selfEnding << entry.text;
    }
    return selfEnding;
}

std::optional<QByteArray> Dialect::Refusal(BalanceModel::Condition condition, Operation operation,
                                           const BalanceModel& model) const {
    if (condition == Condition::Normal || !Refuses(operation))
        return std::nullopt;
    return FaultReply(condition, operation, model);
}

} // namespace BalanceSim
