#include "Engine/BSM/BSMErrno.h"
#include "Engine/Parser/BSMParser.h"
#include "Engine/BSM/UserResolver.h"
#include "support/TrailBuilder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace {

using namespace TestBSM;
using Rows = std::vector<std::pair<std::string, std::string>>;

constexpr uint32_t unknownID = 3999999;

// A resolver whose answers are fixed here rather than by this machine's accounts.
UserResolver &resolver()
{
    static UserResolver *users = [] {
        auto *r = new UserResolver;
        r->seed(0, "root");
        r->seed(501, "alice");
        r->seed(unknownID, std::nullopt);
        r->seedGroup(20, "staff");
        r->seedGroup(unknownID, std::nullopt);
        return r;
    }();
    return *users;
}

BSMToken token(uint8_t id, TokenPayload payload)
{
    return BSMToken{id, 0, 1, std::move(payload)};
}

// The one token of a hand-written body, decoded the way a record's tokens are.
BSMToken decoded(const Bytes &bytes)
{
    auto list = BSMParser::tokens(bytes);
    EXPECT_FALSE(list.error) << *list.error;
    EXPECT_EQ(list.tokens.size(), 1u);
    return list.tokens.empty() ? BSMToken{} : list.tokens[0];
}

TEST(TokenFields, ErrnoDescriptions)
{
    struct Case {
        uint8_t number;
        const char *text;
    };
    const Case cases[] = {
        {13, "Permission denied (13)"},
        {0, "error 0"},
        {100, "error 100"},
        {209, "Malformed Mach-o file (209)"},
        {1, "Operation not permitted (1)"},
        {74, "EMULTIHOP (Reserved) (74)"},
        {75, "error 75"},
        {126, "Can't assign requested address (126)"},
        {193, "RPC prog. not avail (193)"},
        {222, "EKEYREJECTED (222)"},
        {223, "error 223"},
        {255, "error 255"},
    };
    for (const auto &c : cases) EXPECT_EQ(errnoDescription(c.number), c.text) << int(c.number);

    // Exactly these ranges have texts.
    const auto &table = bsmErrnoDescriptions();
    EXPECT_EQ(table.size(), 155u);
    for (int n = 0; n < 256; ++n) {
        const bool expected = (n >= 1 && n <= 74) || (n >= 77 && n <= 99) || (n >= 120 && n <= 134)
                              || (n >= 143 && n <= 152) || (n >= 190 && n <= 222);
        EXPECT_EQ(table.count(uint8_t(n)) == 1, expected) << n;
    }
}

TEST(TokenFields, NamesCoverExactlyTheDecodableIds)
{
    EXPECT_EQ(token(0x14, Payload::Header{}).name(), "header");
    EXPECT_EQ(token(0x25, Payload::Path{}).name(), "path");
    EXPECT_EQ(token(0x39, Payload::Privilege{}).name(), "use of privilege");
    EXPECT_EQ(token(0x82, Payload::SocketUnix{}).name(), "socket-unix");
    EXPECT_EQ(token(0xef, Payload::Strings{}).name(), "cert hash");
    EXPECT_EQ(token(0x76, Payload::Seq{}).name(), "token 0x76");

    // Every id the decoder refuses as unsupported is unnamed, and every other id is named.
    int named = 0;
    for (int id = 0; id < 256; ++id) {
        const Bytes body(64, 0);
        ByteReader reader(body);
        bool supported = true;
        try {
            BSMParser::decode(uint8_t(id), reader);
        } catch (const BSMError &e) {
            supported = e.text().rfind("unsupported token type", 0) != 0;
        }
        const bool hasName = token(uint8_t(id), Payload::Seq{}).name().rfind("token 0x", 0) != 0;
        EXPECT_EQ(hasName, supported) << std::hex << id;
        named += hasName;
    }
    EXPECT_EQ(named, 47);
}

