#include "platform/qw_drives.h"

#include <string>
#include <sys/stat.h>

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

bool PrepareSystemDrive() { return CreateFolders("C:\\"); }
}  // namespace qwp
