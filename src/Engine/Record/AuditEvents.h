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
