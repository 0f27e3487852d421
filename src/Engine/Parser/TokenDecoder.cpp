#include "Engine/Parser/BSMParser.h"
#include "Engine/Support/Parallel.h"

#include <algorithm>
#include <cstdio>

namespace {

using BSMParser::Form;
using BSMParser::Width;

double timeFrom(uint64_t seconds, uint64_t milliseconds)
{
    // Only the remainder of the millisecond field counts inside a record.
    return static_cast<double>(seconds) + static_cast<double>(milliseconds % 1000) / 1000.0;
}

std::string text(ByteReader &reader)
{
    const uint16_t n = reader.u16();
    return reader.string(n);
}

std::string ipv4(ByteReader &reader)
{
    const int64_t at = reader.offset;
    reader.skip(4);
    return formatIPv4(reader.buffer.subspan(static_cast<size_t>(at), 4));
}

enum class Reserve : bool { no, upFront };

// Reads count NUL-terminated strings; a list shorter than its count is truncated at the limit.
std::vector<std::string> cStrings(ByteReader &reader, uint32_t count, Reserve reserve)
{
    std::vector<std::string> strings;
    if (reserve == Reserve::upFront) strings.reserve(std::min<uint32_t>(count, 4096));
    for (uint32_t i = 0; i < count; ++i) {
        if (reader.offset >= reader.limit) throw BSMError::truncated(1, reader.offset);
        // One token can hold millions of strings: a load stops inside it when it must, before the
        // list doubles.
        if (strings.size() == strings.capacity() && strings.size() >= 0xFFFF)
            Parallel::checkpoint(0, 2 * strings.capacity() * sizeof(std::string));
        else if ((i & 0xFFFF) == 0xFFFF) Parallel::checkpoint();
        strings.push_back(reader.cString());
    }
    return strings;
}

Payload::Header header(ByteReader &reader, Width width, Form form)
{
    Payload::Header h;
    h.size = reader.u32();
    h.version = reader.u8();
    h.event = reader.u16();
    h.modifier = reader.u16();
    if (form == Form::extended) {
        const uint32_t type = reader.u32();
        h.host = reader.address(type);
    }
    if (width == Width::bits64) {
        const uint64_t seconds = reader.u64();
        const uint64_t milliseconds = reader.u64();
        h.time = timeFrom(seconds, milliseconds);
    } else {
        const uint32_t seconds = reader.u32();
        const uint32_t milliseconds = reader.u32();
        h.time = timeFrom(seconds, milliseconds);
    }
    return h;
}

Payload::Attr attr(ByteReader &reader, Width device)
{
    Payload::Attr a;
    a.mode = reader.u32();
    a.uid = reader.u32();
    a.gid = reader.u32();
    a.fsid = reader.u32();
    a.node = reader.u64();
    a.device = device == Width::bits64 ? reader.u64() : reader.u32();
    return a;
}

std::string formatted(const char *format, unsigned value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

} // namespace

namespace BSMParser {

SubjectInfo subject(ByteReader &reader, Width port, Form form)
{
    SubjectInfo info;
    info.auid = reader.u32();
    info.euid = reader.u32();
    info.egid = reader.u32();
    info.ruid = reader.u32();
    info.rgid = reader.u32();
    info.pid = reader.u32();
    info.sid = reader.u32();
    info.terminalPort = port == Width::bits64 ? reader.u64() : reader.u32();
    if (form == Form::extended) {
        const uint32_t type = reader.u32();
        info.terminalAddress = reader.address(type);
    } else {
        info.terminalAddress = ipv4(reader);
    }
    return info;
}

TokenPayload decode(uint8_t id, ByteReader &reader)
{
    switch (id) {
    case TokenID::file: {
        const uint32_t seconds = reader.u32();
        const uint32_t milliseconds = reader.u32();
        Payload::File file;
        file.time = timeFrom(seconds, milliseconds);
        file.name = text(reader);
        return file;
    }
    case TokenID::trailer: {
        const uint16_t magic = reader.u16();
        if (magic != 0xB105) throw BSMError::malformed(formatted("bad trailer magic 0x%04x", magic));
        return Payload::Trailer{reader.u32()};
    }
    case TokenID::header32: return header(reader, Width::bits32, Form::plain);
    case TokenID::header32Ex: return header(reader, Width::bits32, Form::extended);
    case TokenID::header64: return header(reader, Width::bits64, Form::plain);
    case TokenID::header64Ex: return header(reader, Width::bits64, Form::extended);
    case TokenID::data: {
        Payload::Arbitrary a;
        a.format = reader.u8();
        a.unitSize = reader.u8();
        a.count = reader.u8();
        const int64_t unit = a.unitSize == 1 ? 2 : a.unitSize == 2 ? 4 : a.unitSize == 3 ? 8 : 1;
        a.bytes = reader.bytes(unit * a.count);
        return a;
    }
    case TokenID::ipc: {
        Payload::Ipc ipc;
        ipc.type = reader.u8();
        ipc.id = reader.u32();
        return ipc;
    }
    case TokenID::path:
    case TokenID::xatPath: return Payload::Path{text(reader)};
    case TokenID::subject32: return Payload::Subject{subject(reader, Width::bits32, Form::plain)};
    case TokenID::process32: return Payload::Process{subject(reader, Width::bits32, Form::plain)};
    case TokenID::return32: {
        Payload::ReturnValue r;
        r.status = reader.u8();
        r.value = static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(reader.u32())));
        return r;
    }
    case TokenID::text: return Payload::Text{text(reader)};
    case TokenID::opaque: {
        const uint16_t n = reader.u16();
        return Payload::Opaque{reader.bytes(n)};
    }
    case TokenID::inAddr: return Payload::InAddr{ipv4(reader)};
    case TokenID::ip: {
        const int64_t at = reader.offset;
        reader.skip(20);
        const auto ip = reader.buffer.subspan(static_cast<size_t>(at), 20);
        Payload::IP p;
        p.version = ip[0] >> 4;
        p.protocolNumber = ip[9];
        p.source = formatIPv4(ip.subspan(12, 4));
        p.destination = formatIPv4(ip.subspan(16, 4));
        return p;
    }
    case TokenID::iport: return Payload::IPort{reader.u16()};
    case TokenID::arg32: {
        Payload::Arg a;
        a.arg.number = reader.u8();
        a.arg.value = reader.u32();
        a.arg.name = text(reader);
        return a;
    }
    case TokenID::socket: {
        Payload::Socket s;
        s.type = reader.u16();
        s.localPort = reader.u16();
        s.localAddress = ipv4(reader);
        s.remotePort = reader.u16();
        s.remoteAddress = ipv4(reader);
        return s;
    }
    case TokenID::seq: return Payload::Seq{reader.u32()};
    case TokenID::ipcPerm: {
        Payload::IpcPerm p;
        p.uid = reader.u32();
        p.gid = reader.u32();
        p.creatorUID = reader.u32();
        p.creatorGID = reader.u32();
        p.mode = reader.u32();
        p.seq = reader.u32();
        p.key = reader.u32();
        return p;
    }
    case TokenID::priv: {
        Payload::Privilege p;
        p.set = text(reader);
        p.name = text(reader);
        return p;
    }
    case TokenID::upriv: {
        Payload::Privilege p;
        p.success = reader.u8() != 0;
        p.name = text(reader);
        return p;
    }
    case TokenID::newGroups: {
        const uint16_t count = reader.u16();
        Payload::NewGroups g;
        for (uint16_t i = 0; i < count; ++i) g.groups.push_back(reader.u32());
        return g;
    }
    case TokenID::execArgs: {
        const uint32_t count = reader.u32();
        return Payload::ExecArgs{cStrings(reader, count, Reserve::upFront)};
    }
    case TokenID::execEnv: {
        const uint32_t count = reader.u32();
        return Payload::ExecEnv{cStrings(reader, count, Reserve::upFront)};
    }
    case TokenID::attr32: return attr(reader, Width::bits32);
    case TokenID::exit: {
        Payload::Exit e;
        e.status = reader.u32();
        e.value = reader.u32();
        return e;
    }
    case TokenID::zonename: return Payload::Zonename{text(reader)};
    case TokenID::arg64: {
        Payload::Arg a;
        a.arg.number = reader.u8();
        a.arg.value = reader.u64();
        a.arg.name = text(reader);
        return a;
    }
    case TokenID::return64: {
        Payload::ReturnValue r;
        r.status = reader.u8();
        r.value = reader.u64();
        return r;
    }
    case TokenID::attr64: return attr(reader, Width::bits64);
    case TokenID::subject64: return Payload::Subject{subject(reader, Width::bits64, Form::plain)};
    case TokenID::process64: return Payload::Process{subject(reader, Width::bits64, Form::plain)};
    case TokenID::subject32Ex: return Payload::Subject{subject(reader, Width::bits32, Form::extended)};
    case TokenID::process32Ex: return Payload::Process{subject(reader, Width::bits32, Form::extended)};
    case TokenID::subject64Ex: return Payload::Subject{subject(reader, Width::bits64, Form::extended)};
    case TokenID::process64Ex: return Payload::Process{subject(reader, Width::bits64, Form::extended)};
    case TokenID::inAddrEx: {
        const uint32_t type = reader.u32();
        return Payload::InAddr{reader.address(type)};
    }
    case TokenID::socketEx: {
        Payload::Socket s;
        s.domain = reader.u16();
        s.type = reader.u16();
        const uint16_t type = reader.u16();
        s.localPort = reader.u16();
        s.localAddress = reader.address(type);
        s.remotePort = reader.u16();
        s.remoteAddress = reader.address(type);
        return s;
    }
    case TokenID::sockInet32: {
        Payload::SocketInet s;
        s.family = reader.u16();
        s.port = reader.u16();
        s.address = ipv4(reader);
        return s;
    }
    case TokenID::sockInet128: {
        Payload::SocketInet s;
        s.family = reader.u16();
        s.port = reader.u16();
        const int64_t at = reader.offset;
        reader.skip(16);
        s.address = formatIPv6(reader.buffer.subspan(static_cast<size_t>(at), 16));
        return s;
    }
    case TokenID::sockUnix: {
        Payload::SocketUnix s;
        s.family = reader.u16();
        s.path = reader.cString();
        return s;
    }
    case TokenID::identity: {
        Payload::Identity i;
        i.identity.signerType = reader.u32();
        i.identity.signingID = text(reader);
        reader.skip(1);
        i.identity.teamID = text(reader);
        reader.skip(1);
        const uint16_t n = reader.u16();
        const int64_t at = reader.offset;
        reader.skip(n);
        i.identity.cdhash = hexString(reader.buffer.subspan(static_cast<size_t>(at), n));
        return i;
    }
    case TokenID::krb5Principal: {
        const uint32_t count = reader.u32();
        return Payload::Strings{"principal", cStrings(reader, count, Reserve::no)};
    }
    case TokenID::certHash: {
        const uint32_t count = reader.u32();
        return Payload::Strings{"hash", cStrings(reader, count, Reserve::no)};
    }
    default: throw BSMError::malformed(formatted("unsupported token type 0x%02x", id));
    }
}

} // namespace BSMParser
