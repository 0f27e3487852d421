#include "Views/Components/TableColumns.h"

#include <QEvent>
#include <QHeaderView>
#include <QResizeEvent>
#include <QTableView>

#include <algorithm>

namespace {

class ColumnFitter : public QObject {
public:
    ColumnFitter(QTableView *table, std::span<const ColumnWidth> widths, int stretchColumn)
        : QObject(table), m_table(table), m_widths(widths), m_stretchColumn(stretchColumn)
    {
        table->viewport()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Resize && watched == m_table->viewport()) {
            const auto *resize = static_cast<QResizeEvent *>(event);
            if (resize->size().width() != resize->oldSize().width())
                fitColumns(m_table->horizontalHeader(), m_widths, m_stretchColumn, resize->size().width());
        }
        return false;
    }

private:
    QTableView *m_table;
    std::span<const ColumnWidth> m_widths;
    int m_stretchColumn;
};

} // namespace

void fitColumns(QHeaderView *header, std::span<const ColumnWidth> widths, int stretchColumn, int available)
{
    int ideal = 0, minimum = 0;
    for (const ColumnWidth &width : widths) {
        ideal += width.ideal;
        minimum += width.minimum;
    }
    const double share = available >= ideal || ideal == minimum
                             ? 1.0
                             : std::max(0.0, double(available - minimum) / double(ideal - minimum));
    for (size_t column = 0; column < widths.size(); ++column) {
        const ColumnWidth &width = widths[column];
        const int extra = int(column) == stretchColumn ? std::max(0, available - ideal) : 0;
        header->resizeSection(int(column), width.minimum + int((width.ideal - width.minimum) * share) + extra);
    }
}

void keepColumnsFitted(QTableView *table, std::span<const ColumnWidth> widths, int stretchColumn)
{
    QHeaderView *header = table->horizontalHeader();
    int smallest = widths.empty() ? 0 : widths.front().minimum;
    for (const ColumnWidth &width : widths) smallest = std::min(smallest, width.minimum);
    header->setMinimumSectionSize(smallest);
    // The last column stretching is the header's own job, which also follows dragged columns.
    header->setStretchLastSection(stretchColumn == int(widths.size()) - 1);
    fitColumns(header, widths, stretchColumn, table->viewport()->width());
    new ColumnFitter(table, widths, stretchColumn);
    QObject::connect(header, &QHeaderView::sectionResized, table, [header, widths](int column, int, int size) {
        if (column < int(widths.size()) && size < widths[size_t(column)].minimum)
            header->resizeSection(column, widths[size_t(column)].minimum);
    });
}

void setUpListTable(QTableView *table, int rowPadding)
{
    table->setFrameShape(QFrame::NoFrame);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setWordWrap(false);
    table->setShowGrid(false);
    table->setAlternatingRowColors(true);
    table->verticalHeader()->hide();
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + rowPadding);
    table->horizontalHeader()->setHighlightSections(false);
}
