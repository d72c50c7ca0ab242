// Shell links (shortcuts): the link file lies at the link's own path and is a freedesktop desktop
// entry that starts the target (a program directly, any other file through xdg-open) in the
// working folder. The link's Windows-style target and working folder travel in it as well, so
// that the link can be read back.
#pragma once

#include <string>

namespace qwp {
struct ShellLink {
    std::string target;         // Windows-style path
    std::string workingFolder;  // Windows-style path, may be empty
    std::string description;
};

// Writes (or replaces) the link file; false when it cannot be written completely.
bool WriteShellLink(const char* linkWindowsPath, const ShellLink& link);
// Reads a link file written by WriteShellLink; false when it is missing or no such link.
bool ReadShellLink(const char* linkWindowsPath, ShellLink& link);
// Fault injection: every write fails while set.
void SetShellLinkFailure(bool fail);
}  // namespace qwp
