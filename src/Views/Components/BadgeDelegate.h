#pragma once

#include "Views/Components/ItemRoles.h"

#include <QStyledItemDelegate>

// Paints severity and result badges in table cells from ItemRoles::severityRole and resultRole; any
// other cell is drawn as usual. Rows keep their selection background under the badge.
class BadgeDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    explicit BadgeDelegate(QObject *parent = nullptr, bool compactSeverity = false);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;

    // The width of the cell the widest severity badge needs (Critical in our fonts, or Medium).
    static int widestSeverityCell(bool compact = false);

private:
    bool m_compact;
};
