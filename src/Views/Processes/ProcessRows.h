#pragma once

#include "Engine/Analysis/ProcessGraph.h"
#include "Engine/BSM/CaseFold.h"
#include "Store/StoreAnalysis.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// What the Processes screen derives from the store's processes: the filter, the outline of the
// tree, the sorted list and a process's lineage. Pure, so each is tested without a widget.
namespace ProcessRows {

// The search and the root-only switch. The search is used as typed: never trimmed, so blanks count.
class ProcessFilter {
public:
    ProcessFilter(const QString &search = {}, bool rootOnly = false);

    bool isActive() const { return !m_search.empty() || m_rootOnly; }
    // Root-only first; then an empty search passes; then image, command line, the exact decimal
    // pid and the signing id, the texts compared case-insensitively by containment.
    bool include(const ProcessNode &process) const;

private:
    std::string m_search;
    bool m_rootOnly;
    CaseFold::Needle m_needle;
};

bool include(const ProcessNode &process, const ProcessFilter &filter);

// The rows of the process outline: the tree's nodes that the filter includes and the chain of
// their ancestors, each kept node with its kept children, in the tree's order. Rows are laid out
// breadth first, so a node's children sit side by side; the roots come first.
struct ProcessOutline {
    struct Row {
        uint32_t node;      // position in the tree
        int32_t parent;     // row, -1 for a root
        int32_t row;        // among its siblings
        int32_t firstChild; // row of the first kept child
        int32_t childCount;
    };

    ProcessTreeSnapshot tree; // never null
    std::vector<Row> rows;
    int32_t rootCount = 0;

    const ProcessNode &node(const Row &row) const { return tree->node(row.node); }
    // The row of the node with this id, if it is kept.
    std::optional<int32_t> rowOf(int64_t id) const;

private:
    friend std::shared_ptr<const ProcessOutline> outline(ProcessTreeSnapshot tree, const ProcessFilter &filter);
    std::vector<std::pair<int64_t, int32_t>> m_rowByID; // by id
};
using OutlineSnapshot = std::shared_ptr<const ProcessOutline>;

// Derives the outline; takes time in proportion to the tree, so it runs off the main thread.
OutlineSnapshot outline(ProcessTreeSnapshot tree, const ProcessFilter &filter);

enum class SortKey { start, pid, user, image, commandLine, eventCount };

struct SortOrder {
    SortKey key = SortKey::start;
    bool ascending = true;
};

// Positions into `processes` of those the filter includes, sorted stably by `order`: numbers and
// dates by value, the user by effective uid, texts by code point.
std::vector<uint32_t> listRows(const std::vector<ProcessNode> &processes, const ProcessFilter &filter,
                               SortOrder order = {});

// The flat list as the table shows it: made on the pool, held by the list model with the
// snapshot its rows point into.
struct ProcessList {
    ProcessesSnapshot processes;                      // never null
    std::vector<uint32_t> rows;                       // positions, in display order
    std::vector<std::pair<int64_t, int32_t>> rowByID; // by id

    const ProcessNode &process(int row) const { return (*processes)[rows[size_t(row)]]; }
    // The row of the process with this id, or -1.
    int rowOf(int64_t id) const;
};
using ProcessListSnapshot = std::shared_ptr<const ProcessList>;

ProcessListSnapshot processList(ProcessesSnapshot processes, const ProcessFilter &filter, SortOrder order);

// The known ancestors, oldest first, then the process itself: each parent is the last successful
// exec in `processes` of the parent pid that started no later than its child and is not the child
// itself. At most 32 steps, which also ends a walk over processes naming each other as parents.
std::vector<ProcessNode> ancestry(const ProcessNode &process, const std::vector<ProcessNode> &processes);
inline constexpr int ancestryStepLimit = 32;

// The image's last path component; a placeholder's image is its own file name.
QString fileName(const ProcessNode &process);

// The label of "Show Exec Record" drill-downs: "exec of " and the file name.
std::string execRecordLabel(const ProcessNode &process);

} // namespace ProcessRows
