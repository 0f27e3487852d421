#include "Engine/BSM/AuditCatalog.h"
#include "Engine/Support/Resources.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

namespace {

namespace fs = std::filesystem;

AuditCatalog eventsOnly(const std::string &eventText)
{
    return AuditCatalog(eventText, "");
}

TEST(AuditCatalog, ReadsEventLines)
{
    struct Case {
        const char *name;
        std::string text;
        std::optional<AuditEventInfo> expected; // nullopt: the line is ignored
    };
    const Case cases[] = {
        {"plain line", "7:AUE_EXEC:exec(2):pc,ex\n", AuditEventInfo{7, "AUE_EXEC", "exec(2)", {"pc", "ex"}}},
        {"first of two lines for a number wins", "7:AUE_ONE:first:pc\n7:AUE_TWO:second:lo\n",
         AuditEventInfo{7, "AUE_ONE", "first", {"pc"}}},
        {"middle fields joined back into the description", "6152:AUE_login:a:b:lo,aa",
         AuditEventInfo{6152, "AUE_login", "a:b", {"lo", "aa"}}},
        {"number trimmed, name kept as it stands", " \t42 : AUE_X :d:pc", AuditEventInfo{42, " AUE_X ", "d", {"pc"}}},
        {"class pieces trimmed, empty pieces dropped", "9:AUE_C:d:, lo ,,aa",
         AuditEventInfo{9, "AUE_C", "d", {"lo", "aa"}}},
        {"empty description and no classes", "8:AUE_E::", AuditEventInfo{8, "AUE_E", "", {}}},
        {"empty lines and a line without newline", "\n\n5:AUE_F:f:fr", AuditEventInfo{5, "AUE_F", "f", {"fr"}}},
        {"upper bound of the number", "65535:AUE_MAX:m:ot", AuditEventInfo{65535, "AUE_MAX", "m", {"ot"}}},
        {"three fields are too few", "7:AUE_EXEC:exec(2)", std::nullopt},
        {"number not decimal", "0x7:AUE_EXEC:exec(2):pc", std::nullopt},
        {"number out of range", "70000:AUE_BIG:d:pc", std::nullopt},
        {"negative number", "-7:AUE_NEG:d:pc", std::nullopt},
        {"comment line", "#7:AUE_EXEC:exec(2):pc", std::nullopt},
        {"comment does not hide the next line", "# x:y:z:w\n7:AUE_EXEC:e:pc",
         AuditEventInfo{7, "AUE_EXEC", "e", {"pc"}}},
    };
    for (const Case &c : cases) {
        const AuditCatalog catalog = eventsOnly(c.text);
        if (!c.expected) {
            EXPECT_TRUE(catalog.events.empty()) << c.name;
            continue;
        }
        const auto it = catalog.events.find(c.expected->number);
        ASSERT_NE(it, catalog.events.end()) << c.name;
        EXPECT_EQ(it->second, *c.expected) << c.name;
        EXPECT_EQ(catalog.events.size(), 1u) << c.name;
    }
}

TEST(AuditCatalog, ReadsClassLines)
{
    struct Case {
        const char *name;
        std::string text;
        std::vector<AuditClassInfo> expected;
    };
    // Each rejected line sits beside a good one so the fallback table stays out of the way.
    const std::string good = "\n0x1:fr:file read";
    const AuditClassInfo fr{0x1, "fr", "file read"};
    const Case cases[] = {
        {"0x prefix", "0x00001000:lo:login_logout", {{0x1000, "lo", "login_logout"}}},
        {"bare hex", "1000:lo:login_logout", {{0x1000, "lo", "login_logout"}}},
        {"upper-case digits, full width", "0xFFFFFFFF:all:all flags set", {{0xFFFFFFFF, "all", "all flags set"}}},
        {"every 0x removed", "0x0x10:fc:c", {{0x10, "fc", "c"}}},
        {"description keeps its colons", "0x2:fw:a:b:c", {{0x2, "fw", "a:b:c"}}},
        {"empty pieces skipped", "0x4::fa:attr", {{0x4, "fa", "attr"}}},
        {"fields kept untrimmed", "0x8: fm : modify ", {{0x8, " fm ", " modify "}}},
        {"duplicates kept in order", "0x1:fr:a\n0x2:fr:b", {{0x1, "fr", "a"}, {0x2, "fr", "b"}}},
        {"leading space in the mask", " 0x10:fc:c" + good, {fr}},
        {"two fields", "0x10:fc" + good, {fr}},
        {"two fields and a trailing colon", "0x10:fc:" + good, {fr}},
        {"mask not hex", "0x1g:fc:c" + good, {fr}},
        {"mask over 32 bits", "0x100000000:fc:c" + good, {fr}},
        {"mask only 0x", "0x:fc:c" + good, {fr}},
        {"comment", "#0x10:fc:c" + good, {fr}},
    };
    for (const Case &c : cases) EXPECT_EQ(AuditCatalog("", c.text).classes, c.expected) << c.name;
}

TEST(AuditCatalog, FallsBackToBuiltInClassesWhenNoneRead)
{
    for (const char *text : {"", "# only a comment\n", "zz:bad:line\n"}) {
        const AuditCatalog catalog("", text);
        ASSERT_EQ(catalog.classes.size(), 18u) << text;
        EXPECT_EQ(catalog.classes.front(), (AuditClassInfo{0x1, "fr", "file read"}));
        EXPECT_EQ(catalog.classes.back(), (AuditClassInfo{0x80000000, "ot", "miscellaneous"}));
        EXPECT_EQ(catalog.mask({"lo", "aa"}), 0x3000u);
        EXPECT_EQ(catalog.mask({"io", "ex"}), 0x60000000u);
    }
}

TEST(AuditCatalog, MasksOfClassesAndEvents)
{
    const AuditCatalog catalog("1:AUE_A:a:lo,aa\n"
                               "2:AUE_B:b:zz,yy\n"
                               "3:AUE_C:c:\n"
                               "4:AUE_D:d:fr\n",
                               "0x1000:lo:login\n"
                               "0x2000:aa:auth\n"
                               "0x0001:fr:read\n"
                               "0x0004:fr:read again\n");
    EXPECT_EQ(catalog.classMaskByName.at("fr"), 0x4u) << "the later line for a name wins";
    const std::pair<uint16_t, uint32_t> masks[] = {{1, 0x3000}, {2, 0}, {3, 0}, {4, 0x4}};
    EXPECT_EQ(catalog.eventMasks.size(), 4u);
    for (const auto &[event, mask] : masks) EXPECT_EQ(catalog.eventMasks.at(event), mask) << event;

    EXPECT_EQ(catalog.mask({}), 0u);
    EXPECT_EQ(catalog.mask({"nope"}), 0u);
    EXPECT_EQ(catalog.mask({"lo", "nope", "fr"}), 0x1004u);
}

TEST(AuditCatalog, SelectableClassesLeaveOutNoneAllAndReserved)
{
    const AuditCatalog catalog("", "0x00000000:no:invalid class\n"
                                   "0x00001000:lo:login_logout\n"
                                   "0x00010000:res:reserved\n"
                                   "0xffffffff:all:all flags set\n"
                                   "0x40000000:ex:exec\n");
    const std::vector<AuditClassInfo> expected = {{0x1000, "lo", "login_logout"}, {0x40000000, "ex", "exec"}};
    EXPECT_EQ(catalog.selectableClasses(), expected);
}

TEST(AuditCatalog, EventTexts)
{
    const AuditCatalog catalog("7:AUE_EXEC:exec(2):pc\n8:AUE_QUIET::pc\n", "");
    struct Case {
        uint16_t number;
        const char *label;
        const char *name;
        const char *description;
    };
    const Case cases[] = {
        {7, "exec(2)", "AUE_EXEC", "exec(2)"},
        {8, "AUE_QUIET", "AUE_QUIET", ""},
        {5, "event 5", "AUE_5", "event 5"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(catalog.eventLabel(c.number), c.label) << c.number;
        EXPECT_EQ(catalog.eventName(c.number), c.name) << c.number;
        EXPECT_EQ(catalog.eventDescription(c.number), c.description) << c.number;
    }
}

class AuditCatalogLoad : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "catalog-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root = pattern;
        fs::create_directories(root / "system");
        fs::create_directories(root / "bundle");
        Resources::setDirectory((root / "bundle").string());
    }
    void TearDown() override
    {
        Resources::setDirectory("");
        fs::remove_all(root);
    }
    void write(const std::string &relative, const std::string &text)
    {
        std::ofstream(root / relative, std::ios::binary) << text;
    }
    std::string load() const { return AuditCatalog::load("audit_event", (root / "system").string() + "/"); }

