#include "framework/core/qwf_mem.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(Mem, EmptyBlockOperationsFailWithTwo)
{
    CQWF_Mem m;
    EXPECT_FALSE(m.HasError());
    CQWF_Mem src(4);
    EXPECT_FALSE(m.Fill(1));
    EXPECT_EQ(m.GetError(), QWF_ERR_EMPTY);
    EXPECT_FALSE(m.Zero());
    EXPECT_FALSE(m.FillRange(1, 0, 1));
    EXPECT_EQ(m.CopyFrom(src), 0u);
    EXPECT_EQ(m.CopyRange(0, src), 0u);
    EXPECT_EQ(m.Write(0, "x", 1), 0u);
    EXPECT_EQ(m.GetError(), QWF_ERR_EMPTY);
    EXPECT_EQ(m.GetSize(), 0u);
}

TEST(Mem, CopyClampsToBothBlocks)
{
    CQWF_Mem a(4), b(8);
    for (int i = 0; i < 8; ++i) b.GetData()[i] = static_cast<uint8_t>(i + 1);
    EXPECT_EQ(a.CopyFrom(b), 4u);
    EXPECT_EQ(a.GetData()[3], 4);
    EXPECT_EQ(a.CopyFrom(b, 6), 2u);
    EXPECT_EQ(a.GetData()[0], 7);
    EXPECT_EQ(a.CopyFrom(b, 0, 1), 1u);
    EXPECT_EQ(a.CopyRange(3, b, 0), 1u);
    EXPECT_EQ(a.CopyRange(9, b, 0), 0u);  // offset beyond the block touches nothing
    EXPECT_EQ(a.Write(2, "\x10\x20\x30", 3), 2u);
    EXPECT_EQ(a.GetData()[3], 0x20);
    EXPECT_FALSE(a.FillRange(0, 4, 1));
    EXPECT_TRUE(a.FillRange(9, 2, 100));
    EXPECT_EQ(a.GetData()[3], 9);
    EXPECT_TRUE(a.Zero());
    EXPECT_EQ(std::memcmp(a.GetData(), "\0\0\0\0", 4), 0);
    EXPECT_FALSE(a.HasError());
}

TEST(Mem, ResizeKeepsAndZeroes)
{
    CQWF_Mem m(3);
    std::memcpy(m.GetData(), "abc", 3);
    EXPECT_TRUE(m.Resize(6));
    EXPECT_EQ(std::memcmp(m.GetData(), "abc\0\0\0", 6), 0);
    EXPECT_TRUE(m.Resize(6));
    EXPECT_TRUE(m.Resize(2));
    EXPECT_EQ(m.GetData()[1], 'b');
    EXPECT_TRUE(m.Resize(0));
    EXPECT_EQ(m.GetData(), nullptr);
}

TEST(Mem, FailedAllocationLeavesEmptyWith17)
{
    CQWF_Mem m(16);
    qwf::SetAllocFailureAfter(0);
    EXPECT_EQ(m.Alloc(32), nullptr);
    EXPECT_EQ(m.GetError(), QWF_ERR_MEMORY);
    EXPECT_EQ(m.GetSize(), 0u);
    EXPECT_EQ(m.GetData(), nullptr);

    CQWF_Mem k(4);
    k.GetData()[0] = 42;
    qwf::SetAllocFailureAfter(0);
    EXPECT_FALSE(k.Resize(100));  // the old block stays untouched
    EXPECT_EQ(k.GetSize(), 4u);
    EXPECT_EQ(k.GetData()[0], 42);

    // Reserve allocates only for a block too small: up to its size it keeps the block as it is.
    qwf::SetAllocFailureAfter(0);
    EXPECT_TRUE(k.Reserve(4));
    EXPECT_TRUE(k.Reserve(0));
    EXPECT_EQ(k.GetData()[0], 42);
    EXPECT_FALSE(k.Reserve(5));
    EXPECT_EQ(k.GetError(), QWF_ERR_MEMORY);
    EXPECT_TRUE(k.Reserve(5));
    EXPECT_EQ(k.GetSize(), 5u);
    // After n allocations the next one fails, and only that one.
    qwf::SetAllocFailureAfter(2);
    for (bool ok : {true, true, false, true}) EXPECT_EQ(m.Alloc(8) != nullptr, ok);
}
