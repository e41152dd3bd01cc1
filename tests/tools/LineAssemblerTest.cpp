#include "LineAssembler.h"

#include <gtest/gtest.h>

using BalanceSim::LineAssembler;

TEST(LineAssembler, CommandsEndAtCrLfAndMayArriveInPieces) {
    LineAssembler lines;
    EXPECT_TRUE(lines.Feed("S").isEmpty());
    EXPECT_EQ(lines.Feed("I\r"), (QList<QByteArray>{"SI"}));
    EXPECT_TRUE(lines.Feed("\n").isEmpty());
    EXPECT_EQ(lines.Feed("T\r\nC1\r\nC0"), (QList<QByteArray>{"T", "C1"}));
    EXPECT_EQ(lines.Feed("\r\n"), (QList<QByteArray>{"C0"}));
}

TEST(LineAssembler, LoneCrOrLfEndsACommandAndEmptyLinesAreSkipped) {
    LineAssembler lines;
    EXPECT_EQ(lines.Feed("S\rSI\n\r\n\n\rT\r\n"), (QList<QByteArray>{"S", "SI", "T"}));
}

TEST(LineAssembler, KeepsBytesAsTheyAre) {
    LineAssembler lines;
    EXPECT_EQ(lines.Feed("\xf8\x1bZ\r\n"), (QList<QByteArray>{"\xf8\x1bZ"}));
    // A NUL inside a command is an ordinary byte.
    EXPECT_EQ(lines.Feed(QByteArray("A\0B\r\n", 5)), (QList<QByteArray>{QByteArray("A\0B", 3)}));
}

TEST(LineAssembler, OverlongRunBecomesOneCommandAndItsRestIsThrownAway) {
    LineAssembler lines;
    const QByteArray run(LineAssembler::MaxLength * 3, 'x');
    const QList<QByteArray> first = lines.Feed(run);
    ASSERT_EQ(first.size(), 1);
    EXPECT_EQ(first.front(), QByteArray(LineAssembler::MaxLength, 'x'));
    EXPECT_TRUE(lines.Feed("yyyy").isEmpty());
    EXPECT_EQ(lines.Feed("\r\nS\r\n"), (QList<QByteArray>{"S"}));
}

TEST(LineAssembler, SelfEndingCommandsNeedNoLineEnd) {
    LineAssembler lines({"\x1bP", "\x1bx1_"});
    EXPECT_EQ(lines.Feed("\x1bP"), (QList<QByteArray>{"\x1bP"}));
    EXPECT_TRUE(lines.Feed("\r\n\x1bx1").isEmpty());
    EXPECT_EQ(lines.Feed("_\x1bQ\r\n"), (QList<QByteArray>{"\x1bx1_", "\x1bQ"}));
}

TEST(LineAssembler, ClearForgetsAHalfCommand) {
    LineAssembler lines;
    lines.Feed("SI");
    lines.Clear();
    EXPECT_EQ(lines.Feed("T\r\n"), (QList<QByteArray>{"T"}));
}
