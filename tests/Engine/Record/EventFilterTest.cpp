#include "Engine/Record/EventFilter.h"

#include "Engine/BSM/AuditCatalog.h"
#include "Engine/BSM/UserResolver.h"
#include "Engine/Record/RecordBuilder.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Events of the bundled catalogue: 23 execve (pc, ex), 72 open read (fr), 1 exit (pc).
constexpr uint16_t execve = 23, openRead = 72, exitEvent = 1, unknownEvent = 65000;

SubjectInfo subject(uint32_t pid, uint32_t auid, uint32_t euid, uint32_t ruid)
{
    SubjectInfo s;
    s.pid = pid;
    s.auid = auid;
    s.euid = euid;
    s.ruid = ruid;
    s.egid = s.rgid = unsetID;
    return s;
}

RecordContent record(int64_t id, uint16_t event, double time, uint8_t status, std::optional<SubjectInfo> who)
{
    RecordContent r;
    r.id = id;
    r.event = event;
    r.time = time;
    r.returnStatus = status;
    r.subject = who;
    return r;
}

// 1: ssh exec by 501 as root; 2: failed read, auid unset, real uid 0; 3: unknown event without a
// subject; 4: the exit of pid 100.
std::vector<AuditRecord> fixture()
{
    std::vector<RecordContent> contents = {
        record(1, execve, 1000, 0, subject(100, 501, 0, 501)),
        record(2, openRead, 2000, 2, subject(200, unsetID, 501, 0)),
        record(3, unknownEvent, 3000, 0, std::nullopt),
        record(4, exitEvent, 4000, 0, subject(100, 501, 501, 501)),
    };
    contents[0].paths = {"/usr/bin/ssh"};
    contents[1].paths = {"/etc/passwd"};
    contents[2].texts = {"hello world"};
    std::vector<AuditRecord> records;
    for (const RecordContent &content : contents) records.push_back(content.record());
    return records;
}

std::vector<int64_t> passing(const EventFilter &filter)
{
    std::vector<int64_t> ids;
    const EventFilter::Pass pass = filter.pass();
    for (const AuditRecord &r : fixture())
        if (filter.matches(r, pass)) ids.push_back(r.id);
    return ids;
}

template <typename Change>
EventFilter with(Change change)
{
    EventFilter f;
    change(f);
    return f;
}

TEST(EventFilter, EachCriterionSelectsItsRecords)
{
    struct Case {
        const char *name;
        EventFilter filter;
        std::vector<int64_t> expected;
    };
    const Case cases[] = {
        {"no criterion", {}, {1, 2, 3, 4}},
        {"label alone", with([](auto &f) { f.label = "ssh (pid 100)"; }), {1, 2, 3, 4}},
        {"record ids",
         with([](auto &f) {
             f.recordIDs = {{4, 2, 99}};
         }),
         {2, 4}},
        {"empty record id set passes nothing", with([](auto &f) { f.recordIDs.emplace(); }), {}},
        {"success", with([](auto &f) { f.result = ResultFilter::success; }), {1, 3, 4}},
        {"failure", with([](auto &f) { f.result = ResultFilter::failure; }), {2}},
        {"one class", with([](auto &f) { f.classes = {"ex"}; }), {1}},
        {"class shared by two events; unknown event fails", with([](auto &f) { f.classes = {"pc"}; }), {1, 4}},
        {"any of several classes",
         with([](auto &f) {
             f.classes = {"fr", "ex"};
         }),
         {1, 2}},
        {"unknown class names restrict nothing", with([](auto &f) { f.classes = {"zz"}; }), {1, 2, 3, 4}},
        {"event numbers",
         with([](auto &f) {
             f.events = {openRead, exitEvent};
         }),
         {2, 4}},
        {"pid; no subject fails", with([](auto &f) { f.pid = 100; }), {1, 4}},
        {"user as effective or real id", with([](auto &f) { f.user = 0; }), {1, 2}},
        {"user as audit or effective id", with([](auto &f) { f.user = 501; }), {1, 2, 4}},
        {"start and end inclusive",
         with([](auto &f) {
             f.start = 2000.0;
             f.end = 2000.0;
         }),
         {2}},
        {"start only", with([](auto &f) { f.start = 3000.0; }), {3, 4}},
        {"end only", with([](auto &f) { f.end = 1999.5; }), {1}},
        {"text is case-insensitive", with([](auto &f) { f.text = "SSH"; }), {1}},
        {"a blank is a query (\"open(2) - read\", \"hello world\")", with([](auto &f) { f.text = " "; }), {2, 3}},
        {"criteria combine",
         with([](auto &f) {
             f.pid = 100;
             f.result = ResultFilter::failure;
         }),
         {}},
        {"no subject fails user, whatever its text",
         with([](auto &f) {
             f.user = 501;
             f.text = "hello";
         }),
         {}},
    };
    for (const Case &c : cases) EXPECT_EQ(passing(c.filter), c.expected) << c.name;
}

