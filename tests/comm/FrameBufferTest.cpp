#include "FrameBuffer.h"

#include <gtest/gtest.h>

#include <vector>

using Mordal::FrameBuffer;

namespace {

QByteArray Reading(int i) {
    return "+ " + QByteArray::number(100000 + i).rightJustified(8, ' ') + " g\r\n";
}

std::vector<QByteArray> TakeAll(FrameBuffer& buffer) {
    std::vector<QByteArray> taken;
    while (buffer.CompleteFrames() > 0) {
        taken.push_back(buffer.Front());
        buffer.DropFront();
    }
    return taken;
}

} // namespace

TEST(FrameBuffer, ABacklogFarBeyondTheTailBoundKeepsEveryFrameWhole) {
    FrameBuffer buffer;
    QByteArray backlog;
    for (int i = 0; i < 20000; ++i)
        backlog += Reading(i);
    ASSERT_GT(backlog.size(), 4 * FrameBuffer::TailLimit);
    buffer.Append(backlog);
    EXPECT_EQ(buffer.CompleteFrames(), 20000);
    const auto frames = TakeAll(buffer);
    ASSERT_EQ(frames.size(), 20000u);
    for (int i = 0; i < 20000; ++i)
        ASSERT_EQ(frames[i], Reading(i)) << "frame " << i;
    EXPECT_EQ(buffer.Size(), 0);
}

TEST(FrameBuffer, OnlyTheUnfinishedRestIsBoundedAndFramesBeforeItSurvive) {
    FrameBuffer buffer;
    buffer.Append(Reading(1) + Reading(2));
    QByteArray garbage;
    for (int i = 0; garbage.size() < FrameBuffer::TailLimit + 5000; ++i)
        garbage += QByteArray::number(i) + ' ';
    buffer.Append(garbage.left(3000));
    buffer.Append(garbage.mid(3000));
    EXPECT_EQ(buffer.Size(), 2 * Reading(1).size() + FrameBuffer::TailLimit);
    EXPECT_EQ(buffer.Front(), Reading(1));
    buffer.DropFront();
    EXPECT_EQ(buffer.Front(), Reading(2));
    buffer.DropFront();
    EXPECT_EQ(buffer.Peek(), garbage.right(FrameBuffer::TailLimit));
    // A marker turns the kept newest part into one frame.
    buffer.Append("\r\n");
    EXPECT_EQ(buffer.Front(), garbage.right(FrameBuffer::TailLimit) + "\r\n");
}

TEST(FrameBuffer, MarkersSplitAcrossArrivalsAreFound) {
    FrameBuffer buffer(QByteArrayLiteral("\r\n"));
    buffer.Append("12.5 g\r");
    EXPECT_EQ(buffer.CompleteFrames(), 0);
    buffer.Append("\n13");
    EXPECT_EQ(buffer.CompleteFrames(), 1);
    EXPECT_EQ(buffer.Front(), "12.5 g\r\n");
    buffer.DropFront();
    EXPECT_EQ(buffer.Peek(), "13");

    FrameBuffer longMarker(QByteArrayLiteral("<END>"));
    for (const char* piece : {"A<E", "N", "D><", "END", ">"})
        longMarker.Append(piece);
    EXPECT_EQ(longMarker.CompleteFrames(), 2);
    EXPECT_EQ(longMarker.Front(), "A<END>");
    longMarker.DropFront();
    EXPECT_EQ(longMarker.Front(), "<END>");
}

TEST(FrameBuffer, ALoneMarkerWaitsUntilSomethingFollows) {
    FrameBuffer buffer;
    buffer.Append("\r\n");
    EXPECT_EQ(buffer.CompleteFrames(), 0);
    buffer.Append("1");
    EXPECT_EQ(buffer.CompleteFrames(), 1);
    EXPECT_EQ(buffer.Front(), "\r\n");
}

TEST(FrameBuffer, TakingTheRestAfterManyFramesStartsAfresh) {
    FrameBuffer buffer;
    QByteArray many;
    for (int i = 0; i < 10000; ++i)
        many += Reading(i);
    buffer.Append(many + "partial");
    for (int i = 0; i < 9000; ++i)
        buffer.DropFront();
    EXPECT_EQ(buffer.CompleteFrames(), 1000);
    EXPECT_EQ(buffer.Front(), Reading(9000));
    EXPECT_EQ(buffer.TakeAll(), many.right(1000 * Reading(0).size()) + "partial");
    EXPECT_EQ(buffer.Size(), 0);
    buffer.Append(Reading(7) + "x");
    EXPECT_EQ(buffer.CompleteFrames(), 1);
    EXPECT_EQ(buffer.Front(), Reading(7));
}
