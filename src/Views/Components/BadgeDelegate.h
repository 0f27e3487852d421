#pragma once

#include <QStyledItemDelegate>

// Item roles a model answers for cells that show a badge instead of text.
namespace BadgeRole {
// int 0..4: the cell paints a SeverityBadge of that severity.
inline constexpr int severity = Qt::UserRole + 0x400;
// bool: the cell paints a ResultBadge (tooltip "Success" / "Failure").
inline constexpr int result = Qt::UserRole + 0x401;
} // namespace BadgeRole

// Paints severity and result badges in table cells from the roles above; any other cell is drawn
// as usual. Rows keep their selection background under the badge.
class BadgeDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    explicit BadgeDelegate(QObject *parent = nullptr, bool compactSeverity = false);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;

private:
    bool m_compact;
};
