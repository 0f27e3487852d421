#include "Views/Components/TableColumns.h"

#include "Views/Components/EqualDigits.h"

#include <QApplication>
#include <QEvent>
#include <QHeaderView>
#include <QResizeEvent>
#include <QScopedValueRollback>
#include <QStyle>
#include <QTableView>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// The sums of the fitted columns' minimums and ideals, kept on the table.
constexpr const char *minimumProperty = "fittedColumnsMinimum";
constexpr const char *idealProperty = "fittedColumnsIdeal";

// Keeps the columns fitted to the viewport and at their minimums. The stretching column takes what
// the others leave, also after one of them was dragged (the header's own last-section stretch
// would shrink it below its minimum).
class ColumnFitter : public QObject {
public:
    ColumnFitter(QTableView *table, std::span<const ColumnWidth> widths, int stretchColumn)
        : QObject(table), m_table(table), m_widths(widths.begin(), widths.end()), m_stretchColumn(stretchColumn)
    {
        QHeaderView *header = table->horizontalHeader();
        int smallest = m_widths.empty() ? 0 : m_widths.front().minimum;
        for (const ColumnWidth &width : m_widths) smallest = std::min(smallest, width.minimum);
        header->setMinimumSectionSize(smallest);
        header->setStretchLastSection(false);
        for (size_t column = 0; column < m_widths.size(); ++column)
            if (m_widths[column].minimum == m_widths[column].ideal)
                header->setSectionResizeMode(int(column), QHeaderView::Fixed);
        fit(table->viewport()->width());
        table->viewport()->installEventFilter(this);
        connect(header, &QHeaderView::sectionResized, this, &ColumnFitter::resized);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Resize && watched == m_table->viewport()) {
            const auto *resize = static_cast<QResizeEvent *>(event);
            if (resize->size().width() != resize->oldSize().width()) fit(resize->size().width());
        }
        return false;
    }

private:
    void fit(int available)
    {
        const QScopedValueRollback busy(m_busy, true);
        fitColumns(m_table->horizontalHeader(), m_widths, m_stretchColumn, available);
    }

    void resized(int column, int, int size)
    {
        if (m_busy || column < 0 || size_t(column) >= m_widths.size()) return;
        const QScopedValueRollback busy(m_busy, true);
        QHeaderView *header = m_table->horizontalHeader();
        if (size < m_widths[size_t(column)].minimum) header->resizeSection(column, m_widths[size_t(column)].minimum);
        if (column == m_stretchColumn || m_stretchColumn < 0 || size_t(m_stretchColumn) >= m_widths.size()) return;
        // The stretching column fills what is left, never below its minimum.
        int others = 0;
        for (int c = 0; c < int(m_widths.size()); ++c)
            if (c != m_stretchColumn) others += header->sectionSize(c);
        const int left = m_table->viewport()->width() - others;
        header->resizeSection(m_stretchColumn, std::max(m_widths[size_t(m_stretchColumn)].minimum, left));
    }

    QTableView *m_table;
    std::vector<ColumnWidth> m_widths;
    int m_stretchColumn;
    bool m_busy = false;
};

} // namespace

int cellWidth(const QFont &font, const QString &text)
{
    // The style draws a cell's text inside a margin on either side.
    const int margin = QApplication::style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1;
    return int(std::ceil(EqualDigits::advance(font, text))) + 2 * margin + 1;
}

ColumnWidth widenedFor(ColumnWidth width, const QFont &font, const QString &widest)
{
    return widenedTo(width, cellWidth(font, widest));
}

ColumnWidth widenedTo(ColumnWidth width, int needed)
{
    if (needed <= width.minimum) return width;
    return {needed, width.ideal + needed - width.minimum};
}

std::vector<ColumnWidth> widenedFor(std::span<const ColumnWidth> widths, const QFont &font,
                                    std::initializer_list<WidestValue> widest)
{
    std::vector<ColumnWidth> widened(widths.begin(), widths.end());
    for (const WidestValue &value : widest)
        if (value.column >= 0 && size_t(value.column) < widened.size())
            widened[size_t(value.column)] = widenedFor(widened[size_t(value.column)], font, value.text);
    return widened;
}

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
    new ColumnFitter(table, widths, stretchColumn);
    int minimum = 0, ideal = 0;
    for (const ColumnWidth &width : widths) {
        minimum += width.minimum;
        ideal += width.ideal;
    }
    table->setProperty(minimumProperty, minimum);
    table->setProperty(idealProperty, ideal);
}

ColumnWidth fittedTableWidth(const QTableView *table)
{
    const QVariant minimum = table->property(minimumProperty);
    if (!minimum.isValid()) return {0, 0};
    int chrome = 2 * table->frameWidth();
    if (table->verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOff)
        chrome += table->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, table);
    return {minimum.toInt() + chrome, table->property(idealProperty).toInt() + chrome};
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
