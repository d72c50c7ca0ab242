// Whole files on host paths, as the platform's own stores (registry, links, batch files, program
// resources) read and write them, and the lines of a text.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace qwp {
// Reads the whole file; false when it cannot be opened or read (`missing` tells whether it was
// not there at all).
bool ReadHostFile(const std::string& hostPath, std::string& bytes, bool* missing = nullptr);
// Writes the parts one after the other into a new file that replaces the target whole
// (BeginHostReplacement, qw_paths.h), with the given permissions (0: the target's, or those of a
// new file): readers see the old file or the whole new one. False (and the target unchanged)
// when any step fails.
bool WriteHostFileAtomically(const std::string& hostPath, const std::vector<std::pair<const void*, size_t>>& parts,
                             unsigned mode);
// The lines of a text: split at line feeds, a carriage return before one dropped; a last line
// without a line feed counts, an empty text has no lines.
std::vector<std::string> SplitLines(const std::string& text);
}  // namespace qwp
