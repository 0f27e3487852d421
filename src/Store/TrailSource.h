#pragma once

#include "Engine/Parser/ParseIssue.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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
    std::vector<ParseIssue> issues;
    std::vector<std::string> fileTokens;
};

// The raw value is also the display text.
inline constexpr const char *rawValue(TrailSource::Kind kind)
{
    constexpr std::array<const char *, 4> texts = {"File", "System", "Sample", "Live capture"};
    return texts[static_cast<size_t>(kind)];
}
