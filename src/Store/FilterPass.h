#pragma once

#include "Engine/Record/EventFilter.h"
#include "Engine/Support/Parallel.h"
#include "Platform/Background.h"
#include "Store/RecordSelection.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

// The filter's pass over the records: after a wait, or at once, on the pool over the snapshot it
// was given. Each pass scheduled makes those before stale: a stale pass lands nothing, and its
// work stops early when it notices.
class FilterPass {
public:
    // `landed` takes a pass's selection on the receiver's thread, or nothing when the pass could
    // not finish (out of memory) and what is shown stays. The pass's work runs as one of `tasks`.
    FilterPass(QObject *receiver, Background::Tasks &tasks, std::function<void(std::optional<RecordSelection>)> landed);

    // The wait between a scheduling and its pass; 180 ms unless a test changes it.
    void setDelay(std::chrono::milliseconds delay) { m_timer.setInterval(delay); }
    void setPool(std::shared_ptr<Parallel::Pool> pool) { m_pool = std::move(pool); }

    // A pass of `filter` over `records`, after the wait or at once; an inactive filter takes all
    // the records without going to the pool.
    void schedule(const EventFilter &filter, RecordSnapshot records, bool immediate);
    // Whatever runs lands nothing.
    void cancel() { m_series.cancel(); }

private:
    struct Pass {
        EventFilter filter;
        RecordSnapshot records;
        EventFilter::Pass prepared;
        Background::Ticket ticket;
    };
    void run();

    QObject *m_receiver;
    Background::Tasks &m_tasks;
    std::function<void(std::optional<RecordSelection>)> m_landed;
    std::shared_ptr<Parallel::Pool> m_pool;
    Background::Series m_series;
    std::shared_ptr<Pass> m_pending;
    QTimer m_timer;
};
