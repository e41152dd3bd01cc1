#include "ToolbarIcons.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRadialGradient>
#include <QtMath>

#include <functional>
#include <utility>
#include <vector>

namespace Pomiar {

namespace {

// Every picture is drawn on a 24 × 24 grid and scaled; outlines sit on half
// units so that they fall on whole pixels at 24 and 48.
constexpr qreal Grid = 24.0;

namespace Colour {
const QColor Outline(0x34, 0x3a, 0x40);
const QColor PaperTop(0xff, 0xff, 0xff);
const QColor PaperBottom(0xe4, 0xe9, 0xef);
const QColor Text(0x9a, 0xa4, 0xae);
const QColor BlueLight(0x6c, 0xa6, 0xec);
const QColor Blue(0x2c, 0x64, 0xb4);
const QColor BlueDark(0x1c, 0x40, 0x78);
const QColor GreenLight(0x74, 0xd2, 0x6e);
const QColor Green(0x2a, 0x96, 0x34);
const QColor GreenDark(0x1b, 0x62, 0x22);
const QColor RedLight(0xf2, 0x6e, 0x64);
const QColor Red(0xc4, 0x2b, 0x25);
const QColor RedDark(0x80, 0x1a, 0x16);
const QColor AmberLight(0xfb, 0xcf, 0x5a);
const QColor Amber(0xe0, 0x93, 0x10);
const QColor AmberDark(0x8e, 0x5a, 0x08);
const QColor MetalLight(0xe2, 0xe6, 0xea);
const QColor Metal(0x9a, 0xa3, 0xac);
const QColor FolderLight(0xfb, 0xdc, 0x84);
const QColor Folder(0xe2, 0xa6, 0x2e);
const QColor FolderBack(0xc9, 0x8a, 0x1e);
const QColor WoodLight(0xc8, 0x8e, 0x54);
const QColor Wood(0x8c, 0x58, 0x2a);
const QColor Screen(0xcf, 0xe8, 0xc4);
const QColor ScreenInk(0x24, 0x4a, 0x24);
} // namespace Colour

QBrush Shade(const QRectF& area, const QColor& top, const QColor& bottom) {
    QLinearGradient gradient(area.topLeft(), area.bottomLeft());
    gradient.setColorAt(0, top);
    gradient.setColorAt(1, bottom);
    return gradient;
}

QPen Line(const QColor& colour, qreal width = 1.0) {
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void Fill(QPainter& p, const QPainterPath& path, const QColor& top, const QColor& bottom,
          const QColor& outline = Colour::Outline) {
    p.setPen(Line(outline));
    p.setBrush(Shade(path.boundingRect(), top, bottom));
    p.drawPath(path);
}

QPainterPath Rounded(const QRectF& r, qreal radius) {
    QPainterPath path;
    path.addRoundedRect(r, radius, radius);
    return path;
}

QPainterPath Polygon(std::initializer_list<QPointF> points) {
    QPainterPath path;
    path.addPolygon(QPolygonF(QList<QPointF>(points)));
    path.closeSubpath();
    return path;
}

void TextLines(QPainter& p, qreal left, qreal top, std::initializer_list<qreal> widths,
               qreal spacing = 2.5) {
    p.setPen(Line(Colour::Text, 1.0));
    qreal y = top;
    for (qreal w : widths) {
        p.drawLine(QPointF(left, y), QPointF(left + w, y));
        y += spacing;
    }
}

// A filled arrow head with its tip at tip, pointing along angleDegrees
// (0 = right, counter-clockwise positive, y grows downwards).
void ArrowHead(QPainter& p, QPointF tip, qreal angleDegrees, qreal length, qreal halfWidth,
               const QColor& fill, const QColor& outline) {
    const qreal a = qDegreesToRadians(angleDegrees);
    const QPointF along(qCos(a), -qSin(a));
    const QPointF across(-along.y(), along.x());
    const QPointF base = tip - along * length;
    p.setPen(Line(outline, 0.8));
    p.setBrush(fill);
    p.drawPolygon(QPolygonF({tip, base + across * halfWidth, base - across * halfWidth}));
}

// A straight arrow: a shaft with an outline, then its head.
void StraightArrow(QPainter& p, QPointF from, QPointF to, const QColor& fill, const QColor& outline,
                   qreal shaft = 2.2, qreal head = 4.2) {
    const QLineF line(from, to);
    const qreal angle = line.angle();
    QLineF body = line;
    body.setLength(line.length() - head * 0.8);
    p.setPen(QPen(outline, shaft + 1.4, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(body);
    p.setPen(QPen(fill, shaft, Qt::SolidLine, Qt::FlatCap));
    QLineF inner = body;
    inner.setP1(body.pointAt(0.7 / body.length()));
    p.drawLine(inner);
    ArrowHead(p, to, angle, head, head * 0.8, fill, outline);
}

QPainterPath Gear(QPointF centre, qreal outer, qreal inner, int teeth, qreal hole) {
    QPainterPath path;
    const qreal step = 2 * M_PI / teeth;
    const qreal tooth = step * 0.26;
    for (int i = 0; i < teeth; ++i) {
        const qreal a = i * step;
        const auto at = [&](qreal angle, qreal radius) {
            return centre + QPointF(qCos(angle), qSin(angle)) * radius;
        };
        const QPointF points[] = {at(a - step / 2 + tooth * 0.2, inner), at(a - tooth, inner),
                                  at(a - tooth * 0.7, outer), at(a + tooth * 0.7, outer),
                                  at(a + tooth, inner)};
        for (const QPointF& point : points) {
            if (path.elementCount() == 0)
                path.moveTo(point);
            else
                path.lineTo(point);
        }
    }
    path.closeSubpath();
    QPainterPath centreHole;
    centreHole.addEllipse(centre, hole, hole);
    return path.subtracted(centreHole);
}

// A gear drawn over other shapes gets a solid hub so the shapes behind it do
// not show through.
void DrawGear(QPainter& p, QPointF centre, qreal outer, bool solidHub = false) {
    const QPainterPath gear = Gear(centre, outer, outer * 0.74, 8, outer * 0.34);
    p.setPen(Line(Colour::Outline));
    QRadialGradient shine(centre - QPointF(outer, outer) * 0.3, outer * 1.6);
    shine.setColorAt(0, Colour::MetalLight);
    shine.setColorAt(1, Colour::Metal);
    p.setBrush(shine);
    p.drawPath(gear);
    if (solidHub) {
        p.setBrush(Colour::Outline);
        p.drawEllipse(centre, outer * 0.34, outer * 0.34);
    }
}

// An arc with an arrow head at its end; angles in degrees as QPainterPath
// takes them (0 = three o'clock, counter-clockwise positive).
void CircularArrow(QPainter& p, QPointF centre, qreal radius, qreal start, qreal sweep,
                   const QColor& fill, const QColor& outline) {
    const QRectF box(centre - QPointF(radius, radius), QSizeF(2 * radius, 2 * radius));
    QPainterPath arc;
    arc.arcMoveTo(box, start);
    arc.arcTo(box, start, sweep - (sweep > 0 ? 22 : -22));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(outline, 3.6, Qt::SolidLine, Qt::FlatCap));
    p.drawPath(arc);
    p.setPen(QPen(fill, 2.0, Qt::SolidLine, Qt::FlatCap));
    p.drawPath(arc);
    const qreal end = qDegreesToRadians(start + sweep);
    const QPointF tip = centre + QPointF(qCos(end), -qSin(end)) * radius;
    const qreal tangent = start + sweep + (sweep > 0 ? 90 : -90);
    ArrowHead(p, tip, tangent, 5.0, 3.6, fill, outline);
}

// ---- the pictures -------------------------------------------------------

void Page(QPainter& p, bool folded) {
    if (folded) {
        Fill(p, Polygon({{5.5, 2.5}, {14.5, 2.5}, {19.5, 7.5}, {19.5, 21.5}, {5.5, 21.5}}),
             Colour::PaperTop, Colour::PaperBottom);
        Fill(p, Polygon({{14.5, 2.5}, {14.5, 7.5}, {19.5, 7.5}}), Colour::MetalLight,
             Colour::Metal);
    } else {
        Fill(p, Rounded(QRectF(4.5, 2.5, 15, 19), 1), Colour::PaperTop, Colour::PaperBottom);
    }
}

void Sparkle(QPainter& p, QPointF c, qreal r) {
    const qreal s = r * 0.32;
    Fill(p,
         Polygon({{c.x(), c.y() - r},
                  {c.x() + s, c.y() - s},
                  {c.x() + r, c.y()},
                  {c.x() + s, c.y() + s},
                  {c.x(), c.y() + r},
                  {c.x() - s, c.y() + s},
                  {c.x() - r, c.y()},
                  {c.x() - s, c.y() - s}}),
         Colour::AmberLight, Colour::Amber, Colour::AmberDark);
}

void DrawNowa(QPainter& p) {
    Page(p, true);
    Sparkle(p, {6.5, 6.5}, 5.0);
}

void DrawOtworz(QPainter& p) {
    Fill(p, Polygon({{2.5, 4.5}, {8.5, 4.5}, {10.5, 6.5}, {18.5, 6.5}, {18.5, 19.5}, {2.5, 19.5}}),
         Colour::Folder, Colour::FolderBack);
    Fill(p, Polygon({{5.5, 8.5}, {16.5, 8.5}, {16.5, 14.5}, {5.5, 14.5}}), Colour::PaperTop,
         Colour::PaperBottom);
    Fill(p, Polygon({{2.5, 19.5}, {6.5, 10.5}, {22.5, 10.5}, {18.5, 19.5}}), Colour::FolderLight,
         Colour::Folder);
}

void DrawZapisz(QPainter& p) {
    Fill(p, Polygon({{3.5, 3.5}, {18.5, 3.5}, {20.5, 5.5}, {20.5, 20.5}, {3.5, 20.5}}),
         Colour::BlueLight, Colour::Blue, Colour::BlueDark);
    Fill(p, Rounded(QRectF(7.5, 3.5, 9, 6), 0.5), Colour::MetalLight, Colour::Metal,
         Colour::BlueDark);
    p.setPen(Qt::NoPen);
    p.setBrush(Colour::BlueDark);
    p.drawRect(QRectF(13, 4.5, 2, 4));
    Fill(p, Rounded(QRectF(6.5, 12.5, 11, 8), 0.5), Colour::PaperTop, Colour::PaperBottom,
         Colour::BlueDark);
    TextLines(p, 8.5, 15, {7, 5});
}

void DrawDrukuj(QPainter& p) {
    Fill(p, Rounded(QRectF(6.5, 2.5, 11, 8), 0.5), Colour::PaperTop, Colour::PaperBottom);
    Fill(p, Rounded(QRectF(2.5, 8.5, 19, 9), 2), Colour::MetalLight, Colour::Metal);
    p.setPen(Line(Colour::Outline));
    p.drawLine(QPointF(5.5, 14.5), QPointF(18.5, 14.5));
    Fill(p, Polygon({{6.5, 14.5}, {17.5, 14.5}, {17.5, 21.5}, {6.5, 21.5}}), Colour::PaperTop,
         Colour::PaperBottom);
    TextLines(p, 8.5, 17, {7, 5}, 2.5);
    p.setPen(Line(Colour::GreenDark, 0.8));
    p.setBrush(Colour::GreenLight);
    p.drawEllipse(QPointF(18.5, 11.5), 1.2, 1.2);
}

void DrawRaport(QPainter& p) {
    Page(p, false);
    Fill(p, Rounded(QRectF(6.5, 4.5, 11, 3), 0.5), Colour::BlueLight, Colour::Blue,
         Colour::BlueDark);
    TextLines(p, 7, 10, {10, 8, 10, 6}, 2.5);
    p.setPen(Line(Colour::Outline, 1.0));
    p.drawLine(QPointF(11.5, 19.5), QPointF(17, 19.5));
}

void Bars(QPainter& p) {
    p.setPen(Line(Colour::Outline, 1.2));
    p.drawLine(QPointF(3.5, 2.5), QPointF(3.5, 20.5));
    p.drawLine(QPointF(3.5, 20.5), QPointF(21.5, 20.5));
    Fill(p, Polygon({{6.5, 12.5}, {9.5, 12.5}, {9.5, 20.5}, {6.5, 20.5}}), Colour::BlueLight,
         Colour::Blue, Colour::BlueDark);
    Fill(p, Polygon({{11.5, 5.5}, {14.5, 5.5}, {14.5, 20.5}, {11.5, 20.5}}), Colour::GreenLight,
         Colour::Green, Colour::GreenDark);
    Fill(p, Polygon({{16.5, 9.5}, {19.5, 9.5}, {19.5, 20.5}, {16.5, 20.5}}), Colour::AmberLight,
         Colour::Amber, Colour::AmberDark);
}

void DrawWykres(QPainter& p) {
    Bars(p);
}

void DrawStart(QPainter& p) {
    Fill(p, Polygon({{6.5, 3.5}, {20.5, 12}, {6.5, 20.5}}), Colour::GreenLight, Colour::Green,
         Colour::GreenDark);
}

void DrawStop(QPainter& p) {
    Fill(p, Rounded(QRectF(4.5, 4.5, 15, 15), 2), Colour::RedLight, Colour::Red, Colour::RedDark);
}

void DrawPauza(QPainter& p) {
    Fill(p, Rounded(QRectF(5.5, 4.5, 5, 15), 1), Colour::AmberLight, Colour::Amber,
         Colour::AmberDark);
    Fill(p, Rounded(QRectF(13.5, 4.5, 5, 15), 1), Colour::AmberLight, Colour::Amber,
         Colour::AmberDark);
}

void DrawOpcje(QPainter& p) {
    DrawGear(p, {12, 12}, 10.0);
}

void Clock(QPainter& p, QPointF c, qreal r, const QColor& face) {
    p.setPen(Line(Colour::Outline));
    p.setBrush(Shade(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), Colour::PaperTop, face));
    p.drawEllipse(c, r, r);
    p.setPen(Line(Colour::Outline, 1.3));
    p.drawLine(c, c + QPointF(0, -r * 0.68));
    p.drawLine(c, c + QPointF(r * 0.52, 0));
}

void DrawCykl(QPainter& p, bool on) {
    const QColor arrow = on ? Colour::Green : Colour::Metal;
    const QColor edge = on ? Colour::GreenDark : Colour::Outline;
    Clock(p, {12, 12}, 6.5, on ? Colour::Screen : Colour::PaperBottom);
    CircularArrow(p, {12, 12}, 9.5, 110, -300, arrow, edge);
}

void DrawWykresopcje(QPainter& p) {
    p.save();
    p.scale(0.8, 0.8);
    Bars(p);
    p.restore();
    DrawGear(p, {16.5, 16.5}, 6.6, true);
}

void Balance(QPainter& p) {
    Fill(p, Polygon({{2.5, 21.5}, {21.5, 21.5}, {19.5, 14.5}, {4.5, 14.5}}), Colour::MetalLight,
         Colour::Metal);
    Fill(p, Rounded(QRectF(7.5, 16.5, 9, 3.5), 0.5), Colour::Screen, Colour::Screen);
    p.setPen(Line(Colour::ScreenInk, 1.0));
    for (qreal x : {9.0, 11.5, 14.0})
        p.drawLine(QPointF(x, 18.25), QPointF(x + 1.5, 18.25));
    p.setPen(Line(Colour::Outline));
    p.setBrush(Colour::Metal);
    p.drawRect(QRectF(11, 12.5, 2, 2));
    Fill(p, Rounded(QRectF(4.5, 10.5, 15, 2), 1), Colour::MetalLight, Colour::Metal);
}

void DrawOdczyt(QPainter& p) {
    Balance(p);
    StraightArrow(p, {12, 9.5}, {12, 1.5}, Colour::Blue, Colour::BlueDark, 2.4, 5.0);
}

void DrawTara(QPainter& p) {
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Colour::Outline, 2.4));
    p.drawEllipse(QPointF(12, 12), 3.0, 5.2);
    StraightArrow(p, {0.8, 12}, {7.3, 12}, Colour::Blue, Colour::BlueDark, 2.0, 4.0);
    StraightArrow(p, {23.2, 12}, {16.7, 12}, Colour::Blue, Colour::BlueDark, 2.0, 4.0);
}

QPainterPath Wave(qreal y, qreal from, qreal to, qreal height, int humps = 3) {
    QPainterPath wave;
    wave.moveTo(from, y);
    const qreal step = (to - from) / humps;
    for (int i = 0; i < humps; ++i) {
        const qreal x = from + i * step;
        const qreal dy = (i % 2 == 0) ? -height : height;
        wave.cubicTo(x + step * 0.4, y + dy, x + step * 0.6, y + dy, x + step, y);
    }
    return wave;
}

void StrokeOutlined(QPainter& p, const QPainterPath& path, const QColor& fill,
                    const QColor& outline, qreal width) {
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(outline, width + 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(path);
    p.setPen(QPen(fill, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(path);
}

void DrawRozpocznij(QPainter& p, bool transmitting) {
    const QColor fill = transmitting ? Colour::Green : Colour::BlueLight;
    const QColor edge = transmitting ? Colour::GreenDark : Colour::BlueDark;
    for (qreal y : {6.5, 12.5, 18.5})
        StrokeOutlined(p, Wave(y, 2.5, 21.5, 2.6), fill, edge, 1.8);
    if (transmitting) {
        p.setPen(Line(Colour::RedDark, 0.9));
        p.setBrush(Colour::Red);
        p.drawEllipse(QPointF(19, 4.5), 3.6, 3.6);
    }
}

void Display(QPainter& p) {
    Fill(p, Rounded(QRectF(1.5, 4.5, 21, 15), 2), Colour::Metal, Colour::Outline);
    Fill(p, Rounded(QRectF(3.5, 6.5, 17, 11), 1), Colour::Screen, Colour::Screen, Colour::Outline);
}

void DrawStabilny(QPainter& p, bool unstable) {
    Display(p);
    if (!unstable) {
        StrokeOutlined(
            p,
            [] {
                QPainterPath level;
                level.moveTo(5.5, 12);
                level.lineTo(12.5, 12);
                return level;
            }(),
            Colour::ScreenInk, Colour::ScreenInk, 0.6);
        QPainterPath tick;
        tick.moveTo(14, 12);
        tick.lineTo(16, 14.5);
        tick.lineTo(19.5, 8.5);
        StrokeOutlined(p, tick, Colour::Green, Colour::GreenDark, 1.8);
        return;
    }
    StrokeOutlined(p, Wave(12, 5.2, 13, 2.8, 2), Colour::Amber, Colour::AmberDark, 1.8);
    QPainterPath question;
    question.moveTo(14.6, 9.8);
    question.cubicTo(14.6, 7.2, 19.4, 7.2, 19.4, 9.6);
    question.cubicTo(19.4, 11.4, 17, 11.4, 17, 13.4);
    StrokeOutlined(p, question, Colour::Amber, Colour::AmberDark, 1.6);
    p.setPen(Line(Colour::AmberDark, 0.6));
    p.setBrush(Colour::Amber);
    p.drawEllipse(QPointF(17, 15.6), 1.1, 1.1);
}

void DrawPomoc(QPainter& p) {
    QRadialGradient ball(QPointF(9, 8), 13);
    ball.setColorAt(0, Colour::BlueLight);
    ball.setColorAt(1, Colour::Blue);
    p.setPen(Line(Colour::BlueDark));
    p.setBrush(ball);
    p.drawEllipse(QPointF(12, 12), 10, 10);
    QPainterPath question;
    question.moveTo(8.8, 9.2);
    question.cubicTo(8.8, 5.2, 15.2, 5.2, 15.2, 9.0);
    question.cubicTo(15.2, 11.6, 12, 11.6, 12, 14.2);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(question);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(12, 17.6), 1.6, 1.6);
}

void DrawWyjscie(QPainter& p) {
    Fill(p, Polygon({{3.5, 2.5}, {14.5, 2.5}, {14.5, 21.5}, {3.5, 21.5}}), Colour::Outline,
         Colour::Outline);
    Fill(p, Polygon({{3.5, 2.5}, {10.5, 4.5}, {10.5, 22.5}, {3.5, 21.5}}), Colour::WoodLight,
         Colour::Wood, Colour::Outline);
    p.setPen(Qt::NoPen);
    p.setBrush(Colour::AmberLight);
    p.drawEllipse(QPointF(9, 13), 0.9, 0.9);
    StraightArrow(p, {11.5, 12}, {23, 12}, Colour::Red, Colour::RedDark, 2.6, 5.4);
}

// A plug and its socket, either pushed together or pulled apart with a spark
// of the broken link between them.
void DrawPlug(QPainter& p, bool connected) {
    const QColor light = connected ? Colour::GreenLight : Colour::RedLight;
    const QColor mid = connected ? Colour::Green : Colour::Red;
    const QColor dark = connected ? Colour::GreenDark : Colour::RedDark;
    const qreal gap = connected ? 0.0 : 3.0;
    p.setPen(QPen(dark, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(0.8, 12), QPointF(4.5 - gap, 12));
    p.drawLine(QPointF(19.5 + gap, 12), QPointF(23.2, 12));
    p.setPen(Line(Colour::Outline, 0.8));
    p.setBrush(Colour::MetalLight);
    for (qreal y : {9.0, 13.5})
        p.drawRect(QRectF(11 - gap, y, 3, 1.5));
    Fill(p, Rounded(QRectF(3.5 - gap, 9.5, 2.5, 5), 0.8), light, mid, dark);
    Fill(p, Rounded(QRectF(5.5 - gap, 7.5, 6, 9), 1.5), light, mid, dark);
    Fill(p, Rounded(QRectF(11.5 + gap, 5.5, 6.5, 13), 2), light, mid, dark);
    Fill(p, Rounded(QRectF(17.5 + gap, 9.5, 2.5, 5), 0.8), light, mid, dark);
    p.setPen(Line(dark, 0.8));
    for (qreal x : {7.5, 9.5})
        p.drawLine(QPointF(x - gap, 9.5), QPointF(x - gap, 14.5));
    if (!connected) {
        QPainterPath spark;
        spark.moveTo(13.9, 3.0);
        spark.lineTo(11.9, 11.2);
        spark.lineTo(13.7, 12.8);
        spark.lineTo(11.7, 21.0);
        StrokeOutlined(p, spark, Colour::AmberLight, Colour::AmberDark, 1.1);
    }
}

struct Picture {
    const char* key;
    std::function<void(QPainter&)> draw;
};

const std::vector<Picture>& Pictures() {
    static const std::vector<Picture> pictures = {
        {"nowa", DrawNowa},
        {"otworz", DrawOtworz},
        {"zapisz", DrawZapisz},
        {"drukuj", DrawDrukuj},
        {"raport", DrawRaport},
        {"wykres", DrawWykres},
        {"start", DrawStart},
        {"stop", DrawStop},
        {"pauza", DrawPauza},
        {"opcje", DrawOpcje},
        {"cykl", [](QPainter& p) { DrawCykl(p, false); }},
        {"cykl_on", [](QPainter& p) { DrawCykl(p, true); }},
        {"wykresopcje", DrawWykresopcje},
        {"odczyt", DrawOdczyt},
        {"tara", DrawTara},
        {"rozpocznij", [](QPainter& p) { DrawRozpocznij(p, false); }},
        {"rozpocznij_on", [](QPainter& p) { DrawRozpocznij(p, true); }},
        {"stabilny", [](QPainter& p) { DrawStabilny(p, false); }},
        {"stabilny_on", [](QPainter& p) { DrawStabilny(p, true); }},
        {"pomoc", DrawPomoc},
        {"wyjscie", DrawWyjscie},
        {"connected", [](QPainter& p) { DrawPlug(p, true); }},
        {"disconnected", [](QPainter& p) { DrawPlug(p, false); }},
    };
    return pictures;
}

const Picture* Find(const QString& key) {
    for (const Picture& picture : Pictures()) {
        if (key == QLatin1String(picture.key))
            return &picture;
    }
    return nullptr;
}

const std::pair<int, const char*> ImageKeys[] = {
    {12, "cykl"},       {13, "cykl_on"},  {20, "stabilny_on"},
    {21, "rozpocznij"}, {22, "stabilny"}, {23, "rozpocznij_on"},
};

} // namespace

QImage ToolbarIcons::Render(const QString& key, int size) {
    const Picture* picture = Find(key);
    if (!picture || size <= 0)
        return {};
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / Grid, size / Grid);
    picture->draw(painter);
    return image;
}

QIcon ToolbarIcons::Icon(const QString& key) {
    if (!Find(key))
        return {};
    QIcon icon;
    for (int size : {16, 24, 32, 48})
        icon.addPixmap(QPixmap::fromImage(Render(key, size)));
    return icon;
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
    for (const Picture& picture : Pictures())
        keys << QLatin1String(picture.key);
    return keys;
}

} // namespace Pomiar
