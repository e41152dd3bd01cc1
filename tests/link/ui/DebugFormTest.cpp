#include "DebugForm.h"

#include <QFontMetrics>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <gtest/gtest.h>

using Pomiar::DebugForm;

namespace {

QStringList Lines(const DebugForm& form) {
    QStringList lines = form.Text1->toPlainText().split(QLatin1Char('\n'));
    // The box ends every line with a break, so the last piece is empty.
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

TEST(DebugFormLine, TimeHundredthsLabelAndVisibleLineEnds) {
    EXPECT_EQ(DebugForm::FormatLine(QTime(10, 15, 30, 250), "12.5 g\r\n", "IN "),
              "10:15:30.25 (IN ): 12.5 g[CRLF]\r\n");
    EXPECT_EQ(DebugForm::FormatLine(QTime(9, 5, 7, 50), "S\r\n", "OUT"),
              "09:05:07.05 (OUT): S[CRLF]\r\n");
    // Hundredths are cut, not rounded, so they never run into the next second.
    EXPECT_EQ(DebugForm::FormatLine(QTime(23, 59, 59, 999), "", "OUT"), "23:59:59.99 (OUT): \r\n");
    EXPECT_EQ(DebugForm::FormatLine(QTime(0, 0, 0, 0), "a\r\nb\r\n", "IN "),
              "00:00:00.00 (IN ): a[CRLF]b[CRLF]\r\n");
}

class DebugFormWindow : public ::testing::Test {
protected:
    DebugFormWindow() {
        form.SetClock([] { return QTime(10, 15, 30, 250); });
    }
    DebugForm form;
};

TEST_F(DebugFormWindow, IsAReadOnlyFixedPitchTrafficWindow) {
    EXPECT_EQ(form.windowTitle(), "Stream Preview");
    EXPECT_TRUE(form.isWindow());
    ASSERT_EQ(form.findChild<QPlainTextEdit*>("Text1"), form.Text1);
    EXPECT_TRUE(form.Text1->isReadOnly());
    // Fixed pitch as drawn (a font may lack the flag that says so).
    const QFontMetrics metrics(form.Text1->font());
    EXPECT_EQ(metrics.horizontalAdvance('i'), metrics.horizontalAdvance('W'));

    form.show();
    form.resize(500, 300);
    EXPECT_EQ(form.Text1->width(), 500);
    EXPECT_GT(form.Text1->y(), 0);
    EXPECT_EQ(form.Text1->geometry().bottom(), form.rect().bottom());
}

TEST_F(DebugFormWindow, AppendsAndSelectsOneLinePerCall) {
    form.DebugText("12.5 g\r\n", "IN ");
    form.DebugText("SI\r\n", "OUT");
    EXPECT_EQ(form.Text1->toPlainText(),
              "10:15:30.25 (IN ): 12.5 g[CRLF]\n10:15:30.25 (OUT): SI[CRLF]\n");
    EXPECT_EQ(form.Text1->textCursor().selectedText(), "10:15:30.25 (OUT): SI[CRLF]");
}

TEST_F(DebugFormWindow, LoneLineBreaksDoNotSplitTheLine) {
    form.DebugText("a\nb\rc", "IN ");
    EXPECT_EQ(Lines(form), QStringList({"10:15:30.25 (IN ): a[LF]b[CR]c"}));
}

TEST_F(DebugFormWindow, EmptiesAfterAThousandAndOneLines) {
    for (int call = 1; call <= 1001; ++call)
        form.DebugText(QString::number(call), "IN ");
    QStringList lines = Lines(form);
    ASSERT_EQ(lines.size(), 1001);
    EXPECT_EQ(lines.first(), "10:15:30.25 (IN ): 1");
    EXPECT_EQ(lines.last(), "10:15:30.25 (IN ): 1001");

    form.DebugText("1002", "IN ");
    EXPECT_EQ(Lines(form), QStringList({"10:15:30.25 (IN ): 1002"}));

    for (int call = 1003; call <= 2002; ++call)
        form.DebugText(QString::number(call), "IN ");
    lines = Lines(form);
    EXPECT_EQ(lines.size(), 1001);
    EXPECT_EQ(lines.last(), "10:15:30.25 (IN ): 2002");
}

TEST_F(DebugFormWindow, OpeningEmptiesTheBoxAndBothEndsAreReported) {
    int opened = 0;
    int closed = 0;
    QObject::connect(&form, &DebugForm::Opened, [&] { ++opened; });
    QObject::connect(&form, &DebugForm::Closed, [&] { ++closed; });

    form.DebugText("before", "IN ");
    form.show();
    EXPECT_EQ(opened, 1);
    EXPECT_TRUE(form.IsOpen());
    EXPECT_TRUE(form.Text1->toPlainText().isEmpty());

    form.DebugText("while open", "IN ");
    form.close();
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(form.IsOpen());

    form.show();
    EXPECT_EQ(opened, 2);
    EXPECT_TRUE(form.Text1->toPlainText().isEmpty());
}

TEST(DebugFormLifetime, DestroyedWhileOpenReportsClosed) {
    bool showing = false;
    {
        DebugForm form;
        QObject::connect(&form, &DebugForm::Opened, [&] { showing = true; });
        QObject::connect(&form, &DebugForm::Closed, [&] { showing = false; });
        form.show();
        EXPECT_TRUE(showing);
    }
    EXPECT_FALSE(showing);
}
