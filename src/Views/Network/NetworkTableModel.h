#pragma once

#include "Store/RecordSelection.h"
#include "Views/Components/ColumnTable.h"
#include "Views/Components/PoolWork.h"
#include "Views/Network/NetworkRows.h"

#include <QAbstractTableModel>
#include <QFont>

#include <memory>
#include <string>
#include <span>

// The network table: the rows of a NetworkRows::Table, positions into the snapshot it holds, so a
// rebuild never pulls records from under it. The table (rows, order and the screen's cards) is
// derived and sorted on the pool whenever the records, the switch, the search or the order change;
// until it lands the table keeps the rows it has. Cell texts are made when asked, a long one cut to
// what a cell can show.
class NetworkTableModel : public ColumnTableModel<NetworkTableModel, AuditRecord, NetworkRows::SortKey> {
    Q_OBJECT

public:
    enum Column {
        timeColumn,
        eventColumn,
        processColumn,
        pidColumn,
        userColumn,
        addressColumn,
        resultColumn,
        numColumns
    };

    explicit NetworkTableModel(QObject *parent = nullptr);

    // Derives the table of these records on the pool, in the order asked last.
    void setSource(RecordSnapshot records, bool hideLocal, std::string search);
    bool isDeriving() const { return m_deriving.pending(); }
    // Shows a derived table; one reset.
    void setTable(std::shared_ptr<const NetworkRows::Table> table);
    const NetworkRows::Table &table() const { return *m_table; }
    const std::vector<uint32_t> &rows() const { return m_table->rows; }
    const std::vector<AuditRecord> &records() const { return *m_table->records; }

    static NetworkRows::SortKey sortKey(int column);
    // The order asked for last; the rows follow it once the next table lands.
    NetworkRows::SortOrder order() const { return m_order; }
    // Derives the table again in the new order, once a source is set.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    const AuditRecord &recordAt(int row) const { return (*m_table->records)[m_table->rows[size_t(row)]]; }
    const AuditRecord &rowAt(int row) const { return recordAt(row); }
    // The row of the record with this id, or -1.
    int rowOf(int64_t id) const { return m_table->rowOf(id); }

    int rowCount(const QModelIndex &parent = {}) const override;
    // The address cell "edits" in a read-only line edit, for selecting and copying; nothing is written.
    Qt::ItemFlags flags(const QModelIndex &index) const override;

signals:
    // A new table is shown (after the model's reset).
    void tableChanged();
    void derivingChanged();

private:
    QVariant cellData(const AuditRecord &record, int column, int role) const override;
    void derive();

    std::shared_ptr<const NetworkRows::Table> m_table;
    NetworkRows::SortOrder m_order;
    RecordSnapshot m_records; // null until a source is set
    bool m_hideLocal = true;
    std::string m_search;
    PoolWork::Latest m_deriving{[this] { emit derivingChanged(); }};
    QFont m_addressFont;
};