    fs::path root;
};

TEST_F(AuditCatalogLoad, PrefersTheSystemFileOverTheBundledCopy)
{
    write("system/audit_event", "1:AUE_SYS:s:pc\n");
    write("bundle/audit_event", "1:AUE_BUNDLE:b:pc\n");
    EXPECT_EQ(load(), "1:AUE_SYS:s:pc\n");
}

TEST_F(AuditCatalogLoad, FallsBackToTheBundledCopy)
{
    struct Case {
        const char *name;
        std::optional<std::string> system; // nullopt: no file
        bool systemIsFolder;
    };
    const Case cases[] = {
        {"system file missing", std::nullopt, false},
        {"system file empty", "", false},
        {"system file not UTF-8", "1:AUE_\xff:s:pc\n", false},
        {"system path a folder", std::nullopt, true},
    };
    write("bundle/audit_event", "1:AUE_BUNDLE:b:pc\n");
    for (const Case &c : cases) {
        fs::remove_all(root / "system/audit_event");
        if (c.system) write("system/audit_event", *c.system);
        if (c.systemIsFolder) fs::create_directory(root / "system/audit_event");
        EXPECT_EQ(load(), "1:AUE_BUNDLE:b:pc\n") << c.name;
    }
}

TEST_F(AuditCatalogLoad, GivesEmptyTextWhenNothingUsable)
{
    EXPECT_EQ(load(), "") << "no file anywhere";
    write("bundle/audit_event", "1:AUE_\xc3:b:pc\n");
    EXPECT_EQ(load(), "") << "bundled copy not UTF-8";
}

TEST(AuditCatalogShared, FindsTheBundledTables)
{
    const AuditCatalog &catalog = AuditCatalog::shared();
    EXPECT_EQ(&catalog, &AuditCatalog::shared());
    EXPECT_EQ(catalog.eventName(7), "AUE_EXEC");
    EXPECT_EQ(catalog.events.at(7).classes, (std::vector<std::string>{"pc", "ex"}));
    EXPECT_EQ(catalog.eventMasks.at(7), 0x40000080u);
    EXPECT_EQ(catalog.mask({"lo"}), 0x1000u);
}

} // namespace
