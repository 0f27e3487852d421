#pragma once

#include <QLabel>

// A success or failure icon with a tooltip: "checkmark.circle.fill" green "Success", or
// "xmark.octagon.fill" red "Failure". No text.
namespace ResultBadgePainter {
QString symbol(bool success);
QString toolTip(bool success);
QColor color(bool success);
int iconSize();
void paint(QPainter &painter, const QRect &rect, bool success, Qt::Alignment alignment = Qt::AlignCenter);
} // namespace ResultBadgePainter

class ResultBadge : public QLabel {
    Q_OBJECT

public:
    explicit ResultBadge(bool success, QWidget *parent = nullptr);

    void setSuccess(bool success);
    bool success() const { return m_success; }

private:
    bool m_success;
};
