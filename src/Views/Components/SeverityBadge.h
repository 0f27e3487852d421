#pragma once

#include "Engine/Analysis/Finding.h"

#include <QWidget>

class QPainter;

// The severity's symbol and, unless compact, its title, in caption semibold in the severity's
// colour on a capsule of that colour at 14 %. Padding 7 (compact 4) across, 2 down.
namespace SeverityBadgePainter {
QSize sizeHint(Severity severity, bool compact);
// Paints the badge at its natural size, vertically centred in rect, leading-aligned. A valid
// backdrop is laid under the tinted capsule, so the badge stays legible on a selection colour.
void paint(QPainter &painter, const QRect &rect, Severity severity, bool compact, const QColor &backdrop = QColor());
} // namespace SeverityBadgePainter

class SeverityBadge : public QWidget {
    Q_OBJECT

public:
    explicit SeverityBadge(Severity severity, bool compact = false, QWidget *parent = nullptr);

    void setSeverity(Severity severity);
    Severity severity() const { return m_severity; }
    // The shown title, "" when compact.
    QString text() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Severity m_severity;
    bool m_compact;
};
