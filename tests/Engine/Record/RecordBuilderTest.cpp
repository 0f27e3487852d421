#include "Engine/Parser/BSMParser.h"
#include "Engine/Record/RecordBuilder.h"
#include "support/TrailBuilder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> numberedTexts(size_t count, const std::string &prefix)
{
    std::vector<std::string> texts;
    for (size_t i = 0; i < count; ++i) texts.push_back(prefix + std::to_string(i));
    return texts;
}

SubjectInfo someone(uint32_t pid)
{
    SubjectInfo s;
    s.auid = 501;
    s.euid = 0;
    s.pid = pid;
    s.sid = 100001;
    s.terminalAddress = "10.0.0.5";
    return s;
}

struct Shape {
    const char *name;
    RecordContent content;
};

// Every kind of part, alone and together, around the sizes where the packing changes.
std::vector<Shape> shapes()
{
    std::vector<Shape> all;
    const auto add = [&](const char *name, auto fill) {
        RecordContent c;
        c.id = int64_t(all.size() + 1);
        c.source = 3;
        c.event = 72;
        c.modifier = 1;
        c.time = 1714564800.25;
        c.returnStatus = 2;
        c.returnValue = -1;
        c.tokenCount = 4;
        c.raw = {0x14, 0, 0, 0, 18};
        fill(c);
        all.push_back({name, std::move(c)});
    };
    add("nothing variable", [](RecordContent &) {});
    add("one of each list", [](RecordContent &c) {
        c.paths = {"/etc/hosts"};
        c.texts = {"successful login"};
        c.execArgs = {"ls", "-l"};
        c.sockets = {"10.0.0.9:22"};
        c.args = {{1, 0x601, "flags"}};
    });
    add("empty texts keep their places", [](RecordContent &c) {
        c.paths = {"", "/b", ""};
        c.args = {{2, 0, ""}};
    });
    add("exit status alone", [](RecordContent &c) { c.exitStatus = -9; });
    add("file owner without a mode", [](RecordContent &c) { c.fileOwner = 0; });
    add("every scalar and an error", [](RecordContent &c) {
        c.exitStatus = 3;
        c.fileMode = 0104755;
        c.fileOwner = 501;
        c.decodeError = "unknown token 0x99 (12 bytes not decoded)";
        c.paths = {"/bin/sh"};
    });
    add("error without other parts", [](RecordContent &c) { c.decodeError = "short"; });
    add("largest counts that pack small", [](RecordContent &c) {
        c.paths = numberedTexts(15, "/p");
        c.texts = numberedTexts(15, "t");
        c.sockets = numberedTexts(15, "s");
        c.execArgs = numberedTexts(255, "a");
        for (uint8_t n = 1; n <= 15; ++n) c.args.push_back({n, uint64_t(n) << 40, "arg" + std::to_string(n)});
    });
    add("one path too many to pack small", [](RecordContent &c) {
        c.paths = numberedTexts(16, "/p");
        c.fileMode = 0644;
    });
    add("one exec argument too many", [](RecordContent &c) { c.execArgs = numberedTexts(256, "a"); });
    add("one argument too many", [](RecordContent &c) {
        for (uint8_t n = 0; n < 16; ++n) c.args.push_back({n, UINT64_MAX - n, "a"});
        c.texts = {"x"};
    });
    add("a text longer than a block", [](RecordContent &c) {
        c.texts = {std::string(70000, 'x'), "after"};
        c.paths = {"/p"};
    });
    add("subject, target and identity", [](RecordContent &c) {
        c.subject = someone(100);
        c.target = someone(200);
        c.identity = SigningIdentity{2, "com.example.tool", "TEAM123456", "0123456789abcdef0123"};
        c.processImage = "/usr/bin/tool";
    });
    return all;
}

TEST(RecordBuilder, EachShapeReadsBackAsBuilt)
{
    for (const Shape &shape : shapes()) {
        const AuditRecord record = shape.content.record();
        EXPECT_EQ(RecordContent::of(record), shape.content) << shape.name;
        EXPECT_EQ(record.raw().size(), shape.content.raw.size()) << shape.name;
    }
}

