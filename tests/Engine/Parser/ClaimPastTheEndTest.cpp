// A header that claims more bytes than the trail holds: reported where it stands, and every whole
// record after it still decoded, alike in one pass over a file, in parts side by side, and in a
// stream read in pieces up to its end.

#include "Engine/Parser/BSMParser.h"
#include "support/RecordDump.h"
#include "support/TrailBuilder.h"

#include <gtest/gtest.h>

namespace {

using namespace TestBSM;

Bytes records(uint32_t first, uint32_t count)
{
    Bytes out;
    for (uint32_t i = first; i < first + count; ++i) {
        const Bytes r =
            TrailRecordBuilder(i % 2 ? 72 : 23, 1700000000 + i).subject().path("/f/" + std::to_string(i)).build();
        out.insert(out.end(), r.begin(), r.end());
    }
    return out;
}

// A whole record whose header claims `size` bytes.
Bytes claiming(uint32_t size)
{
    Bytes r = TrailRecordBuilder(72, 1699999999).subject().path("/claimed").build();
    r[1] = uint8_t(size >> 24), r[2] = uint8_t(size >> 16), r[3] = uint8_t(size >> 8), r[4] = uint8_t(size);
    return r;
}

Bytes cut(const Bytes &bytes, size_t length)
{
    return Bytes(bytes.begin(), bytes.begin() + std::ptrdiff_t(length));
}

// What reading gave: every record in full, and the issues with their offsets in the whole trail.
struct Reading {
    std::vector<std::string> records;
    std::vector<std::string> issues;
    int64_t issueCount = 0;
    bool operator==(const Reading &) const = default;
    friend void PrintTo(const Reading &r, std::ostream *out)
    {
        *out << r.records.size() << " records, " << r.issueCount << " issues:";
        for (const std::string &issue : r.issues) *out << " [" << issue << "]";
    }
};

void add(Reading &reading, const BSMParser::TrailResult &result, int64_t base)
{
    for (const AuditRecord &record : result.records) reading.records.push_back(TestRecords::dump(record));
    for (const ParseIssue &issue : result.issues)
        reading.issues.push_back(std::to_string(base + issue.offset) + " " + issue.message);
    reading.issueCount += result.issueCount;
}

Reading inOnePass(const Bytes &bytes)
{
    Reading reading;
    add(reading, BSMParser::parse(std::span<const uint8_t>(bytes), 4, 1, false), 0);
    return reading;
}

Reading inParts(const Bytes &bytes, int64_t partSize)
{
    static Parallel::Pool pool(4);
    Reading reading;
    add(reading,
        BSMParser::parseFile(std::make_shared<const TrailBuffer>(bytes.begin(), bytes.end()), 4, 1, pool, partSize), 0);
    return reading;
}

// As the live reader takes a stream: pieces of `chunk` bytes, what is left over handed on with the
// next piece, and once the stream has ended, the rest read as a trail's end.
Reading inStream(const Bytes &bytes, size_t chunk)
{
    Reading reading;
    Bytes pending;
    int64_t base = 0, nextID = 1;
    bool resynchronising = false;
    for (size_t at = 0; at < bytes.size(); at += chunk) {
        pending.insert(pending.end(), bytes.begin() + std::ptrdiff_t(at),
                       bytes.begin() + std::ptrdiff_t(std::min(bytes.size(), at + chunk)));
        const auto result = BSMParser::parse(std::span<const uint8_t>(pending), 4, nextID, true, resynchronising);
        add(reading, result, base);
        nextID += int64_t(result.records.size());
        resynchronising = result.resynchronising;
        pending.erase(pending.begin(), pending.begin() + std::ptrdiff_t(result.bytesConsumed));
        base += result.bytesConsumed;
    }
    add(reading, BSMParser::parse(std::span<const uint8_t>(pending), 4, nextID, false, resynchronising), base);
    return reading;
}

TEST(ClaimPastTheEnd, EveryWholeRecordAfterItIsReadInEveryMode)
{
    const Bytes before = records(0, 5), after = records(5, 1000);
    const Bytes lie = claiming(16777216);
    const int64_t b = int64_t(before.size()), l = int64_t(lie.size()), a = int64_t(after.size());
    const auto truncated = [](int64_t at, int64_t declared, int64_t available) {
        return std::to_string(at) + " record truncated (" + std::to_string(declared) + " bytes declared, "
               + std::to_string(available) + " available)";
    };
    // A record whose bytes hold what looks like a header, and another that frames as a whole
    // record with its trailer: cut short, only the second can make a record.
    const Bytes lookalike = TrailRecordBuilder(72, 1700000000)
                                .text(std::string("\x14\x00\x00\x00\x40\x0b", 6) + std::string(40, 'y'))
                                .build();
    const Bytes inner = records(2000, 1);
    const Bytes nesting =
        TrailRecordBuilder(72, 1700000000).text(std::string(inner.begin(), inner.end()) + std::string(30, 'z')).build();
    const Bytes junk = {0x00, 0x01, 0x02};

    const struct Case {
        const char *name;
        Bytes bytes;
        Bytes whole; // the records it holds, as a trail without the damage
        std::vector<std::string> issues;
    } cases[] = {
        {"a claim of 16 MiB among whole records",
         trail({before, lie, after}),
         trail({before, after}),
         {truncated(b, 16777216, l + a)}},
        {"a claim just past the end",
         trail({before, claiming(uint32_t(l + a + 1)), after}),
         trail({before, after}),
         {truncated(b, l + a + 1, l + a)}},
        {"a claim at the very start", trail({lie, after}), after, {truncated(0, 16777216, l + a)}},
        {"damage after the records found again has its own issue",
         trail({lie, after, junk, before}),
         trail({after, before}),
         {truncated(0, 16777216, l + a + 3 + b), std::to_string(l + a)
                                                     + " unexpected byte 0x00 outside a record; "
                                                       "resynchronising"}},
        {"a trail cut mid-write keeps its whole records and one issue",
         trail({before, cut(lookalike, 40)}),
         before,
         {truncated(b, int64_t(lookalike.size()), 40)}},
        {"a cut record whose bytes are all there but its trailer's",
         trail({before, cut(lookalike, lookalike.size() - 1)}),
         before,
         {truncated(b, int64_t(lookalike.size()), int64_t(lookalike.size()) - 1)}},
        {"a whole record inside a cut one frames on its own",
         trail({before, cut(nesting, 21 + inner.size())}),
         trail({before, inner}),
         {truncated(b, int64_t(nesting.size()), int64_t(21 + inner.size()))}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Reading expected = inOnePass(c.whole);
        expected.issues = c.issues;
        expected.issueCount = int64_t(c.issues.size());
        EXPECT_EQ(inOnePass(c.bytes), expected) << "one pass";
        for (const int64_t partSize : {int64_t(64), int64_t(4096)})
            EXPECT_EQ(inParts(c.bytes, partSize), expected) << "parts of " << partSize;
        for (const size_t chunk : {size_t(1000), size_t(97), c.bytes.size()})
            EXPECT_EQ(inStream(c.bytes, chunk), expected) << "a stream in pieces of " << chunk;
    }
}

} // namespace
