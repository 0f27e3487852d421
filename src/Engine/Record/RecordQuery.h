#pragma once

#include "Engine/BSM/CaseFold.h"

#include <string>
#include <string_view>

// A search text made ready once for a pass over many records: folded for the case-insensitive
// tests, and kept as typed for the exact pid test.
class RecordQuery {
public:
    explicit RecordQuery(std::string_view text) : m_text(text), m_needle(text) {}

    const std::string &text() const { return m_text; }
    const CaseFold::Needle &needle() const { return m_needle; }

private:
    std::string m_text;
    CaseFold::Needle m_needle;
};
