#pragma once

#include "Engine/Analysis/Finding.h"
#include "Engine/Analysis/ProcessGraph.h"
#include "Engine/Analysis/TrailStats.h"
#include "Store/RecordSelection.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <algorithm>
#include <span>
#include <vector>

// All that one rebuild of the store derived from one record snapshot. Published whole and never
// changed afterwards, so a model may keep it while newer ones are published: its lists and its
// index always describe its own records.
struct StoreAnalysis {
    RecordSnapshot records = RecordSelection::emptySnapshot(); // all sources, by time then id
    ProcessTree tree; // the processes, flat in exec order, and their lineage
    std::vector<Finding> findings;
    TrailStats stats;
    // Record id -> position in records, for the ids from firstID on: ids are handed out in runs,
    // so four bytes an id beat a hash map's forty a record.
    int64_t firstID = 0;
    std::vector<uint32_t> positionByID; // noPosition where no record has the id
    static constexpr uint32_t noPosition = UINT32_MAX;

    std::optional<size_t> position(int64_t id) const
    {
        if (id < firstID || id - firstID >= int64_t(positionByID.size())) return std::nullopt;
        const uint32_t at = positionByID[size_t(id - firstID)];
        if (at == noPosition) return std::nullopt;
        return at;
    }
    // Indexes records, which must be those of this analysis.
    void indexPositions(std::span<const AuditRecord> all)
    {
        if (all.empty()) return;
        const auto [low, high] = std::minmax_element(all.begin(), all.end(),
                                                     [](const AuditRecord &a, const AuditRecord &b) { return a.id < b.id; });
        firstID = low->id;
        positionByID.assign(size_t(high->id - low->id) + 1, noPosition);
        for (size_t p = 0; p < all.size(); ++p) positionByID[size_t(all[p].id - firstID)] = uint32_t(p);
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
using ProcessTreeSnapshot = std::shared_ptr<const ProcessTree>;
using StatsSnapshot = std::shared_ptr<const TrailStats>;
