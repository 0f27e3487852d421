#pragma once

#include "Engine/Support/Parallel.h"
#include "Store/StoreAnalysis.h"

#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <vector>

// One rebuild of the store's analysis, run on a pool thread. It owns every list of records it is
// handed and gives all of them back: analysed, ready to be published, or, when the store no longer
// wants that result, as one list for the next rebuild. The published snapshot it starts from is
// only read, never written. It stops at the checkpoints of its thread's interruption (between its
// steps, and inside their loops) and on a failed allocation, and then still gives its records
// back whole: as it was handed them when it stopped before they were in one list, and as that
// list afterwards.
namespace Rebuild {

// A new source's records in the source's order, numbered by the rebuild.
struct Handed {
    int64_t source = 0;
    int64_t firstID = 0;
    std::vector<AuditRecord> records;
};

struct Input {
    RecordSnapshot published;           // the analysis on show
    std::vector<int64_t> fromPublished; // ascending: the sources whose records are copied out of it
    bool publishedWhole = false;        // all of it is kept
    std::vector<AuditRecord> carried;   // an earlier rebuild's records, given back unpublished
    std::vector<int64_t> fromCarried;   // ascending: the sources whose records are kept
    bool carriedWhole = false;          // all of it is kept
    std::vector<Handed> handed;
};

struct Output {
    // Every kept record, numbered, in time order then id order, with its process image (perhaps
    // not yet, when it stopped).
    std::vector<AuditRecord> records;
    // All that was derived from them, the records aside, which join it when it is published. Null
    // when it stopped.
    std::shared_ptr<StoreAnalysis> analysis;
    // Why it stopped: the interruption's exception or a failed allocation.
    std::exception_ptr stopped;
    // When it stopped before its records were in one list: what it was handed, as it was.
    std::optional<Input> unmerged;
};

Output run(Input input, Parallel::Pool &pool);

} // namespace Rebuild
