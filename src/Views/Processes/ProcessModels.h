#pragma once

#include "Engine/Analysis/ProcessGraph.h"
#include "Store/StoreAnalysis.h"
#include "Views/Components/ColumnTable.h"
#include "Views/Components/PoolWork.h"
#include "Views/Processes/ProcessRows.h"

#include <QAbstractItemModel>
#include <QAbstractTableModel>
#include <QFont>

#include <cstdint>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

// The process outline: rows derived on the pool (ProcessRows::outline), held with the tree they
// come from, so that the nodes outlive any store rebuild. A node's children sit in consecutive
// rows, so index(), parent() and rowCount() are O(1), and taking a new outline costs nothing in
// proportion to it. Until a new outline lands the model keeps the rows it has.
class ProcessTreeModel : public QAbstractItemModel {
    Q_OBJECT

public:
    explicit ProcessTreeModel(QObject *parent = nullptr);

    // Derives the outline of the tree under the filter on the pool; one reset when it lands.
    void setTree(ProcessTreeSnapshot tree, const ProcessRows::ProcessFilter &filter);
    void setOutline(ProcessRows::OutlineSnapshot outline);
    // Drops the rows and any outline being derived.
    void clear();
    bool isDeriving() const { return m_deriving.pending(); }

    const ProcessNode *nodeAt(const QModelIndex &index) const;
    // The index of the node with this id (placeholders included), or an invalid one.
    QModelIndex indexOf(int64_t id) const;
    int nodeCount() const { return m_outline ? int(m_outline->rows.size()) : 0; }
    // The nodes with children: the roots' alone, or with `all` every one of them.
    QModelIndexList parents(bool all) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

signals:
    void derivingChanged();

private:
    const ProcessRows::ProcessOutline::Row *rowAt(const QModelIndex &index) const;

    ProcessRows::OutlineSnapshot m_outline;
    PoolWork::Latest m_deriving{[this] { emit derivingChanged(); }};
};

// The flat process table: positions into a snapshot of the store's process list. The rows are
// filtered and sorted on the pool (ProcessRows::processList); until a new list lands the table
// keeps the rows it has.
class ProcessListModel : public ColumnTableModel<ProcessListModel, ProcessNode, std::optional<ProcessRows::SortKey>> {
    Q_OBJECT

public:
    enum Column {
        startedColumn,
        pidColumn,
        ppidColumn,
        userColumn,
        imageColumn,
        commandLineColumn,
        signingIDColumn,
        eventsColumn,
        numColumns
    };

    explicit ProcessListModel(QObject *parent = nullptr);

    void setProcesses(ProcessesSnapshot processes, const ProcessRows::ProcessFilter &filter);
    void clear();
    // A list is being made; the rows shown are the ones from before.
    bool isDeriving() const { return m_deriving.pending(); }

    static std::optional<ProcessRows::SortKey> sortKey(int column);
    ProcessRows::SortOrder sortOrder() const { return m_order; }
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    const ProcessNode &processAt(int row) const { return m_list->process(row); }
    const ProcessNode &rowAt(int row) const { return processAt(row); }
    int rowOf(int64_t id) const { return m_list->rowOf(id); }

    int rowCount(const QModelIndex &parent = {}) const override;

signals:
    void derivingChanged();

private:
    QVariant cellData(const ProcessNode &process, int column, int role) const override;
    void derive();

    ProcessesSnapshot m_processes;
    ProcessRows::ProcessFilter m_filter;
    ProcessRows::ProcessListSnapshot m_list;
    ProcessRows::SortOrder m_order;
    PoolWork::Latest m_deriving{[this] { emit derivingChanged(); }};
    QFont m_monoCallout;
    QFont m_monoCaption;
};
