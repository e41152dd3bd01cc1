#include "ToolbarIcons.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

#include <utility>

namespace Pomiar {

namespace {

struct Picture {
    const char* key;
    // The name of the same command in the freedesktop icon naming rules, or
    // nullptr where the rules have none (the balance's own commands).
    const char* themeName;
};

constexpr Picture Pictures[] = {
    {"nowa", "document-new"},
    {"otworz", "document-open"},
    {"zapisz", "document-save"},
    {"drukuj", "document-print"},
    {"raport", nullptr},
    {"wykres", nullptr},
    {"start", "media-playback-start"},
    {"stop", "media-playback-stop"},
    {"pauza", "media-playback-pause"},
    {"opcje", "preferences-system"},
    {"cykl", nullptr},
    {"cykl_on", nullptr},
    {"wykresopcje", nullptr},
    {"odczyt", nullptr},
    {"tara", nullptr},
    {"rozpocznij", nullptr},
    {"rozpocznij_on", nullptr},
    {"stabilny", nullptr},
    {"stabilny_on", nullptr},
    {"pomoc", "help-contents"},
    {"wyjscie", "application-exit"},
    {"connected", nullptr},
    {"disconnected", nullptr},
};

const Picture* Find(const QString& key) {
    for (const Picture& picture : Pictures) {
        if (key == QLatin1String(picture.key))
            return &picture;
    }
    return nullptr;
}

const std::pair<int, const char*> ImageKeys[] = {
    {12, "cykl"},       {13, "cykl_on"},  {20, "stabilny_on"},
    {21, "rozpocznij"}, {22, "stabilny"}, {23, "rozpocznij_on"},
};

const QString ApplicationIconName = QStringLiteral(TREVALO_APP_ID);

QImage RenderSvg(const QString& resource, int size) {
    QSvgRenderer renderer(resource);
    if (!renderer.isValid() || size <= 0)
        return {};
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(0, 0, size, size));
    return image;
}

QIcon IconFromSvg(const QString& resource, std::initializer_list<int> sizes) {
    QIcon icon;
    for (int size : sizes)
        icon.addPixmap(QPixmap::fromImage(RenderSvg(resource, size)));
    return icon;
}

QString ResourceOf(const QString& key) {
    return QStringLiteral(":/toolbar/") + key + QStringLiteral(".svg");
}

} // namespace

QImage ToolbarIcons::Render(const QString& key, int size) {
    if (!Find(key))
        return {};
    return RenderSvg(ResourceOf(key), size);
}

QIcon ToolbarIcons::Icon(const QString& key) {
    const Picture* picture = Find(key);
    if (!picture)
        return {};
    if (picture->themeName && QIcon::hasThemeIcon(QLatin1String(picture->themeName)))
        return QIcon::fromTheme(QLatin1String(picture->themeName));
    return IconFromSvg(ResourceOf(key), {16, 24, 32, 48});
}

QString ToolbarIcons::KeyOfImage(int number) {
    for (const auto& [image, key] : ImageKeys) {
        if (image == number)
            return QLatin1String(key);
    }
    return {};
}

QIcon ToolbarIcons::Image(int number) {
    const QString key = KeyOfImage(number);
    return key.isEmpty() ? QIcon() : Icon(key);
}

QStringList ToolbarIcons::Keys() {
    QStringList keys;
    for (const Picture& picture : Pictures)
        keys << QLatin1String(picture.key);
    return keys;
}

QIcon ToolbarIcons::ApplicationIcon() {
    if (QIcon::hasThemeIcon(ApplicationIconName))
        return QIcon::fromTheme(ApplicationIconName);
    return IconFromSvg(QStringLiteral(":/application/") + ApplicationIconName +
                           QStringLiteral(".svg"),
                       {16, 24, 32, 48, 64, 128, 256});
}

} // namespace Pomiar
