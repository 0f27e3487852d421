#include "Views/Network/NetworkRows.h"

#include "Engine/Analysis/DisplayKeys.h"
#include "Engine/Record/PathComponents.h"
#include "Views/Components/NaturalCompare.h"

#include <QString>

#include <algorithm>
#include <unordered_map>

namespace NetworkRows {

bool isLocalSocket(std::string_view socket)
{
    return socket.starts_with("/") || socket.starts_with("127.") || socket.starts_with("[::1]");
}

bool hasNonLocalSocket(const AuditRecord &record)
{
    return std::any_of(record.sockets().begin(), record.sockets().end(),
                       [](const std::string_view socket) { return !isLocalSocket(socket); });
}

bool include(const AuditRecord &record, bool hideLocal, const RecordQuery &search)
{
    if (record.sockets().empty()) return false;
    if (hideLocal && !hasNonLocalSocket(record)) return false;
    return search.text().empty() || record.matches(search);
}

std::vector<uint32_t> network(const std::vector<AuditRecord> &records, bool hideLocal, std::string_view search)
{
    const RecordQuery query(search);
    std::vector<uint32_t> rows;
    for (size_t i = 0; i < records.size(); ++i)
        if (include(records[i], hideLocal, query)) rows.push_back(uint32_t(i));
    return rows;
}

namespace {

// Sorts by a key computed once per row.
template <typename Key, typename Less>
void sortByKey(const std::vector<AuditRecord> &records, std::vector<uint32_t> &rows, bool ascending,
               const std::function<Key(const AuditRecord &)> &make, Less less)
{
    std::vector<Key> keys;
    keys.reserve(rows.size());
    for (uint32_t row : rows) keys.push_back(make(records[row]));
    std::vector<uint32_t> order(rows.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = uint32_t(i);
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        return ascending ? less(keys[a], keys[b]) : less(keys[b], keys[a]);
    });
    std::vector<uint32_t> sorted;
    sorted.reserve(rows.size());
    for (uint32_t i : order) sorted.push_back(rows[i]);
    rows = std::move(sorted);
}

} // namespace

void sortRows(const std::vector<AuditRecord> &records, std::vector<uint32_t> &rows, SortOrder order)
{
    const auto natural = [](const QString &a, const QString &b) { return naturalLess(a, b); };
    const auto plain = [](const std::string &a, const std::string &b) { return a < b; };
    const auto numeric = [](int64_t a, int64_t b) { return a < b; };
    switch (order.key) {
    case SortKey::time:
        sortByKey<double>(records, rows, order.ascending, [](const AuditRecord &r) { return r.time; },
                          [](double a, double b) { return a < b; });
        break;
    case SortKey::event:
        sortByKey<QString>(records, rows, order.ascending,
                           [](const AuditRecord &r) { return QString::fromStdString(DisplayKeys::eventLabel(r)); },
                           natural);
        break;
    case SortKey::user:
        sortByKey<QString>(records, rows, order.ascending,
                           [](const AuditRecord &r) { return QString::fromStdString(DisplayKeys::userLabel(r)); },
                           natural);
        break;
    case SortKey::process:
        sortByKey<std::string>(records, rows, order.ascending, [](const AuditRecord &r) { return r.processName(); },
                               plain);
        break;
    case SortKey::address:
        sortByKey<std::string>(records, rows, order.ascending, [](const AuditRecord &r) { return r.detailSummary(); },
                               plain);
        break;
    case SortKey::pid:
        sortByKey<int64_t>(records, rows, order.ascending, [](const AuditRecord &r) { return DisplayKeys::pidValue(r); },
                           numeric);
        break;
    case SortKey::result:
        sortByKey<int64_t>(records, rows, order.ascending,
                           [](const AuditRecord &r) { return DisplayKeys::resultRank(r); }, numeric);
        break;
    }
}

std::vector<CountItem> top(const std::vector<AuditRecord> &records, const std::vector<uint32_t> &rows,
                           const std::function<std::string(const AuditRecord &)> &key)
{
    std::vector<CountItem> items;
    std::unordered_map<std::string, size_t> slot;
    for (uint32_t row : rows) {
        std::string value = key(records[row]);
        const auto [it, added] = slot.try_emplace(value, items.size());
        if (added) items.push_back({value, value, 0});
        ++items[it->second].count;
    }
    std::stable_sort(items.begin(), items.end(), [](const CountItem &a, const CountItem &b) { return a.count > b.count; });
    if (items.size() > topLimit) items.resize(topLimit);
    return items;
}

std::vector<CountItem> destinations(const std::vector<AuditRecord> &records, const std::vector<uint32_t> &rows)
{
    return top(records, rows,
               [](const AuditRecord &r) { return r.sockets().empty() ? std::string() : std::string(r.sockets().front()); });
}

std::vector<CountItem> processes(const std::vector<AuditRecord> &records, const std::vector<uint32_t> &rows)
{
    std::vector<CountItem> items = top(records, rows, [](const AuditRecord &r) {
        return r.processImage ? *r.processImage : std::string("unknown");
    });
    for (CountItem &item : items) item.label = std::string(lastPathComponent(item.key));
    return items;
}

} // namespace NetworkRows
