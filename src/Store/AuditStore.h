#pragma once

#include "Engine/Record/AuditRecord.h"
#include "Engine/Record/EventFilter.h"
#include "Engine/Parser/LoadEstimate.h"
#include "Engine/Support/Parallel.h"
#include "Store/RecordSelection.h"
#include "Store/Screen.h"
#include "Store/StoreAnalysis.h"
#include "Store/TrailSource.h"

#include <QFuture>
#include <QList>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace BSMParser {
struct TrailResult;
}
namespace Rebuild {
struct Output;
}

// The application's one document model: loaded sources, their records and analysis, the record
// filter and its result, the current screen and selection, and the loading state. Lives on the main
// thread and is only touched there; decoding, analysis and filtering run on the thread pool over
// immutable snapshots and come back here to be published.
//
// Every property has its own change signal. Properties with a meaningful equality (screen, the
// selection, the flags and texts, the filter, the process lists by node id) notify only on change;
// sources, records, findings, stats and filtered notify on every publication.
class AuditStore : public QObject {
    Q_OBJECT

public:
    explicit AuditStore(QObject *parent = nullptr);
    ~AuditStore() override;

    Screen screen() const { return m_screen; }
    void setScreen(Screen screen);

    const std::vector<TrailSource> &sources() const { return m_sources; }
    // All records of all sources, by time then id. Replaced, never changed, by a rebuild.
    const std::vector<AuditRecord> &records() const { return *m_analysis->records; }
    const std::vector<ProcessNode> &processes() const { return m_analysis->tree.processes; }
    // The processes and their lineage: the tree's roots and each node's children.
    const ProcessTree &processTree() const { return m_analysis->tree; }
    const std::vector<Finding> &findings() const { return m_analysis->findings; }
    const TrailStats &stats() const { return m_analysis->stats; }
    // The records that pass the filter. It lags `records` until the pass after a rebuild publishes,
    // and carries the snapshot it was computed from, so its rows are always valid.
    const RecordSelection &filtered() const { return m_filtered; }

    // The same as shared snapshots, for models that keep what they show while newer results are
    // published: each is immutable, never null, and replaced as a whole by the next publication
    // (all of them together, before the first change signal). A model holding analysisSnapshot()
    // has records, processes, findings, stats and the id index of one and the same rebuild.
    const AnalysisSnapshot &analysisSnapshot() const { return m_analysis; }
    const RecordSnapshot &recordSnapshot() const { return m_analysis->records; }
    ProcessesSnapshot processesSnapshot() const { return {m_analysis, &m_analysis->tree.processes}; }
    ProcessTreeSnapshot processTreeSnapshot() const { return {m_analysis, &m_analysis->tree}; }
    FindingsSnapshot findingsSnapshot() const { return {m_analysis, &m_analysis->findings}; }
    StatsSnapshot statsSnapshot() const { return {m_analysis, &m_analysis->stats}; }
    // A record's position in records(); nullopt when no record has the id.
    std::optional<size_t> position(int64_t id) const { return m_analysis->position(id); }

    bool isFiltering() const { return m_isFiltering; }
    bool isLoading() const { return m_isLoading; }
    // Never cleared: keeps the last step's text after loading ends.
    const std::string &loadingMessage() const { return m_loadingMessage; }
    const std::optional<std::string> &lastError() const { return m_lastError; }
    void setLastError(std::optional<std::string> error);

    std::optional<int64_t> selectedRecordID() const { return m_selectedRecordID; }
    void setSelectedRecordID(std::optional<int64_t> id);

    const EventFilter &filter() const { return m_filter; }
    // A different value (label included) schedules a filter pass after the filter delay.
    void setFilter(EventFilter filter);

    // The ids the next source and its first record will take. They only grow.
    int64_t nextSourceID() const { return m_nextSourceID; }
    int64_t nextRecordID() const { return m_nextRecordID; }

    std::optional<AuditRecord> record(int64_t id) const;

    // Drops every source and result; keeps the screen, the error and both id counters. Queued
    // behind a load or import still running, so it never interleaves with one.
    void closeAll();
    void showEvents(EventFilter filter);
    // Shows exactly these records and selects the first one given. The ids are taken by value:
    // the switch to the Events screen replaces the screen that may own the caller's list.
    void showRecords(std::vector<int64_t> ids, std::string label);
    // Shows the process's records during its lifetime. Reads the node before it changes anything.
    void showProcessEvents(const ProcessNode &process);

    // Reads and decodes the files one after another, in the background, adds a source for each one
    // that could be read, then rebuilds. Failures end up in lastError, the last one winning; an
    // empty list does nothing. Only local files can be read. Finishes after the rebuild.
    QFuture<void> open(const QList<QUrl> &urls, TrailSource::Kind kind);
    // Opens the bundled sample trail, whose user 7501 is shown as orvik from then on.
    QFuture<void> openSample();
    // Has the trails of /var/audit copied with the administrator's consent and opens the copies.
    // A dismissed dialog ends the load without a word.
    QFuture<void> loadSystemTrails();

    // Keeps the live capture's records as a new source under fresh ids. Finishes after the rebuild.
    QFuture<void> importLive(std::vector<AuditRecord> records);
    // Finishes after the rebuild, which runs also when no source had the id.
    QFuture<void> remove(int64_t sourceID);

