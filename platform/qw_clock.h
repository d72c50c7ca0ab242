// The millisecond clock: the real monotonic clock, or a virtual one that tests drive.
#pragma once

#include <cstdint>

namespace qwp {
// Milliseconds since an arbitrary start, as the system's tick count (wraps after 49.7 days).
uint32_t TickCount();
uint64_t TickCount64();
// Waits the given milliseconds; on the virtual clock it only advances the clock.
void SleepMs(uint32_t ms);

// Switches between the real clock (false) and the virtual clock (true). The virtual clock starts
// where it was last left (0 at first) and moves only through SetVirtualTime, AdvanceVirtualTime
// and SleepMs.
void UseVirtualClock(bool on);
bool IsVirtualClock();
void SetVirtualTime(uint64_t ms);
void AdvanceVirtualTime(uint64_t ms);
}  // namespace qwp
