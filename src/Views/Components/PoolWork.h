#pragma once

#include "Platform/Background.h"

#include <QObject>

#include <functional>
#include <optional>
#include <type_traits>
#include <utility>

// What a view derives from a whole list (rows, sorts, counts, lookups) is derived on the shared
// thread pool from the snapshots it captured, never from the view, and handed back on the main
// thread; meanwhile the view keeps showing what it had.
namespace PoolWork {

using Background::releaseLater;
using Background::Ticket;

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
        using Result = std::invoke_result_t<Work &, const Ticket &>;
        const Ticket ticket = m_series.next();
        setPending(true);
        // Kept by the owner, so `this` lives as long as a result can land.
        Background::run(
            owner,
            [work = std::move(work), ticket]() mutable -> std::optional<Result> {
                try {
                    return work(ticket);
                } catch (...) {
                    return std::nullopt;
                }
            },
            [this, ticket, done = std::move(done)](std::optional<Result> result) mutable {
                if (ticket.stale()) return;
                setPending(false);
                if (!result) return; // nothing to show: the view keeps what it had
                try {
                    done(std::move(*result));
                } catch (...) {}
            });
    }

    bool pending() const { return m_pending; }
    // Drops the request under way, if any.
    void cancel()
    {
        m_series.cancel();
        setPending(false);
    }

private:
    void setPending(bool pending)
    {
        if (pending == m_pending) return;
        m_pending = pending;
        if (m_pendingChanged) m_pendingChanged();
    }

    Background::Series m_series;
    bool m_pending = false;
    std::function<void()> m_pendingChanged;
};

} // namespace PoolWork
