#include "ToolbarIcons.h"

#include "TestEnvironment.h"
#include "TestFiles.h"

#include <QDir>
#include <QPainter>
#include <QPixmap>
#include <QTemporaryDir>
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

TEST(ToolbarIconsTest, LargePicturesAreDrawnAtTheirSizeNotEnlarged) {
    // An enlarged 24-pixel picture smears every edge over two pixels; drawn
    // at 48 the outlines stay one pixel sharp, so many pixels differ.
    for (const char* key : {"zapisz", "odczyt", "opcje"}) {
        SCOPED_TRACE(key);
        const QImage enlarged = ToolbarIcons::Render(key, 24).scaled(48, 48, Qt::IgnoreAspectRatio,
                                                                     Qt::SmoothTransformation);
        EXPECT_GT(DifferentPixels(ToolbarIcons::Render(key, 48), enlarged), 48);
    }
}

TEST(ToolbarIconsTest, TheDesktopThemeGivesTheCommonCommandsTheirPictures) {
    // A theme of one picture, a plain red square for "document-save".
    QTemporaryDir themes(TestEnvironment::Root() + "/themes-XXXXXX");
    const QString theme = themes.filePath("lab");
    ASSERT_TRUE(QDir().mkpath(theme + "/24x24/actions"));
    TestFiles::WriteFile(theme + "/index.theme",
                         "[Icon Theme]\nName=lab\nDirectories=24x24/actions\n"
                         "\n[24x24/actions]\nSize=24\nType=Fixed\n");
    QImage square(24, 24, QImage::Format_ARGB32);
    square.fill(Qt::red);
    ASSERT_TRUE(square.save(theme + "/24x24/actions/document-save.png"));

    const QStringList searchPaths = QIcon::themeSearchPaths();
    const QString themeName = QIcon::themeName();
    QIcon::setThemeSearchPaths({themes.path()});
    QIcon::setThemeName("lab");
    const QImage themed = At24("zapisz");
    // The balance's own commands have no themed picture.
    const QImage own = At24("odczyt");
    QIcon::setThemeName(themeName);
    QIcon::setThemeSearchPaths(searchPaths);

    EXPECT_EQ(DifferentPixels(themed, square), 0);
    EXPECT_EQ(DifferentPixels(own, ToolbarIcons::Render("odczyt", 24)), 0);
    // Without the theme the program's own picture is back.
    EXPECT_EQ(DifferentPixels(At24("zapisz"), ToolbarIcons::Render("zapisz", 24)), 0);
}

TEST(ToolbarIconsTest, ApplicationIconIsThereAtMenuSizes) {
    const QIcon icon = ToolbarIcons::ApplicationIcon();
    ASSERT_FALSE(icon.isNull());
    for (int size : {16, 48, 128}) {
        SCOPED_TRACE(size);
        const QImage image = icon.pixmap(size, size).toImage();
        EXPECT_EQ(image.size(), QSize(size, size));
        EXPECT_GT(OpaquePixels(image), size * size / 4);
    }
}
