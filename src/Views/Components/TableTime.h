#pragma once

#include <QString>

// "Nov 14, 10:13:20 PM": abbreviated month, day and time to the second, no year, in the default
// locale and the local time zone. The time columns of the findings, process and network tables.
QString tableTimeText(double secondsSince1970);

// Sep 30, 12:58:58.888 PM in the local time zone: a moment whose text is about the widest any
// time column shows (a long month abbreviation, two-digit day and hour, the afternoon marker).
// Time columns measure their minimum width with it, each in its own pattern.
double widestTableTime();

// The widest user label of the sample trail: an audit user acting as root.
QString widestSampleUser();

// Seven digits: the widest process id a PID column holds whole at its minimum width (the kernel's
// pids run to 99,999 by default and to seven digits at most).
QString widestPid();
