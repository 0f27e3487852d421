#include "Platform/IconBadge.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPixmap>

#include <algorithm>

void IconBadge::setLabel(const QString &label)
{
    if (label == m_label) return;
    m_label = label;
    emit labelChanged(m_label);
}

QImage IconBadge::drawn(const QImage &icon, const QString &label)
{
    if (label.isEmpty() || icon.isNull()) return icon;
    QImage image = icon.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const qreal height = std::max<qreal>(1, std::min(image.width(), image.height()) * 0.55);
    const qreal padding = height * 0.5;

    QFont font;
    font.setBold(true);
    font.setPixelSize(std::max(1, int(height * 0.72)));
    // Long counts shrink rather than spill out of the icon.
    const qreal textWidth = QFontMetricsF(font).horizontalAdvance(label);
    if (textWidth + padding > image.width() && textWidth > 0)
        font.setPixelSize(std::max(1, int(font.pixelSize() * (image.width() - padding) / textWidth)));
    const qreal width = std::clamp(QFontMetricsF(font).horizontalAdvance(label) + padding, height, qreal(image.width()));
    const QRectF badge(image.width() - width, 0, width, height);

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xE5, 0x39, 0x35));
    painter.drawRoundedRect(badge, height / 2, height / 2);
    painter.setPen(Qt::white);
    painter.setFont(font);
    painter.drawText(badge, Qt::AlignCenter, label);
    return image;
}

QIcon IconBadge::drawn(const QIcon &icon, const QString &label)
{
    if (label.isEmpty()) return icon;
    QList<QSize> sizes = icon.availableSizes();
    if (sizes.isEmpty()) sizes = {QSize(16, 16), QSize(22, 22), QSize(32, 32), QSize(64, 64)};
    QIcon badged;
    for (const QSize &size : sizes) badged.addPixmap(QPixmap::fromImage(drawn(icon.pixmap(size).toImage(), label)));
    return badged;
}
