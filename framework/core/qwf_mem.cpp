#include "framework/core/qwf_mem.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/qw_memhint.h"

namespace {
// Allocations left before the failing one, -1 when none is to fail. Blocks are allocated on
// worker threads too: the count goes down by one per allocation, whichever thread makes it.
std::atomic<long> g_failAfter{-1};

bool AllocationAllowed()
{
    long n = g_failAfter.load(std::memory_order_relaxed);
    while (n >= 0) {
        // The allocation that finds 0 fails and switches the hook off.
        if (g_failAfter.compare_exchange_weak(n, n == 0 ? -1 : n - 1, std::memory_order_relaxed))
            return n != 0;
    }
    return true;
}
}  // namespace

namespace qwf {
void SetAllocFailureAfter(long n) { g_failAfter.store(n < 0 ? -1 : n, std::memory_order_relaxed); }
}

CQWF_Mem::~CQWF_Mem() { Free(); }

void CQWF_Mem::Free()
{
    std::free(m_data);
    m_data = nullptr;
    m_size = 0;
}

void* CQWF_Mem::Alloc(size_t n)
{
    Free();
    void* p = AllocationAllowed() ? std::malloc(n ? n : 1) : nullptr;
    if (!p) { qwp::NoteAllocationFailure(); SetError(QWF_ERR_MEMORY); return nullptr; }
    m_data = static_cast<uint8_t*>(p);
    m_size = n;
    qwp::AdviseLargeBlock(p, n);
    return p;
}

void* CQWF_Mem::AllocZeroed(size_t n)
{
    Free();
    void* p = AllocationAllowed() ? std::calloc(n ? n : 1, 1) : nullptr;
    if (!p) { qwp::NoteAllocationFailure(); SetError(QWF_ERR_MEMORY); return nullptr; }
    m_data = static_cast<uint8_t*>(p);
    m_size = n;
    qwp::AdviseLargeBlock(p, n);
    return p;
}

bool CQWF_Mem::Fill(uint8_t value)
{
    if (m_size == 0) { SetError(QWF_ERR_EMPTY); return false; }
    std::memset(m_data, value, m_size);
    ClearError();
    return true;
}

bool CQWF_Mem::FillRange(uint8_t value, size_t offset, size_t count)
{
    if (m_size == 0 || offset >= m_size) { SetError(QWF_ERR_EMPTY); return false; }
    size_t n = count < m_size - offset ? count : m_size - offset;
    std::memset(m_data + offset, value, n);
    ClearError();
    return true;
}

size_t CQWF_Mem::CopyFrom(const CQWF_Mem& source, size_t sourceOffset, size_t maxCount)
{
    return CopyRange(0, source, sourceOffset, maxCount);
}

size_t CQWF_Mem::CopyRange(size_t offset, const CQWF_Mem& source, size_t sourceOffset,
                           size_t maxCount)
{
    if (m_size == 0) { SetError(QWF_ERR_EMPTY); return 0; }
    const size_t room = m_size - std::min(offset, m_size);
    const size_t avail = source.m_size - std::min(sourceOffset, source.m_size);
    size_t n = std::min(room, avail);
    if (maxCount != 0) n = std::min(n, maxCount);
    ClearError();
    if (n == 0) return 0;
    std::memmove(m_data + offset, source.m_data + sourceOffset, n);
    return n;
}

size_t CQWF_Mem::Write(size_t offset, const void* pointer, size_t count)
{
    if (m_size == 0) { SetError(QWF_ERR_EMPTY); return 0; }
    size_t room = offset < m_size ? m_size - offset : 0;
    size_t n = count < room ? count : room;
    ClearError();
    if (n == 0 || !pointer) return 0;
    std::memmove(m_data + offset, pointer, n);
    return n;
}

bool CQWF_Mem::Resize(size_t n)
{
    ClearError();
    if (n == m_size) return true;
    if (n == 0) { Free(); return true; }
    CQWF_Mem fresh;
    if (!fresh.AllocZeroed(n)) { SetError(fresh.GetError()); return false; }
    if (m_size != 0) {
        size_t keep = m_size < n ? m_size : n;
        std::memcpy(fresh.m_data, m_data, keep);
    }
    Swap(fresh);
    return true;
}

bool CQWF_Mem::Reserve(size_t n) { return n <= m_size || Alloc(n) != nullptr; }

void CQWF_Mem::Swap(CQWF_Mem& other)
{
    uint8_t* d = m_data; m_data = other.m_data; other.m_data = d;
    size_t s = m_size; m_size = other.m_size; other.m_size = s;
}
