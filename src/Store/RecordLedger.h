#pragma once

#include "Engine/Record/AuditRecord.h"
#include "Store/Rebuild.h"
#include "Store/StoreAnalysis.h"
#include "Store/TrailSource.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The sources and where each one's records are, the id counters, and what the published analysis
// describes, for an undo.
//
// A new source's records are the ledger's alone, in the source's order, until it hands them to a
// rebuild; a rebuild gives back every record it was handed, as the published analysis or, when it
// is superseded, as it was handed them or as one list that the next rebuild takes in turn. Records
// in the published analysis are only ever copied out of it. A record is thus held once, not once
// raw and once published.
class RecordLedger {
public:
    const std::vector<TrailSource> &sources() const { return m_sources; }
    // The sources as one immutable list, made again only after they change.
    const SourcesSnapshot &sourcesSnapshot() const;
    // The ids the next source and its first record will take. They only grow.
    int64_t nextSourceID() const { return m_nextSourceID; }
    int64_t nextRecordID() const { return m_nextRecordID; }
    // Changes with every change of the sources; a rebuild publishes only if it is unchanged, which
    // makes its records those of every source then held.
    uint64_t generation() const { return m_generation; }
    // Sources whose records are still kept apart, waiting for a rebuild to publish them.
    size_t unpublishedSources() const;

    // Adds the source under the next source id, its records numbered from the next record id by
    // the rebuild that takes them; returns its id.
    int64_t append(TrailSource source, std::vector<AuditRecord> records);
    // Takes the source out; its records, if the ledger holds them, are let go. Returns its name,
    // or nothing when no source has the id.
    std::optional<std::string> drop(int64_t sourceID);
    // Drops every source and record; keeps the id counters.
    void clear();

    // What one rebuild takes: every record from exactly one place, a new source's own list, the
    // list a superseded rebuild gave back, or the published analysis, whose records are copied.
    struct Handout {
        Rebuild::Input input;
        uint64_t generation = 0;
        std::vector<int64_t> sources;       // what it holds, ascending
        std::vector<int64_t> carriedBefore; // the carried list's sources it took
        size_t records = 0;
    };
    Handout handOut(const RecordSnapshot &published);
    // The rebuild of `sources` was published: their records are now only there.
    void published(const std::vector<int64_t> &sources);
    // A superseded rebuild gives its records back: as it was handed them, or as its one list.
    void giveBack(const Handout &taken, Rebuild::Output output);
    // After a rebuild failed: the sources and their records as the analysis on show has them.
    void restorePublished();

private:
    enum class Held { byLedger, byRebuild, carried, published };
    struct SourceRecords {
        Held held = Held::byLedger;
        std::vector<AuditRecord> records; // while held by the ledger
        int64_t firstID = 0;
        size_t count = 0;
    };
    void changed();

    std::vector<TrailSource> m_sources;
    std::map<int64_t, SourceRecords> m_bySource;
    // The records a superseded rebuild gave back, of the sources listed (ascending), some perhaps
    // removed since.
    std::vector<AuditRecord> m_carried;
    std::vector<int64_t> m_carriedSources;
    int64_t m_nextSourceID = 1;
    int64_t m_nextRecordID = 1;
    uint64_t m_generation = 0;
    mutable SourcesSnapshot m_sourcesSnapshot; // null once the sources changed
    // The sources the published analysis describes, and each one's first record id and count.
    std::vector<TrailSource> m_publishedSources;
    std::map<int64_t, std::pair<int64_t, size_t>> m_publishedEntries;
};
