#pragma once

#include "Engine/Analysis/Finding.h"
#include "Engine/Analysis/ProcessGraph.h"
#include "Engine/Analysis/TrailStats.h"
#include "Engine/Support/Memory.h"
#include "Engine/Support/Parallel.h"
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
    ProcessTree tree;                                          // the processes, flat in exec order, and their lineage
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
    // Indexes records, which must be those of this analysis, in parts side by side.
    void indexPositions(std::span<const AuditRecord> all, Parallel::Pool &pool = Parallel::Pool::single())
    {
        if (all.empty()) return;
        const size_t parts = std::clamp<size_t>(all.size() / 65536, 1, size_t(pool.threads()) * 4);
        const auto bound = [&](size_t part) { return all.size() * part / parts; };
        std::vector<std::pair<int64_t, int64_t>> ranges(parts);
        pool.forEach(parts, [&](size_t part) {
            const auto [low, high] = std::minmax_element(all.begin() + bound(part), all.begin() + bound(part + 1),
                                                         [](const AuditRecord &a, const AuditRecord &b) {
                                                             return a.id < b.id;
                                                         });
            ranges[part] = {low->id, high->id};
        });
        int64_t high = ranges[0].second;
        firstID = ranges[0].first;
        for (const auto &[partLow, partHigh] : ranges) {
            firstID = std::min(firstID, partLow);
            high = std::max(high, partHigh);
        }
        positionByID.reserve(size_t(high - firstID) + 1);
        Memory::prefault(positionByID.data(), positionByID.capacity() * sizeof(uint32_t), pool);
        positionByID.resize(size_t(high - firstID) + 1);
        // Ids come in runs, so most slots are written below; the few gaps are marked first.
        pool.forEach(parts, [&](size_t part) {
            const size_t begin = positionByID.size() * part / parts, end = positionByID.size() * (part + 1) / parts;
            std::fill(positionByID.begin() + std::ptrdiff_t(begin), positionByID.begin() + std::ptrdiff_t(end),
                      noPosition);
        });
        pool.forEach(parts, [&](size_t part) {
            for (size_t p = bound(part); p < bound(part + 1); ++p)
                positionByID[size_t(all[p].id - firstID)] = uint32_t(p);
        });
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
