#pragma once

#include "Engine/Record/AuditRecord.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// One program image run by one pid: made by an exec record, closed by an exit or a later exec.
// Equality and hashing look at the id alone.
struct ProcessNode {
    int64_t id = 0; // the exec record's id; -1 - parent pid for a placeholder
    uint32_t pid = 0;
    std::optional<uint32_t> ppid;
    std::string image;
    std::vector<std::string> args;
    uint32_t euid = unsetID;
    uint32_t auid = unsetID;
    double start = 0;
    std::optional<std::string> signingID;
    std::optional<std::string> teamID;
    bool succeeded = true;
    bool isPlaceholder = false;
    std::optional<double> end;
    std::optional<int32_t> exitStatus;
    int64_t eventCount = 0;
    std::optional<std::vector<ProcessNode>> children; // absent in the flat list and on leaves

    // The arguments joined by single spaces, or the image when there are none.
    std::string commandLine() const;

    bool operator==(const ProcessNode &other) const { return id == other.id; }
};

template <>
struct std::hash<ProcessNode> {
    size_t operator()(const ProcessNode &node) const noexcept { return std::hash<int64_t>()(node.id); }
};

// Process lineage from time-ordered records; also fills in every record's processImage.
namespace ProcessGraph {

struct Result {
    std::vector<AuditRecord> records; // the input, in input order, with processImage rewritten
    std::vector<ProcessNode> processes; // flat, in exec order, children absent
    std::vector<ProcessNode> roots; // the tree, placeholders included
};

// Records are processed strictly in the order given (callers sort them by time first). Taken by
// value so a caller that moves its records in pays for no copy.
Result build(std::vector<AuditRecord> records);

} // namespace ProcessGraph
