#pragma once

#include "Engine/Analysis/Finding.h"
#include "Engine/Analysis/ProcessGraph.h"
#include "Engine/Record/AuditRecord.h"
#include "Engine/Support/Parallel.h"

#include <functional>
#include <span>
#include <vector>

// What an investigation is shown of a set of records: the records in time order with their
// process images, the process lineage and the findings. Loaded trails and the live capture are
// analysed by this one pass.
struct TrailAnalysis {
    std::vector<AuditRecord> records; // by time, then id
    ProcessTree tree;                 // the processes and their lineage
    std::vector<Finding> findings;    // by time

    // Sorts by time then id, builds the process tree and runs the detections. Taken by value so a
    // caller that moves its records in pays for no copy. `alongside`, when set, is given the
    // finished records on another thread while the detections run. The pool's threads work on
    // it; the result is the same for any number.
    static TrailAnalysis of(std::vector<AuditRecord> records,
                            const std::function<void(std::span<const AuditRecord>)> &alongside = {},
                            Parallel::Pool &pool = Parallel::Pool::shared());

    // Whether records are in time order, then id order.
    static bool inTimeOrder(std::span<const AuditRecord> records, Parallel::Pool &pool = Parallel::Pool::shared());
    // Puts records in time order, then id order, on the pool's threads; the order equals a
    // sequential sort's, as no two records share an id.
    static void sortByTime(std::vector<AuditRecord> &records, Parallel::Pool &pool = Parallel::Pool::shared());

    // Records for merge(): copied out of `records`, or moved out of `movable` (the same records,
    // writable) when the merge may take them; only those `keep` accepts, or all without it.
    struct Run {
        std::span<const AuditRecord> records;
        AuditRecord *movable = nullptr;
        std::function<bool(const AuditRecord &)> keep;
    };
    // The kept records of all runs in one new list, in time order then id order, each moved or
    // copied once, side by side on the pool's threads.
    static std::vector<AuditRecord> merge(const std::vector<Run> &runs, Parallel::Pool &pool = Parallel::Pool::shared());
};
