#pragma once

#include <QFrame>

// A one-pixel horizontal line in the separator colour between stacked parts of a screen.
inline QFrame *horizontalDivider(QWidget *parent)
{
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setForegroundRole(QPalette::Mid);
    return line;
}
