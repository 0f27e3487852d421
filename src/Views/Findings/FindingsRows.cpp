#include "Views/Findings/FindingsRows.h"

#include "Engine/BSM/CaseFold.h"
#include "Engine/Record/JoinedText.h"
#include "Views/Components/Formatters.h"
#include "Views/Components/TextRanks.h"

#include <QCollator>
#include <QLocale>

#include <algorithm>
#include <numeric>
#include <unordered_map>

namespace FindingsRows {

namespace {

bool searchFinds(const Finding &finding, const CaseFold::Needle &needle)
{
    return needle.foundIn(finding.rule) || needle.foundIn(finding.summary) || needle.foundIn(finding.category)
           || (finding.technique && needle.foundIn(*finding.technique));
}

} // namespace

bool less(const Finding &a, const Finding &b, SortKey key)
{
    switch (key) {
    case SortKey::severity: return rawValue(a.severity) < rawValue(b.severity);
    case SortKey::time: return a.time < b.time;
    case SortKey::rule: return a.rule < b.rule;
    case SortKey::category: return a.category < b.category;
    case SortKey::summary: return a.summary < b.summary;
    case SortKey::user: {
        QCollator collator{QLocale()};
        return collator.compare(QString::fromStdString(a.user), QString::fromStdString(b.user)) < 0;
    }
    }
    return false;
}

std::vector<uint32_t> rows(const std::vector<Finding> &findings, Severity minimum, const QString &search,
                           SortOrder order)
{
    const std::string query = search.toStdString();
    const CaseFold::Needle needle(query);
    std::vector<uint32_t> kept;
    for (size_t i = 0; i < findings.size(); ++i) {
        const Finding &finding = findings[i];
        if (rawValue(finding.severity) < rawValue(minimum)) continue;
        if (!query.empty() && !searchFinds(finding, needle)) continue;
        kept.push_back(uint32_t(i));
    }
    if (order.key == SortKey::user) {
        // One collator for the whole sort; making one per comparison is slow.
        QCollator collator{QLocale()};
        std::vector<QString> users(findings.size());
        for (uint32_t i : kept) users[i] = QString::fromStdString(findings[i].user);
        std::stable_sort(kept.begin(), kept.end(), [&](uint32_t a, uint32_t b) {
            const int c = collator.compare(users[a], users[b]);
            return order.ascending ? c < 0 : c > 0;
        });
    } else if (order.key == SortKey::rule || order.key == SortKey::category || order.key == SortKey::summary) {
        // Ranked where the texts lie: a summary of a megabyte costs its first bytes.
        const auto field = order.key == SortKey::rule       ? &Finding::rule
                           : order.key == SortKey::category ? &Finding::category
                                                            : &Finding::summary;
        sortByText(kept, order.ascending, [&](uint32_t i) { return JoinedText(findings[i].*field); });
    } else {
        std::stable_sort(kept.begin(), kept.end(), [&](uint32_t a, uint32_t b) {
            return order.ascending ? less(findings[a], findings[b], order.key)
                                   : less(findings[b], findings[a], order.key);
        });
    }
    return kept;
}

std::vector<CategoryCount> categorySummary(const std::vector<Finding> &findings, Severity minimum)
{
    std::vector<CategoryCount> chips;
    std::unordered_map<std::string, size_t> slot;
    for (const Finding &finding : findings) {
        if (rawValue(finding.severity) < rawValue(minimum)) continue;
        const auto [it, added] = slot.try_emplace(finding.category, chips.size());
        if (added) chips.push_back({QString::fromStdString(finding.category), 0});
        ++chips[it->second].count;
    }
    // Equal counts have no order of their own; a stable sort keeps first appearance.
    std::stable_sort(chips.begin(), chips.end(),
                     [](const CategoryCount &a, const CategoryCount &b) { return a.count > b.count; });
    return chips;
}

QString countText(int64_t shown, int64_t total)
{
    return Format::count(shown) + QStringLiteral(" of ") + Format::count(total) + QStringLiteral(" findings");
}

QString searchAfterChipClick(const QString &search, const QString &category)
{
    return search == category ? QString() : category;
}

const Finding *Table::finding(const Uuid &id) const
{
    const auto found = std::lower_bound(positionByID.begin(), positionByID.end(), id,
                                        [](const std::pair<Uuid, uint32_t> &entry, const Uuid &key) {
                                            return entry.first < key;
                                        });
    return found != positionByID.end() && found->first == id ? &(*findings)[found->second] : nullptr;
}

int Table::rowOf(const Uuid &id) const
{
    const auto found = std::lower_bound(rowByID.begin(), rowByID.end(), id,
                                        [](const std::pair<Uuid, int32_t> &entry, const Uuid &key) {
                                            return entry.first < key;
                                        });
    return found != rowByID.end() && found->first == id ? found->second : -1;
}

Table table(FindingsSnapshot findings, Severity minimum, const QString &search, SortOrder order)
{
    Table t;
    t.findings = findings ? std::move(findings) : std::make_shared<const std::vector<Finding>>();
    const std::vector<Finding> &all = *t.findings;
    t.rows = rows(all, minimum, search, order);
    t.chips = categorySummary(all, minimum);
    t.positionByID.reserve(all.size());
    for (size_t i = 0; i < all.size(); ++i) t.positionByID.emplace_back(all[i].id, uint32_t(i));
    std::sort(t.positionByID.begin(), t.positionByID.end());
    t.rowByID.reserve(t.rows.size());
    for (size_t row = 0; row < t.rows.size(); ++row) t.rowByID.emplace_back(all[t.rows[row]].id, int32_t(row));
    std::sort(t.rowByID.begin(), t.rowByID.end());
    return t;
}

} // namespace FindingsRows
