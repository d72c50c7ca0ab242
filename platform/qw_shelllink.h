// Shell links (shortcuts): the link file is a freedesktop desktop entry (its name ends in
// ".desktop", ShellLinkFilePath) that starts the target (a program directly, any other file through xdg-open) in the
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

// The file a link is saved as: desktop menus list only desktop entries, so a link's ".lnk"
// ending (in any case) becomes ".desktop", and a name without either gets ".desktop".
std::string ShellLinkFilePath(const char* linkWindowsPath);
// The link file's text for a link saved at the path as given ("" for a link without a target).
std::string ShellLinkText(const char* linkWindowsPath, const ShellLink& link);
// Writes (or replaces) the link file at the path as given, whole or not at all, never through a
// link that stands there; false when it cannot be written completely.
bool WriteShellLink(const char* linkWindowsPath, const ShellLink& link);
// Reads a link file written by WriteShellLink; false when it is missing or no such link.
bool ReadShellLink(const char* linkWindowsPath, ShellLink& link);
// Fault injection: every write fails while set.
void SetShellLinkFailure(bool fail);
}  // namespace qwp
