#include "Engine/Export/EventExporter.h"

#include "Engine/BSM/AuditCatalog.h"
#include "Engine/BSM/BSMErrno.h"
#include "Engine/BSM/UTF8.h"
#include "Engine/BSM/UserResolver.h"
#include "Engine/Support/AtomicFile.h"
#include "Engine/Support/FileDescriptor.h"
#include "Engine/Support/FileError.h"
#include "Engine/Support/UtcTime.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace Exporter {

namespace {

constexpr std::string_view csvHeader =
    "time,event,event_name,description,classes,success,result,auid,audit_user,euid,effective_user,pid,session,"
    "terminal,process,paths,command_line,sockets,text,signing_id\n";

// Flushed in chunks of this size; the whole export never holds more than one chunk and one row.
constexpr size_t flushSize = 1 << 16;

class Output {
public:
    explicit Output(std::function<void(std::string_view)> sink) : m_sink(std::move(sink))
    {
        m_buffer.reserve(2 * flushSize);
    }

    std::string &buffer() { return m_buffer; }
    void rowDone()
    {
        if (m_buffer.size() >= flushSize) finish();
    }
    void finish()
    {
        if (!m_buffer.empty()) m_sink(m_buffer);
        m_buffer.clear();
    }

private:
    std::function<void(std::string_view)> m_sink;
    std::string m_buffer;
};

bool isASCII(std::string_view text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// Names and user texts come from files and the system's databases, not only from the decoder:
// anything that is not UTF-8 is repaired here so that both formats stay readable.
std::string_view validUTF8(std::string_view text, std::string &scratch)
{
    if (isASCII(text)) return text;
    scratch = UTF8::decodeLossy(text);
    return scratch;
}

void appendNumber(std::string &out, int64_t value)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end);
}

// The export's catalogue and name look-ups, each asked once per distinct value.
class Lookups {
public:
    struct EventTexts {
        std::string name;
        std::string description;
        std::vector<std::string> classes;
    };

    const EventTexts &event(uint16_t number)
    {
        auto it = m_events.find(number);
        if (it != m_events.end()) return it->second;
        const AuditCatalog &catalog = AuditCatalog::shared();
        EventTexts texts{catalog.eventName(number), catalog.eventDescription(number), {}};
        if (const auto known = catalog.events.find(number); known != catalog.events.end())
            texts.classes = known->second.classes;
        return m_events.emplace(number, std::move(texts)).first->second;
    }

    const std::string &result(uint8_t status)
    {
        std::optional<std::string> &text = m_results[status];
        if (!text) text = status == 0 ? std::string("success") : errnoDescription(status);
        return *text;
    }

    const std::optional<std::string> &user(uint32_t uid)
    {
        auto it = m_users.find(uid);
        if (it == m_users.end()) it = m_users.emplace(uid, UserResolver::shared().name(uid)).first;
        return it->second;
    }

private:
    std::unordered_map<uint16_t, EventTexts> m_events;
    std::array<std::optional<std::string>, 256> m_results;
    std::unordered_map<uint32_t, std::optional<std::string>> m_users;
};

// One exported record. Texts and lists point into the record and the look-ups, which outlive it.
struct EventRow {
    int64_t id = 0;
    std::string time;
    uint16_t event = 0;
    std::string_view eventName;
    std::string_view description;
    std::span<const std::string> classes;
    bool success = false;
    std::string_view result;
    int64_t returnValue = 0;
    std::optional<uint32_t> auid;
    const std::optional<std::string> *auditUser = nullptr;
    std::optional<uint32_t> euid;
    const std::optional<std::string> *effectiveUser = nullptr;
    std::optional<uint32_t> pid;
    std::optional<uint32_t> sessionID;
    std::optional<std::string_view> terminal;
    std::optional<std::string_view> process;
    StringList paths;
    StringList commandLine;
    StringList sockets;
    StringList text;
    std::optional<std::string_view> signingID;
    std::optional<std::string_view> teamID;