TEST(TokenFields, RowsPerPayload)
{
    SubjectInfo subject{501, 0, 20, unsetID, unknownID, 4321, 100007, 50331650, "10.0.0.1"};
    Payload::Header header{11, 23, 0x1234, 1714564800.25, 60, std::nullopt};
    Payload::Header headerEx = header;
    headerEx.host = "::1";
    headerEx.event = 65000;
    headerEx.time = 1714564800.9996; // rounds up to the next second

    struct Case {
        const char *name;
        BSMToken token;
        Rows rows;
    };
    const Case cases[] = {
        {"header",
         token(0x14, header),
         {{"record bytes", "60"},
          {"version", "11"},
          {"event", "23 (AUE_EXECVE)"},
          {"modifier", "0x1234"},
          {"time", "2024-05-01T12:00:00.250Z"}}},
        {"header with host and an unknown event",
         token(0x15, headerEx),
         {{"record bytes", "60"},
          {"version", "11"},
          {"event", "65000 (AUE_65000)"},
          {"modifier", "0x1234"},
          {"time", "2024-05-01T12:00:01.000Z"},
          {"host", "::1"}}},
        {"trailer", token(0x13, Payload::Trailer{60}), {{"record bytes", "60"}}},
        {"subject",
         token(0x24, Payload::Subject{subject}),
         {{"audit user", "alice (501)"},
          {"effective user", "root (0)"},
          {"effective group", "staff (20)"},
          {"real user", "unset (-1)"},
          {"real group", "3999999"},
          {"pid", "4321"},
          {"session", "100007"},
          {"terminal", "port 50331650 \u00B7 10.0.0.1"}}},
        {"failed return",
         decoded(Token::returnValue(1, 0xFFFFFFFF)),
         {{"status", "failure: Operation not permitted (1)"}, {"value", "-1"}}},
        {"successful return", decoded(Token::returnValue64(0, 3)), {{"status", "success"}, {"value", "3"}}},
        {"return with an unknown error",
         decoded(Token::returnValue(110, 0)),
         {{"status", "failure: error 110"}, {"value", "0"}}},
        {"path", decoded(Token::path("/etc/hosts")), {{"path", "/etc/hosts"}}},
        {"text", decoded(Token::text("hello")), {{"text", "hello"}}},
        {"argument", decoded(Token::arg(2, 420, "mode")), {{"#", "2"}, {"name", "mode"}, {"value", "0x1a4 (420)"}}},
        {"attribute",
         decoded(Token::attr(0100644, 501, 20, 16777220, 1234567, 0)),
         {{"mode", "100644"},
          {"owner", "alice (501)"},
          {"group", "staff (20)"},
          {"fsid", "16777220"},
          {"inode", "1234567"},
          {"device", "0"}}},
        {"exec arguments", decoded(Token::execArgs({"ls", "-l", "/tmp"})), {{"argc", "3"}, {"argv", "ls -l /tmp"}}},
        {"exec environment", decoded(Token::execEnv({"A=1", "B=2"})), {{"env[0]", "A=1"}, {"env[1]", "B=2"}}},
        {"empty exec environment", decoded(Token::execEnv({})), {}},
        {"exit", decoded(Token::exit(0xFFFFFFFF, 0xFFFFFFFE)), {{"status", "-1"}, {"return", "-2"}}},
        {"ip addr", decoded(Token::inAddr({192, 168, 1, 9})), {{"address", "192.168.1.9"}}},
        {"ip port", decoded(ByteWriter().u8(0x2c).u16(8080).take()), {{"port", "8080"}}},
        {"ip",
         token(0x2b, Payload::IP{4, 6, "10.0.0.1", "10.0.0.2"}),
         {{"version", "4"}, {"protocol", "6"}, {"source", "10.0.0.1"}, {"destination", "10.0.0.2"}}},
        {"socket-inet",
         decoded(Token::socketInet(443, {1, 2, 3, 4})),
         {{"family", "2"}, {"port", "443"}, {"address", "1.2.3.4"}}},
        {"socket-unix", decoded(Token::socketUnix("/var/run/x")), {{"family", "1"}, {"path", "/var/run/x"}}},
        {"socket without a domain",
         token(0x2e, Payload::Socket{std::nullopt, 1, 5000, "1.2.3.4", 22, "5.6.7.8"}),
         {{"type", "1"}, {"local", "1.2.3.4:5000"}, {"remote", "5.6.7.8:22"}}},
        {"socket_ex starts with its domain",
         token(0x7f, Payload::Socket{30, 1, 80, "::1", 0, "::"}),
         {{"domain", "30"}, {"type", "1"}, {"local", "::1:80"}, {"remote", ":::0"}}},
        {"sequence", token(0x2f, Payload::Seq{77}), {{"sequence", "77"}}},
        {"groups", token(0x3b, Payload::NewGroups{{20, unknownID}}), {{"groups", "staff (20), 3999999"}}},
        {"identity without a team",
         decoded(Token::identity(1, "com.apple.ls", "", {0x0a, 0xff})),
         {{"signer", "Apple platform binary"},
          {"signing id", "com.apple.ls"},
          {"team id", "\u2014"},
          {"cdhash", "0aff"}}},
        {"identity without a signing id",
         decoded(Token::identity(7, "", "TEAM", {})),
         {{"signer", "type 7"}, {"signing id", ""}, {"team id", "TEAM"}, {"cdhash", ""}}},
        {"file",
         token(0x11, Payload::File{1714564800.75, "20240501.trail"}),
         {{"time", "2024-05-01 12:00:00"}, {"file", "20240501.trail"}}},
        {"zone", token(0x60, Payload::Zonename{"global"}), {{"zone", "global"}}},
        {"IPC", token(0x22, Payload::Ipc{2, 99}), {{"type", "2"}, {"id", "99"}}},
        {"IPC perm",
         token(0x32, Payload::IpcPerm{501, 20, unsetID, unknownID, 0600, 6, 7}),
         {{"owner", "alice (501)"},
          {"group", "staff (20)"},
          {"creator", "unset (-1)"},
          {"creator group", "3999999"},
          {"mode", "600"},
          {"seq", "6"},
          {"key", "7"}}},
        {"data",
         token(0x21, Payload::Arbitrary{1, 2, 1, {0xde, 0xad, 0xbe, 0xef}}),
         {{"format", "1"}, {"unit size", "2"}, {"count", "1"}, {"data", "deadbeef"}}},
        {"use of privilege",
         token(0x39, Payload::Privilege{std::nullopt, "PRIV_SYS", false}),
         {{"result", "failure"}, {"privilege", "PRIV_SYS"}}},
        {"priv",
         token(0x38, Payload::Privilege{"effective", "PRIV_ALL", std::nullopt}),
         {{"set", "effective"}, {"privilege", "PRIV_ALL"}}},
        {"krb5 principal",
         token(0xee, Payload::Strings{"principal", {"a@R", "b@R"}}),
         {{"principal[0]", "a@R"}, {"principal[1]", "b@R"}}},
    };
    for (const auto &c : cases) EXPECT_EQ(c.token.fields(resolver()), c.rows) << c.name;
    EXPECT_EQ(token(0x26, Payload::Process{subject}).fields(resolver()),
              token(0x24, Payload::Subject{subject}).fields(resolver()));
}

