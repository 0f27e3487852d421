#include "Views/Network/NetworkRows.h"

#include "Engine/Analysis/DisplayKeys.h"
#include "Engine/Record/PathComponents.h"
#include "Engine/Record/JoinedText.h"
#include "Views/Components/NaturalCompare.h"
#include "Views/Components/TextRanks.h"

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

std::vector<uint32_t> network(const std::vector<AuditRecord> &records, bool hideLocal, std::string_view search,
                              const std::function<bool()> &stop)
{
    constexpr size_t stopCheck = 65536;
    const RecordQuery query(search);
    std::vector<uint32_t> rows;
    for (size_t i = 0; i < records.size(); ++i) {
        if (i % stopCheck == stopCheck - 1 && stop && stop()) break;
        if (include(records[i], hideLocal, query)) rows.push_back(uint32_t(i));
    }
    return rows;
}

namespace {

// The stable order of the rows by a key computed once per row.
template <typename Key, typename Less>
std::vector<uint32_t> orderByKey(const std::vector<AuditRecord> &records, const std::vector<uint32_t> &rows,
                                 bool ascending, const std::function<Key(const AuditRecord &)> &make, Less less)
{
    std::vector<Key> keys;
    keys.reserve(rows.size());
    for (uint32_t row : rows) keys.push_back(make(records[row]));
    std::vector<uint32_t> order(rows.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = uint32_t(i);
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        return ascending ? less(keys[a], keys[b]) : less(keys[b], keys[a]);
    });
    return order;
}

// The same for a text key: ranked in place, a long text costing its first bytes.
std::vector<uint32_t> orderByText(const std::vector<AuditRecord> &records, const std::vector<uint32_t> &rows,
                                  bool ascending, JoinedText (*text)(const AuditRecord &))
{
    return textOrder(rows.size(), ascending, [&](size_t i) { return text(records[rows[i]]); });
}

JoinedText processNameText(const AuditRecord &record)
{
    return JoinedText(record.processImage ? lastPathComponent(*record.processImage) : std::string_view());
}

} // namespace

std::vector<uint32_t> sortedOrder(const std::vector<AuditRecord> &records, const std::vector<uint32_t> &rows,
                                  SortOrder order)
{
    const auto natural = [](const QString &a, const QString &b) { return naturalLess(a, b); };
    const auto numeric = [](int64_t a, int64_t b) { return a < b; };
    switch (order.key) {
    case SortKey::time:
        return orderByKey<double>(
            records, rows, order.ascending, [](const AuditRecord &r) { return r.time; },
            [](double a, double b) { return a < b; });
    case SortKey::event:
        return orderByKey<QString>(
            records, rows, order.ascending,
            [](const AuditRecord &r) { return QString::fromStdString(DisplayKeys::eventLabel(r)); }, natural);
    case SortKey::user:
        return orderByKey<QString>(
            records, rows, order.ascending,
            [](const AuditRecord &r) { return QString::fromStdString(DisplayKeys::userLabel(r)); }, natural);
    case SortKey::process: return orderByText(records, rows, order.ascending, processNameText);
    case SortKey::address: return orderByText(records, rows, order.ascending, detailText);
    case SortKey::pid:
        return orderByKey<int64_t>(
            records, rows, order.ascending, [](const AuditRecord &r) { return DisplayKeys::pidValue(r); }, numeric);
    case SortKey::result:
        return orderByKey<int64_t>(
            records, rows, order.ascending, [](const AuditRecord &r) { return DisplayKeys::resultRank(r); }, numeric);
    }
    return {};
}

void sortRows(const std::vector<AuditRecord> &records, std::vector<uint32_t> &rows, SortOrder order)
{
    const std::vector<uint32_t> permutation = sortedOrder(records, rows, order);
    std::vector<uint32_t> sorted;
    sorted.reserve(rows.size());
    for (const uint32_t i : permutation) sorted.push_back(rows[i]);
    rows = std::move(sorted);
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
    std::stable_sort(items.begin(), items.end(),
                     [](const CountItem &a, const CountItem &b) { return a.count > b.count; });
    if (items.size() > topLimit) items.resize(topLimit);
    return items;
}

std::vector<CountItem> destinations(const std::vector<AuditRecord> &records, const std::vector<uint32_t> &rows)
{
    return top(records, rows, [](const AuditRecord &r) {
        return r.sockets().empty() ? std::string() : std::string(r.sockets().front());
    });
}

std::vector<CountItem> processes(const std::vector<AuditRecord> &records, const std::vector<uint32_t> &rows)
{
    std::vector<CountItem> items = top(records, rows, [](const AuditRecord &r) {
        return r.processImage ? *r.processImage : std::string("unknown");
    });
    for (CountItem &item : items) item.label = std::string(lastPathComponent(item.key));
    return items;
}

int Table::rowOf(int64_t id) const
{
    const auto found = std::lower_bound(rowByID.begin(), rowByID.end(), id,
                                        [](const std::pair<int64_t, uint32_t> &entry, int64_t key) {
                                            return entry.first < key;
                                        });
    return found != rowByID.end() && found->first == id ? int(found->second) : -1;
}

Table table(RecordSnapshot records, bool hideLocal, std::string_view search, SortOrder order,
            const std::function<bool()> &stop)
{
    Table t;
    if (records) t.records = std::move(records);
    const std::vector<uint32_t> kept = network(*t.records, hideLocal, search, stop);
    if (stop && stop()) return t;
    const std::vector<uint32_t> permutation = sortedOrder(*t.records, kept, order);
    t.rows.resize(permutation.size());
    t.rowByID.resize(permutation.size());
    for (size_t row = 0; row < permutation.size(); ++row) {
        t.rows[row] = kept[permutation[row]];
        t.rowByID[row] = {(*t.records)[t.rows[row]].id, uint32_t(row)};
    }
    std::sort(t.rowByID.begin(), t.rowByID.end());
    t.destinations = destinations(*t.records, kept);
    t.processes = processes(*t.records, kept);
    return t;
}

} // namespace NetworkRows