    EventRow(const AuditRecord &record, Lookups &lookups)
        : id(record.id)
        , time(isoTime(record.time))
        , event(record.event)
        , success(record.returnStatus == 0)
        , result(lookups.result(record.returnStatus))
        , returnValue(record.returnValue)
        , paths(record.paths())
        , commandLine(record.execArgs())
        , sockets(record.sockets())
        , text(record.texts())
    {
        const Lookups::EventTexts &texts = lookups.event(record.event);
        eventName = texts.name;
        description = texts.description;
        classes = texts.classes;
        if (record.subject()) {
            const SubjectInfo &subject = *record.subject();
            auid = subject.auid;
            auditUser = &lookups.user(subject.auid);
            euid = subject.euid;
            effectiveUser = &lookups.user(subject.euid);
            pid = subject.pid;
            sessionID = subject.sid;
            terminal = subject.terminalAddress;
        }
        if (record.processImage) process = *record.processImage;
        if (record.identity()) {
            signingID = record.identity()->signingID;
            teamID = record.identity()->teamID;
        }
    }
};

// ---- CSV

void appendCsvCell(std::string &out, std::string_view raw)
{
    std::string scratch;
    const std::string_view text = validUTF8(raw, scratch);
    const bool guard = !text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos;
    const bool quote = text.find_first_of(",\"\n\r") != std::string_view::npos;
    if (quote) out += '"';
    if (guard) out += '\'';
    if (quote) {
        for (const char c : text) {
            if (c == '"') out += '"';
            out += c;
        }
        out += '"';
    } else {
        out.append(text);
    }
}

template <typename List>
void appendCsvList(std::string &out, const List &items, std::string_view separator, std::string &joined)
{
    joined.clear();
    for (size_t i = 0; i < items.size(); ++i) {
        if (i) joined.append(separator);
        joined.append(items[i]);
    }
    appendCsvCell(out, joined);
}

void appendCsvNumber(std::string &out, std::optional<uint32_t> value)
{
    if (value) appendNumber(out, *value);
}

void writeCsvRow(std::string &out, const EventRow &row, std::string &scratch)
{
    appendCsvCell(out, row.time);
    out += ',';
    appendNumber(out, row.event);
    out += ',';
    appendCsvCell(out, row.eventName);
    out += ',';
    appendCsvCell(out, row.description);
    out += ',';
    appendCsvList(out, row.classes, "|", scratch);
    out += ',';
    out += row.success ? '1' : '0';
    out += ',';
    appendCsvCell(out, row.result);
    out += ',';
    appendCsvNumber(out, row.auid);
    out += ',';
    if (row.auditUser && *row.auditUser) appendCsvCell(out, **row.auditUser);
    out += ',';
    appendCsvNumber(out, row.euid);
    out += ',';
    if (row.effectiveUser && *row.effectiveUser) appendCsvCell(out, **row.effectiveUser);
    out += ',';
    appendCsvNumber(out, row.pid);
    out += ',';
    appendCsvNumber(out, row.sessionID);
    out += ',';
    if (row.terminal) appendCsvCell(out, *row.terminal);
    out += ',';
    if (row.process) appendCsvCell(out, *row.process);
    out += ',';
    appendCsvList(out, row.paths, "|", scratch);
    out += ',';
    appendCsvList(out, row.commandLine, " ", scratch);
    out += ',';
    appendCsvList(out, row.sockets, "|", scratch);
    out += ',';
    appendCsvList(out, row.text, "|", scratch);
    out += ',';
    if (row.signingID) appendCsvCell(out, *row.signingID);
    out += '\n';
}

// ---- JSON

