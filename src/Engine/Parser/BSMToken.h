#pragma once

#include "Engine/Record/AuditRecord.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

class UserResolver;

// The decoded bodies of the 29 kinds of token, in the order the format's table lists them.
namespace Payload {
struct Header {
    uint8_t version = 0;
    uint16_t event = 0;
    uint16_t modifier = 0;
    double time = 0;
    uint32_t size = 0;
    std::optional<std::string> host;
};
struct Trailer {
    uint32_t size = 0;
};
struct Subject {
    SubjectInfo info;
};
struct Process {
    SubjectInfo info;
};
struct ReturnValue {
    uint8_t status = 0;
    uint64_t value = 0;
};
struct Path {
    std::string path;
};
struct Text {
    std::string text;
};
struct Arg {
    ArgInfo arg;
};
struct Attr {
    uint32_t mode = 0;
    uint32_t uid = 0;
    uint32_t gid = 0;
    uint32_t fsid = 0;
    uint64_t node = 0;
    uint64_t device = 0;
};
struct ExecArgs {
    std::vector<std::string> args;
};
struct ExecEnv {
    std::vector<std::string> env;
};
struct Exit {
    uint32_t status = 0;
    uint32_t value = 0;
};
struct InAddr {
    std::string address;
};
struct IPort {
    uint16_t port = 0;
};
struct IP {
    uint8_t version = 0;
    uint8_t protocolNumber = 0;
    std::string source;
    std::string destination;
};
struct SocketInet {
    uint16_t family = 0;
    uint16_t port = 0;
    std::string address;
};
struct SocketUnix {
    uint16_t family = 0;
    std::string path;
};
struct Socket {
    std::optional<uint16_t> domain;
    uint16_t type = 0;
    uint16_t localPort = 0;
    std::string localAddress;
    uint16_t remotePort = 0;
    std::string remoteAddress;
};
struct Seq {
    uint32_t value = 0;
};
struct NewGroups {
    std::vector<uint32_t> groups;
};
struct Identity {
    SigningIdentity identity;
};
struct File {
    double time = 0;
    std::string name;
};
struct Opaque {
    std::vector<uint8_t> bytes;
};
struct Zonename {
    std::string name;
};
struct Ipc {
    uint8_t type = 0;
    uint32_t id = 0;
};
struct IpcPerm {
    uint32_t uid = 0;
    uint32_t gid = 0;
    uint32_t creatorUID = 0;
    uint32_t creatorGID = 0;
    uint32_t mode = 0;
    uint32_t seq = 0;
    uint32_t key = 0;
};
struct Arbitrary {
    uint8_t format = 0;
    uint8_t unitSize = 0; // the unit type byte as read, not the size
    uint8_t count = 0;
    std::vector<uint8_t> bytes;
};
struct Privilege {
    std::optional<std::string> set;
    std::string name;
    std::optional<bool> success;
};
struct Strings {
    std::string label;
    std::vector<std::string> values;
};
} // namespace Payload

using TokenPayload = std::variant<
    Payload::Header, Payload::Trailer, Payload::Subject, Payload::Process, Payload::ReturnValue, Payload::Path,
    Payload::Text, Payload::Arg, Payload::Attr, Payload::ExecArgs, Payload::ExecEnv, Payload::Exit, Payload::InAddr,
    Payload::IPort, Payload::IP, Payload::SocketInet, Payload::SocketUnix, Payload::Socket, Payload::Seq,
    Payload::NewGroups, Payload::Identity, Payload::File, Payload::Opaque, Payload::Zonename, Payload::Ipc,
    Payload::IpcPerm, Payload::Arbitrary, Payload::Privilege, Payload::Strings>;

struct BSMToken {
    uint8_t id = 0;
    int64_t offset = 0; // of the id byte, within the decoded bytes
    int64_t length = 0; // id byte included
    TokenPayload payload;

    // Display name of the id, or "token 0xNN".
    std::string name() const;
    // Ordered (label, value) rows describing the payload.
    std::vector<std::pair<std::string, std::string>> fields(UserResolver &users) const;
};

