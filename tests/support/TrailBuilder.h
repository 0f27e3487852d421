#pragma once

// Writes OpenBSM token and record bytes, big-endian, so test fixtures read like the trail they
// describe: TrailRecordBuilder(23, 1700000000).subject(...).execArgs({"ls"}).returnValue(0, 0).build().

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace TestBSM {

using Bytes = std::vector<uint8_t>;

// Appends big-endian fields.
class ByteWriter {
public:
    ByteWriter &u8(uint8_t v)
    {
        m_bytes.push_back(v);
        return *this;
    }
    ByteWriter &u16(uint16_t v) { return u8(uint8_t(v >> 8)).u8(uint8_t(v)); }
    ByteWriter &u32(uint32_t v) { return u16(uint16_t(v >> 16)).u16(uint16_t(v)); }
    ByteWriter &u64(uint64_t v) { return u32(uint32_t(v >> 32)).u32(uint32_t(v)); }
    ByteWriter &bytes(std::span<const uint8_t> b)
    {
        m_bytes.insert(m_bytes.end(), b.begin(), b.end());
        return *this;
    }
    ByteWriter &bytes(std::initializer_list<uint8_t> b)
    {
        m_bytes.insert(m_bytes.end(), b.begin(), b.end());
        return *this;
    }
    ByteWriter &raw(std::string_view s)
    {
        const auto *p = reinterpret_cast<const uint8_t *>(s.data());
        m_bytes.insert(m_bytes.end(), p, p + s.size());
        return *this;
    }
    // u16 length (NUL included) then the text and a NUL: how the format writes its text fields.
    ByteWriter &text(std::string_view s)
    {
        u16(uint16_t(s.size() + 1));
        m_bytes.resize(m_bytes.size() + s.size() + 1); // zero-filled, so the NUL is already there
        std::copy(s.begin(), s.end(), m_bytes.end() - 1 - static_cast<std::ptrdiff_t>(s.size()));
        return *this;
    }
    ByteWriter &cString(std::string_view s)
    {
        raw(s);
        return u8(0);
    }
    ByteWriter &ipv4(std::initializer_list<uint8_t> a) { return bytes(a); }

    const Bytes &data() const { return m_bytes; }
    Bytes take() { return std::move(m_bytes); }
    size_t size() const { return m_bytes.size(); }

private:
    Bytes m_bytes;
};

struct Subject {
    uint32_t auid = 501, euid = 501, egid = 20, ruid = 501, rgid = 20, pid = 100, sid = 100001;
    uint64_t port = 0;
    std::array<uint8_t, 4> address = {0, 0, 0, 0};
};

// Single tokens, id byte included.
namespace Token {
inline Bytes path(std::string_view p)
{
    ByteWriter w;
    w.u8(0x23).text(p);
    return w.take();
}
inline Bytes text(std::string_view t)
{
    ByteWriter w;
    w.u8(0x28).text(t);
    return w.take();
}
inline Bytes returnValue(uint8_t status, uint32_t value)
{
    ByteWriter w;
    w.u8(0x27).u8(status).u32(value);
    return w.take();
}
inline Bytes returnValue64(uint8_t status, uint64_t value)
{
    ByteWriter w;
    w.u8(0x72).u8(status).u64(value);
    return w.take();
}
inline Bytes arg(uint8_t number, uint32_t value, std::string_view name)
{
    ByteWriter w;
    w.u8(0x2d).u8(number).u32(value).text(name);
    return w.take();
}
inline Bytes arg64(uint8_t number, uint64_t value, std::string_view name)
{
    ByteWriter w;
    w.u8(0x71).u8(number).u64(value).text(name);
    return w.take();
}
inline Bytes subjectBody(uint8_t id, const Subject &s)
{
    ByteWriter w;
    w.u8(id)
        .u32(s.auid)
        .u32(s.euid)
        .u32(s.egid)
        .u32(s.ruid)
        .u32(s.rgid)
        .u32(s.pid)
        .u32(s.sid)
        .u32(uint32_t(s.port))
        .bytes(s.address);
    return w.take();
}
inline Bytes subject(const Subject &s = {})
{
    return subjectBody(0x24, s);
}
// subject_ex with an IPv4 (4 bytes) or IPv6 (16 bytes) terminal address.
inline Bytes subjectEx(const Subject &s, const Bytes &address)
{
    ByteWriter w;
    w.u8(0x7a).u32(s.auid).u32(s.euid).u32(s.egid).u32(s.ruid).u32(s.rgid).u32(s.pid).u32(s.sid).u32(uint32_t(s.port));
    w.u32(uint32_t(address.size())).bytes(address);
    return w.take();
}
inline Bytes process(const Subject &s = {})
{
    return subjectBody(0x26, s);
}
inline Bytes execArgs(std::initializer_list<std::string_view> args)
{
    ByteWriter w;
    w.u8(0x3c).u32(uint32_t(args.size()));
    for (auto a : args) w.cString(a);
    return w.take();
}
inline Bytes execArgs(std::span<const std::string> args)
{
    ByteWriter w;
    w.u8(0x3c).u32(uint32_t(args.size()));
    for (const auto &a : args) w.cString(a);
    return w.take();
}
inline Bytes execEnv(std::initializer_list<std::string_view> env)
{
    ByteWriter w;
    w.u8(0x3d).u32(uint32_t(env.size()));
    for (auto e : env) w.cString(e);
    return w.take();
}
inline Bytes attr(uint32_t mode, uint32_t uid, uint32_t gid, uint32_t fsid = 1, uint64_t node = 2, uint32_t device = 3)
{
    ByteWriter w;
    w.u8(0x3e).u32(mode).u32(uid).u32(gid).u32(fsid).u64(node).u32(device);
    return w.take();
}
inline Bytes exit(uint32_t status, uint32_t value)
{
    ByteWriter w;
    w.u8(0x52).u32(status).u32(value);
    return w.take();
}
inline Bytes inAddr(std::initializer_list<uint8_t> a)
{
    ByteWriter w;
    w.u8(0x2a).bytes(a);
    return w.take();
}
inline Bytes socketInet(uint16_t port, std::initializer_list<uint8_t> a, uint16_t family = 2)
{
    ByteWriter w;
    w.u8(0x80).u16(family).u16(port).bytes(a);
    return w.take();
}
inline Bytes socketInet6(uint16_t port, const Bytes &a16, uint16_t family = 30)
{
    ByteWriter w;
    w.u8(0x81).u16(family).u16(port).bytes(a16);
    return w.take();
}
// socket_ex; both addresses have the length given by the one type field (4 or 16).
inline Bytes socketEx(uint16_t domain, uint16_t type, uint16_t localPort, const Bytes &local, uint16_t remotePort,
                      const Bytes &remote)
{
    ByteWriter w;
    w.u8(0x7f).u16(domain).u16(type).u16(uint16_t(local.size())).u16(localPort).bytes(local).u16(remotePort).bytes(remote);
    return w.take();
}
inline Bytes socketUnix(std::string_view path, uint16_t family = 1)
{
    ByteWriter w;
    w.u8(0x82).u16(family).cString(path);
    return w.take();
}
inline Bytes identity(uint32_t signer, std::string_view signingID, std::string_view teamID, const Bytes &cdhash)
{
    ByteWriter w;
    w.u8(0xed).u32(signer).text(signingID).u8(0).text(teamID).u8(0).u16(uint16_t(cdhash.size())).bytes(cdhash);
    return w.take();
}
inline Bytes trailer(uint32_t size)
{
    ByteWriter w;
    w.u8(0x13).u16(0xB105).u32(size);
    return w.take();
}
// 18-byte header (0x14) with the size given.
inline Bytes header(uint32_t size, uint16_t event, uint32_t seconds, uint32_t milliseconds = 0, uint16_t modifier = 0)
{
    ByteWriter w;
    w.u8(0x14).u32(size).u8(11).u16(event).u16(modifier).u32(seconds).u32(milliseconds);
    return w.take();
}
// header_ex (0x15): the 18-byte header plus the recording host's address type and address.
inline Bytes headerEx(uint32_t size, uint16_t event, const Bytes &host, uint32_t seconds, uint32_t milliseconds = 0,
                      uint16_t modifier = 0)
{
    ByteWriter w;
    w.u8(0x15)
        .u32(size)
        .u8(11)
        .u16(event)
        .u16(modifier)
        .u32(uint32_t(host.size()))
        .bytes(host)
        .u32(seconds)
        .u32(milliseconds);
    return w.take();
}
// Stand-alone file token, as written between records.
inline Bytes file(uint32_t seconds, uint32_t milliseconds, std::string_view name)
{
    ByteWriter w;
    w.u8(0x11).u32(seconds).u32(milliseconds).text(name);
    return w.take();
}
} // namespace Token

// A whole record: an 18-byte header (or a header_ex), the tokens added, and a trailer, sizes filled in.
class TrailRecordBuilder {
public:
    explicit TrailRecordBuilder(uint16_t event, uint32_t seconds = 1700000000, uint32_t milliseconds = 0,
                                uint16_t modifier = 0)
        : m_event(event), m_seconds(seconds), m_milliseconds(milliseconds), m_modifier(modifier)
    {}

    TrailRecordBuilder &token(const Bytes &t)
    {
        m_body.insert(m_body.end(), t.begin(), t.end());
        return *this;
    }
    TrailRecordBuilder &subject(const Subject &s = {}) { return token(Token::subject(s)); }
    TrailRecordBuilder &process(const Subject &s = {}) { return token(Token::process(s)); }
    TrailRecordBuilder &path(std::string_view p) { return token(Token::path(p)); }
    TrailRecordBuilder &text(std::string_view t) { return token(Token::text(t)); }
    TrailRecordBuilder &arg(uint8_t n, uint32_t v, std::string_view name) { return token(Token::arg(n, v, name)); }
    TrailRecordBuilder &execArgs(std::initializer_list<std::string_view> a) { return token(Token::execArgs(a)); }
    TrailRecordBuilder &attr(uint32_t mode, uint32_t uid, uint32_t gid) { return token(Token::attr(mode, uid, gid)); }
    TrailRecordBuilder &exit(uint32_t status, uint32_t value = 0) { return token(Token::exit(status, value)); }
    TrailRecordBuilder &returnValue(uint8_t status, uint32_t value = 0)
    {
        return token(Token::returnValue(status, value));
    }
    TrailRecordBuilder &socketInet(uint16_t port, std::initializer_list<uint8_t> a)
    {
        return token(Token::socketInet(port, a));
    }
    TrailRecordBuilder &identity(uint32_t signer, std::string_view id, std::string_view team, const Bytes &cdhash = {})
    {
        return token(Token::identity(signer, id, team, cdhash));
    }
    // Writes a header_ex naming this host instead of the plain header.
    TrailRecordBuilder &host(const Bytes &address)
    {
        m_host = address;
        return *this;
    }
    // Leaves the trailer off, for records cut short on purpose.
    TrailRecordBuilder &withoutTrailer()
    {
        m_trailer = false;
        return *this;
    }

    Bytes build() const
    {
        const size_t headerSize = m_host.empty() ? 18 : 22 + m_host.size();
        const uint32_t size = uint32_t(headerSize + m_body.size() + (m_trailer ? 7 : 0));
        Bytes out = m_host.empty() ? Token::header(size, m_event, m_seconds, m_milliseconds, m_modifier)
                                   : Token::headerEx(size, m_event, m_host, m_seconds, m_milliseconds, m_modifier);
        out.insert(out.end(), m_body.begin(), m_body.end());
        if (m_trailer) {
            const Bytes t = Token::trailer(size);
            out.insert(out.end(), t.begin(), t.end());
        }
        return out;
    }

private:
    uint16_t m_event;
    uint32_t m_seconds;
    uint32_t m_milliseconds;
    uint16_t m_modifier;
    Bytes m_body;
    Bytes m_host;
    bool m_trailer = true;
};

// Concatenates records and other bytes into one trail.
inline Bytes trail(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const auto &p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// `count` successful open-for-read records with a subject, one second apart; small, so that 50 of
// them fit in one atomic write into a pipe.
inline Bytes openReadRecords(size_t count, uint32_t firstSecond = 1700000000)
{
    Bytes out;
    for (size_t i = 0; i < count; ++i) {
        const Bytes record = TrailRecordBuilder(72, uint32_t(firstSecond + i)).subject().returnValue(0).build();
        out.insert(out.end(), record.begin(), record.end());
    }
    return out;
}

} // namespace TestBSM
