#include "Views/Findings/FindingsRows.h"

#include "Engine/BSM/CaseFold.h"
#include "Views/Components/Formatters.h"

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
    case SortKey::severity:
        return rawValue(a.severity) < rawValue(b.severity);
    case SortKey::time:
        return a.time < b.time;
    case SortKey::rule:
        return a.rule < b.rule;
    case SortKey::category:
        return a.category < b.category;
    case SortKey::summary:
        return a.summary < b.summary;
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

} // namespace FindingsRows
