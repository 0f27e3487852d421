#pragma once

#include "Store/RecordSelection.h"
#include "Views/Components/ColumnTable.h"
#include "Views/Components/PoolWork.h"

#include <QAbstractTableModel>
#include <QFont>
#include <QHash>
#include <QIcon>
#include <QString>

#include <array>
#include <memory>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// The Events table: the store's filtered records in display order. In time order the rows are
// the filter result itself, or its reverse, so a new result is shown at once; any other order is a
// sort made on the pool, and until it lands the table keeps the rows it has. Cell texts are made
// only for the cells a view asks for, a long one cut to what a cell can show. Rows are ints, so
// at most 2^31-1 records.
class EventsTableModel;
// A column's sort keys, one per row of a filter result; null: the store's time order.
using EventsSortKeys = std::vector<uint32_t> (*)(const RecordSelection &);

class EventsTableModel : public ColumnTableModel<EventsTableModel, AuditRecord, EventsSortKeys> {
    Q_OBJECT

public:
    enum Column {
        timeColumn,
        eventColumn,
        classColumn,
        userColumn,
        processColumn,
        pidColumn,
        resultColumn,
        detailsColumn,
        numColumns
    };

    explicit EventsTableModel(QObject *parent = nullptr);

    // Re-derives the rows from a new filter result, keeping the sort order.
    void setFiltered(RecordSelection filtered);
    // The filter result the rows show.
    const RecordSelection &filtered() const { return m_filtered; }

    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    // A sort is being made on the pool; the rows shown are the ones from before it.
    bool isSorting() const { return m_sorting.pending(); }

    const AuditRecord &recordAt(int row) const { return (*m_filtered.records())[position(row)]; }
    const AuditRecord &rowAt(int row) const { return recordAt(row); }
    int64_t idAt(int row) const;
    // The row showing this record (found by its time and id), or -1.
    int rowOf(int64_t id, double time) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

signals:
    void sortingChanged();

private:
    QVariant cellData(const AuditRecord &record, int column, int role) const override;

    friend struct EventsCells;

    // The display order of a sorted result: snapshot positions by row, and the row of each of the
    // result's own rows (in its time order), so a record's row is found without a search.
    struct Sorted {
        std::vector<uint32_t> positions;
        std::vector<uint32_t> rowOfIndex;
    };

    size_t position(int row) const;
    // Shows the result in the order asked for: at once in time order, else once sorted.
    void derive(RecordSelection filtered);
    void show(RecordSelection filtered, std::shared_ptr<const Sorted> sorted, Qt::SortOrder timeOrder);
    QString eventLabel(const AuditRecord &record) const;
    QString classLabel(const AuditRecord &record) const;
    QString userLabel(const AuditRecord &record) const;
    QString failureCaption(uint8_t status) const;

    RecordSelection m_filtered;
    std::shared_ptr<const Sorted> m_sorted; // null in time order
    Qt::SortOrder m_shownTimeOrder = Qt::AscendingOrder;
    Column m_sortColumn = timeColumn;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    PoolWork::Latest m_sorting{[this] { emit sortingChanged(); }};

    // Texts shared by many rows, made once; returning a shared QString allocates nothing.
    mutable QHash<uint16_t, QString> m_eventLabels;
    mutable QHash<uint16_t, QString> m_classLabels;
    mutable QHash<uint64_t, QString> m_userLabels;
    mutable QHash<uint8_t, QString> m_failureCaptions;
    QFont m_classFont;
    QFont m_detailsFont;
    QFont m_captionFont;
    QIcon m_successIcon;
    QIcon m_failureIcon;
};

// The display order of a filter result: positions into its snapshot. Time ascending is the
// store's order as it stands and descending its exact reverse, without sorting; any other column
// is a stable sort, so rows equal under it keep their time order in either direction. Takes time
// in proportion to the result: the model runs it on the pool.
std::vector<uint32_t> sortedRows(const RecordSelection &filtered, EventsTableModel::Column column, Qt::SortOrder order);

// "Feb 3, 4:05:06.789 PM" in the default locale and the local time zone, written straight into
// one string: the Time cell and its allocation-free path.
QString eventsTimeText(double time);
