#include "Views/Components/Shapes.h"

#include <QFrame>
#include <QPainter>

QPixmap dotPixmap(const QColor &color, int diameter, int top)
{
    constexpr qreal ratio = 2;
    QPixmap pixmap(QSize(diameter, top + diameter) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(QRectF(0, top, diameter, diameter));
    return pixmap;
}

QFrame *horizontalDivider(QWidget *parent)
{
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setForegroundRole(QPalette::Mid);
    return line;
}
