#pragma once

#include <QStyledItemDelegate>

#include <span>

class QHeaderView;
class QTableView;

// Minimum and ideal width of one table column, in pixels.
struct ColumnWidth {
    int minimum;
    int ideal;
};

// Ideal widths while they fit, the room left over going to the stretching column; otherwise every
// column gives up the same share of what it holds above its minimum, as a table that fits its
// columns to the window does.
void fitColumns(QHeaderView *header, std::span<const ColumnWidth> widths, int stretchColumn, int available);

// Fits the table's columns now and whenever its viewport changes width, and keeps a column
// dragged narrower than its minimum at the minimum. The widths must outlive the table.
void keepColumnsFitted(QTableView *table, std::span<const ColumnWidth> widths, int stretchColumn);

// The look every record-like list shares: frameless, one whole row selected at a time, read-only,
// no grid, alternating rows of one fixed height (the font's line plus rowPadding).
void setUpListTable(QTableView *table, int rowPadding);

// Long cell texts lose their middle, not their end.
class MiddleElideDelegate : public QStyledItemDelegate {
public:
    explicit MiddleElideDelegate(QObject *parent = nullptr, Qt::TextElideMode mode = Qt::ElideMiddle)
        : QStyledItemDelegate(parent), m_mode(mode)
    {
    }

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->textElideMode = m_mode;
    }

private:
    Qt::TextElideMode m_mode;
};
