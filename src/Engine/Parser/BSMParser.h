#pragma once

#include "Engine/Parser/BSMToken.h"
#include "Engine/BSM/ByteReader.h"
#include "Engine/BSM/Uuid.h"
#include "Engine/Parser/ParseIssue.h"
#include "Engine/Record/AuditRecord.h"
#include "Engine/Support/Parallel.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

struct FileToken {
    double time = 0;
    std::string name;
};

// Stateless decoding of OpenBSM trails: token bodies, records and whole buffers.
namespace BSMParser {

// A hostile trail can hold a framing problem every few bytes: only this many are kept as issues,
// the rest only counted.
inline constexpr size_t keptIssues = 10000;

struct TrailResult {
    std::vector<AuditRecord> records;
    std::vector<ParseIssue> issues; // the first keptIssues, in order
    int64_t issueCount = 0;         // all of them, kept or not
    std::vector<FileToken> fileTokens;
    int64_t bytesConsumed = 0;
    // Stream mode only. The search for the next record reached the end of the bytes: hand the
    // rest, with what follows, to the next call as `resynchronising`.
    bool resynchronising = false;
    // Stream mode only. How many bytes, counted from bytesConsumed, the unfinished record or
    // file token there needs before another call can get further; 0 when unknown.
    int64_t awaiting = 0;
};

struct TokenList {
    std::vector<BSMToken> tokens;
    std::optional<std::string> error;
};

// Decodes one token body; the reader stands just after the id byte. Throws BSMError.
TokenPayload decode(uint8_t id, ByteReader &reader);
// The variants of a token's layout, as the format names them: header64 reads 64-bit times,
// subject64 a 64-bit terminal port, attribute64 a 64-bit device; an "_ex" token carries a typed
// address (IPv4 or IPv6) where the plain one has IPv4 or none.
enum class Width : uint8_t { bits32, bits64 };
enum class Form : uint8_t { plain, extended };

// The body shared by the subject and process tokens.
SubjectInfo subject(ByteReader &reader, Width port, Form form);

// Decodes a whole buffer (file mode) or what can be taken of it so far (stream mode). Long
// decodes pass checkpoints of the thread's interruption (Parallel::checkpoint), counting the
// bytes decoded.
// Records keep windows into the buffer rather than copies of their bytes. In stream mode the
// records and the stop position of any sequence of calls, each given the bytes left over by the
// one before plus new ones and the one before's `resynchronising`, equal those of one call over
// all the bytes: however the bytes arrive.
TrailResult parse(TrailBytes data, int64_t source, int64_t firstID, bool isStream, bool resynchronising = false);
TrailResult parse(std::span<const uint8_t> data, int64_t source, int64_t firstID, bool isStream,
                  bool resynchronising = false);
// File mode on the pool's threads: a sequential pass follows the record sizes, and past damage
// the path one pass takes, and cuts the buffer into parts of about `partSize` bytes at points that
// path passes through, which are decoded side by side. The result equals
// parse(data, source, firstID, false) in every field, issue ids aside.
TrailResult parseFile(TrailBytes data, int64_t source, int64_t firstID, Parallel::Pool &pool,
                      int64_t partSize = int64_t(4) << 20);

// Builds one record from exactly one record's bytes; nullopt without a readable header token.
std::optional<AuditRecord> makeRecord(std::span<const uint8_t> bytes, int64_t id, int64_t source);

// Re-decodes one record's bytes token by token.
TokenList tokens(std::span<const uint8_t> bytes);

// Offset of the next plausible record header at or after start, or the buffer's size.
int64_t resync(std::span<const uint8_t> bytes, int64_t start);

} // namespace BSMParser
