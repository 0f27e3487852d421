#include "Engine/Record/AuditEvents.h"

namespace AuditEvents {
// Constant-initialised at compile time, so there is no start-up order to worry about.
constinit const AuditEventSet exec(7, 23, 43131, 43144, 43190);
constinit const AuditEventSet fork(2, 25, 241, 43043, 43197);
constinit const AuditEventSet exit(1);
constinit const AuditEventSet loginSuccessish(6152, 6154, 6155, 6172, 32800, 45021, 6600);
constinit const AuditEventSet authentication(45023, 45024, 45025, 45026, 45030, 6213, 6163, 44901, 44903);
constinit const AuditEventSet privilegeElevation(45028, 6300, 6159, 45027);
constinit const AuditEventSet remoteLogin(32800, 6172, 6154, 6155, 6162);
constinit const AuditEventSet accountManagement(6207, 6208, 6209, 6210, 6211, 45014, 45015, 45016, 45017, 45018, 45019,
                                                6511, 6512, 6513, 6514, 6515);
constinit const AuditEventSet auditControl(45001, 138, 142, 144, 146, 222, 226, 227, 228, 230, 232, 211, 352, 43042,
                                           136, 133, 135);
constinit const AuditEventSet timeChange(37, 313);
constinit const AuditEventSet processAccess(302, 43002, 358, 43048);
constinit const AuditEventSet chmod(10, 39, 354, 43044, 43146, 43163, 43164);
constinit const AuditEventSet delete_(6, 286, 42, 282);
} // namespace AuditEvents
