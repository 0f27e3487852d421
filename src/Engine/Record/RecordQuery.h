#pragma once

#include "Engine/BSM/CaseFold.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A search text made ready once for a pass over many records: folded for the case-insensitive
// tests, and kept as typed for the exact pid test. It remembers which user ids have names that
// hold the text, so a pass asks the shared name cache once per user, not once per record: a
// query therefore serves one thread at a time, and parallel passes copy it.
class RecordQuery {
public:
    explicit RecordQuery(std::string_view text) : m_text(text), m_needle(text) {}

    const std::string &text() const { return m_text; }
    const CaseFold::Needle &needle() const { return m_needle; }

    // Whether the name of `uid` holds the text, worked out by `find` the first time it is asked.
    template <typename Find>
    bool userMatches(uint32_t uid, Find &&find) const
    {
        for (const auto &[known, matches] : m_users)
            if (known == uid) return matches;
        const bool matches = find();
        // Bounded: a trail of many users is searched a little slower rather than without limit.
        if (m_users.size() < maximumUsers) m_users.emplace_back(uid, matches);
        return matches;
    }

private:
    static constexpr size_t maximumUsers = 64;
    std::string m_text;
    CaseFold::Needle m_needle;
    mutable std::vector<std::pair<uint32_t, bool>> m_users;
};
