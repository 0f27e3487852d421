#include "Engine/Record/AuditEvents.h"

namespace AuditEvents {
using namespace Number;
// Constant-initialised at compile time, so there is no start-up order to worry about.
constinit const AuditEventSet exec(Number::exec, execve, macExecve, fexecve, posixSpawn);
constinit const AuditEventSet fork(Number::fork, vfork, fork1, rfork, pdfork);
constinit const AuditEventSet exit(Number::exit);
constinit const AuditEventSet loginSuccessish(login, telnet, rlogin, ssh, openssh, lwLogin, darwinLwLogin);
constinit const AuditEventSet authentication(authUser, ssconn, ssauthorize, ssauthint, ssauthmech, adminAuthenticate,
                                             passwd, sessionStart, sessionEnd);
constinit const AuditEventSet privilegeElevation(sudo, darwinSudo, su, calife);
constinit const AuditEventSet remoteLogin(openssh, ssh, telnet, rlogin, rexecd);
constinit const AuditEventSet accountManagement(createUser, modifyUser, deleteUser, disableUser, enableUser,
                                                modifyPassword, createGroup, deleteGroup, modifyGroup, addToGroup,
                                                removeFromGroup, darwinCreateGroup, darwinDeleteGroup,
                                                darwinModifyGroup, darwinAddToGroup, darwinRemoveFromGroup);
constinit const AuditEventSet auditControl(auditShutdown, auditon, auditonSpolicy, auditonSestate, auditonSqctrl,
                                           auditonSetkmask, auditonSetstat, auditonSetumask, auditonSetsmask,
                                           auditonSetcond, auditonSetclass, audit, darwinAuditctl, auditctl, auditsvc,
                                           setaudit, setuseraudit);
constinit const AuditEventSet timeChange(settimeofday, darwinSettimeofday);
constinit const AuditEventSet processAccess(darwinPtrace, ptrace, darwinTaskforpid, taskforpid);
constinit const AuditEventSet chmod(Number::chmod, fchmod, darwinLchmod, lchmod, fchmodat, chmodExtended,
                                    fchmodExtended);
constinit const AuditEventSet delete_(unlink, unlinkat, rename, renameat);
} // namespace AuditEvents
