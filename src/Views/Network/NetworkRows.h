#pragma once

#include "Engine/Analysis/TrailStats.h"
#include "Engine/Record/AuditRecord.h"
#include "Store/RecordSelection.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// What the Network screen derives from the store's records: the records with socket addresses,
// their order and the two top-six lists. Pure, so each is tested without a widget.
namespace NetworkRows {

// A UNIX-domain path or a loopback endpoint, by plain prefix: "/", "127." or "[::1]".
bool isLocalSocket(std::string_view socket);
// Whether at least one socket is not local; the scan stops at the first such one.
bool hasNonLocalSocket(const AuditRecord &record);

// A record with at least one socket address that passes the local-socket switch and the search
// (AuditRecord::matches, the text as typed; an empty search passes everything).
bool include(const AuditRecord &record, bool hideLocal, const RecordQuery &search);
// Positions into `records` of those `include` keeps, in the store's order. A pass that is no
// longer wanted (`stop` says so) ends early with what it found so far.
std::vector<uint32_t> network(const std::vector<AuditRecord> &records, bool hideLocal, std::string_view search,
                              const std::function<bool()> &stop = {});

enum class SortKey { time, event, process, pid, user, address, result };

struct SortOrder {
    SortKey key = SortKey::time;
    bool ascending = true;
};

// Sorts the positions stably: time and the numbers by value, event and user by the natural
// (localized standard) order, process and address (the record's detail summary) by code point.
void sortRows(const std::vector<AuditRecord> &records, std::vector<uint32_t> &rows, SortOrder order);
// The same as a permutation: the index into `rows` of each sorted row.
std::vector<uint32_t> sortedOrder(const std::vector<AuditRecord> &records, const std::vector<uint32_t> &rows,
                                  SortOrder order);

// The six most frequent keys over the rows, largest count first, with key = label = the key.
// Equal counts keep the order of their first row (the order is not otherwise defined).
std::vector<CountItem> top(const std::vector<AuditRecord> &records, const std::vector<uint32_t> &rows,
                           const std::function<std::string(const AuditRecord &)> &key);
inline constexpr size_t topLimit = 6;

// "Top destinations": keyed by each row's first socket only.
std::vector<CountItem> destinations(const std::vector<AuditRecord> &records, const std::vector<uint32_t> &rows);
// "By process": keyed by the process image ("unknown" without one), labelled by its file name.
std::vector<CountItem> processes(const std::vector<AuditRecord> &records, const std::vector<uint32_t> &rows);

// All the screen shows of one snapshot: made on the pool, held by the table model, which reads
// its cells from the snapshot it keeps.
struct Table {
    RecordSnapshot records = RecordSelection::emptySnapshot();
    std::vector<uint32_t> rows;                        // positions in display order
    std::vector<std::pair<int64_t, uint32_t>> rowByID; // by id
    std::vector<CountItem> destinations;
    std::vector<CountItem> processes;

    // The row showing the record with this id, or -1.
    int rowOf(int64_t id) const;
};

Table table(RecordSnapshot records, bool hideLocal, std::string_view search, SortOrder order,
            const std::function<bool()> &stop = {});

} // namespace NetworkRows
