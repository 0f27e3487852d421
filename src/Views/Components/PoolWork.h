#pragma once

#include <QFuture>
#include <QObject>
#include <QPointer>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

// What a view derives from a whole list (rows, sorts, counts, lookups) is derived on the shared
// thread pool from the snapshots it captured, never from the view, and handed back on the main
// thread; meanwhile the view keeps showing what it had.
namespace PoolWork {

// Receives results on the main thread. It lives as long as the process, so a result may land
// after its view is gone: the view is looked for before the result is handed over.
QObject *receiver();

// Lets go of what a view held on a pool thread: the last reference to a big derivation (sixteen
// million decoded arguments, say) would otherwise be freed on the main thread.
void releaseLater(std::shared_ptr<const void> held);

// One request of a series: stale once a newer one was made, and its work may stop early then.
class Ticket {
public:
    Ticket(uint64_t generation, std::shared_ptr<const std::atomic<uint64_t>> current)
        : m_generation(generation), m_current(std::move(current))
    {}
    bool stale() const { return m_current->load(std::memory_order_relaxed) != m_generation; }
    uint64_t generation() const { return m_generation; }

private:
    uint64_t m_generation;
    std::shared_ptr<const std::atomic<uint64_t>> m_current;
};

// The latest of a series of requests. Each supersedes those before: their results are dropped
// when they land. Kept by the view that makes the requests, as a member.
class Latest {
public:
    // Told when pending() changes.
    explicit Latest(std::function<void()> pendingChanged = {}) : m_pendingChanged(std::move(pendingChanged)) {}

    // Runs work(ticket) on the pool; done(result) follows on the main thread if `owner` still lives
    // and no newer request was made. Work that throws ends the request and changes nothing.
    template <typename Work, typename Done>
    void run(QObject *owner, Work work, Done done)
    {
        using Result = std::invoke_result_t<Work, const Ticket &>;
        const Ticket ticket(m_current->fetch_add(1, std::memory_order_relaxed) + 1, m_current);
        setPending(true);
        auto land = [guard = QPointer<QObject>(owner), self = this, ticket,
                     done = std::move(done)](QFuture<Result> finished) mutable {
            if (!guard || ticket.stale()) return;
            self->setPending(false);
            try {
                Result result = finished.takeResult();
                done(std::move(result));
            } catch (...) {
                // Nothing to show: the view keeps what it had.
            }
        };
        // Work that ends before its continuation is attached would land inside this call, before
        // the caller has finished its own changes: it is posted to the event loop instead.
        m_starting = true;
        QtConcurrent::run(QThreadPool::globalInstance(),
                          [work = std::move(work), ticket]() mutable { return work(ticket); })
            .then(receiver(), [guard = QPointer<QObject>(owner), self = this,
                               land = std::move(land)](QFuture<Result> finished) mutable {
                if (!guard) return;
                if (!self->m_starting) return land(std::move(finished));
                QMetaObject::invokeMethod(
                    receiver(), [land = std::move(land), finished]() mutable { land(std::move(finished)); },
                    Qt::QueuedConnection);
            });
        m_starting = false;
    }

    bool pending() const { return m_pending; }
    // Drops the request under way, if any.
    void cancel()
    {
        m_current->fetch_add(1, std::memory_order_relaxed);
        setPending(false);
    }

private:
    void setPending(bool pending)
    {
        if (pending == m_pending) return;
        m_pending = pending;
        if (m_pendingChanged) m_pendingChanged();
    }

    std::shared_ptr<std::atomic<uint64_t>> m_current = std::make_shared<std::atomic<uint64_t>>(0);
    bool m_pending = false;
    bool m_starting = false;
    std::function<void()> m_pendingChanged;
};

} // namespace PoolWork
