#pragma once

// A store that tests fill for screens built over a small trail, either with records directly:
//   LoadedStore store; store.load({BSMParser::makeRecord(...), ...}); EventsView view({&store});
// or with trail files written into a private folder, which gives sources their paths, file tokens
// and parse issues:
//   store.loadFiles({{"a.bsm", TestBSM::openReadRecords(3)}});

#include "Store/AuditStore.h"
#include "support/QtTestSupport.h"
#include "support/TrailBuilder.h"

#include "Engine/Parser/BSMParser.h"

#include <QFile>
#include <QFuture>
#include <QTemporaryDir>

#include <chrono>
#include <utility>
#include <vector>

class LoadedStore : public AuditStore {
public:
    LoadedStore() { setFilterDelay(std::chrono::milliseconds(0)); }

    // Adds the records as one source (renumbered from the next id on) and waits for the rebuild
    // and its filter pass.
    bool load(std::vector<AuditRecord> records) { return finish(importSource(TrailSource(), std::move(records))); }

    // Writes the files into the store's folder, opens them in the order given and waits.
    bool loadFiles(const std::vector<std::pair<QString, TestBSM::Bytes>> &files,
                   TrailSource::Kind kind = TrailSource::Kind::file)
    {
        QList<QUrl> urls;
        for (const auto &[name, bytes] : files) {
            QFile file(dir.filePath(name));
            if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
            file.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()));
            urls << QUrl::fromLocalFile(dir.filePath(name));
        }
        return finish(open(urls, kind));
    }

    // Waits for an operation of the store (load, import, removal) and the filter pass after it.
    bool finish(const QFuture<void> &operation)
    {
        return waitUntil([&] { return operation.isFinished(); }, 20000) && settle();
    }

    // Waits for the filter pass that a filter change scheduled.
    bool settle()
    {
        return waitUntil([&] { return !isFiltering(); });
    }

    // Where loadFiles writes.
    QTemporaryDir dir;
};

// A record decoded from builder bytes, so that it carries its raw bytes and tokens.
inline AuditRecord decodedRecord(const TestBSM::TrailRecordBuilder &builder)
{
    return *BSMParser::makeRecord(builder.build(), 0, 0);
}
