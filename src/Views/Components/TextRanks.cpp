#include "Views/Components/TextRanks.h"

#include <algorithm>
#include <numeric>
#include <string>
#include <string_view>
#include <unordered_map>

namespace {

struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view key) const { return std::hash<std::string_view>()(key); }
};

} // namespace

std::vector<uint32_t> textRanks(size_t rows, const std::function<JoinedText(size_t row)> &textAt)
{
    // Distinct keys, each with whether a longer text was cut to it.
    std::unordered_map<std::string, uint32_t, Hash, std::equal_to<>> slots;
    std::vector<const std::string *> keys;
    std::vector<uint8_t> cut;
    std::vector<uint32_t> slotOfRow(rows);
    std::string key;
    for (size_t row = 0; row < rows; ++row) {
        const JoinedText text = textAt(row);
        key.clear();
        text.append(key, 0, textKeyLimit);
        auto found = slots.find(std::string_view(key));
        if (found == slots.end()) {
            found = slots.emplace(key, uint32_t(keys.size())).first;
            keys.push_back(&found->first);
            cut.push_back(0);
        }
        slotOfRow[row] = found->second;
        if (text.size() > textKeyLimit) cut[found->second] = 1;
    }

    std::vector<uint32_t> order(keys.size());
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return *keys[a] < *keys[b]; });

    // The rows behind each cut key, in row order, to be ordered by their whole texts.
    std::unordered_map<uint32_t, std::vector<uint32_t>> sharing;
    for (size_t row = 0; row < rows; ++row)
        if (cut[slotOfRow[row]]) sharing[slotOfRow[row]].push_back(uint32_t(row));

    std::vector<uint32_t> rankOfSlot(keys.size());
    std::vector<uint32_t> ranks(rows);
    uint32_t next = 0;
    for (const uint32_t slot : order) {
        const auto members = sharing.find(slot);
        if (members == sharing.end()) {
            rankOfSlot[slot] = next++;
            continue;
        }
        std::vector<uint32_t> &group = members->second;
        std::vector<JoinedText> texts;
        texts.reserve(group.size());
        for (const uint32_t row : group) texts.push_back(textAt(row));
        std::vector<uint32_t> byText(group.size());
        std::iota(byText.begin(), byText.end(), 0u);
        // The keys are equal: the texts differ, if at all, after them.
        std::stable_sort(byText.begin(), byText.end(),
                         [&](uint32_t a, uint32_t b) { return texts[a].compare(texts[b], textKeyLimit) < 0; });
        for (size_t i = 0; i < byText.size(); ++i) {
            if (i > 0 && texts[byText[i - 1]].compare(texts[byText[i]], textKeyLimit) != 0) ++next;
            ranks[group[byText[i]]] = next;
        }
        ++next;
    }
    for (size_t row = 0; row < rows; ++row)
        if (!cut[slotOfRow[row]]) ranks[row] = rankOfSlot[slotOfRow[row]];
    return ranks;
}

std::vector<uint32_t> textOrder(size_t rows, bool ascending, const std::function<JoinedText(size_t row)> &textAt)
{
    const std::vector<uint32_t> ranks = textRanks(rows, textAt);
    std::vector<uint32_t> order(rows);
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t a, uint32_t b) { return ascending ? ranks[a] < ranks[b] : ranks[b] < ranks[a]; });
    return order;
}

void sortByText(std::vector<uint32_t> &values, bool ascending, const std::function<JoinedText(uint32_t value)> &textOf)
{
    const std::vector<uint32_t> order = textOrder(values.size(), ascending, [&](size_t i) { return textOf(values[i]); });
    std::vector<uint32_t> sorted(values.size());
    for (size_t i = 0; i < order.size(); ++i) sorted[i] = values[order[i]];
    values = std::move(sorted);
}
