#include "Engine/Parser/BSMParser.h"
#include "support/TrailBuilder.h"

#include <gtest/gtest.h>

namespace {

using namespace TestBSM;

// Decodes one whole token (id byte included) and checks that it used every byte.
TokenPayload decodeWhole(const Bytes &token)
{
    ByteReader reader(token);
    reader.offset = 1;
    TokenPayload payload = BSMParser::decode(token[0], reader);
    EXPECT_EQ(reader.offset, static_cast<int64_t>(token.size())) << "token 0x" << std::hex << int(token[0]);
    return payload;
}

BSMError decodeError(const Bytes &token)
{
    ByteReader reader(token);
    reader.offset = 1;
    try {
        BSMParser::decode(token[0], reader);
    } catch (const BSMError &e) {
        return e;
    }
    ADD_FAILURE() << "decode did not fail";
    return BSMError::malformed("");
}

template <typename T>
T as(const TokenPayload &p)
{
    EXPECT_TRUE(std::holds_alternative<T>(p)) << "payload case " << p.index();
    return std::holds_alternative<T>(p) ? std::get<T>(p) : T{};
}

TEST(TokenDecoder, HeaderFamilies)
{
    // header: the millisecond field keeps only its remainder.
    auto h = as<Payload::Header>(decodeWhole(Token::header(42, 23, 1700000000, 1500, 7)));
    EXPECT_EQ(h.size, 42u);
    EXPECT_EQ(h.version, 11);
    EXPECT_EQ(h.event, 23);
    EXPECT_EQ(h.modifier, 7);
    EXPECT_DOUBLE_EQ(h.time, 1700000000.5);
    EXPECT_FALSE(h.host);

    ByteWriter ex;
    ex.u8(0x15).u32(60).u8(11).u16(45023).u16(0).u32(16).bytes(Bytes(15, 0)).u8(1).u32(1700000000).u32(250);
    auto hx = as<Payload::Header>(decodeWhole(ex.data()));
    EXPECT_EQ(hx.host, "::1");
    EXPECT_DOUBLE_EQ(hx.time, 1700000000.25);

    ByteWriter h64;
    h64.u8(0x74).u32(26).u8(11).u16(1).u16(0).u64(4000000000ull).u64(999);
    EXPECT_DOUBLE_EQ(as<Payload::Header>(decodeWhole(h64.data())).time, 4000000000.999);

    ByteWriter h64x;
    h64x.u8(0x79).u32(30).u8(11).u16(1).u16(0).u32(4).bytes({192, 168, 0, 9}).u64(5).u64(1001);
    auto hx64 = as<Payload::Header>(decodeWhole(h64x.data()));
    EXPECT_EQ(hx64.host, "192.168.0.9");
    EXPECT_DOUBLE_EQ(hx64.time, 5.001);

    ByteWriter badType;
    badType.u8(0x15).u32(60).u8(11).u16(1).u16(0).u32(6).bytes(Bytes(20, 0));
    EXPECT_EQ(decodeError(badType.data()).description(), "malformed token: unknown address type 6");
}

TEST(TokenDecoder, SubjectAndProcessForms)
{
    struct Case {
        uint8_t id;
        bool port64;
        bool extended;
        bool isProcess;
    };
    const Case cases[] = {
        {0x24, false, false, false}, {0x26, false, false, true}, {0x75, true, false, false}, {0x77, true, false, true},
        {0x7a, false, true, false},  {0x7b, false, true, true},  {0x7c, true, true, false},  {0x7d, true, true, true},
    };
    for (const auto &c : cases) {
        ByteWriter w;
        w.u8(c.id).u32(501).u32(0).u32(20).u32(502).u32(80).u32(4321).u32(100007);
        if (c.port64) w.u64(0x1122334455667788ull);
        else w.u32(0x99AABBCC);
        if (c.extended) w.u32(4);
        w.bytes({10, 1, 2, 3});
        const TokenPayload p = decodeWhole(w.data());
        const SubjectInfo info = c.isProcess ? as<Payload::Process>(p).info : as<Payload::Subject>(p).info;
        EXPECT_EQ(info.auid, 501u);
        EXPECT_EQ(info.euid, 0u);
        EXPECT_EQ(info.egid, 20u);
        EXPECT_EQ(info.ruid, 502u);
        EXPECT_EQ(info.rgid, 80u);
        EXPECT_EQ(info.pid, 4321u);
        EXPECT_EQ(info.sid, 100007u);
        EXPECT_EQ(info.terminalPort, c.port64 ? 0x1122334455667788ull : 0x99AABBCCull);
        EXPECT_EQ(info.terminalAddress, "10.1.2.3");
    }
}

TEST(TokenDecoder, ReturnAndArgumentWidths)
{
    // A 32-bit return value is sign-extended; a 32-bit argument value is not.
    EXPECT_EQ(as<Payload::ReturnValue>(decodeWhole(Token::returnValue(0, 0xFFFFFFFE))).value, ~uint64_t(0) - 1);
    EXPECT_EQ(as<Payload::ReturnValue>(decodeWhole(Token::returnValue64(2, 7))).value, 7u);
    EXPECT_EQ(as<Payload::Arg>(decodeWhole(Token::arg(1, 0xFFFFFFFE, "x"))).arg.value, 4294967294ull);

    auto a = as<Payload::Arg>(decodeWhole(Token::arg64(3, 0x123456789ull, "mode")));
    EXPECT_EQ(a.arg, (ArgInfo{3, 0x123456789ull, "mode"}));
}

TEST(TokenDecoder, TextFields)
{
    EXPECT_EQ(as<Payload::Path>(decodeWhole(Token::path("/bin/ls"))).path, "/bin/ls");
    Bytes path25 = Token::path("/tmp");
    path25[0] = 0x25;
    EXPECT_EQ(as<Payload::Path>(decodeWhole(path25)).path, "/tmp");
    EXPECT_EQ(as<Payload::Text>(decodeWhole(Token::text("hello"))).text, "hello");

    ByteWriter zone;
    zone.u8(0x60).text("global");
    EXPECT_EQ(as<Payload::Zonename>(decodeWhole(zone.data())).name, "global");

    ByteWriter bad;
    bad.u8(0x28).u16(3).bytes({'a', 0xFF, 0});
    EXPECT_EQ(as<Payload::Text>(decodeWhole(bad.data())).text, "a\xEF\xBF\xBD");
}

TEST(TokenDecoder, ExecArgumentLists)
{
    auto args = as<Payload::ExecArgs>(decodeWhole(Token::execArgs({"/bin/ls", "-l", ""})));
    EXPECT_EQ(args.args, (std::vector<std::string>{"/bin/ls", "-l", ""}));
    EXPECT_EQ(as<Payload::ExecEnv>(decodeWhole(Token::execEnv({"PATH=/bin"}))).env,
              std::vector<std::string>{"PATH=/bin"});

    // Fewer strings than the count: truncated, needed 1, at the end of the bytes.
    ByteWriter shortList;
    shortList.u8(0x3c).u32(3).cString("a").cString("b");
    const BSMError e = decodeError(shortList.data());
    EXPECT_EQ(e.needed(), 1);
    EXPECT_EQ(e.offset(), static_cast<int64_t>(shortList.size()));

    // The last argument may lack its NUL at the end of the record.
    ByteWriter unterminated;
    unterminated.u8(0x3c).u32(2).cString("a").raw("bc");
    EXPECT_EQ(as<Payload::ExecArgs>(decodeWhole(unterminated.data())).args, (std::vector<std::string>{"a", "bc"}));

    // A huge count with no strings fails instead of allocating.
    ByteWriter huge;
    huge.u8(0x3d).u32(0xFFFFFFFF);
    EXPECT_EQ(decodeError(huge.data()).needed(), 1);

    ByteWriter principals;
    principals.u8(0xee).u32(2).cString("alice@REALM").cString("bob");
    auto p = as<Payload::Strings>(decodeWhole(principals.data()));
    EXPECT_EQ(p.label, "principal");
    EXPECT_EQ(p.values.size(), 2u);
    ByteWriter hashes;
    hashes.u8(0xef).u32(1).cString("abcd");
    EXPECT_EQ(as<Payload::Strings>(decodeWhole(hashes.data())).label, "hash");
    ByteWriter shortHashes;
    shortHashes.u8(0xef).u32(2).cString("abcd");
    EXPECT_EQ(decodeError(shortHashes.data()).offset(), static_cast<int64_t>(shortHashes.size()));
}

TEST(TokenDecoder, ArbitraryDataUnitSizes)
{
    struct Case {
        uint8_t unitType;
        size_t bytes;
    };
    for (const Case c : {Case{0, 3}, Case{1, 6}, Case{2, 12}, Case{3, 24}, Case{9, 3}}) {
        ByteWriter w;
        w.u8(0x21).u8(1).u8(c.unitType).u8(3).bytes(Bytes(c.bytes, 0xAB));
        auto a = as<Payload::Arbitrary>(decodeWhole(w.data()));
        EXPECT_EQ(a.unitSize, c.unitType);
        EXPECT_EQ(a.count, 3);
        EXPECT_EQ(a.bytes.size(), c.bytes);
    }
}

TEST(TokenDecoder, NetworkTokens)
{
    auto in = as<Payload::InAddr>(decodeWhole(Token::inAddr({127, 0, 0, 1})));
    EXPECT_EQ(in.address, "127.0.0.1");

    ByteWriter inEx;
    inEx.u8(0x7e).u32(16).bytes(Bytes(16, 0));
    EXPECT_EQ(as<Payload::InAddr>(decodeWhole(inEx.data())).address, "::");

    ByteWriter ip;
    ip.u8(0x2b).bytes({0x45, 0, 0, 0, 0, 0, 0, 0, 64, 6, 0, 0, 10, 0, 0, 1, 10, 0, 0, 2});
    auto ipp = as<Payload::IP>(decodeWhole(ip.data()));
    EXPECT_EQ(ipp.version, 4);
    EXPECT_EQ(ipp.protocolNumber, 6);
    EXPECT_EQ(ipp.source, "10.0.0.1");
    EXPECT_EQ(ipp.destination, "10.0.0.2");

    ByteWriter port;
    port.u8(0x2c).u16(443);
    EXPECT_EQ(as<Payload::IPort>(decodeWhole(port.data())).port, 443);

    ByteWriter sock;
    sock.u8(0x2e).u16(1).u16(5000).bytes({1, 2, 3, 4}).u16(22).bytes({5, 6, 7, 8});
    auto s = as<Payload::Socket>(decodeWhole(sock.data()));
    EXPECT_FALSE(s.domain);
    EXPECT_EQ(s.localAddress, "1.2.3.4");
    EXPECT_EQ(s.remotePort, 22);
    EXPECT_EQ(s.remoteAddress, "5.6.7.8");

    ByteWriter sockEx;
    sockEx.u8(0x7f).u16(2).u16(1).u16(4).u16(5000).bytes({1, 2, 3, 4}).u16(22).bytes({5, 6, 7, 8});
    auto sx = as<Payload::Socket>(decodeWhole(sockEx.data()));
    EXPECT_EQ(sx.domain, 2);
    EXPECT_EQ(sx.remoteAddress, "5.6.7.8");

    auto inet = as<Payload::SocketInet>(decodeWhole(Token::socketInet(8080, {192, 0, 2, 1})));
    EXPECT_EQ(inet.port, 8080);
    EXPECT_EQ(inet.address, "192.0.2.1");
    Bytes loopback(16, 0);
    loopback[15] = 1;
    EXPECT_EQ(as<Payload::SocketInet>(decodeWhole(Token::socketInet6(80, loopback))).address, "::1");
    EXPECT_EQ(as<Payload::SocketUnix>(decodeWhole(Token::socketUnix("/var/run/x.sock"))).path, "/var/run/x.sock");
}

TEST(TokenDecoder, AttributesExitAndMisc)
{
    auto a = as<Payload::Attr>(decodeWhole(Token::attr(0100755, 0, 80, 9, 123456789012ull, 0xFFFFFFFF)));
    EXPECT_EQ(a.mode, 0100755u);
    EXPECT_EQ(a.gid, 80u);
    EXPECT_EQ(a.node, 123456789012ull);
    EXPECT_EQ(a.device, 0xFFFFFFFFull);

    ByteWriter a64;
    a64.u8(0x73).u32(1).u32(2).u32(3).u32(4).u64(5).u64(0x1122334455667788ull);
    EXPECT_EQ(as<Payload::Attr>(decodeWhole(a64.data())).device, 0x1122334455667788ull);

    auto x = as<Payload::Exit>(decodeWhole(Token::exit(0xFFFFFFFF, 3)));
    EXPECT_EQ(x.status, 0xFFFFFFFFu);
    EXPECT_EQ(x.value, 3u);

    ByteWriter seq;
    seq.u8(0x2f).u32(77);
    EXPECT_EQ(as<Payload::Seq>(decodeWhole(seq.data())).value, 77u);

    ByteWriter groups;
    groups.u8(0x3b).u16(2).u32(20).u32(80);
    EXPECT_EQ(as<Payload::NewGroups>(decodeWhole(groups.data())).groups, (std::vector<uint32_t>{20, 80}));

    ByteWriter opaque;
    opaque.u8(0x29).u16(3).bytes({1, 2, 3});
    EXPECT_EQ(as<Payload::Opaque>(decodeWhole(opaque.data())).bytes, (Bytes{1, 2, 3}));

    ByteWriter ipc;
    ipc.u8(0x22).u8(2).u32(99);
    EXPECT_EQ(as<Payload::Ipc>(decodeWhole(ipc.data())).id, 99u);

    ByteWriter perm;
    perm.u8(0x32).u32(1).u32(2).u32(3).u32(4).u32(0644).u32(6).u32(7);
    auto pp = as<Payload::IpcPerm>(decodeWhole(perm.data()));
    EXPECT_EQ(pp.creatorGID, 4u);
    EXPECT_EQ(pp.key, 7u);

    ByteWriter priv;
    priv.u8(0x38).text("effective").text("PRIV_ALL");
    auto pr = as<Payload::Privilege>(decodeWhole(priv.data()));
    EXPECT_EQ(pr.set, "effective");
    EXPECT_FALSE(pr.success);
    ByteWriter use;
    use.u8(0x39).u8(1).text("PRIV_SYS");
    auto pu = as<Payload::Privilege>(decodeWhole(use.data()));
    EXPECT_FALSE(pu.set);
    EXPECT_EQ(pu.success, true);

    ByteWriter file;
    file.u8(0x11).u32(1700000000).u32(1500).text("trail");
    auto f = as<Payload::File>(decodeWhole(file.data()));
    EXPECT_DOUBLE_EQ(f.time, 1700000000.5);
    EXPECT_EQ(f.name, "trail");
}

TEST(TokenDecoder, IdentityToken)
{
    Bytes cdhash(20);
    for (size_t i = 0; i < cdhash.size(); ++i) cdhash[i] = uint8_t(0xA0 + i);
    auto i = as<Payload::Identity>(decodeWhole(Token::identity(2, "com.example.tool", "ABCDE12345", cdhash))).identity;
    EXPECT_EQ(i.signerType, 2u);
    EXPECT_EQ(i.signingID, "com.example.tool");
    EXPECT_EQ(i.teamID, "ABCDE12345");
    EXPECT_EQ(i.cdhash.size(), 40u);
    EXPECT_EQ(i.cdhash.substr(0, 6), "a0a1a2");
    EXPECT_EQ(as<Payload::Identity>(decodeWhole(Token::identity(0, "", "", {}))).identity.cdhash, "");
}

TEST(TokenDecoder, TrailerMagicAndUnknownIds)
{
    EXPECT_EQ(as<Payload::Trailer>(decodeWhole(Token::trailer(99))).size, 99u);

    // A bad magic fails before the size is read, even when the size bytes are missing.
    EXPECT_EQ(decodeError(Bytes{0x13, 0xB1, 0x06}).description(), "malformed token: bad trailer magic 0xb106");

    EXPECT_EQ(decodeError(Bytes{0x76, 0, 0}).description(), "malformed token: unsupported token type 0x76");
    EXPECT_EQ(decodeError(Bytes{0x3a}).description(), "malformed token: unsupported token type 0x3a");
}

TEST(TokenDecoder, EveryKnownIdSurvivesEveryTruncation)
{
    // Cutting a valid token anywhere must give BSMError, never a read past the bytes.
    std::vector<Bytes> tokens = {
        Token::header(18, 1, 2),
        Token::path("/p"),
        Token::subject(),
        Token::process(),
        Token::returnValue(0, 1),
        Token::execArgs({"a", "b"}),
        Token::attr(1, 2, 3),
        Token::exit(1, 2),
        Token::socketInet(1, {1, 2, 3, 4}),
        Token::identity(1, "id", "team", {1, 2}),
        Token::trailer(18),
        Token::arg(1, 2, "n"),
    };
    for (const Bytes &token : tokens) {
        for (size_t cut = 1; cut < token.size(); ++cut) {
            Bytes part(token.begin(), token.begin() + static_cast<long>(cut));
            ByteReader reader(part);
            reader.offset = 1;
            try {
                BSMParser::decode(part[0], reader);
            } catch (const BSMError &) {
                continue;
            }
            // Only lists that end at the limit may decode from a prefix.
            EXPECT_TRUE(part[0] == 0x3c) << "token 0x" << std::hex << int(part[0]) << " cut at " << std::dec << cut;
        }
    }
}

} // namespace
