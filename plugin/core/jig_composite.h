// One row of a rendered piece laid over a target plane set, and one row of a plane over a
// background colour: the row kernels of the composite and the write-back, chosen once per call
// by the program's vector level.
#pragma once

#include <cstdint>

#include "platform/qw_cpu.h"

namespace qwjig {

inline constexpr int kCompositeMaxColours = 4;

// The piece's colour rows and alpha row over the target's, all starting at the row's first
// pixel. mode: 0 union, 1 cover, 2 and 3 union with the opacity z (0 < z < 255).
struct CompositeRow {
    const uint8_t* src[kCompositeMaxColours];
    uint8_t* dst[kCompositeMaxColours];
    const uint8_t* srcAlpha;
    uint8_t* dstAlpha;
    int32_t colours;
    int32_t mode;
    int32_t z;
};

// Lays the row's pixels [0, n) over the target. A piece pixel of alpha a (0 skips it) over a
// target pixel of alpha d: with d = 0 the piece's colour, else t + ((s - t) x a >> 8); the
// alpha a (cover with d = 0), 255 (cover), or 255 - ((255 - a)(255 - d) >> 8) (union, a
// scaled by z >> 8 first with an opacity).
using CompositeRowFn = void (*)(const CompositeRow& row, int32_t n);

CompositeRowFn CompositeRowFor(qwp::CpuLevel level);

// A colour row over a background through an alpha row: out = ((255 - a) x background + c x a)
// / 255 rounded as (v + 1 + (v >> 8)) >> 8, for n pixels.
using BlendRowFn = void (*)(const uint8_t* colour, const uint8_t* alpha, uint8_t* out, int64_t n,
                            uint8_t background);

BlendRowFn BlendRowFor(qwp::CpuLevel level);

}  // namespace qwjig
