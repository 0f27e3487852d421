#pragma once

#include "Engine/Record/AuditRecord.h"
#include "Engine/Record/JoinedText.h"
#include "Engine/Support/Parallel.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Some of a tree's child list: the children of one node.
struct NodeRange {
    uint32_t first = 0;
    uint32_t count = 0;

    // True when the node has children in the tree; false on leaves and on nodes at the cut.
    explicit operator bool() const { return count != 0; }
};

// One program image run by one pid: made by an exec record, closed by an exit or a later exec.
// Its texts are views into the storage of the records it was made from, which the node keeps
// alive, so a copy stays valid on its own. Equality and hashing look at the id alone.
struct ProcessNode {
    static constexpr uint32_t none = UINT32_MAX;

    int64_t id = 0; // the exec record's id; -1 - parent pid for a placeholder
    uint32_t pid = 0;
    std::optional<uint32_t> ppid;
    std::string_view image;
    StringList args;
    uint32_t euid = unsetID;
    uint32_t auid = unsetID;
    double start = 0;
    std::optional<std::string_view> signingID;
    std::optional<std::string_view> teamID;
    bool succeeded = true;
    bool isPlaceholder = false;
    std::optional<double> end;
    std::optional<int32_t> exitStatus;
    int64_t eventCount = 0;
    // Where the node sits in its tree, as positions in the tree's node list: the parent it hangs
    // under (none for a root), and its children in the tree's child list.
    uint32_t parent = none;
    NodeRange children;

    // The arguments joined by single spaces, or the image when there are none.
    std::string commandLine() const;
    // The same, read in place.
    JoinedText commandLineText() const;

    bool operator==(const ProcessNode &other) const { return id == other.id; }

private:
    friend struct ProcessTreeBuilder;
    StorageRef m_texts;
};

template <>
struct std::hash<ProcessNode> {
    size_t operator()(const ProcessNode &node) const noexcept { return std::hash<int64_t>()(node.id); }
};

// Process lineage: every process image once, flat, and the tree over them. A node's position is
// its index in `processes`, or processes.size() + its index in `placeholders`.
struct ProcessTree {
    std::vector<ProcessNode> processes;    // in exec order
    std::vector<ProcessNode> placeholders; // the parents that started before the trail; only in the tree
    std::vector<uint32_t> roots;           // positions, in tree order
    std::vector<uint32_t> childList;       // every node's children, node after node, each in exec order

    size_t size() const { return processes.size() + placeholders.size(); }
    const ProcessNode &node(uint32_t position) const
    {
        return position < processes.size() ? processes[position] : placeholders[position - processes.size()];
    }
    std::span<const uint32_t> children(const ProcessNode &node) const
    {
        return {childList.data() + node.children.first, node.children.count};
    }
    // The position of the node with this id, placeholders included.
    std::optional<uint32_t> position(int64_t id) const;

private:
    friend struct ProcessTreeBuilder;
    std::vector<std::pair<int64_t, uint32_t>> m_positionByID; // by id
};

namespace ProcessGraph {

// Builds the lineage of records already in time order and fills in every record's processImage
// (records without a subject are left alone). Records are processed strictly in the order given.
// The pool's threads share the work; the result is the same for any number.
ProcessTree build(std::span<AuditRecord> records, Parallel::Pool &pool = Parallel::Pool::single());

} // namespace ProcessGraph
