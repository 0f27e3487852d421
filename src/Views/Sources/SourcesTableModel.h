#pragma once

#include "Store/TrailSource.h"

#include <QAbstractTableModel>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The loaded sources, one row each, in load order. Not sortable.
class SourcesTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Columns { FileColumn, KindColumn, SizeColumn, RecordsColumn, FirstColumn, LastColumn, IntegrityColumn, NUM_COLUMNS };
    enum Roles {
        SourceIDRole = Qt::UserRole,
        // The symbol name shown beside the cell's text, for the File and Integrity columns.
        SymbolRole,
    };

    using QAbstractTableModel::QAbstractTableModel;

    void setSources(const std::vector<TrailSource> &sources);
    // The row of a source id, or -1.
    int rowOf(int64_t id) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // A "First record" or "Last record" cell: abbreviated date, standard time; "—" without a time.
    static QString timeText(const std::optional<double> &time);

private:
    // What a row shows of a source. The source's issue and file-token lists stay in the store: a
    // hostile trail has millions of issues, which every change would copy otherwise.
    struct Row {
        int64_t id = 0;
        std::string name;
        std::optional<std::string> path;
        TrailSource::Kind kind = TrailSource::Kind::file;
        int64_t bytes = 0;
        int64_t recordCount = 0;
        std::optional<double> first;
        std::optional<double> last;
        size_t issueCount = 0;
    };

    std::vector<Row> m_sources;
};