TEST(EventFilter, IsActiveWithAnyCriterionButNotTheLabel)
{
    struct Case {
        const char *name;
        EventFilter filter;
        bool active;
    };
    const Case cases[] = {
        {"default", {}, false},
        {"label", with([](auto &f) { f.label = "x"; }), false},
        {"blank text", with([](auto &f) { f.text = " "; }), true},
        {"classes", with([](auto &f) { f.classes = {"zz"}; }), true},
        {"result", with([](auto &f) { f.result = ResultFilter::success; }), true},
        {"user 0", with([](auto &f) { f.user = 0; }), true},
        {"pid 0", with([](auto &f) { f.pid = 0; }), true},
        {"events", with([](auto &f) { f.events = {1}; }), true},
        {"empty record ids", with([](auto &f) { f.recordIDs.emplace(); }), true},
        {"start", with([](auto &f) { f.start = 0.0; }), true},
        {"end", with([](auto &f) { f.end = 0.0; }), true},
    };
    for (const Case &c : cases) EXPECT_EQ(c.filter.isActive(), c.active) << c.name;
}

TEST(EventFilter, ClassMaskIsTheUnionOfKnownClasses)
{
    const auto &catalogue = AuditCatalog::shared();
    EXPECT_EQ(EventFilter().classMask(), 0u);
    EXPECT_EQ(with([](auto &f) { f.classes = {"zz"}; }).classMask(), 0u);
    EXPECT_EQ(with([](auto &f) {
                  f.classes = {"fr", "ex", "zz"};
              }).classMask(),
              catalogue.classMaskByName.at("fr") | catalogue.classMaskByName.at("ex"));
}

TEST(EventFilter, EqualityCoversTheLabel)
{
    const EventFilter a = with([](auto &f) {
        f.pid = 7;
        f.label = "a";
    });
    EventFilter b = a;
    EXPECT_EQ(a, b);
    b.label = "b";
    EXPECT_NE(a, b);
}

// A pass in parts side by side gives the positions one thread gives, in order, whatever the
// number of threads; each part learns user names on its own. A stop asked for gives nothing.
TEST(EventFilter, SelectInPartsEqualsOnePass)
{
    UserResolver::shared().seed(7777, "partsuser");
    RecordBuilder builder(nullptr, 1 << 20);
    std::vector<AuditRecord> records(100000);
    for (size_t i = 0; i < records.size(); ++i) {
        records[i].id = int64_t(i) + 1;
        records[i].time = double(i);
        records[i].event = i % 3 ? openRead : execve;
        records[i].returnStatus = uint8_t(i % 5 == 0);
        builder.setSubject(subject(uint32_t(100 + i % 50), i % 7 ? 501 : 7777, 501, 501));
        builder.addPath(i % 11 ? "/tmp/other" : "/etc/hosts");
        builder.finish(records[i], 0, 0);
    }
    builder.trim();
    const EventFilter filters[] = {with([](auto &f) { f.text = "hosts"; }), with([](auto &f) { f.text = "PARTSUSER"; }),
                                   with([](auto &f) {
                                       f.classes = {"ex"};
                                       f.result = ResultFilter::failure;
                                   })};
    for (const EventFilter &filter : filters) {
        const EventFilter::Pass pass = filter.pass();
        std::vector<uint32_t> expected;
        for (size_t p = 0; p < records.size(); ++p)
            if (filter.matches(records[p], pass)) expected.push_back(uint32_t(p));
        ASSERT_FALSE(expected.empty()) << filter.text;
        for (const unsigned threads : {1u, 3u, 8u}) {
            Parallel::Pool pool(threads);
            EXPECT_EQ(filter.select(records, pass, pool), expected) << filter.text << ", " << threads << " threads";
        }
    }
    Parallel::Pool pool(3);
    EXPECT_FALSE(filters[0].select(records, filters[0].pass(), pool, [] { return true; }));
}

} // namespace
