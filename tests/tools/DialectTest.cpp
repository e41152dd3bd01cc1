#include "Dialect.h"
#include "BalanceModel.h"
#include "Behaviour.h"
#include "ReplyScript.h"
#include "Session.h"

#include <gtest/gtest.h>

using namespace BalanceSim;
using Condition = BalanceModel::Condition;

namespace {

// One command sent to a balance in a given state, and the bytes it answers.
struct Exchange {
    QByteArray command;
    QByteArray reply;
    bool stable = true;
    Condition condition = Condition::Normal;
    QByteArray unit = "g";
    double mass = 123.45;
    // The balance's output setting.
    QByteArray form = "standard";
};

class Balance {
public:
    explicit Balance(const char* family, double mass = 123.45) : dialect(*Dialect::Find(family)) {
        model.SetDecimals(2);
        model.SetMass(mass);
    }

    QByteArray Send(const QByteArray& bytes) {
        QByteArray all;
        for (const TimedOutput& output : session.Receive(bytes))
            all += output.bytes;
        return all;
    }

    BalanceModel model;
    ReplyScript script;
    Behaviour behaviour;
    const Dialect& dialect;
    Session session{model, script, behaviour, dialect};
};

void ExpectReplies(const char* family, const QList<Exchange>& exchanges) {
    for (const Exchange& e : exchanges) {
        Balance balance(family, e.mass);
        balance.model.SetStable(e.stable);
        balance.model.SetUnit(e.unit);
        balance.model.SetCondition(e.condition, true);
        balance.model.SetForm(e.form);
        EXPECT_EQ(balance.Send(e.command), e.reply)
            << family << " " << e.command.toPercentEncoding().constData() << " stable " << e.stable
            << " condition " << int(e.condition) << " unit " << e.unit.constData();
    }
}

constexpr bool Unstable = false;

} // namespace

TEST(Dialect, DefaultAnswersAsBeforeAndErrorsWhereItHasNoFaultReply) {
    ExpectReplies("default", {
                                 {"S\r\n", "S      123.45 g  \r\n"},
                                 {"SI\r\n", "SI ?    123.45 g  \r\n", Unstable},
                                 {"T\r\n", "ST A\r\n"},
                                 {"Z\r\n", "ES\r\n"},
                                 {"S\r\n", "ES\r\n", true, Condition::Overload},
                                 {"SI\r\n", "ES\r\n", true, Condition::Busy},
                             });
}

TEST(Dialect, SicsRepliesAndStatusWords) {
    ExpectReplies("sics", {
                              {"S\r\n", "S S     123.45 g\r\n", Unstable},
                              {"SI\r\n", "S S     123.45 g\r\n"},
                              {"SI\r\n", "S D     123.45 g\r\n", Unstable},
                              {"S\r\n", "S S      -2.50 mg\r\n", true, {}, "mg", -2.5},
                              {"S\r\n", "S S     123.45 ozt\r\n", true, {}, "ozt"},
                              {"T\r\n", "T S     123.45 g\r\n"},
                              {"Z\r\n", "Z A\r\n"},
                              {"ZI\r\n", "ZI D\r\n", Unstable},
                              {"SIR\r\n", ""},
                              {"I4\r\n", "I4 A \"B021002593\"\r\n"},
                              {"@\r\n", "I4 A \"B021002593\"\r\n"},
                              {"I2\r\n", "I2 A \"XS205DU 220.00000 g\"\r\n"},
                              {"SP\r\n", "ES\r\n"},
                              {"S\r\n", "S +\r\n", true, Condition::Overload},
                              {"SI\r\n", "S -\r\n", true, Condition::Underload},
                              {"S\r\n", "S I\r\n", true, Condition::Busy},
                              {"T\r\n", "T I\r\n", true, Condition::Busy},
                              {"Z\r\n", "Z +\r\n", true, Condition::Overload},
                              {"I4\r\n", "I4 A \"B021002593\"\r\n", true, Condition::Busy},
                          });
}

TEST(Dialect, SbiRepliesToEscapeCommandsWithOrWithoutLineEnd) {
    ExpectReplies("sbi", {
                             {"\x1bP", "+   123.45 g  \r\n"},
                             {"\x1bP\r\n", "+   123.45    \r\n", Unstable},
                             {"\x1bP", "-     5.00 lb \r\n", true, {}, "lb", -5.0},
                             {"\x1bP", "+   123.45 ozt\r\n", true, {}, "ozt"},
                             {"\x1bP", "+   123.45 %  \r\n", true, {}, "%"},
                             {"\x1bT", ""},
                             {"\x1bV\r\n", ""},
                             {"\x1bx1_", "SECURA225D-1S\r\n"},
                             {"\x1bx2_\r\n", "0038504321\r\n"},
                             {"S\r\n", ""},
                             {"\x1bP", "Stat  H\r\n", true, Condition::Overload},
                             {"\x1bP", "Stat  L\r\n", true, Condition::Underload},
                             {"\x1bP", "Stat   ----\r\n", true, Condition::Busy},
                         });
}

