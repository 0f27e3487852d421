#include "Views/Components/Symbols.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QIconEngine>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmapCache>
#include <QtMath>

#include <functional>
#include <map>

// Glyphs are drawn on a 24 by 24 grid, strokes about 1.8 units wide, and scaled to the size
// asked for. A "fill" variant fills its outline and cuts its inner mark out of the fill, so
// the mark shows whatever lies behind the icon, as the platform's symbols do.

namespace {

constexpr double strokeWidth = 1.8;

class Canvas {
public:
    Canvas(QPainter &painter, const QColor &color) : p(painter), ink(color) {}

    QPainter &p;
    QColor ink;

    QPen pen(double width = strokeWidth) const { return QPen(ink, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin); }
    void stroke(const QPainterPath &path, double width = strokeWidth)
    {
        p.setPen(pen(width));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
    }
    void fill(const QPainterPath &path)
    {
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        p.drawPath(path);
    }
    void line(QPointF a, QPointF b, double width = strokeWidth)
    {
        p.setPen(pen(width));
        p.drawLine(a, b);
    }
    void polyline(std::initializer_list<QPointF> points, double width = strokeWidth)
    {
        QPainterPath path;
        bool first = true;
        for (QPointF point : points) {
            if (first) path.moveTo(point);
            else path.lineTo(point);
            first = false;
        }
        stroke(path, width);
    }
    void dot(QPointF centre, double radius)
    {
        QPainterPath path;
        path.addEllipse(centre, radius, radius);
        fill(path);
    }
    // Everything drawn inside runs with the clear mode: it cuts through what was drawn before.
    void cut(const std::function<void()> &draw)
    {
        p.save();
        p.setCompositionMode(QPainter::CompositionMode_Clear);
        draw();
        p.restore();
    }
};

// Container outlines.
QPainterPath circle(QPointF centre = {12, 12}, double radius = 9.5)
{
    QPainterPath path;
    path.addEllipse(centre, radius, radius);
    return path;
}

QPainterPath roundedRect(QRectF rect, double radius)
{
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

QPainterPath triangle()
{
    QPainterPath path;
    path.moveTo(12, 2.8);
    path.lineTo(21.8, 20.2);
    path.lineTo(2.2, 20.2);
    path.closeSubpath();
    return path;
}

QPainterPath octagon()
{
    QPainterPath path;
    for (int i = 0; i < 8; ++i) {
        const double angle = qDegreesToRadians(22.5 + 45.0 * i);
        const QPointF point(12 + 9.8 * std::cos(angle), 12 + 9.8 * std::sin(angle));
        if (i == 0) path.moveTo(point);
        else path.lineTo(point);
    }
    path.closeSubpath();
    return path;
}

QPainterPath shield(QRectF box = {4, 2.5, 16, 19})
{
    // Drawn in a 16 by 19 box and mapped onto the one asked for.
    QPainterPath path;
    path.moveTo(8, 0);
    path.lineTo(16, 2.7);
    path.lineTo(16, 8.5);
    path.cubicTo(16, 13.5, 12.5, 17, 8, 19);
    path.cubicTo(3.5, 17, 0, 13.5, 0, 8.5);
    path.lineTo(0, 2.7);
    path.closeSubpath();
    QTransform transform;
    transform.translate(box.x(), box.y());
    transform.scale(box.width() / 16, box.height() / 19);
    return transform.map(path);
}

QPainterPath seal()
{
    QPainterPath path;
    constexpr int points = 24;
    for (int i = 0; i < points; ++i) {
        const double angle = qDegreesToRadians(360.0 * i / points);
        const double radius = i % 2 ? 8.6 : 10;
        const QPointF point(12 + radius * std::cos(angle), 12 + radius * std::sin(angle));
        if (i == 0) path.moveTo(point);
        else path.lineTo(point);
    }
    path.closeSubpath();
    return path;
}

QPainterPath page(QRectF box = {5, 2.5, 14, 19})
{
    const double fold = box.width() * 0.36;
    QPainterPath path;
    path.moveTo(box.left(), box.top());
    path.lineTo(box.right() - fold, box.top());
    path.lineTo(box.right(), box.top() + fold);
    path.lineTo(box.right(), box.bottom());
    path.lineTo(box.left(), box.bottom());
    path.closeSubpath();
    path.moveTo(box.right() - fold, box.top());
    path.lineTo(box.right() - fold, box.top() + fold);
    path.lineTo(box.right(), box.top() + fold);
    return path;
}

QPainterPath folder(QRectF box = {2.5, 5, 19, 15})
{
    QPainterPath path;
    path.moveTo(box.left(), box.bottom());
    path.lineTo(box.left(), box.top());
    path.lineTo(box.left() + box.width() * 0.35, box.top());
    path.lineTo(box.left() + box.width() * 0.45, box.top() + 2.5);
    path.lineTo(box.right(), box.top() + 2.5);
    path.lineTo(box.right(), box.bottom());
    path.closeSubpath();
    return path;
}

// Inner marks, centred on c, about 10 units tall at scale 1. Their ink is the canvas ink; the
// fill variants call them inside Canvas::cut.
using Mark = std::function<void(Canvas &, QPointF, double)>;

void exclamation(Canvas &k, QPointF c, double s)
{
    k.line({c.x(), c.y() - 5 * s}, {c.x(), c.y() + 1.2 * s}, 2.2 * s);
    k.dot({c.x(), c.y() + 4.4 * s}, 1.35 * s);
}

void check(Canvas &k, QPointF c, double s)
{
    k.polyline({{c.x() - 4.6 * s, c.y() + 0.3 * s},
                {c.x() - 1.3 * s, c.y() + 3.6 * s},
                {c.x() + 4.8 * s, c.y() - 3.8 * s}},
               2.2 * s);
}

void cross(Canvas &k, QPointF c, double s)
{
    const double d = 3.8 * s;
    k.line({c.x() - d, c.y() - d}, {c.x() + d, c.y() + d}, 2.2 * s);
    k.line({c.x() - d, c.y() + d}, {c.x() + d, c.y() - d}, 2.2 * s);
}

void question(Canvas &k, QPointF c, double s)
{
    QPainterPath path;
    const QRectF arc(c.x() - 3.4 * s, c.y() - 5.8 * s, 6.8 * s, 6.4 * s);
    path.arcMoveTo(arc, 165);
    path.arcTo(arc, 165, -235);
    path.quadTo(c.x(), c.y() - 0.6 * s, c.x(), c.y() + 1.4 * s);
    k.stroke(path, 2.1 * s);
    k.dot({c.x(), c.y() + 4.6 * s}, 1.3 * s);
}

void info(Canvas &k, QPointF c, double s)
{
    k.dot({c.x(), c.y() - 4.6 * s}, 1.4 * s);
    k.line({c.x(), c.y() - 1.2 * s}, {c.x(), c.y() + 5 * s}, 2.2 * s);
}

void arrowRight(Canvas &k, QPointF c, double s)
{
    k.line({c.x() - 5 * s, c.y()}, {c.x() + 5 * s, c.y()}, 2 * s);
    k.polyline({{c.x() + 0.8 * s, c.y() - 4.2 * s}, {c.x() + 5 * s, c.y()}, {c.x() + 0.8 * s, c.y() + 4.2 * s}}, 2 * s);
}

void arrowUpRight(Canvas &k, QPointF c, double s)
{
    k.line({c.x() - 4 * s, c.y() + 4 * s}, {c.x() + 4 * s, c.y() - 4 * s}, 2 * s);
    k.polyline({{c.x() - 2 * s, c.y() - 4 * s}, {c.x() + 4 * s, c.y() - 4 * s}, {c.x() + 4 * s, c.y() + 2 * s}}, 2 * s);
}

void boltHorizontal(Canvas &k, QPointF c, double s)
{
    QPainterPath path;
    path.moveTo(c.x() - 7 * s, c.y() + 1.5 * s);
    path.lineTo(c.x() - 0.2 * s, c.y() - 4.6 * s);
    path.lineTo(c.x() - 0.9 * s, c.y() - 0.9 * s);
    path.lineTo(c.x() + 7 * s, c.y() - 1.5 * s);
    path.lineTo(c.x() + 0.2 * s, c.y() + 4.6 * s);
    path.lineTo(c.x() + 0.9 * s, c.y() + 0.9 * s);
    path.closeSubpath();
    k.fill(path);
}

void bolt(Canvas &k, QPointF c, double s)
{
    QPainterPath path;
    path.moveTo(c.x() + 1.2 * s, c.y() - 6 * s);
    path.lineTo(c.x() - 4 * s, c.y() + 0.8 * s);
    path.lineTo(c.x() - 0.6 * s, c.y() + 0.8 * s);
    path.lineTo(c.x() - 1.2 * s, c.y() + 6 * s);
    path.lineTo(c.x() + 4 * s, c.y() - 0.8 * s);
    path.lineTo(c.x() + 0.6 * s, c.y() - 0.8 * s);
    path.closeSubpath();
    k.fill(path);
}

void recordDot(Canvas &k, QPointF c, double s)
{
    k.dot(c, 5 * s);
}

void ellipsis(Canvas &k, QPointF c, double s)
{
    for (double dx : {-4.6, 0.0, 4.6}) k.dot({c.x() + dx * s, c.y()}, 1.4 * s);
}

void decreasingLines(Canvas &k, QPointF c, double s)
{
    k.line({c.x() - 5.5 * s, c.y() - 3.5 * s}, {c.x() + 5.5 * s, c.y() - 3.5 * s}, 1.9 * s);
    k.line({c.x() - 3.5 * s, c.y()}, {c.x() + 3.5 * s, c.y()}, 1.9 * s);
    k.line({c.x() - 1.5 * s, c.y() + 3.5 * s}, {c.x() + 1.5 * s, c.y() + 3.5 * s}, 1.9 * s);
}

void plus(Canvas &k, QPointF c, double s)
{
    k.line({c.x() - 4.5 * s, c.y()}, {c.x() + 4.5 * s, c.y()}, 2.1 * s);
    k.line({c.x(), c.y() - 4.5 * s}, {c.x(), c.y() + 4.5 * s}, 2.1 * s);
}

void gear(Canvas &k, QPointF c, double radius, bool cutHole = true)
{
    QPainterPath path;
    constexpr int teeth = 8;
    for (int i = 0; i < teeth * 4; ++i) {
        const double angle = qDegreesToRadians(360.0 * i / (teeth * 4) + 5);
        const double r = (i % 4 < 2) ? radius : radius * 0.74;
        const QPointF point(c.x() + r * std::cos(angle), c.y() + r * std::sin(angle));
        if (i == 0) path.moveTo(point);
        else path.lineTo(point);
    }
    path.closeSubpath();
    k.fill(path);
    if (cutHole) k.cut([&] { k.dot(c, radius * 0.32); });
}

void magnifier(Canvas &k, QPointF c, double s)
{
    QPainterPath lens;
    lens.addEllipse(QPointF(c.x() - 1.2 * s, c.y() - 1.2 * s), 3.6 * s, 3.6 * s);
    k.stroke(lens, 1.8 * s);
    k.line({c.x() + 1.5 * s, c.y() + 1.5 * s}, {c.x() + 4.6 * s, c.y() + 4.6 * s}, 2.2 * s);
}

// A round badge at the bottom right: the area is cut clear first, then filled and its mark cut.
void badge(Canvas &k, QPointF c, double radius, const Mark &mark)
{
    k.cut([&] { k.dot(c, radius + 1.6); });
    k.dot(c, radius);
    k.cut([&] { mark(k, c, radius / 6.5); });
}

using Glyph = std::function<void(Canvas &)>;

// "mark.container" and "mark.container.fill" names.
Glyph contained(const QPainterPath &outline, const Mark &mark, QPointF centre, double scale, bool filled)
{
    return [=](Canvas &k) {
        if (filled) {
            k.fill(outline);
            k.cut([&] { mark(k, centre, scale); });
        } else {
            k.stroke(outline);
            mark(k, centre, scale);
        }
    };
}

struct Container {
    QPainterPath outline;
    QPointF centre;
    double scale;
};

const std::map<QString, Container> &containers()
{
    static const std::map<QString, Container> table = {
        {"circle", {circle(), {12, 12}, 0.95}},
        {"triangle", {triangle(), {12, 13.8}, 0.82}},
        {"octagon", {octagon(), {12, 12}, 0.95}},
        {"shield", {shield(), {12, 11.6}, 0.78}},
        {"square", {roundedRect({3, 3, 18, 18}, 4.5), {12, 12}, 0.95}},
        {"seal", {seal(), {12, 12}, 0.85}},
    };
    return table;
}

const std::map<QString, Mark> &marks()
{
    static const std::map<QString, Mark> table = {
        {"exclamationmark", exclamation},
        {"checkmark", check},
        {"xmark", cross},
        {"questionmark", question},
        {"info", info},
        {"arrow.right", arrowRight},
        {"arrow.up.right", arrowUpRight},
        {"bolt.horizontal", boltHorizontal},
        {"bolt", bolt},
        {"record", recordDot},
        {"ellipsis", ellipsis},
        {"line.3.horizontal.decrease", decreasingLines},
        {"plus", plus},
    };
    return table;
}

// Glyphs that are no mark in a container.
const std::map<QString, Glyph> &drawings()
{
    static const std::map<QString, Glyph> table = {
        {"checkmark",
         [](Canvas &k) {
             check(k, {12, 12}, 1.55);
         }},
        {"arrow.right",
         [](Canvas &k) {
             arrowRight(k, {12, 12}, 1.5);
         }},
        {"chevron.right",
         [](Canvas &k) {
             k.polyline({{9, 4.5}, {16.5, 12}, {9, 19.5}}, 2.4);
         }},
        {"chevron.left.forwardslash.chevron.right",
         [](Canvas &k) {
             k.polyline({{7.5, 6.5}, {2.5, 12}, {7.5, 17.5}}, 2);
             k.polyline({{16.5, 6.5}, {21.5, 12}, {16.5, 17.5}}, 2);
             k.line({14, 4.5}, {10, 19.5}, 2);
         }},
        {"arrow.clockwise",
         [](Canvas &k) {
             QPainterPath path;
             const QRectF arc(4, 4.5, 16, 16);
             path.arcMoveTo(arc, 70);
             path.arcTo(arc, 70, 300);
             k.stroke(path, 2);
             k.polyline({{12.2, 1.6}, {15.6, 5}, {12.2, 8.4}}, 2);
         }},
        {"shield", [](Canvas &k) { k.stroke(shield()); }},
        {"shield.slash",
         [](Canvas &k) {
             k.stroke(shield());
             k.cut([&] { k.line({3.5, 3}, {20.5, 21}, 4.6); });
             k.line({3.5, 3}, {20.5, 21}, 1.8);
         }},
        {"shield.lefthalf.filled",
         [](Canvas &k) {
             const QPainterPath outline = shield();
             k.stroke(outline);
             k.fill(outline.intersected(roundedRect({0, 0, 12, 24}, 0)));
         }},
        {"shield.lefthalf.filled.badge.checkmark",
         [](Canvas &k) {
             const QPainterPath outline = shield({2.5, 2, 15, 18});
             k.stroke(outline);
             k.fill(outline.intersected(roundedRect({0, 0, 10, 24}, 0)));
             badge(k, {17.5, 17.5}, 5.2, check);
         }},
        {"lock.shield",
         [](Canvas &k) {
             k.stroke(shield());
             k.fill(roundedRect({8.5, 10.5, 7, 5.5}, 1));
             QPainterPath shackle;
             shackle.moveTo(9.8, 10.8);
             shackle.lineTo(9.8, 8.8);
             shackle.arcTo(QRectF(9.8, 6.6, 4.4, 4.4), 180, -180);
             shackle.lineTo(14.2, 10.8);
             k.stroke(shackle, 1.5);
         }},
        {"doc", [](Canvas &k) { k.stroke(page()); }},
        {"doc.on.doc",
         [](Canvas &k) {
             k.stroke(roundedRect({8.5, 2.5, 12, 15}, 2.5));
             k.cut([&] { k.fill(roundedRect({2.5, 6, 13.5, 16.5}, 3)); });
             k.stroke(roundedRect({3.5, 7, 11.5, 14.5}, 2.5));
         }},
        {"doc.badge.plus",
         [](Canvas &k) {
             k.stroke(page({3.5, 2, 13, 18.5}));
             badge(k, {17.5, 17.5}, 5.5, plus);
         }},
        {"doc.badge.gearshape",
         [](Canvas &k) {
             k.stroke(page({3.5, 2, 13, 18.5}));
             k.cut([&] { k.dot({17.5, 17.5}, 7); });
             gear(k, {17.5, 17.5}, 5.6);
         }},
        {"doc.text.magnifyingglass",
         [](Canvas &k) {
             k.stroke(page({3.5, 2, 14, 19.5}));
             for (double y : {9.0, 12.0}) k.line({6.5, y}, {13.5, y}, 1.4);
             k.cut([&] { k.dot({16.5, 16.5}, 6.8); });
             magnifier(k, {16.8, 16.8}, 1.05);
         }},
        {"arrow.down.doc",
         [](Canvas &k) {
             k.stroke(page());
             k.line({12, 8.5}, {12, 17}, 1.9);
             k.polyline({{8.8, 13.8}, {12, 17}, {15.2, 13.8}}, 1.9);
         }},
        {"terminal",
         [](Canvas &k) {
             k.stroke(roundedRect({2.5, 4, 19, 16}, 3));
             k.polyline({{6.5, 9}, {9.5, 12}, {6.5, 15}}, 1.8);
             k.line({11.5, 15.5}, {16.5, 15.5}, 1.8);
         }},
        {"terminal.fill",
         [](Canvas &k) {
             k.fill(roundedRect({2, 3.5, 20, 17}, 3.5));
             k.cut([&] {
                 k.polyline({{6.5, 9}, {9.5, 12}, {6.5, 15}}, 1.9);
                 k.line({11.5, 15.5}, {16.5, 15.5}, 1.9);
             });
         }},
        {"book",
         [](Canvas &k) {
             QPainterPath path;
             path.moveTo(12, 6.5);
             path.cubicTo(9.5, 4.8, 6, 4.5, 2.5, 5.2);
             path.lineTo(2.5, 19);
             path.cubicTo(6, 18.3, 9.5, 18.6, 12, 20.3);
             path.cubicTo(14.5, 18.6, 18, 18.3, 21.5, 19);
             path.lineTo(21.5, 5.2);
             path.cubicTo(18, 4.5, 14.5, 4.8, 12, 6.5);
             path.lineTo(12, 20.3);
             k.stroke(path, 1.7);
         }},
        {"globe",
         [](Canvas &k) {
             k.stroke(circle());
             QPainterPath meridian;
             meridian.addEllipse(QPointF(12, 12), 4.2, 9.5);
             k.stroke(meridian, 1.5);
             k.line({2.5, 12}, {21.5, 12}, 1.5);
             k.line({4.2, 7}, {19.8, 7}, 1.3);
             k.line({4.2, 17}, {19.8, 17}, 1.3);
         }},
        {"network",
         [](Canvas &k) {
             k.stroke(roundedRect({8.5, 2.5, 7, 5.5}, 1.2), 1.6);
             k.stroke(roundedRect({2.5, 16, 7, 5.5}, 1.2), 1.6);
             k.stroke(roundedRect({14.5, 16, 7, 5.5}, 1.2), 1.6);
             k.polyline({{12, 8}, {12, 12}}, 1.6);
             k.polyline({{6, 16}, {6, 12}, {18, 12}, {18, 16}}, 1.6);
         }},
        {"lightbulb",
         [](Canvas &k) {
             QPainterPath bulb;
             bulb.moveTo(9, 16);
             bulb.cubicTo(9, 13.5, 5.5, 12.5, 5.5, 8.8);
             bulb.arcTo(QRectF(5.5, 2.3, 13, 13), 180, -180);
             bulb.cubicTo(18.5, 12.5, 15, 13.5, 15, 16);
             bulb.closeSubpath();
             k.stroke(bulb, 1.7);
             k.line({9.5, 18.8}, {14.5, 18.8}, 1.7);
             k.line({10.5, 21.3}, {13.5, 21.3}, 1.7);
         }},
        {"number",
         [](Canvas &k) {
             k.line({10, 3.5}, {8, 20.5}, 1.9);
             k.line({16, 3.5}, {14, 20.5}, 1.9);
             k.line({4.5, 8.5}, {20, 8.5}, 1.9);
             k.line({4, 15.5}, {19.5, 15.5}, 1.9);
         }},
        {"list.number",
         [](Canvas &k) {
             for (double y : {5.5, 12.0, 18.5}) {
                 k.line({4, y - 2.2}, {4, y + 2.2}, 1.6);
                 k.line({9, y}, {21, y}, 1.9);
             }
         }},
        {"list.bullet.rectangle",
         [](Canvas &k) {
             k.stroke(roundedRect({2.5, 3.5, 19, 17}, 3));
             for (double y : {8.5, 12.0, 15.5}) {
                 k.dot({7, y}, 1.1);
                 k.line({10, y}, {17.5, y}, 1.5);
             }
         }},
        {"chart.bar.xaxis",
         [](Canvas &k) {
             k.line({2.5, 21}, {21.5, 21}, 1.8);
             k.fill(roundedRect({4.5, 12, 3.6, 7}, 1));
             k.fill(roundedRect({10.2, 5, 3.6, 14}, 1));
             k.fill(roundedRect({15.9, 9, 3.6, 10}, 1));
         }},
        {"point.3.connected.trianglepath.dotted",
         [](Canvas &k) {
             QPen dotted = k.pen(1.5);
             dotted.setDashPattern({0.1, 2.2});
             k.p.setPen(dotted);
             k.p.setBrush(Qt::NoBrush);
             k.p.drawPolygon(QPolygonF({{12, 5}, {19, 18.5}, {5, 18.5}}));
             for (QPointF point : {QPointF(12, 5), QPointF(19, 18.5), QPointF(5, 18.5)}) k.dot(point, 3);
         }},
        {"dot.radiowaves.left.and.right",
         [](Canvas &k) {
             k.dot({12, 12}, 2.4);
             for (double r : {5.5, 9.5}) {
                 QPainterPath right, left;
                 const QRectF arc(12 - r, 12 - r, 2 * r, 2 * r);
                 right.arcMoveTo(arc, -40);
                 right.arcTo(arc, -40, 80);
                 left.arcMoveTo(arc, 140);
                 left.arcTo(arc, 140, 80);
                 k.stroke(right, 1.8);
                 k.stroke(left, 1.8);
             }
         }},
        {"bell.badge",
         [](Canvas &k) {
             QPainterPath bell;
             bell.moveTo(3.5, 17.5);
             bell.lineTo(5.5, 14.8);
             bell.lineTo(5.5, 10);
             bell.cubicTo(5.5, 6.2, 8.3, 3.5, 12, 3.5);
             bell.cubicTo(15.7, 3.5, 18.5, 6.2, 18.5, 10);
             bell.lineTo(18.5, 14.8);
             bell.lineTo(20.5, 17.5);
             bell.closeSubpath();
             k.stroke(bell, 1.7);
             QPainterPath clapper;
             clapper.arcMoveTo(QRectF(9.5, 17.5, 5, 4.5), 180);
             clapper.arcTo(QRectF(9.5, 17.5, 5, 4.5), 180, 180);
             k.stroke(clapper, 1.7);
             k.cut([&] { k.dot({18.5, 5.5}, 5); });
             k.dot({18.5, 5.5}, 3.4);
         }},
        {"gearshape.2",
         [](Canvas &k) {
             gear(k, {9, 14.5}, 7.5);
             k.cut([&] { k.dot({18, 6}, 6); });
             gear(k, {18, 6}, 4.8);
         }},
        {"flame.fill",
         [](Canvas &k) {
             QPainterPath flame;
             flame.moveTo(12, 2);
             flame.cubicTo(13, 6, 19.5, 9, 19.5, 14.5);
             flame.cubicTo(19.5, 19, 16, 22, 12, 22);
             flame.cubicTo(8, 22, 4.5, 19, 4.5, 14.8);
             flame.cubicTo(4.5, 11.5, 6.5, 9.5, 8, 8);
             flame.cubicTo(8, 10.5, 9, 12, 10.5, 12.5);
             flame.cubicTo(10, 8.5, 11, 5, 12, 2);
             flame.closeSubpath();
             k.fill(flame);
         }},
        {"menubar.rectangle",
         [](Canvas &k) {
             k.stroke(roundedRect({2.5, 4, 19, 16}, 3));
             k.fill(roundedRect({2.5, 4, 19, 4.5}, 2));
         }},
        {"play.fill",
         [](Canvas &k) {
             QPainterPath path;
             path.moveTo(6.5, 3.5);
             path.lineTo(20, 12);
             path.lineTo(6.5, 20.5);
             path.closeSubpath();
             k.fill(path);
         }},
        {"stop.fill",
         [](Canvas &k) {
             k.fill(roundedRect({4.5, 4.5, 15, 15}, 2.5));
         }},
        {"pause",
         [](Canvas &k) {
             k.line({8, 4.5}, {8, 19.5}, 3);
             k.line({16, 4.5}, {16, 19.5}, 3);
         }},
        {"plus.rectangle.on.folder",
         [](Canvas &k) {
             k.stroke(folder({2, 6, 17, 14}), 1.7);
             k.cut([&] { k.fill(roundedRect({11.5, 1, 12.5, 12.5}, 3)); });
             k.stroke(roundedRect({13, 2.5, 9.5, 9.5}, 2), 1.6);
             plus(k, {17.75, 7.25}, 0.6);
         }},
        {"sidebar.right",
         [](Canvas &k) {
             k.stroke(roundedRect({2.5, 4, 19, 16}, 3));
             k.line({15, 4}, {15, 20}, 1.8);
             for (double y : {8.0, 11.0, 14.0}) k.line({17.2, y}, {19.3, y}, 1.3);
         }},
        {"square.and.arrow.up",
         [](Canvas &k) {
             k.polyline({{8.5, 9.5}, {5, 9.5}, {5, 21}, {19, 21}, {19, 9.5}, {15.5, 9.5}}, 1.8);
             k.line({12, 2.5}, {12, 14.5}, 1.8);
             k.polyline({{8.5, 6}, {12, 2.5}, {15.5, 6}}, 1.8);
         }},
        {"square.stack.3d.up",
         [](Canvas &k) {
             QPolygonF top({{12, 3}, {20.5, 7.5}, {12, 12}, {3.5, 7.5}});
             QPainterPath path;
             path.addPolygon(top);
             path.closeSubpath();
             k.stroke(path, 1.6);
             k.polyline({{3.5, 11.5}, {12, 16}, {20.5, 11.5}}, 1.6);
             k.polyline({{3.5, 15.5}, {12, 20}, {20.5, 15.5}}, 1.6);
         }},
        {"testtube.2",
         [](Canvas &k) {
             for (double x : {5.0, 14.0}) {
                 QPainterPath tube;
                 tube.moveTo(x, 3);
                 tube.lineTo(x, 17.5);
                 tube.arcTo(QRectF(x, 15, 5, 5.5), 180, 180);
                 tube.lineTo(x + 5, 3);
                 k.stroke(tube, 1.6);
                 QPainterPath liquid;
                 liquid.moveTo(x, 11);
                 liquid.lineTo(x, 17.5);
                 liquid.arcTo(QRectF(x, 15, 5, 5.5), 180, 180);
                 liquid.lineTo(x + 5, 11);
                 liquid.closeSubpath();
                 k.fill(liquid);
                 k.line({x - 1.2, 3}, {x + 6.2, 3}, 1.6);
             }
         }},
        {"wand.and.stars",
         [](Canvas &k) {
             k.line({3.5, 20.5}, {14.5, 9.5}, 2.4);
             auto sparkle = [&](QPointF c, double r) {
                 QPainterPath star;
                 star.moveTo(c.x(), c.y() - r);
                 star.quadTo(c, {c.x() + r, c.y()});
                 star.quadTo(c, {c.x(), c.y() + r});
                 star.quadTo(c, {c.x() - r, c.y()});
                 star.quadTo(c, {c.x(), c.y() - r});
                 k.fill(star);
             };
             sparkle({17.5, 5}, 3.5);
             sparkle({8, 5}, 2.2);
             sparkle({19.5, 14.5}, 2.2);
         }},
        {"waveform.path.ecg",
         [](Canvas &k) {
             k.polyline({{2, 12.5}, {6.5, 12.5}, {8.5, 8}, {11, 19}, {13.5, 4}, {16, 15.5}, {17.5, 12.5}, {22, 12.5}},
                        1.8);
         }},
        {"waveform.badge.magnifyingglass",
         [](Canvas &k) {
             const double heights[] = {5, 11, 16, 8, 12};
             for (int i = 0; i < 5; ++i) {
                 const double x = 3 + i * 3.6;
                 k.line({x, 10 - heights[i] / 2}, {x, 10 + heights[i] / 2}, 1.8);
             }
             k.cut([&] { k.dot({17.5, 17.5}, 6.5); });
             magnifier(k, {17.8, 17.8}, 1.0);
         }},
        {"questionmark.square.dashed",
         [](Canvas &k) {
             QPen dashed = k.pen(1.7);
             dashed.setCapStyle(Qt::FlatCap);
             dashed.setDashPattern({2.2, 1.8});
             k.p.setPen(dashed);
             k.p.setBrush(Qt::NoBrush);
             k.p.drawPath(roundedRect({3, 3, 18, 18}, 4.5));
             question(k, {12, 12}, 0.85);
         }},
        {"person.2",
         [](Canvas &k) {
             auto person = [&](QPointF head, double s) {
                 QPainterPath face;
                 face.addEllipse(head, 3.4 * s, 3.4 * s);
                 k.stroke(face, 1.6);
                 QPainterPath body;
                 body.moveTo(head.x() - 6.2 * s, head.y() + 12 * s);
                 body.cubicTo(head.x() - 6.2 * s, head.y() + 6 * s, head.x() + 6.2 * s, head.y() + 6 * s,
                              head.x() + 6.2 * s, head.y() + 12 * s);
                 k.stroke(body, 1.6);
             };
             person({16, 6.5}, 0.85);
             k.cut([&] { k.fill(roundedRect({1, 5, 15.5, 18}, 5)); });
             person({9, 8}, 1.0);
         }},
    };
    return table;
}

// The drawing for a name, or nothing when the name is unknown.
Glyph glyphFor(const QString &name)
{
    const auto &bespoke = drawings();
    if (const auto found = bespoke.find(name); found != bespoke.end()) return found->second;
    QStringList parts = name.split('.');
    const bool filled = parts.size() > 1 && parts.last() == "fill";
    if (filled) parts.removeLast();
    if (parts.size() < 2) return {};
    const auto container = containers().find(parts.takeLast());
    const auto mark = marks().find(parts.join('.'));
    if (container == containers().end() || mark == marks().end()) return {};
    return contained(container->second.outline, mark->second, container->second.centre, container->second.scale, filled);
}

// Every symbol the screens name, so tests can check each one draws.
const QStringList &knownNames()
{
    static const QStringList names = {
        "arrow.clockwise",
        "arrow.down.doc",
        "arrow.right",
        "arrow.right.circle",
        "arrow.up.right.circle",
        "bell.badge",
        "bolt.horizontal.circle",
        "bolt.shield",
        "book",
        "chart.bar.xaxis",
        "checkmark",
        "checkmark.circle.fill",
        "checkmark.seal",
        "checkmark.shield",
        "checkmark.shield.fill",
        "chevron.left.forwardslash.chevron.right",
        "chevron.right",
        "doc",
        "doc.badge.gearshape",
        "doc.badge.plus",
        "doc.on.doc",
        "doc.text.magnifyingglass",
        "dot.radiowaves.left.and.right",
        "ellipsis.circle",
        "exclamationmark.circle",
        "exclamationmark.shield",
        "exclamationmark.shield.fill",
        "exclamationmark.triangle",
        "exclamationmark.triangle.fill",
        "flame.fill",
        "gearshape.2",
        "globe",
        "info.circle",
        "lightbulb",
        "line.3.horizontal.decrease.circle",
        "list.bullet.rectangle",
        "list.number",
        "lock.shield",
        "menubar.rectangle",
        "network",
        "number",
        "pause",
        "person.2",
        "play.fill",
        "plus.rectangle.on.folder",
        "point.3.connected.trianglepath.dotted",
        "questionmark.circle",
        "questionmark.square.dashed",
        "record.circle",
        "shield",
        "shield.lefthalf.filled",
        "shield.lefthalf.filled.badge.checkmark",
        "shield.slash",
        "sidebar.right",
        "square.and.arrow.up",
        "square.stack.3d.up",
        "stop.fill",
        "terminal",
        "terminal.fill",
        "testtube.2",
        "wand.and.stars",
        "waveform.badge.magnifyingglass",
        "waveform.path.ecg",
        "xmark.circle",
        "xmark.circle.fill",
        "xmark.octagon",
        "xmark.octagon.fill",
        "xmark.shield",
    };
    return names;
}

// Desktop theme icons that fit an uncoloured symbol.
QString themeName(const QString &symbol)
{
    static const std::map<QString, QString> table = {
        {"arrow.clockwise", "view-refresh"},
        {"doc.on.doc", "edit-copy"},
        {"play.fill", "media-playback-start"},
        {"stop.fill", "media-playback-stop"},
        {"pause", "media-playback-pause"},
        {"terminal", "utilities-terminal"},
        {"gearshape.2", "preferences-system"},
        {"square.and.arrow.up", "document-export"},
        {"doc", "text-x-generic"},
    };
    const auto found = table.find(symbol);
    return found == table.end() ? QString() : found->second;
}

void drawUnknown(Canvas &k)
{
    QPen dashed = k.pen(1.7);
    dashed.setDashPattern({2.2, 1.8});
    k.p.setPen(dashed);
    k.p.setBrush(Qt::NoBrush);
    k.p.drawPath(roundedRect({3, 3, 18, 18}, 4.5));
}

class GlyphEngine : public QIconEngine {
public:
    GlyphEngine(QString name, QColor color, Glyph glyph)
        : m_name(std::move(name)), m_color(std::move(color)), m_glyph(std::move(glyph))
    {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal scale = painter->device() ? painter->device()->devicePixelRatioF() : 1;
        painter->drawPixmap(rect, scaledPixmap((QSizeF(rect.size()) * scale).toSize(), mode, state, scale));
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1);
    }

    // QIcon hands over the size in device pixels already.
    QPixmap scaledPixmap(const QSize &pixels, QIcon::Mode mode, QIcon::State, qreal scale) override
    {
        if (pixels.isEmpty()) return {};
        // Table cells repaint the same few badges over and over: draw each variant once.
        const QColor color = ink(mode);
        const QString cacheKey = QStringLiteral("qm-symbol:%1:%2:%3x%4:%5")
                                     .arg(m_name)
                                     .arg(color.rgba(), 8, 16)
                                     .arg(pixels.width())
                                     .arg(pixels.height())
                                     .arg(scale);
        QPixmap result;
        if (QPixmapCache::find(cacheKey, &result)) return result;
        QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            const double side = std::min(pixels.width(), pixels.height());
            painter.translate((pixels.width() - side) / 2, (pixels.height() - side) / 2);
            painter.scale(side / 24, side / 24);
            Canvas canvas(painter, color);
            if (m_glyph) m_glyph(canvas);
            else drawUnknown(canvas);
        }
        result = QPixmap::fromImage(image);
        result.setDevicePixelRatio(scale);
        QPixmapCache::insert(cacheKey, result);
        return result;
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        return {{16, 16}, {24, 24}, {32, 32}, {48, 48}, {64, 64}};
    }

