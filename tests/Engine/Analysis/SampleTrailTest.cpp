#include "Engine/Analysis/Detections.h"
#include "Engine/Analysis/ProcessGraph.h"
#include "Engine/Analysis/TrailAnalysis.h"
#include "Engine/Parser/BSMParser.h"
#include "Engine/BSM/UserResolver.h"
#include "Engine/Support/Resources.h"
#include "support/RecordDump.h"
#include "support/RecordValue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <map>
#include <tuple>
#include <utility>

// The bundled sample trail: a day on one Mac whose user orvik (7501) is phished in the afternoon
// and whose machine is broken into over SSH in the evening. The application opens it for
// "--sample", so it must decode cleanly and tell the whole story through the rules.

namespace {

constexpr size_t sampleRecords = 2579;

std::vector<uint8_t> sampleBytes()
{
    const std::string path = Resources::path("sample.bsm");
    EXPECT_FALSE(path.empty()) << "sample.bsm is not among the bundled resources";
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

BSMParser::TrailResult parseSample()
{
    const std::vector<uint8_t> bytes = sampleBytes();
    return BSMParser::parse(std::span<const uint8_t>(bytes), 1, 1, false);
}

TEST(SampleTrail, DecodesWithoutAFlaw)
{
    const BSMParser::TrailResult trail = parseSample();
    EXPECT_TRUE(trail.issues.empty()) << trail.issues.front().message;
    ASSERT_EQ(trail.records.size(), sampleRecords);
    for (const AuditRecord &r : trail.records) {
        EXPECT_FALSE(r.decodeError()) << "record " << r.id << ": " << *r.decodeError();
        EXPECT_EQ(r.raw()[5], 11) << "record " << r.id << " header version";
    }
    EXPECT_TRUE(std::is_sorted(trail.records.begin(), trail.records.end(),
                               [](const AuditRecord &a, const AuditRecord &b) { return a.time < b.time; }));

    ASSERT_EQ(trail.fileTokens.size(), 2u);
    EXPECT_EQ(trail.fileTokens[0].name, "/var/audit/20250311055810.not_terminated");
    EXPECT_EQ(trail.fileTokens[1].name, "/var/audit/20250311055810.20250311231632");
    EXPECT_DOUBLE_EQ(trail.fileTokens[0].time, trail.records.front().time);
    EXPECT_DOUBLE_EQ(trail.fileTokens[1].time, trail.records.back().time);
}

TEST(SampleTrail, EveryProcessDescendsFromLaunchd)
{
    std::vector<AuditRecord> records = parseSample().records;
    const ProcessTree tree = ProcessGraph::build(records);
    EXPECT_EQ(tree.processes.size(), 310u);
    ASSERT_EQ(tree.roots.size(), 1u);
    EXPECT_TRUE(tree.node(tree.roots[0]).isPlaceholder);
    EXPECT_EQ(tree.node(tree.roots[0]).pid, 1u);
}

// What an analyst would hold against a trail that was made up rather than recorded.
TEST(SampleTrail, ReadsLikeARealMachinesDay)
{
    const BSMParser::TrailResult trail = parseSample();
    constexpr uint16_t fork = 2, exec = 23, spawn = 43190, chmod = 10, settimeofday = 37;

    // Pids are handed out in time order; there is one boot, so they never fall back.
    uint64_t lastPid = 0;
    for (const AuditRecord &r : trail.records) {
        if (r.event != fork && r.event != spawn) continue;
        const ArgList args = r.args();
        const auto child = std::find_if(args.begin(), args.end(),
                                        [](const ArgView &a) { return a.name == "child PID"; });
        ASSERT_NE(child, args.end()) << r.id;
        EXPECT_GT((*child).value, lastPid) << "record " << r.id;
        lastPid = (*child).value;
    }

    // A file keeps its mode and owner, but for what a chmod of it sets.
    std::map<std::string, std::pair<uint32_t, uint32_t>> files;
    size_t withAttributes = 0;
    for (const AuditRecord &r : trail.records) {
        if (r.paths().empty() || !r.fileMode()) continue;
        ++withAttributes;
        const std::string path(r.paths().front());
        const auto [it, added] = files.try_emplace(path, *r.fileMode(), r.fileOwner().value_or(0));
        EXPECT_EQ(it->second, std::pair(*r.fileMode(), r.fileOwner().value_or(0))) << path << ", record " << r.id;
        if (r.event == exec || r.event == spawn) {
            EXPECT_NE(*r.fileMode() & 0111, 0u) << path << " runs, but may not";
        }
        if (r.event == chmod) {
            const ArgList args = r.args();
            const auto mode = std::find_if(args.begin(), args.end(),
                                           [](const ArgView &a) { return a.name == "new file mode"; });
            ASSERT_NE(mode, args.end()) << r.id;
            it->second.first = (it->second.first & 0170000) | uint32_t((*mode).value);
        }
    }
    EXPECT_GT(withAttributes, trail.records.size() / 2);
    EXPECT_EQ(files.at("/Users/Shared/.zsvc-sh").first, 0104755u);

    // One program, one code hash, wherever a copy of it runs from.
    std::map<std::string, std::string> hashes;
    for (const AuditRecord &r : trail.records)
        if (r.identity()) {
            const auto [it, added] = hashes.try_emplace(r.identity()->signingID, r.identity()->cdhash);
            EXPECT_EQ(it->second, r.identity()->cdhash) << r.identity()->signingID;
        }
    const auto copy = std::find_if(trail.records.begin(), trail.records.end(), [](const AuditRecord &r) {
        return r.identity() && !r.paths().empty() && r.paths().front() == "/Users/Shared/.zsvc-sh";
    });
    ASSERT_NE(copy, trail.records.end());
    EXPECT_EQ(copy->identity()->cdhash, hashes.at("com.apple.zsh"));

    // Times fall anywhere within their second.
    std::map<int, size_t> byMillisecond;
    for (const AuditRecord &r : trail.records) ++byMillisecond[int(std::lround(r.time * 1000)) % 1000];
    for (const auto &[ms, count] : byMillisecond) EXPECT_LT(count, trail.records.size() / 100) << "+" << ms << " ms";

    // The intruder's `date 0311231525` moves every later time to that night.
    const auto dateCall = std::find_if(trail.records.begin(), trail.records.end(), [](const AuditRecord &r) {
        return !r.execArgs().empty() && r.execArgs().front() == "date";
    });
    ASSERT_NE(dateCall, trail.records.end());
    const auto step = std::find_if(dateCall, trail.records.end(),
                                   [](const AuditRecord &r) { return r.event == settimeofday; });
    ASSERT_NE(step, trail.records.end());
    ASSERT_NE(step + 1, trail.records.end());
    EXPECT_LT(step->time, 1741721460.0);          // before 19:31
    EXPECT_NEAR(step[1].time, 1741734900.0, 1.0); // 23:15, the time set
}

struct Case {
    const char *rule;
    Severity severity;
    int count;
};

// Everything the sample is expected to raise, by rule and severity.
const Case expectedFindings[] = {
    {"User / host discovery", Severity::info, 5},
    {"Authentication failure", Severity::low, 2},
    {"Privilege elevation", Severity::low, 2},
    {"SIP / security posture query", Severity::low, 1},
    {"Screen capture", Severity::low, 1},
    {"AppleScript one-liner", Severity::low, 1},
    {"Persistence location modified", Severity::low, 1},
    {"Audit stopped", Severity::low, 1},
    {"System clock changed", Severity::medium, 2},
    {"Remote login", Severity::medium, 1},
    {"Failed privilege elevation", Severity::medium, 2},
    {"Tool transfer to unusual location", Severity::medium, 2},
    {"Gatekeeper bypass", Severity::medium, 2},
    {"Audit configuration change", Severity::medium, 1},
    {"Sensitive data access", Severity::medium, 4},
    {"launchd job loaded", Severity::medium, 2},
    {"Persistence location modified", Severity::medium, 3},
    {"Cron modification", Severity::medium, 1},
    {"Remote access enabled", Severity::medium, 1},
    {"Privacy database reset", Severity::medium, 1},
    {"Kernel extension load", Severity::medium, 1},
    {"Process memory access", Severity::medium, 1},
    {"History tampering", Severity::medium, 1},
    {"Execution from Downloads", Severity::high, 1},
    {"Fake password prompt", Severity::high, 1},
    {"Download piped to shell", Severity::high, 1},
    {"Encoded payload decoded", Severity::high, 1},
    {"Execution from /tmp", Severity::high, 2},
    {"Network from suspicious binary", Severity::high, 5},
    {"Keychain credential access", Severity::high, 1},
    {"Execution from hidden path", Severity::high, 1},
    {"Password brute force", Severity::high, 1},
    {"Account manipulation command", Severity::high, 5},
    {"Account created", Severity::high, 1},
    {"Account modified", Severity::high, 1},
    {"Setuid/setgid bit set", Severity::high, 1},
    {"Login hook", Severity::high, 1},
    {"Firewall disabled", Severity::high, 1},
    {"Persistence location modified", Severity::high, 2},
    {"Audit configuration change", Severity::high, 1},
    {"Log erasure", Severity::high, 4},
    {"Log or history removed", Severity::high, 5},
    {"Execution from /Users/Shared", Severity::high, 1},
    {"Login after brute force", Severity::critical, 1},
    {"SIP disable attempt", Severity::critical, 1},
    {"Reverse shell pattern", Severity::critical, 1},
};

TEST(SampleTrail, FindingsTellTheStory)
{
    UserResolver::shared().seed(7501, "orvik");
    std::vector<AuditRecord> records = parseSample().records;
    ProcessGraph::build(records);
    const std::vector<Finding> findings = Detections::run(records);

    std::map<std::pair<std::string, Severity>, int> found;
    for (const Finding &f : findings) ++found[{f.rule, f.severity}];
    std::map<std::pair<std::string, Severity>, int> expected;
    for (const Case &c : expectedFindings) expected[{c.rule, c.severity}] = c.count;
    for (const auto &[key, count] : found)
        EXPECT_EQ(count, expected.count(key) ? expected[key] : 0)
            << key.first << " (" << severityTitle(key.second) << ")";
    for (const auto &[key, count] : expected)
        EXPECT_EQ(found.count(key) ? found[key] : 0, count) << key.first << " (" << severityTitle(key.second) << ")";

    // The evening's intrusion, as the investigator should read it.
    const auto first = [&](const std::string &rule) {
        const auto it = std::find_if(findings.begin(), findings.end(), [&](const Finding &f) { return f.rule == rule; });
        return it == findings.end() ? Finding{} : *it;
    };
    EXPECT_EQ(first("Password brute force").summary,
              "5+ failed authentications from 203.0.113.45 within 10 minutes (targets: admin, guest, root, test)");
    EXPECT_EQ(first("Password brute force").recordIDs.size(), 5u);
    EXPECT_EQ(first("Login after brute force").user, "orvik → root");
    EXPECT_EQ(first("Remote login").summary, "Remote login (OpenSSH login) from fd42:7a3b:19::17");
}

} // namespace

// Sixteen days of the sample, enough records that the rules run in parts side by side, and as
// many clock changes, each a finding of its own, so that a record lost or checked twice where
// two parts meet shows: the findings, their order and every field but the random id equal those
// of one thread.
TEST(SampleTrail, FindingsAreTheSameOnAnyNumberOfThreads)
{
    const std::vector<AuditRecord> day = parseSample().records;
    std::vector<AuditRecord> days;
    for (int k = 0; k < 16; ++k) {
        for (AuditRecord record : day) {
            record.time += 86400.0 * k;
            record.id = int64_t(days.size()) + 1;
            days.push_back(std::move(record));
        }
    }
    constexpr uint16_t clockChange = 37;
    std::vector<AuditRecord> clockChanges;
    for (size_t i = 0; i < days.size(); ++i)
        clockChanges.push_back(TestRecords::RecordValue(clockChange, 1700000000.0 + double(i))
                                   .subject(501, 0, uint32_t(100 + i % 300))
                                   .image("/bin/date"));
    for (size_t i = 0; i < clockChanges.size(); ++i) clockChanges[i].id = int64_t(i) + 1;

    for (const auto &[name, records, findings] : {std::tuple{"sample days", &days, size_t(0)},
                                                  std::tuple{"clock changes", &clockChanges, clockChanges.size()}}) {
        const TrailAnalysis one = TrailAnalysis::of(*records, {}, Parallel::Pool::single());
        if (findings) ASSERT_EQ(one.findings.size(), findings) << name;
        else ASSERT_GT(one.findings.size(), 16u * 70) << name;
        for (const unsigned threads : {2u, 3u, 8u}) {
            Parallel::Pool pool(threads);
            const TrailAnalysis many = TrailAnalysis::of(*records, {}, pool);
            EXPECT_EQ(TestRecords::dump(many.findings), TestRecords::dump(one.findings))
                << name << ", " << threads << " threads";
        }
    }
}
