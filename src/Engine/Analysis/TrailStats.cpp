#include "Engine/Analysis/TrailStats.h"

#include "Engine/Record/PathComponents.h"
#include "Engine/BSM/AuditCatalog.h"
#include "Engine/BSM/UserResolver.h"
#include "Engine/Record/AuditEvents.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cmath>
#include <numeric>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace {

constexpr double week = 604800;
constexpr std::array<double, 16> bucketSteps = {1,    5,    10,   30,    60,    300,   600,   900,
                                                1800, 3600, 7200, 10800, 21600, 43200, 86400, week};

// The largest time the format can carry is a 64-bit second count plus a 32-bit millisecond
// field, a little over 2^64. Anything beyond (or not finite) cannot be placed on a timeline.
constexpr double timeLimit = 36893488147419103232.0; // 2^65

bool placeable(double time)
{
    return std::isfinite(time) && std::fabs(time) <= timeLimit;
}

double niceBucket(double target)
{
    for (double step : bucketSteps)
        if (step >= target) return step;
    return week;
}

// Counts in order of first appearance, so ties in a ranked list keep that order.
template <typename Key>
class Tally {
public:
    void add(const Key &key, int64_t n = 1)
    {
        const auto [it, inserted] = m_index.try_emplace(key, m_entries.size());
        if (inserted) m_entries.emplace_back(key, 0);
        m_entries[it->second].second += n;
    }
    const std::vector<std::pair<Key, int64_t>> &entries() const { return m_entries; }
    size_t size() const { return m_entries.size(); }

private:
    std::unordered_map<Key, size_t> m_index;
    std::vector<std::pair<Key, int64_t>> m_entries;
};

// Adds to a tally in runs: records of one process come together, so most adds are of the value
// just added, which costs no look-up. Texts are told apart by where they are stored, which the
// records of one process or one subject share, and counted by value: a trail has many processes
// but few programs.
template <typename Key, typename Run = Key>
class RunTally {
public:
    explicit RunTally(Tally<Key> &tally) : m_tally(tally) {}
    ~RunTally() { flush(); }
    void add(const Run &run)
    {
        if (m_count && run == m_run) {
            ++m_count;
            return;
        }
        flush();
        m_run = run;
        m_count = 1;
    }

private:
    void flush()
    {
        if (!m_count) return;
        if constexpr (std::is_pointer_v<Run>) m_tally.add(*m_run, m_count);
        else m_tally.add(m_run, m_count);
        m_count = 0;
    }
    Tally<Key> &m_tally;
    Run m_run{};
    int64_t m_count = 0;
};

// The n highest counts, highest first; label turns a counted value into (key, label).
template <typename Key, typename Label>
std::vector<CountItem> top(const Tally<Key> &tally, size_t n, Label label)
{
    const auto &entries = tally.entries();
    std::vector<size_t> order(entries.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return entries[a].second > entries[b].second; });
    order.resize(std::min(n, order.size()));
    std::vector<CountItem> items;
    items.reserve(order.size());
    for (size_t i : order) {
        auto [key, text] = label(entries[i].first);
        items.push_back(CountItem{std::move(key), std::move(text), entries[i].second});
    }
    return items;
}

bool isUnspecifiedAddress(const std::string &address)
{
    return address == "0.0.0.0" || address == "::";
}

} // namespace

