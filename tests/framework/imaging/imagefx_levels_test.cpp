// The effects at every vector level the processor supports give the bytes of the plain kernels.
// The other effect tests compare the kernels of the level in force with plain step-by-step
// computations; ctest runs them again with QW_ISA=plain and QW_ISA=avx2.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "framework/imaging/imagefx_test.h"
#include "platform/qw_cpu.h"

using fxtest::Planes;

namespace {

// Restores the level when a test ends, whatever happened.
struct LevelGuard {
    ~LevelGuard() { qwp::SetCpuLevelLimit(qwp::kCpuAvx512); }
};

struct EffectCase {
    const char* name;
    int width, height;
    std::function<bool(CQWF_ImageFX&)> run;
};

}  // namespace

TEST(ImageFXLevels, QwIsaAndTheTestLimitLowerTheLevel)
{
    LevelGuard guard;
    const qwp::CpuLevel supported = qwp::GetCpuSupportedLevel();
    EXPECT_LE(qwp::GetCpuLevel(), supported);
    const char* isa = std::getenv("QW_ISA");
    const std::string asked = isa ? isa : "";
    const qwp::CpuLevel want = asked == "plain" ? qwp::kCpuPlain
                               : asked == "avx2" ? (supported < qwp::kCpuAvx2 ? supported : qwp::kCpuAvx2)
                                                 : supported;
    EXPECT_EQ(qwp::GetCpuLevel(), want);
    qwp::SetCpuLevelLimit(qwp::kCpuPlain);
    EXPECT_EQ(qwp::GetCpuLevel(), qwp::kCpuPlain);
    QWF_Gaussian g;
    CQWF_ImageFX::InitGaussian(2.0, g, nullptr, 0, 0);
    EXPECT_EQ(g.level, qwp::kCpuPlain);
}

TEST(ImageFXLevels, EveryLevelGivesThePlainKernelsBytes)
{
    LevelGuard guard;
    const uint8_t hi[4] = {250, 240, 230, 255}, lo[4] = {10, 20, 30, 0};
    const int16_t sharpen[9] = {0, -1, 0, -1, 5, -1, 0, -1, 0};
    const EffectCase cases[] = {
        {"blur direct", 70, 41, [](CQWF_ImageFX& fx) { return fx.Blur(0.8, 1, 1); }},
        {"blur recursive", 70, 41, [](CQWF_ImageFX& fx) { return fx.Blur(4.0, 0, 1); }},
        {"motion blur rows", 90, 37, [](CQWF_ImageFX& fx) { return fx.MotionBlur(0.0, 6.0, 0, 1); }},
        {"motion blur columns", 37, 90,
         [](CQWF_ImageFX& fx) { return fx.MotionBlur(90.0, 6.0, 0, 1); }},
        {"motion blur angled", 300, 170,
         [](CQWF_ImageFX& fx) { return fx.MotionBlur(30.0, 9.0, 0, 0); }},
        {"motion blur angled, mask", 170, 300,
         [](CQWF_ImageFX& fx) { return fx.MotionBlur(118.0, 4.0, 1, 1); }},
        {"motion blur angled, direct", 120, 90,
         [](CQWF_ImageFX& fx) { return fx.MotionBlur(20.0, 1.0, 0, 0); }},
        {"hsl", 67, 13, [](CQWF_ImageFX& fx) { return fx.AdjustHSL(73, -40, 20, 0); }},
        // Rows of two 64-colour chunks and 29 more: groups of 32, 16 and 8 and a part of one.
        {"hsl, lightness first", 157, 9,
         [](CQWF_ImageFX& fx) { return fx.AdjustHSL(-120, 100, -35, 1); }},
        {"hsl, saturation only", 157, 9,
         [](CQWF_ImageFX& fx) { return fx.AdjustHSL(0, 45, 0, 1); }},
        {"convolve", 53, 29,
         [&](CQWF_ImageFX& fx) { return fx.Convolve(sharpen, 3, 3, 1); }},
        {"bevel", 83, 61,
         [&](CQWF_ImageFX& fx) {
             return fx.Bevel(9, 240, 2.5, -0.5f, 0.8f, 0.5f, hi, 200, lo, 170);
         }},
    };
    for (const EffectCase& c : cases) {
        SCOPED_TRACE(c.name);
        qwp::SeedRandom(7);
        Planes src(4, c.width, c.height, true, 5);
        src.RandomiseAll();
        // Smooth regions too, so that the bevel's flat stretches and the blurs' plateaus occur.
        for (int y = 0; y < c.height / 3; ++y)
            for (int x = 0; x < c.width; ++x) src.At(3, x, y) = x < c.width / 2 ? 255 : 0;
        Planes reference(4, c.width, c.height, true, 5);
        qwp::SetCpuLevelLimit(qwp::kCpuPlain);
        {
            CQWF_ImageFX fx;
            fxtest::Bind(fx, src, reference);
            ASSERT_TRUE(c.run(fx));
        }
        for (int level = qwp::kCpuAvx2; level <= qwp::GetCpuSupportedLevel(); ++level) {
            SCOPED_TRACE(qwp::CpuLevelName(static_cast<qwp::CpuLevel>(level)));
            qwp::SetCpuLevelLimit(static_cast<qwp::CpuLevel>(level));
            Planes out(4, c.width, c.height, true, 5);
            CQWF_ImageFX fx;
            fxtest::Bind(fx, src, out);
            ASSERT_TRUE(c.run(fx));
            for (int k = 0; k < 4; ++k) EXPECT_TRUE(out.SamePlane(reference, k)) << "plane " << k;
        }
    }
}
