#include "Engine/Parser/BSMParser.h"
#include "support/TrailBuilder.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace TestBSM;

Bytes rawOf(const AuditRecord &record)
{
    return Bytes(record.raw().begin(), record.raw().end());
}

struct Issue {
    int64_t offset;
    std::string message;
    bool operator==(const Issue &) const = default;
};

// What a parse produced, in a form the cases can spell out.
struct Outcome {
    std::vector<int64_t> recordIDs;
    std::vector<Issue> issues;
    size_t fileTokens = 0;
    int64_t consumed = 0;
    bool operator==(const Outcome &) const = default;
};

std::ostream &operator<<(std::ostream &out, const Outcome &o)
{
    out << "records [";
    for (auto id : o.recordIDs) out << id << ' ';
    out << "] issues [";
    for (const auto &i : o.issues) out << '(' << i.offset << ", " << i.message << ") ";
    return out << "] fileTokens " << o.fileTokens << " consumed " << o.consumed;
}

Outcome outcome(const BSMParser::TrailResult &r)
{
    Outcome o;
    for (const auto &record : r.records) o.recordIDs.push_back(record.id);
    for (const auto &issue : r.issues) o.issues.push_back({issue.offset, issue.message});
    o.fileTokens = r.fileTokens.size();
    o.consumed = r.bytesConsumed;
    return o;
}

Bytes cut(const Bytes &bytes, size_t length)
{
    return Bytes(bytes.begin(), bytes.begin() + static_cast<long>(length));
}

// A bare 18-byte header token declaring a record of the given size.
Bytes headerDeclaring(uint32_t size, uint8_t version = 11, uint8_t id = 0x14)
{
    ByteWriter w;
    w.u8(id).u32(size).u8(version).u16(1).u16(0).u32(1700000000).u32(0);
    return w.take();
}

const Bytes small = TrailRecordBuilder(1).path("/a").build(); // 31 bytes

TEST(BSMParser, FramingInBothModes)
{
    const int64_t s = static_cast<int64_t>(small.size());
    const Bytes hundred = TrailRecordBuilder(2).text(std::string(100 - 18 - 7 - 4, 'x')).build();
    ASSERT_EQ(hundred.size(), 100u);
    const Bytes shortHeader64 = [] {
        ByteWriter w;
        w.u8(0x74).u32(20).u8(11).u16(1).u16(0).bytes(Bytes(10, 0));
        return w.take();
    }();
    const Bytes fileToken = Token::file(1700000000, 0, "20240501.trail");
    const Bytes hugeHeader = headerDeclaring(16777216);
    const int64_t h = static_cast<int64_t>(hugeHeader.size());

    struct Case {
        const char *name;
        Bytes bytes;
        Outcome file;
        Outcome stream;
    };
    const Case cases[] = {
        {"empty buffer", {}, {}, {}},
        {"lone zero byte",
         {0x00},
         {{}, {{0, "unexpected byte 0x00 outside a record; resynchronising"}}, 0, 1},
         {{}, {{0, "unexpected byte 0x00 outside a record; resynchronising"}}, 0, 1}},
        {"header id with three bytes left waits in both modes",
         trail({small, {0x14, 0, 0, 0}}),
         {{100}, {}, 0, s},
         {{100}, {}, 0, s}},
        {"size 17 is implausible",
         trail({headerDeclaring(17), small}),
         {{100}, {{0, "implausible record size 17; resynchronising"}}, 0, 18 + s},
         {{100}, {{0, "implausible record size 17; resynchronising"}}, 0, 18 + s}},
        {"size 16,777,217 is implausible",
         trail({headerDeclaring(16777217), small}),
         {{100}, {{0, "implausible record size 16777217; resynchronising"}}, 0, 18 + s},
         {{100}, {{0, "implausible record size 16777217; resynchronising"}}, 0, 18 + s}},
        {"size 16,777,216 passes the size check",
         hugeHeader,
         {{}, {{0, "record truncated (16777216 bytes declared, " + std::to_string(h) + " available)"}}, 0, h},
         {{}, {}, 0, 0}},
        {"record cut short",
         trail({small, cut(hundred, 40)}),
         {{100}, {{s, "record truncated (100 bytes declared, 40 available)"}}, 0, s + 40},
         {{100}, {}, 0, s}},
        {"garbage is one issue, then the next header",
         trail({{0xAA, 0xBB, 0x00}, small}),
         {{100}, {{0, "unexpected byte 0xaa outside a record; resynchronising"}}, 0, 3 + s},
         {{100}, {{0, "unexpected byte 0xaa outside a record; resynchronising"}}, 0, 3 + s}},
        {"unreadable header uses no id",
         trail({small, shortHeader64, small}),
         {{100, 101}, {{s, "unreadable header"}}, 0, 2 * s + 20},
         {{100, 101}, {{s, "unreadable header"}}, 0, 2 * s + 20}},
        {"file tokens between records",
         trail({fileToken, small, fileToken}),
         {{100}, {}, 2, s + 2 * int64_t(fileToken.size())},
         {{100}, {}, 2, s + 2 * int64_t(fileToken.size())}},
        {"file token cut by the end",
         trail({small, cut(fileToken, fileToken.size() - 1)}),
         {{100}, {}, 0, s + int64_t(fileToken.size()) - 1},
         {{100}, {}, 0, s}},
        {"file token cut inside its fixed part",
         trail({small, cut(fileToken, 7)}),
         {{100}, {}, 0, s + 7},
         {{100}, {}, 0, s}},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(outcome(BSMParser::parse(std::span<const uint8_t>(c.bytes), 3, 100, false)), c.file)
            << c.name << " (file mode)";
        EXPECT_EQ(outcome(BSMParser::parse(std::span<const uint8_t>(c.bytes), 3, 100, true)), c.stream)
            << c.name << " (stream mode)";
    }
}

