#include "platform/qw_memhint.h"

#include <atomic>
#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace qwp {

namespace {
std::atomic<long> g_allocationFailures{0};
}  // namespace

void NoteAllocationFailure() { g_allocationFailures.fetch_add(1, std::memory_order_relaxed); }

long AllocationFailures() { return g_allocationFailures.load(std::memory_order_relaxed); }

void AdviseLargeBlock(void* p, size_t bytes)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (!p || bytes < kLargePageBytes) return;
    const long pageSize = sysconf(_SC_PAGESIZE);
    const uintptr_t page = pageSize > 0 ? static_cast<uintptr_t>(pageSize) : 4096;
    // Only whole pages inside the block are advised.
    const uintptr_t start = (reinterpret_cast<uintptr_t>(p) + page - 1) & ~(page - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(p) + bytes) & ~(page - 1);
    if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
    (void)p;
    (void)bytes;
#endif
}

}  // namespace qwp