TEST(Dialect, AdRepliesAcknowledgementsAndErrorCodes) {
    ExpectReplies("ad", {
                            {"S\r\n", "ST,+00123.45  g\r\n", Unstable},
                            {"Q\r\n", "US,+00123.45  g\r\n", Unstable},
                            {"Q\r\n", "ST,-00001.50 mg\r\n", true, {}, "mg", -1.5},
                            {"S\r\n", "ST,+00123.45 ct\r\n", true, {}, "ct"},
                            {"T\r\n", "\x06\r\n"},
                            {"Z\r\n", "\x06\r\n"},
                            {"C\r\n", "\x06\r\n"},
                            {"SIR\r\n", ""},
                            {"?SN\r\n", "SN,\"T1234567\"\r\n"},
                            {"?TN\r\n", "TN,\"FX-120i\"\r\n"},
                            {"SI\r\n", "EC,E01\r\n"},
                            {"S\r\n", "OL,+9999999E+19\r\n", true, Condition::Overload},
                            {"Q\r\n", "OL,-9999999E+19\r\n", true, Condition::Underload},
                            {"S\r\n", "EC,E11\r\n", true, Condition::Busy},
                        });
}

TEST(Dialect, OhausRepliesAndItsOnlyError) {
    ExpectReplies("ohaus", {
                               {"SP\r\n", "    123.45 g\r\n", Unstable},
                               {"IP\r\n", "    123.45 g ?\r\n", Unstable},
                               {"IP\r\n", "    123.45 lb\r\n", true, {}, "lb"},
                               {"T\r\n", ""},
                               {"Z\r\n", ""},
                               {"CP\r\n", ""},
                               {"0P\r\n", ""},
                               {"PSN\r\n", "SN: 8331230456\r\n"},
                               {"S\r\n", "ES\r\n"},
                               {"SP\r\n", "ES\r\n", true, Condition::Overload},
                               {"IP\r\n", "ES\r\n", true, Condition::Busy},
                           });
}

TEST(Dialect, TareZeroAndContinuousModeTakeEffectInEveryFamily) {
    struct Family {
        const char* name;
        QByteArray tare, zero, read, on, off;
    };
    const Family families[] = {
        {"default", "T", "", "S", "C1", "C0"},      {"sics", "T", "Z", "S", "SIR", "@"},
        {"sbi", "\x1bT", "\x1bV", "\x1bP", "", ""}, {"ad", "T", "Z", "S", "SIR", "C"},
        {"ohaus", "T", "Z", "SP", "CP", "0P"},
    };
    for (const Family& f : families) {
        const QByteArray emptyPan = Balance(f.name, 0.0).Send(f.read + "\r\n");
        for (const QByteArray& command : {f.tare, f.zero}) {
            if (command.isEmpty())
                continue;
            Balance balance(f.name);
            balance.Send(command + "\r\n");
            EXPECT_EQ(balance.Send(f.read + "\r\n"), emptyPan) << f.name << " " << command[0];
        }
        if (f.on.isEmpty())
            continue;
        Balance balance(f.name);
        balance.Send(f.on + "\r\n");
        EXPECT_TRUE(balance.session.IsContinuous()) << f.name;
        balance.model.SetCondition(Condition::Overload, true);
        const auto overload =
            balance.dialect.Refusal(Condition::Overload, Operation::ImmediateRead, balance.model);
        EXPECT_EQ(balance.session.StreamLine(), overload.value_or("(none)")) << f.name;
        balance.Send(f.off + "\r\n");
        EXPECT_FALSE(balance.session.IsContinuous()) << f.name;
    }
}

TEST(Dialect, ConditionsHoldUntilTheirOwnSwitchIsTurnedOff) {
    BalanceModel model;
    model.SetCondition(Condition::Overload, true);
    model.SetCondition(Condition::Busy, true);
    model.SetCondition(Condition::Overload, false);
    EXPECT_EQ(model.CurrentCondition(), Condition::Busy);
    model.SetCondition(Condition::Busy, false);
    EXPECT_EQ(model.CurrentCondition(), Condition::Normal);
}

// The replies of the balances' other output settings, and their own error.
TEST(Dialect, OutputSettingsAndTheBalancesOwnError) {
    ExpectReplies(
        "sbi",
        {
            {"\x1bP", "      H       \r\n", true, Condition::Overload, "g", 1, "short"},
            {"\x1bP", "      L       \r\n", true, Condition::Underload, "g", 1, "short"},
            {"\x1bP", "      Err 123 \r\n", true, Condition::Fault, "g", 1, "short"},
            {"\x1bP", "Stat    High          \r\n", true, Condition::Overload, "g", 1, "words"},
            {"\x1bP", "Stat    Low           \r\n", true, Condition::Underload, "g", 1, "words"},
            {"\x1bP", "Stat     ERR 123    \r\n", true, Condition::Fault, "g", 1, "words"},
            {"\x1bP", "Stat      Err 123\r\n", true, Condition::Fault},
        });
    ExpectReplies("sics", {
                              {"S\r\n", "S S  Error 10b\r\n", true, Condition::Fault},
                              {"SI\r\n", "S S  Error 10b\r\n", true, Condition::Fault},
                          });
    ExpectReplies("ad", {
                            {"T\r\n", "", true, {}, "g", 1, "noack"},
                            {"Z\r\n", "", true, {}, "g", 1, "noack"},
                            {"S\r\n", "ST,+00001.00  g\r\n", true, {}, "g", 1, "noack"},
                            {"S\r\n", "EC,E11\r\n", true, Condition::Fault},
                        });
    ExpectReplies("ohaus",
                  {
                      {"IP\r\n", "     12.73 g       NET\r\n", true, {}, "g", 12.73, "legend"},
                      {"IP\r\n", "     12.73 g     ? NET\r\n", Unstable, {}, "g", 12.73, "legend"},
                  });
}
