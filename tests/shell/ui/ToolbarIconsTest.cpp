#include "ToolbarIcons.h"

#include <QPixmap>
#include <gtest/gtest.h>

using Pomiar::ToolbarIcons;

namespace {

const QStringList ToolbarKeys = {
    "nowa",        "otworz", "zapisz",  "drukuj",     "raport",        "wykres",
    "start",       "stop",   "pauza",   "opcje",      "cykl",          "cykl_on",
    "wykresopcje", "odczyt", "tara",    "rozpocznij", "rozpocznij_on", "stabilny",
    "stabilny_on", "pomoc",  "wyjscie", "connected",  "disconnected"};

int OpaquePixels(const QImage& image) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    int count = 0;
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x)
            count += qAlpha(argb.pixel(x, y)) > 128 ? 1 : 0;
    return count;
}

int DifferentPixels(const QImage& a, const QImage& b) {
    const QImage left = a.convertToFormat(QImage::Format_ARGB32);
    const QImage right = b.convertToFormat(QImage::Format_ARGB32);
    if (left.size() != right.size())
        return left.width() * left.height();
    int count = 0;
    for (int y = 0; y < left.height(); ++y) {
        for (int x = 0; x < left.width(); ++x) {
            const QRgb p = left.pixel(x, y);
            const QRgb q = right.pixel(x, y);
            const int distance = qAbs(qRed(p) - qRed(q)) + qAbs(qGreen(p) - qGreen(q)) +
                                 qAbs(qBlue(p) - qBlue(q)) + qAbs(qAlpha(p) - qAlpha(q));
            count += distance > 60 ? 1 : 0;
        }
    }
    return count;
}

QImage At24(const QString& key) {
    return ToolbarIcons::Icon(key).pixmap(24, 24).toImage();
}

} // namespace

TEST(ToolbarIconsTest, KnowsEveryToolbarKeyAndNothingElse) {
    QStringList known = ToolbarIcons::Keys();
    QStringList expected = ToolbarKeys;
    known.sort();
    expected.sort();
    EXPECT_EQ(known, expected);
    EXPECT_TRUE(ToolbarIcons::Icon("connection").isNull());
    EXPECT_TRUE(ToolbarIcons::Icon("").isNull());
    EXPECT_TRUE(ToolbarIcons::Render("NOWA", 24).isNull());
}

TEST(ToolbarIconsTest, EveryPictureFillsItsSquareAtEverySize) {
    for (const QString& key : ToolbarKeys) {
        SCOPED_TRACE(key.toStdString());
        const QIcon icon = ToolbarIcons::Icon(key);
        ASSERT_FALSE(icon.isNull());
        const QList<QSize> sizes = icon.availableSizes();
        EXPECT_TRUE(sizes.contains(QSize(24, 24)));
        EXPECT_TRUE(sizes.contains(QSize(48, 48)));
        // A blank or nearly blank picture means a drawing routine painted
        // nothing or painted it outside the square.
        EXPECT_GT(OpaquePixels(At24(key)), 24 * 24 / 8);
        EXPECT_GT(OpaquePixels(icon.pixmap(48, 48).toImage()), 48 * 48 / 8);
        // Nothing may be painted over the whole square either.
        EXPECT_LT(OpaquePixels(At24(key)), 24 * 24);
    }
}

TEST(ToolbarIconsTest, HighDensityScreensGetTheLargePicture) {
    const QPixmap pixmap = ToolbarIcons::Icon("zapisz").pixmap(QSize(24, 24), 2.0);
    EXPECT_EQ(pixmap.size(), QSize(48, 48));
    EXPECT_EQ(DifferentPixels(pixmap.toImage(), ToolbarIcons::Render("zapisz", 48)), 0);
}

TEST(ToolbarIconsTest, NoTwoButtonsShareAPicture) {
    for (int i = 0; i < ToolbarKeys.size(); ++i) {
        for (int j = i + 1; j < ToolbarKeys.size(); ++j) {
            SCOPED_TRACE((ToolbarKeys[i] + " / " + ToolbarKeys[j]).toStdString());
            EXPECT_GT(DifferentPixels(At24(ToolbarKeys[i]), At24(ToolbarKeys[j])), 24);
        }
    }
}

TEST(ToolbarIconsTest, SwitchVariantsAreClearlyDifferent) {
    const std::pair<const char*, const char*> pairs[] = {{"cykl", "cykl_on"},
                                                         {"rozpocznij", "rozpocznij_on"},
                                                         {"stabilny", "stabilny_on"},
                                                         {"connected", "disconnected"}};
    for (const auto& [off, on] : pairs) {
        SCOPED_TRACE(off);
        EXPECT_GT(DifferentPixels(At24(off), At24(on)), 40);
    }
}

TEST(ToolbarIconsTest, ImageNumbersNameTheSwitchPictures) {
    const std::pair<int, const char*> images[] = {{12, "cykl"},        {13, "cykl_on"},
                                                  {20, "stabilny_on"}, {21, "rozpocznij"},
                                                  {22, "stabilny"},    {23, "rozpocznij_on"}};
    for (const auto& [number, key] : images) {
        SCOPED_TRACE(number);
        EXPECT_EQ(ToolbarIcons::KeyOfImage(number), QString(key));
        const QIcon image = ToolbarIcons::Image(number);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(DifferentPixels(image.pixmap(24, 24).toImage(), At24(key)), 0);
    }
    for (int number : {0, 11, 14, 19, 24})
        EXPECT_TRUE(ToolbarIcons::Image(number).isNull()) << number;
}

TEST(ToolbarIconsTest, DisabledButtonsLookDisabled) {
    for (const char* key : {"start", "stop", "connected"}) {
        SCOPED_TRACE(key);
        const QIcon icon = ToolbarIcons::Icon(key);
        const QImage normal = icon.pixmap(QSize(24, 24), QIcon::Normal).toImage();
        const QImage disabled = icon.pixmap(QSize(24, 24), QIcon::Disabled).toImage();
        EXPECT_GT(DifferentPixels(normal, disabled), 24);
    }
}
