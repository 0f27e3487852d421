#pragma once

#include "Engine/Record/AuditRecord.h"
#include "Engine/Support/Parallel.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <unordered_set>
#include <vector>

enum class ResultFilter { all, success, failure };

inline constexpr std::array<ResultFilter, 3> allResultFilters = {ResultFilter::all, ResultFilter::success,
                                                                 ResultFilter::failure};

// "All", "Success", "Failure": also the texts of the filter bar's segments.
inline constexpr const char *rawValue(ResultFilter r)
{
    constexpr std::array<const char *, 3> texts = {"All", "Success", "Failure"};
    return texts[static_cast<size_t>(r)];
}

// The record filter behind the Events screen and every drill-down. Equality covers every field,
// the label included, so a new label alone counts as a change.
struct EventFilter {
    std::string text;
    std::set<std::string> classes;
    ResultFilter result = ResultFilter::all;
    std::optional<uint32_t> user;
    std::optional<uint32_t> pid;
    std::set<uint16_t> events;
    // nullopt restricts nothing; an empty set lets no record through.
    std::optional<std::unordered_set<int64_t>> recordIDs;
    std::optional<double> start;
    std::optional<double> end;
    // A caption only, never a criterion.
    std::optional<std::string> label;

    bool operator==(const EventFilter &) const = default;

    bool isActive() const;
    // The union of the catalogue masks of `classes`; 0 when none is known.
    uint32_t classMask() const;

    // What a pass over many records works out once: the class mask (0 skips the class test) and
    // the prepared search text.
    struct Pass {
        uint32_t classMask = 0;
        std::optional<RecordQuery> query;
    };
    Pass pass() const;
    bool matches(const AuditRecord &record, const Pass &pass) const;

    // The positions of the records that pass, in order. Parts are tested side by side on the pool,
    // each with its own copy of `pass`, and joined in order. Nothing when `stop`, asked now and
    // then, says the result is no longer wanted.
    std::optional<std::vector<uint32_t>> select(std::span<const AuditRecord> records, const Pass &pass,
                                                Parallel::Pool &pool, const std::function<bool()> &stop = {}) const;
};
