#pragma once

#include "Engine/Record/AuditRecord.h"
#include "Store/LoadControl.h"
#include "Store/TrailLoad.h"
#include "Store/TrailSource.h"

#include <QFuture>
#include <QPromise>
#include <QString>

#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// One change of the sources asked for: a load of files, an import of records or a removal, with
// the future its caller waits on, its own error, the control of its work on the pool, and what it
// changed, to undo it.
struct StoreJob {
    enum class Kind { load, import, removal };

    struct File {
        TrailLoad::Location location;
        std::shared_ptr<TrailLoad::Loaded> loaded; // once its work is done
    };

    Kind kind = Kind::load;
    QPromise<void> promise;
    QString error;                        // empty while it has not failed
    std::shared_ptr<LoadControl> control; // a load's work on the pool

    // A load: its files in the order given, the next one to take up.
    TrailSource::Kind sourceKind = TrailSource::Kind::file;
    std::vector<File> files;
    size_t next = 0;
    // An import: the source and its records.
    TrailSource source;
    std::vector<AuditRecord> records;
    // A removal.
    int64_t sourceID = 0;

    // What it changed: the sources it added (names, ids), the name of the one it removed.
    std::vector<std::string> added;
    std::vector<int64_t> addedIDs;
    std::optional<std::string> removed;

    // What the user reads when the rebuild that covered it failed with `stopped` and its change
    // was undone; `held` is what its own sources took besides what the rebuild had. Empty when it
    // changed nothing.
    QString undone(const std::exception_ptr &stopped, uint64_t held) const;
};

// The store's jobs: they change the sources one at a time, in the order asked. Once a job has made
// its change it waits for a rebuild that covers it, and the next job starts meanwhile.
class StoreJobs {
public:
    using Pointer = std::shared_ptr<StoreJob>;

    // Queues the job; the future finishes once it is published or undone.
    QFuture<void> enqueue(Pointer job);

    // Takes the queued jobs up while none is changing the sources, each handed to `start`, which
    // makes its change or starts its work. A job that makes its change at once calls back in here:
    // the loop takes them up one after another rather than one inside the other, and the call
    // from inside returns false.
    template <typename Start>
    bool startQueued(Start start)
    {
        if (m_starting) return false;
        m_starting = true;
        while (!m_changing && !m_queued.empty()) {
            m_changing = std::move(m_queued.front());
            m_queued.pop_front();
            const Pointer job = m_changing; // not a reference to m_changing, which its start may reset
            start(job);
        }
        m_starting = false;
        return true;
    }

    // The job making its change now, if any.
    const Pointer &changing() const { return m_changing; }
    // Its change is made: it waits for a rebuild.
    void changeMade(Pointer job);
    // The changes made and not yet published.
    const std::vector<Pointer> &changed() const { return m_changed; }
    // A rebuild published or undid every change made.
    void clearChanged() { m_changed.clear(); }
    // The job no longer changes anything; its work on the pool is let go.
    void end(Pointer job);
    // Everything asked for goes, and the work of the one changing is cancelled; the caller finishes them.
    std::vector<Pointer> dropAll();
    // Cancels the work of the job changing, if any.
    void cancelWork();

    bool busy() const { return m_changing || !m_queued.empty() || !m_changed.empty(); }
    // Every job not yet finished, wherever it waits: here, or in `covered` (a rebuild's).
    std::vector<Pointer> unfinished(const std::vector<Pointer> &covered) const;

private:
    std::deque<Pointer> m_queued;
    bool m_starting = false;
    Pointer m_changing;             // the job making its change now
    std::vector<Pointer> m_changed; // changes made, not yet published
};
