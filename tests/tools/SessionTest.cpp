#include "Session.h"
#include "BalanceModel.h"
#include "Behaviour.h"
#include "ReplyScript.h"

#include <gtest/gtest.h>

using namespace BalanceSim;

namespace {

class SessionTest : public ::testing::Test {
protected:
    SessionTest() { model.SetMass(12.3456); }

    QByteArray Replies(const QByteArray& received) {
        QByteArray all;
        for (const TimedOutput& output : session.Receive(received))
            all += output.bytes;
        return all;
    }

    BalanceModel model;
    ReplyScript script;
    Behaviour behaviour;
    Session session{model, script, behaviour};
};

} // namespace

TEST_F(SessionTest, AnswersTheInstrumentCommands) {
    EXPECT_EQ(Replies("S\r\n"), "S     12.3456 g  \r\n");
    EXPECT_EQ(Replies("SI\r\n"), "SI     12.3456 g  \r\n");
    EXPECT_EQ(Replies("T\r\n"), "ST A\r\n");
    EXPECT_EQ(Replies("S\r\n"), "S      0.0000 g  \r\n");
}

TEST_F(SessionTest, AnythingElseIsAnError) {
    for (const char* command : {"s", "X", "S I", "SII", "C2", "T1"})
        EXPECT_EQ(Replies(QByteArray(command) + "\r\n"), "ES\r\n") << command;
}

TEST_F(SessionTest, ContinuousTransmissionIsSwitchedAndAcknowledged) {
    EXPECT_FALSE(session.IsContinuous());
    EXPECT_EQ(Replies("C1\r\n"), "C1\r\n");
    EXPECT_TRUE(session.IsContinuous());
    EXPECT_EQ(session.StreamLine(), "SI     12.3456 g  \r\n");
    EXPECT_EQ(Replies("C0\r\n"), "C0\r\n");
    EXPECT_FALSE(session.IsContinuous());
}

TEST_F(SessionTest, EachSessionKeepsItsOwnContinuousState) {
    Session other(model, script, behaviour);
    Replies("C1\r\n");
    EXPECT_FALSE(other.IsContinuous());
}

TEST_F(SessionTest, SeveralCommandsInOneChunkAreAnsweredInOrder) {
    const QList<TimedOutput> outputs = session.Receive("SI\r\nT\r\nS");
    ASSERT_EQ(outputs.size(), 2);
    EXPECT_EQ(outputs[0].bytes, "SI     12.3456 g  \r\n");
    EXPECT_EQ(outputs[1].bytes, "ST A\r\n");
    EXPECT_EQ(Replies("\r\n"), "S      0.0000 g  \r\n");
}

TEST_F(SessionTest, NoReplyIgnoresCommandsAltogether) {
    behaviour.noReply = true;
    EXPECT_TRUE(session.Receive("S\r\nC1\r\nT\r\n").isEmpty());
    EXPECT_FALSE(session.IsContinuous());
    behaviour.noReply = false;
    EXPECT_EQ(Replies("S\r\n"), "S     12.3456 g  \r\n");
}

TEST_F(SessionTest, DelayPostponesEveryReply) {
    behaviour.delayMs = 750;
    EXPECT_EQ(session.Receive("S\r\n"), (QList<TimedOutput>{{750, "S     12.3456 g  \r\n"}}));
}

TEST_F(SessionTest, SplitSendsTwoPiecesThatMakeTheReplyAfterAPause) {
    behaviour.split = true;
    behaviour.splitPauseMs = 300;
    behaviour.delayMs = 100;
    const QList<TimedOutput> outputs = session.Receive("S\r\n");
    ASSERT_EQ(outputs.size(), 2);
    EXPECT_EQ(outputs[0].afterMs, 100);
    EXPECT_EQ(outputs[1].afterMs, 400);
    EXPECT_FALSE(outputs[0].bytes.isEmpty());
    EXPECT_FALSE(outputs[0].bytes.contains("\r\n"));
    EXPECT_EQ(outputs[0].bytes + outputs[1].bytes, "S     12.3456 g  \r\n");
}

TEST_F(SessionTest, ScriptedRepliesReplaceTheInstrumentsOwnInTurn) {
    ASSERT_TRUE(script.Parse("S => first\\r\\n\nS => second\\r\\n\nZ =>\n"));
    EXPECT_EQ(Replies("S\r\n"), "first\r\n");
    EXPECT_EQ(Replies("S\r\n"), "second\r\n");
    EXPECT_EQ(Replies("S\r\n"), "first\r\n");
    // An empty scripted reply is silence, not an error.
    EXPECT_TRUE(session.Receive("Z\r\n").isEmpty());
    // Commands the script does not name keep their own answers.
    EXPECT_EQ(Replies("SI\r\n"), "SI     12.3456 g  \r\n");
}

TEST_F(SessionTest, ScriptedCommandHasNoBuiltInEffect) {
    ASSERT_TRUE(script.Parse("C1 => ES\\r\\n\nT => T A\\r\\n\n"));
    EXPECT_EQ(Replies("C1\r\n"), "ES\r\n");
    EXPECT_FALSE(session.IsContinuous());
    EXPECT_EQ(Replies("T\r\n"), "T A\r\n");
    EXPECT_EQ(Replies("S\r\n"), "S     12.3456 g  \r\n");
}
