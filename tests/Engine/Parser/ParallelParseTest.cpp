#include "Engine/Parser/BSMParser.h"
#include "support/RecordDump.h"
#include "support/TrailBuilder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

namespace {

using namespace TestBSM;

Bytes recordNumber(uint32_t i)
{
    TrailRecordBuilder record(i % 3 == 0 ? 23 : 72, 1700000000 + i / 7, i % 1000);
    record.subject(Subject{.auid = 501, .pid = 100 + i % 5}).path("/tmp/file-" + std::to_string(i));
    if (i % 4 == 0) record.identity(2, "com.example.tool", "TEAM1", Bytes{1, 2, 3});
    if (i % 5 == 0) record.arg(1, i, "flags");
    return record.build();
}

Bytes many(uint32_t first, uint32_t count)
{
    Bytes out;
    for (uint32_t i = first; i < first + count; ++i) {
        const Bytes r = recordNumber(i);
        out.insert(out.end(), r.begin(), r.end());
    }
    return out;
}

// A header whose body cannot be decoded: its record is dropped with an issue, its bytes skipped.
Bytes unreadableHeader()
{
    ByteWriter w;
    w.u8(0x14).u32(20).u8(11).u16(1).u16(0).u32(1700000000).u8(0x99).u8(0x99);
    return w.take();
}

// A header that frames exactly its 19 bytes but cannot be decoded: its host address has no known type.
Bytes undecodableHeader()
{
    ByteWriter w;
    w.u8(0x15).u32(19).u8(11).u16(72).u16(0).u32(0xFFFFFFFF).u32(0).u8(0);
    return w.take();
}

// A whole record whose header claims `size` bytes, with bytes inside that look like a header of
// their own: only the one pass's path through it tells where the next record starts.
Bytes claiming(uint32_t size)
{
    Bytes r = TrailRecordBuilder(72, 1699999999)
                  .text(std::string("\x14\x00\x00\x00\x40\x0b", 6) + std::string(40, 'y'))
                  .path("/claimed")
                  .build();
    r[1] = uint8_t(size >> 24), r[2] = uint8_t(size >> 16), r[3] = uint8_t(size >> 8), r[4] = uint8_t(size);
    return r;
}

Bytes cutShort(Bytes bytes, size_t by)
{
    bytes.resize(bytes.size() - by);
    return bytes;
}

std::vector<std::string> issues(const BSMParser::TrailResult &r)
{
    std::vector<std::string> out;
    for (const ParseIssue &issue : r.issues) out.push_back(std::to_string(issue.offset) + " " + issue.message);
    return out;
}

std::vector<std::string> fileTokens(const BSMParser::TrailResult &r)
{
    std::vector<std::string> out;
    for (const FileToken &token : r.fileTokens) out.push_back(std::to_string(token.time) + " " + token.name);
    return out;
}

// Cut into parts of a few hundred bytes, every trail splits at many record boundaries, and the
// damage lands inside, between or after the clean parts.
TEST(ParallelParse, EqualsTheSequentialParse)
{
    const struct Case {
        const char *name;
        Bytes bytes;
    } cases[] = {
        {"clean records", many(0, 200)},
        {"file tokens between records",
         trail({Token::file(1700000000, 5, "start"), many(0, 60), Token::file(1700000100, 0, "middle"), many(60, 60),
                Token::file(1700000200, 0, "end")})},
        {"unreadable headers among them",
         trail({many(0, 50), unreadableHeader(), many(50, 50), unreadableHeader(), many(100, 30)})},
        {"junk in the middle resynchronises",
         trail({many(0, 80), Bytes{0x00, 0x01, 0x02, 0x03, 0x04, 0x05}, many(80, 80)})},
        {"implausible size", trail({many(0, 40), Bytes{0x14, 0x00, 0x00, 0x00, 0x02}, many(40, 40)})},
        {"cut last record",
         [] {
             Bytes b = many(0, 90);
             b.resize(b.size() - 7);
             return b;
         }()},
        {"a 16 MiB claim near the start", trail({many(0, 3), claiming(16777216), many(3, 300)})},
        {"several claims among other damage",
         trail({many(0, 30), claiming(16777216), many(30, 40), Bytes{0x00, 0x07}, many(70, 40), claiming(1000000),
                many(110, 40), Bytes{0x14, 0x00, 0x00, 0x00, 0x02}, many(150, 40), claiming(16777215), many(190, 40),
                unreadableHeader(), many(230, 40)})},
        {"junk after a claim", trail({many(0, 10), claiming(16777216), Bytes(700, 0x42), many(10, 200)})},
        {"a claim followed by a cut last record",
         trail({many(0, 10), claiming(16777216), many(10, 200), cutShort(recordNumber(999), 9)})},
        {"a whole record inside the claiming one",
         [] {
             const Bytes inner = recordNumber(777);
             Bytes outer = TrailRecordBuilder(72, 1699999999)
                               .text(std::string(inner.begin(), inner.end()) + std::string(30, 'z'))
                               .build();
             outer[1] = 0x01, outer[2] = 0x00, outer[3] = 0x00, outer[4] = 0x00;
             return trail({many(0, 5), outer, many(5, 200)});
         }()},
        {"nothing", {}},
        {"no trail at all", Bytes(3000, 0x41)},
        {"more issues than are kept",
         [] {
             Bytes b = many(0, 20);
             for (int i = 0; i < 12000; ++i) {
                 const Bytes h = undecodableHeader();
                 b.insert(b.end(), h.begin(), h.end());
             };
             return trail({b, many(20, 20)});
         }()},
    };
    for (const Case &c : cases) {
        const auto data = std::make_shared<const TrailBuffer>(c.bytes.begin(), c.bytes.end());
        const auto sequential = BSMParser::parse(data, 9, 500, false);
        for (const unsigned threads : {2u, 3u, 8u}) {
            Parallel::Pool pool(threads);
            for (const int64_t partSize : {1, 300, 4096}) {
                const auto parallel = BSMParser::parseFile(data, 9, 500, pool, partSize);
                SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(threads) + " threads, parts of "
                             + std::to_string(partSize));
                EXPECT_EQ(TestRecords::dump(parallel.records), TestRecords::dump(sequential.records));
                EXPECT_EQ(issues(parallel), issues(sequential));
                EXPECT_EQ(parallel.issueCount, sequential.issueCount);
                EXPECT_EQ(fileTokens(parallel), fileTokens(sequential));
                EXPECT_EQ(parallel.bytesConsumed, sequential.bytesConsumed);
            }
        }
    }
}

