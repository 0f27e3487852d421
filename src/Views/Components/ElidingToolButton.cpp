#include "Views/Components/ElidingToolButton.h"

#include <QStyleOptionToolButton>
#include <QStylePainter>

#include <algorithm>

namespace {
// Characters kept before the "…" at the narrowest.
constexpr int keptCharacters = 8;
} // namespace

ElidingToolButton::ElidingToolButton(QWidget *parent) : QToolButton(parent)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

QSize ElidingToolButton::minimumSizeHint() const
{
    const int textWidth = fontMetrics().horizontalAdvance(text());
    const int kept = fontMetrics().horizontalAdvance(text().left(keptCharacters) + QChar(0x2026));
    QSize size = sizeHint();
    size.setWidth(size.width() - std::max(0, textWidth - kept));
    return size;
}

QString ElidingToolButton::shownText() const
{
    if (width() >= sizeHint().width()) return text();
    // What the frame, icon and padding take is what the full text does not.
    const int chrome = sizeHint().width() - fontMetrics().horizontalAdvance(text());
    return fontMetrics().elidedText(text(), Qt::ElideRight, std::max(0, width() - chrome));
}

void ElidingToolButton::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionToolButton option;
    initStyleOption(&option);
    option.text = shownText();
    painter.drawComplexControl(QStyle::CC_ToolButton, option);
}
