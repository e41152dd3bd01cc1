#include "LineFormat.h"

#include <gtest/gtest.h>

using BalanceSim::LineFormat;

TEST(LineFormat, SevenDataBitsCarryTheirParityInBitSevenAndReceiveSevenBits) {
    struct Case {
        const char* format;
        char sent;
        char onWire;
        char received;
    };
    // 'S' has four bits set, 'T' three.
    const Case cases[] = {
        {"7E1", 'S', 'S', 'S'},        {"7E1", 'T', char(0xd4), 'T'},
        {"7O1", 'S', char(0xd3), 'S'}, {"7o2", 'T', 'T', 'T'},
        {"7N1", char(0xc1), 'A', 'A'}, {"8E1", char(0xc1), char(0xc1), char(0xc1)},
        {"8N1", 'T', 'T', char(0xd4)},
    };
    for (const Case& c : cases) {
        const auto format = LineFormat::Parse(QString::fromLatin1(c.format));
        ASSERT_TRUE(format) << c.format;
        EXPECT_EQ(format->Outgoing(QByteArray(1, c.sent)), QByteArray(1, c.onWire)) << c.format;
        const char incoming = c.format[0] == '7' ? char(c.onWire | 0x80) : c.received;
        EXPECT_EQ(format->Incoming(QByteArray(1, incoming)), QByteArray(1, c.received)) << c.format;
    }
}

TEST(LineFormat, ParsesTheFormatAndRejectsOthers) {
    const auto format = LineFormat::Parse("7O2");
    ASSERT_TRUE(format);
    EXPECT_EQ(format->DataBits(), 7);
    EXPECT_EQ(format->ParityKind(), LineFormat::Parity::Odd);
    EXPECT_EQ(format->StopBits(), 2);
    for (const char* text : {"", "8N", "9N1", "6E1", "7X1", "7E3", "8N1 ", "7E1x"})
        EXPECT_FALSE(LineFormat::Parse(QString::fromLatin1(text))) << text;
}
