#pragma once

#include "Engine/Analysis/Finding.h"

#include <QColor>
#include <QFont>
#include <QString>

#include <vector>

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

// Text colours: the palette's text colour at about 55 %, 30 % and 18 %, except that secondary and
// tertiary text are made as opaque as they must be to reach 4.5:1 against every background text
// stands on (tertiary just there, secondary a step beyond). Quaternary is for fills, not text.
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

// Contrast as WCAG 2.1 defines it (1 to 21), of a colour (its alpha laid over the background)
// against an opaque background.
double contrast(const QColor &foreground, const QColor &background);
// The least contrast text must have: 4.5:1, or 3:1 for large text (18.66 px bold, 24 px otherwise).
inline constexpr double textContrast = 4.5;
inline constexpr double largeTextContrast = 3.0;
double requiredContrast(const QFont &font);
// The backgrounds text stands on: the window, a card, a list's base and alternate rows.
std::vector<QColor> textBackgrounds();
// A named colour as text: the colour itself where it reads at 4.5:1 on every text background, else
// the same hue mixed toward the text colour until it does (darker on a light palette, lighter on a
// dark one). With a tint, each background is first washed with the colour at that opacity, as a
// badge's capsule is.
QColor ink(const QColor &color, double tintUnder = 0);
// A fill that white text reads on at 4.5:1: the colour, darkened as far as needed.
QColor fillUnderWhite(const QColor &color);

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
