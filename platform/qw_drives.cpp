#include "platform/qw_drives.h"

#include <cerrno>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "platform/qw_paths.h"

namespace qwp {
uint32_t LogicalDrives()
{
    uint32_t mask = 1u << 25;  // Z: is always there
    std::string root = DriveRoot();
    for (char c = 'a'; c <= 'y'; ++c) {
        std::string folder = root + "/" + c;
        struct stat st;
        if (::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) mask |= 1u << (c - 'a');
    }
    return mask;
}

bool IsLogicalDrive(char letter)
{
    if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 32);
    if (letter < 'A' || letter > 'Z') return false;
    return (LogicalDrives() >> (letter - 'A')) & 1u;
}

bool PrepareSystemDrive(std::string* made)
{
    // The missing host folders from the drive folder up.
    std::vector<std::string> missing;
    struct stat st;
    for (std::string folder = ToHostPath("C:\\"); !folder.empty() && ::stat(folder.c_str(), &st) != 0;) {
        missing.push_back(folder);
        const size_t slash = folder.rfind('/');
        folder = slash == std::string::npos ? std::string() : folder.substr(0, slash);
    }
    for (size_t i = missing.size(); i-- > 0;) {
        if (::mkdir(missing[i].c_str(), 0755) != 0) {
            if (errno == EEXIST) continue;
            return false;
        }
        if (!made) continue;
        std::string windows = ToWindowsPath(missing[i].c_str());
        if (windows.empty() || windows.back() != '\\') windows += '\\';
        *made += windows + "\n";
    }
    return FolderExists("C:\\");
}
}  // namespace qwp
