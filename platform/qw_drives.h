// Logical drives: "Z:" (the host's "/") and every drive folder "a" to "y" under the prefix folder
// (qw_paths.h).
#pragma once

#include <cstdint>

namespace qwp {
// Bit n set for drive letter 'A' + n.
uint32_t LogicalDrives();
// Upper or lower case.
bool IsLogicalDrive(char letter);
// Drive C, the system drive, is the folder "c" of the prefix folder. A machine has it from the
// start: this makes it (and the prefix folder) when it is missing. True when it is there.
bool PrepareSystemDrive();
}  // namespace qwp
