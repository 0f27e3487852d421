#include "Engine/Parser/BSMParser.h"

#include "Engine/BSM/UTF8.h"
#include "Engine/Record/RecordBuilder.h"
#include "Engine/Support/Memory.h"
#include "Engine/Support/Parallel.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace {

constexpr int64_t minimumRecordSize = 18;
constexpr int64_t maximumRecordSize = 16777216;
// Resynchronisation trusts a candidate header only when it also looks like what a kernel writes.
constexpr uint32_t maximumResyncSize = 0xFFFFF;
constexpr int64_t fileTokenFixedSize = 11;
constexpr int64_t trailerSize = 7;

uint32_t bigEndian32(const uint8_t *p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

// Resynchronisation's test of a candidate header, applied to as many of its six bytes as the
// buffer holds: true when none of the bytes present rules it out.
bool mayOpenRecord(const uint8_t *p, int64_t available)
{
    if (!TokenID::isHeader(p[0])) return false;
    if (available > 1 && p[1] != 0) return false;
    if (available > 2 && p[2] > maximumResyncSize >> 16) return false;
    if (available > 4 && bigEndian32(p + 1) < minimumRecordSize) return false;
    if (available > 5 && p[5] != 2 && p[5] != 10 && p[5] != 11) return false;
    return true;
}

// Whether a record that resynchronisation would accept starts at `at` and ends, inside the
// buffer, with a trailer that repeats its size: what a writer leaves of a record it finished.
bool isWholeRecord(std::span<const uint8_t> bytes, int64_t at)
{
    const int64_t count = static_cast<int64_t>(bytes.size());
    const uint8_t *p = bytes.data() + at;
    if (count - at < 6 || !mayOpenRecord(p, 6)) return false;
    const int64_t size = bigEndian32(p + 1);
    if (size < minimumRecordSize + trailerSize || at + size > count) return false;
    const uint8_t *trailer = p + size - trailerSize;
    return trailer[0] == TokenID::trailer && trailer[1] == 0xB1 && trailer[2] == 0x05
           && bigEndian32(trailer + 3) == uint32_t(size);
}

// After a header that claims more bytes than the buffer holds: the next whole record, or the
// buffer's size. The claim may be a lie that would hide every record after it, or the end of a
// trail cut mid-write, whose own bytes must make nothing that is not a finished record.
int64_t nextWholeRecord(std::span<const uint8_t> bytes, int64_t start)
{
    const int64_t count = static_cast<int64_t>(bytes.size());
    for (int64_t at = start; at < count; ++at)
        if (TokenID::isHeader(bytes[size_t(at)]) && isWholeRecord(bytes, at)) return at;
    return count;
}

std::string issueText(const char *format, unsigned value)
{
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

// The one token loop: decodes from offset 0 up to a trailer, the end or the first failure, and
// hands each token to visit(id, offset, length, payload), which returns false to stop early.
// reuse(id, offset) may take a token it has met before and return its length, so that it is
// not decoded again; it returns 0 otherwise. Returns the decoding error text, if any.
template <typename Reuse, typename Visit>
std::optional<std::string> forEachToken(std::span<const uint8_t> bytes, Reuse &&reuse, Visit &&visit)
{
    const int64_t count = static_cast<int64_t>(bytes.size());
    ByteReader reader(bytes);
    int64_t offset = 0;
    while (offset < count) {
        const uint8_t id = bytes[static_cast<size_t>(offset)];
        if (const int64_t length = reuse(id, offset)) {
            offset += length;
            continue;
        }
        reader.offset = offset + 1;
        bool more;
        try {
            TokenPayload payload = BSMParser::decode(id, reader);
            // visit only moves decoded values, so any BSMError caught here is the decoder's.
            more = visit(id, offset, reader.offset - offset, std::move(payload));
        } catch (const BSMError &e) {
            return e.description() + " (" + std::to_string(count - offset) + " bytes not decoded)";
        }
        if (!more || id == TokenID::trailer) break;
        offset = reader.offset;
    }
    return std::nullopt;
}

constexpr auto decodeEveryToken = [](uint8_t, int64_t) -> int64_t { return 0; };

std::string endpoint(const std::string &address, uint16_t port)
{
    std::string text;
    text.reserve(address.size() + 6);
    text += address;
    text += ':';
    text += std::to_string(port);
    return text;
}

// Identity tokens repeat byte for byte in every record a process writes. Records parsed from
// one buffer share one stored value per distinct token, and a token met before is not decoded
// again: the same bytes always decode to the same value and length.
class IdentityPool {
public:
    struct Entry {
        std::string_view bytes; // the whole token, id byte included
        uint32_t identity;      // in the builder's storage
    };

    // The earlier token that the bytes from a token's id onwards start with, if any.
    const Entry *find(std::string_view rest) const
    {
        const auto found = m_entries.find(rest.substr(0, keyLength));
        if (found == m_entries.end()) return nullptr;
        for (const Entry &entry : found->second)
            if (rest.substr(0, entry.bytes.size()) == entry.bytes) return &entry;
        return nullptr;
    }

    void add(std::string_view tokenBytes, uint32_t identity)
    {
        if (m_count >= maximumEntries) {
            m_entries.clear();
            m_count = 0;
        }
        m_entries[tokenBytes.substr(0, keyLength)].push_back({tokenBytes, identity});
        ++m_count;
    }

private:
    // Signer type and the start of the signing id: enough to tell most programs apart.
    static constexpr size_t keyLength = 32;
    static constexpr size_t maximumEntries = 4096;
    // Views into the buffer being parsed, which outlives the pool.
    std::unordered_map<std::string_view, std::vector<Entry>> m_entries;
    size_t m_count = 0;
};

// Subject and process tokens repeat byte for byte in every record of a process. Records parsed
// from one buffer look such a token up by its bytes, and one met before is not decoded again: the
// same bytes always decode to the same value and length, so they name the same stored subject.
class SubjectCache {
public:
    // The whole token, id byte included, kept here rather than pointed to: the earlier token lies
    // far back in the buffer, out of the cache.
    struct Entry {
        uint8_t bytes[57];
        uint8_t length = 0;   // 0: empty
        uint32_t subject = 0; // in the builder's storage
    };

    // A cache for a buffer of this many bytes: smaller buffers hold fewer processes.
    explicit SubjectCache(size_t bufferBytes)
        : m_slots(std::clamp<size_t>(std::bit_ceil(std::max<size_t>(bufferBytes / 64, 1)), 64, maximumSlots))
    {}

    static bool holds(uint8_t tokenID)
    {
        switch (tokenID) {
        case TokenID::subject32:
        case TokenID::process32:
        case TokenID::subject64:
        case TokenID::process64:
        case TokenID::subject32Ex:
        case TokenID::process32Ex:
        case TokenID::subject64Ex:
        case TokenID::process64Ex: return true;
        default: return false;
        }
    }
    static bool isProcess(uint8_t tokenID)
    {
        return tokenID == TokenID::process32 || tokenID == TokenID::process64 || tokenID == TokenID::process32Ex
               || tokenID == TokenID::process64Ex;
    }

    // The earlier token that the `available` bytes at `p` start with, if any.
    const Entry *find(const uint8_t *p, size_t available) const
    {
        if (available < keyLength) return nullptr;
        const Entry &entry = m_slots[slot(p)];
        if (!entry.length || entry.length > available || std::memcmp(entry.bytes, p, entry.length) != 0) return nullptr;
        return &entry;
    }
    void add(std::string_view token, uint32_t subject)
    {
        if (token.size() < keyLength || token.size() > sizeof(Entry::bytes)) return;
        Entry &entry = m_slots[slot(reinterpret_cast<const uint8_t *>(token.data()))];
        std::memcpy(entry.bytes, token.data(), token.size());
        entry.length = uint8_t(token.size());
        entry.subject = subject;
    }

private:
    // The id and the ids up to the session: enough to tell processes apart.
    static constexpr size_t keyLength = 29;
    static constexpr size_t maximumSlots = size_t(1) << 14;
    size_t slot(const uint8_t *p) const
    {
        uint64_t words[4];
        std::memcpy(words, p, 24);
        std::memcpy(&words[3], p + keyLength - 8, 8);
        const uint64_t mixed = words[0] * 0x9E3779B97F4A7C15ull ^ words[1] * 0xC2B2AE3D27D4EB4Full
                               ^ words[2] * 0x165667B19E3779F9ull ^ words[3] * 0x27D4EB2F165667C5ull;
        return size_t(mixed >> 32) & (m_slots.size() - 1);
    }
    std::vector<Entry> m_slots;
};

// What records parsed from one buffer share so that repeated tokens are decoded once.
struct TokenReuse {
    IdentityPool identities;
    SubjectCache subjects;
};

// What each kind of token contributes to the record it belongs to.
struct RecordEffects {
    AuditRecord &fields;
    RecordBuilder &record;
    TokenReuse *reuse;
    std::string_view tokenBytes;

    void operator()(Payload::Subject &&p)
    {
        const uint32_t index = record.setSubject(p.info);
        if (reuse) reuse->subjects.add(tokenBytes, index);
    }
    void operator()(Payload::Process &&p)
    {
        const uint32_t index = record.setTarget(p.info);
        if (reuse) reuse->subjects.add(tokenBytes, index);
    }
    void operator()(Payload::ReturnValue &&p)
    {
        fields.returnStatus = p.status;
        fields.returnValue = static_cast<int64_t>(p.value);
    }
    // The token's own bytes at `at` when they are the decoded text as it is, so the record keeps a
    // view rather than a copy; otherwise the text.
    std::string_view asInToken(std::string_view text, size_t at) const
    {
        const std::string_view there = at <= tokenBytes.size() ? tokenBytes.substr(at, text.size())
                                                               : std::string_view();
        return there == text ? there : text;
    }
    // Path and text tokens: id, u16 length, the characters.
    void operator()(Payload::Path &&p) { record.addPath(asInToken(p.path, 3)); }
    void operator()(Payload::Text &&p) { record.addText(asInToken(p.text, 3)); }
    // Argument tokens: id, number, a u32 or u64 value, u16 length, the name.
    void operator()(Payload::Arg &&p)
    {
        const size_t nameAt = tokenBytes.front() == TokenID::arg64 ? 12 : 8;
        record.addArg(p.arg.number, p.arg.value, asInToken(p.arg.name, nameAt));
    }
    void operator()(Payload::Attr &&p)
    {
        if (!record.hasFile()) record.setFile(p.mode, p.uid);
    }
    // Exec arguments: id, u32 count, then each argument ended by a NUL.
    void operator()(Payload::ExecArgs &&p)
    {
        record.clearExecArgs();
        size_t at = 5;
        for (const std::string &arg : p.args) {
            const std::string_view kept = asInToken(arg, at);
            record.addExecArg(kept);
            // Past a text that differs from its bytes the next one's place is unknown.
            at = kept.data() == arg.data() ? tokenBytes.size() + 1 : at + arg.size() + 1;
        }
    }
    void operator()(Payload::Exit &&p) { record.setExitStatus(static_cast<int32_t>(p.status)); }
    void operator()(Payload::Identity &&p)
    {
        const uint32_t index = record.setIdentity(p.identity);
        if (reuse) reuse->identities.add(tokenBytes, index);
    }
    void operator()(Payload::InAddr &&p) { record.addSocket(p.address); }
    void operator()(Payload::SocketInet &&p)
    {
        if (p.address.find(':') != std::string::npos) record.addSocket("[" + p.address + "]:" + std::to_string(p.port));
        else record.addSocket(endpoint(p.address, p.port));
    }
    void operator()(Payload::SocketUnix &&p) { record.addSocket(p.path); }
    void operator()(Payload::Socket &&p)
    {
        const bool remoteUnset = p.remoteAddress == "0.0.0.0" || p.remoteAddress == "::";
        record.addSocket(remoteUnset ? endpoint(p.localAddress, p.localPort) : endpoint(p.remoteAddress, p.remotePort));
    }
    template <typename Other>
    void operator()(Other &&)
    {}
};

// What building one record found.
struct Built {
    bool record = false; // false: no readable header token, and no record
    // Where the token walk stopped at a trailer before the record's declared end: the offset
    // within the record of the first byte after the trailer; 0 otherwise.
    size_t hiddenFrom = 0;
};

// Fills a default record from one record's bytes, bytes [offset, offset + size) of the builder's
// buffer. Without a readable header token the record is only partly set and must be dropped.
Built buildRecord(AuditRecord &record, RecordBuilder &builder, const uint8_t *buffer, size_t offset, size_t size,
                  int64_t id, int64_t source, TokenReuse *tokens)
{
    const std::span<const uint8_t> bytes(buffer + offset, size);
    const auto *base = reinterpret_cast<const char *>(bytes.data());
    bool started = false;
    uint32_t tokenCount = 0;
    const std::string_view all(base, bytes.size());
    auto reuse = [&](uint8_t id, int64_t at) -> int64_t {
        if (!tokens || !started) return 0;
        if (id == TokenID::identity) {
            const auto *entry = tokens->identities.find(all.substr(static_cast<size_t>(at)));
            if (!entry) return 0;
            builder.useIdentity(entry->identity);
            ++tokenCount;
            return static_cast<int64_t>(entry->bytes.size());
        }
        if (!SubjectCache::holds(id)) return 0;
        const auto *entry = tokens->subjects.find(bytes.data() + at, bytes.size() - size_t(at));
        if (!entry) return 0;
        if (SubjectCache::isProcess(id)) builder.useTarget(entry->subject);
        else builder.useSubject(entry->subject);
        ++tokenCount;
        return static_cast<int64_t>(entry->length);
    };
    int64_t trailerEnd = 0;
    auto error = forEachToken(bytes, reuse, [&](uint8_t tokenID, int64_t at, int64_t length, TokenPayload &&payload) {
        if (tokenID == TokenID::trailer) trailerEnd = at + length;
        if (!started) {
            const auto *header = std::get_if<Payload::Header>(&payload);
            if (!header) return false;
            started = true;
            record.id = id;
            record.source = source;
            record.event = header->event;
            record.modifier = header->modifier;
            record.time = header->time;
        } else {
            const std::string_view tokenBytes(base + at, static_cast<size_t>(length));
            std::visit(RecordEffects{record, builder, tokens, tokenBytes}, std::move(payload));
        }
        ++tokenCount;
        return true;
    });
    if (!started) {
        builder.discard();
        return {};
    }
    record.tokenCount = tokenCount;
    if (error) builder.setDecodeError(*error);
    builder.finish(record, offset, size);
    // A walk that failed never reached a trailer, so its error already speaks for the rest.
    const bool hidesBytes = trailerEnd > 0 && size_t(trailerEnd) < size;
    return {true, hidesBytes ? size_t(trailerEnd) : 0};
}

// Where a parse of part of a buffer puts its records: appended to a list, or into slots set
// aside for them by the framing pass.
struct RecordSink {
    std::vector<AuditRecord> *list = nullptr;
    AuditRecord *slots = nullptr;
    uint8_t *dropped = nullptr; // per slot, set when its bytes made no record
    size_t used = 0;
    size_t droppedCount = 0;

    AuditRecord &next() { return list ? list->emplace_back() : slots[used]; }
    void keep() { ++used; }
    void drop()
    {
        ++droppedCount;
        if (list) list->pop_back();
        else dropped[used++] = 1;
    }
};

// The parse loop from `begin` until it reaches `end`, a point it passes through, or stops.
// Sizes are measured and damage skipped against the whole buffer, so a part follows the path of
// one pass over it exactly. Results are appended to `result`, records to `sink`.
void parseRange(const TrailBytes &data, int64_t begin, int64_t end, int64_t source, int64_t firstID, bool isStream,
                bool resynchronising, BSMParser::TrailResult &result, RecordSink &sink)
{
    using namespace BSMParser;
    const std::span<const uint8_t> bytes(*data);
    const uint8_t *p = bytes.data();
    const int64_t count = static_cast<int64_t>(bytes.size());
    int64_t offset = begin;
    int64_t nextID = firstID;
    TokenReuse tokens{{}, SubjectCache(static_cast<size_t>(end - begin))};
    RecordBuilder builder(data, static_cast<size_t>(end - begin));
    // However the parse ends, the storage gives back what its last block did not use.
    struct Trim {
        RecordBuilder &builder;
        ~Trim() { builder.trim(); }
    } trim{builder};

    auto issue = [&](int64_t at, std::string message) {
        ++result.issueCount;
        if (result.issues.size() < keptIssues)
            result.issues.push_back(ParseIssue{Uuid::random(), at, std::move(message)});
    };
    // Resynchronisation never examines a buffer's last 10 bytes. In a file they are junk, but in a
    // stream they may begin the next record, cut by the read: leave them for the next call from
    // the first byte that could open a record, and have that call go on searching from there,
    // with the full test, as one call over all the bytes would. True when parsing stops there.
    auto skipDamage = [&](int64_t from) {
        offset = resync(bytes, from);
        if (!isStream || offset < count) return false;
        result.resynchronising = true;
        for (int64_t at = std::max(from, count - 10); at < count; ++at) {
            if (mayOpenRecord(p + at, count - at)) {
                result.bytesConsumed = at;
                return true;
            }
        }
        return false;
    };
    // Stops a stream parse at an unfinished record or file token that needs `need` bytes.
    auto wait = [&](int64_t need) {
        result.bytesConsumed = offset;
        result.awaiting = need;
    };

    if (resynchronising && skipDamage(begin)) return;
    // A checkpoint every so many bytes: often enough that a load stops soon when asked to, rarely
    // enough to cost nothing.
    constexpr int64_t checkpointBytes = 64 << 10;
    int64_t checked = offset;
    while (offset < end) {
        if (offset - checked >= checkpointBytes) {
            Parallel::checkpoint(uint64_t(offset - checked));
            checked = offset;
        }
        const uint8_t b = p[offset];
        if (TokenID::isHeader(b)) {
            if (offset + 5 > count) {
                wait(5);
                return;
            }
            const int64_t size = bigEndian32(p + offset + 1);
            if (size < minimumRecordSize || size > maximumRecordSize) {
                issue(offset, "implausible record size " + std::to_string(size) + "; resynchronising");
                if (skipDamage(offset + 1)) return;
                continue;
            }
            if (offset + size > count) {
                if (isStream) {
                    wait(size);
                    return;
                }
                issue(offset, "record truncated (" + std::to_string(size) + " bytes declared, "
                                  + std::to_string(count - offset) + " available)");
                offset = nextWholeRecord(bytes, offset + 1);
                continue;
            }
            AuditRecord &record = sink.next();
            const Built built = buildRecord(record, builder, p, static_cast<size_t>(offset), static_cast<size_t>(size),
                                            nextID, source, &tokens);
            if (built.record) {
                ++nextID;
                sink.keep();
                // A writer ends every record at its trailer: bytes kept behind one are hidden from
                // every decoder that stops there, so they are never passed over without a word.
                if (built.hiddenFrom)
                    issue(offset + int64_t(built.hiddenFrom),
                          std::to_string(size - int64_t(built.hiddenFrom)) + " bytes after the record's trailer");
            } else {
                sink.drop();
                issue(offset, "unreadable header");
            }
            offset += size;
        } else if (b == TokenID::file) {
            if (offset + fileTokenFixedSize > count) {
                if (isStream) wait(fileTokenFixedSize);
                else result.bytesConsumed = count;
                return;
            }
            const int64_t nameLength = (int64_t(p[offset + 9]) << 8) | p[offset + 10];
            if (offset + fileTokenFixedSize + nameLength > count) {
                if (isStream) wait(fileTokenFixedSize + nameLength);
                else result.bytesConsumed = count;
                return;
            }
            // Between records the whole millisecond field counts, unlike inside a record.
            FileToken token;
            token.time = static_cast<double>(bigEndian32(p + offset + 1))
                         + static_cast<double>(bigEndian32(p + offset + 5)) / 1000.0;
            const uint8_t *name = p + offset + fileTokenFixedSize;
            int64_t length = nameLength;
            while (length > 0 && name[length - 1] == 0) --length;
            token.name = UTF8::decodeLossy(name, static_cast<size_t>(length));
            result.fileTokens.push_back(std::move(token));
            offset += fileTokenFixedSize + nameLength;
        } else {
            issue(offset, issueText("unexpected byte 0x%02x outside a record; resynchronising", b));
            if (skipDamage(offset + 1)) return;
        }
    }
    result.bytesConsumed = offset;
}

// Points a file-mode pass over the buffer passes through, about `partSize` bytes apart: the buffer
// can be cut there, and each part parsed on its own goes exactly as it would within the whole.
// The walk takes the pass's own path, across damage too, without decoding; the records counted
// are the headers whose size fits, each of which the pass decodes or drops.
struct Framing {
    struct Part {
        int64_t begin = 0;
        size_t records = 0; // record headers in it
    };
    std::vector<Part> parts;
};

enum class AtDamage { stop, follow };

Framing frame(std::span<const uint8_t> bytes, int64_t partSize, AtDamage atDamage)
{
    using BSMParser::resync;
    Framing framing;
    const int64_t count = static_cast<int64_t>(bytes.size());
    const uint8_t *p = bytes.data();
    const bool follow = atDamage == AtDamage::follow;
    int64_t offset = 0;
    framing.parts.push_back({});
    while (offset < count) {
        if (offset - framing.parts.back().begin >= partSize) framing.parts.push_back({offset, 0});
        const uint8_t b = p[offset];
        if (TokenID::isHeader(b)) {
            if (offset + 5 > count) break;
            const int64_t size = bigEndian32(p + offset + 1);
            if (size < minimumRecordSize || size > maximumRecordSize) {
                if (!follow) break;
                offset = resync(bytes, offset + 1);
            } else if (offset + size > count) {
                if (!follow) break;
                offset = nextWholeRecord(bytes, offset + 1);
            } else {
                ++framing.parts.back().records;
                offset += size;
            }
        } else if (b == TokenID::file) {
            if (offset + fileTokenFixedSize > count) break;
            const int64_t size = fileTokenFixedSize + ((int64_t(p[offset + 9]) << 8) | p[offset + 10]);
            if (offset + size > count) break;
            offset += size;
        } else {
            if (!follow) break;
            offset = resync(bytes, offset + 1);
        }
    }
    return framing;
}

} // namespace

namespace BSMParser {

TrailResult parse(TrailBytes data, int64_t source, int64_t firstID, bool isStream, bool resynchronising)
{
    TrailResult result;
    if (!data) return result;
    // Sized once for a clean trail; damage ends the count early and the list then simply grows.
    result.records.reserve(frame(*data, INT64_MAX, AtDamage::stop).parts.front().records);
    RecordSink sink{&result.records};
    parseRange(data, 0, static_cast<int64_t>(data->size()), source, firstID, isStream, resynchronising, result, sink);
    return result;
}

TrailResult parseFile(TrailBytes data, int64_t source, int64_t firstID, Parallel::Pool &pool, int64_t partSize)
{
    if (!data || pool.threads() <= 1 || static_cast<int64_t>(data->size()) < 2 * partSize)
        return parse(std::move(data), source, firstID, false);
    const Framing framing = frame(*data, partSize, AtDamage::follow);
    const size_t parts = framing.parts.size();
    std::vector<size_t> firstSlot(parts + 1, 0);
    for (size_t i = 0; i < parts; ++i) firstSlot[i + 1] = firstSlot[i] + framing.parts[i].records;
    TrailResult result;
    Parallel::checkpoint(0, firstSlot[parts] * (sizeof(AuditRecord) + 1));
    // The records' pages are made present side by side, not on first write by this thread alone.
    result.records.reserve(firstSlot[parts]);
    Memory::prefault(result.records.data(), firstSlot[parts] * sizeof(AuditRecord), pool);
    result.records.resize(firstSlot[parts]);
    std::vector<uint8_t> dropped(result.records.size(), 0);
    std::vector<size_t> droppedIn(parts, 0);
    std::vector<TrailResult> pieces(parts);
    const int64_t size = static_cast<int64_t>(data->size());
    pool.forEach(parts, [&](size_t i) {
        const int64_t end = i + 1 < parts ? framing.parts[i + 1].begin : size;
        RecordSink slots{nullptr, result.records.data() + firstSlot[i], dropped.data() + firstSlot[i]};
        // Numbered as if no header before them were unreadable, which is almost always so.
        parseRange(data, framing.parts[i].begin, end, source, firstID + int64_t(firstSlot[i]), false, false, pieces[i],
                   slots);
        droppedIn[i] = slots.droppedCount;
    });
    // Records are numbered as one pass numbers them: in order, skipping bytes that made none.
    const bool anyDropped = std::any_of(droppedIn.begin(), droppedIn.end(), [](size_t n) { return n != 0; });
    if (anyDropped) {
        size_t kept = 0;
        for (size_t i = 0; i < result.records.size(); ++i) {
            if (dropped[i]) continue;
            if (kept != i) result.records[kept] = std::move(result.records[i]);
            result.records[kept].id = firstID + int64_t(kept);
            ++kept;
        }
        result.records.resize(kept);
        // Slots of headers that made no record would otherwise be held as long as the records.
        if (kept < result.records.capacity() / 2) result.records.shrink_to_fit();
    }
    for (TrailResult &piece : pieces) {
        for (ParseIssue &issue : piece.issues) {
            if (result.issues.size() == keptIssues) break;
            result.issues.push_back(std::move(issue));
        }
        result.issueCount += piece.issueCount;
        for (FileToken &token : piece.fileTokens) result.fileTokens.push_back(std::move(token));
    }
    result.bytesConsumed = pieces.back().bytesConsumed;
    return result;
}

TrailResult parse(std::span<const uint8_t> data, int64_t source, int64_t firstID, bool isStream, bool resynchronising)
{
    return parse(std::make_shared<const TrailBuffer>(data.begin(), data.end()), source, firstID, isStream,
                 resynchronising);
}

std::optional<AuditRecord> makeRecord(std::span<const uint8_t> bytes, int64_t id, int64_t source)
{
    auto buffer = std::make_shared<const TrailBuffer>(bytes.begin(), bytes.end());
    RecordBuilder builder(buffer, buffer->size());
    std::optional<AuditRecord> record(std::in_place);
    if (!buildRecord(*record, builder, buffer->data(), 0, buffer->size(), id, source, nullptr).record)
        return std::nullopt;
    builder.trim();
    return record;
}

TokenList tokens(std::span<const uint8_t> bytes)
{
    TokenList list;
    list.error = forEachToken(bytes, decodeEveryToken,
                              [&](uint8_t id, int64_t offset, int64_t length, TokenPayload &&payload) {
                                  list.tokens.push_back(BSMToken{id, offset, length, std::move(payload)});
                                  return true;
                              });
    return list;
}

int64_t resync(std::span<const uint8_t> bytes, int64_t start)
{
    const int64_t count = static_cast<int64_t>(bytes.size());
    const uint8_t *p = bytes.data();
    for (int64_t at = start < 0 ? 0 : start; at + 10 < count; ++at) {
        if (mayOpenRecord(p + at, count - at)) return at;
    }
    return count;
}

} // namespace BSMParser
