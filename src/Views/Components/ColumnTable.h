#pragma once

#include "Views/Components/TableColumns.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QSignalBlocker>
#include <QString>
#include <QTableView>

#include <cstddef>
#include <span>
#include <utility>
#include <vector>

// A column that sorts by nothing of its own: the rows keep the model's order.
struct NoSortKey {
    bool operator==(const NoSortKey &) const = default;
};

// One column of a table, written once: what its header says, how wide it is, what its cells show,
// tell on hovering and say to a screen reader, what it sorts by, and the widest text it shows
// (dates, users, pids), for which it widens at our fonts. A model's columns are a
// constexpr array of these in display order, its size checked against the model's column enum.
template <typename Model, typename Row, typename Key = NoSortKey>
struct TableColumn {
    using Cell = QString (*)(const Model &, const Row &);

    const char *title; // UTF-8
    ColumnWidth width;
    Cell text;       // null: none (a delegate paints the cell)
    Cell toolTip;    // null: none
    Cell accessible; // null: none, a reader speaks the text
    Key sortKey{};
    QString (*widest)() = nullptr; // null: the width holds whatever the column shows
};

// The entry's function for one of the text roles, or null.
template <typename Model, typename Row, typename Key>
typename TableColumn<Model, Row, Key>::Cell columnText(const TableColumn<Model, Row, Key> &column, int role)
{
    switch (role) {
    case Qt::DisplayRole: return column.text;
    case Qt::ToolTipRole: return column.toolTip;
    case Qt::AccessibleTextRole: return column.accessible;
    default: return nullptr;
    }
}

// A flat table over a snapshot's rows whose columns are a table of TableColumn entries: the column
// count, the headers and the texts come from the table; the model gives its rows (rowCount, rowAt)
// and whatever else a cell shows (cellData: fonts, colours, badges, ids, and a text role whose
// entry is null).
template <typename Model, typename Row, typename Key = NoSortKey>
class ColumnTableModel : public QAbstractTableModel {
public:
    using Entry = TableColumn<Model, Row, Key>;

    std::span<const Entry> columnEntries() const { return m_columns; }
    // Each column's minimum and ideal width in column order, widened for its widest text in the
    // font: what the screen fits the table to.
    std::vector<ColumnWidth> columnWidths(const QFont &font) const
    {
        std::vector<ColumnWidth> widths;
        for (const Entry &column : m_columns)
            widths.push_back(column.widest ? widenedFor(column.width, font, column.widest()) : column.width);
        return widths;
    }

    int columnCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_columns.size());
    }

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override
    {
        if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
        const auto &model = static_cast<const Model &>(*this);
        const Row &row = model.rowAt(index.row());
        if (const auto text = columnText(m_columns[size_t(index.column())], role)) return text(model, row);
        return cellData(row, index.column(), role);
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columnCount())
            return {};
        return QString::fromUtf8(m_columns[size_t(section)].title);
    }

protected:
    ColumnTableModel(std::span<const Entry> columns, QObject *parent) : QAbstractTableModel(parent), m_columns(columns)
    {}

    // Every role of a cell the column's entry does not give.
    virtual QVariant cellData(const Row &, int, int) const { return {}; }

private:
    std::span<const Entry> m_columns;
};

// A column table over a list of rows the model owns, replaced as a whole: for tables made once
// from a small derivation (no snapshot to hold, no sorting).
template <typename Model, typename Row>
class RowListModel : public ColumnTableModel<Model, Row> {
public:
    void setRows(std::vector<Row> rows)
    {
        this->beginResetModel();
        m_rows = std::move(rows);
        this->endResetModel();
    }
    const Row &row(int index) const { return m_rows.at(size_t(index)); }
    const Row &rowAt(int index) const { return m_rows[size_t(index)]; }

    int rowCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : int(m_rows.size()); }

protected:
    using ColumnTableModel<Model, Row>::ColumnTableModel;

private:
    std::vector<Row> m_rows;
};

// Turns on sorting by header clicks for a model whose columns' keys may be empty (std::optional):
// the indicator starts on `initial`, and a click on a column without a key puts it back on the
// column of the order the model keeps (`model->sortOrder().key`, ascending or not).
template <typename Model>
void enableKeyedSorting(QTableView *table, const Model *model, int initial)
{
    QHeaderView *header = table->horizontalHeader();
    header->setSortIndicator(initial, Qt::AscendingOrder);
    table->setSortingEnabled(true);
    QObject::connect(header, &QHeaderView::sortIndicatorChanged, table, [table, model, initial](int column) {
        const auto columns = model->columnEntries();
        if (column >= 0 && size_t(column) < columns.size() && columns[size_t(column)].sortKey) return;
        const auto order = model->sortOrder();
        int current = initial;
        for (size_t c = 0; c < columns.size(); ++c)
            if (columns[c].sortKey == order.key) current = int(c);
        QHeaderView *header = table->horizontalHeader();
        const QSignalBlocker block(header);
        header->setSortIndicator(current, order.ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    });
}
