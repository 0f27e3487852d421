#pragma once

#include "Engine/Record/AuditRecord.h"

#include <cstddef>
#include <functional>
#include <ostream>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

// Writes records as a CSV table or a JSON array for spreadsheets and other tools. Rows are
// streamed through a small buffer, so the size of an export is bounded by the disk, not memory.
namespace Exporter {

enum class Format { csv, json };

// A write that failed; what() is a sentence naming the file and the system's reason.
class ExportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "csv" or "json".
const char *fileExtension(Format format);
// The name a save dialog proposes: "audit-events." and the extension.
std::string defaultFileName(Format format);

// The records to export, reached by position, so that a filtered view over a shared snapshot
// exports without copying records.
struct RecordList {
    size_t count = 0;
    std::function<const AuditRecord &(size_t)> at;

    static RecordList of(std::span<const AuditRecord> records);
};

// Writes the whole document to out; throws ExportError when the stream fails.
void writeEvents(std::ostream &out, const RecordList &records, Format format);
// Writes the file at path: a new file beside it, renamed over it once complete, so a failed write
// leaves any old file as it was. A replaced file keeps its permission bits; a folder, named pipe
// or device at path is refused. Errors name path. Throws ExportError.
void exportEvents(const RecordList &records, Format format, const std::string &path);

// Writes text to path the same way. Throws ExportError.
void replaceFile(const std::string &path, std::string_view text);

// One CSV cell as written: a leading "=", "+", "-", "@", tab or carriage return gets an
// apostrophe in front (spreadsheets would run it as a formula), and a cell holding a comma,
// double quote, line feed or carriage return is quoted with its quotes doubled.
std::string csvCell(std::string_view text);
// A time as 2024-03-05T14:07:09.125Z (UTC, milliseconds); beyond the calendar, its plain seconds.
std::string isoTime(double time);

} // namespace Exporter