TrailStats TrailStats::compute(std::span<const AuditRecord> records, Parallel::Pool &pool)
{
    TrailStats stats;
    stats.total = int64_t(records.size());
    if (records.empty()) return stats;

    const double first = records.front().time;
    const double last = records.back().time;
    stats.first = first;
    stats.last = last;

    // Every double is checked before it becomes an integer: a conversion out of range is
    // undefined, and a corrupt time must cost at most an odd timeline, never a crash.
    double width = 0;
    double start = 0;
    int64_t bucketCount = 0;
    if (placeable(first) && placeable(last)) {
        width = niceBucket(std::max(last - first, 60.0) / 72);
        for (;;) {
            start = std::floor(first / width) * width;
            const double count = std::floor((last - start) / width) + 1;
            if (count <= double(maxBuckets)) {
                bucketCount = count < 1 ? 1 : int64_t(count);
                break;
            }
            width *= 2;
        }
    }
    // What one part of the records adds up to.
    struct Part {
        std::vector<int64_t> success, failure;
        int64_t failures = 0, execCount = 0;
        Tally<uint16_t> events, failedEvents;
        Tally<uint32_t> users;
        Tally<std::string> processes, addresses;
        std::unordered_set<uint32_t> largePIDs;
    };
    // Pids seen, one bit each, shared by the parts: kernels hand out small pids, and merging a set
    // per part would cost more than counting. The rare larger pid goes to its part's own set.
    constexpr uint32_t pidBits = uint32_t(1) << 22;
    std::vector<std::atomic<uint64_t>> smallPIDs(pidBits / 64);
    const size_t partCount = std::clamp<size_t>(records.size() / 65536, 1, size_t(pool.threads()) * 4);
    std::vector<Part> parts(partCount);
    pool.forEach(partCount, [&](size_t p) {
        Part &part = parts[p];
        part.success.assign(size_t(bucketCount), 0);
        part.failure.assign(size_t(bucketCount), 0);
        RunTally<uint16_t> events(part.events);
        RunTally<uint32_t> users(part.users);
        RunTally<std::string, const std::string *> processes(part.processes), addresses(part.addresses);
        uint32_t lastPID = 0;
        bool anyPID = false;
        for (size_t i = records.size() * p / partCount; i < records.size() * (p + 1) / partCount; ++i) {
            const AuditRecord &record = records[i];
            events.add(record.event);
            if (record.returnStatus != 0) {
                ++part.failures;
                part.failedEvents.add(record.event);
            }
            if (const SubjectInfo *subject = record.subject()) {
                users.add(subject->auid == unsetID ? subject->euid : subject->auid);
                if (!anyPID || subject->pid != lastPID) {
                    const uint32_t pid = subject->pid;
                    if (pid >= pidBits) {
                        part.largePIDs.insert(pid);
                    } else {
                        std::atomic<uint64_t> &word = smallPIDs[pid / 64];
                        const uint64_t bit = uint64_t(1) << (pid % 64);
                        if (!(word.load(std::memory_order_relaxed) & bit))
                            word.fetch_or(bit, std::memory_order_relaxed);
                    }
                }
                lastPID = subject->pid;
                anyPID = true;
                if (!isUnspecifiedAddress(subject->terminalAddress)) addresses.add(&subject->terminalAddress);
            }
            if (record.processImage) processes.add(&*record.processImage);
            if (AuditEvents::exec.contains(record.event)) ++part.execCount;

            if (bucketCount > 0) {
                const double offset = std::floor((record.time - start) / width);
                int64_t bucket = 0;
                if (offset >= double(bucketCount - 1)) bucket = bucketCount - 1;
                else if (offset > 0) bucket = int64_t(offset);
                (record.returnStatus == 0 ? part.success : part.failure)[size_t(bucket)] += 1;
            }
        }
    });

    // Joined in record order, so ties keep the order in which values first appeared.
    std::vector<int64_t> success(size_t(bucketCount), 0);
    std::vector<int64_t> failure(size_t(bucketCount), 0);
    Tally<uint16_t> events;
    Tally<uint16_t> failedEvents;
    Tally<uint32_t> users;
    Tally<std::string> processes;
    Tally<std::string> addresses;
    std::unordered_set<uint32_t> pids;
    for (Part &part : parts) {
        for (size_t b = 0; b < success.size(); ++b) {
            success[b] += part.success[b];
            failure[b] += part.failure[b];
        }
        stats.failures += part.failures;
        stats.execCount += part.execCount;
        for (const auto &[event, n] : part.events.entries()) events.add(event, n);
        for (const auto &[event, n] : part.failedEvents.entries()) failedEvents.add(event, n);
        for (const auto &[user, n] : part.users.entries()) users.add(user, n);
        for (const auto &[image, n] : part.processes.entries()) processes.add(image, n);
        for (const auto &[address, n] : part.addresses.entries()) addresses.add(address, n);
        pids.insert(part.largePIDs.begin(), part.largePIDs.end());
    }
    int64_t smallPIDCount = 0;
    for (const std::atomic<uint64_t> &word : smallPIDs)
        smallPIDCount += std::popcount(word.load(std::memory_order_relaxed));

    stats.uniquePIDs = smallPIDCount + int64_t(pids.size());
    stats.uniqueUsers = int64_t(users.size());

    const AuditCatalog &catalog = AuditCatalog::shared();
    // A record counts once for each class its event lists, so the per-event totals suffice.
    Tally<std::string> classes;
    for (const auto &[event, count] : events.entries()) {
        const auto info = catalog.events.find(event);
        if (info == catalog.events.end()) continue;
        for (const std::string &name : info->second.classes) classes.add(name, count);
    }
    std::unordered_map<std::string, const std::string *> classDescriptions;
    for (const AuditClassInfo &info : catalog.classes) classDescriptions.try_emplace(info.shortName, &info.description);

    const auto eventLabel = [&](uint16_t event) { return std::pair(std::to_string(event), catalog.eventLabel(event)); };
    stats.topEvents = top(events, 10, eventLabel);
    stats.topFailures = top(failedEvents, 8, eventLabel);
    stats.classes = top(classes, 20, [&](const std::string &name) {
        const auto found = classDescriptions.find(name);
        return std::pair(name, found == classDescriptions.end() ? name : *found->second);
    });
    stats.topUsers = top(users, 8, [](uint32_t uid) {
        std::string key = std::to_string(uid);
        if (uid == unsetID) return std::pair(std::move(key), std::string("—"));
        std::string label = UserResolver::shared().name(uid).value_or(key);
        return std::pair(std::move(key), std::move(label));
    });
    stats.topProcesses = top(processes, 10, [](const std::string &image) {
        return std::pair(image, std::string(lastPathComponent(image)));
    });
    stats.remoteAddresses = top(addresses, 8, [](const std::string &address) { return std::pair(address, address); });

    stats.timeline.reserve(size_t(bucketCount));
    for (int64_t i = 0; i < bucketCount; ++i)
        stats.timeline.push_back(TimeBucket{start + double(i) * width, success[size_t(i)], failure[size_t(i)]});
    if (bucketCount > 0) stats.bucketSize = width;
    return stats;
}
