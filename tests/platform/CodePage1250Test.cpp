#include "CodePage1250.h"

#include <gtest/gtest.h>

using namespace Pomiar;

TEST(CodePage1250, PolishLettersRoundTrip) {
    const QString polish = QString::fromUtf8("Zażółć gęślą jaźń ZAŻÓŁĆ GĘŚLĄ JAŹŃ");
    const QByteArray bytes = CodePage1250::Encode(polish);
    EXPECT_EQ(bytes.size(), polish.size());
    // A few bytes of the code page itself: ż, ó, ł, ś, Ą.
    EXPECT_EQ(bytes.mid(2, 4), QByteArray("\xBF\xF3\xB3\xE6"));
    EXPECT_EQ(CodePage1250::Encode(QString::fromUtf8("Ą")), QByteArray("\xA5"));
    EXPECT_EQ(CodePage1250::Decode(bytes), polish);
}

TEST(CodePage1250, EveryByteSurvivesARoundTrip) {
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(static_cast<char>(b));
    EXPECT_EQ(CodePage1250::Encode(CodePage1250::Decode(all)), all);
    // The degree sign of instrument printouts.
    EXPECT_EQ(CodePage1250::Decode("\xB0"), QString(QChar(0x00B0)));
}

TEST(CodePage1250, CharactersOutsideTheCodePageBecomeQuestionMarks) {
    EXPECT_EQ(CodePage1250::Encode(QString::fromUtf8("a€ø中")), QByteArray("a\x80??"));
}
