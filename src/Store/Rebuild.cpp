#include "Store/Rebuild.h"

#include "Engine/Analysis/Detections.h"
#include "Engine/Analysis/TrailAnalysis.h"

#include <algorithm>

namespace Rebuild {

namespace {

// Gives a new source's records their ids and source, side by side.
void number(Handed &handed, Parallel::Pool &pool)
{
    const size_t count = handed.records.size();
    const size_t parts = std::clamp<size_t>(count / 65536, 1, size_t(pool.threads()) * 4);
    pool.forEach(parts, [&](size_t part) {
        for (size_t i = count * part / parts; i < count * (part + 1) / parts; ++i) {
            handed.records[i].id = handed.firstID + int64_t(i);
            handed.records[i].source = handed.source;
        }
    });
}

std::function<bool(const AuditRecord &)> ofSources(const std::vector<int64_t> &sources)
{
    return [&sources](const AuditRecord &record) {
        return std::binary_search(sources.begin(), sources.end(), record.source);
    };
}

// Every kept record in one list in time order. A list the rebuild owns alone becomes the result
// as it is when it is already in order; everything else is moved, or copied out of the published
// snapshot, once.
std::vector<AuditRecord> gather(Input &input, Parallel::Pool &pool)
{
    for (Handed &handed : input.handed) number(handed, pool);
    std::vector<TrailAnalysis::Run> runs;
    std::vector<AuditRecord> *sole = nullptr; // the one list that holds every kept record, if any
    if (!input.fromPublished.empty() && input.published && !input.published->empty()) {
        runs.push_back(
            {*input.published, nullptr,
             input.publishedWhole ? std::function<bool(const AuditRecord &)>() : ofSources(input.fromPublished)});
    }
    if (!input.fromCarried.empty() && !input.carried.empty()) {
        runs.push_back({input.carried, input.carried.data(),
                        input.carriedWhole ? std::function<bool(const AuditRecord &)>() : ofSources(input.fromCarried)});
        if (input.carriedWhole) sole = &input.carried;
    }
    for (Handed &handed : input.handed) {
        if (handed.records.empty()) continue;
        runs.push_back({handed.records, handed.records.data(), {}});
        sole = &handed.records;
    }
    if (runs.size() == 1 && sole && TrailAnalysis::inTimeOrder(*sole, pool)) return std::move(*sole);
    return TrailAnalysis::merge(runs, pool);
}

} // namespace

Output run(Input input, Parallel::Pool &pool)
{
    Output output;
    try {
        Parallel::checkpoint();
        // Nothing has moved until the merge's last step, which never stops halfway.
        output.records = gather(input, pool);
    } catch (...) {
        output.stopped = std::current_exception();
        output.unmerged = std::move(input);
        return output;
    }
    // What the rebuild was handed is spent: let it go before the analysis takes its memory.
    input = {};
    try {
        Parallel::checkpoint();
        auto analysis = std::make_shared<StoreAnalysis>();
        analysis->tree = ProcessGraph::build(output.records, pool);
        Parallel::checkpoint();
        // Statistics and the id index need only the records, so they are made while the detections run.
        const std::span<const AuditRecord> records = output.records;
        pool.both([&] { analysis->findings = Detections::run(records, pool); },
                  [&] {
                      analysis->stats = TrailStats::compute(records, pool);
                      Parallel::checkpoint();
                      analysis->indexPositions(records, pool);
                  });
        Parallel::checkpoint();
        output.analysis = std::move(analysis);
    } catch (...) {
        output.stopped = std::current_exception();
    }
    return output;
}

} // namespace Rebuild
