#pragma once

#include <cstdint>
#include <initializer_list>

// Fixed groups of audit event numbers shared by analysis and display. The numbers are built in
// and do not depend on the catalogue loaded at run time.
class AuditEventSet {
public:
    template <typename... N>
    constexpr explicit AuditEventSet(N... numbers)
    {
        for (uint16_t n : {static_cast<uint16_t>(numbers)...}) m_bits[n >> 6] |= uint64_t(1) << (n & 63);
    }
    constexpr bool contains(uint16_t event) const { return (m_bits[event >> 6] >> (event & 63)) & 1; }

private:
    uint64_t m_bits[1024] = {};
};

namespace AuditEvents {
// The event numbers that the groups and the rules name, after the constants of the audit event
// table: AUE_EXECVE is execve, AUE_DARWIN_SETTIMEOFDAY darwinSettimeofday. sessionStart and
// sessionEnd are the kernel's AUE_SESSION_START and AUE_SESSION_END, which the bundled table lacks.
namespace Number {
inline constexpr uint16_t exit = 1;
inline constexpr uint16_t fork = 2;
inline constexpr uint16_t unlink = 6;
inline constexpr uint16_t exec = 7;
inline constexpr uint16_t chmod = 10;
inline constexpr uint16_t execve = 23;
inline constexpr uint16_t vfork = 25;
inline constexpr uint16_t connect = 32;
inline constexpr uint16_t settimeofday = 37;
inline constexpr uint16_t fchmod = 39;
inline constexpr uint16_t rename = 42;
inline constexpr uint16_t setaudit = 133;
inline constexpr uint16_t setuseraudit = 135;
inline constexpr uint16_t auditsvc = 136;
inline constexpr uint16_t auditon = 138;
inline constexpr uint16_t auditonSpolicy = 142;
inline constexpr uint16_t auditonSestate = 144;
inline constexpr uint16_t auditonSqctrl = 146;
inline constexpr uint16_t audit = 211;
inline constexpr uint16_t auditonSetkmask = 222;
inline constexpr uint16_t auditonSetstat = 226;
inline constexpr uint16_t auditonSetumask = 227;
inline constexpr uint16_t auditonSetsmask = 228;
inline constexpr uint16_t auditonSetcond = 230;
inline constexpr uint16_t auditonSetclass = 232;
inline constexpr uint16_t fork1 = 241;
inline constexpr uint16_t sockconnect = 248;
inline constexpr uint16_t renameat = 282;
inline constexpr uint16_t unlinkat = 286;
inline constexpr uint16_t darwinPtrace = 302;
inline constexpr uint16_t darwinSettimeofday = 313;
inline constexpr uint16_t darwinAuditctl = 352;
inline constexpr uint16_t darwinLchmod = 354;
inline constexpr uint16_t darwinTaskforpid = 358;
inline constexpr uint16_t login = 6152;
inline constexpr uint16_t telnet = 6154;
inline constexpr uint16_t rlogin = 6155;
inline constexpr uint16_t su = 6159;
inline constexpr uint16_t rexecd = 6162;
inline constexpr uint16_t passwd = 6163;
inline constexpr uint16_t ssh = 6172;
inline constexpr uint16_t createUser = 6207;
inline constexpr uint16_t modifyUser = 6208;
inline constexpr uint16_t deleteUser = 6209;
inline constexpr uint16_t disableUser = 6210;
inline constexpr uint16_t enableUser = 6211;
inline constexpr uint16_t adminAuthenticate = 6213;
inline constexpr uint16_t darwinSudo = 6300;
inline constexpr uint16_t darwinCreateGroup = 6511;
inline constexpr uint16_t darwinDeleteGroup = 6512;
inline constexpr uint16_t darwinModifyGroup = 6513;
inline constexpr uint16_t darwinAddToGroup = 6514;
inline constexpr uint16_t darwinRemoveFromGroup = 6515;
inline constexpr uint16_t darwinLwLogin = 6600;
inline constexpr uint16_t openssh = 32800;
inline constexpr uint16_t ptrace = 43002;
inline constexpr uint16_t auditctl = 43042;
inline constexpr uint16_t rfork = 43043;
inline constexpr uint16_t lchmod = 43044;
inline constexpr uint16_t taskforpid = 43048;
inline constexpr uint16_t macExecve = 43131;
inline constexpr uint16_t fexecve = 43144;
inline constexpr uint16_t fchmodat = 43146;
inline constexpr uint16_t chmodExtended = 43163;
inline constexpr uint16_t fchmodExtended = 43164;
inline constexpr uint16_t posixSpawn = 43190;
inline constexpr uint16_t pdfork = 43197;
inline constexpr uint16_t sessionStart = 44901;
inline constexpr uint16_t sessionEnd = 44903;
inline constexpr uint16_t auditShutdown = 45001;
inline constexpr uint16_t modifyPassword = 45014;
inline constexpr uint16_t createGroup = 45015;
inline constexpr uint16_t deleteGroup = 45016;
inline constexpr uint16_t modifyGroup = 45017;
inline constexpr uint16_t addToGroup = 45018;
inline constexpr uint16_t removeFromGroup = 45019;
inline constexpr uint16_t lwLogin = 45021;
inline constexpr uint16_t authUser = 45023;
inline constexpr uint16_t ssconn = 45024;
inline constexpr uint16_t ssauthorize = 45025;
inline constexpr uint16_t ssauthint = 45026;
inline constexpr uint16_t calife = 45027;
inline constexpr uint16_t sudo = 45028;
inline constexpr uint16_t ssauthmech = 45030;
} // namespace Number

extern const AuditEventSet exec;
extern const AuditEventSet fork;
extern const AuditEventSet exit;
extern const AuditEventSet loginSuccessish;
extern const AuditEventSet authentication;
extern const AuditEventSet privilegeElevation;
extern const AuditEventSet remoteLogin;
extern const AuditEventSet accountManagement;
extern const AuditEventSet auditControl;
extern const AuditEventSet timeChange;
extern const AuditEventSet processAccess;
extern const AuditEventSet chmod;
extern const AuditEventSet delete_;
} // namespace AuditEvents
