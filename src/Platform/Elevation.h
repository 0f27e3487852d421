#pragma once

#include <string>

// Runs a shell command line as root. Here polkit's pkexec stands in for the system's
// administrator dialog; a process that is already root runs the line itself.
namespace Elevation {

struct Result {
    bool dismissed = false; // the user closed the authorisation dialog
    int status = 0;         // the exit status; 128 + the signal number when the child was killed
    std::string output;     // standard output, bytes as read
    std::string error;      // standard error, bytes as read
};

// Runs `command` through /bin/sh as root and waits, without a time-out, until it has exited and
// both of its streams are read to the end. Blocks the calling thread. Standard input and the
// environment are inherited; other descriptors are not. Throws std::system_error when the child
// cannot be launched. pkexec has no place for a message of the caller's, so polkit's dialog shows
// its own text in place of `prompt`.
Result run(const std::string &command, const std::string &prompt);

// The same through a given elevation program, called as `program /bin/sh -c command`; with ""
// the shell runs directly. Status 126 of the program means the dialog was dismissed.
Result runThrough(const std::string &program, const std::string &command);

// Makes run() always go through another program (tests); "" restores pkexec and the root check.
void setProgram(const std::string &program);

} // namespace Elevation
