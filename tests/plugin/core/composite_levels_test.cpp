// The composite's row kernels at every vector level the processor supports against the
// pixel-by-pixel formulas: every mode and opacity, one to four colour planes, rows of every
// length around the vector widths, alpha rows of long empty and opaque runs with edges between.
// The cut masks' rows read back from their runs at every level give the bytes encoded.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "jigcrafter_test_support.h"
#include "plugin/core/jig_composite.h"
#include "plugin/core/jigcrafter.h"

namespace {

using jigtest::Lcg;

// Alpha bytes in runs: 0, 255 or anything, each run 1 to 80 bytes long.
void FillRuns(Lcg& g, std::vector<uint8_t>& v)
{
    size_t i = 0;
    while (i < v.size()) {
        const uint32_t r = g.Next();
        const size_t len = 1 + r % 80;
        const int kind = static_cast<int>((r >> 8) % 3);
        for (size_t k = 0; k < len && i < v.size(); ++k, ++i)
            v[i] = kind == 0 ? 0 : kind == 1 ? 255 : static_cast<uint8_t>(g.Next());
    }
}

// The composite of one pixel as the formulas state it.
void Model(int mode, int z, int colours, const uint8_t* const* src, uint8_t* const* dst,
           const uint8_t* sa, uint8_t* da, int32_t n)
{
    for (int32_t i = 0; i < n; ++i) {
        const int a = sa[i], d = da[i];
        if (a == 0) continue;
        for (int c = 0; c < colours; ++c) {
            const int t = dst[c][i], s = src[c][i];
            dst[c][i] = static_cast<uint8_t>(d == 0 ? s : t + (((s - t) * a) >> 8));
        }
        const int e = mode >= 2 ? (a * z) >> 8 : a;
        const int u = 255 - (((255 - e) * (255 - d)) >> 8);
        da[i] = static_cast<uint8_t>(d == 0 ? e : mode == 1 ? 255 : u);
    }
}

}  // namespace

TEST(JigCompositeLevels, EveryLevelGivesTheFormulasBytes)
{
    Lcg g{2024};
    const int32_t lengths[] = {0, 1, 7, 8, 9, 31, 32, 33, 63, 64, 65, 127, 200, 517};
    const qwp::CpuLevel top = qwp::GetCpuSupportedLevel();
    for (int level = qwp::kCpuPlain; level <= top; ++level) {
        const qwjig::CompositeRowFn fn = qwjig::CompositeRowFor(static_cast<qwp::CpuLevel>(level));
        for (int mode = 0; mode < 4; ++mode)
            for (int colours = 1; colours <= qwjig::kCompositeMaxColours; ++colours)
                for (int32_t n : lengths) {
                    SCOPED_TRACE(testing::Message() << "level " << level << " mode " << mode
                                                    << " colours " << colours << " n " << n);
                    const int z = mode >= 2 ? static_cast<int>(1 + g.Next() % 254) : 255;
                    // One spare byte either side: nothing outside [0, n) may change.
                    const size_t size = static_cast<size_t>(n) + 2;
                    std::vector<uint8_t> sa(size), da(size), src[4], dst[4];
                    FillRuns(g, sa);
                    FillRuns(g, da);
                    for (int c = 0; c < colours; ++c) {
                        src[c].resize(size);
                        dst[c].resize(size);
                        for (size_t i = 0; i < size; ++i) {
                            src[c][i] = static_cast<uint8_t>(g.Next());
                            dst[c][i] = static_cast<uint8_t>(g.Next());
                        }
                    }
                    std::vector<uint8_t> modelDa = da, modelDst[4];
                    for (int c = 0; c < colours; ++c) modelDst[c] = dst[c];
                    qwjig::CompositeRow row{};
                    const uint8_t* ms[4] = {};
                    uint8_t* md[4] = {};
                    for (int c = 0; c < colours; ++c) {
                        row.src[c] = src[c].data() + 1;
                        row.dst[c] = dst[c].data() + 1;
                        ms[c] = src[c].data() + 1;
                        md[c] = modelDst[c].data() + 1;
                    }
                    row.srcAlpha = sa.data() + 1;
                    row.dstAlpha = da.data() + 1;
                    row.colours = colours;
                    row.mode = mode;
                    row.z = z;
                    fn(row, n);
                    Model(mode, z, colours, ms, md, sa.data() + 1, modelDa.data() + 1, n);
                    ASSERT_EQ(da, modelDa);
                    for (int c = 0; c < colours; ++c) ASSERT_EQ(dst[c], modelDst[c]) << c;
                }
    }
}

