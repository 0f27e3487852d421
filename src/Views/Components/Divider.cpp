#include "Views/Components/Divider.h"

#include "Views/Components/Style.h"

#include <QFrame>

QFrame *makeDivider(QWidget *parent)
{
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setLineWidth(1);
    QPalette palette = line->palette();
    palette.setColor(QPalette::WindowText, Style::separator());
    line->setPalette(palette);
    return line;
}
