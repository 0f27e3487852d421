#pragma once

#include <string>
#include <string_view>

// Case-insensitive search by Unicode simple case folding: one code point maps to one code point,
// so "ß" does not match "ss" and composed and decomposed accents stay different.
namespace CaseFold {

char32_t fold(char32_t c);

// A search text folded once and then looked for in many texts.
class Needle {
public:
    explicit Needle(std::string_view query);

    // Whether the folded text contains the folded query. An empty query is found nowhere.
    bool foundIn(std::string_view text) const;
    // The folded query's length in bytes.
    size_t size() const { return m_folded.size(); }

private:
    std::string m_folded; // UTF-8
    bool m_ascii = true;
};

} // namespace CaseFold