// Records of one storage, built one after another in small blocks, each read back whole: a part
// written past its block or read with another record's layout shows up here.
TEST(RecordBuilder, RecordsSharingOneStorageKeepTheirOwnParts)
{
    const std::vector<Shape> all = shapes();
    auto bytes = std::make_shared<const TrailBuffer>(18 * all.size(), 0x14);
    RecordBuilder builder(bytes, 0);
    std::vector<AuditRecord> records(all.size());
    for (size_t i = 0; i < all.size(); ++i) {
        const RecordContent &c = all[i].content;
        AuditRecord &record = records[i];
        record.id = c.id;
        for (const std::string &path : c.paths) builder.addPath(path);
        for (const std::string &text : c.texts) builder.addText(text);
        for (const std::string &socket : c.sockets) builder.addSocket(socket);
        for (const ArgInfo &arg : c.args) builder.addArg(arg.number, arg.value, arg.name);
        builder.setExecArgs(c.execArgs);
        if (c.exitStatus) builder.setExitStatus(*c.exitStatus);
        builder.setFile(c.fileMode, c.fileOwner);
        if (c.decodeError) builder.setDecodeError(*c.decodeError);
        if (c.subject) builder.setSubject(*c.subject);
        builder.finish(record, 18 * i, 18);
    }
    builder.trim();
    for (size_t i = 0; i < all.size(); ++i) {
        const RecordContent &c = all[i].content;
        const AuditRecord &r = records[i];
        EXPECT_EQ(r.paths(), c.paths) << all[i].name;
        EXPECT_EQ(r.texts(), c.texts) << all[i].name;
        EXPECT_EQ(r.sockets(), c.sockets) << all[i].name;
        EXPECT_EQ(r.execArgs(), c.execArgs) << all[i].name;
        EXPECT_EQ(r.args(), c.args) << all[i].name;
        EXPECT_EQ(r.exitStatus(), c.exitStatus) << all[i].name;
        EXPECT_EQ(r.fileMode(), c.fileMode) << all[i].name;
        EXPECT_EQ(r.fileOwner(), c.fileOwner) << all[i].name;
        EXPECT_EQ(r.decodeError(), c.decodeError) << all[i].name;
        EXPECT_EQ(r.raw().data(), bytes->data() + 18 * i) << all[i].name;
        EXPECT_EQ(r.raw().size(), 18u) << all[i].name;
    }
}

// A text handed in as a view into the buffer stays a view only inside its own record's bytes: a
// view reaching past them is copied, so the record never reads what is not its own.
TEST(RecordBuilder, ViewsIntoTheBufferStayViewsOnlyInsideTheirRecord)
{
    const std::string text = "/etc/hosts/bin/sh";
    auto bytes = std::make_shared<const TrailBuffer>(text.begin(), text.end());
    const std::string_view all(reinterpret_cast<const char *>(bytes->data()), bytes->size());
    RecordBuilder builder(bytes, bytes->size());
    AuditRecord first, second;
    builder.addPath(all.substr(0, 10));
    builder.addPath(all.substr(5, 10)); // reaches into the next record
    builder.addText("copied");
    builder.finish(first, 0, 10);
    builder.addPath(all.substr(10));
    builder.addArg(3, 9, all.substr(15, 2));
    builder.finish(second, 10, 7);
    builder.trim();

    EXPECT_EQ(first.paths(), (std::vector<std::string>{"/etc/hosts", "hosts/bin/"}));
    EXPECT_EQ(first.texts(), (std::vector<std::string>{"copied"}));
    EXPECT_EQ(first.paths()[0].data(), all.data());
    EXPECT_NE(first.paths()[1].data(), all.data() + 5);
    EXPECT_EQ(second.paths(), (std::vector<std::string>{"/bin/sh"}));
    EXPECT_EQ(second.paths()[0].data(), all.data() + 10);
    EXPECT_EQ(second.args(), (std::vector<ArgInfo>{{3, 9, "sh"}}));
    EXPECT_EQ(second.args()[0].name.data(), all.data() + 15);
    EXPECT_EQ(RecordContent::of(second).record().paths(), second.paths());
}