// The write-back's blend over the background at every level against the formula, for every
// alpha and colour byte pair and rows of every length around the vector widths.
TEST(JigCompositeLevels, BlendOverBackgroundGivesTheFormulasBytes)
{
    std::vector<uint8_t> colour(65536 + 77), alpha(colour.size());
    for (size_t i = 0; i < colour.size(); ++i) {
        colour[i] = static_cast<uint8_t>(i);
        alpha[i] = static_cast<uint8_t>(i >> 8);
    }
    const qwp::CpuLevel top = qwp::GetCpuSupportedLevel();
    for (int level = qwp::kCpuPlain; level <= top; ++level) {
        const qwjig::BlendRowFn fn = qwjig::BlendRowFor(static_cast<qwp::CpuLevel>(level));
        for (int background : {0, 1, 128, 254, 255}) {
            for (int64_t n : {int64_t{0}, int64_t{1}, int64_t{31}, int64_t{33}, int64_t{63},
                              int64_t{65}, static_cast<int64_t>(colour.size())}) {
                SCOPED_TRACE(testing::Message() << "level " << level << " background "
                                                << background << " n " << n);
                std::vector<uint8_t> out(static_cast<size_t>(n) + 1, 0xA5);
                fn(colour.data(), alpha.data(), out.data(), n, static_cast<uint8_t>(background));
                for (int64_t i = 0; i < n; ++i) {
                    const int a = alpha[i], v = (255 - a) * background + colour[i] * a;
                    ASSERT_EQ(out[i], (v + 1 + (v >> 8)) >> 8) << i;
                }
                ASSERT_EQ(out[static_cast<size_t>(n)], 0xA5);
            }
        }
    }
}

// Masks of runs of 0, 255 and other bytes (1 to 200 long, across the vector widths) of boxes of
// widths around them, encoded and read back at every level into rows with a guard byte either
// side: nothing outside a row changes.
TEST(JigCompositeLevels, MaskRowsReadBackAtEveryLevel)
{
    Lcg g{77};
    struct LevelGuard {
        ~LevelGuard() { qwp::SetCpuLevelLimit(qwp::kCpuAvx512); }
    } guard;
    const qwp::CpuLevel top = qwp::GetCpuSupportedLevel();
    for (int32_t w : {1, 2, 63, 64, 65, 130, 257}) {
        const int32_t h = 1 + g.Below(9);
        std::vector<uint8_t> mask(static_cast<size_t>(w) * h);
        size_t i = 0;
        while (i < mask.size()) {
            const size_t len = 1 + g.Below(200);
            const int kind = g.Below(4);  // a trailing zero run ends some rows early
            for (size_t k = 0; k < len && i < mask.size(); ++k, ++i)
                mask[i] = kind <= 1 ? 0 : kind == 2 ? 255 : static_cast<uint8_t>(1 + g.Below(254));
        }
        CQWF_Mem runs;
        ASSERT_TRUE(CJigcrafter::EncodePieceMask(mask.data(), w, w, h, runs));
        JigPiece p{};
        p.left = 5;
        p.top = 3;
        p.right = 5 + w;
        p.bottom = 3 + h;
        p.maskRuns = runs.GetData();
        for (int level = qwp::kCpuPlain; level <= top; ++level) {
            SCOPED_TRACE(testing::Message() << "level " << level << " width " << w);
            qwp::SetCpuLevelLimit(static_cast<qwp::CpuLevel>(level));
            for (int32_t y = 0; y < h; ++y) {
                std::vector<uint8_t> row(static_cast<size_t>(w) + 2, 0xA5);
                CJigcrafter::ReadPieceMaskRow(p, y, row.data() + 1);
                ASSERT_EQ(row.front(), 0xA5);
                ASSERT_EQ(row.back(), 0xA5);
                ASSERT_TRUE(std::equal(row.begin() + 1, row.end() - 1,
                                       mask.begin() + static_cast<ptrdiff_t>(y) * w))
                    << "row " << y;
            }
        }
    }
}

// The render's read of a whole mask into rows of the planes' stride, which may write a few
// bytes past each row, at every level: every row as the exact read gives it, for strides from
// the box width (the slack falls on the next row, read after it) up.
TEST(JigCompositeLevels, MaskWithSlackGivesTheExactRows)
{
    struct LevelGuard {
        ~LevelGuard() { qwp::SetCpuLevelLimit(qwp::kCpuAvx512); }
    } guard;
    const int32_t w = 301, h = 203;
    std::vector<uint8_t> plane(static_cast<size_t>(w) * h, 90);
    const uint8_t* planes[1] = {plane.data()};
    CJigcrafter e;
    e.SetColourLayout(0);
    ASSERT_TRUE(jigtest::BuildGrid(e, 4, 3, true, 0.25f, 2));
    ASSERT_TRUE(e.Cut(w, h, nullptr, 0, planes, w, 1, 0, 100, false));
    const qwp::CpuLevel top = qwp::GetCpuSupportedLevel();
    for (int level = qwp::kCpuPlain; level <= top; ++level) {
        qwp::SetCpuLevelLimit(static_cast<qwp::CpuLevel>(level));
        for (int32_t k = 0; k < e.GetPieceCount(); ++k) {
            const std::vector<uint8_t> exact = jigtest::CutMask(e, k);
            const JigPiece* p = e.GetPiece(k);
            for (int64_t extra : {0, 5, 70}) {
                SCOPED_TRACE(testing::Message() << "level " << level << " piece " << k
                                                << " extra " << extra);
                const int64_t stride = p->Width() + extra;
                std::vector<uint8_t> rows(
                    static_cast<size_t>(stride * p->Height()) + CJigcrafter::kMaskRowSlack, 0xA5);
                ASSERT_TRUE(e.ReadPieceMaskWithSlack(k, rows.data(), stride));
                for (int32_t y = 0; y < p->Height(); ++y)
                    ASSERT_TRUE(std::equal(rows.begin() + y * stride,
                                           rows.begin() + y * stride + p->Width(),
                                           exact.begin() + static_cast<ptrdiff_t>(y) * p->Width()))
                        << "row " << y;
            }
        }
    }
}
