// The guard of destructive calls. While it is on, deleting a file, removing a folder or renaming
// refuses every path that does not lie inside the prefix folder (the folder of the drive folders,
// qw_paths.h), so that a faulty test can never delete a developer's files. Tests of programs that
// delete what a record names switch it on; processes they start inherit it. Off by default, or on
// when the environment variable QW_PREFIX_GUARD is set to 1.
#pragma once

#include <string>

namespace qwp {
void SetPrefixGuard(bool on);
bool IsPrefixGuardOn();
// True when a destructive call may touch the host path: always while the guard is off; with the
// guard on only when the path, with its folder's links resolved, lies inside the prefix folder
// (the prefix folder itself is refused). A refusal is reported on stderr.
bool MayDestroy(const std::string& hostPath);
}  // namespace qwp
