#include "OutputQueue.h"

#include <gtest/gtest.h>

using BalanceSim::OutputQueue;

TEST(OutputQueue, ReleasesBytesWhenDue) {
    OutputQueue queue;
    EXPECT_FALSE(queue.NextDue());
    queue.Push(1000, 200, "late");
    EXPECT_EQ(queue.NextDue(), 1200);
    EXPECT_TRUE(queue.TakeDue(1199).isEmpty());
    EXPECT_EQ(queue.TakeDue(1200), "late");
    EXPECT_TRUE(queue.IsEmpty());
}

TEST(OutputQueue, LaterBytesNeverOvertakeADelayedReply) {
    OutputQueue queue;
    queue.Push(0, 500, "reply\r\n");
    queue.Push(100, 0, "stream\r\n");
    EXPECT_TRUE(queue.TakeDue(300).isEmpty());
    EXPECT_EQ(queue.TakeDue(500), "reply\r\nstream\r\n");
}

TEST(OutputQueue, TakesOnlyWhatIsDueAndKeepsTheRest) {
    OutputQueue queue;
    queue.Push(0, 0, "first ");
    queue.Push(0, 100, "second");
    EXPECT_EQ(queue.TakeDue(50), "first ");
    EXPECT_EQ(queue.NextDue(), 100);
    queue.Clear();
    EXPECT_TRUE(queue.TakeDue(1000).isEmpty());
}
