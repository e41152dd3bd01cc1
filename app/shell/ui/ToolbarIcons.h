#pragma once

#include <QIcon>
#include <QImage>
#include <QString>
#include <QStringList>

namespace Pomiar {

// The pictures of the main window's toolbar, kept as SVG files among the
// program's resources (icons/<key>.svg) so that they stay sharp at every
// size. Where the desktop's icon theme has a picture for the same command
// (document-save for "zapisz", media-playback-start for "start", ...), the
// toolbar shows the theme's picture, so the program looks like its desktop.
//
// Keys are the toolbar keys: "nowa", "otworz", "zapisz", "drukuj", "raport",
// "wykres", "start", "stop", "pauza", "opcje", "cykl", "wykresopcje",
// "odczyt", "tara", "rozpocznij", "stabilny", "pomoc", "wyjscie",
// "connected" and "disconnected".
//
// Three buttons change their picture with a switch; the plain key is the
// picture of the switch at rest and the key with "_on" appended the picture
// while the switch is on (the button pressed):
//
//   "cykl"        cycle work off        image 12
//   "cykl_on"     cycle work on         image 13
//   "rozpocznij"  continuous idle       image 21
//   "rozpocznij_on" transmitting        image 23
//   "stabilny"    stable readings       image 22
//   "stabilny_on" unstable readings     image 20
//
// Every icon of the program's own carries pixmaps of 16, 24, 32 and 48
// pixels, each drawn from the SVG at its size (48 serves 24 on a high-DPI
// screen); the disabled look is left to Qt, which derives it from the normal
// pixmaps.
class ToolbarIcons {
public:
    // The theme's picture when the theme has one for the key, else the
    // program's own; a null icon for an unknown key.
    static QIcon Icon(const QString& key);

    // The switching pictures by their image-list number (12, 13, 20 to 23);
    // a null icon for any other number.
    static QIcon Image(int number);
    static QString KeyOfImage(int number);

    // Every key Icon() knows, the "_on" variants included.
    static QStringList Keys();

    // The program's own picture drawn at size × size pixels on a transparent
    // background; a null image for an unknown key.
    static QImage Render(const QString& key, int size);

    // The program's own icon (the one of its desktop menu entry), from the
    // theme when installed there, else from the resources.
    static QIcon ApplicationIcon();
};

} // namespace Pomiar
