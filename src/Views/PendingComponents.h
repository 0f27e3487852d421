#pragma once
// Interim stand-ins until the shared components are merged. Deleted on merge.

#include "Engine/Analysis/Finding.h"

#include <QFont>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPalette>
#include <QVBoxLayout>

namespace Pending {

inline QFont font(double scale, bool bold = false)
{
    QFont f;
    f.setPointSizeF(f.pointSizeF() * scale);
    f.setBold(bold);
    return f;
}

inline QColor secondary(const QPalette &p) { QColor c = p.color(QPalette::WindowText); c.setAlphaF(0.55); return c; }
inline QColor tertiary(const QPalette &p) { QColor c = p.color(QPalette::WindowText); c.setAlphaF(0.3); return c; }

inline QFrame *card(const QString &title, const QString &symbol, QVBoxLayout *&content)
{
    auto *frame = new QFrame;
    frame->setFrameShape(QFrame::StyledPanel);
    content = new QVBoxLayout(frame);
    content->setContentsMargins(16, 16, 16, 16);
    content->setSpacing(12);
    if (!title.isEmpty()) {
        auto *header = new QLabel(title);
        header->setFont(font(1.0, true));
        header->setProperty("symbol", symbol);
        content->addWidget(header);
    }
    return frame;
}

inline QWidget *severityBadge(Severity s)
{
    return new QLabel(QString::fromUtf8(severityTitle(s)));
}

} // namespace Pending
