#include "Engine/BSM/AuditCatalog.h"

#include "Engine/BSM/UTF8.h"
#include "Engine/Support/Resources.h"
#include "Engine/Support/WholeFile.h"

#include <optional>
#include <string_view>

namespace {

// Used when no audit_class file gives a single class.
const AuditClassInfo fallbackClasses[] = {
    {0x00000001, "fr", "file read"},
    {0x00000002, "fw", "file write"},
    {0x00000004, "fa", "file attribute access"},
    {0x00000008, "fm", "file attribute modify"},
    {0x00000010, "fc", "file create"},
    {0x00000020, "fd", "file delete"},
    {0x00000040, "cl", "file close"},
    {0x00000080, "pc", "process"},
    {0x00000100, "nt", "network"},
    {0x00000200, "ip", "ipc"},
    {0x00000400, "na", "non attributable"},
    {0x00000800, "ad", "administrative"},
    {0x00001000, "lo", "login_logout"},
    {0x00002000, "aa", "authentication and authorization"},
    {0x00004000, "ap", "application"},
    {0x20000000, "io", "ioctl"},
    {0x40000000, "ex", "exec"},
    {0x80000000, "ot", "miscellaneous"},
};

// The real tables are a few hundred kilobytes; anything far larger is not one.
constexpr size_t largestTable = 16 * 1024 * 1024;

// The whole file as UTF-8 text; nullopt when it cannot be read or is not valid UTF-8.
std::optional<std::string> readText(const std::string &path)
{
    WholeFile::Contents file = WholeFile::read(path, largestTable);
    if (file.status != WholeFile::Status::read) return std::nullopt;
    // The lossy decoder changes exactly the ill-formed bytes, so equality means well-formed.
    if (UTF8::decodeLossy(file.bytes) != file.bytes) return std::nullopt;
    return std::move(file.bytes);
}

// Non-empty lines, split on "\n" only.
std::vector<std::string_view> lines(std::string_view text)
{
    std::vector<std::string_view> result;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        if (end > start) result.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return result;
}

std::string_view trimSpacesAndTabs(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::optional<uint16_t> parseDecimal16(std::string_view s)
{
    if (s.empty()) return std::nullopt;
    uint32_t value = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint32_t>(c - '0');
        if (value > 0xFFFF) return std::nullopt;
    }
    return static_cast<uint16_t>(value);
}

std::optional<uint32_t> parseHex32(std::string_view s)
{
    if (s.empty()) return std::nullopt;
    uint64_t value = 0;
    for (char c : s) {
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return std::nullopt;
        value = value * 16 + static_cast<uint64_t>(digit);
        if (value > 0xFFFFFFFFu) return std::nullopt;
    }
    return static_cast<uint32_t>(value);
}

std::string removingAll(std::string_view s, std::string_view what)
{
    std::string result;
    size_t start = 0;
    for (size_t at; (at = s.find(what, start)) != std::string_view::npos; start = at + what.size())
        result.append(s.substr(start, at - start));
    result.append(s.substr(start));
    return result;
}

// Every field between ":" separators, empty ones included.
std::vector<std::string_view> allFields(std::string_view line)
{
    std::vector<std::string_view> fields;
    size_t start = 0;
    for (;;) {
        const size_t colon = line.find(':', start);
        if (colon == std::string_view::npos) break;
        fields.push_back(line.substr(start, colon - start));
        start = colon + 1;
    }
    fields.push_back(line.substr(start));
    return fields;
}

// At most three non-empty fields: empty pieces are skipped without counting as a split, and the
// third field is the rest of the line after the second field's colon, colons and all.
std::vector<std::string_view> threeFields(std::string_view line)
{
    std::vector<std::string_view> fields;
    size_t start = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] != ':') continue;
        if (i > start) fields.push_back(line.substr(start, i - start));
        start = i + 1;
        if (fields.size() == 2) break;
    }
    if (start < line.size()) fields.push_back(line.substr(start));
    return fields;
}

