#pragma once

#include <QColor>
#include <QPixmap>

class QFrame;
class QWidget;

// A filled circle `diameter` points across, `top` points below the pixmap's top edge (the rest
// transparent), drawn at twice the size for sharp edges.
QPixmap dotPixmap(const QColor &color, int diameter, int top = 0);

// A one-line horizontal rule in the separator colour.
QFrame *horizontalDivider(QWidget *parent);