// The token ids the decoder knows, named after the format's AUT_ constants; every other file
// names them through these.
namespace TokenID {
inline constexpr uint8_t file = 0x11;
inline constexpr uint8_t trailer = 0x13;
inline constexpr uint8_t header32 = 0x14;
inline constexpr uint8_t header32Ex = 0x15;
inline constexpr uint8_t data = 0x21;
inline constexpr uint8_t ipc = 0x22;
inline constexpr uint8_t path = 0x23;
inline constexpr uint8_t subject32 = 0x24;
inline constexpr uint8_t xatPath = 0x25;
inline constexpr uint8_t process32 = 0x26;
inline constexpr uint8_t return32 = 0x27;
inline constexpr uint8_t text = 0x28;
inline constexpr uint8_t opaque = 0x29;
inline constexpr uint8_t inAddr = 0x2a;
inline constexpr uint8_t ip = 0x2b;
inline constexpr uint8_t iport = 0x2c;
inline constexpr uint8_t arg32 = 0x2d;
inline constexpr uint8_t socket = 0x2e;
inline constexpr uint8_t seq = 0x2f;
inline constexpr uint8_t ipcPerm = 0x32;
inline constexpr uint8_t priv = 0x38;
inline constexpr uint8_t upriv = 0x39;
inline constexpr uint8_t newGroups = 0x3b;
inline constexpr uint8_t execArgs = 0x3c;
inline constexpr uint8_t execEnv = 0x3d;
inline constexpr uint8_t attr32 = 0x3e;
inline constexpr uint8_t exit = 0x52;
inline constexpr uint8_t zonename = 0x60;
inline constexpr uint8_t arg64 = 0x71;
inline constexpr uint8_t return64 = 0x72;
inline constexpr uint8_t attr64 = 0x73;
inline constexpr uint8_t header64 = 0x74;
inline constexpr uint8_t subject64 = 0x75;
inline constexpr uint8_t process64 = 0x77;
inline constexpr uint8_t header64Ex = 0x79;
inline constexpr uint8_t subject32Ex = 0x7a;
inline constexpr uint8_t process32Ex = 0x7b;
inline constexpr uint8_t subject64Ex = 0x7c;
inline constexpr uint8_t process64Ex = 0x7d;
inline constexpr uint8_t inAddrEx = 0x7e;
inline constexpr uint8_t socketEx = 0x7f;
inline constexpr uint8_t sockInet32 = 0x80;
inline constexpr uint8_t sockInet128 = 0x81;
inline constexpr uint8_t sockUnix = 0x82;
inline constexpr uint8_t identity = 0xed;
inline constexpr uint8_t krb5Principal = 0xee;
inline constexpr uint8_t certHash = 0xef;

// The ids that open a record.
inline constexpr std::array<uint8_t, 4> headers = {header32, header32Ex, header64, header64Ex};
constexpr bool isHeader(uint8_t id)
{
    return id == headers[0] || id == headers[1] || id == headers[2] || id == headers[3];
}
} // namespace TokenID

struct TokenName {
    uint8_t id;
    std::string_view name;
};

// The display name of every id the decoder accepts, and only those.
inline constexpr std::array<TokenName, 47> tokenNames = {{
    {TokenID::file, "file"},
    {TokenID::trailer, "trailer"},
    {TokenID::header32, "header"},
    {TokenID::header32Ex, "header_ex"},
    {TokenID::data, "data"},
    {TokenID::ipc, "IPC"},
    {TokenID::path, "path"},
    {TokenID::subject32, "subject"},
    {TokenID::xatPath, "path"},
    {TokenID::process32, "process"},
    {TokenID::return32, "return"},
    {TokenID::text, "text"},
    {TokenID::opaque, "opaque"},
    {TokenID::inAddr, "ip addr"},
    {TokenID::ip, "ip"},
    {TokenID::iport, "ip port"},
    {TokenID::arg32, "argument"},
    {TokenID::socket, "socket"},
    {TokenID::seq, "sequence"},
    {TokenID::ipcPerm, "IPC perm"},
    {TokenID::priv, "priv"},
    {TokenID::upriv, "use of privilege"},
    {TokenID::newGroups, "group"},
    {TokenID::execArgs, "exec arg"},
    {TokenID::execEnv, "exec env"},
    {TokenID::attr32, "attribute"},
    {TokenID::exit, "exit"},
    {TokenID::zonename, "zone"},
    {TokenID::arg64, "argument64"},
    {TokenID::return64, "return64"},
    {TokenID::attr64, "attribute64"},
    {TokenID::header64, "header64"},
    {TokenID::subject64, "subject64"},
    {TokenID::process64, "process64"},
    {TokenID::header64Ex, "header64_ex"},
    {TokenID::subject32Ex, "subject_ex"},
    {TokenID::process32Ex, "process_ex"},
    {TokenID::subject64Ex, "subject64_ex"},
    {TokenID::process64Ex, "process64_ex"},
    {TokenID::inAddrEx, "ip addr ex"},
    {TokenID::socketEx, "socket_ex"},
    {TokenID::sockInet32, "socket-inet"},
    {TokenID::sockInet128, "socket-inet6"},
    {TokenID::sockUnix, "socket-unix"},
    {TokenID::identity, "identity"},
    {TokenID::krb5Principal, "krb5 principal"},
    {TokenID::certHash, "cert hash"},
}};
static_assert(std::ranges::none_of(tokenNames, [](const TokenName &t) { return t.name.empty(); }),
              "a token name is missing");
