#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <QStringList>

class QAbstractButton;
class QAction;
class QLabel;

// The symbol-name-to-icon table. Screens name icons by the platform symbol names the design uses
// ("exclamationmark.triangle.fill", "doc.on.doc", ...). Without a colour the desktop theme's icon
// is used where one fits, looked up by its freedesktop name, else the bundled SVG in the palette's
// text colour; with a colour the bundled SVG is always drawn in it, so tinted symbols look the same
// on every desktop. Every name in symbolNames() has a bundled SVG and so shows with no icon theme
// at all; unknown names draw a dashed square.
//
// The setSymbol() helpers also store the name as the widget's or action's "symbol" property, so
// tests can assert which symbol is shown.

QIcon symbolIcon(const QString &name, const QColor &color = {});
QPixmap symbolPixmap(const QString &name, int size, const QColor &color = {}, qreal devicePixelRatio = 1);
bool hasSymbol(const QString &name);
QStringList symbolNames();

void setSymbol(QAbstractButton *button, const QString &name, const QColor &color = {});
void setSymbol(QAction *action, const QString &name, const QColor &color = {});
// A label showing only the symbol, size pixels square.
void setSymbol(QLabel *label, const QString &name, int size, const QColor &color = {});
