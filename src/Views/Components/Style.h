#pragma once

#include "Engine/Analysis/Finding.h"

#include <QColor>
#include <QFont>
#include <QString>

class QPainter;
class QRectF;
class QWidget;

// Text styles and colours every screen shares. Fonts are relative to the application font, so
// they follow the desktop's size; colours follow the application palette where the platform's
// own ones would (secondary and tertiary text, accent, separator, panel background).
namespace Style {

enum class TextStyle { largeTitle, title, title2, title3, headline, body, callout, subheadline, caption, caption2 };

QFont font(TextStyle style);
QFont largeTitle();
QFont title();
QFont title2();
QFont title3();
QFont headline(); // bold body
QFont body();
QFont callout();
QFont subheadline();
QFont caption();
QFont caption2();

// The same font in the fixed-pitch family, at the same size and weight.
QFont monospaced(const QFont &font);
QFont withWeight(QFont font, QFont::Weight weight);
QFont semibold(const QFont &font);

// Text colours: the palette's text colour at about 55 %, 30 % and 18 %.
QColor primaryText();
QColor secondaryText();
QColor tertiaryText();
QColor quaternaryText();
QColor accent();    // the palette's highlight
QColor separator(); // the palette's mid colour
// The panel background of cards and tiles: a step off the window background.
QColor secondaryBackground();

// Fixed named colours.
QColor red();
QColor orange();
QColor yellow();
QColor green();
QColor mint();
QColor teal();
QColor cyan();
QColor blue();
QColor indigo();
QColor purple();
QColor pink();
QColor brown();
QColor gray();
// The medium severity's own yellow-orange, sRGB (0.86, 0.62, 0).
QColor mediumSeverity();

// colour at the given opacity (0..1), multiplied with its own alpha.
QColor withOpacity(QColor color, double opacity);

// The one presentation of a severity: title, symbol and colour.
struct SeverityStyle {
    QString title;
    QString symbol;
    QColor color;
};
SeverityStyle severity(Severity severity);

// Sets a widget's foreground text colour (QPalette::WindowText and Text) and font in one call.
void setTextStyle(QWidget *widget, const QFont &font, const QColor &color = {});

// Card and tile background: rounded rectangle (radius 12) in the panel background, stroked inside
// its edge with the separator at 60 %.
void paintPanel(QPainter &painter, const QRectF &rect);
// A capsule filled with the colour at the opacity (badges, chips).
void paintCapsule(QPainter &painter, const QRectF &rect, const QColor &fill);

} // namespace Style
