// The record formatter and the display keys on records whose bytes and fields are anything: one
// line per token and at most one error line, a hex dump of whole lines, keys that agree with the
// fields they are made from, and texts that are valid UTF-8.

#include "Engine/Analysis/DisplayKeys.h"
#include "Engine/Analysis/RecordFormatter.h"
#include "Engine/BSM/UserResolver.h"
#include "Engine/Parser/BSMParser.h"

#include "FuzzRecords.h"

#include <algorithm>

namespace {

bool validUTF8(std::string_view text)
{
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (length == 0 || i + length > text.size()) return false;
        uint32_t point = length == 1 ? c : c & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            point = point << 6 | (next & 0x3F);
        }
        const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (point < least[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return false;
        i += length;
    }
    return true;
}

size_t lineCount(const std::string &text)
{
    return text.empty() ? 0 : size_t(std::count(text.begin(), text.end(), '\n')) + 1;
}

void checkRecord(const AuditRecord &record, UserResolver &users)
{
    const std::string text = RecordFormatter::text(record, users);
    const BSMParser::TokenList list = BSMParser::tokens(record.raw());
    require(lineCount(text) == list.tokens.size() + (list.error ? 1 : 0), "one line per token, one for the error");
    require(!text.ends_with('\n'), "no trailing line feed");
    require(validUTF8(text), "the record's text is UTF-8");

    const auto raw = record.raw();
    for (const size_t width : {size_t(1), size_t(7), size_t(16)}) {
        const std::string dump = RecordFormatter::hex(raw, int(width));
        size_t at = 0, offset = 0;
        for (size_t end = dump.find('\n'); end != std::string::npos; end = dump.find('\n', at)) {
            require(offset < raw.size(), "no dump line without bytes");
            const size_t bytesOnLine = std::min(width, raw.size() - offset);
            require(end - at == 6 + width * 3 - 1 + 2 + bytesOnLine, "every dump line as wide as its bytes");
            offset += bytesOnLine;
            at = end + 1;
        }
        require(at == dump.size() && offset == raw.size(), "the dump shows every byte in whole lines");
    }

    const std::string user = DisplayKeys::userLabel(record, users);
    require(user.empty() == !record.subject(), "a user exactly when there is a subject");
    require(validUTF8(user), "the user label is UTF-8");
    require(DisplayKeys::pidValue(record) == (record.subject() ? int64_t(record.subject()->pid) : 0), "the pid key");
    require(DisplayKeys::resultRank(record) == (record.returnStatus == 0 ? 0 : 1), "the result key");
    const std::string event = DisplayKeys::eventLabel(record);
    require(!event.empty() && validUTF8(event), "every event has a label");
    require(DisplayKeys::classLabel(record).find(' ') == std::string::npos, "class names joined without blanks");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // A resolver of its own keeps the name caches from growing across inputs.
    UserResolver users;
    // The bytes as a trail, and the same bytes as the fields of made records.
    const std::vector<uint8_t> bytes(data, data + size);
    for (const AuditRecord &record : BSMParser::parse(bytes, 1, 1, false).records) checkRecord(record, users);
    FuzzedDataProvider in(data, size);
    for (const AuditRecord &record : FuzzRecords::records(in, 8)) checkRecord(record, users);

    Finding finding;
    finding.severity = severityFromRawValue(in.ConsumeIntegralInRange(0, 4)).value_or(Severity::info);
    require(DisplayKeys::severityRank(finding) == rawValue(finding.severity), "the severity key is its grade");
    return 0;
}
