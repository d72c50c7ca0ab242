// Hints about how large memory blocks are used.
#pragma once

#include <cstddef>

namespace qwp {
// The size of the system's large pages (where it has them): a block's first write meets one
// such page at a time.
inline constexpr size_t kLargePageBytes = size_t{2} << 20;

// The block [p, p + bytes) is large and worked on as a whole: the system may back it with large
// pages, which makes touching it the first time and walking it row by row cheaper. The contents
// do not change; blocks below 2 MiB and systems without such pages are left alone.
void AdviseLargeBlock(void* p, size_t bytes);

// Allocations that failed, counted by the code that makes them (memory blocks, bitmaps): a
// caller whose work failed tells by the count whether memory ran out meanwhile.
void NoteAllocationFailure();
long AllocationFailures();
}  // namespace qwp
