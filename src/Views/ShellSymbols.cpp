#include "Views/ShellSymbols.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <functional>
#include <map>

namespace {

// Each symbol is drawn on a 24-unit square; the painter is scaled to the icon's size.
using Draw = std::function<void(QPainter &, const QColor &)>;

QPen line(const QColor &c, qreal width = 1.8)
{
    return QPen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

QPainterPath shield(qreal x, qreal y, qreal w, qreal h)
{
    QPainterPath p;
    p.moveTo(x + w / 2, y);
    p.lineTo(x + w, y + h * 0.18);
    p.cubicTo(x + w, y + h * 0.62, x + w * 0.8, y + h * 0.85, x + w / 2, y + h);
    p.cubicTo(x + w * 0.2, y + h * 0.85, x, y + h * 0.62, x, y + h * 0.18);
    p.closeSubpath();
    return p;
}

void document(QPainter &p, qreal x, qreal y, qreal w, qreal h)
{
    QPainterPath d;
    d.moveTo(x, y);
    d.lineTo(x + w - 5, y);
    d.lineTo(x + w, y + 5);
    d.lineTo(x + w, y + h);
    d.lineTo(x, y + h);
    d.closeSubpath();
    p.drawPath(d);
}

void plus(QPainter &p, qreal cx, qreal cy, qreal r)
{
    p.drawLine(QPointF(cx - r, cy), QPointF(cx + r, cy));
    p.drawLine(QPointF(cx, cy - r), QPointF(cx, cy + r));
}

const std::map<QString, Draw> &drawings()
{
    static const std::map<QString, Draw> table = {
        {"chart.bar.xaxis", [](QPainter &p, const QColor &c) {
             p.setPen(line(c));
             p.drawLine(QPointF(3, 21), QPointF(21, 21));
             p.setPen(line(c, 3));
             p.drawLine(QPointF(6.5, 18), QPointF(6.5, 12));
             p.drawLine(QPointF(12, 18), QPointF(12, 5));
             p.drawLine(QPointF(17.5, 18), QPointF(17.5, 9));
         }},
        {"list.bullet.rectangle", [](QPainter &p, const QColor &c) {
             p.setPen(line(c));
             p.drawRoundedRect(QRectF(2.5, 4, 19, 16), 3, 3);
             for (qreal y : {9.0, 12.5, 16.0}) {
                 p.drawPoint(QPointF(7, y));
                 p.drawLine(QPointF(10, y), QPointF(18, y));
             }
         }},
        {"point.3.connected.trianglepath.dotted", [](QPainter &p, const QColor &c) {
             p.setPen(QPen(c, 1.5, Qt::DotLine, Qt::RoundCap));
             p.drawLine(QPointF(12, 5), QPointF(5, 18));
             p.drawLine(QPointF(12, 5), QPointF(19, 18));
             p.drawLine(QPointF(5, 18), QPointF(19, 18));
             p.setPen(Qt::NoPen);
             p.setBrush(c);
             for (QPointF point : {QPointF(12, 5), QPointF(5, 18), QPointF(19, 18)}) p.drawEllipse(point, 3, 3);
         }},
        {"exclamationmark.shield", [](QPainter &p, const QColor &c) {
             p.setPen(line(c));
             p.drawPath(shield(4, 2.5, 16, 19));
             p.setPen(line(c, 2.2));
             p.drawLine(QPointF(12, 7.5), QPointF(12, 13));
             p.drawPoint(QPointF(12, 16.5));
         }},
        {"network", [](QPainter &p, const QColor &c) {
             p.setPen(line(c, 1.6));
             p.drawEllipse(QPointF(12, 12), 9, 9);
             p.drawEllipse(QPointF(12, 12), 4, 9);
             p.drawLine(QPointF(3, 12), QPointF(21, 12));
         }},
        {"dot.radiowaves.left.and.right", [](QPainter &p, const QColor &c) {
             p.setPen(Qt::NoPen);
             p.setBrush(c);
             p.drawEllipse(QPointF(12, 12), 2.5, 2.5);
             p.setBrush(Qt::NoBrush);
             p.setPen(line(c, 1.7));
             p.drawArc(QRectF(6, 6, 12, 12), 120 * 16, 120 * 16);
             p.drawArc(QRectF(6, 6, 12, 12), -60 * 16, 120 * 16);
             p.drawArc(QRectF(2, 2, 20, 20), 125 * 16, 110 * 16);
             p.drawArc(QRectF(2, 2, 20, 20), -55 * 16, 110 * 16);
         }},
        {"bell.badge", [](QPainter &p, const QColor &c) {
             p.setPen(line(c));
             QPainterPath bell;
             bell.moveTo(5, 17);
             bell.cubicTo(7, 15, 6.5, 12, 6.5, 10);
             bell.cubicTo(6.5, 6, 9, 4, 12, 4);
             bell.cubicTo(15, 4, 17.5, 6, 17.5, 10);
             bell.cubicTo(17.5, 12, 17, 15, 19, 17);
             bell.closeSubpath();
             p.drawPath(bell);
             p.drawArc(QRectF(10, 17, 4, 4), 180 * 16, 180 * 16);
             p.setPen(Qt::NoPen);
             p.setBrush(QColor(0xFF, 0x3B, 0x30));
             p.drawEllipse(QPointF(18.5, 5.5), 3.2, 3.2);
         }},
        {"doc.on.doc", [](QPainter &p, const QColor &c) {
             p.setPen(line(c, 1.6));
             p.drawRoundedRect(QRectF(8, 2.5, 12, 15), 2, 2);
             p.setBrush(p.background());
             p.drawRoundedRect(QRectF(4, 6.5, 12, 15), 2, 2);
         }},
        {"gearshape.2", [](QPainter &p, const QColor &c) {
             p.setPen(line(c, 2.2));
             for (int i = 0; i < 8; ++i) {
                 const qreal a = i * M_PI / 4;
                 p.drawLine(QPointF(12 + 6.5 * std::cos(a), 12 + 6.5 * std::sin(a)),
                            QPointF(12 + 9.5 * std::cos(a), 12 + 9.5 * std::sin(a)));
             }
             p.setPen(line(c, 1.8));
             p.drawEllipse(QPointF(12, 12), 6.5, 6.5);
             p.drawEllipse(QPointF(12, 12), 2.5, 2.5);
         }},
        {"book", [](QPainter &p, const QColor &c) {
             p.setPen(line(c, 1.6));
             QPainterPath book;
             book.moveTo(12, 7);
             book.cubicTo(9, 4.5, 5, 4.5, 2.5, 5.5);
             book.lineTo(2.5, 19.5);
             book.cubicTo(5, 18.5, 9, 18.5, 12, 21);
             book.cubicTo(15, 18.5, 19, 18.5, 21.5, 19.5);
             book.lineTo(21.5, 5.5);
             book.cubicTo(19, 4.5, 15, 4.5, 12, 7);
             book.lineTo(12, 21);
             p.drawPath(book);
         }},
        {"plus.rectangle.on.folder", [](QPainter &p, const QColor &c) {
             p.setPen(line(c, 1.6));
             QPainterPath folder;
             folder.moveTo(2.5, 19.5);
             folder.lineTo(2.5, 5);
             folder.lineTo(9, 5);
             folder.lineTo(11, 7.5);
             folder.lineTo(21.5, 7.5);
             folder.lineTo(21.5, 19.5);
             folder.closeSubpath();
             p.drawPath(folder);
             plus(p, 12, 13.5, 3.5);
         }},
        {"square.and.arrow.up", [](QPainter &p, const QColor &c) {
             p.setPen(line(c, 1.6));
             p.drawPolyline(QPolygonF({QPointF(8, 10), QPointF(5, 10), QPointF(5, 21), QPointF(19, 21),
                                       QPointF(19, 10), QPointF(16, 10)}));
             p.drawLine(QPointF(12, 2.5), QPointF(12, 15));
             p.drawPolyline(QPolygonF({QPointF(8, 6.5), QPointF(12, 2.5), QPointF(16, 6.5)}));
         }},
        {"doc", [](QPainter &p, const QColor &c) {
             p.setPen(line(c, 1.6));
             document(p, 5, 2.5, 14, 19);
         }},
        {"doc.badge.plus", [](QPainter &p, const QColor &c) {
             p.setPen(line(c, 1.6));
             document(p, 3.5, 2.5, 13, 18);
             p.setPen(line(c, 2));
             plus(p, 18, 18, 3.5);
         }},
        {"lock.shield", [](QPainter &p, const QColor &c) {
             p.setPen(line(c, 1.6));
             p.drawPath(shield(3.5, 2, 17, 20));
             p.drawRoundedRect(QRectF(8.5, 11, 7, 5.5), 1, 1);
             p.drawArc(QRectF(9.5, 7.5, 5, 6), 0, 180 * 16);
         }},
        {"testtube.2", [](QPainter &p, const QColor &c) {
             p.setPen(line(c, 1.6));
             for (qreal x : {7.0, 15.0}) {
                 QPainterPath tube;
                 tube.moveTo(x - 2.5, 3);
                 tube.lineTo(x - 2.5, 18);
                 tube.arcTo(QRectF(x - 2.5, 15.5, 5, 5), 180, 180);
                 tube.lineTo(x + 2.5, 3);
                 p.drawPath(tube);
                 p.drawLine(QPointF(x - 3.5, 3), QPointF(x + 3.5, 3));
                 p.drawLine(QPointF(x - 2.5, 12), QPointF(x + 2.5, 12));
             }
         }},
        {"xmark.circle", [](QPainter &p, const QColor &c) {
             p.setPen(line(c, 1.6));
             p.drawEllipse(QPointF(12, 12), 9, 9);
             p.drawLine(QPointF(9, 9), QPointF(15, 15));
             p.drawLine(QPointF(15, 9), QPointF(9, 15));
         }},
        {"magnifyingglass", [](QPainter &p, const QColor &c) {
             p.setPen(line(c, 2));
             p.drawEllipse(QPointF(10, 10), 6, 6);
             p.drawLine(QPointF(14.5, 14.5), QPointF(20, 20));
         }},
        {"shield.lefthalf.filled.badge.checkmark", [](QPainter &p, const QColor &c) {
             const QPainterPath outline = shield(3, 1.5, 18, 21);
             QPainterPath left;
             left.addRect(QRectF(0, 0, 12, 24));
             p.setPen(Qt::NoPen);
             QColor fill = c;
             fill.setAlphaF(0.35f);
             p.fillPath(outline.intersected(left), fill);
             p.setPen(line(c, 1.2));
             p.setBrush(Qt::NoBrush);
             p.drawPath(outline);
             p.setPen(Qt::NoPen);
             p.setBrush(c);
             p.drawEllipse(QPointF(18, 18), 5, 5);
             p.setPen(line(Qt::white, 1.4));
             p.drawPolyline(QPolygonF({QPointF(15.8, 18), QPointF(17.4, 19.6), QPointF(20.3, 16.5)}));
         }},
    };
    return table;
}

class SymbolEngine : public QIconEngine {
public:
    SymbolEngine(QString name, QColor tint) : m_name(std::move(name)), m_tint(tint) {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override
    {
        QColor colour = mode == QIcon::Selected ? QColor(Qt::white) : m_tint;
        if (mode == QIcon::Disabled) colour.setAlphaF(0.35f);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        const qreal side = std::min(rect.width(), rect.height());
        painter->translate(rect.x() + (rect.width() - side) / 2, rect.y() + (rect.height() - side) / 2);
        painter->scale(side / 24.0, side / 24.0);
        painter->setBrush(Qt::NoBrush);
        const auto &table = drawings();
        if (const auto it = table.find(m_name); it != table.end()) {
            it->second(*painter, colour);
        } else {
            painter->setPen(line(colour));
            painter->drawRoundedRect(QRectF(4, 4, 16, 16), 4, 4);
        }
        painter->restore();
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(), size), mode, state);
        return pixmap;
    }

    QIconEngine *clone() const override { return new SymbolEngine(m_name, m_tint); }

private:
    QString m_name;
    QColor m_tint;
};

} // namespace

QIcon shellSymbol(const QString &name, const QColor &tint)
{
    return QIcon(new SymbolEngine(name, tint));
}
