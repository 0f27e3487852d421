#include "Engine/Analysis/TrailAnalysis.h"

#include "Engine/Analysis/Detections.h"
#include "Engine/Support/Memory.h"
#include "Engine/Support/Parallel.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>

namespace {

// A time that is not a number sorts after every other, so the order stays strict and weak (which
// sorting and merging need), and one thread, several, and an already ordered list all agree.
bool earlier(double time, int64_t id, double otherTime, int64_t otherID)
{
    const bool unusable = std::isnan(time), otherUnusable = std::isnan(otherTime);
    if (unusable != otherUnusable) return otherUnusable;
    if (!unusable && time != otherTime) return time < otherTime;
    return id < otherID;
}

// What the sort compares, small enough that sorting it moves little memory; the records move
// once, to their final place, afterwards.
struct SortKey {
    double time;
    int64_t id;
    uint32_t index;
    uint32_t run = 0;

    bool operator<(const SortKey &other) const { return earlier(time, id, other.time, other.id); }
};

// Below this a second thread costs more than it saves (fuzzing sorts short lists in runs too).
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
constexpr size_t parallelSortMinimum = 8;
#else
constexpr size_t parallelSortMinimum = 1u << 16;
#endif

void sortKeys(std::vector<SortKey> &keys, Parallel::Pool &pool)
{
    const unsigned threads = pool.threads();
    if (keys.size() < parallelSortMinimum || threads <= 1) {
        std::sort(keys.begin(), keys.end());
        return;
    }
    // Sorted runs, then rounds of pairwise merges, each round's merges side by side.
    size_t runs = 1;
    while (runs < threads) runs *= 2;
    const size_t runLength = (keys.size() + runs - 1) / runs;
    auto bound = [&](size_t i) { return keys.begin() + std::ptrdiff_t(std::min(keys.size(), i * runLength)); };
    pool.forEach(runs, [&](size_t i) { std::sort(bound(i), bound(i + 1)); });
    for (size_t width = 1; width < runs; width *= 2) {
        pool.forEach(runs / (2 * width), [&](size_t pair) {
            const size_t first = pair * 2 * width;
            std::inplace_merge(bound(first), bound(first + width), bound(first + 2 * width));
        });
    }
}

} // namespace

bool TrailAnalysis::inTimeOrder(std::span<const AuditRecord> records, Parallel::Pool &pool)
{
    const size_t parts = std::clamp<size_t>(records.size() / parallelSortMinimum, 1, size_t(pool.threads()) * 4);
    std::atomic<bool> ordered{true};
    pool.forEach(parts, [&](size_t part) {
        // Each part checks its own records and the step into the next part.
        const size_t begin = records.size() * part / parts;
        const size_t end = std::min(records.size(), records.size() * (part + 1) / parts + 1);
        for (size_t i = begin + 1; i < end && ordered.load(std::memory_order_relaxed); ++i)
            if (earlier(records[i].time, records[i].id, records[i - 1].time, records[i - 1].id)) ordered = false;
    });
    return ordered;
}

void TrailAnalysis::sortByTime(std::vector<AuditRecord> &records, Parallel::Pool &pool)
{
    // A trail read on its own is mostly in order already.
    if (inTimeOrder(records, pool)) return;
    std::vector<SortKey> keys(records.size());
    for (size_t i = 0; i < records.size(); ++i) keys[i] = {records[i].time, records[i].id, uint32_t(i)};
    sortKeys(keys, pool);
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

std::vector<AuditRecord> TrailAnalysis::merge(const std::vector<Run> &runs, Parallel::Pool &pool)
{
    // Pieces of the runs, each counted, then keyed at its place, side by side.
    struct Piece {
        uint32_t run;
        size_t begin, end;
        size_t firstKey = 0;
    };
    constexpr size_t pieceSize = size_t(1) << 16;
    std::vector<Piece> pieces;
    for (uint32_t r = 0; r < runs.size(); ++r)
        for (size_t begin = 0; begin < runs[r].records.size(); begin += pieceSize)
            pieces.push_back({r, begin, std::min(runs[r].records.size(), begin + pieceSize)});
    std::vector<size_t> kept(pieces.size());
    pool.forEach(pieces.size(), [&](size_t p) {
        const Run &run = runs[pieces[p].run];
        if (!run.keep) {
            kept[p] = pieces[p].end - pieces[p].begin;
            return;
        }
        for (size_t i = pieces[p].begin; i < pieces[p].end; ++i) kept[p] += run.keep(run.records[i]);
    });
    size_t total = 0;
    for (size_t p = 0; p < pieces.size(); ++p) {
        pieces[p].firstKey = total;
        total += kept[p];
    }
    Parallel::checkpoint(0, total * (sizeof(SortKey) + sizeof(AuditRecord)));
    std::vector<SortKey> keys;
    keys.reserve(total);
    Memory::prefault(keys.data(), total * sizeof(SortKey), pool);
    keys.resize(total);
    pool.forEach(pieces.size(), [&](size_t p) {
        const Run &run = runs[pieces[p].run];
        size_t at = pieces[p].firstKey;
        for (size_t i = pieces[p].begin; i < pieces[p].end; ++i) {
            const AuditRecord &record = run.records[i];
            if (!run.keep || run.keep(record)) keys[at++] = {record.time, record.id, uint32_t(i), pieces[p].run};
        }
    });
    const size_t parts = std::clamp<size_t>(total / parallelSortMinimum, 1, size_t(pool.threads()) * 4);
    std::atomic<bool> ordered{true};
    pool.forEach(parts, [&](size_t part) {
        const size_t end = std::min(total, total * (part + 1) / parts + 1);
        for (size_t k = total * part / parts + 1; k < end && ordered.load(std::memory_order_relaxed); ++k)
            if (keys[k] < keys[k - 1]) ordered = false;
    });
    if (!ordered) sortKeys(keys, pool);

    std::vector<AuditRecord> merged;
    merged.reserve(total);
    Memory::prefault(merged.data(), total * sizeof(AuditRecord), pool);
    merged.resize(total);
    const size_t slices = std::clamp<size_t>(total / pieceSize, 1, size_t(pool.threads()) * 4);
    // Once records start to move, every one must: a merge stopped midway would leave some in
    // lists their owner no longer holds whole.
    const Parallel::InterruptionScope whole(nullptr);
    pool.forEach(slices, [&](size_t slice) {
        for (size_t k = total * slice / slices; k < total * (slice + 1) / slices; ++k) {
            const Run &run = runs[keys[k].run];
            if (run.movable) merged[k] = std::move(run.movable[keys[k].index]);
            else merged[k] = run.records[keys[k].index];
        }
    });
    return merged;
}

TrailAnalysis TrailAnalysis::of(std::vector<AuditRecord> records,
                                const std::function<void(std::span<const AuditRecord>)> &alongside,
                                Parallel::Pool &pool)
{
    TrailAnalysis analysis;
    sortByTime(records, pool);
    analysis.tree = ProcessGraph::build(records, pool);
    auto detect = [&] { analysis.findings = Detections::run(records, pool); };
    if (alongside && pool.threads() > 1) {
        pool.both(detect, [&] { alongside(records); });
    } else {
        detect();
        if (alongside) alongside(records);
    }
    analysis.records = std::move(records);
    return analysis;
}
