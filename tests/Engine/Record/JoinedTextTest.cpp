#include "Engine/Record/JoinedText.h"

#include "Engine/BSM/CaseFold.h"
#include "Engine/Record/RecordBuilder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The texts as a record's storage holds them: exec arguments of a record of its own.
struct Stored {
    explicit Stored(std::vector<std::string> texts)
    {
        RecordContent content;
        content.execArgs = std::move(texts);
        record = content.record();
    }
    JoinedText joined(std::string_view separator) const { return JoinedText(record.execArgs(), separator); }
    AuditRecord record;
};

std::string joinedByHand(const std::vector<std::string> &texts, const std::string &separator)
{
    std::string out;
    for (size_t i = 0; i < texts.size(); ++i) out += (i ? separator : "") + texts[i];
    return out;
}

int sign(int value)
{
    return (value > 0) - (value < 0);
}

TEST(JoinedText, ReadsAnyRangeAsTheJoinedStringHolds)
{
    const std::vector<std::vector<std::string>> lists = {{"ls"},
                                                         {"ls", "-la", "/tmp"},
                                                         {"", "", ""},
                                                         {"a", "", "bc", ""},
                                                         {"\u00e9t\u00e9", "\u2192", "x"}};
    for (const std::string separator : {" ", " \u2192 ", ", "}) {
        for (const auto &texts : lists) {
            const Stored stored(texts);
            const JoinedText joined = stored.joined(separator);
            const std::string expected = joinedByHand(texts, separator);
            ASSERT_EQ(joined.size(), expected.size()) << expected;
            EXPECT_EQ(joined.toString(), expected);
            for (size_t offset = 0; offset <= expected.size(); ++offset)
                for (size_t length = 0; length <= expected.size() - offset + 1; ++length) {
                    std::string part = "<";
                    joined.append(part, offset, length);
                    EXPECT_EQ(part, "<" + expected.substr(offset, length))
                        << expected << " at " << offset << "+" << length;
                }
        }
    }
}

TEST(JoinedText, RunsJoinWithTheirOwnSeparatorAndALiteralEndsThem)
{
    const Stored paths({"/a", "/b"});
    const Stored sockets({"10.0.0.1:22"});
    JoinedText text;
    text.addRun(paths.record.execArgs(), " \u2192 ", "  ");
    text.addRun(StringList(), ", ", "  "); // no items: left out, no separator
    text.addRun(sockets.record.execArgs(), ", ", "  ");
    text.addLiteral("target pid 42", "  ");
    const std::string expected = "/a \u2192 /b  10.0.0.1:22  target pid 42";
    EXPECT_EQ(text.toString(), expected);
    // A copy keeps its own literal.
    JoinedText copy = text;
    text = JoinedText();
    EXPECT_EQ(copy.toString(), expected);
    std::string tail;
    copy.append(tail, expected.size() - 6, 100);
    EXPECT_EQ(tail, "pid 42");
}

TEST(JoinedText, AMillionEmptyTextsAreMeasuredAndReadAtTheirEnd)
{
    RecordContent content;
    content.execArgs.assign(1'000'000, std::string());
    const AuditRecord record = content.record();
    const JoinedText joined(record.execArgs(), " ");
    EXPECT_EQ(joined.size(), 999'999u);
    std::string end;
    joined.append(end, joined.size() - 3, 10);
    EXPECT_EQ(end, "   ");
    EXPECT_EQ(detailText(record).size(), joined.size());
}

TEST(JoinedText, ComparesInByteOrderFromAnyOffset)
{
    const std::string big(40000, 'x');
    const std::vector<std::vector<std::string>> lists = {{"a"}, {"a", "b"},  {"a", ""},  {"ab"},
                                                         {"B"}, {"\u00e9"},  {big, "a"}, {big, "b"},
                                                         {big}, {big + "a"}, {},         {""}};
    std::vector<Stored> stored;
    for (const auto &texts : lists) stored.emplace_back(texts);
    for (size_t i = 0; i < lists.size(); ++i)
        for (size_t j = 0; j < lists.size(); ++j) {
            const std::string a = joinedByHand(lists[i], " "), b = joinedByHand(lists[j], " ");
            EXPECT_EQ(sign(stored[i].joined(" ").compare(stored[j].joined(" "))), sign(a.compare(b)))
                << i << " vs " << j;
            if (a.size() > 20000 && b.size() > 20000) {
                EXPECT_EQ(sign(stored[i].joined(" ").compare(stored[j].joined(" "), 20000)),
                          sign(a.substr(20000).compare(b.substr(20000))));
            }
        }
}

TEST(JoinedText, FindsANeedleAcrossJoinsAndWindows)
{
    // Past the first 64 KiB window, across the window's edge and across a join.
    const std::string filler(65536 - 3, 'x');
    const Stored stored({filler + "Sec", "ret", std::string(70000, 'y'), "\u00c9t\u00c9"});
    const JoinedText joined = stored.joined(" ");
    struct Case {
        const char *query;
        bool found;
    };
    const Case cases[] = {{"secret", false},    {"sec ret", true}, {"C RE", true}, {"yyyy \u00e9t\u00e9", true},
                          {"xsec ret y", true}, {"zz", false},     {"", false}};
    for (const Case &c : cases) {
        EXPECT_EQ(joined.contains(CaseFold::Needle(c.query)), c.found) << c.query;
        EXPECT_EQ(CaseFold::Needle(c.query).foundIn(joined.toString()), c.found) << c.query;
    }
}

} // namespace
