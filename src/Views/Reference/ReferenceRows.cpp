#include "Views/Reference/ReferenceRows.h"

#include "Engine/BSM/CaseFold.h"

#include <algorithm>
#include <array>
#include <optional>

namespace {

// Keeps the rows that match; `fields` gives a row's searched texts, in order, as an array of pointers.
template <typename Row, typename Fields>
std::vector<Row> kept(const std::vector<Row> &rows, std::string_view search, Fields fields)
{
    if (search.empty()) return rows;
    const CaseFold::Needle needle(search);
    std::vector<Row> out;
    for (const Row &row : rows) {
        const auto texts = fields(row);
        if (std::any_of(texts.begin(), texts.end(), [&](const std::string *t) { return needle.foundIn(*t); }))
            out.push_back(row);
    }
    return out;
}

} // namespace

std::vector<AuditClassInfo> referenceClasses(const AuditCatalog &catalog, std::string_view search)
{
    return kept(catalog.classes, search, [](const AuditClassInfo &c) {
        return std::array{&c.shortName, &c.description};
    });
}

std::vector<AuditEventInfo> referenceEvents(const AuditCatalog &catalog, std::string_view search)
{
    std::vector<AuditEventInfo> out;
    const std::optional<CaseFold::Needle> needle = search.empty()
                                                       ? std::nullopt
                                                       : std::optional<CaseFold::Needle>(CaseFold::Needle(search));
    for (const auto &[number, event] : catalog.events) {
        if (!needle || needle->foundIn(event.name) || needle->foundIn(event.description)
            || std::to_string(number) == search)
            out.push_back(event);
    }
    std::sort(out.begin(), out.end(), [](const auto &a, const auto &b) { return a.number < b.number; });
    return out;
}

std::vector<TokenDoc> referenceTokens(std::string_view search)
{
    return kept(tokenDocs(), search, [](const TokenDoc &t) { return std::array{&t.name, &t.description}; });
}

std::vector<RuleDoc> referenceRules(std::string_view search)
{
    return kept(allRuleDocs(), search, [](const RuleDoc &r) {
        return std::array{&r.name, &r.description, &r.technique};
    });
}

int definedEventCount(const AuditCatalog &catalog, const std::string &shortName)
{
    return int(std::count_if(catalog.events.begin(), catalog.events.end(), [&](const auto &entry) {
        const auto &classes = entry.second.classes;
        return std::find(classes.begin(), classes.end(), shortName) != classes.end();
    }));
}

std::unordered_map<uint16_t, int64_t> eventCounts(const std::vector<AuditRecord> &records)
{
    std::unordered_map<uint16_t, int64_t> counts;
    for (const auto &record : records) ++counts[record.event];
    return counts;
}

std::unordered_map<std::string, int64_t> classRecordCounts(const TrailStats &stats)
{
    std::unordered_map<std::string, int64_t> counts;
    for (const auto &item : stats.classes) counts[item.key] = item.count;
    return counts;
}
