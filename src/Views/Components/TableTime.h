#pragma once

#include <QString>

// "Nov 14, 10:13:20 PM": abbreviated month, day and time to the second, no year, in the default
// locale and the local time zone. The time columns of the findings, process and network tables.
QString tableTimeText(double secondsSince1970);
