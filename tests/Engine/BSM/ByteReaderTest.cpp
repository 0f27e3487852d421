#include "Engine/BSM/ByteReader.h"
#include "Engine/BSM/UTF8.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<uint8_t>;

TEST(ByteReader, ReadsBigEndianIntegers)
{
    const Bytes data = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f};
    ByteReader r(data);
    EXPECT_EQ(r.u8(), 0x01);
    EXPECT_EQ(r.u16(), 0x0203);
    EXPECT_EQ(r.u32(), 0x04050607u);
    EXPECT_EQ(r.u64(), 0x08090a0b0c0d0e0full);
    EXPECT_EQ(r.offset, 15);
}

TEST(ByteReader, FailedReadReportsRequestAndLeavesCursor)
{
    const Bytes data = {0, 0, 0xAA, 0xBB, 0xCC};
    ByteReader r(data);
    r.offset = 2;
    try {
        r.u32();
        FAIL() << "u32 past the limit must throw";
    } catch (const BSMError &e) {
        EXPECT_EQ(e.kind(), BSMError::Kind::truncated);
        EXPECT_EQ(e.needed(), 4);
        EXPECT_EQ(e.offset(), 2);
    }
    EXPECT_EQ(r.offset, 2);
    EXPECT_EQ(r.u16(), 0xAABB);
}

TEST(ByteReader, LimitBoundsReadsInsideALargerBuffer)
{
    const Bytes data = {1, 2, 3, 4, 5, 6};
    ByteReader r(data);
    r.limit = 3;
    EXPECT_EQ(r.u16(), 0x0102);
    EXPECT_THROW(r.u16(), BSMError);
    EXPECT_THROW(r.bytes(2), BSMError);
    EXPECT_EQ(r.u8(), 3);
}

TEST(ByteReader, StringDropsTrailingNulsOnly)
{
    struct Case {
        const char *name;
        Bytes bytes;
        std::string expected;
    };
    const Case cases[] = {
        {"trailing NULs dropped", {'a', 'b', 'c', 0, 0}, "abc"},
        {"inner NUL kept", {'a', 0, 'b', 0, 0}, std::string("a\0b", 3)},
        {"only NULs", {0, 0, 0, 0, 0}, ""},
    };
    for (const auto &c : cases) {
        ByteReader r(c.bytes);
        EXPECT_EQ(r.string(5), c.expected) << c.name;
        EXPECT_EQ(r.offset, 5) << c.name;
    }
}

TEST(ByteReader, StringLengthEdges)
{
    const Bytes data = {'x'};
    ByteReader r(data);
    EXPECT_EQ(r.string(0), "");
    EXPECT_EQ(r.offset, 0);
    try {
        r.string(-1);
        FAIL();
    } catch (const BSMError &e) {
        EXPECT_EQ(e.needed(), -1);
        EXPECT_EQ(e.description(), "truncated token: needed -1 bytes at offset 0");
    }
    EXPECT_THROW(r.string(2), BSMError);
    EXPECT_THROW(r.bytes(-1), BSMError);
    EXPECT_EQ(r.offset, 0);
}

TEST(ByteReader, CStringStopsAtNulOrLimit)
{
    const Bytes data = {'l', 's', 0, '-', 'l', 0};
    ByteReader r(data);
    EXPECT_EQ(r.cString(), "ls");
    EXPECT_EQ(r.cString(), "-l");
    EXPECT_EQ(r.offset, r.limit);

    const Bytes unterminated = {'a', 'b', 'c'};
    ByteReader u(unterminated);
    EXPECT_EQ(u.cString(), "abc");
    EXPECT_EQ(u.offset, 3);
    EXPECT_EQ(u.cString(), "");
    EXPECT_EQ(u.offset, 3);
}

TEST(ByteReader, AddressByType)
{
    const Bytes v4 = {10, 0, 0, 1};
    ByteReader r4(v4);
    EXPECT_EQ(r4.address(4), "10.0.0.1");

    Bytes v6(16, 0);
    v6[15] = 1;
    ByteReader r6(v6);
    EXPECT_EQ(r6.address(16), "::1");

    ByteReader bad(v4);
    try {
        bad.address(6);
        FAIL();
    } catch (const BSMError &e) {
        EXPECT_EQ(e.kind(), BSMError::Kind::malformed);
        EXPECT_EQ(e.description(), "malformed token: unknown address type 6");
    }
    EXPECT_EQ(bad.offset, 0);

    ByteReader shortV4(Bytes{1, 2});
    EXPECT_THROW(shortV4.address(4), BSMError);
}

TEST(ByteReader, Formatting)
{
    EXPECT_EQ(formatIPv6(Bytes(16, 0)), "::");
    EXPECT_EQ(formatIPv6(Bytes{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01}), "2001:db8::1");
    EXPECT_EQ(formatIPv4(Bytes{192, 168, 1, 255}), "192.168.1.255");
    EXPECT_EQ(hexString(Bytes{0x0a, 0xff}), "0aff");
    EXPECT_EQ(hexString(Bytes{}), "");
    EXPECT_EQ(BSMError::truncated(4, 17).description(), "truncated token: needed 4 bytes at offset 17");
}

TEST(UTF8, ReplacesEachMaximalIllFormedSubpart)
{
    struct Case {
        const char *name;
        std::string input;
        std::string expected;
    };
    const std::string fffd = "\xEF\xBF\xBD";
    const Case cases[] = {
        {"ascii untouched", "ls -l", "ls -l"},
        {"valid multibyte kept", "caf\xC3\xA9 \xE2\x86\x92 \xF0\x9F\x94\x91",
         "caf\xC3\xA9 \xE2\x86\x92 \xF0\x9F\x94\x91"},
        {"lone continuation",
         "a\x80"
         "b",
         "a" + fffd + "b"},
        {"truncated 3-byte sequence is one subpart", "\xE2\x86", fffd},
        {"truncated sequence then ascii",
         "\xF0\x9F\x94"
         "x",
         fffd + "x"},
        {"overlong lead bytes each replaced", "\xC0\xAF", fffd + fffd},
        {"surrogate rejected at second byte", "\xED\xA0\x80", fffd + fffd + fffd},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},
        {"invalid lead byte", "\xFF", fffd},
    };
    for (const auto &c : cases) EXPECT_EQ(UTF8::decodeLossy(c.input), c.expected) << c.name;
}

} // namespace
