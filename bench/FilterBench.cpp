// One filter pass's matching over a busy host's million decoded records, with their process
// images, as the store runs it in the background: on all the engine pool's threads, and on one
// for comparison. Figures are printed, not asserted: run FilterBench from a release build.

#include "Engine/Analysis/ProcessGraph.h"
#include "Engine/Parser/BSMParser.h"
#include "Engine/Record/EventFilter.h"
#include "support/TrailGenerator.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

const std::vector<AuditRecord> &records()
{
    static const auto decoded = [] {
        std::vector<AuditRecord> all = BSMParser::parse(GeneratedTrail::busyHost(), 1, 1, false).records;
        ProcessGraph::build(all, Parallel::Pool::shared());
        return all;
    }();
    return decoded;
}

void runPass(benchmark::State &state, const EventFilter &filter)
{
    const auto &all = records();
    const EventFilter::Pass pass = filter.pass();
    Parallel::Pool &pool = state.range(0) ? Parallel::Pool::shared() : Parallel::Pool::single();
    size_t passed = 0;
    for (auto _ : state) {
        const std::optional<std::vector<uint32_t>> positions = filter.select(all, pass, pool);
        passed = positions->size();
        benchmark::DoNotOptimize(positions);
    }
    state.counters["threads"] = double(pool.threads());
    state.counters["records"] = double(all.size());
    state.counters["passed"] = double(passed);
    state.counters["records/s"] = benchmark::Counter(double(all.size()) * double(state.iterations()),
                                                     benchmark::Counter::kIsRate);
}

// Field tests only: classes, result and a time window.
void structuralFilter(benchmark::State &state)
{
    EventFilter filter;
    filter.classes = {"fr", "ex"};
    filter.result = ResultFilter::success;
    filter.start = 0;
    runPass(state, filter);
}
BENCHMARK(structuralFilter)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// Free text that few records hold: every record runs the whole search, user names included.
void textFilter(benchmark::State &state)
{
    EventFilter filter;
    filter.text = "Xcode";
    runPass(state, filter);
}
BENCHMARK(textFilter)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// A finding's drill-down: a set of record ids.
void recordIDFilter(benchmark::State &state)
{
    EventFilter filter;
    filter.recordIDs.emplace();
    for (int64_t id = 1; id < 100000; id += 7) filter.recordIDs->insert(id);
    runPass(state, filter);
}
BENCHMARK(recordIDFilter)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
