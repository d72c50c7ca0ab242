// The one random generator of the system: seedable, 15-bit results (0..32767).
#pragma once

#include <cstdint>

namespace qwp {
void SeedRandom(uint32_t seed);
int Random15();  // 0..32767
}
