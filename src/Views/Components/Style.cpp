#include "Views/Components/Style.h"

#include <QApplication>
#include <QFontDatabase>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QWidget>

#include <algorithm>

namespace Style {

namespace {

// Point size steps from the body size, after the platform's text style ladder.
struct StyleStep {
    double delta;
    QFont::Weight weight;
};

StyleStep step(TextStyle style)
{
    switch (style) {
    case TextStyle::largeTitle: return {11, QFont::Normal};
    case TextStyle::title: return {7, QFont::Normal};
    case TextStyle::title2: return {4, QFont::Normal};
    case TextStyle::title3: return {2, QFont::Normal};
    case TextStyle::headline: return {0, QFont::Bold};
    case TextStyle::body: return {0, QFont::Normal};
    case TextStyle::callout: return {-1, QFont::Normal};
    case TextStyle::subheadline: return {-1.5, QFont::Normal};
    case TextStyle::caption: return {-2, QFont::Normal};
    case TextStyle::caption2: return {-2.5, QFont::Normal};
    }
    return {0, QFont::Normal};
}

constexpr double smallestPointSize = 7;

QColor textAt(double opacity)
{
    return withOpacity(QApplication::palette().color(QPalette::WindowText), opacity);
}

} // namespace

QFont font(TextStyle style)
{
    QFont f = QApplication::font();
    const StyleStep s = step(style);
    const double base = f.pointSizeF() > 0 ? f.pointSizeF() : 10;
    f.setPointSizeF(std::max(smallestPointSize, base + s.delta));
    f.setWeight(s.weight);
    return f;
}

QFont largeTitle()
{
    return font(TextStyle::largeTitle);
}
QFont title()
{
    return font(TextStyle::title);
}
QFont title2()
{
    return font(TextStyle::title2);
}
QFont title3()
{
    return font(TextStyle::title3);
}
QFont headline()
{
    return font(TextStyle::headline);
}
QFont body()
{
    return font(TextStyle::body);
}
QFont callout()
{
    return font(TextStyle::callout);
}
QFont subheadline()
{
    return font(TextStyle::subheadline);
}
QFont caption()
{
    return font(TextStyle::caption);
}
QFont caption2()
{
    return font(TextStyle::caption2);
}

QFont monospaced(const QFont &font)
{
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSizeF(font.pointSizeF() > 0 ? font.pointSizeF() : fixed.pointSizeF());
    fixed.setWeight(font.weight());
    fixed.setItalic(font.italic());
    return fixed;
}

QFont withWeight(QFont font, QFont::Weight weight)
{
    font.setWeight(weight);
    return font;
}

QFont semibold(const QFont &font)
{
    return withWeight(font, QFont::DemiBold);
}

QColor primaryText()
{
    return textAt(1);
}
QColor secondaryText()
{
    return textAt(0.55);
}
QColor tertiaryText()
{
    return textAt(0.30);
}
QColor quaternaryText()
{
    return textAt(0.18);
}
QColor accent()
{
    return QApplication::palette().color(QPalette::Highlight);
}
QColor separator()
{
    return QApplication::palette().color(QPalette::Mid);
}

QColor secondaryBackground()
{
    const QColor window = QApplication::palette().color(QPalette::Window);
    // Lighter panels on a light window, darker-than-text panels on a dark one.
    return window.lightness() > 128 ? window.lighter(104) : window.lighter(125);
}

QColor red()
{
    return QColor(255, 59, 48);
}
QColor orange()
{
    return QColor(255, 149, 0);
}
QColor yellow()
{
    return QColor(255, 204, 0);
}
QColor green()
{
    return QColor(40, 167, 69);
}
QColor mint()
{
    return QColor(0, 199, 190);
}
QColor teal()
{
    return QColor(48, 176, 199);
}
QColor cyan()
{
    return QColor(50, 173, 230);
}
QColor blue()
{
    return QColor(0, 122, 255);
}
QColor indigo()
{
    return QColor(88, 86, 214);
}
QColor purple()
{
    return QColor(175, 82, 222);
}
QColor pink()
{
    return QColor(255, 45, 85);
}
QColor brown()
{
    return QColor(162, 132, 94);
}
QColor gray()
{
    return QColor(142, 142, 147);
}
QColor mediumSeverity()
{
    return QColor::fromRgbF(0.86f, 0.62f, 0.0f, 1.0f);
}

QColor withOpacity(QColor color, double opacity)
{
    color.setAlphaF(float(std::clamp(color.alphaF() * opacity, 0.0, 1.0)));
    return color;
}

SeverityStyle severity(Severity severity)
{
    switch (severity) {
    case Severity::info: return {"Info", "info.circle", secondaryText()};
    case Severity::low: return {"Low", "exclamationmark.circle", blue()};
    case Severity::medium: return {"Medium", "exclamationmark.triangle", mediumSeverity()};
    case Severity::high: return {"High", "exclamationmark.triangle.fill", orange()};
    case Severity::critical: return {"Critical", "flame.fill", red()};
    }
    return {"Info", "info.circle", secondaryText()};
}

void setTextStyle(QWidget *widget, const QFont &font, const QColor &color)
{
    widget->setFont(font);
    if (!color.isValid()) return;
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    widget->setPalette(palette);
}

void paintPanel(QPainter &painter, const QRectF &rect)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    constexpr double radius = 12;
    painter.setPen(Qt::NoPen);
    painter.setBrush(secondaryBackground());
    painter.drawRoundedRect(rect, radius, radius);
    // A 1-point line centred half a point inside the edge lies wholly inside it.
    painter.setPen(QPen(withOpacity(separator(), 0.6), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), radius - 0.5, radius - 0.5);
    painter.restore();
}

void paintCapsule(QPainter &painter, const QRectF &rect, const QColor &fill)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    const double radius = rect.height() / 2;
    painter.drawRoundedRect(rect, radius, radius);
    painter.restore();
}

} // namespace Style
