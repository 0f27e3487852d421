#pragma once

#include "Store/Screen.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

// What the command line asks of the main window. Parsed from the arguments after the program
// path, as given (raw argv, before Qt takes its own options out).
struct LaunchRequest {
    std::optional<Screen> screen; // the value after the first "--screen", when it names a screen
    bool sample = false;          // "--sample" anywhere
    // The trail paths, in command-line order, made absolute. Their bytes as given, never decoded:
    // a name need not be UTF-8, and only its bytes open the file.
    QList<QByteArray> paths;
};

// exists: whether a path names a file-system entry (a folder counts); relative paths are taken
// against the current directory. A path that does not exist is kept, for the open to report,
// unless it follows an option, whose value it may be. The value after "--screen" is never a path
// because no screen name is: an argument equal to a screen's raw value is not taken as a trail.
LaunchRequest parseLaunchArguments(const QList<QByteArray> &arguments,
                                   const std::function<bool(const QByteArray &path)> &exists);
// The same against the real file system.
LaunchRequest parseLaunchArguments(const QList<QByteArray> &arguments);

// QUILLMARSH_SNAPSHOT_SCREENS: pieces between commas, exact raw values only, repeats kept; all
// ten screens when nothing is left.
std::vector<Screen> snapshotScreens(const QString &list);
