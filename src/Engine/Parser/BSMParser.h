#pragma once

#include "Engine/Parser/BSMToken.h"
#include "Engine/BSM/ByteReader.h"
#include "Engine/BSM/Uuid.h"
#include "Engine/Record/AuditRecord.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

// One framing problem found in a trail.
struct ParseIssue {
    Uuid id;
    int64_t offset = 0;
    std::string message;
};

struct FileToken {
    double time = 0;
    std::string name;
};

// Stateless decoding of OpenBSM trails: token bodies, records and whole buffers.
namespace BSMParser {

struct TrailResult {
    std::vector<AuditRecord> records;
    std::vector<ParseIssue> issues;
    std::vector<FileToken> fileTokens;
    int64_t bytesConsumed = 0;
};

struct TokenList {
    std::vector<BSMToken> tokens;
    std::optional<std::string> error;
};

// Decodes one token body; the reader stands just after the id byte. Throws BSMError.
TokenPayload decode(uint8_t id, ByteReader &reader);
// The body shared by the subject and process tokens.
SubjectInfo subject(ByteReader &reader, bool port64, bool extended);

// Decodes a whole buffer (file mode) or what can be taken of it so far (stream mode).
// Records keep windows into the buffer rather than copies of their bytes.
TrailResult parse(std::shared_ptr<const std::vector<uint8_t>> data, int64_t source, int64_t firstID, bool isStream);
TrailResult parse(std::span<const uint8_t> data, int64_t source, int64_t firstID, bool isStream);

// Builds one record from exactly one record's bytes; nullopt without a readable header token.
std::optional<AuditRecord> makeRecord(RawBytes raw, int64_t id, int64_t source);

// Re-decodes one record's bytes token by token.
TokenList tokens(std::span<const uint8_t> bytes);

// Offset of the next plausible record header at or after start, or the buffer's size.
int64_t resync(std::span<const uint8_t> bytes, int64_t start);

} // namespace BSMParser
