#include "platform/qw_random.h"

namespace {
uint32_t g_state = 1;
}

namespace qwp {
void SeedRandom(uint32_t seed) { g_state = seed; }

int Random15()
{
    // Linear congruential step with the classic constants; the high bits give 15 bits.
    g_state = g_state * 214013u + 2531011u;
    return static_cast<int>((g_state >> 16) & 0x7FFF);
}
}  // namespace qwp
