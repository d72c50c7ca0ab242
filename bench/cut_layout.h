// The layout the cut benchmarks share: a jittered grid of tabbed knives, the same in every
// program so that their figures compare.
#pragma once

#include <cstdint>
#include <cstring>

#include "plugin/core/jigcrafter.h"
#include "tests/plugin/core/jigcrafter_test_support.h"

namespace qwbench {

// A tab of thickness 3, bulging to the side of sign.
inline void TabKnife(JigKnife& k, float sign)
{
    std::memset(&k, 0, sizeof k);
    jigtest::SetTabShape(k, sign);
}

inline void BuildLayout(CJigcrafter& e, int columns, int rows)
{
    e.SetGrid(columns, rows, 0);
    for (int i = 0; i < e.GetXLineCount(); ++i)
        e.GetXLines()[i] = static_cast<float>(i + 1) / static_cast<float>(columns);
    for (int i = 0; i < e.GetYLineCount(); ++i)
        e.GetYLines()[i] = static_cast<float>(i + 1) / static_cast<float>(rows);
    uint32_t seed = 7;
    for (int i = 0; i < 2 * e.GetKnotCount(); ++i) {
        seed = seed * 1103515245u + 12345u;
        e.GetKnots()[i] = 0.1f * (static_cast<float>((seed >> 16) & 0x7FFF) / 16383.5f - 1.0f);
    }
    for (int i = 0; i < e.GetRowKnifeCount(); ++i) TabKnife(e.GetRowKnives()[i], (i & 1) ? 1 : -1);
    for (int i = 0; i < e.GetColumnKnifeCount(); ++i)
        TabKnife(e.GetColumnKnives()[i], (i & 1) ? -1 : 1);
}

}  // namespace qwbench
