#include "Views/Overview/OverviewCardData.h"

#include "Engine/Support/Numbers.h"
#include "Views/Components/Style.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace {

// Keys are unsigned decimals; one that is not, or does not fit T, reads as nothing.
template <typename T>
std::optional<T> unsignedKey(const std::string &key)
{
    const auto value = Numbers::parseInteger(key, 10, false, 0, std::numeric_limits<T>::max());
    return value ? std::optional<T>(T(*value)) : std::nullopt;
}

} // namespace

std::array<int64_t, 5> severityCounts(const std::vector<Finding> &findings)
{
    std::array<int64_t, 5> counts{};
    for (const Finding &f : findings)
        if (const auto s = severityFromRawValue(rawValue(f.severity))) ++counts[size_t(rawValue(*s))];
    return counts;
}

std::vector<Finding> notableFindings(const std::vector<Finding> &findings)
{
    // Positions are sorted and only the six are copied.
    std::vector<uint32_t> kept;
    for (size_t i = 0; i < findings.size(); ++i)
        if (findings[i].severity >= Severity::medium) kept.push_back(uint32_t(i));
    const auto before = [&](uint32_t a, uint32_t b) {
        if (findings[a].severity != findings[b].severity) return findings[a].severity > findings[b].severity;
        if (findings[a].time != findings[b].time) return findings[a].time > findings[b].time;
        return a < b;
    };
    const size_t shown = std::min(kept.size(), notableFindingLimit);
    std::partial_sort(kept.begin(), kept.begin() + std::ptrdiff_t(shown), kept.end(), before);
    std::vector<Finding> notable;
    for (size_t i = 0; i < shown; ++i) notable.push_back(findings[kept[i]]);
    return notable;
}

FindingsSummary summarizeFindings(const std::vector<Finding> &findings)
{
    FindingsSummary summary;
    summary.total = int64_t(findings.size());
    summary.bySeverity = severityCounts(findings);
    summary.notable = notableFindings(findings);
    return summary;
}

EventFilter rankedRowFilter(RankedCard card, const CountItem &item)
{
    EventFilter filter;
    switch (card) {
    case RankedCard::topEvents:
        filter.events = {unsignedKey<uint16_t>(item.key).value_or(0)};
        filter.label = item.label;
        break;
    case RankedCard::topProcesses:
        filter.text = item.key;
        filter.label = item.label;
        break;
    case RankedCard::users:
        filter.user = unsignedKey<uint32_t>(item.key);
        filter.label = "user " + item.label;
        break;
    case RankedCard::failures:
        filter.events = {unsignedKey<uint16_t>(item.key).value_or(0)};
        filter.result = ResultFilter::failure;
        filter.label = item.label;
        break;
    case RankedCard::remoteAddresses:
        filter.text = item.key;
        filter.label = item.key;
        break;
    }
    return filter;
}

EventFilter classRowFilter(const CountItem &item)
{
    EventFilter filter;
    filter.classes = {item.key};
    filter.label = item.label;
    return filter;
}

QColor overviewPaletteColour(size_t index)
{
    // The application's standard colours of those names, so a green sector matches every other green.
    static const std::array<QColor, 8> palette = {Style::blue(), Style::purple(), Style::teal(),   Style::orange(),
                                                  Style::pink(), Style::green(),  Style::indigo(), Style::yellow()};
    return palette[index % palette.size()];
}
