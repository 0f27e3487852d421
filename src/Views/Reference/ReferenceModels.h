#pragma once

#include "Engine/BSM/AuditCatalog.h"
#include "Views/Components/ColumnTable.h"

#include <QAbstractTableModel>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// A row of the Classes table.
struct ReferenceClassRow {
    AuditClassInfo info;
    int definedEvents = 0;
    // Absent when the class is not among the statistics' classes.
    std::optional<int64_t> loadedRecords;
};

// The Classes table: one row per kept catalogue class. No selection, no sorting.
class ReferenceClassModel : public RowListModel<ReferenceClassModel, ReferenceClassRow> {
    Q_OBJECT

public:
    enum Column { classColumn, maskColumn, descriptionColumn, definedColumn, loadedColumn, numColumns };
    using Row = ReferenceClassRow;

    explicit ReferenceClassModel(QObject *parent = nullptr);

private:
    QVariant cellData(const Row &row, int column, int role) const override;
};

// A row of the Events table.
struct ReferenceEventRow {
    AuditEventInfo info;
    std::optional<int64_t> loadedRecords;
};

// The Events table: one row per kept catalogue event, by number. A row with loaded records shows
// its count as a link that leads to them.
class ReferenceEventModel : public RowListModel<ReferenceEventModel, ReferenceEventRow> {
    Q_OBJECT

public:
    enum Column { numberColumn, nameColumn, descriptionColumn, classesColumn, loadedColumn, numColumns };
    using Row = ReferenceEventRow;

    explicit ReferenceEventModel(QObject *parent = nullptr);

private:
    QVariant cellData(const Row &row, int column, int role) const override;
};
