#include "Engine/Analysis/RecordFormatter.h"

#include "Engine/Parser/BSMParser.h"
#include "Engine/BSM/UserResolver.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <optional>

namespace RecordFormatter {

namespace {

// A value on one line: control characters, line breaks above all, are written as escapes, so an
// argument or a path cannot start a line that reads like another token.
std::string oneLine(std::string_view value)
{
    std::string out;
    out.reserve(value.size());
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\t') out += "\\t";
        else if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", unsigned(byte));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

std::string text(const AuditRecord &record, UserResolver &users)
{
    std::string result;
    auto addLine = [&result, first = true](const std::string &line) mutable {
        if (!first) result += '\n';
        result += line;
        first = false;
    };
    std::optional<std::string> error;
    try {
        BSMParser::TokenList list = BSMParser::tokens(record.raw());
        for (const BSMToken &token : list.tokens) {
            std::string line = token.name();
            for (const auto &[label, value] : token.fields(users)) line += ", " + oneLine(label) + "=" + oneLine(value);
            addLine(line);
        }
        error = std::move(list.error);
    } catch (const std::exception &e) {
        // The text is shown and copied, never fails: a decoder that throws ends it like an error.
        error = e.what();
    }
    if (error) addLine("! " + oneLine(*error));
    return result;
}

std::string text(const AuditRecord &record)
{
    return text(record, UserResolver::shared());
}

void appendHexLine(std::string &out, std::span<const uint8_t> bytes, size_t line, int width)
{
    // No caller passes less than 1; one byte per line still ends rather than looping forever.
    const size_t perLine = width < 1 ? 1 : size_t(width);
    const size_t hexWidth = perLine * 3 - 1;
    const size_t start = line * perLine;
    if (start >= bytes.size()) return;
    const size_t end = std::min(bytes.size(), start + perLine);
    char cell[24];
    std::snprintf(cell, sizeof cell, "%04zx  ", start);
    out += cell;
    const size_t hexStart = out.size();
    for (size_t i = start; i < end; ++i) {
        std::snprintf(cell, sizeof cell, i == start ? "%02x" : " %02x", unsigned(bytes[i]));
        out += cell;
    }
    out.append(hexWidth - (out.size() - hexStart), ' ');
    out += "  ";
    for (size_t i = start; i < end; ++i) out += bytes[i] >= 0x20 && bytes[i] <= 0x7e ? char(bytes[i]) : '.';
}

size_t hexLineCount(size_t bytes, int width)
{
    const size_t perLine = width < 1 ? 1 : size_t(width);
    return (bytes + perLine - 1) / perLine;
}

std::string hex(std::span<const uint8_t> bytes, int width)
{
    std::string result;
    for (size_t line = 0, lines = hexLineCount(bytes.size(), width); line < lines; ++line) {
        appendHexLine(result, bytes, line, width);
        result += '\n';
    }
    return result;
}

} // namespace RecordFormatter
