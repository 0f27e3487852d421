#pragma once

#include "Engine/Record/AuditRecord.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace CaseFold {
class Needle;
}

// A text made of a record's texts as they lie in its storage: runs of texts, the texts of a run
// joined by the run's separator, the runs joined by one separator of their own. It is measured,
// read, compared and searched in place and never built whole, so a megabyte of exec arguments, or
// sixteen million empty ones, costs only what is read of it. Valid while the texts it views are.
class JoinedText {
public:
    static constexpr size_t npos = std::string_view::npos;

    JoinedText() = default;
    explicit JoinedText(std::string_view text);
    JoinedText(StringList items, std::string_view separator);

    // Adds a run after the others, `between` before it unless it is the first. Empty runs are
    // left out. At most maxRuns.
    void addRun(StringList items, std::string_view separator, std::string_view between);
    void addRun(std::string_view text, std::string_view between);
    // A run of a short text the joined text keeps itself (at most maxLiteral bytes).
    void addLiteral(std::string_view text, std::string_view between);
    static constexpr size_t maxRuns = 4;
    static constexpr size_t maxLiteral = 32;

    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }

    // Calls piece(std::string_view) with the text from `offset` on, piece by piece in order, the
    // first cut to start there; stops when piece returns false. Reaching the offset takes a
    // binary search, not a walk over the texts before it.
    template <typename Piece>
    void forEachPiece(size_t offset, Piece &&piece) const;

    // Appends at most `length` bytes from `offset` on.
    void append(std::string &out, size_t offset = 0, size_t length = npos) const;
    std::string toString() const;

    // Byte order, as the texts would compare joined (so code-point order for UTF-8).
    int compare(const JoinedText &other, size_t from = 0) const;

    // Whether the needle is found in the joined text, across the joins too, folding a window at a time.
    bool contains(const CaseFold::Needle &needle) const;

private:
    struct Run {
        StringList items; // empty for a single text
        std::string_view single;
        bool literal = false; // `single` is m_literal
        std::string_view separator;
        std::string_view between; // before the run; empty for the first
        size_t start = 0;         // in the joined text, `between` included
        size_t size = 0;          // `between` included
    };
    // Where item i of a run starts, counted from the run's first item.
    static size_t itemStart(const Run &run, size_t i) { return run.items.offsetOf(i) + i * run.separator.size(); }
    void add(Run run);

    std::string_view single(const Run &run) const
    {
        return run.literal ? std::string_view(m_literal.data(), m_literalSize) : run.single;
    }

    std::array<Run, maxRuns> m_runs;
    size_t m_runCount = 0;
    size_t m_size = 0;
    std::array<char, maxLiteral> m_literal{};
    size_t m_literalSize = 0;
};

// What a record touched, in one line, as the tables show and sort it: its exec arguments, or its
// paths, sockets and texts (or its target's pid).
JoinedText detailText(const AuditRecord &record);

template <typename Piece>
void JoinedText::forEachPiece(size_t offset, Piece &&piece) const
{
    // Emits the part of `text` from `skip` on; false when told to stop.
    const auto give = [&](std::string_view text, size_t &skip) {
        if (skip >= text.size()) {
            skip -= text.size();
            return true;
        }
        const std::string_view rest = text.substr(skip);
        skip = 0;
        return rest.empty() || piece(rest);
    };
    for (size_t r = 0; r < m_runCount; ++r) {
        const Run &run = m_runs[r];
        if (offset >= run.start + run.size) continue;
        size_t skip = offset > run.start ? offset - run.start : 0;
        if (!give(run.between, skip)) return;
        if (run.items.empty()) {
            if (!give(single(run), skip)) return;
            continue;
        }
        // The item holding the offset: the last whose start is at or before it.
        size_t low = 0, high = run.items.size();
        while (high - low > 1) {
            const size_t middle = low + (high - low) / 2;
            if (itemStart(run, middle) <= skip) low = middle;
            else high = middle;
        }
        skip -= itemStart(run, low);
        for (size_t i = low; i < run.items.size(); ++i) {
            if (i > low && !give(run.separator, skip)) return;
            if (!give(run.items[i], skip)) return;
        }
    }
}
