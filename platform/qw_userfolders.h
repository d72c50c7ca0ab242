// Special folders of the user's session, as Windows-style paths: the programs menu of the user
// and of all users, and the user's application-data folder. By default they are the user's XDG
// data folders: application data is $XDG_DATA_HOME (~/.local/share), and both programs menus are
// its "applications" folder, where desktop entries (our shell links) belong. The environment
// variables QW_APPDATA, QW_PROGRAMS and QW_COMMON_PROGRAMS (Windows-style or host paths; empty
// for none) take their place.
#pragma once

#include <string>

namespace qwp {
enum class SpecialFolder { Programs, CommonPrograms, AppData };

// The folder's path without a trailing backslash, or "" when there is none or it does not exist.
std::string SpecialFolderPath(SpecialFolder which);
// Where the folder belongs, whether or not it exists yet ("" when there is none): the XDG rule
// is that a missing data folder is made where it belongs when something is to be put in it.
std::string SpecialFolderLocation(SpecialFolder which);

// Tests: answer this Windows-style path ("" for none); null restores the default.
void SetSpecialFolderForTesting(SpecialFolder which, const char* windowsPath);
}  // namespace qwp
