// Helpers of the layout model's tests.
#pragma once

#include "platform/qw_random.h"
#include "plugin/main/layout_model.h"
#include "plugin/main/layout_mouse.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace layouttest {
using Bytes = std::vector<uint8_t>;

// The layout's blob: two layouts are the same when their blobs are.
inline Bytes Serialize(CLayoutModel& m)
{
    CQWF_Mem block;
    size_t len = 0;
    EXPECT_TRUE(m.SerializeLayout(block, len));
    EXPECT_LE(len, block.GetSize());
    return Bytes(block.GetData(), block.GetData() + len);
}

// The selected knives of every family; with `extras` also those of the extra knives alone.
inline int SelectedCount(const CLayoutModel& m, int* extras = nullptr)
{
    int n = 0, x = 0;
    for (int32_t i = 0; i < m.GetRowKnifeCount(); ++i)
        n += m.RowKnives()[i].selected;
    for (int32_t i = 0; i < m.GetColumnKnifeCount(); ++i)
        n += m.ColumnKnives()[i].selected;
    for (int32_t i = 0; i < m.GetExtraKnifeCount(); ++i)
        x += m.ExtraKnives()[i].knife.selected;
    if (extras)
        *extras = x;
    return n + x;
}

// The layout of the mouse and cursor tests as the main window shows it: a 400 x 300 image shown
// 1:1 in a preview at (100, 50), the top splitter ruler above it (y 30 to 45) and the left one
// beside it (x 80 to 95), on a grid of 4 x 3 cells whose column lines stand at x 200, 300 and
// 400 and whose row lines at y 150 and 250 (window pixels).
inline void ShowLayoutOnScreen(CLayoutModel& m, CLayoutMouse& mouse, CutterState& cutter)
{
    m.SetImageSize(400, 300);
    m.SetCutter(&cutter);
    qwp::SeedRandom(1);
    EXPECT_TRUE(m.SetGridSize(4, 3, true, true));
    m.SetView({100, 50, 500, 350, 0, 0, 400, 300});
    m.RecalcLayout(m.GetView(), true);
    MouseGeometry g{};
    g.preview = {100, 50, 500, 350};
    g.topRuler = {100, 30, 500, 45};
    g.leftRuler = {80, 50, 95, 350};
    g.originX = 100;
    g.originY = 50;
    g.zoomedW = 400;
    g.zoomedH = 300;
    mouse.SetGeometry(g);
    mouse.UpdateRulerMarkers();
}

}  // namespace layouttest
