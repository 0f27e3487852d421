#pragma once

#include "Store/Screen.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// What the command line asks of the main window. Parsed from the arguments after the program
// path, as given (raw argv, before Qt takes its own options out).
struct LaunchRequest {
    std::optional<Screen> screen; // the value after the first "--screen", when it names a screen
    bool sample = false;          // "--sample" anywhere
    QStringList paths;            // existing paths, in command-line order, made absolute
};

// exists: whether a path names a file-system entry (a folder counts); relative paths are taken
// against the current directory. The value after "--screen" is never a path because no screen
// name is: an argument equal to a screen's raw value is not taken as a trail.
LaunchRequest parseLaunchArguments(const QStringList &arguments,
                                   const std::function<bool(const QString &path)> &exists);
// The same against the real file system.
LaunchRequest parseLaunchArguments(const QStringList &arguments);

// QUILLMARSH_SNAPSHOT_SCREENS: pieces between commas, exact raw values only, repeats kept; all
// ten screens when nothing is left.
std::vector<Screen> snapshotScreens(const QString &list);
