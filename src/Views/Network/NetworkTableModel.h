#pragma once

#include "Store/RecordSelection.h"
#include "Views/Network/NetworkRows.h"

#include <QAbstractTableModel>
#include <QFont>

// The network table: positions into a snapshot of the store's records (the model holds the
// snapshot, so a rebuild never pulls records from under it). Cell texts are made when asked.
class NetworkTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { timeColumn, eventColumn, processColumn, pidColumn, userColumn, addressColumn, resultColumn,
                  numColumns };
    enum Role { recordIDRole = Qt::UserRole + 1 };

    explicit NetworkTableModel(QObject *parent = nullptr);

    // Takes the qualifying positions in store order and sorts them by the current order.
    void setRows(RecordSnapshot records, std::vector<uint32_t> rows);
    const std::vector<uint32_t> &rows() const { return m_rows; }
    const std::vector<AuditRecord> &records() const { return *m_records; }

    static NetworkRows::SortKey sortKey(int column);
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    const AuditRecord &recordAt(int row) const { return (*m_records)[m_rows[size_t(row)]]; }
    int rowOf(int64_t id) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    // The address cell "edits" in a read-only line edit, for selecting and copying; nothing is written.
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    RecordSnapshot m_records;
    std::vector<uint32_t> m_rows;
    NetworkRows::SortOrder m_order;
    QFont m_addressFont;
};
