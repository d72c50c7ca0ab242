// Free disk space of the file system that holds a folder, by two look-ups as the system offers
// them: the newer one in bytes, and the older one in clusters that programs fall back on when the
// newer one is missing or fails.
#pragma once

#include <cstdint>

namespace qwp {
// Bytes available to the caller, total bytes and free bytes; false when the folder does not
// exist, the look-up fails, or it is made missing for a test.
bool DiskFreeSpaceEx(const char* windowsFolder, uint64_t& availableToCaller, uint64_t& totalBytes,
                     uint64_t& freeBytes);
// Sectors per cluster, bytes per sector, free and total clusters; cluster counts are cut to 32
// bits as the older look-up gives them. False when the folder does not exist or the look-up fails.
bool DiskFreeSpace(const char* windowsFolder, uint32_t& sectorsPerCluster, uint32_t& bytesPerSector,
                   uint32_t& freeClusters, uint32_t& totalClusters);

// Tests: both look-ups report this many free bytes (for folders that exist); negative restores.
void SetFreeSpaceForTesting(int64_t bytes);
// Tests: the newer look-up is missing, so callers must use the older one.
void SetNewerFreeSpaceLookupMissing(bool missing);
}  // namespace qwp
