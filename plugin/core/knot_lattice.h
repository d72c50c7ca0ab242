// The grid's limits and the knot positions, one computation for the cutting engine and the
// layout model: a knot sits between its grid line and the next (offset >= 0) or the previous one
// (offset < 0), knots on the image edges never leave them.
#pragma once

#include <cstdint>

inline constexpr int kGridMaxLines = 100;  // interior grid lines per direction
inline constexpr int kKnifeMaxNodes = 64;  // nodes of one knife shape

// One coordinate of a knot as a fraction of the image side: lines[0..count) are the interior
// lines, index 0 and count + 1 the image edges, f the knot's offset (-1..1).
inline double KnotCoordinate(const float* lines, int count, int index, float f)
{
    if (index <= 0)
        return 0.0;
    if (index >= count + 1)
        return 1.0;
    const double q = lines[index - 1];
    double g;
    if (f >= 0.0f)
        g = (index == count) ? 1.0 - q : lines[index] - q;
    else
        g = (index == 1) ? lines[0] : q - lines[index - 2];
    return q + g * f;
}
