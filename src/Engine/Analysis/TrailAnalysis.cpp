#include "Engine/Analysis/TrailAnalysis.h"

#include "Engine/Analysis/Detections.h"
#include "Engine/Support/Parallel.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// What the sort compares, small enough that sorting it moves little memory; the records move
// once, to their final place, afterwards.
struct SortKey {
    double time;
    int64_t id;
    uint32_t index;

    // A time that is not a number sorts after every other, so the order stays strict and weak
    // (which sorting and merging need) and one thread sorts as several do.
    bool operator<(const SortKey &other) const
    {
        const bool unusable = std::isnan(time), otherUnusable = std::isnan(other.time);
        if (unusable != otherUnusable) return otherUnusable;
        if (!unusable && time != other.time) return time < other.time;
        return id < other.id;
    }
};

// Below this a second thread costs more than it saves (fuzzing sorts short lists in runs too).
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
constexpr size_t parallelSortMinimum = 8;
#else
constexpr size_t parallelSortMinimum = 1u << 16;
#endif

void sortKeys(std::vector<SortKey> &keys, unsigned threads)
{
    if (keys.size() < parallelSortMinimum || threads <= 1) {
        std::sort(keys.begin(), keys.end());
        return;
    }
    // Sorted runs, then rounds of pairwise merges, each round's merges side by side.
    size_t runs = 1;
    while (runs < threads) runs *= 2;
    const size_t runLength = (keys.size() + runs - 1) / runs;
    auto bound = [&](size_t i) { return keys.begin() + std::ptrdiff_t(std::min(keys.size(), i * runLength)); };
    Parallel::forEach(runs, threads, [&](size_t i) { std::sort(bound(i), bound(i + 1)); });
    for (size_t width = 1; width < runs; width *= 2) {
        Parallel::forEach(runs / (2 * width), threads, [&](size_t pair) {
            const size_t first = pair * 2 * width;
            std::inplace_merge(bound(first), bound(first + width), bound(first + 2 * width));
        });
    }
}

} // namespace

void TrailAnalysis::sortByTime(std::vector<AuditRecord> &records, unsigned threads)
{
    std::vector<SortKey> keys(records.size());
    for (size_t i = 0; i < records.size(); ++i) keys[i] = {records[i].time, records[i].id, uint32_t(i)};
    // A trail read on its own is mostly in order already.
    if (std::is_sorted(keys.begin(), keys.end())) return;
    sortKeys(keys, threads);
    // Moves each record straight to its place, following the permutation's cycles.
    std::vector<uint8_t> placed(records.size(), 0);
    for (size_t start = 0; start < records.size(); ++start) {
        if (placed[start]) continue;
        AuditRecord held = std::move(records[start]);
        size_t at = start;
        for (;;) {
            placed[at] = 1;
            const size_t from = keys[at].index;
            if (from == start) break;
            records[at] = std::move(records[from]);
            at = from;
        }
        records[at] = std::move(held);
    }
}

TrailAnalysis TrailAnalysis::of(std::vector<AuditRecord> records,
                                const std::function<void(std::span<const AuditRecord>)> &alongside, unsigned threads)
{
    sortByTime(records, threads);
    ProcessGraph::Result tree = ProcessGraph::build(std::move(records));
    TrailAnalysis analysis;
    auto detect = [&] { analysis.findings = Detections::run(tree.records, threads); };
    if (alongside && threads > 1) {
        Parallel::both(detect, [&] { alongside(tree.records); });
    } else {
        detect();
        if (alongside) alongside(tree.records);
    }
    analysis.records = std::move(tree.records);
    analysis.processes = std::move(tree.processes);
    analysis.roots = std::move(tree.roots);
    return analysis;
}
