#include <Mordal/LineFormat.h>

#include <QSet>
#include <gtest/gtest.h>

using Mordal::LineFormat;
using Parity = Mordal::LineFormat::Parity;

TEST(LineFormatText, EveryOfferedFormatComesBackFromItsText) {
    const QList<LineFormat> all = LineFormat::All();
    ASSERT_EQ(all.size(), 12);
    EXPECT_EQ(all.first().Text(), "8N1");
    QSet<QString> texts;
    for (const LineFormat& format : all) {
        texts.insert(format.Text());
        EXPECT_EQ(LineFormat::FromText(format.Text()), format) << format.Text().toStdString();
    }
    EXPECT_EQ(texts.size(), 12);
}

TEST(LineFormatText, ReadsOnlyTheShortForm) {
    const struct {
        const char* text;
        std::optional<LineFormat> format;
    } cases[] = {
        {"7o1", LineFormat{7, Parity::Odd, 1}},
        {" 8E2 ", LineFormat{8, Parity::Even, 2}},
        {"", std::nullopt},
        {"8N", std::nullopt},
        {"8N11", std::nullopt},
        {"9N1", std::nullopt},
        {"6N1", std::nullopt},
        {"8M1", std::nullopt},
        {"8N3", std::nullopt},
        {"8 N1", std::nullopt},
        {"\xEF\xBC\x98N1", std::nullopt}, // a full-width 8
    };
    for (const auto& [text, format] : cases)
        EXPECT_EQ(LineFormat::FromText(QString::fromUtf8(text)), format) << text;
}
