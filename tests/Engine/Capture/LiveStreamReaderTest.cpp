#include "Engine/Capture/LiveStreamReader.h"

#include "support/TrailBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <random>
#include <thread>
#include <unistd.h>

namespace {

using namespace TestBSM;

Bytes record(uint32_t seconds)
{
    return TrailRecordBuilder(72, seconds).subject().path("/etc/hosts").returnValue(0).build();
}

Bytes slice(const Bytes &bytes, size_t from, size_t to)
{
    return Bytes(bytes.begin() + long(from), bytes.begin() + long(to));
}

// --- decoding pieces of a stream ---

struct Piece {
    Bytes bytes;
    std::vector<uint32_t> completed; // seconds of the records this piece completes
    size_t pendingAfter;
};

struct DecodeCase {
    const char *name;
    std::vector<Piece> pieces;
};

const Bytes first = record(1700000001);
const Bytes second = record(1700000002);
const Bytes third = record(1700000003);

std::vector<DecodeCase> decodeCases()
{
    const size_t n = first.size();
    return {
        {"one whole record", {{first, {1700000001}, 0}}},
        {"record split in its body", {{slice(first, 0, 20), {}, 20}, {slice(first, 20, n), {1700000001}, 0}}},
        {"record split inside its size field",
         {{slice(first, 0, 3), {}, 3}, {slice(first, 3, 9), {}, 9}, {slice(first, 9, n), {1700000001}, 0}}},
        {"two records and the start of a third",
         {{trail({first, second, slice(third, 0, 10)}), {1700000001, 1700000002}, 10},
          {slice(third, 10, third.size()), {1700000003}, 0}}},
        {"stray bytes before a record are skipped", {{trail({{0x00, 0x42, 0x99}, first}), {1700000001}, 0}}},
        {"stray bytes between reads", {{trail({first, {0x00, 0x00}}), {1700000001}, 0}, {second, {1700000002}, 0}}},
        // Resynchronisation does not look at a buffer's last 10 bytes; in a stream they wait.
        {"record cut within 10 bytes after stray bytes",
         {{trail({{0x00}, slice(first, 0, 8)}), {}, 8}, {slice(first, 8, n), {1700000001}, 0}}},
        {"record cut after its first byte, after stray bytes",
         {{trail({{0x42, 0x42}, slice(first, 0, 1)}), {}, 1}, {slice(first, 1, n), {1700000001}, 0}}},
        {"stray bytes after a record and a cut record",
         {{trail({first, {0x00}, slice(second, 0, 6)}), {1700000001}, 6}, {slice(second, 6, n), {1700000002}, 0}}},
        {"a file token between records is not a record",
         {{trail({Token::file(1700000000, 0, "trail"), first}), {1700000001}, 0}}},
    };
}

TEST(LiveStreamReaderDecode, KeepsOnlyTheUnfinishedRecordForTheNextRead)
{
    for (const DecodeCase &c : decodeCases()) {
        SCOPED_TRACE(c.name);
        LiveStreamReader reader;
        for (size_t i = 0; i < c.pieces.size(); ++i) {
            SCOPED_TRACE("piece " + std::to_string(i));
            const std::vector<AuditRecord> records = reader.decode(c.pieces[i].bytes);
            ASSERT_EQ(records.size(), c.pieces[i].completed.size());
            for (size_t k = 0; k < records.size(); ++k) {
                EXPECT_EQ(records[k].time, c.pieces[i].completed[k]);
                EXPECT_EQ(records[k].source, -1);
                EXPECT_EQ(records[k].paths(), std::vector<std::string>{"/etc/hosts"});
            }
            EXPECT_EQ(reader.pendingBytes(), c.pieces[i].pendingAfter);
        }
    }
}

// Bytes that never make a record must not pile up: a stream of them would otherwise grow the
// pending buffer without end.
TEST(LiveStreamReaderDecode, BytesThatNeverFormARecordDoNotAccumulate)
{
    struct Case {
        const char *name;
        uint8_t fill;
    };
    const Case cases[] = {
        {"zeros", 0x00},
        {"a byte that is not a header", 0x42},
        {"header ids with an implausible size", 0x14},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        LiveStreamReader reader;
        const Bytes junk(65536, c.fill);
        for (int i = 0; i < 32; ++i) {
            EXPECT_TRUE(reader.decode(junk).empty());
            EXPECT_LE(reader.pendingBytes(), 10u);
        }
        // Whatever stayed behind does not swallow the records that follow.
        const std::vector<AuditRecord> records = reader.decode(trail({first, second}));
        ASSERT_EQ(records.size(), 2u);
        EXPECT_EQ(records[1].time, 1700000002);
    }
}

// A header that declares a large record makes the reader wait for that many bytes, and no more.
TEST(LiveStreamReaderDecode, ADeclaredSizeBoundsTheWait)
{
    LiveStreamReader reader;
    const uint32_t declared = 1 << 20;
    const Bytes header = Token::header(declared, 72, 1700000000);
    EXPECT_TRUE(reader.decode(header).empty());
    const Bytes filler(65536, 0);
    size_t most = 0;
    for (size_t sent = header.size(); sent < declared + filler.size(); sent += filler.size()) {
        reader.decode(filler);
        most = std::max(most, reader.pendingBytes());
    }
    EXPECT_LT(most, size_t(declared));
    EXPECT_LE(reader.pendingBytes(), 10u + filler.size());
    EXPECT_EQ(reader.decode(trail({first, second})).size(), 2u);
}

// --- the same result however the bytes are cut ---

// What a reader makes of a stream: the bytes of every record, in order, and where it stopped.
struct StreamOutcome {
    std::vector<Bytes> records;
    size_t stop = 0;
    bool operator==(const StreamOutcome &) const = default;
    friend void PrintTo(const StreamOutcome &o, std::ostream *out)
    {
        *out << o.records.size() << " records, stopped at byte " << o.stop;
    }
};

StreamOutcome readInPieces(const Bytes &bytes, const std::vector<size_t> &cuts)
{
    LiveStreamReader reader;
    StreamOutcome out;
    size_t from = 0;
    auto feed = [&](size_t to) {
        for (const AuditRecord &record : reader.decode({bytes.data() + from, to - from}))
            out.records.emplace_back(record.raw().begin(), record.raw().end());
        from = to;
    };
    for (const size_t cut : cuts) feed(cut);
    feed(bytes.size());
    out.stop = bytes.size() - reader.pendingBytes();
    return out;
}

Bytes fileBytes(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Damaged trails: clean records with stray bytes and false headers put before, between and
// after them. A false header that resynchronisation rejects (version byte 7, or a size beyond
// what it trusts) must stay rejected when a read ends inside it.
std::vector<std::pair<std::string, Bytes>> damagedTrails()
{
    const Bytes r1 = record(1700000001), r2 = record(1700000002), r3 = record(1700000003);
    const Bytes cutRecord(r1.begin(), r1.begin() + 30);
    const std::pair<const char *, Bytes> damage[] = {
        {"stray bytes", {0x00, 0x42, 0xff}},
        {"false header of 501 bytes", {0x00, 0x14, 0x00, 0x00, 0x01, 0xf5, 0x07}},
        {"false header of 1 MiB", {0x00, 0x14, 0x00, 0x10, 0x00, 0x00, 0x0b}},
        {"two false headers", {0x42, 0x14, 0x00, 0x00, 0x00, 0x40, 0x07, 0x74, 0x00, 0x00, 0x01, 0x00, 0x09}},
        {"implausible size", {0x14, 0xff, 0xff, 0xff, 0xff, 0x0b}},
        {"record cut short", cutRecord},
        {"damaged file token", {0x11, 0x00, 0x00, 0x00, 0x01, 0x00}},
    };
    std::vector<std::pair<std::string, Bytes>> trails;
    for (const auto &[name, bytes] : damage) {
        trails.emplace_back(std::string(name) + " first", trail({bytes, r1, r2}));
        trails.emplace_back(std::string(name) + " between records", trail({r1, bytes, r2, r3}));
        trails.emplace_back(std::string(name) + " last", trail({r1, r2, bytes}));
        trails.emplace_back(std::string(name) + " twice", trail({r1, bytes, bytes, r2, bytes, r3}));
    }
    // The parser's saved fuzz inputs and seed trails, damaged ones among them.
    const char *data = std::getenv("QUILLMARSH_TEST_DATA");
    if (data) {
        const std::filesystem::path root(data);
        for (const auto &folder : {root / "fuzz", root / ".." / ".." / "fuzz" / "corpus" / "parser"}) {
            if (!std::filesystem::is_directory(folder)) continue;
            for (const auto &entry : std::filesystem::directory_iterator(folder))
                trails.emplace_back(entry.path().filename().string(), fileBytes(entry.path()));
        }
    }
    return trails;
}

TEST(LiveStreamReaderDecode, EveryCutGivesTheRecordsAndStopOfOneRead)
{
    const auto trails = damagedTrails();
    ASSERT_GE(trails.size(), 35u) << "the fuzz inputs were not found";
    std::mt19937 random(16);
    for (const auto &[name, bytes] : trails) {
        SCOPED_TRACE(name);
        const StreamOutcome whole = readInPieces(bytes, {});
        for (size_t cut = 1; cut < bytes.size(); ++cut) {
            ASSERT_EQ(readInPieces(bytes, {cut}), whole) << "cut at " << cut << " of " << bytes.size();
        }
        for (int round = 0; round < 200; ++round) {
            std::vector<size_t> cuts(std::uniform_int_distribution<size_t>(2, 12)(random));
            for (size_t &cut : cuts) cut = std::uniform_int_distribution<size_t>(0, bytes.size())(random);
            std::sort(cuts.begin(), cuts.end());
            std::string shown;
            for (const size_t cut : cuts) shown += " " + std::to_string(cut);
            ASSERT_EQ(readInPieces(bytes, cuts), whole) << "cuts at" << shown;
        }
        // Byte by byte, the finest cutting there is.
        std::vector<size_t> everyByte(bytes.size());
        for (size_t i = 0; i < everyByte.size(); ++i) everyByte[i] = i;
        ASSERT_EQ(readInPieces(bytes, everyByte), whole);
    }
}

// --- reading a descriptor ---

struct Delivered {
    std::mutex lock;
    std::vector<LiveStreamReader::Batch> batches;
};

LiveStreamReader::Ending runOn(int fd, std::atomic<bool> &cancelled, Delivered &delivered)
{
    LiveStreamReader reader;
    return reader.run(fd, cancelled, std::chrono::milliseconds(10), [&](LiveStreamReader::Batch &&batch) {
        const std::lock_guard guard(delivered.lock);
        delivered.batches.push_back(std::move(batch));
    });
}

TEST(LiveStreamReaderRun, HandsOverEachReadThatCompletesRecordsWithItsSize)
{
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_NONBLOCK | O_CLOEXEC), 0);
    std::atomic<bool> cancelled = false;
    Delivered delivered;
    std::thread thread([&] { EXPECT_TRUE(runOn(ends[0], cancelled, delivered).cancelled); });

