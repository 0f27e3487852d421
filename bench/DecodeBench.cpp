// Decoding speed and the memory the decoded records hold, over a generated trail.
// Figures are printed, not asserted: run DecodeBench from a release build.

#include "Engine/Parser/BSMParser.h"
#include "Engine/Support/Memory.h"
#include "support/TrailGenerator.h"

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <memory>

namespace {

constexpr size_t trailBytes = 64u << 20;

const TrailBytes &trail()
{
    static const TrailBytes bytes = [] {
        const GeneratedTrail::Bytes mixed = GeneratedTrail::mixed(trailBytes);
        return std::make_shared<const TrailBuffer>(mixed.begin(), mixed.end());
    }();
    return bytes;
}

// Large blocks are mapped, not taken from the heap arenas, so both counts are needed, and trail
// buffers are mapped by the engine itself.
size_t heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd + Memory::mappedBytes();
}

void reportRates(benchmark::State &state, size_t records)
{
    const auto iterations = static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(trail()->size()) * state.iterations());
    state.counters["records/s"] = benchmark::Counter(static_cast<double>(records) * iterations,
                                                     benchmark::Counter::kIsRate);
    state.counters["bytes/record"] = static_cast<double>(trail()->size()) / static_cast<double>(records);
}

// Both parse entry points time the same loop; only the form the bytes arrive in differs.
template <typename Bytes>
void parseRepeatedly(benchmark::State &state, const Bytes &bytes)
{
    size_t records = 0;
    for (auto _ : state) {
        auto result = BSMParser::parse(bytes, 1, 1, false);
        records = result.records.size();
        benchmark::DoNotOptimize(result);
        // Freeing a trail's records is the caller's cost, not decoding's; trimming settles the
        // allocator's deferred work so that it does not land in the next parse.
        state.PauseTiming();
        result = {};
        malloc_trim(0);
        state.ResumeTiming();
    }
    reportRates(state, records);
}

// What loading a file does: the bytes already sit in one shared buffer.
void parseFileMode(benchmark::State &state)
{
    parseRepeatedly(state, trail());
}
BENCHMARK(parseFileMode)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same from caller-owned bytes, which are copied into a shared buffer once.
void parseFileModeFromSpan(benchmark::State &state)
{
    parseRepeatedly(state, std::span<const uint8_t>(*trail()));
}
BENCHMARK(parseFileModeFromSpan)->Unit(benchmark::kMillisecond)->UseRealTime();

// Heap held by the result of one parse, the shared trail buffer included.
void recordMemory(benchmark::State &state)
{
    const std::span<const uint8_t> bytes(*trail());
    double held = 0;
    size_t records = 0;
    for (auto _ : state) {
        const size_t before = heapInUse();
        auto result = BSMParser::parse(bytes, 1, 1, false);
        held = static_cast<double>(heapInUse() - before);
        records = result.records.size();
        benchmark::DoNotOptimize(result);
    }
    state.counters["memory/record"] = held / static_cast<double>(records);
    state.counters["memory/trail"] = held / static_cast<double>(bytes.size());
    state.counters["sizeof(AuditRecord)"] = sizeof(AuditRecord);
    state.counters["bytes/record"] = static_cast<double>(bytes.size()) / static_cast<double>(records);
}
BENCHMARK(recordMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
