#pragma once

// A store that tests fill with records directly, for screens built over a small trail:
//   LoadedStore store; store.load({BSMParser::makeRecord(...), ...}); EventsView view({&store});

#include "Store/AuditStore.h"
#include "support/QtTestSupport.h"
#include "support/TrailBuilder.h"

#include "Engine/Parser/BSMParser.h"

#include <QFuture>

#include <chrono>
#include <vector>

class LoadedStore : public AuditStore {
public:
    LoadedStore() { setFilterDelay(std::chrono::milliseconds(0)); }

    // Adds the records as one source (renumbered from the next id on) and waits for the rebuild
    // and its filter pass.
    bool load(std::vector<AuditRecord> records)
    {
        const QFuture<void> done = enqueue([this, records = std::move(records)](Finish finish) mutable {
            appendSource(TrailSource(), std::move(records));
            rebuild(finish);
        });
        return waitUntil([&] { return done.isFinished(); }) && settle();
    }

    // Waits for the filter pass that a filter change scheduled.
    bool settle()
    {
        return waitUntil([&] { return !isFiltering(); });
    }
};

// A record decoded from builder bytes, so that it carries its raw bytes and tokens.
inline AuditRecord decodedRecord(const TestBSM::RecordBuilder &builder)
{
    return *BSMParser::makeRecord(RawBytes(builder.build()), 0, 0);
}