TEST(TokenFields, LongDataShowsItsFirst64Bytes)
{
    const Bytes hundred(100, 0x5a);
    const Rows opaque = decoded(ByteWriter().u8(0x29).u16(100).bytes(hundred).take()).fields(resolver());
    std::string shown;
    for (int i = 0; i < 64; ++i) shown += "5a";
    EXPECT_EQ(opaque, (Rows{{"bytes", "100"}, {"data", shown}}));

    const Rows data = token(0x21, Payload::Arbitrary{0, 3, 20, Bytes(160, 0x01)}).fields(resolver());
    EXPECT_EQ(data.back().second.size(), 128u);
}

TEST(TokenFields, TimesBeyondTheCalendarStillShow)
{
    Payload::Header far{11, 1, 0, 18446744073709551615.0, 26, std::nullopt};
    const Rows rows = token(0x74, far).fields(resolver());
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[4], (std::pair<std::string, std::string>{"time", "18446744073709551616.000"}));
    const std::string huge = token(0x11, Payload::File{1e300, "x"}).fields(resolver())[0].second;
    EXPECT_EQ(huge.size(), 301u + 4u);
    EXPECT_TRUE(huge.ends_with(".000"));
}

TEST(TokenFields, FileTimeIsLocal)
{
    const char *saved = std::getenv("TZ");
    const std::string restore = saved ? saved : "";
    setenv("TZ", "XYZ-2", 1); // two hours east of UTC
    tzset();
    const Rows rows = token(0x11, Payload::File{1714564800, "f"}).fields(resolver());
    if (saved) setenv("TZ", restore.c_str(), 1);
    else unsetenv("TZ");
    tzset();
    EXPECT_EQ(rows[0].second, "2024-05-01 14:00:00");
}

TEST(TokenFields, SignerDescriptions)
{
    const std::pair<uint32_t, const char *> cases[] = {{0, "none"},
                                                       {1, "Apple platform binary"},
                                                       {2, "Developer"},
                                                       {3, "type 3"},
                                                       {4294967295u, "type 4294967295"}};
    for (const auto &[type, text] : cases) EXPECT_EQ((SigningIdentity{type, "", "", ""}.signerDescription()), text);
}

} // namespace