    // The wait between the last filter change and its pass; 180 ms unless a test changes it.
    void setFilterDelay(std::chrono::milliseconds delay);
    // How many threads loading and analysing may use (all cores unless a test or benchmark says
    // otherwise); the results are the same for any number. Work already under way keeps its own.
    void setThreads(unsigned threads);
    // Where the store learns the memory still free before it reads files; /proc/meminfo unless a
    // test says otherwise.
    void setMemoryProbe(std::function<std::optional<uint64_t>()> probe) { m_memoryProbe = std::move(probe); }

signals:
    void screenChanged();
    void sourcesChanged();
    void recordsChanged();
    void processesChanged();
    // The process tree's roots differ.
    void processRootsChanged();
    void findingsChanged();
    void statsChanged();
    void filteredChanged();
    void isFilteringChanged();
    void isLoadingChanged();
    void loadingMessageChanged();
    void lastErrorChanged();
    void selectedRecordIDChanged();
    void filterChanged();

protected:
    // For the operations that change the sources (loading, import, removal, close all). They run
    // one at a time in the order queued: each takes the id counters when it starts and no other
    // can move them or the sources until it calls `finish`, so ids stay consecutive and unique.
    using Finish = std::function<void()>;
    using Operation = std::function<void(Finish finish)>;
    QFuture<void> enqueue(Operation operation);

    // Adds one source inside a running operation: it takes the next source id and gives its records
    // the next record ids, in their order (decoding them with nextSourceID() and nextRecordID()
    // makes that a no-op). recordCount, first and last come from the records. Returns the source id.
    int64_t appendSource(TrailSource source, std::vector<AuditRecord> records);
    // The same for a decoded trail: its issues and file token names go with the source.
    int64_t appendTrail(TrailSource::Kind kind, std::string name, std::optional<std::string> path, int64_t bytes,
                        BSMParser::TrailResult trail);

    // Reanalyses every source in the background and publishes on the main thread, then filters at
    // once; `done` runs after that, possibly before rebuild() returns when the analysis is quick.
    // A result whose sources changed meanwhile is dropped. One rebuild runs at a time: asked for
    // while one runs, it starts when that one ends, with the sources as they are then.
    void rebuild(Finish done);

    // Sources whose records are still kept apart, waiting for a rebuild to publish them. Once one
    // has, the published records are their only copy.
    size_t unpublishedSources() const;

    void setLoading(bool loading);
    void setLoadingMessage(std::string message);

private:
    struct FilterPass;

    void runNextOperation();
    struct PendingFile;
    using PendingFiles = std::shared_ptr<std::vector<PendingFile>>;
    void readFiles(PendingFiles files, size_t next, TrailSource::Kind kind, Finish finish);
    void publish(std::shared_ptr<StoreAnalysis> analysis);
    void scheduleFilter(bool immediate);
    void runFilterPass();
    void setFiltering(bool filtering);
    void setFiltered(RecordSelection filtered);
    void sourcesChangedInternally();

    Screen m_screen = Screen::dashboard;
    std::vector<TrailSource> m_sources;
    AnalysisSnapshot m_analysis;
    RecordSelection m_filtered;
    bool m_isFiltering = false;
    bool m_isLoading = false;
    std::string m_loadingMessage;
    std::optional<std::string> m_lastError;
    std::optional<int64_t> m_selectedRecordID;
    EventFilter m_filter;

    // Where each source's records are. A new source's records are the store's alone, in the
    // source's order, until it hands them to a rebuild; a rebuild gives back every record it was
    // handed, as the published analysis or, when its result is dropped, as one list that the next
    // rebuild takes in turn. Records in the published analysis are only ever copied out of it. A
    // record is thus held once, not once raw and once published.
    enum class Held { byStore, byRebuild, carried, published };
    struct SourceRecords {
        Held held = Held::byStore;
        std::vector<AuditRecord> records; // while held by the store
        int64_t firstID = 0;
        size_t count = 0;
    };
    std::map<int64_t, SourceRecords> m_rawBySource;
    // The records a dropped rebuild gave back, of the sources listed (ascending), some perhaps
    // removed since.
    std::vector<AuditRecord> m_carried;
    std::vector<int64_t> m_carriedSources;
    int64_t m_nextSourceID = 1;
    int64_t m_nextRecordID = 1;

    // Changes with every change of the sources, and so of m_rawBySource; a rebuild publishes only
    // if it is unchanged, which makes its records those of every source then held.
    uint64_t m_sourcesGeneration = 0;
    bool m_rebuilding = false;
    std::vector<int64_t> m_rebuildSources; // what the running rebuild holds, ascending
    std::vector<Finish> m_rebuildsWaiting; // asked for while one ran
    void startRebuild(std::vector<Finish> done);
    void rebuildEnded(uint64_t generation, Rebuild::Output output, std::vector<Finish> done);
    // Pool work whose result comes back here; the destructor waits for it, since a result arriving
    // for a store being destroyed trips Qt's continuation (it requires its context alive).
    struct Background {
        std::function<bool()> isFinished;
        std::function<void()> waitForFinished;
    };
    std::vector<Background> m_background;
    void track(Background work);
    template <typename T>
    void track(const QFuture<T> &work)
    {
        track(Background{[work] { return work.isFinished(); }, [work = QFuture<T>(work)]() mutable { work.waitForFinished(); }});
    }

    // The engine's worker pool that loading and analysing hand their parallel loops to.
    std::shared_ptr<Parallel::Pool> m_pool;
    std::function<std::optional<uint64_t>()> m_memoryProbe = LoadEstimate::memoryAvailable;

    std::deque<std::function<void()>> m_operations;
    bool m_operationRunning = false;

    // Each scheduling bumps the generation; a pass whose generation is no longer current publishes
    // nothing, and its worker stops early when it notices.
    std::shared_ptr<std::atomic<uint64_t>> m_filterGeneration;
    std::unique_ptr<FilterPass> m_pendingPass;
    QTimer m_filterTimer;
};
