#pragma once

#include "Engine/Support/Parallel.h"
#include "Store/StoreAnalysis.h"

#include <cstdint>
#include <memory>
#include <vector>

// One rebuild of the store's analysis, run on a pool thread. It owns every list of records it is
// handed and gives all of them back: analysed, ready to be published, or, when the store no longer
// wants that result, as one list for the next rebuild. The published snapshot it starts from is
// only read, never written. Between its steps the records are always whole in one list it owns,
// so a rebuild stopped there could hand them back as they are.
namespace Rebuild {

// A new source's records in the source's order, numbered by the rebuild.
struct Handed {
    int64_t source = 0;
    int64_t firstID = 0;
    std::vector<AuditRecord> records;
};

struct Input {
    RecordSnapshot published; // the analysis on show
    std::vector<int64_t> fromPublished; // ascending: the sources whose records are copied out of it
    bool publishedWhole = false; // all of it is kept
    std::vector<AuditRecord> carried; // an earlier rebuild's records, given back unpublished
    std::vector<int64_t> fromCarried; // ascending: the sources whose records are kept
    bool carriedWhole = false; // all of it is kept
    std::vector<Handed> handed;
};

struct Output {
    // Every kept record, numbered, in time order then id order, with its process image.
    std::vector<AuditRecord> records;
    // All that was derived from them, the records aside, which join it when it is published.
    std::shared_ptr<StoreAnalysis> analysis;
};

Output run(Input input, Parallel::Pool &pool);

} // namespace Rebuild
