#include "platform/qw_clock.h"

#include <atomic>
#include <cerrno>
#include <ctime>

namespace qwp {
namespace {
std::atomic<bool> g_virtual{false};
std::atomic<uint64_t> g_virtualTime{0};

uint64_t RealMs()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}
}  // namespace

uint64_t TickCount64() { return g_virtual ? g_virtualTime.load() : RealMs(); }
uint32_t TickCount() { return static_cast<uint32_t>(TickCount64()); }

void SleepMs(uint32_t ms)
{
    if (g_virtual) {
        g_virtualTime += ms;
        return;
    }
    struct timespec ts;
    ts.tv_sec = ms / 1000;
    ts.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

void UseVirtualClock(bool on) { g_virtual = on; }
bool IsVirtualClock() { return g_virtual; }
void SetVirtualTime(uint64_t ms) { g_virtualTime = ms; }
void AdvanceVirtualTime(uint64_t ms) { g_virtualTime += ms; }
}  // namespace qwp
