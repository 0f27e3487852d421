#pragma once

// The shell text that the Audit Setup screen offers for copying. The program runs none of it.
// Spaces before the comments are part of the text.

inline constexpr const char *enableAuditingScript =
    "# 1. Install the policy (paste the configuration above when the editor opens, or copy it into place)\n"
    "sudo cp /etc/security/audit_control.example /etc/security/audit_control\n"
    "sudo nano /etc/security/audit_control\n"
    "\n"
    "# 2. Enable and start auditd\n"
    "sudo launchctl enable system/com.apple.auditd\n"
    "sudo launchctl bootstrap system /System/Library/LaunchDaemons/com.apple.auditd.plist\n"
    "\n"
    "# 3. Initialise / re-read configuration\n"
    "sudo audit -i          # start the audit subsystem\n"
    "sudo audit -s          # apply audit_control changes without a reboot\n"
    "sudo audit -n          # rotate to a new trail file";

inline constexpr const char *trailCommands =
    "sudo praudit -l /var/audit/current           # one record per line\n"
    "sudo praudit -xn /var/audit/<trail> > out.xml   # XML, numeric ids\n"
    "sudo auditreduce -c lo,aa /var/audit/* | praudit -l      # only login/auth classes\n"
    "sudo auditreduce -e orvik -a 20260101000000 /var/audit/* | praudit\n"
    "sudo auditreduce -m AUE_EXECVE /var/audit/* | praudit -l | grep -i curl\n"
    "sudo praudit -l /dev/auditpipe                 # live stream (default trail selection)";
