#pragma once

#include "Store/RecordSelection.h"

#include <QAbstractTableModel>
#include <QFont>
#include <QHash>
#include <QIcon>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The Events table: the store's filtered records in display order. Rows are positions into the
// filtered selection's snapshot, so a new filter result or a sort rebuilds one vector of ints and
// resets once; cell texts are made only for the cells a view asks for. Rows are ints, so at most
// 2^31-1 records.
class EventsTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { timeColumn, eventColumn, classColumn, userColumn, processColumn, pidColumn, resultColumn,
                  detailsColumn, numColumns };
    enum Role { recordIDRole = Qt::UserRole + 1 };

    explicit EventsTableModel(QObject *parent = nullptr);

    // Re-derives the rows from a new filter result, keeping the sort order.
    void setFiltered(RecordSelection filtered);
    const RecordSelection &filtered() const { return m_filtered; }

    Column sortColumn() const { return m_sortColumn; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    const AuditRecord &recordAt(int row) const { return (*m_filtered.records())[m_rows[size_t(row)]]; }
    int64_t idAt(int row) const;
    // The row showing this record (found by its time and id), or -1.
    int rowOf(int64_t id, double time) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QString cellText(const AuditRecord &record, Column column) const;
    QString eventLabel(const AuditRecord &record) const;
    QString classLabel(const AuditRecord &record) const;
    QString userLabel(const AuditRecord &record) const;
    QString failureCaption(uint8_t status) const;

    RecordSelection m_filtered;
    std::vector<uint32_t> m_rows; // snapshot positions, in display order
    Column m_sortColumn = timeColumn;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;

    // Texts shared by many rows, made once; returning a shared QString allocates nothing.
    mutable QHash<uint16_t, QString> m_eventLabels;
    mutable QHash<uint16_t, QString> m_classLabels;
    mutable QHash<uint64_t, QString> m_userLabels;
    mutable QHash<uint8_t, QString> m_failureCaptions;
    mutable std::string m_scratch; // the details text of one cell, its capacity kept between cells
    QFont m_classFont;
    QFont m_detailsFont;
    QFont m_captionFont;
    QIcon m_successIcon;
    QIcon m_failureIcon;
};

// The display order of a filter result: positions into its snapshot. Time ascending is the
// store's order as it stands and descending its exact reverse, without sorting; any other column
// is a stable sort, so rows equal under it keep their time order in either direction.
std::vector<uint32_t> sortedRows(const RecordSelection &filtered, EventsTableModel::Column column,
                                 Qt::SortOrder order);

// "Feb 3, 4:05:06.789 PM" in the default locale and the local time zone, written straight into
// one string: the Time cell and its allocation-free path.
QString eventsTimeText(double time);
