#include "Views/Components/WrappingCheckBox.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

#include <algorithm>

namespace {
constexpr int textFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap | Qt::TextShowMnemonic;
} // namespace

WrappingCheckBox::WrappingCheckBox(const QString &text, QWidget *parent) : QCheckBox(text, parent)
{
    // Narrower than its one-line label when it must be, taller by the lines it wraps onto.
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred, QSizePolicy::CheckBox);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

int WrappingCheckBox::labelOffset() const
{
    return style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this)
           + style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, this);
}

int WrappingCheckBox::labelHeight(int width) const
{
    return fontMetrics()
        .boundingRect(QRect(0, 0, std::max(1, width - labelOffset()), QWIDGETSIZE_MAX), textFlags, text())
        .height();
}

int WrappingCheckBox::heightForWidth(int width) const
{
    // As tall as a one-line checkbox, plus what the extra lines need.
    const int oneLine = QCheckBox::sizeHint().height();
    return oneLine + std::max(0, labelHeight(width) - fontMetrics().height());
}

QSize WrappingCheckBox::sizeHint() const
{
    return QCheckBox::sizeHint();
}

QSize WrappingCheckBox::minimumSizeHint() const
{
    // Room for the longest word.
    int widest = 0;
    for (const QString &word : text().split(u' ', Qt::SkipEmptyParts))
        widest = std::max(widest, fontMetrics().horizontalAdvance(word));
    return {labelOffset() + widest + 1, QCheckBox::sizeHint().height()};
}

void WrappingCheckBox::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const int oneLine = QCheckBox::sizeHint().height();
    // The indicator beside the first line, centred on it as in a one-line checkbox.
    QStyleOptionButton indicator = option;
    indicator.rect = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, this);
    indicator.rect.moveTop((oneLine - indicator.rect.height()) / 2);
    style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &indicator, &painter, this);
    const int top = (oneLine - fontMetrics().height()) / 2;
    const QRect label(labelOffset(), top, width() - labelOffset(), height() - top);
    style()->drawItemText(&painter, label, textFlags, palette(), isEnabled(), text(), QPalette::WindowText);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = fontMetrics().boundingRect(label, textFlags, text()).adjusted(-1, 0, 1, 0);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
}

bool WrappingCheckBox::hitButton(const QPoint &position) const
{
    return rect().contains(position);
}
