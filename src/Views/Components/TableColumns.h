#pragma once

#include <QString>
#include <QStyledItemDelegate>

#include <initializer_list>
#include <span>
#include <vector>

class QHeaderView;
class QTableView;

// Minimum and ideal width of one table column, in pixels.
struct ColumnWidth {
    int minimum;
    int ideal;
};

// The width a table cell needs to show the text whole in the font (the style's text margins
// included), its digits as wide as the widest (EqualDigits).
int cellWidth(const QFont &font, const QString &text);

// A column widened for our fonts: where its widest value does not fit the minimum, the minimum
// becomes the width that value needs and the ideal grows by as much.
ColumnWidth widenedFor(ColumnWidth width, const QFont &font, const QString &widest);
// A column widened to hold a cell of this many pixels (a badge) at its minimum.
ColumnWidth widenedTo(ColumnWidth width, int needed);
// A column and the widest value it shows.
struct WidestValue {
    int column;
    QString text;
};
// The widths with each of these columns widened for its value.
std::vector<ColumnWidth> widenedFor(std::span<const ColumnWidth> widths, const QFont &font,
                                    std::initializer_list<WidestValue> widest);

// Ideal widths while they fit, the room left over going to the stretching column; otherwise every
// column gives up the same share of what it holds above its minimum, as a table that fits its
// columns to the window does.
void fitColumns(QHeaderView *header, std::span<const ColumnWidth> widths, int stretchColumn, int available);

// Fits the table's columns now and whenever its viewport changes width, and keeps every column,
// the stretching one too, at its minimum or wider, however it is dragged. Columns whose minimum
// equals their ideal keep that width.
void keepColumnsFitted(QTableView *table, std::span<const ColumnWidth> widths, int stretchColumn);

// The width a table whose columns keepColumnsFitted fits needs for all of them at their minimums
// and at their ideals: the columns, its frame and its vertical scroll bar (counted as shown, since
// a long list shows it). {0, 0} for a table whose columns are not fitted.
ColumnWidth fittedTableWidth(const QTableView *table);

// The look every record-like list shares: frameless, one whole row selected at a time, read-only,
// no grid, alternating rows of one fixed height (the font's line plus rowPadding).
void setUpListTable(QTableView *table, int rowPadding);

// Long cell texts lose their middle, not their end.
class MiddleElideDelegate : public QStyledItemDelegate {
public:
    explicit MiddleElideDelegate(QObject *parent = nullptr, Qt::TextElideMode mode = Qt::ElideMiddle)
        : QStyledItemDelegate(parent), m_mode(mode)
    {}

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->textElideMode = m_mode;
    }

private:
    Qt::TextElideMode m_mode;
};
