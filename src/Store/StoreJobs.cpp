#include "Store/StoreJobs.h"

#include "Engine/Support/MemoryGuard.h"

#include <algorithm>

QString StoreJob::undone(const std::exception_ptr &stopped, uint64_t held) const
{
    if (kind == Kind::removal) {
        if (!removed) return {};
        return TrailLoad::failureSentence("Couldn't remove", *removed, stopped,
                                          "not enough memory to analyse the other trails");
    }
    if (added.empty()) return {};
    const char *verb = kind == Kind::load ? "Couldn't read" : "Couldn't import";
    try {
        std::rethrow_exception(stopped);
    } catch (const OutOfRoom &stop) {
        return TrailLoad::roomSentence(verb, added.front(), stop.taken + held, stop.room);
    } catch (...) {}
    return TrailLoad::failureSentence(verb, added.front(), stopped, "not enough memory to analyse it");
}

QFuture<void> StoreJobs::enqueue(Pointer job)
{
    job->promise.start();
    QFuture<void> future = job->promise.future();
    m_queued.push_back(std::move(job));
    return future;
}

void StoreJobs::changeMade(Pointer job)
{
    if (m_changing == job) m_changing.reset();
    m_changed.push_back(std::move(job));
}

void StoreJobs::end(Pointer job)
{
    if (m_changing == job) m_changing.reset();
    job->control.reset();
}

std::vector<StoreJobs::Pointer> StoreJobs::dropAll()
{
    std::vector<Pointer> dropped(m_queued.begin(), m_queued.end());
    m_queued.clear();
    if (m_changing) {
        if (m_changing->control) m_changing->control->cancel();
        dropped.push_back(std::exchange(m_changing, nullptr));
    }
    for (Pointer &job : m_changed) dropped.push_back(std::move(job));
    m_changed.clear();
    return dropped;
}

void StoreJobs::cancelWork()
{
    if (m_changing && m_changing->control) m_changing->control->cancel();
}

std::vector<StoreJobs::Pointer> StoreJobs::unfinished(const std::vector<Pointer> &covered) const
{
    std::vector<Pointer> jobs(m_queued.begin(), m_queued.end());
    if (m_changing) jobs.push_back(m_changing);
    jobs.insert(jobs.end(), m_changed.begin(), m_changed.end());
    jobs.insert(jobs.end(), covered.begin(), covered.end());
    std::ranges::sort(jobs);
    jobs.erase(std::unique(jobs.begin(), jobs.end()), jobs.end());
    return jobs;
}
