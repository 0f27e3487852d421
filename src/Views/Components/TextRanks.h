#pragma once

#include "Engine/Record/JoinedText.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

// The longest key a sort keeps of one text.
inline constexpr size_t textKeyLimit = 4096;

// Each row's rank among the rows' texts in byte order (code-point order for UTF-8): equal texts
// share a rank, so a stable sort by rank is the stable sort by text. A row's key holds only the
// first textKeyLimit bytes of its text, made once per distinct key; texts that share a cut key
// are told apart by comparing them whole where they lie, so a megabyte-long text costs its key
// plus the comparisons that need it.
std::vector<uint32_t> textRanks(size_t rows, const std::function<JoinedText(size_t row)> &textAt);

// The stable order of the rows by their texts, ascending or descending: the row at each place.
std::vector<uint32_t> textOrder(size_t rows, bool ascending, const std::function<JoinedText(size_t row)> &textAt);
// Sorts values (positions into a list, say) stably by their texts.
void sortByText(std::vector<uint32_t> &values, bool ascending, const std::function<JoinedText(uint32_t value)> &textOf);
