#pragma once

#include "Engine/Analysis/ProcessGraph.h"
#include "Store/StoreAnalysis.h"
#include "Views/Processes/ProcessRows.h"

#include <QAbstractItemModel>
#include <QAbstractTableModel>
#include <QFont>

#include <cstdint>
#include <unordered_map>
#include <vector>

// The process outline over a tree of ProcessNode: the store's roots or a pruned copy, held as a
// shared snapshot so that the nodes outlive any store rebuild. Every node gets one slot, children of a node in consecutive slots, so index(),
// parent() and rowCount() are O(1) and a rebuild is one pass over the tree.
class ProcessTreeModel : public QAbstractItemModel {
    Q_OBJECT

public:
    explicit ProcessTreeModel(QObject *parent = nullptr);

    void setRoots(ProcessesSnapshot roots);
    void clear();

    const ProcessNode *nodeAt(const QModelIndex &index) const;
    // The index of the node with this id (placeholders included), or an invalid one.
    QModelIndex indexOf(int64_t id) const;
    int nodeCount() const { return int(m_slots.size()); }

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    struct Slot {
        const ProcessNode *node;
        int32_t parent;     // slot, -1 for a root
        int32_t row;        // among its siblings
        int32_t firstChild; // slot of the first child
        int32_t childCount;
    };

    void index();

    ProcessesSnapshot m_roots;
    std::vector<Slot> m_slots; // roots first, in slots 0..rootCount-1
    int32_t m_rootCount = 0;
    std::unordered_map<int64_t, int32_t> m_slotOfID;
};

// The flat process table: positions into a snapshot of the store's process list, sorted in the
// model.
class ProcessListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { startedColumn, pidColumn, ppidColumn, userColumn, imageColumn, commandLineColumn,
                  signingIDColumn, eventsColumn, numColumns };

    explicit ProcessListModel(QObject *parent = nullptr);

    void setProcesses(ProcessesSnapshot processes, const ProcessRows::ProcessFilter &filter);
    void clear();

    static std::optional<ProcessRows::SortKey> sortKey(int column);
    ProcessRows::SortOrder sortOrder() const { return m_order; }
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    const ProcessNode &processAt(int row) const { return (*m_processes)[m_rows[size_t(row)]]; }
    int rowOf(int64_t id) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    void derive();

    ProcessesSnapshot m_processes;
    ProcessRows::ProcessFilter m_filter;
    std::vector<uint32_t> m_rows;
    ProcessRows::SortOrder m_order;
    QFont m_monoCallout;
    QFont m_monoCaption;
};
