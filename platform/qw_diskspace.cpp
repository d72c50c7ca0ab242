#include "platform/qw_diskspace.h"

#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include "platform/qw_paths.h"

namespace qwp {
namespace {
int64_t g_freeOverride = -1;
bool g_newerMissing = false;

bool Stat(const char* windowsFolder, struct statvfs& vfs)
{
    if (!windowsFolder || !*windowsFolder) return false;
    std::string host = ToHostPath(windowsFolder);
    struct stat st;
    if (::stat(host.c_str(), &st) != 0) return false;
    return ::statvfs(host.c_str(), &vfs) == 0;
}
}  // namespace

bool DiskFreeSpaceEx(const char* windowsFolder, uint64_t& availableToCaller, uint64_t& totalBytes,
                     uint64_t& freeBytes)
{
    if (g_newerMissing) return false;
    struct statvfs vfs;
    if (!Stat(windowsFolder, vfs)) return false;
    uint64_t unit = vfs.f_frsize ? vfs.f_frsize : vfs.f_bsize;
    availableToCaller = static_cast<uint64_t>(vfs.f_bavail) * unit;
    freeBytes = static_cast<uint64_t>(vfs.f_bfree) * unit;
    totalBytes = static_cast<uint64_t>(vfs.f_blocks) * unit;
    if (g_freeOverride >= 0) availableToCaller = freeBytes = static_cast<uint64_t>(g_freeOverride);
    return true;
}

bool DiskFreeSpace(const char* windowsFolder, uint32_t& sectorsPerCluster, uint32_t& bytesPerSector,
                   uint32_t& freeClusters, uint32_t& totalClusters)
{
    struct statvfs vfs;
    if (!Stat(windowsFolder, vfs)) return false;
    uint64_t unit = vfs.f_frsize ? vfs.f_frsize : vfs.f_bsize;
    // Clusters of the file system's block size made of 512-byte sectors where it divides.
    bytesPerSector = unit % 512 == 0 ? 512u : static_cast<uint32_t>(unit);
    sectorsPerCluster = static_cast<uint32_t>(unit / bytesPerSector);
    uint64_t freeUnits = vfs.f_bavail;
    if (g_freeOverride >= 0) freeUnits = static_cast<uint64_t>(g_freeOverride) / unit;
    freeClusters = freeUnits > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(freeUnits);
    totalClusters = vfs.f_blocks > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(vfs.f_blocks);
    return true;
}

void SetFreeSpaceForTesting(int64_t bytes) { g_freeOverride = bytes; }
void SetNewerFreeSpaceLookupMissing(bool missing) { g_newerMissing = missing; }
}  // namespace qwp
