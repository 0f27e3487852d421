// Feeds arbitrary bytes to the trail parser in both modes, to the token list and to the token
// rows, and checks what must hold for any input. Also compiled into a normal test that replays
// saved inputs.

#include "Engine/Parser/BSMParser.h"
#include "Engine/BSM/UserResolver.h"

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>
#include <cstdio>
#include <cstdlib>

namespace {

void require(bool condition, const char *what)
{
    if (condition) return;
    std::fprintf(stderr, "parser invariant broken: %s\n", what);
    std::abort();
}

void showTokens(const std::vector<BSMToken> &tokens, UserResolver &users)
{
    for (const auto &token : tokens) {
        require(!token.name().empty(), "every token has a name");
        for (const auto &[label, value] : token.fields(users)) require(!label.empty(), "every row has a label");
    }
}

// Equal values, or both absent.
template <typename T>
bool same(const T *a, const T *b)
{
    return a && b ? *a == *b : a == b;
}

void checkRecord(const AuditRecord &record)
{
    require(record.raw().size() >= 18, "a record is at least a header long");
    const auto list = BSMParser::tokens(record.raw());
    require(!list.tokens.empty(), "a produced record has its header token");
    require(static_cast<int64_t>(list.tokens.size()) == record.tokenCount, "tokenCount matches the token list");
    require(list.error.has_value() == record.decodeError().has_value(), "decodeError matches the token list");
    int64_t next = 0;
    for (const auto &token : list.tokens) {
        require(token.offset == next && token.length >= 1, "tokens tile the record from its start");
        next = token.offset + token.length;
    }
    require(next <= static_cast<int64_t>(record.raw().size()), "tokens stay inside the record");

    // What parse built, sharing values across records, equals a record built on its own.
    const auto alone = BSMParser::makeRecord(record.raw(), record.id, record.source);
    require(alone.has_value(), "a parsed record can be rebuilt from its bytes");
    require(alone->event == record.event && alone->modifier == record.modifier && alone->time == record.time,
            "rebuilt header fields");
    require(same(alone->subject(), record.subject()) && same(alone->target(), record.target()),
            "rebuilt subject and target");
    require(alone->returnStatus == record.returnStatus && alone->returnValue == record.returnValue, "rebuilt return");
    require(alone->paths() == record.paths() && alone->texts() == record.texts() && alone->args() == record.args(),
            "rebuilt paths, texts and args");
    require(alone->execArgs() == record.execArgs() && alone->sockets() == record.sockets(),
            "rebuilt exec args and sockets");
    require(same(alone->identity(), record.identity()), "rebuilt identity");
    require(alone->exitStatus() == record.exitStatus() && alone->fileMode() == record.fileMode()
                && alone->fileOwner() == record.fileOwner(),
            "rebuilt exit and attributes");
    require(alone->tokenCount == record.tokenCount && alone->decodeError() == record.decodeError(),
            "rebuilt token count and error");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    const int64_t count = static_cast<int64_t>(size);

    const auto file = BSMParser::parse(bytes, 7, 1, false);
    const auto stream = BSMParser::parse(bytes, 7, 1, true);
    for (const auto *result : {&file, &stream}) {
        require(result->bytesConsumed >= 0 && result->bytesConsumed <= count, "bytesConsumed inside the buffer");
        int64_t id = 1;
        for (const auto &record : result->records) {
            require(record.id == id++ && record.source == 7, "ids are consecutive from firstID");
            checkRecord(record);
        }
        for (const auto &issue : result->issues)
            require(issue.offset >= 0 && issue.offset < count, "issue offsets inside");
    }
    // A stream read to its end, what it left then read as a trail's end, makes what file mode
    // makes: the same records, issues, file tokens and stop.
    require(file.bytesConsumed >= stream.bytesConsumed, "file mode consumes at least what stream mode does");
    const auto rest = BSMParser::parse(bytes.subspan(size_t(stream.bytesConsumed)), 7,
                                       1 + int64_t(stream.records.size()), false, stream.resynchronising);
    require(file.records.size() == stream.records.size() + rest.records.size(),
            "a stream read to its end makes the file's records");
    for (size_t i = 0; i < file.records.size(); ++i) {
        const auto &piece = i < stream.records.size() ? stream.records[i] : rest.records[i - stream.records.size()];
        require(piece.id == file.records[i].id && std::ranges::equal(piece.raw(), file.records[i].raw()),
                "a stream read to its end makes the file's records");
    }
    require(file.fileTokens.size() == stream.fileTokens.size() + rest.fileTokens.size(),
            "a stream read to its end sees the file's file tokens");
    require(file.bytesConsumed == stream.bytesConsumed + rest.bytesConsumed, "a stream read to its end stops there");
    if (file.issueCount <= int64_t(BSMParser::keptIssues)) {
        require(file.issues.size() == stream.issues.size() + rest.issues.size(),
                "a stream read to its end reports the file's issues");
        for (size_t i = 0; i < file.issues.size(); ++i) {
            const bool early = i < stream.issues.size();
            const auto &issue = early ? stream.issues[i] : rest.issues[i - stream.issues.size()];
            require(issue.message == file.issues[i].message
                        && issue.offset + (early ? 0 : stream.bytesConsumed) == file.issues[i].offset,
                    "a stream read to its end reports the file's issues");
        }
    }

    // Cut into parts at the record boundaries and decoded side by side, the bytes make what one
    // pass makes: the same records in the same order, issues and stop.
    const auto shared = std::make_shared<const TrailBuffer>(bytes.begin(), bytes.end());
    static Parallel::Pool pool(3);
    const auto parts = BSMParser::parseFile(shared, 7, 1, pool, size == 0 ? 1 : 1 + data[size - 1] % 128);
    require(parts.records.size() == file.records.size(), "parts make the same records");
    for (size_t i = 0; i < file.records.size(); ++i)
        require(parts.records[i].id == file.records[i].id
                    && std::ranges::equal(parts.records[i].raw(), file.records[i].raw())
                    && parts.records[i].paths() == file.records[i].paths()
                    && same(parts.records[i].subject(), file.records[i].subject()),
                "parts make the same records");
    require(parts.issues.size() == file.issues.size() && parts.fileTokens.size() == file.fileTokens.size()
                && parts.bytesConsumed == file.bytesConsumed,
            "parts make the same issues and stop");
    for (size_t i = 0; i < file.issues.size(); ++i)
        require(parts.issues[i].offset == file.issues[i].offset && parts.issues[i].message == file.issues[i].message,
                "parts make the same issues and stop");

    // Stream mode does not depend on how the bytes arrive: cut in two, with the bytes left over
    // and the search state handed on, it makes the records of one read and stops where it did.
    const size_t cut = size == 0 ? 0 : data[0] % (size + 1);
    const auto head = BSMParser::parse(bytes.first(cut), 7, 1, true);
    const size_t kept = static_cast<size_t>(head.bytesConsumed);
    const auto tail = BSMParser::parse(bytes.subspan(kept), 7, 1, true, head.resynchronising);
    require(head.records.size() + tail.records.size() == stream.records.size(), "a cut stream makes the same records");
    for (size_t i = 0; i < stream.records.size(); ++i) {
        const auto &piece = i < head.records.size() ? head.records[i] : tail.records[i - head.records.size()];
        require(std::ranges::equal(piece.raw(), stream.records[i].raw()), "a cut stream makes the same records");
    }
    require(int64_t(kept) + tail.bytesConsumed == stream.bytesConsumed, "a cut stream stops where one read does");

    // Bytes hidden behind a record's trailer belong to the record, so every way of reading the
    // records reports them alike: file and stream mode, the parts, and a cut stream.
    const auto hidden = [](const BSMParser::TrailResult &r, int64_t base) {
        std::vector<std::pair<int64_t, std::string>> found;
        for (const auto &issue : r.issues)
            if (issue.message.ends_with(" bytes after the record's trailer"))
                found.emplace_back(base + issue.offset, issue.message);
        return found;
    };
    auto cutHidden = hidden(head, 0);
    const auto tailHidden = hidden(tail, int64_t(kept));
    cutHidden.insert(cutHidden.end(), tailHidden.begin(), tailHidden.end());
    auto endedHidden = hidden(stream, 0);
    const auto restHidden = hidden(rest, stream.bytesConsumed);
    endedHidden.insert(endedHidden.end(), restHidden.begin(), restHidden.end());
    require(hidden(file, 0) == endedHidden && hidden(parts, 0) == hidden(file, 0) && cutHidden == hidden(stream, 0),
            "hidden bytes are reported alike however the records are read");

    const auto list = BSMParser::tokens(bytes);
    for (const auto &token : list.tokens) require(token.offset + token.length <= count, "tokens inside the bytes");
    // A resolver of its own keeps the name caches from growing across inputs.
    UserResolver users;
    showTokens(list.tokens, users);
    for (const auto &record : file.records) showTokens(BSMParser::tokens(record.raw()).tokens, users);
    return 0;
}
