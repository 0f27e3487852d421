#pragma once

#include "Engine/Parser/ParseIssue.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The framing problems of one trail: the first ones the parser kept, shared by every copy of the
// source that holds them, and how many there were in all.
class ParseIssues {
public:
    ParseIssues() = default;
    ParseIssues(std::vector<ParseIssue> kept, int64_t total)
        : m_kept(kept.empty() ? nullptr : std::make_shared<const std::vector<ParseIssue>>(std::move(kept)))
        , m_total(std::max<int64_t>(total, m_kept ? int64_t(m_kept->size()) : 0))
    {}

    bool empty() const { return m_total == 0; }
    int64_t total() const { return m_total; }
    const std::vector<ParseIssue> &kept() const { return m_kept ? *m_kept : none(); }

private:
    static const std::vector<ParseIssue> &none()
    {
        static const std::vector<ParseIssue> empty;
        return empty;
    }
    std::shared_ptr<const std::vector<ParseIssue>> m_kept;
    int64_t m_total = 0;
};

// One loaded trail file or imported live capture.
struct TrailSource {
    enum class Kind { file, system, sample, live };

    int64_t id = 0;
    std::string name;
    std::optional<std::string> path;
    Kind kind = Kind::file;
    int64_t bytes = 0;
    int64_t recordCount = 0;
    // Times of the source's first and last record in its own order, not the earliest and latest.
    std::optional<double> first;
    std::optional<double> last;
    ParseIssues issues; // none for a live capture
    std::vector<std::string> fileTokens;
};

// The loaded sources at one moment, immutable, for views that keep what they show.
using SourcesSnapshot = std::shared_ptr<const std::vector<TrailSource>>;

// The raw value is also the display text.
inline constexpr const char *rawValue(TrailSource::Kind kind)
{
    constexpr std::array<const char *, 4> texts = {"File", "System", "Sample", "Live capture"};
    return texts[static_cast<size_t>(kind)];
}