void appendJsonString(std::string &out, std::string_view raw)
{
    std::string scratch;
    const std::string_view text = validUTF8(raw, scratch);
    out += '"';
    for (const char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

// Pretty-printed with two-space indentation; each object sits at the second level of the array.
class JsonObject {
public:
    explicit JsonObject(std::string &out) : m_out(out) { m_out += "  {"; }
    ~JsonObject() { m_out += "\n  }"; }

    void key(std::string_view name)
    {
        m_out += m_first ? "\n    \"" : ",\n    \"";
        m_first = false;
        m_out.append(name);
        m_out += "\": ";
    }
    void string(std::string_view name, std::string_view value)
    {
        key(name);
        appendJsonString(m_out, value);
    }
    void optionalString(std::string_view name, const std::optional<std::string_view> &value)
    {
        if (value) string(name, *value);
    }
    void number(std::string_view name, int64_t value)
    {
        key(name);
        appendNumber(m_out, value);
    }
    void optionalNumber(std::string_view name, std::optional<uint32_t> value)
    {
        if (value) number(name, *value);
    }
    void boolean(std::string_view name, bool value)
    {
        key(name);
        m_out += value ? "true" : "false";
    }
    template <typename List>
    void list(std::string_view name, const List &items)
    {
        key(name);
        if (items.empty()) {
            m_out += "[]";
            return;
        }
        m_out += '[';
        for (size_t i = 0; i < items.size(); ++i) {
            m_out += i ? ",\n      " : "\n      ";
            appendJsonString(m_out, items[i]);
        }
        m_out += "\n    ]";
    }

private:
    std::string &m_out;
    bool m_first = true;
};

std::optional<std::string_view> present(const std::optional<std::string> *name)
{
    if (name && *name) return std::string_view(**name);
    return std::nullopt;
}

// Keys in sorted order, as readers that diff exports expect; absent fields are left out.
void writeJsonRow(std::string &out, const EventRow &row)
{
    JsonObject object(out);
    object.optionalString("auditUser", present(row.auditUser));
    object.optionalNumber("auid", row.auid);
    object.list("classes", row.classes);
    object.list("commandLine", row.commandLine);
    object.string("description", row.description);
    object.optionalString("effectiveUser", present(row.effectiveUser));
    object.optionalNumber("euid", row.euid);
    object.number("event", row.event);
    object.string("eventName", row.eventName);
    object.number("id", row.id);
    object.list("paths", row.paths);
    object.optionalNumber("pid", row.pid);
    object.optionalString("process", row.process);
    object.string("result", row.result);
    object.number("returnValue", row.returnValue);
    object.optionalNumber("sessionID", row.sessionID);
    object.optionalString("signingID", row.signingID);
    object.list("sockets", row.sockets);
    object.boolean("success", row.success);
    object.optionalString("teamID", row.teamID);
    object.optionalString("terminal", row.terminal);
    object.list("text", row.text);
    object.string("time", row.time);
}

void writeDocument(Output &output, const RecordList &records, Format format)
{
    Lookups lookups;
    std::string &out = output.buffer();
    std::string scratch;
    if (format == Format::csv) {
        out.append(csvHeader);
        for (size_t i = 0; i < records.count; ++i) {
            writeCsvRow(out, EventRow(records.at(i), lookups), scratch);
            output.rowDone();
        }
    } else {
        out += records.count ? "[\n" : "[]\n";
        for (size_t i = 0; i < records.count; ++i) {
            writeJsonRow(out, EventRow(records.at(i), lookups));
            out += i + 1 < records.count ? ",\n" : "\n]\n";
            output.rowDone();
        }
    }
    output.finish();
}

std::string failure(const std::string &path, int error)
{
    return "Could not write \"" + path + "\": " + FileError::text(error) + ".";
}

void writeAll(int fd, std::string_view bytes, const std::string &path)
{
    if (const int error = AtomicFile::writeAll(fd, bytes); error != 0) throw ExportError(failure(path, error));
}

// The new file is complete before it takes the old one's name.
void writeReplacing(const std::string &path, const std::function<void(Output &)> &produce)
{
    const int error = AtomicFile::replace(path, [&](int fd) {
        Output output([&](std::string_view chunk) { writeAll(fd, chunk, path); });
        produce(output);
        return 0;
    });
    if (error != 0) throw ExportError(failure(path, error));
}

} // namespace

const char *fileExtension(Format format)
{
    return format == Format::csv ? "csv" : "json";
}

std::string defaultFileName(Format format)
{
    return std::string("audit-events.") + fileExtension(format);
}

RecordList RecordList::of(std::span<const AuditRecord> records)
{
    return {records.size(), [records](size_t i) -> const AuditRecord & { return records[i]; }};
}

void writeEvents(std::ostream &out, const RecordList &records, Format format)
{
    Output output([&out](std::string_view chunk) {
        out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        if (!out) throw ExportError("Could not write the exported events to the output stream.");
    });
    writeDocument(output, records, format);
    out.flush();
    if (!out) throw ExportError("Could not write the exported events to the output stream.");
}

void exportEvents(const RecordList &records, Format format, const std::string &path)
{
    writeReplacing(path, [&](Output &output) { writeDocument(output, records, format); });
}

void replaceFile(const std::string &path, std::string_view text)
{
    writeReplacing(path, [&](Output &output) {
        output.buffer().append(text);
        output.finish();
    });
}

std::string csvCell(std::string_view text)
{
    std::string out;
    appendCsvCell(out, text);
    return out;
}

std::string isoTime(double time)
{
    if (!UtcTime::inCalendar(time)) return UtcTime::plainSeconds(time);
    return UtcTime::isoMilliseconds(time);
}

} // namespace Exporter
