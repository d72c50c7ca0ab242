// MulDiv: a * b / c with a 64-bit product, rounded half away from zero; -1 when c is 0 or
// the result does not fit in 32 bits.
#pragma once

#include <cstdint>

namespace qwp {
int32_t MulDiv(int32_t a, int32_t b, int32_t c);
}
