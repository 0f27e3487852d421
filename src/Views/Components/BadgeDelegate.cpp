#include "Views/Components/BadgeDelegate.h"

#include "Views/Components/ResultBadge.h"
#include "Views/Components/SeverityBadge.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>

namespace {
constexpr int cellPadding = 4;

std::optional<Severity> severityOf(const QModelIndex &index)
{
    const QVariant value = index.data(ItemRoles::severityRole);
    if (!value.isValid()) return std::nullopt;
    return severityFromRawValue(value.toLongLong());
}
} // namespace

BadgeDelegate::BadgeDelegate(QObject *parent, bool compactSeverity)
    : QStyledItemDelegate(parent), m_compact(compactSeverity)
{}

void BadgeDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const std::optional<Severity> severity = severityOf(index);
    const QVariant result = index.data(ItemRoles::resultRole);
    if (!severity && !result.isValid()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    // The background and selection as for any cell, without text.
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    background.icon = QIcon();
    const QWidget *widget = option.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, widget);

    painter->save();
    const QRect cell = option.rect.adjusted(cellPadding, 0, -cellPadding, 0);
    if (severity) {
        // Red or orange ink on the selection colour is unreadable: a selected badge keeps its own ground.
        const bool selected = option.state.testFlag(QStyle::State_Selected);
        SeverityBadgePainter::paint(*painter, cell, *severity, m_compact,
                                    selected ? option.palette.color(QPalette::Base) : QColor());
    } else {
        const int size = ResultBadgePainter::iconSize();
        const QRect icon(cell.left(), cell.top() + (cell.height() - size) / 2, size, size);
        ResultBadgePainter::paint(*painter, icon, result.toBool());
    }
    painter->restore();
}

QSize BadgeDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QSize base = QStyledItemDelegate::sizeHint(option, index);
    if (const std::optional<Severity> severity = severityOf(index)) {
        const QSize badge = SeverityBadgePainter::sizeHint(*severity, m_compact);
        return {badge.width() + 2 * cellPadding, std::max(base.height(), badge.height() + 2)};
    }
    if (index.data(ItemRoles::resultRole).isValid()) {
        const int size = ResultBadgePainter::iconSize();
        return {size + 2 * cellPadding, std::max(base.height(), size + 2)};
    }
    return base;
}

int BadgeDelegate::widestSeverityCell(bool compact)
{
    int widest = 0;
    for (Severity severity : {Severity::info, Severity::low, Severity::medium, Severity::high, Severity::critical})
        widest = std::max(widest, SeverityBadgePainter::sizeHint(severity, compact).width());
    return widest + 2 * cellPadding;
}

bool BadgeDelegate::helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                              const QModelIndex &index)
{
    const QVariant result = index.data(ItemRoles::resultRole);
    if (event && event->type() == QEvent::ToolTip && result.isValid() && !index.data(Qt::ToolTipRole).isValid()) {
        QToolTip::showText(event->globalPos(), ResultBadgePainter::toolTip(result.toBool()), view);
        return true;
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}
