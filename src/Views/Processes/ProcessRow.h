#pragma once

#include "Engine/Analysis/ProcessGraph.h"

#include <QColor>
#include <QFont>
#include <QString>
#include <QStyledItemDelegate>

class QPainter;
class UserResolver;

// The compact user text of process rows and the list's "User" column: the audit user, an arrow
// and the effective user when they differ, else the effective user alone, red for root.
namespace UserText {

struct Texts {
    QString audit;     // empty when not shown: unset, or the same text as the effective user
    QString effective; // always shown
    bool effectiveIsRoot = false;
};

// "—" for an unset id, the user's name, or the decimal id when the resolver knows no name.
Texts texts(uint32_t auid, uint32_t euid, UserResolver &users);
Texts texts(uint32_t auid, uint32_t euid);

// Draws the line leading-aligned and vertically centred in rect, in `font`; returns its width.
int paint(QPainter &painter, const QRect &rect, const QFont &font, const QColor &primary, const Texts &texts);
int width(const QFont &font, const Texts &texts);

} // namespace UserText

// One line of the process outline.
namespace ProcessRow {

// The symbol: placeholder, then suspicious location, then root, then with or without children.
QString icon(const ProcessNode &process);
// The symbol's colour: secondary for a placeholder, orange for a suspicious location, red for root.
QColor iconColor(const ProcessNode &process);
// The arguments after the first, joined by one blank (cut to what a line shows); empty with fewer
// than two.
QString argumentText(const ProcessNode &process);

} // namespace ProcessRow

// Paints outline rows as ProcessRow lines from the ProcessNode behind each index of a ProcessTreeModel.
class ProcessRowDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

// Paints the list's "User" cells from the audit and effective ids (ProcessRoles::userIDsRole).
class UserTextDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

// Item roles of the process outline and list, one set for both models.
namespace ProcessRoles {
enum Roles {
    userIDsRole = Qt::UserRole, // quint64: auid << 32 | euid
    processIDRole,              // qint64: the node's id
};
} // namespace ProcessRoles
