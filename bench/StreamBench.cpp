// The live reader behind a large size claim: a header declaring 4 MiB, then small records that
// arrive one read each, as a quiet audit pipe delivers them. The time per record must not grow
// with the bytes already waiting (it did: every read copied them all again). Figures are
// printed, not asserted; the complexity line should read N, not N^2.

#include "Engine/Capture/LiveStreamReader.h"
#include "support/TrailBuilder.h"

#include <benchmark/benchmark.h>

namespace {

using namespace TestBSM;

constexpr uint32_t claimedSize = 4u << 20;

void largeClaimThenSmallRecords(benchmark::State &state)
{
    const auto count = static_cast<size_t>(state.range(0));
    const Bytes claim = Token::header(claimedSize, 72, 1700000000);
    const Bytes small = TrailRecordBuilder(72, 1700000001).subject().returnValue(0).build();
    size_t delivered = 0;
    for (auto _ : state) {
        LiveStreamReader reader;
        delivered = reader.decode(claim).size();
        for (size_t i = 0; i < count; ++i) delivered += reader.decode(small).size();
        benchmark::DoNotOptimize(delivered);
    }
    state.SetComplexityN(static_cast<int64_t>(count));
    state.counters["records delivered"] = static_cast<double>(delivered);
    state.counters["reads/s"] = benchmark::Counter(static_cast<double>(count) * static_cast<double>(state.iterations()),
                                                   benchmark::Counter::kIsRate);
}

} // namespace

// From fewer records than the claim covers to four times as many bytes as it claims.
BENCHMARK(largeClaimThenSmallRecords)
    ->RangeMultiplier(2)
    ->Range(1 << 14, 1 << 18)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Complexity(benchmark::oN);

BENCHMARK_MAIN();
