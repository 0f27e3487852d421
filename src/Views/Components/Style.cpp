#include "Views/Components/Style.h"

#include <QApplication>
#include <QFontDatabase>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QWidget>

#include <algorithm>
#include <cmath>

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

QColor over(const QColor &top, const QColor &bottom)
{
    const double a = top.alphaF();
    const auto mix = [a](double t, double b) { return t * a + b * (1 - a); };
    return QColor::fromRgbF(float(mix(top.redF(), bottom.redF())), float(mix(top.greenF(), bottom.greenF())),
                            float(mix(top.blueF(), bottom.blueF())));
}

double luminance(const QColor &color)
{
    const auto linear = [](double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    return 0.2126 * linear(color.redF()) + 0.7152 * linear(color.greenF()) + 0.0722 * linear(color.blueF());
}

// The least opacity of the text colour that reads at the ratio on every text background, worked
// out once per application palette (item models ask for it in every cell).
double opacityFor(double ratio)
{
    struct Known {
        qint64 palette;
        double ratio;
        double opacity;
    };
    static std::vector<Known> known;
    const qint64 key = QApplication::palette().cacheKey();
    for (const Known &k : known)
        if (k.palette == key && k.ratio == ratio) return k.opacity;
    if (known.size() > 16) known.clear();
    const std::vector<QColor> backgrounds = textBackgrounds();
    for (int percent = 1; percent < 100; ++percent) {
        const QColor text = textAt(percent / 100.0);
        if (std::all_of(backgrounds.begin(), backgrounds.end(),
                        [&](const QColor &background) { return contrast(text, background) >= ratio; })) {
            known.push_back({key, ratio, percent / 100.0});
            return percent / 100.0;
        }
    }
    known.push_back({key, ratio, 1});
    return 1;
}

// A step above 4.5:1, so that a rounding of the colour on the way to the screen stays above it.
constexpr double contrastMargin = 0.1;
constexpr double secondaryStep = 0.08;

} // namespace

// The colour mixed toward the text colour until it reads on every (tinted) text background.
QColor mixedToRead(const QColor &color, double tintUnder);

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
    return textAt(std::max(0.55, opacityFor(textContrast + contrastMargin) + secondaryStep));
}
QColor tertiaryText()
{
    return textAt(std::max(0.30, opacityFor(textContrast + contrastMargin)));
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

double contrast(const QColor &foreground, const QColor &background)
{
    const QColor opaque = QColor::fromRgbF(float(background.redF()), float(background.greenF()),
                                           float(background.blueF()));
    const double a = luminance(over(foreground, opaque));
    const double b = luminance(opaque);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

double requiredContrast(const QFont &font)
{
    // Point sizes are at 96 dots per inch here: 18.66 px is 14 points, 24 px is 18 points.
    const double points = font.pointSizeF() > 0 ? font.pointSizeF() : font.pixelSize() * 0.75;
    const bool bold = font.weight() >= QFont::Bold;
    return points >= 18 || (bold && points >= 14) ? largeTextContrast : textContrast;
}

std::vector<QColor> textBackgrounds()
{
    const QPalette palette = QApplication::palette();
    return {palette.color(QPalette::Window), secondaryBackground(), palette.color(QPalette::Base),
            palette.color(QPalette::AlternateBase)};
}

QColor ink(const QColor &color, double tintUnder)
{
    // Item models ask in every cell: each colour is worked out once per application palette.
    struct Known {
        qint64 palette;
        QRgb color;
        double tint;
        QColor ink;
    };
    static std::vector<Known> known;
    const qint64 key = QApplication::palette().cacheKey();
    for (const Known &k : known)
        if (k.palette == key && k.color == color.rgba() && k.tint == tintUnder) return k.ink;
    if (known.size() > 64) known.clear();
    const QColor made = mixedToRead(color, tintUnder);
    known.push_back({key, color.rgba(), tintUnder, made});
    return made;
}

QColor mixedToRead(const QColor &color, double tintUnder)
{
    std::vector<QColor> backgrounds = textBackgrounds();
    if (tintUnder > 0)
        for (QColor &background : backgrounds) background = over(withOpacity(color, tintUnder), background);
    const QColor text = QApplication::palette().color(QPalette::WindowText);
    const QColor opaque = over(color, backgrounds.front());
    for (int percent = 0; percent <= 100; percent += 2) {
        const double t = percent / 100.0;
        const QColor mixed = QColor::fromRgbF(float(opaque.redF() * (1 - t) + text.redF() * t),
                                              float(opaque.greenF() * (1 - t) + text.greenF() * t),
                                              float(opaque.blueF() * (1 - t) + text.blueF() * t));
        if (std::all_of(backgrounds.begin(), backgrounds.end(), [&](const QColor &background) {
                return contrast(mixed, background) >= textContrast + contrastMargin;
            }))
            return percent == 0 ? color : mixed;
    }
    return text;
}

QColor fillUnderWhite(const QColor &color)
{
    QColor fill = over(color, Qt::white);
    for (int step = 0; step < 50 && contrast(Qt::white, fill) < textContrast + contrastMargin; ++step)
        fill = fill.darker(105);
    return fill;
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
    // A named colour is made legible as text; the style's own text colours already are.
    const QColor legible = ink(color);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, legible);
    palette.setColor(QPalette::Text, legible);
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
