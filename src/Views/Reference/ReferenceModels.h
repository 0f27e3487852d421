#pragma once

#include "Engine/BSM/AuditCatalog.h"

#include <QAbstractTableModel>

#include <cstdint>
#include <optional>
#include <vector>

// The Classes table: one row per kept catalogue class. No selection, no sorting.
class ReferenceClassModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { classColumn, maskColumn, descriptionColumn, definedColumn, loadedColumn, numColumns };

    struct Row {
        AuditClassInfo info;
        int definedEvents = 0;
        // Absent when the class is not among the statistics' classes.
        std::optional<int64_t> loadedRecords;
    };

    using QAbstractTableModel::QAbstractTableModel;

    void setRows(std::vector<Row> rows);
    const Row &row(int index) const { return m_rows.at(size_t(index)); }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::vector<Row> m_rows;
};

// The Events table: one row per kept catalogue event, by number. A row with loaded records shows
// its count as a link that leads to them.
class ReferenceEventModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { numberColumn, nameColumn, descriptionColumn, classesColumn, loadedColumn, numColumns };

    struct Row {
        AuditEventInfo info;
        std::optional<int64_t> loadedRecords;
    };

    using QAbstractTableModel::QAbstractTableModel;

    void setRows(std::vector<Row> rows);
    const Row &row(int index) const { return m_rows.at(size_t(index)); }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::vector<Row> m_rows;
};