TEST(BSMParser, ResyncAcceptsOnlyKernelLikeHeaders)
{
    const Bytes garbage(5, 0xEE);
    const Bytes tail(20, 0);
    struct Case {
        const char *name;
        Bytes candidate;
        bool found;
    };
    const Case cases[] = {
        {"version 11, size 1,048,575", headerDeclaring(1048575, 11), true},
        {"version 10", headerDeclaring(100, 10), true},
        {"version 2, header_ex id", headerDeclaring(100, 2, 0x15), true},
        {"header64 id", headerDeclaring(100, 11, 0x74), true},
        {"header64_ex id", headerDeclaring(100, 11, 0x79), true},
        {"size 1,048,576", headerDeclaring(1048576, 11), false},
        {"size 17", headerDeclaring(17, 11), false},
        {"version 3", headerDeclaring(100, 3), false},
        {"not a header id", headerDeclaring(100, 11, 0x13), false},
    };
    for (const auto &c : cases) {
        const Bytes bytes = trail({garbage, c.candidate, tail});
        const int64_t expected = c.found ? int64_t(garbage.size()) : int64_t(bytes.size());
        EXPECT_EQ(BSMParser::resync(bytes, 0), expected) << c.name;
    }

    // No header can start in the last 10 bytes.
    Bytes lastTen = trail({garbage, cut(headerDeclaring(100), 10)});
    EXPECT_EQ(BSMParser::resync(lastTen, 0), int64_t(lastTen.size()));
    Bytes lastEleven = trail({garbage, cut(headerDeclaring(100), 11)});
    EXPECT_EQ(BSMParser::resync(lastEleven, 0), int64_t(garbage.size()));
    EXPECT_EQ(BSMParser::resync(lastEleven, 6), int64_t(lastEleven.size()));
}

TEST(BSMParser, ResyncSkipsAHeaderThatOnlyTheMainCheckWouldTake)
{
    // Version 3 passes the main loop's checks but not resynchronisation's, so after damage the
    // record is skipped and only the next kernel-like one is taken.
    const Bytes odd = [] {
        Bytes r = TrailRecordBuilder(9).path("/odd").build();
        r[5] = 3;
        return r;
    }();
    const Bytes bytes = trail({{0x01}, odd, small});
    const auto r = BSMParser::parse(std::span<const uint8_t>(bytes), 1, 1, false);
    ASSERT_EQ(r.records.size(), 1u);
    EXPECT_EQ(r.records[0].event, 1);
    EXPECT_EQ(r.issues.size(), 1u);

    // Undamaged, the same record is read normally.
    const auto clean = BSMParser::parse(std::span<const uint8_t>(odd), 1, 1, false);
    ASSERT_EQ(clean.records.size(), 1u);
    EXPECT_EQ(clean.records[0].paths(), std::vector<std::string>{"/odd"});
}

TEST(BSMParser, RecordsCarryIdsSourceAndTheirOwnBytes)
{
    const Bytes a = TrailRecordBuilder(23, 1700000000, 250, 7).path("/bin/ls").build();
    const Bytes b = TrailRecordBuilder(72, 1700000001, 1999).text("t").build();
    const Bytes between = Token::file(1, 2, "x");
    const Bytes bytesOfBoth = trail({a, between, b});
    auto buffer = std::make_shared<const TrailBuffer>(bytesOfBoth.begin(), bytesOfBoth.end());
    const auto r = BSMParser::parse(buffer, 42, 1000, false);
    ASSERT_EQ(r.records.size(), 2u);
    const AuditRecord &first = r.records[0];
    EXPECT_EQ(first.id, 1000);
    EXPECT_EQ(first.source, 42);
    EXPECT_EQ(first.event, 23);
    EXPECT_EQ(first.modifier, 7);
    EXPECT_DOUBLE_EQ(first.time, 1700000000.25);
    EXPECT_EQ(rawOf(first), a);
    EXPECT_EQ(r.records[1].id, 1001);
    EXPECT_DOUBLE_EQ(r.records[1].time, 1700000001.999);
    EXPECT_EQ(rawOf(r.records[1]), b);

    // Windows into the caller's buffer, not copies.
    EXPECT_EQ(first.raw().data(), buffer->data());
    EXPECT_EQ(r.records[1].raw().data(), buffer->data() + a.size() + between.size());

    // From a span the bytes are copied once, into one buffer that every record shares.
    const Bytes bytes = trail({a, b});
    const auto s = BSMParser::parse(std::span<const uint8_t>(bytes), 42, 1, false);
    ASSERT_EQ(s.records.size(), 2u);
    EXPECT_NE(s.records[0].raw().data(), bytes.data());
    EXPECT_EQ(s.records[1].raw().data(), s.records[0].raw().data() + a.size());
}