    QIconEngine *clone() const override { return new GlyphEngine(m_name, m_color, m_glyph); }
    QString key() const override { return QStringLiteral("QuillmarshSymbol"); }
    QString iconName() override { return m_name; }

private:
    QColor ink(QIcon::Mode mode) const
    {
        const QPalette palette = QApplication::palette();
        QColor color = m_color.isValid() ? m_color : palette.color(QPalette::WindowText);
        if (mode == QIcon::Selected && !m_color.isValid()) color = palette.color(QPalette::HighlightedText);
        if (mode == QIcon::Disabled) color.setAlphaF(color.alphaF() * 0.35f);
        return color;
    }

    QString m_name;
    QColor m_color;
    Glyph m_glyph;
};

} // namespace

QIcon symbolIcon(const QString &name, const QColor &color)
{
    if (!color.isValid()) {
        const QString theme = themeName(name);
        if (!theme.isEmpty() && QIcon::hasThemeIcon(theme)) return QIcon::fromTheme(theme);
    }
    return QIcon(new GlyphEngine(name, color, glyphFor(name)));
}

QPixmap symbolPixmap(const QString &name, int size, const QColor &color, qreal devicePixelRatio)
{
    return symbolIcon(name, color).pixmap(QSize(size, size), devicePixelRatio);
}

bool hasSymbol(const QString &name)
{
    return bool(glyphFor(name));
}

QStringList symbolNames()
{
    return knownNames();
}

void setSymbol(QAbstractButton *button, const QString &name, const QColor &color)
{
    button->setIcon(symbolIcon(name, color));
    button->setProperty("symbol", name);
}

void setSymbol(QAction *action, const QString &name, const QColor &color)
{
    action->setIcon(symbolIcon(name, color));
    action->setProperty("symbol", name);
}

void setSymbol(QLabel *label, const QString &name, int size, const QColor &color)
{
    const qreal scale = label->devicePixelRatioF();
    label->setPixmap(symbolPixmap(name, size, color, scale));
    label->setFixedSize(size, size);
    label->setProperty("symbol", name);
}
