#pragma once

#include "Engine/Record/AuditRecord.h"

#include <cstdint>
#include <span>
#include <string>

class UserResolver;

// The two copyable texts of a record. Both re-decode nothing but what they are given and keep no
// state, so they may run on any thread.
namespace RecordFormatter {

// One line per token decoded again from record.raw ("name, label=value, ..."), then "! error"
// when decoding stopped early; lines joined by "\n", no trailing line feed. Control characters
// in a value are written as escapes ("\n", "\t", "\x1b"), so each token keeps to its line.
std::string text(const AuditRecord &record, UserResolver &users);
std::string text(const AuditRecord &record);

// Offset, hex and ASCII columns, width bytes per line, every line ended by "\n"; "" for no bytes.
std::string hex(std::span<const uint8_t> bytes, int width = 16);
// One line of that dump, without its line feed, so a viewer makes only the lines it shows.
void appendHexLine(std::string &out, std::span<const uint8_t> bytes, size_t line, int width = 16);
size_t hexLineCount(size_t bytes, int width = 16);

} // namespace RecordFormatter
