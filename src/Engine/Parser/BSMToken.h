#pragma once

#include "Engine/Record/AuditRecord.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
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

namespace TokenID {
inline constexpr uint8_t file = 0x11;
inline constexpr uint8_t trailer = 0x13;
// The ids that open a record: header, header_ex, header64, header64_ex.
inline constexpr std::array<uint8_t, 4> headers = {0x14, 0x15, 0x74, 0x79};
constexpr bool isHeader(uint8_t id)
{
    return id == headers[0] || id == headers[1] || id == headers[2] || id == headers[3];
}
} // namespace TokenID