void readEvents(std::string_view text, std::unordered_map<uint16_t, AuditEventInfo> &events)
{
    for (std::string_view line : lines(text)) {
        if (line.front() == '#') continue;
        const std::vector<std::string_view> fields = allFields(line);
        if (fields.size() < 4) continue;
        const std::optional<uint16_t> number = parseDecimal16(trimSpacesAndTabs(fields[0]));
        if (!number || events.count(*number)) continue;

        AuditEventInfo info;
        info.number = *number;
        info.name = std::string(fields[1]);
        for (size_t i = 2; i + 1 < fields.size(); ++i) {
            if (i > 2) info.description += ':';
            info.description += fields[i];
        }
        std::string_view classes = fields.back();
        while (!classes.empty()) {
            const size_t comma = classes.find(',');
            const std::string_view piece = classes.substr(0, comma);
            if (!piece.empty()) info.classes.emplace_back(trimSpacesAndTabs(piece));
            classes = comma == std::string_view::npos ? std::string_view() : classes.substr(comma + 1);
        }
        events.emplace(*number, std::move(info));
    }
}

void readClasses(std::string_view text, std::vector<AuditClassInfo> &classes)
{
    for (std::string_view line : lines(text)) {
        if (line.front() == '#') continue;
        const std::vector<std::string_view> fields = threeFields(line);
        if (fields.size() != 3) continue;
        const std::optional<uint32_t> mask = parseHex32(removingAll(fields[0], "0x"));
        if (!mask) continue;
        classes.push_back({*mask, std::string(fields[1]), std::string(fields[2])});
    }
}

} // namespace

AuditCatalog::AuditCatalog(const std::string &eventText, const std::string &classText)
{
    readEvents(eventText, events);
    readClasses(classText, classes);
    if (classes.empty()) classes.assign(std::begin(fallbackClasses), std::end(fallbackClasses));

    for (const AuditClassInfo &info : classes) classMaskByName[info.shortName] = info.mask;
    for (const auto &[number, info] : events) {
        uint32_t mask = 0;
        for (const std::string &name : info.classes) {
            if (auto it = classMaskByName.find(name); it != classMaskByName.end()) mask |= it->second;
        }
        eventMasks.emplace(number, mask);
    }
}

const AuditCatalog &AuditCatalog::shared()
{
    static const AuditCatalog catalog(load("audit_event"), load("audit_class"));
    return catalog;
}

std::string AuditCatalog::eventLabel(uint16_t number) const
{
    const auto it = events.find(number);
    if (it == events.end()) return "event " + std::to_string(number);
    return it->second.description.empty() ? it->second.name : it->second.description;
}

std::string AuditCatalog::eventName(uint16_t number) const
{
    const auto it = events.find(number);
    return it == events.end() ? "AUE_" + std::to_string(number) : it->second.name;
}

std::string AuditCatalog::eventDescription(uint16_t number) const
{
    const auto it = events.find(number);
    return it == events.end() ? "event " + std::to_string(number) : it->second.description;
}

std::vector<AuditClassInfo> AuditCatalog::selectableClasses() const
{
    std::vector<AuditClassInfo> result;
    for (const AuditClassInfo &info : classes) {
        if (info.mask != 0 && info.mask != 0xFFFFFFFFu && info.shortName != "res") result.push_back(info);
    }
    return result;
}

uint32_t AuditCatalog::mask(const std::vector<std::string> &classNames) const
{
    uint32_t result = 0;
    for (const std::string &name : classNames) {
        if (auto it = classMaskByName.find(name); it != classMaskByName.end()) result |= it->second;
    }
    return result;
}

std::string AuditCatalog::load(const std::string &name, const std::string &systemFolder)
{
    if (std::optional<std::string> text = readText(systemFolder + name); text && !text->empty()) return *text;
    const std::string bundled = Resources::path(name);
    if (bundled.empty()) return {};
    return readText(bundled).value_or(std::string());
}
