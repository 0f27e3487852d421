#pragma once

#include "Engine/Analysis/Finding.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

// What the Findings screen derives from the store's findings: the shown rows, the tactic chips
// and the count line. Pure, so each is tested without a widget.
namespace FindingsRows {

enum class SortKey { severity, time, rule, category, user, summary };

struct SortOrder {
    SortKey key = SortKey::time;
    bool ascending = true;
};

// Positions into `findings` of those at or above `minimum` that the search finds in the rule,
// summary, tactic or technique (case-insensitive; the text is used as typed), sorted stably by
// `order`: findings equal under it keep the store's order.
std::vector<uint32_t> rows(const std::vector<Finding> &findings, Severity minimum, const QString &search,
                           SortOrder order = {});

// Whether `a` sorts before `b` under the key, ascending. Rule, tactic and summary compare by code
// point; the user by the locale's collation (not the numeric-aware natural order).
bool less(const Finding &a, const Finding &b, SortKey key);

struct CategoryCount {
    QString category;
    int64_t count = 0;

    bool operator==(const CategoryCount &) const = default;
};

// One chip per tactic of the findings at or above `minimum`, most findings first; tactics with
// equal counts keep the order of their first finding.
std::vector<CategoryCount> categorySummary(const std::vector<Finding> &findings, Severity minimum);

// "3 of 17 findings", figures grouped by the locale; the word stays plural for one.
QString countText(int64_t shown, int64_t total);

// The search after a click on a chip: cleared when it is exactly the chip's tactic, else the tactic.
QString searchAfterChipClick(const QString &search, const QString &category);

using FindingsSnapshot = std::shared_ptr<const std::vector<Finding>>;

// All the screen derives from one list of findings, made on the pool and held by the table model
// with the list it points into.
struct Table {
    FindingsSnapshot findings; // never null
    std::vector<uint32_t> rows;
    std::vector<CategoryCount> chips;
    std::vector<std::pair<Uuid, uint32_t>> positionByID; // every finding's position, by id
    std::vector<std::pair<Uuid, int32_t>> rowByID;       // the shown ones' rows, by id

    // The finding with this id among all of them, or null.
    const Finding *finding(const Uuid &id) const;
    // The row showing it, or -1.
    int rowOf(const Uuid &id) const;
};

Table table(FindingsSnapshot findings, Severity minimum, const QString &search, SortOrder order);

} // namespace FindingsRows
