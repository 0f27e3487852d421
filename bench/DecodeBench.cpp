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

// Freeing a trail's records is the caller's cost, not decoding's; trimming settles the
// allocator's deferred work so that it does not land in the next parse.
template <typename Result>
void releaseUntimed(benchmark::State &state, Result &result)
{
    state.PauseTiming();
    result = {};
    malloc_trim(0);
    state.ResumeTiming();
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
        releaseUntimed(state, result);
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

// Loading a big file: parts decoded side by side on the process's pool, over a busy host's million
// records as written, with an implausible size after its first record, and over a trail whose
// first record claims 16 MiB, more than the trail holds.
const TrailBytes &busyHostTrail(bool damaged)
{
    static const GeneratedTrail::Bytes written = GeneratedTrail::busyHost();
    const auto share = [](const GeneratedTrail::Bytes &bytes) {
        return std::make_shared<const TrailBuffer>(bytes.begin(), bytes.end());
    };
    static const TrailBytes clean = share(written);
    static const TrailBytes implausible = [&] {
        GeneratedTrail::Bytes bytes = written;
        const size_t first = size_t(bytes[1]) << 24 | size_t(bytes[2]) << 16 | size_t(bytes[3]) << 8 | bytes[4];
        const uint8_t header[] = {0x14, 0x00, 0x00, 0x00, 0x02};
        bytes.insert(bytes.begin() + std::ptrdiff_t(first), std::begin(header), std::end(header));
        return share(bytes);
    }();
    return damaged ? implausible : clean;
}

const TrailBytes &claimPastTheEnd()
{
    static const TrailBytes bytes = [] {
        GeneratedTrail::Bytes mixed = GeneratedTrail::mixed((16u << 20) - 1024);
        mixed[1] = 0x01, mixed[2] = mixed[3] = mixed[4] = 0x00;
        return std::make_shared<const TrailBuffer>(mixed.begin(), mixed.end());
    }();
    return bytes;
}

void parseInParts(benchmark::State &state, const TrailBytes &(*bytes)())
{
    const TrailBytes &data = bytes();
    size_t records = 0;
    for (auto _ : state) {
        auto result = BSMParser::parseFile(data, 1, 1, Parallel::Pool::shared());
        records = result.records.size();
        benchmark::DoNotOptimize(result);
        releaseUntimed(state, result);
    }
    state.counters["records"] = static_cast<double>(records);
}
BENCHMARK_CAPTURE(parseInParts, busyHost, []() -> const TrailBytes & { return busyHostTrail(false); })
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(parseInParts, busyHostImplausibleSizeNearTheStart,
                  []() -> const TrailBytes & { return busyHostTrail(true); })
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(parseInParts, claimOf16MiBIn16MiB, claimPastTheEnd)->Unit(benchmark::kMillisecond)->UseRealTime();

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
