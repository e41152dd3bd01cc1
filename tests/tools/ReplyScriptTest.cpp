#include "ReplyScript.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using BalanceSim::ReplyScript;

TEST(ReplyScript, UnknownCommandsAreNotScripted) {
    ReplyScript script;
    EXPECT_TRUE(script.IsEmpty());
    ASSERT_TRUE(script.Parse("S => x\n"));
    EXPECT_FALSE(script.IsEmpty());
    EXPECT_FALSE(script.Take("SI"));
    EXPECT_FALSE(script.Take("s"));
}

TEST(ReplyScript, RepliesKeepTheirBlanksAndDecodeEscapes) {
    ReplyScript script;
    ASSERT_TRUE(script.Parse("SI =>    12.5 g \\r\\n\n  T   => \\x1bC\\r\\n\n"));
    EXPECT_EQ(script.Take("SI"), QByteArray("   12.5 g \r\n"));
    EXPECT_EQ(script.Take("T"), QByteArray("\x1b"
                                           "C\r\n"));
}

TEST(ReplyScript, SkipsCommentsBlankLinesAndCarriageReturns) {
    ReplyScript script;
    ASSERT_TRUE(script.Parse("# exchanges\r\n\r\n   \r\nS => a\r\n  # indented note\nS => b\r\n"));
    EXPECT_EQ(script.Take("S"), QByteArray("a"));
    EXPECT_EQ(script.Take("S"), QByteArray("b"));
    EXPECT_EQ(script.Take("S"), QByteArray("a"));
}

TEST(ReplyScript, NothingAfterTheArrowScriptsSilence) {
    ReplyScript script;
    ASSERT_TRUE(script.Parse("S =>\nT => \n"));
    EXPECT_EQ(script.Take("S"), QByteArray());
    EXPECT_EQ(script.Take("T"), QByteArray());
}

TEST(ReplyScript, CommandsMayUseEscapes) {
    ReplyScript script;
    ASSERT_TRUE(script.Parse("\\xf8X => deg\n"));
    EXPECT_EQ(script.Take("\xf8X"), QByteArray("deg"));
}

TEST(ReplyScript, ErrorsNameTheLineAndKeepTheOldScript) {
    ReplyScript script;
    ASSERT_TRUE(script.Parse("S => old\n"));
    const struct {
        const char* text;
        const char* line;
    } cases[] = {
        {"S => a\nno arrow here\n", "line 2:"},
        {"S => a\n\nS =>b\n", "line 3:"},
        {"  => a\n", "line 1:"},
        {"S => \\q\n", "line 1:"},
        {"# c\n\\x4 => a\n", "line 2:"},
    };
    for (const auto& c : cases) {
        QString why;
        EXPECT_FALSE(script.Parse(c.text, &why)) << c.text;
        EXPECT_TRUE(why.startsWith(QLatin1String(c.line))) << qPrintable(why);
    }
    EXPECT_EQ(script.Take("S"), QByteArray("old"));
}

TEST(ReplyScript, LoadsAFileAndReportsAMissingOne) {
    QTemporaryDir dir;
    const QString path = dir.filePath("exchanges.txt");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("S => S     12.3456 g  \\r\\n\n");
    file.close();
    ReplyScript script;
    ASSERT_TRUE(script.Load(path));
    EXPECT_EQ(script.Take("S"), QByteArray("S     12.3456 g  \r\n"));

    QString why;
    EXPECT_FALSE(script.Load(dir.filePath("missing.txt"), &why));
    EXPECT_TRUE(why.contains("missing.txt"));
    EXPECT_EQ(script.Take("S"), QByteArray("S     12.3456 g  \r\n"));
}
