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
    std::vector<Finding> kept;
    for (const Finding &f : findings)
        if (f.severity >= Severity::medium) kept.push_back(f);
    std::stable_sort(kept.begin(), kept.end(), [](const Finding &a, const Finding &b) {
        if (a.severity != b.severity) return a.severity > b.severity;
        return a.time > b.time;
    });
    if (kept.size() > notableFindingLimit) kept.resize(notableFindingLimit);
    return kept;
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
    static const std::array<QColor, 8> palette = {Style::blue(),  Style::purple(), Style::teal(),   Style::orange(),
                                                  Style::pink(),  Style::green(),  Style::indigo(), Style::yellow()};
    return palette[index % palette.size()];
}
