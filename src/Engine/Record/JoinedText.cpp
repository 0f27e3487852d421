#include "Engine/Record/JoinedText.h"

#include "Engine/BSM/CaseFold.h"

#include <algorithm>
#include <charconv>

JoinedText::JoinedText(std::string_view text)
{
    addRun(text, {});
}

JoinedText::JoinedText(StringList items, std::string_view separator)
{
    addRun(items, separator, {});
}

void JoinedText::add(Run run)
{
    if (m_runCount == maxRuns) return;
    if (m_runCount == 0) run.between = {};
    run.start = m_size;
    run.size += run.between.size();
    m_size += run.size;
    m_runs[m_runCount++] = run;
}

void JoinedText::addRun(StringList items, std::string_view separator, std::string_view between)
{
    if (items.empty()) return;
    Run run;
    run.items = items;
    run.separator = separator;
    run.between = between;
    run.size = itemStart(run, items.size() - 1) + items.back().size();
    add(run);
}

void JoinedText::addRun(std::string_view text, std::string_view between)
{
    Run run;
    run.single = text;
    run.between = between;
    run.size = text.size();
    add(run);
}

void JoinedText::addLiteral(std::string_view text, std::string_view between)
{
    m_literalSize = std::min(text.size(), maxLiteral);
    std::copy_n(text.begin(), m_literalSize, m_literal.begin());
    Run run;
    run.literal = true;
    run.between = between;
    run.size = m_literalSize;
    add(run);
}

void JoinedText::append(std::string &out, size_t offset, size_t length) const
{
    if (offset >= m_size || length == 0) return;
    length = std::min(length, m_size - offset);
    out.reserve(out.size() + length);
    forEachPiece(offset, [&](std::string_view piece) {
        const size_t take = std::min(piece.size(), length);
        out.append(piece.data(), take);
        length -= take;
        return length > 0;
    });
}

std::string JoinedText::toString() const
{
    std::string text;
    append(text);
    return text;
}

int JoinedText::compare(const JoinedText &other, size_t from) const
{
    // A window of each at a time: nothing is copied but the windows.
    constexpr size_t window = 16384;
    thread_local std::string mine, theirs;
    for (size_t at = from;; at += window) {
        mine.clear();
        theirs.clear();
        append(mine, at, window);
        other.append(theirs, at, window);
        if (const int c = std::string_view(mine).compare(theirs)) return c;
        if (mine.size() < window) return 0;
    }
}

bool JoinedText::contains(const CaseFold::Needle &needle) const
{
    if (needle.size() == 0) return false;
    // A match spans at most as many code points as the folded query has bytes, and a code point
    // at most four bytes: windows that overlap by that much miss none.
    const size_t overlap = 4 * needle.size();
    const size_t window = std::max<size_t>(65536, 4 * overlap);
    thread_local std::string text;
    for (size_t at = 0; at < m_size;) {
        text.clear();
        append(text, at, window);
        if (needle.foundIn(text)) return true;
        if (at + text.size() >= m_size) break;
        // The next window starts on a code point, so it decodes as the whole text does there.
        size_t next = text.size() - overlap;
        while (next > 0 && (static_cast<unsigned char>(text[next]) & 0xC0) == 0x80) --next;
        at += std::max<size_t>(next, 1);
    }
    return false;
}

JoinedText detailText(const AuditRecord &record)
{
    const StringList execArgs = record.execArgs();
    if (!execArgs.empty()) return JoinedText(execArgs, " ");
    JoinedText text;
    constexpr std::string_view between = "  ";
    text.addRun(record.paths(), " \u2192 ", between);
    text.addRun(record.sockets(), ", ", between);
    if (!record.texts().empty()) {
        text.addRun(record.texts(), " \u00B7 ", between);
    } else if (const SubjectInfo *target = record.target();
               record.paths().empty() && record.sockets().empty() && target) {
        char literal[JoinedText::maxLiteral] = "target pid ";
        const size_t prefix = std::char_traits<char>::length(literal);
        const auto written = std::to_chars(literal + prefix, literal + sizeof literal, target->pid);
        text.addLiteral(std::string_view(literal, size_t(written.ptr - literal)), between);
    }
    return text;
}
