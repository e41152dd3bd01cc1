#include "EscapeText.h"

#include <gtest/gtest.h>

using BalanceSim::EscapeText;

TEST(EscapeText, DecodesEveryEscapeAndLeavesOtherBytesAlone) {
    const auto decoded = EscapeText::Decode(R"(a\r\n\t\e\\\x41\xf8\xF8 z)");
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, QByteArray("a\r\n\t\x1b\\A\xf8\xf8 z"));
}

TEST(EscapeText, RejectsBrokenEscapesWithAReason) {
    for (const char* text : {R"(\q)", "tail\\", R"(\x4)", R"(\xZ1)", R"(\x)"}) {
        QString why;
        EXPECT_FALSE(EscapeText::Decode(text, &why)) << text;
        EXPECT_FALSE(why.isEmpty()) << text;
    }
}

TEST(EscapeText, EncodeIsUndoneByDecodeForEveryByte) {
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(char(i));
    const QByteArray encoded = EscapeText::Encode(all);
    for (const char c : encoded) {
        EXPECT_GE(c, ' ');
        EXPECT_LE(c, '~');
    }
    const auto decoded = EscapeText::Decode(encoded);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, all);
}
