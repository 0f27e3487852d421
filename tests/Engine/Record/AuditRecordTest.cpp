#include "Engine/Record/AuditRecord.h"
#include "Engine/Record/RecordBuilder.h"

#include "Engine/BSM/AuditCatalog.h"
#include "Engine/BSM/UserResolver.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

// Event numbers of the bundled catalogue: 7 is AUE_EXEC, "exec(2)", classes pc and ex.
constexpr uint16_t execEvent = 7;
constexpr uint16_t unknownEvent = 65000;

SubjectInfo subject(uint32_t pid, uint32_t auid = unsetID, uint32_t euid = unsetID)
{
    SubjectInfo s;
    s.pid = pid;
    s.auid = auid;
    s.euid = euid;
    return s;
}

TEST(AuditRecord, ProcessNameIsTheLastPathComponent)
{
    struct Case {
        const char *name;
        std::optional<std::string> image;
        const char *expected;
    };
    const Case cases[] = {
        {"no image", std::nullopt, ""},
        {"absolute path", "/usr/bin/ssh", "ssh"},
        {"bare name", "ssh", "ssh"},
        {"trailing slash ignored", "/usr/local/bin/", "bin"},
        {"repeated slashes", "/usr//sbin///", "sbin"},
        {"root alone", "/", "/"},
        {"only slashes", "///", "/"},
        {"empty image", "", ""},
        {"non-ASCII name", "/Applications/\u00C9diteur", "\u00C9diteur"},
    };
    for (const Case &c : cases) {
        AuditRecord record;
        record.processImage = c.image;
        EXPECT_EQ(record.processName(), c.expected) << c.name;
    }
}

// A process image is boxed once and shared by the records of the process: every copy reads the
// one value, which lives as long as any holder does.
TEST(AuditRecord, ABoxedImageIsSharedByItsCopiesAndOutlivesEachHolder)
{
    auto first = std::make_unique<Boxed<std::string>>(std::string("/usr/sbin/sshd"));
    Boxed<std::string> copied = *first;
    Boxed<std::string> assigned;
    assigned = copied;
    Boxed<std::string> moved = std::move(copied);
    EXPECT_FALSE(copied.has_value());
    EXPECT_EQ(&*moved, &**first);
    EXPECT_EQ(&*assigned, &**first);
    first.reset();
    assigned = assigned; // a self-assignment keeps the value
    EXPECT_EQ(*assigned, "/usr/sbin/sshd");
    EXPECT_TRUE(moved == assigned);
    assigned = std::nullopt;
    EXPECT_FALSE(assigned.has_value());
    EXPECT_EQ(moved.value(), "/usr/sbin/sshd");
    EXPECT_THROW(assigned.value(), std::bad_optional_access);
    moved = std::string("/bin/sh");
    EXPECT_EQ(moved, "/bin/sh");
}

TEST(AuditRecord, ClassNamesComeFromTheCatalogue)
{
    ASSERT_EQ(AuditCatalog::shared().events.count(unknownEvent), 0u);
    AuditRecord record;
    record.event = execEvent;
    EXPECT_EQ(record.classNames(), (std::vector<std::string>{"pc", "ex"}));
    record.event = unknownEvent;
    EXPECT_TRUE(record.classNames().empty());
}

TEST(AuditRecord, DetailSummary)
{
    struct Case {
        const char *name;
        std::function<void(RecordContent &)> fill;
        const char *expected;
    };
    const Case cases[] = {
        {"nothing", [](RecordContent &) {}, ""},
        {"exec arguments hide everything else",
         [](RecordContent &r) {
             r.execArgs = {"ls", "-la"};
             r.paths = {"/bin/ls"};
             r.texts = {"t"};
         },
         "ls -la"},
        {"paths joined by an arrow",
         [](RecordContent &r) {
             r.paths = {"/a", "/b"};
         },
         "/a \u2192 /b"},
        {"sockets joined by commas",
         [](RecordContent &r) {
             r.sockets = {"10.0.0.1:22", "[::1]:80"};
         },
         "10.0.0.1:22, [::1]:80"},
        {"texts joined by a middle dot",
         [](RecordContent &r) {
             r.texts = {"one", "two"};
         },
         "one \u00B7 two"},
        {"path and text apart by two spaces",
         [](RecordContent &r) {
             r.paths = {"/etc/passwd"};
             r.texts = {"note"};
         },
         "/etc/passwd  note"},
        {"all three parts in order",
         [](RecordContent &r) {
             r.texts = {"t"};
             r.sockets = {"s"};
             r.paths = {"p"};
         },
         "p  s  t"},
        {"target alone", [](RecordContent &r) { r.target = subject(77); }, "target pid 77"},
        {"path hides the target",
         [](RecordContent &r) {
             r.paths = {"/tmp/x"};
             r.target = subject(77);
         },
         "/tmp/x"},
        {"socket hides the target",
         [](RecordContent &r) {
             r.sockets = {"1.2.3.4:5"};
             r.target = subject(77);
         },
         "1.2.3.4:5"},
        {"text hides the target",
         [](RecordContent &r) {
             r.texts = {"t"};
             r.target = subject(77);
         },
         "t"},
    };
    for (const Case &c : cases) {
        RecordContent record;
        c.fill(record);
        EXPECT_EQ(record.record().detailSummary(), c.expected) << c.name;
    }
}