    const Bytes both = trail({first, second});
    ASSERT_EQ(::write(ends[1], both.data(), both.size()), ssize_t(both.size()));
    for (int i = 0; i < 500; ++i) {
        {
            const std::lock_guard guard(delivered.lock);
            if (!delivered.batches.empty()) break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    cancelled = true;
    thread.join();
    ::close(ends[0]);
    ::close(ends[1]);

    ASSERT_EQ(delivered.batches.size(), 1u);
    EXPECT_EQ(delivered.batches[0].records.size(), 2u);
    EXPECT_EQ(delivered.batches[0].bytes, int64_t(both.size()));
}

// A header that claims more than the pipe ever brings waits for the rest; once the pipe ends, the
// whole records behind it are handed over all the same, as reading the bytes as a file gives them.
TEST(LiveStreamReaderRun, AtTheEndOfThePipeNoRecordStaysBehindAClaim)
{
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    Bytes lie = first;
    lie[1] = 0x01, lie[2] = 0x00, lie[3] = 0x00, lie[4] = 0x00; // 16 MiB
    const Bytes bytes = trail({first, lie, second, first});
    ASSERT_EQ(::write(ends[1], bytes.data(), bytes.size()), ssize_t(bytes.size()));
    ::close(ends[1]);
    std::atomic<bool> cancelled = false;
    Delivered delivered;
    const LiveStreamReader::Ending ending = runOn(ends[0], cancelled, delivered);
    ::close(ends[0]);
    EXPECT_FALSE(ending.cancelled);
    EXPECT_EQ(ending.errorNumber, 0);
    std::vector<Bytes> records;
    for (const LiveStreamReader::Batch &batch : delivered.batches)
        for (const AuditRecord &record : batch.records) records.emplace_back(record.raw().begin(), record.raw().end());
    EXPECT_EQ(records, (std::vector<Bytes>{first, second, first}));
}

// The specified loop polls again after every failed or empty read; on a descriptor that keeps
// reporting an end or an error that is a busy loop for ever. These must end the reading instead.
TEST(LiveStreamReaderRun, EndsOnAnEndOrAnErrorInsteadOfSpinning)
{
    struct Case {
        const char *name;
        std::function<int()> open; // a descriptor in the state to show
        int errorNumber;
    };
    char folderPattern[] = "/tmp/quillmarsh-reader-XXXXXX";
    const std::string folder = ::mkdtemp(folderPattern);
    const Case cases[] = {
        {"writer gone: end of stream",
         [] {
             int ends[2];
             if (::pipe2(ends, O_CLOEXEC) != 0) return -1;
             ::close(ends[1]);
             return ends[0];
         },
         0},
        {"read error", [&] { return ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }, EISDIR},
        {"descriptor not open", [] { return 1 << 20; }, EBADF},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const int fd = c.open();
        ASSERT_GE(fd, 0);
        std::atomic<bool> cancelled = false;
        Delivered delivered;
        const LiveStreamReader::Ending ending = runOn(fd, cancelled, delivered);
        EXPECT_FALSE(ending.cancelled);
        EXPECT_EQ(ending.errorNumber, c.errorNumber);
        EXPECT_TRUE(delivered.batches.empty());
        if (fd < (1 << 20)) ::close(fd);
    }
    ::rmdir(folder.c_str());
}

} // namespace