TEST(BSMParser, StandAloneFileTokenAddsTheWholeMilliseconds)
{
    const Bytes file = Token::file(1700000000, 1500, "20240501120000.not_terminated");
    const auto outside = BSMParser::parse(std::span<const uint8_t>(file), 1, 1, false);
    ASSERT_EQ(outside.fileTokens.size(), 1u);
    EXPECT_DOUBLE_EQ(outside.fileTokens[0].time, 1700000001.5);
    EXPECT_EQ(outside.fileTokens[0].name, "20240501120000.not_terminated");

    const Bytes inside = TrailRecordBuilder(1).token(file).build();
    const auto list = BSMParser::tokens(inside);
    ASSERT_EQ(list.tokens.size(), 3u);
    EXPECT_DOUBLE_EQ(std::get<Payload::File>(list.tokens[1].payload).time, 1700000000.5);
}

TEST(BSMParser, StreamChunksGiveTheSameRecordsAsTheWholeFile)
{
    // Feeding the trail in pieces, keeping what each call leaves unconsumed, must decode every
    // record exactly once whatever the cut, as the live reader does.
    const Bytes bytes = trail(
        {Token::file(1700000000, 0, "start"), TrailRecordBuilder(23).execArgs({"ls", "-l"}).build(),
         TrailRecordBuilder(72).path("/etc/hosts").attr(0644, 0, 0).build(), Token::file(1700000001, 0, "next"),
         TrailRecordBuilder(32).socketInet(443, {1, 2, 3, 4}).build()});
    const auto whole = BSMParser::parse(std::span<const uint8_t>(bytes), -1, 10000000, false);
    ASSERT_EQ(whole.records.size(), 3u);
    ASSERT_TRUE(whole.issues.empty());

    for (size_t chunk : {1u, 2u, 5u, 13u, 64u}) {
        Bytes pending;
        std::vector<AuditRecord> records;
        size_t fileTokens = 0;
        for (size_t at = 0; at < bytes.size(); at += chunk) {
            const size_t end = std::min(bytes.size(), at + chunk);
            pending.insert(pending.end(), bytes.begin() + long(at), bytes.begin() + long(end));
            const auto r = BSMParser::parse(std::span<const uint8_t>(pending), -1, 10000000 + int64_t(records.size()),
                                            true);
            EXPECT_TRUE(r.issues.empty()) << "chunk " << chunk << " at " << at;
            fileTokens += r.fileTokens.size();
            records.insert(records.end(), r.records.begin(), r.records.end());
            pending.erase(pending.begin(), pending.begin() + long(r.bytesConsumed));
        }
        EXPECT_TRUE(pending.empty()) << "chunk " << chunk;
        EXPECT_EQ(fileTokens, 2u) << "chunk " << chunk;
        ASSERT_EQ(records.size(), whole.records.size()) << "chunk " << chunk;
        for (size_t i = 0; i < records.size(); ++i) {
            EXPECT_EQ(records[i].id, whole.records[i].id);
            EXPECT_EQ(rawOf(records[i]), rawOf(whole.records[i]));
            EXPECT_EQ(records[i].execArgs(), whole.records[i].execArgs());
            EXPECT_EQ(records[i].paths(), whole.records[i].paths());
            EXPECT_EQ(records[i].sockets(), whole.records[i].sockets());
        }
    }
}

TEST(BSMParser, StreamKeepsARecordStartThatResyncCannotYetExamine)
{
    // Junk, then a record cut by the read within the last 10 bytes, where resynchronisation does
    // not look. A file drops those bytes; a stream must keep them for the next call.
    const Bytes record = TrailRecordBuilder(72).path("/etc/hosts").build();
    const Bytes junk(20, 0x42);
    Bytes first = junk;
    first.insert(first.end(), record.begin(), record.begin() + 6);

    const auto file = BSMParser::parse(std::span<const uint8_t>(first), -1, 1, false);
    EXPECT_EQ(file.bytesConsumed, int64_t(first.size()));

    const auto stream = BSMParser::parse(std::span<const uint8_t>(first), -1, 1, true);
    ASSERT_EQ(stream.issues.size(), 1u);
    EXPECT_EQ(stream.bytesConsumed, int64_t(junk.size()));

    Bytes next(first.begin() + long(stream.bytesConsumed), first.end());
    next.insert(next.end(), record.begin() + 6, record.end());
    const auto rest = BSMParser::parse(std::span<const uint8_t>(next), -1, 1, true);
    ASSERT_EQ(rest.records.size(), 1u);
    EXPECT_EQ(rest.records[0].paths(), std::vector<std::string>{"/etc/hosts"});
    EXPECT_EQ(rest.bytesConsumed, int64_t(next.size()));

    // Junk with no byte that could open a record is consumed whole, so it never piles up.
    const auto plain = BSMParser::parse(std::span<const uint8_t>(junk), -1, 1, true);
    EXPECT_EQ(plain.bytesConsumed, int64_t(junk.size()));
}