class AuditRecordMatches : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        UserResolver::shared().seed(7501, "orvik");
        UserResolver::shared().seed(7502, "quillan");
    }
};

TEST_F(AuditRecordMatches, SearchesTheListedFields)
{
    struct Case {
        const char *name;
        std::function<void(RecordContent &)> fill;
        const char *query;
        bool expected;
    };
    const auto none = [](RecordContent &) {};
    const Case cases[] = {
        {"event name, any case", [](RecordContent &r) { r.event = execEvent; }, "aue_exec", true},
        {"event description", [](RecordContent &r) { r.event = execEvent; }, "EXEC(2)", true},
        {"unknown event's fallback name", [](RecordContent &r) { r.event = unknownEvent; }, "AUE_", true},
        {"unknown event's number in its name", [](RecordContent &r) { r.event = unknownEvent; }, "aue_65000", true},
        {"unknown event's fallback description", [](RecordContent &r) { r.event = unknownEvent; }, "EVENT 650", true},
        {"process image", [](RecordContent &r) { r.processImage = "/usr/bin/ssh"; }, "SSH", true},
        {"no image, no match", none, "ssh", false},
        {"path",
         [](RecordContent &r) {
             r.paths = {"/etc/hosts", "/etc/shadow"};
         },
         "Shadow", true},
        {"text", [](RecordContent &r) { r.texts = {"sudo session"}; }, "SESSION", true},
        {"exec argument",
         [](RecordContent &r) {
             r.execArgs = {"curl", "--insecure"};
         },
         "insecure", true},
        {"socket", [](RecordContent &r) { r.sockets = {"192.168.1.9:4444"}; }, ":4444", true},
        {"signing id",
         [](RecordContent &r) {
             r.identity = SigningIdentity{1, "com.example.tool", "TEAM42", "ab"};
         },
         "example.TOOL", true},
        {"team id",
         [](RecordContent &r) {
             r.identity = SigningIdentity{1, "x", "TEAM42", "ab"};
         },
         "team42", true},
        {"cdhash not searched",
         [](RecordContent &r) {
             r.identity = SigningIdentity{1, "x", "y", "deadbeef"};
         },
         "deadbeef", false},
        {"pid written in decimal", [](RecordContent &r) { r.subject = subject(501); }, "501", true},
        {"pid is not a substring test", [](RecordContent &r) { r.subject = subject(5012); }, "501", false},
        {"pid part of a searched text",
         [](RecordContent &r) {
             r.subject = subject(5012);
             r.texts = {"pid 501 exited"};
         },
         "501", true},
        {"target pid not searched", [](RecordContent &r) { r.target = subject(501); }, "501", false},
        {"arguments not searched",
         [](RecordContent &r) {
             r.args = {ArgInfo{1, 501, "mode"}};
         },
         "mode", false},
        {"audit user name", [](RecordContent &r) { r.subject = subject(1, 7501); }, "ORV", true},
        {"effective user name", [](RecordContent &r) { r.subject = subject(1, unsetID, 7502); }, "Quill", true},
        {"user names need a subject", [](RecordContent &r) { r.target = subject(1, 7501, 7501); }, "orvik", false},
        {"empty query matches nothing",
         [](RecordContent &r) {
             r.event = execEvent;
             r.processImage = "/bin/ls";
             r.subject = subject(0, 7501, 7501);
         },
         "", false},
        {"query used as typed", [](RecordContent &r) { r.paths = {"/bin/ls"}; }, " ls", false},
        {"non-ASCII query in another case", [](RecordContent &r) { r.paths = {"/Users/j\u00E4ger/notes"}; },
         "J\u00C4GER", true},
        {"Cyrillic text", [](RecordContent &r) { r.texts = {"\u0436\u0443\u0440\u043D\u0430\u043B"}; },
         "\u0416\u0423\u0420", true},
    };
    for (const Case &c : cases) {
        RecordContent record;
        record.event = unknownEvent;
        c.fill(record);
        EXPECT_EQ(record.record().matches(RecordQuery(c.query)), c.expected) << c.name;
    }
}

} // namespace
