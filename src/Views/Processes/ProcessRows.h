#pragma once

#include "Engine/Analysis/ProcessGraph.h"
#include "Engine/BSM/CaseFold.h"

#include <QString>

#include <cstdint>
#include <string>
#include <vector>

// What the Processes screen derives from the store's processes: the filter, the pruned tree, the
// sorted list and a process's lineage. Pure, so each is tested without a widget.
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
    mutable std::string m_commandLine; // reused between nodes
};

bool include(const ProcessNode &process, const ProcessFilter &filter);

// The matching processes and the chain of their ancestors, in input order. A kept node's children
// are its kept children, absent when none is kept; every node is a new copy.
std::vector<ProcessNode> pruned(const std::vector<ProcessNode> &nodes, const ProcessFilter &filter);

enum class SortKey { start, pid, user, image, commandLine, eventCount };

struct SortOrder {
    SortKey key = SortKey::start;
    bool ascending = true;
};

// Positions into `processes` of those the filter includes, sorted stably by `order`: numbers and
// dates by value, the user by effective uid, texts by code point.
std::vector<uint32_t> listRows(const std::vector<ProcessNode> &processes, const ProcessFilter &filter,
                               SortOrder order = {});

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