TEST(BSMParser, StreamKeepsOnlyTailBytesThatResyncCouldStillAccept)
{
    // The kept bytes are read as a record start by the next call, which no longer applies
    // resynchronisation's test; so whatever of that test the tail already shows must pass.
    const Bytes junk(20, 0x42);
    struct Case {
        const char *name;
        Bytes tail;  // the buffer's last bytes after the junk
        size_t kept; // how many of them are left for the next call
    };
    const Case cases[] = {
        {"a record start cut after its version", cut(headerDeclaring(100), 6), 6},
        {"a lone header id", {0x74}, 1},
        {"a header id and the first size bytes", {0x15, 0x00, 0x0F}, 3},
        {"version 7", cut(headerDeclaring(100, 7), 10), 0},
        {"size of 1,048,576 or more", {0x14, 0x00, 0x10, 0x00}, 0},
        {"first size byte not zero", {0x79, 0x01}, 0},
        {"size below 18", {0x14, 0x00, 0x00, 0x00, 0x11}, 0},
        {"a possible start behind a rejected one", {0x14, 0x00, 0x00, 0x00, 0x11, 0x14, 0x00}, 2},
    };
    for (const auto &c : cases) {
        const Bytes bytes = trail({junk, c.tail});
        const auto r = BSMParser::parse(std::span<const uint8_t>(bytes), -1, 1, true);
        EXPECT_EQ(r.bytesConsumed, int64_t(bytes.size() - c.kept)) << c.name;
        EXPECT_EQ(r.issues.size(), 1u) << c.name;
        EXPECT_TRUE(r.records.empty()) << c.name;
    }

    // A stray header id with a bad version, cut by the read, must not swallow the record that
    // the next read brings: the stream then gives what the whole file gives.
    const Bytes record = TrailRecordBuilder(72).path("/etc/hosts").build();
    const Bytes stray = {0x14, 0x00, 0x00, 0x00, uint8_t(record.size()), 0x07};
    const Bytes whole = trail({junk, stray, record});
    const auto file = BSMParser::parse(std::span<const uint8_t>(whole), -1, 1, false);
    ASSERT_EQ(file.records.size(), 1u);

    const Bytes firstRead = trail({junk, stray});
    const auto first = BSMParser::parse(std::span<const uint8_t>(firstRead), -1, 1, true);
    Bytes pending(firstRead.begin() + long(first.bytesConsumed), firstRead.end());
    pending.insert(pending.end(), record.begin(), record.end());
    const auto second = BSMParser::parse(std::span<const uint8_t>(pending), -1, 1, true);
    ASSERT_EQ(second.records.size(), 1u);
    EXPECT_EQ(second.records[0].paths(), std::vector<std::string>{"/etc/hosts"});
    EXPECT_EQ(rawOf(second.records[0]), record);
}

AuditRecord recordFrom(const Bytes &bytes)
{
    auto record = BSMParser::makeRecord(bytes, 5, 9);
    EXPECT_TRUE(record.has_value());
    return record.value_or(AuditRecord{});
}

Bytes socket2e(uint16_t localPort, std::initializer_list<uint8_t> local, uint16_t remotePort,
               std::initializer_list<uint8_t> remote)
{
    ByteWriter w;
    w.u8(0x2e).u16(1).u16(localPort).bytes(local).u16(remotePort).bytes(remote);
    return w.take();
}

