#include "Views/Components/CellText.h"

#include <algorithm>
#include <string>

namespace {

const QString ellipsis(QChar(0x2026));

bool continuation(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// The first `bytes` bytes, less a character cut at their end.
QString head(const JoinedText &text, size_t bytes)
{
    std::string out;
    text.append(out, 0, bytes + 1);
    if (out.size() > bytes) {
        size_t end = bytes;
        while (end > 0 && continuation(out[end])) --end;
        out.resize(end);
    }
    return QString::fromUtf8(out.data(), qsizetype(out.size()));
}

// The last `bytes` bytes, less a character cut at their start.
QString tail(const JoinedText &text, size_t bytes)
{
    std::string out;
    text.append(out, text.size() - bytes, bytes);
    size_t begin = 0;
    while (begin < out.size() && continuation(out[begin])) ++begin;
    return QString::fromUtf8(out.data() + begin, qsizetype(out.size() - begin));
}

} // namespace

QString cellText(const JoinedText &text, Qt::TextElideMode mode)
{
    // UTF-8 takes at least a byte a character: this many bytes are at most this many characters.
    constexpr size_t limit = size_t(cellTextLimit);
    if (text.size() <= limit) return QString::fromStdString(text.toString());
    switch (mode) {
    case Qt::ElideLeft: return ellipsis + tail(text, limit - 1);
    case Qt::ElideMiddle: return head(text, limit / 2) + ellipsis + tail(text, limit / 2 - 1);
    default: return head(text, limit - 1) + ellipsis;
    }
}

QString cellTextFromEnds(std::string_view start, std::string_view end)
{
    constexpr size_t half = size_t(cellTextLimit) / 2;
    return head(JoinedText(start), std::min(half, start.size())) + ellipsis
           + tail(JoinedText(end), std::min(half - 1, end.size()));
}

QString cellText(std::string_view text, Qt::TextElideMode mode)
{
    if (text.size() <= size_t(cellTextLimit)) return QString::fromUtf8(text.data(), qsizetype(text.size()));
    return cellText(JoinedText(text), mode);
}
