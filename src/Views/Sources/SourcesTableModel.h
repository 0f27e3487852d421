#pragma once

#include "Store/TrailSource.h"
#include "Views/Components/ColumnTable.h"

#include <QAbstractTableModel>
#include <QHash>

#include <span>
#include <vector>

// The loaded sources, one row each, in load order. Not sortable. It keeps the store's snapshot,
// never a copy: a refresh costs nothing however many issues the sources have.
class SourcesTableModel : public ColumnTableModel<SourcesTableModel, TrailSource> {
    Q_OBJECT

public:
    enum Column {
        fileColumn,
        kindColumn,
        sizeColumn,
        recordsColumn,
        firstColumn,
        lastColumn,
        integrityColumn,
        numColumns
    };
    enum Roles {
        sourceIDRole = Qt::UserRole,
        // The symbol name shown beside the cell's text, for the File and Integrity columns.
        symbolRole,
    };

    explicit SourcesTableModel(QObject *parent = nullptr);

    void setSources(SourcesSnapshot sources);
    const std::vector<TrailSource> &sources() const { return *m_sources; }
    const TrailSource &rowAt(int row) const { return (*m_sources)[size_t(row)]; }
    // The row of a source id, or -1.
    int rowOf(int64_t id) const;

    int rowCount(const QModelIndex &parent = {}) const override;

    // A "First record" or "Last record" cell: abbreviated date, standard time; "—" without a time.
    static QString timeText(const std::optional<double> &time);

private:
    QVariant cellData(const TrailSource &source, int column, int role) const override;

    SourcesSnapshot m_sources = std::make_shared<const std::vector<TrailSource>>();
    QHash<int64_t, int> m_rowByID;
};
