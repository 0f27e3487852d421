// The analysis of any records is the same on one thread as on several: the order of the records,
// the process tree and the findings, their random ids aside. (The fuzz build splits even short
// lists between threads.)

#include "Engine/Analysis/TrailAnalysis.h"

#include "FuzzRecords.h"

#include <cmath>
#include <map>
#include <memory>

namespace {

bool sameTime(double a, double b)
{
    return a == b || (std::isnan(a) && std::isnan(b));
}

bool sameFinding(const Finding &a, const Finding &b)
{
    return a.rule == b.rule && a.category == b.category && a.severity == b.severity && a.technique == b.technique
           && sameTime(a.time, b.time) && a.summary == b.summary && a.explanation == b.explanation
           && a.recordIDs == b.recordIDs && a.user == b.user;
}

// The same nodes at the same positions, hung the same way.
void sameTree(const ProcessTree &a, const ProcessTree &b)
{
    require(a.processes.size() == b.processes.size() && a.placeholders.size() == b.placeholders.size(),
            "as many processes");
    require(a.roots == b.roots && a.childList == b.childList, "the same lineage");
    for (uint32_t at = 0; at < a.size(); ++at) {
        const ProcessNode &x = a.node(at), &y = b.node(at);
        require(x.id == y.id && x.pid == y.pid && x.image == y.image && x.eventCount == y.eventCount
                    && x.parent == y.parent && x.children.first == y.children.first
                    && x.children.count == y.children.count,
                "the same processes");
    }
}

// A pool of each size asked for, made once.
Parallel::Pool &pool(unsigned threads)
{
    static std::map<unsigned, std::unique_ptr<Parallel::Pool>> pools;
    std::unique_ptr<Parallel::Pool> &made = pools[threads];
    if (!made) made = std::make_unique<Parallel::Pool>(threads);
    return *made;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const unsigned threads = in.ConsumeIntegralInRange<unsigned>(2, 8);
    const std::vector<AuditRecord> records = FuzzRecords::records(in, 200);

    const TrailAnalysis one = TrailAnalysis::of(records, {}, Parallel::Pool::single());
    size_t seenAlongside = 0;
    const TrailAnalysis several = TrailAnalysis::of(
        records, [&](std::span<const AuditRecord> sorted) { seenAlongside = sorted.size(); }, pool(threads));

    require(seenAlongside == records.size(), "the finished records are handed over whole");
    require(one.records.size() == records.size() && several.records.size() == records.size(), "every record kept");
    for (size_t i = 0; i < records.size(); ++i) {
        require(one.records[i].id == several.records[i].id, "the same record order");
        require(one.records[i].processImage == several.records[i].processImage, "the same process images");
    }
    sameTree(one.tree, several.tree);
    require(one.findings.size() == several.findings.size(), "as many findings");
    for (size_t i = 0; i < one.findings.size(); ++i) {
        require(sameFinding(one.findings[i], several.findings[i]), "the same findings in the same order");
        require(!one.findings[i].recordIDs.empty(), "every finding names its records");
        for (const int64_t id : one.findings[i].recordIDs)
            require(id >= 1 && id <= int64_t(records.size()), "a finding names only records it was given");
    }
    return 0;
}
