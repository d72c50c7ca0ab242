// Helpers of the layout model's tests.
#pragma once

#include "plugin/main/layout_model.h"

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
    return Bytes(block.GetData(), block.GetData() + len);
}
}  // namespace layouttest
