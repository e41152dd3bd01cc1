#include "ReadingOutput.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <gtest/gtest.h>

using Trevalo::FormatReading;
using Trevalo::OutputFormat;
using Trevalo::PrintedReading;

namespace {

const QDateTime when(QDate(2026, 12, 7), QTime(10, 15, 30));

} // namespace

// Each format read back as a script reads it gives the reading again, with
// "." as decimal point even where the desktop writes ",".
TEST(ReadingOutput, EachFormatParsesBack) {
    QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
    const PrintedReading reading{when, -1234.5678, QStringLiteral("g"), false};

    const QStringList text = FormatReading(reading, OutputFormat::Text).split(u' ');
    ASSERT_EQ(text.size(), 5);
    EXPECT_EQ(text[0] + u' ' + text[1], "2026-12-07 10:15:30");
    EXPECT_DOUBLE_EQ(text[2].toDouble(), -1234.5678);
    EXPECT_EQ(text[3], "g");
    EXPECT_EQ(text[4], "unstable");

    const QStringList csv = FormatReading(reading, OutputFormat::Csv).split(u',');
    ASSERT_EQ(csv.size(), Trevalo::CsvHeader().split(u',').size());
    EXPECT_EQ(QDateTime::fromString(csv[0], "yyyy-MM-dd HH:mm:ss"), when);
    EXPECT_DOUBLE_EQ(csv[1].toDouble(), -1234.5678);
    EXPECT_EQ(csv[2], "g");
    EXPECT_EQ(csv[3], "unstable");

    const QJsonObject json =
        QJsonDocument::fromJson(FormatReading(reading, OutputFormat::Json).toUtf8()).object();
    EXPECT_EQ(json.value("time").toString(), "2026-12-07 10:15:30");
    EXPECT_DOUBLE_EQ(json.value("value").toDouble(), -1234.5678);
    EXPECT_EQ(json.value("unit").toString(), "g");
    EXPECT_FALSE(json.value("stable").toBool(true));
    QLocale::setDefault(QLocale::c());
}

// A reading whose stability was not kept says so instead of guessing.
TEST(ReadingOutput, UnknownStability) {
    const PrintedReading reading{when, 3.5, QStringLiteral("%"), std::nullopt};
    EXPECT_TRUE(QJsonDocument::fromJson(FormatReading(reading, OutputFormat::Json).toUtf8())
                    .object()
                    .value("stable")
                    .isNull());
    EXPECT_TRUE(FormatReading(reading, OutputFormat::Csv).endsWith(u','));
    EXPECT_EQ(FormatReading(reading, OutputFormat::Text), "2026-12-07 10:15:30 3.5 %");
}

// Masses keep every digit a balance gives, never in exponent form, in
// every format; a unit that would break a line is quoted.
TEST(ReadingOutput, ValuesAndUnitsKeepTheirLines) {
    const PrintedReading small{when, 0.000012, QStringLiteral("g"), true};
    EXPECT_EQ(FormatReading(small, OutputFormat::Text), "2026-12-07 10:15:30 0.000012 g stable");
    EXPECT_EQ(FormatReading(small, OutputFormat::Json),
              R"({"time":"2026-12-07 10:15:30","value":0.000012,"unit":"g","stable":true})");

    const PrintedReading garbled{when, 1, QStringLiteral("a\"b,"), true};
    EXPECT_EQ(FormatReading(garbled, OutputFormat::Csv), R"(2026-12-07 10:15:30,1,"a""b,",stable)");
    EXPECT_EQ(QJsonDocument::fromJson(FormatReading(garbled, OutputFormat::Json).toUtf8())
                  .object()
                  .value("unit")
                  .toString(),
              "a\"b,");
}

// Every byte of a reply is shown, in one line: control bytes and the
// backslash escaped, bytes above 0x9F as their Latin-1 characters.
TEST(ReadingOutput, RepliesAreShownByteForByte) {
    const std::pair<QByteArray, QString> shown[] = {
        {QByteArray("AB\0CD\r\n", 7), "AB\\x00CD"},
        {QByteArray("\0 12.5 g\r\n", 10), "\\x00 12.5 g"},
        {"\x1b[2J\tx\\y\rz\n", "\\e[2J\\tx\\\\y\\rz"},
        {"\x7f\x85\xa0\xe9", QString("\\x7f\\x85") + QChar(0xa0) + QChar(0xe9)},
        {"\r\n", ""},
    };
    for (const auto& [frame, expected] : shown)
        EXPECT_EQ(Trevalo::ShownReply(frame), expected) << frame.toHex().toStdString();
}