TEST(BSMParser, TokenEffectsOnTheRecord)
{
    Bytes loopback6(16, 0);
    loopback6[15] = 1;
    const Bytes any6(16, 0);
    Subject first, second;
    first.pid = 1;
    second.pid = 2;

    struct Case {
        const char *name;
        TrailRecordBuilder record;
        std::function<void(const AuditRecord &)> check;
    };
    const Case cases[] = {
        {"last subject wins", TrailRecordBuilder(1).subject(first).subject(second),
         [](const AuditRecord &r) {
             ASSERT_TRUE(r.subject());
             EXPECT_EQ(r.subject()->pid, 2u);
             EXPECT_FALSE(r.target());
         }},
        {"process token fills the target", TrailRecordBuilder(1).process(first).process(second),
         [](const AuditRecord &r) {
             EXPECT_FALSE(r.subject());
             ASSERT_TRUE(r.target());
             EXPECT_EQ(r.target()->pid, 2u);
         }},
        {"return value is signed, last wins", TrailRecordBuilder(1).returnValue(0, 5).returnValue(13, 0xFFFFFFFF),
         [](const AuditRecord &r) {
             EXPECT_EQ(r.returnStatus, 13);
             EXPECT_EQ(r.returnValue, -1);
         }},
        {"64-bit return value", TrailRecordBuilder(1).token(Token::returnValue64(0, 0x100000005ull)),
         [](const AuditRecord &r) { EXPECT_EQ(r.returnValue, 0x100000005ll); }},
        {"paths, texts and args all kept in order",
         TrailRecordBuilder(1).path("/a").text("one").arg(1, 420, "mode").path("/b").text("two").arg(2, 7, "fd"),
         [](const AuditRecord &r) {
             EXPECT_EQ(r.paths(), (std::vector<std::string>{"/a", "/b"}));
             EXPECT_EQ(r.texts(), (std::vector<std::string>{"one", "two"}));
             EXPECT_EQ(r.args(), (std::vector<ArgInfo>{{1, 420, "mode"}, {2, 7, "fd"}}));
         }},
        {"first attribute wins", TrailRecordBuilder(1).attr(0100644, 501, 20).attr(0100755, 0, 0),
         [](const AuditRecord &r) {
             EXPECT_EQ(r.fileMode(), 0100644u);
             EXPECT_EQ(r.fileOwner(), 501u);
         }},
        {"last exec arguments win", TrailRecordBuilder(1).execArgs({"sh"}).execArgs({"ls", "-l"}),
         [](const AuditRecord &r) {
             EXPECT_EQ(r.execArgs(), (std::vector<std::string>{"ls", "-l"}));
         }},
        {"exit status is signed, last wins", TrailRecordBuilder(1).exit(3).exit(0xFFFFFFFF),
         [](const AuditRecord &r) { EXPECT_EQ(r.exitStatus(), -1); }},
        {"last identity wins", TrailRecordBuilder(1).identity(1, "com.a", "").identity(2, "com.b", "TEAM", {0xAB}),
         [](const AuditRecord &r) {
             ASSERT_TRUE(r.identity());
             EXPECT_EQ(*r.identity(), (SigningIdentity{2, "com.b", "TEAM", "ab"}));
         }},
        {"every endpoint kind, in order",
         TrailRecordBuilder(1)
             .token(Token::inAddr({127, 0, 0, 1}))
             .socketInet(8080, {192, 0, 2, 1})
             .token(Token::socketInet6(80, loopback6))
             .token(Token::socketUnix("/var/run/mDNSResponder"))
             .token(socket2e(5000, {1, 2, 3, 4}, 22, {5, 6, 7, 8}))
             .token(socket2e(5000, {1, 2, 3, 4}, 0, {0, 0, 0, 0}))
             .token(Token::socketEx(30, 1, 8080, loopback6, 0, any6))
             .token(Token::socketEx(2, 1, 5000, {10, 0, 0, 1}, 443, {10, 0, 0, 2})),
         [](const AuditRecord &r) {
             EXPECT_EQ(r.sockets(),
                       (std::vector<std::string>{"127.0.0.1", "192.0.2.1:8080", "[::1]:80", "/var/run/mDNSResponder",
                                                 "5.6.7.8:22", "1.2.3.4:5000", "::1:8080", "10.0.0.2:443"}));
         }},
        {"tokens without an effect still count",
         TrailRecordBuilder(1).token(Token::execEnv({"A=1"})).token(ByteWriter().u8(0x2f).u32(7).take()),
         [](const AuditRecord &r) {
             EXPECT_EQ(r.tokenCount, 4);
             EXPECT_TRUE(r.paths().empty());
             EXPECT_TRUE(r.execArgs().empty());
             EXPECT_FALSE(r.decodeError());
         }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        c.check(recordFrom(c.record.build()));
    }
}

// A text the record's bytes hold as it is is read from them, not copied; one the decoding mended
// is its mended copy, and the texts after it still read right.
TEST(BSMParser, TextsAreReadFromTheRecordsOwnBytesUnlessMended)
{
    const std::string broken = "caf\xE9", mended = "caf\xEF\xBF\xBD";
    const AuditRecord r = recordFrom(TrailRecordBuilder(1)
                                         .path("/etc/passwd")
                                         .path(broken)
                                         .text("note")
                                         .arg(1, 7, "fd")
                                         .token(Token::arg64(2, uint64_t(1) << 40, "size"))
                                         .execArgs({"ls", "-la", broken, "/tmp"})
                                         .build());
    const auto inRecord = [&](std::string_view text) {
        const auto *begin = reinterpret_cast<const char *>(r.raw().data());
        return text.data() >= begin && text.data() + text.size() <= begin + r.raw().size();
    };
    struct Case {
        const char *name;
        std::string_view text;
        std::string value;
        bool own; // read from the record's bytes
    };
    const Case cases[] = {
        {"path", r.paths()[0], "/etc/passwd", true},
        {"mended path", r.paths()[1], mended, false},
        {"text", r.texts()[0], "note", true},
        {"argument", r.args()[0].name, "fd", true},
        {"64-bit argument", r.args()[1].name, "size", true},
        {"first exec argument", r.execArgs()[0], "ls", true},
        {"second exec argument", r.execArgs()[1], "-la", true},
        {"mended exec argument", r.execArgs()[2], mended, false},
        {"exec argument after the mended one", r.execArgs()[3], "/tmp", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.text, c.value);
        EXPECT_EQ(inRecord(c.text), c.own);
    }
    EXPECT_EQ(r.args()[1].value, uint64_t(1) << 40);
    EXPECT_EQ(r.execArgs().offsetOf(3), 2 + 3 + mended.size());
    EXPECT_TRUE(r.matches(RecordQuery("PASSWD")));
    EXPECT_TRUE(r.matches(RecordQuery("/tmp")));
}

TEST(BSMParser, MakeRecordStartsFromTheHeader)
{
    const Bytes bytes = TrailRecordBuilder(23, 1700000000, 1500, 3).path("/bin/ls").build();
    const AuditRecord r = recordFrom(trail({bytes, {0xFF, 0xFF}}));
    EXPECT_EQ(r.id, 5);
    EXPECT_EQ(r.source, 9);
    EXPECT_EQ(r.event, 23);
    EXPECT_EQ(r.modifier, 3);
    EXPECT_DOUBLE_EQ(r.time, 1700000000.5);
    EXPECT_EQ(r.tokenCount, 3); // header and trailer included; bytes after the trailer ignored
    EXPECT_FALSE(r.decodeError());
    EXPECT_EQ(r.returnStatus, 0);
    EXPECT_FALSE(r.processImage);

    struct Case {
        const char *name;
        Bytes bytes;
    };
    const Case refused[] = {
        {"no bytes", {}},
        {"first token is not a header", trail({Token::path("/x"), bytes})},
        {"header token cut short", cut(bytes, 17)},
        {"unknown first token", {0x76, 0, 0}},
    };
    for (const auto &c : refused) EXPECT_FALSE(BSMParser::makeRecord(c.bytes, 1, 1)) << c.name;
}

TEST(BSMParser, DecodingErrorKeepsTheRecordSoFar)
{
    const Bytes bytes = TrailRecordBuilder(1).subject().token({0x76, 0, 0}).path("/never").build();
    const AuditRecord r = recordFrom(bytes);
    EXPECT_EQ(r.tokenCount, 2);
    EXPECT_TRUE(r.subject());
    EXPECT_TRUE(r.paths().empty());
    const int64_t failedAt = 18 + 37;
    EXPECT_EQ(r.decodeError(), "malformed token: unsupported token type 0x76 ("
                                   + std::to_string(int64_t(bytes.size()) - failedAt) + " bytes not decoded)");

    // Through parse the record is kept as well, with no framing issue.
    const auto parsed = BSMParser::parse(std::span<const uint8_t>(bytes), 1, 1, false);
    ASSERT_EQ(parsed.records.size(), 1u);
    EXPECT_TRUE(parsed.records[0].decodeError());
    EXPECT_TRUE(parsed.issues.empty());
}

TEST(BSMParser, TokensListsEachTokenWithItsPlace)
{
    const Bytes path = Token::path("/etc/hosts");
    const Bytes bytes = TrailRecordBuilder(1).token(path).build();
    const auto list = BSMParser::tokens(trail({bytes, {0x00}}));
    EXPECT_FALSE(list.error);
    ASSERT_EQ(list.tokens.size(), 3u);
    EXPECT_EQ(list.tokens[0].id, 0x14);
    EXPECT_EQ(list.tokens[0].offset, 0);
    EXPECT_EQ(list.tokens[0].length, 18);
    EXPECT_EQ(list.tokens[1].id, 0x23);
    EXPECT_EQ(list.tokens[1].offset, 18);
    EXPECT_EQ(list.tokens[1].length, int64_t(path.size()));
    EXPECT_EQ(list.tokens[2].offset, int64_t(18 + path.size()));
    EXPECT_EQ(list.tokens[2].length, 7);

    const auto none = BSMParser::tokens({});
    EXPECT_TRUE(none.tokens.empty());
    EXPECT_FALSE(none.error);

    // The trailer cut after its magic: its size read fails 3 bytes into the token.
    const size_t trailerAt = 18 + path.size();
    const auto cutShort = BSMParser::tokens(cut(bytes, trailerAt + 3));
    EXPECT_EQ(cutShort.tokens.size(), 2u);
    EXPECT_EQ(cutShort.error,
              "truncated token: needed 4 bytes at offset " + std::to_string(trailerAt + 3) + " (3 bytes not decoded)");
}

TEST(BSMParser, RepeatedIdentitiesAreSharedNotConfused)
{
    // Long enough that the two differ only past any short prefix.
    const std::string id = "com.example.a-rather-long-signing-identifier";
    const Bytes hashA(20, 0xAA), hashB(20, 0xBB);
    const Bytes bytes = trail({TrailRecordBuilder(1).identity(2, id, "TEAM", hashA).build(),
                               TrailRecordBuilder(2).identity(2, id, "TEAM", hashB).build(),
                               TrailRecordBuilder(3).identity(2, id, "TEAM", hashA).build(),
                               TrailRecordBuilder(4).identity(2, id, "TEAM", hashA).withoutTrailer().build()});
    const auto r = BSMParser::parse(std::span<const uint8_t>(bytes), 1, 1, false);
    ASSERT_EQ(r.records.size(), 4u);
    const std::string a(40, 'a'), b(40, 'b');
    for (size_t i = 0; i < 4; ++i) ASSERT_TRUE(r.records[i].identity()) << "record " << i;
    EXPECT_EQ(*r.records[0].identity(), (SigningIdentity{2, id, "TEAM", a}));
    EXPECT_EQ(*r.records[1].identity(), (SigningIdentity{2, id, "TEAM", b}));
    EXPECT_EQ(*r.records[2].identity(), (SigningIdentity{2, id, "TEAM", a}));
    EXPECT_EQ(&*r.records[2].identity(), &*r.records[0].identity());
    // The last record ends right after its identity: still shared, still counted.
    EXPECT_EQ(&*r.records[3].identity(), &*r.records[0].identity());
    EXPECT_EQ(r.records[3].tokenCount, 2);
    EXPECT_FALSE(r.records[3].decodeError());

    // An identity cut by the end of its record is not taken from an earlier whole one.
    const Bytes whole = TrailRecordBuilder(1).identity(2, id, "TEAM", hashA).build();
    Bytes cutRecord = TrailRecordBuilder(2).identity(2, id, "TEAM", hashA).withoutTrailer().build();
    cutRecord.resize(cutRecord.size() - 1);
    cutRecord[4] = uint8_t(cutRecord.size());
    const auto c = BSMParser::parse(std::span<const uint8_t>(trail({whole, cutRecord})), 1, 1, false);
    ASSERT_EQ(c.records.size(), 2u);
    EXPECT_FALSE(c.records[1].identity());
    EXPECT_EQ(c.records[1].tokenCount, 1);
    EXPECT_TRUE(c.records[1].decodeError());
}

// The record, with `hidden` after its trailer and its header's size grown to cover them.
Bytes hiding(const Bytes &record, const Bytes &hidden)
{
    Bytes out = trail({record, hidden});
    const auto size = uint32_t(out.size());
    for (int i = 0; i < 4; ++i) out[size_t(1 + i)] = uint8_t(size >> (24 - 8 * i));
    return out;
}

// Issues with their offsets counted from the start of all the bytes, whatever call found them.
std::vector<Issue> issuesFrom(const BSMParser::TrailResult &r, int64_t base = 0)
{
    std::vector<Issue> out;
    for (const ParseIssue &issue : r.issues) out.push_back({base + issue.offset, issue.message});
    return out;
}

// What a stream parse gives when the bytes arrive in the pieces that end at `cuts`, each call
// getting what the one before left over: the records' raw bytes and the issues.
std::pair<std::vector<Bytes>, std::vector<Issue>> streamed(const Bytes &bytes, const std::vector<size_t> &cuts)
{
    std::vector<Bytes> records;
    std::vector<Issue> issues;
    size_t consumed = 0;
    bool resynchronising = false;
    for (const size_t end : cuts) {
        const auto r = BSMParser::parse(std::span<const uint8_t>(bytes.data() + consumed, end - consumed), -1, 1, true,
                                        resynchronising);
        for (const AuditRecord &record : r.records) records.push_back(rawOf(record));
        const auto found = issuesFrom(r, int64_t(consumed));
        issues.insert(issues.end(), found.begin(), found.end());
        consumed += size_t(r.bytesConsumed);
        resynchronising = r.resynchronising;
    }
    EXPECT_EQ(consumed, bytes.size());
    return {records, issues};
}

TEST(BSMParser, BytesAfterATrailerAreReportedAndKept)
{
    Subject user;
    user.pid = 4242;
    const auto exec = [&](std::string_view path) {
        return TrailRecordBuilder(23).subject(user).path(path).execArgs({path}).returnValue(0).build();
    };
    const Bytes first = exec("/bin/ls");
    const Bytes last = exec("/usr/bin/true");
    const Bytes open = TrailRecordBuilder(72).subject(user).path("/etc/hosts").returnValue(0).build();
    // Header, subject, return and trailer: 68 bytes whose trailer ends long before the declared end.
    const Bytes shortRecord = TrailRecordBuilder(23).subject(user).returnValue(0).build();
    ASSERT_EQ(shortRecord.size(), 68u);
    Bytes evil;
    for (int i = 0; i < 3; ++i) evil = trail({evil, exec("/tmp/evil" + std::to_string(i))});
    const Bytes cover = hiding(shortRecord, trail({evil, Bytes(400, 0)}));
    const Bytes broken = hiding(TrailRecordBuilder(72).subject(user).token({0x76, 0, 0}).path("/never").build(),
                                Bytes(9, 0));
    const auto at = [](std::initializer_list<size_t> sizes) {
        int64_t sum = 0;
        for (const size_t size : sizes) sum += int64_t(size);
        return sum;
    };

    struct Case {
        const char *name;
        Bytes bytes;
        size_t records;
        std::vector<Issue> issues;
        size_t hidingRecord = 0; // 1 + the record that holds hidden bytes, 0 for none
        uint32_t tokens = 0;     // that record's, up to its trailer
    };
    const Case cases[] = {
        {"one byte after a trailer",
         trail({first, hiding(open, {0x00}), last}),
         3,
         {{at({first.size(), open.size()}), "1 bytes after the record's trailer"}},
         2,
         5},
        {"a whole record after a trailer",
         trail({first, hiding(open, exec("/tmp/hidden")), last}),
         3,
         {{at({first.size(), open.size()}),
           std::to_string(exec("/tmp/hidden").size()) + " bytes after the record's trailer"}},
         2,
         5},
        {"records hidden in a long declared record",
         trail({first, cover, last}),
         3,
         {{at({first.size(), 68}), std::to_string(cover.size() - 68) + " bytes after the record's trailer"}},
         2,
         4},
        {"a trailer at the declared end", trail({first, open, last}), 3, {}},
        {"a decoding error before the end", trail({first, broken, last}), 3, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const auto data = std::make_shared<const TrailBuffer>(c.bytes.begin(), c.bytes.end());
        const auto file = BSMParser::parse(data, 1, 1, false);
        EXPECT_EQ(issuesFrom(file), c.issues);
        ASSERT_EQ(file.records.size(), c.records);
        if (c.hidingRecord) {
            // The record is as its tokens make it, and holds every declared byte.
            const AuditRecord &record = file.records[c.hidingRecord - 1];
            EXPECT_EQ(record.tokenCount, c.tokens);
            EXPECT_FALSE(record.decodeError());
            EXPECT_EQ(record.id, int64_t(c.hidingRecord));
            EXPECT_EQ(record.subject()->pid, 4242u);
            const size_t start = c.hidingRecord == 2 ? first.size() : 0;
            EXPECT_EQ(rawOf(record), Bytes(c.bytes.begin() + long(start), c.bytes.end() - long(last.size())));
            EXPECT_EQ(file.records.back().paths(), std::vector<std::string>{"/usr/bin/true"});
        }
        std::vector<Bytes> fileRaw;
        for (const AuditRecord &record : file.records) fileRaw.push_back(rawOf(record));

        // Stream mode, cut in two at every byte and fed byte by byte.
        for (size_t cut = 0; cut <= c.bytes.size(); ++cut) {
            const auto [records, issues] = streamed(c.bytes, {cut, c.bytes.size()});
            if (records == fileRaw && issues == c.issues) continue;
            ADD_FAILURE() << "cut at " << cut << ": " << records.size() << " records, " << issues.size() << " issues";
            break;
        }
        std::vector<size_t> everyByte(c.bytes.size());
        for (size_t i = 0; i < everyByte.size(); ++i) everyByte[i] = i + 1;
        const auto [records, issues] = streamed(c.bytes, everyByte);
        EXPECT_EQ(records, fileRaw);
        EXPECT_EQ(issues, c.issues);

        // Parts decoded side by side, against the one pass.
        Parallel::Pool pool(3);
        for (const int64_t partSize : {1, 64, 200}) {
            const auto parts = BSMParser::parseFile(data, 1, 1, pool, partSize);
            EXPECT_EQ(issuesFrom(parts), c.issues) << "parts of " << partSize;
            ASSERT_EQ(parts.records.size(), c.records) << "parts of " << partSize;
            for (size_t i = 0; i < c.records; ++i) EXPECT_EQ(rawOf(parts.records[i]), fileRaw[i]) << i;
        }
    }
}

TEST(BSMParser, RepeatedSubjectsAreSharedNotConfused)
{
    Subject a;
    a.pid = 4242;
    Subject b = a;
    b.address = {10, 0, 0, 9}; // differs from a only past the first 29 bytes
    const Bytes bytes = trail({TrailRecordBuilder(72).subject(a).build(), TrailRecordBuilder(72).subject(b).build(),
                               TrailRecordBuilder(15).subject(b).process(a).build(),
                               TrailRecordBuilder(72).subject(a).build()});
    const auto r = BSMParser::parse(std::span<const uint8_t>(bytes), 1, 1, false);
    ASSERT_EQ(r.records.size(), 4u);
    for (size_t i = 0; i < 4; ++i) ASSERT_TRUE(r.records[i].subject()) << "record " << i;
    EXPECT_EQ(r.records[0].subject()->terminalAddress, "0.0.0.0");
    EXPECT_EQ(r.records[1].subject()->terminalAddress, "10.0.0.9");
    EXPECT_EQ(r.records[2].subject()->terminalAddress, "10.0.0.9");
    ASSERT_TRUE(r.records[2].target());
    EXPECT_EQ(r.records[2].target()->terminalAddress, "0.0.0.0") << "a process token is a target, not a subject";
    EXPECT_EQ(r.records[2].target()->pid, 4242u);
    EXPECT_EQ(r.records[3].subject(), r.records[0].subject()) << "stored once";
    EXPECT_EQ(r.records[3].tokenCount, 3u);

    // A subject cut by the end of its record is not taken from an earlier whole one.
    Bytes cutRecord = TrailRecordBuilder(72).subject(a).withoutTrailer().build();
    cutRecord.resize(cutRecord.size() - 1);
    cutRecord[4] = uint8_t(cutRecord.size());
    const auto c = BSMParser::parse(std::span<const uint8_t>(
                                        trail({TrailRecordBuilder(72).subject(a).build(), cutRecord})),
                                    1, 1, false);
    ASSERT_EQ(c.records.size(), 2u);
    EXPECT_FALSE(c.records[1].subject());
    EXPECT_TRUE(c.records[1].decodeError());
}

TEST(BSMParser, IssuesHaveFreshIds)
{
    const Bytes bytes = trail({{0x00}, small, {0x01}, small});
    const auto r = BSMParser::parse(std::span<const uint8_t>(bytes), 1, 1, false);
    ASSERT_EQ(r.issues.size(), 2u);
    EXPECT_NE(r.issues[0].id, r.issues[1].id);
    EXPECT_FALSE(r.issues[0].id.isNull());
}

} // namespace
