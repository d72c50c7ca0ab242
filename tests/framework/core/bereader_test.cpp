#include "framework/core/qwf_bereader.h"
#include "framework/core/qwf_endian.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(BEReader, ReadsBigEndianValuesAndFloats)
{
    uint8_t buf[16];
    uint8_t* p = buf;
    p = qwf::PutU8(p, 0xAB);
    p = qwf::PutBE16(p, 0x1234);
    p = qwf::PutBE32(p, 0xDEADBEEF);
    p = qwf::PutBEF32(p, -1.5f);
    ASSERT_EQ(p - buf, 11);
    EXPECT_EQ(buf[1], 0x12);
    EXPECT_EQ(buf[3], 0xDE);
    EXPECT_EQ(buf[7], 0xBF);  // -1.5f = 0xBFC00000
    EXPECT_EQ(buf[8], 0xC0);

    CQW_BEReader r(buf, 11);
    EXPECT_EQ(r.U8(), 0xAB);
    EXPECT_EQ(r.U16(), 0x1234);
    EXPECT_EQ(r.U32(), 0xDEADBEEFu);
    EXPECT_EQ(r.F32(), -1.5f);
    EXPECT_TRUE(r.Ok());
    EXPECT_EQ(r.Remaining(), 0u);
}

TEST(BEReader, ShortReadsFaultAndStaySticky)
{
    uint8_t buf[3] = {1, 2, 3};
    CQW_BEReader r(buf, 3);
    EXPECT_EQ(r.U16(), 0x0102);
    EXPECT_EQ(r.U32(), 0u);  // only one byte left
    EXPECT_TRUE(r.Failed());
    EXPECT_EQ(r.Position(), 2u);
    EXPECT_EQ(r.U8(), 0);  // sticky, though one byte remains
    EXPECT_EQ(r.Remaining(), 0u);

    CQW_BEReader empty(nullptr, 100);  // a null block has no bytes whatever its claimed size
    EXPECT_EQ(empty.Size(), 0u);
    EXPECT_FALSE(empty.Need(1));
}

TEST(BEReader, CountTimesSizeNeverWraps)
{
    uint8_t buf[8] = {};
    CQW_BEReader r(buf, 8);
    EXPECT_TRUE(r.NeedItems(2, 4));
    EXPECT_FALSE(r.NeedItems(0xFFFFFFFFull, 92));
    CQW_BEReader r2(buf, 8);
    EXPECT_FALSE(r2.NeedItems(std::numeric_limits<uint64_t>::max() / 4 + 1, 4));
    float out[2];
    CQW_BEReader r3(buf, 8);
    EXPECT_FALSE(r3.F32Array(out, SIZE_MAX / 2));
    EXPECT_TRUE(r3.Failed());
}

TEST(BEReader, FiniteFloatRefusesNanAndInfinity)
{
    uint8_t buf[12];
    qwf::PutBEF32(buf, std::numeric_limits<float>::quiet_NaN());
    qwf::PutBEF32(buf + 4, std::numeric_limits<float>::infinity());
    qwf::PutBEF32(buf + 8, 3.0e38f);
    CQW_BEReader r(buf, 12);
    EXPECT_TRUE(std::isnan(r.F32()));  // the plain read hands back what is stored
    EXPECT_TRUE(r.Ok());
    EXPECT_EQ(r.FiniteF32(), 0.0f);
    EXPECT_TRUE(r.Failed());
    CQW_BEReader r2(buf + 8, 4);
    EXPECT_EQ(r2.FiniteF32(), 3.0e38f);
    EXPECT_TRUE(r2.Ok());
}
