#pragma once

#include "Engine/Analysis/Finding.h"
#include "Engine/Analysis/ProcessGraph.h"
#include "Engine/Analysis/TrailStats.h"
#include "Store/RecordSelection.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

// All that one rebuild of the store derived from one record snapshot. Published whole and never
// changed afterwards, so a model may keep it while newer ones are published: its lists and its
// index always describe its own records.
struct StoreAnalysis {
    RecordSnapshot records = RecordSelection::emptySnapshot(); // all sources, by time then id
    std::vector<ProcessNode> processes; // flat, in exec order
    std::vector<ProcessNode> roots; // the tree
    std::vector<Finding> findings;
    TrailStats stats;
    std::unordered_map<int64_t, uint32_t> positionByID; // record id -> position in records

    std::optional<size_t> position(int64_t id) const
    {
        const auto it = positionByID.find(id);
        if (it == positionByID.end()) return std::nullopt;
        return it->second;
    }
    // Null when no record has the id.
    const AuditRecord *record(int64_t id) const
    {
        const auto at = position(id);
        return at ? &(*records)[*at] : nullptr;
    }
};

using AnalysisSnapshot = std::shared_ptr<const StoreAnalysis>;
// Parts of an analysis snapshot; each keeps the whole snapshot alive.
using FindingsSnapshot = std::shared_ptr<const std::vector<Finding>>;
using ProcessesSnapshot = std::shared_ptr<const std::vector<ProcessNode>>;
using StatsSnapshot = std::shared_ptr<const TrailStats>;