// A hostile trail can hold millions of issues: the first ones are kept, every one is counted.
TEST(ParallelParse, KeepsTheFirstIssuesAndCountsAll)
{
    Bytes bytes = many(0, 3);
    const size_t headers = BSMParser::keptIssues + 500;
    const Bytes header = undecodableHeader();
    for (size_t i = 0; i < headers; ++i) bytes.insert(bytes.end(), header.begin(), header.end());
    // Enough records after them that a part large enough to hold every one of those headers still
    // leaves the buffer cut in parts: that part alone meets more issues than are kept.
    const Bytes after = many(3, 4000);
    bytes.insert(bytes.end(), after.begin(), after.end());
    const auto data = std::make_shared<const TrailBuffer>(bytes.begin(), bytes.end());
    const int64_t wholePart = int64_t(headers * header.size()) + 4096;
    ASSERT_GE(int64_t(bytes.size()), 2 * wholePart);
    Parallel::Pool pool(4);
    for (const auto &r : {BSMParser::parse(data, 1, 1, false), BSMParser::parseFile(data, 1, 1, pool, 1024),
                          BSMParser::parseFile(data, 1, 1, pool, wholePart)}) {
        EXPECT_EQ(r.records.size(), 4003u);
        EXPECT_EQ(r.issueCount, int64_t(headers));
        ASSERT_EQ(r.issues.size(), BSMParser::keptIssues);
        EXPECT_EQ(r.issues.front().offset, int64_t(many(0, 3).size()));
        EXPECT_EQ(r.issues.back().offset, int64_t(many(0, 3).size() + (BSMParser::keptIssues - 1) * header.size()));
    }
}

// Notes the threads that decode, and holds the first one back until another has joined it, so a
// parse that leaves everything after the claim to one thread cannot pass by luck.
class DecodingThreads : public Parallel::Interruption {
public:
    void check(uint64_t done, uint64_t) override
    {
        if (done == 0) return; // the pool's own asks, not a part's decoding
        std::unique_lock lock(m_lock);
        m_threads.insert(std::this_thread::get_id());
        m_joined.notify_all();
        if (std::exchange(m_waited, true)) return;
        m_joined.wait_for(lock, std::chrono::seconds(5), [this] { return m_threads.size() >= 2; });
    }
    size_t count()
    {
        const std::lock_guard lock(m_lock);
        return m_threads.size();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_joined;
    std::set<std::thread::id> m_threads;
    bool m_waited = false;
};

TEST(ParallelParse, AClaimPastTheEndKeepsThePartsSideBySide)
{
    const Bytes bytes = trail({claiming(16777216), many(0, 40000)});
    ASSERT_LT(bytes.size(), size_t(16777216));
    const auto data = std::make_shared<const TrailBuffer>(bytes.begin(), bytes.end());
    Parallel::Pool pool(4);
    DecodingThreads threads;
    BSMParser::TrailResult parsed;
    {
        const Parallel::InterruptionScope scope(&threads);
        parsed = BSMParser::parseFile(data, 1, 1, pool, 256 << 10);
    }
    ASSERT_EQ(parsed.records.size(), 40000u);
    ASSERT_EQ(parsed.issueCount, 1);
    EXPECT_EQ(parsed.issues.front().offset, 0);
    std::set<const RecordStorage *> storages;
    for (const AuditRecord &r : parsed.records) storages.insert(r.storage().operator->());
    EXPECT_GE(storages.size(), bytes.size() / (256 << 10) - 1) << "parts decoded after the claim";
    EXPECT_GE(threads.count(), 2u) << "threads that decoded after the claim";
}

TEST(ParallelParse, RecordsShareTheFileBuffer)
{
    const Bytes bytes = many(0, 100);
    const auto data = std::make_shared<const TrailBuffer>(bytes.begin(), bytes.end());
    Parallel::Pool pool(4);
    const auto parsed = BSMParser::parseFile(data, 1, 1, pool, 256);
    ASSERT_EQ(parsed.records.size(), 100u);
    for (const AuditRecord &r : parsed.records) {
        EXPECT_GE(r.raw().data(), data->data());
        EXPECT_LE(r.raw().data() + r.raw().size(), data->data() + data->size());
    }
}

} // namespace