// A storage for a large buffer takes blocks mapped on their own; trimming gives back the end of
// the last in place, and records finished afterwards go on in new blocks.
TEST(RecordBuilder, LargeBlocksReadBackWholeAfterTheirEndsAreGivenBack)
{
    const size_t before = Memory::mappedBytes();
    {
        auto bytes = std::make_shared<const TrailBuffer>(18, 0x14);
        RecordBuilder builder(bytes, 32 << 20);
        std::vector<AuditRecord> records(3000);
        const auto path = [](size_t i) { return std::string(2000 + i % 900, char('a' + i % 26)) + std::to_string(i); };
        const auto build = [&](size_t from, size_t to) {
            for (size_t i = from; i < to; ++i) {
                builder.addPath(path(i));
                builder.addArg(uint8_t(i), i, "n");
                builder.finish(records[i], 0, 18);
            }
        };
        build(0, 2000);
        const size_t untrimmed = Memory::mappedBytes();
        builder.trim();
        EXPECT_LT(Memory::mappedBytes(), untrimmed);
        build(2000, records.size());
        builder.trim();
        for (size_t i = 0; i < records.size(); ++i) {
            ASSERT_EQ(records[i].paths().size(), 1u) << i;
            EXPECT_EQ(records[i].paths().front(), path(i)) << i;
            EXPECT_EQ(records[i].args().front().value, i) << i;
        }
    }
    EXPECT_EQ(Memory::mappedBytes(), before);
}

TEST(RecordBuilder, LaterExecArgumentsReplaceEarlierOnes)
{
    RecordBuilder builder(nullptr, 0);
    builder.setExecArgs({"first", "second", "third"});
    builder.addPath("/bin/ls");
    builder.setExecArgs({"ls", "-a"});
    AuditRecord record;
    builder.finish(record, 0, 0);
    EXPECT_EQ(record.execArgs(), (std::vector<std::string>{"ls", "-a"}));
    EXPECT_EQ(record.paths(), std::vector<std::string>{"/bin/ls"});

    // The next record starts with nothing of the one before.
    AuditRecord next;
    builder.finish(next, 0, 0);
    EXPECT_TRUE(next.execArgs().empty());
    EXPECT_TRUE(next.paths().empty());
    EXPECT_EQ(next.subject(), nullptr);
}

TEST(RecordBuilder, OneSubjectIsStoredOncePerValue)
{
    RecordBuilder builder(nullptr, 0);
    AuditRecord a, b, c;
    builder.setSubject(someone(100));
    builder.finish(a, 0, 0);
    builder.setSubject(someone(100));
    builder.setTarget(someone(100));
    builder.finish(b, 0, 0);
    builder.setSubject(someone(101));
    builder.finish(c, 0, 0);
    EXPECT_EQ(a.subject(), b.subject());
    EXPECT_EQ(b.subject(), b.target());
    EXPECT_NE(a.subject(), c.subject());
    EXPECT_EQ(c.subject()->pid, 101u);
}

// The list views hand out iterators that do not point into the temporary list they came from.
TEST(RecordBuilder, IteratorsOutliveTheListTheyCameFrom)
{
    RecordContent content;
    content.paths = {"/a", "/bb", "/ccc"};
    const AuditRecord record = content.record();
    const auto found = std::find(record.paths().begin(), record.paths().end(), "/bb");
    ASSERT_NE(found, record.paths().end());
    EXPECT_EQ(*found, "/bb");
    EXPECT_EQ(*(found + 1), "/ccc");
    EXPECT_EQ(record.paths().end() - record.paths().begin(), 3);
}

// A record copied out of a parse result keeps the trail's bytes and its parts alive on its own.
TEST(RecordBuilder, ACopiedRecordKeepsItsStorage)
{
    using namespace TestBSM;
    TestBSM::Bytes trail;
    for (uint32_t i = 0; i < 3; ++i) {
        const TestBSM::Bytes record =
            TestBSM::TrailRecordBuilder(72, 1700000000 + i).subject().path("/tmp/file" + std::to_string(i)).build();
        trail.insert(trail.end(), record.begin(), record.end());
    }
    std::optional<AuditRecord> kept;
    std::vector<uint8_t> rawCopy;
    {
        auto result = BSMParser::parse(std::make_shared<const TrailBuffer>(trail.begin(), trail.end()), 1, 1, false);
        ASSERT_EQ(result.records.size(), 3u);
        kept = result.records[1];
        rawCopy.assign(kept->raw().begin(), kept->raw().end());
    }
    EXPECT_EQ(kept->paths(), std::vector<std::string>{"/tmp/file1"});
    EXPECT_EQ(std::vector<uint8_t>(kept->raw().begin(), kept->raw().end()), rawCopy);
    ASSERT_NE(kept->subject(), nullptr);

    // Copies and moves share one storage, and the last one standing frees it (ASan tells).
    AuditRecord copy = *kept;
    kept.reset();
    AuditRecord moved = std::move(copy);
    EXPECT_EQ(moved.paths().front(), "/tmp/file1");
    copy = moved;
    moved = AuditRecord();
    EXPECT_EQ(copy.paths().front(), "/tmp/file1");
}

} // namespace
