#include "platform/qw_muldiv.h"

#include <cstdlib>

namespace qwp {
int32_t MulDiv(int32_t a, int32_t b, int32_t c)
{
    if (c == 0) return -1;
    int64_t p = static_cast<int64_t>(a) * b;
    bool negative = (p < 0) != (c < 0);
    uint64_t up = p < 0 ? static_cast<uint64_t>(-(p + 1)) + 1 : static_cast<uint64_t>(p);
    uint64_t uc = c < 0 ? static_cast<uint64_t>(-static_cast<int64_t>(c)) : static_cast<uint64_t>(c);
    uint64_t q = (up + uc / 2) / uc;
    if (negative) {
        if (q > 0x80000000ull) return -1;
        return static_cast<int32_t>(-static_cast<int64_t>(q));
    }
    if (q > 0x7FFFFFFFull) return -1;
    return static_cast<int32_t>(q);
}
}  // namespace qwp
