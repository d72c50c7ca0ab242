// Logical drives: "Z:" (the host's "/") and every drive folder "a" to "y" under the prefix folder
// (qw_paths.h).
#pragma once

#include <cstdint>
#include <string>

namespace qwp {
// Bit n set for drive letter 'A' + n.
uint32_t LogicalDrives();
// Upper or lower case.
bool IsLogicalDrive(char letter);
// Drive C, the system drive, is the folder "c" of the prefix folder. A machine has it from the
// start: this makes it (and the prefix folder) when it is missing. True when it is there. The
// folders it made are appended to `made` (when given) as a folder log lists them: each as a
// Windows-style path ending in a backslash ("Z:\...\" above the drive, "C:\" the drive) and a line
// feed, parents first.
bool PrepareSystemDrive(std::string* made = nullptr);
}  // namespace qwp
