#include "Engine/Analysis/RecordFormatter.h"

#include "Engine/BSM/UserResolver.h"
#include "Engine/Record/RecordBuilder.h"
#include "support/TrailBuilder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace TestBSM;
// The trail builder, not the engine's class of the same name.
using TestBSM::TrailRecordBuilder;

RecordContent contentOf(Bytes bytes)
{
    RecordContent record;
    record.raw = std::move(bytes);
    return record;
}

AuditRecord recordOf(Bytes bytes)
{
    return contentOf(std::move(bytes)).record();
}

std::vector<uint8_t> bytesOf(const std::string &text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

TEST(RecordFormatterHex, DumpsOffsetHexAndAsciiColumns)
{
    const std::string blanks42(42, ' ');
    const std::string blanks45(45, ' ');
    std::vector<uint8_t> worked = bytesOf("Hello, trail");
    worked.insert(worked.end(), {0x00, 0x7f, 0x80, 0xff, 0x0a, 'A'});
    std::vector<uint8_t> sixteen = bytesOf("0123456789abcdef");
    std::vector<uint8_t> seventeen = sixteen;
    seventeen.push_back(' ');
    struct Case {
        const char *name;
        std::vector<uint8_t> bytes;
        int width;
        std::string expected;
    };
    const Case cases[] = {
        {"no bytes give no text at all", {}, 16, ""},
        {"the 18-byte worked example", worked, 16,
         "0000  48 65 6c 6c 6f 2c 20 74 72 61 69 6c 00 7f 80 ff  Hello, trail....\n"
         "0010  0a 41"
             + blanks42 + "  .A\n"},
        {"16 bytes fill one line without padding", sixteen, 16,
         "0000  30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66  0123456789abcdef\n"},
        {"17 bytes: the 17th alone on a padded line, 0x20 as a blank", seventeen, 16,
         "0000  30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66  0123456789abcdef\n"
         "0010  20"
             + blanks45 + "   \n"},
        {"another width pads to width*3-1", {0x41, 0x42, 0x43}, 4, "0000  41 42 43     ABC\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(RecordFormatter::hex(c.bytes, c.width), c.expected);
    }
    const std::string example = RecordFormatter::hex(worked, 16);
    EXPECT_EQ(example.find('\n'), 71u) << "the first line is 71 characters before its line feed";
    EXPECT_EQ(example.size(), 71u + 1 + 57u + 1);
}

TEST(RecordFormatterHex, OffsetsGrowPastFourDigits)
{
    const std::vector<uint8_t> bytes(65536 + 20, 0x41);
    const std::string dump = RecordFormatter::hex(bytes, 16);
    const size_t line = 6 + 47 + 2 + 16 + 1;
    EXPECT_EQ(dump.substr(0, 6), "0000  ");
    EXPECT_EQ(dump.substr(4095 * line, 6), "fff0  ");
    EXPECT_EQ(dump.substr(4096 * line, 7), "10000  ") << "offsets from 65536 take five digits";
    EXPECT_EQ(dump.substr(4097 * line + 1, 7), "10010  ");
    EXPECT_EQ(dump.back(), '\n');
}

TEST(RecordFormatterHex, WidthBelowOneStillEnds)
{
    EXPECT_EQ(RecordFormatter::hex(bytesOf("ab"), 0), "0000  61  a\n0001  62  b\n");
}

TEST(RecordFormatterText, OneLinePerTokenFromTheRawBytes)
{
    UserResolver users;
    users.seed(501, "orvik");
    struct Case {
        const char *name;
        Bytes bytes;
        std::vector<std::string> expectedLines; // "*" skips a line whose text comes from another layer
    };
    const Case cases[] = {
        {"path and text lines as the worked examples",
         TrailRecordBuilder(72).path("/tmp/x").text("hello").build(),
         {"*", "path, path=/tmp/x", "text, text=hello", "trailer, record bytes=44"}},
        {"values copied verbatim, separators and all",
         TrailRecordBuilder(72).text("a, b=c").build(),
         {"*", "text, text=a, b=c", "trailer, record bytes=35"}},
        {"a line break in a value cannot start a line of its own",
         TrailRecordBuilder(23).execArgs({"sh", "-c", "x\ntrailer, record bytes=1\r\t\x1b"}).build(),
         {"*", "exec arg, argc=3, argv=sh -c x\\ntrailer, record bytes=1\\r\\t\\x1b", "trailer, record bytes=65"}},
        {"no tokens and no error: the empty text", {}, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string text = RecordFormatter::text(recordOf(c.bytes), users);
        std::vector<std::string> lines;
        size_t start = 0;
        while (!text.empty()) {
            const size_t end = text.find('\n', start);
            lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
            if (end == std::string::npos) break;
            start = end + 1;
        }
        ASSERT_EQ(lines.size(), c.expectedLines.size()) << text;
        for (size_t i = 0; i < lines.size(); ++i) {
            if (c.expectedLines[i] != "*") {
                EXPECT_EQ(lines[i], c.expectedLines[i]);
            }
        }
        if (!text.empty()) {
            EXPECT_NE(text.back(), '\n');
        }
    }
}

TEST(RecordFormatterText, ReadsTheBytesNotTheStoredFields)
{
    RecordContent record = contentOf(TrailRecordBuilder(72).path("/etc/hosts").build());
    record.paths = {"/somewhere/else"};
    record.tokenCount = 9;
    const std::string text = RecordFormatter::text(record.record());
    EXPECT_NE(text.find("path, path=/etc/hosts"), std::string::npos) << text;
    EXPECT_EQ(text.find("/somewhere/else"), std::string::npos);
    EXPECT_EQ(text.substr(0, 8), "header, ") << "every line starts with the token's name";
}

TEST(RecordFormatterText, DecodingErrorsEndTheText)
{
    // Cut inside the text token: the path decoded before it is still listed.
    Bytes cut = TrailRecordBuilder(72).path("/tmp/x").text("hello").withoutTrailer().build();
    cut.resize(cut.size() - 3);
    const std::string partial = RecordFormatter::text(recordOf(cut));
    const size_t errorLine = partial.rfind('\n');
    ASSERT_NE(errorLine, std::string::npos);
    EXPECT_EQ(partial.substr(errorLine + 1, 2), "! ") << partial;
    EXPECT_GT(partial.size(), errorLine + 3) << "the error has its text";
    EXPECT_NE(partial.find("path, path=/tmp/x\n! "), std::string::npos) << partial;

    // The first token already fails: the single error line.
    const std::string only = RecordFormatter::text(recordOf({0x14, 0x00, 0x00}));
    EXPECT_EQ(only.substr(0, 2), "! ") << only;
    EXPECT_EQ(only.find('\n'), std::string::npos) << only;
}

} // namespace
