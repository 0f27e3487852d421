// The live stream reader fed the same bytes in chunks of random sizes makes exactly the records,
// and keeps exactly the bytes, of one read of them all.

#include "Engine/Capture/LiveStreamReader.h"

#include "FuzzCheck.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The first bytes choose the cuts, the rest is the stream.
    FuzzedDataProvider in(data, size);
    std::vector<size_t> cuts;
    const size_t cutCount = in.ConsumeIntegralInRange<size_t>(0, 16);
    for (size_t i = 0; i < cutCount; ++i) cuts.push_back(in.ConsumeIntegralInRange<size_t>(0, 4096));
    const std::vector<uint8_t> stream = in.ConsumeRemainingBytes<uint8_t>();

    LiveStreamReader whole;
    const std::vector<AuditRecord> expected = whole.decode(stream);

    LiveStreamReader pieces;
    std::vector<AuditRecord> got;
    size_t at = 0, next = 0;
    while (at < stream.size()) {
        const size_t length = std::min(stream.size() - at, next < cuts.size() ? cuts[next++] : stream.size());
        for (AuditRecord &record : pieces.decode({stream.data() + at, length})) got.push_back(std::move(record));
        at += length;
    }
    require(got.size() == expected.size(), "chunks make as many records as one read");
    for (size_t i = 0; i < got.size(); ++i) {
        require(std::ranges::equal(got[i].raw(), expected[i].raw()), "chunks make the same records");
        require(got[i].event == expected[i].event && got[i].returnStatus == expected[i].returnStatus
                    && got[i].time == expected[i].time && got[i].paths() == expected[i].paths()
                    && got[i].execArgs() == expected[i].execArgs(),
                "chunks decode the same fields");
        require(got[i].source == -1, "live records come from source -1");
    }
    require(pieces.pendingBytes() == whole.pendingBytes(), "chunks keep the bytes one read keeps");
    require(whole.pendingBytes() <= stream.size(), "no more kept than given");
    return 0;
}
