#include <Mordal/LineFormat.h>

#include <QSet>
#include <gtest/gtest.h>

using Mordal::LineFormat;
using Parity = Mordal::LineFormat::Parity;

TEST(LineFormatText, EveryOfferedFormatComesBackFromItsText) {
    const QList<LineFormat> all = LineFormat::All();
    ASSERT_EQ(all.size(), 12);
    EXPECT_EQ(all.first(), LineFormat{});
    EXPECT_EQ(all.first().Text(), "8N1");
    QSet<QString> texts;
    for (const LineFormat& format : all) {
        texts.insert(format.Text());
        EXPECT_EQ(LineFormat::FromText(format.Text()), format) << format.Text().toStdString();
    }
    EXPECT_EQ(texts.size(), 12);
}

TEST(LineFormatText, ReadsTheShortFormInEitherCase) {
    const struct {
        const char* text;
        LineFormat format;
    } cases[] = {
        {"8N1", {8, Parity::None, 1}}, {"7E1", {7, Parity::Even, 1}},
        {"7o1", {7, Parity::Odd, 1}},  {" 8E2 ", {8, Parity::Even, 2}},
        {"7n2", {7, Parity::None, 2}},
    };
    for (const auto& [text, format] : cases) {
        const auto read = LineFormat::FromText(QString::fromUtf8(text));
        ASSERT_TRUE(read) << text;
        EXPECT_EQ(*read, format) << text;
    }
}

TEST(LineFormatText, AnythingElseIsNoFormat) {
    for (const char* text : {"", "8N", "8N11", "9N1", "6N1", "5N1", "8M1", "8S1", "8X1", "8N0",
                             "8N3", "N81", "8 N1", "8-N-1", "\xEF\xBC\x98N1"})
        EXPECT_FALSE(LineFormat::FromText(QString::fromUtf8(text))) << text;
}
