// Random shapes, strides and parameters thrown at every effect: nothing may read or write
// outside the planes (run under the sanitizers), and a refusal never touches the target.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "framework/core/qwf_progress.h"
#include "imagefx_test.h"

using fxtest::Planes;

namespace {
int R(int n) { return n <= 0 ? 0 : qwp::Random15() % n; }

double RD(double lo, double hi) { return lo + (hi - lo) * (qwp::Random15() / 32767.0); }

// Random bytes; an alpha plane gets an opaque disc, a soft edge and holes around it.
void Fill(Planes& p)
{
    p.RandomiseAll();
    if (!p.alpha || p.width == 0 || p.height == 0) return;
    const double cx = R(p.width), cy = R(p.height), rad = 1 + R(std::max(p.width, p.height));
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const double d = std::hypot(x - cx, y - cy) - rad / 2;
            p.At(p.count - 1, x, y) = d < 0 ? 255 : (d < 2 ? static_cast<uint8_t>(R(256)) : 0);
        }
}

class CancelSometimes : public CQWF_Progress {
public:
    bool IsCancelled() override { return R(50) == 0; }
};
}  // namespace

TEST(ImageFXFuzz, RandomShapesAndParametersStayInside)
{
    qwp::SeedRandom(20261208);
    CQWF_ImageFX fx;  // one frame for all calls: scratch blocks are reused and regrown
    CancelSometimes progress;
    for (int iter = 0; iter < 1500; ++iter) {
        const bool alpha = R(3) != 0;
        int count = 1 + R(5);
        if (alpha && count < 2 && R(2)) count = 2;
        const int w = R(5) == 0 ? R(3) : 1 + R(70);
        const int h = R(5) == 0 ? R(3) : 1 + R(50);
        Planes src(count, w, h, alpha, R(3) == 0 ? R(9) : 0);
        Fill(src);
        // Usually the same shape; sometimes a different size or plane count.
        const int kind = R(10);
        const int tw = kind == 0 ? R(90) : (kind == 1 ? w + 1 : w);
        const int th = kind == 0 ? R(70) : h;
        const int tc = kind == 2 ? 1 + R(5) : count;
        Planes dst(tc, tw, th, alpha, R(3) == 0 ? R(5) : 0);
        Fill(dst);
        if (src.data.size() == 0 || dst.data.size() == 0) continue;
        fxtest::Bind(fx, src, dst);
        const std::vector<uint8_t> before = dst.data.Copy();
        uint8_t c1[5], c2[5];
        for (int k = 0; k < 5; ++k) {
            c1[k] = static_cast<uint8_t>(R(256));
            c2[k] = static_cast<uint8_t>(R(256));
        }
        const bool sameShape = tc == count && tw == w && th == h;
        bool ok = false;
        const int effect = R(15);
        fx.ClearError();
        switch (effect) {
        case 0: ok = fx.Invert(); break;
        case 1: ok = fx.BlendSource(static_cast<uint8_t>(R(256))); break;
        case 2: ok = fx.ColorOverlay(c1, static_cast<uint8_t>(R(256))); break;
        case 3:
            ok = fx.BrightnessContrast(static_cast<int8_t>(R(256) - 128), static_cast<int8_t>(R(256) - 128),
                                       static_cast<uint8_t>(R(256)));
            break;
        case 4:
            ok = fx.AdjustHSL(static_cast<int16_t>(R(400) - 200), static_cast<int16_t>(R(240) - 120),
                              static_cast<int16_t>(R(240) - 120), static_cast<uint8_t>(R(2)));
            break;
        case 5: ok = fx.Blur(R(4) == 0 ? RD(0, 1.5) : RD(0, 40), static_cast<uint8_t>(R(2)), static_cast<uint8_t>(R(2))); break;
        case 6:
            ok = fx.MotionBlur(RD(-400, 400), R(3) == 0 ? RD(0, 1.5) : RD(0, 30), static_cast<uint8_t>(R(2)),
                               static_cast<uint8_t>(R(2)));
            break;
        case 7: {
            const int kw = R(8), kh = R(8);
            std::vector<int16_t> k(static_cast<size_t>(kw) * kh + 1);
            for (auto& v : k) v = static_cast<int16_t>(R(65536) - 32768);
            ok = fx.Convolve(k.data(), static_cast<uint16_t>(kw), static_cast<uint16_t>(kh), static_cast<uint8_t>(R(2)));
            break;
        }
        case 8: ok = fx.Sharpen(static_cast<uint8_t>(R(2))); break;
        case 9: ok = fx.Stroke(c1, static_cast<uint8_t>(R(256)), static_cast<uint8_t>(R(4) == 0 ? R(256) : R(12))); break;
        case 10:
            ok = fx.Bevel(static_cast<uint16_t>(R(40)), static_cast<uint16_t>(R(1000)), R(2) ? 0.0 : RD(0, 8),
                          static_cast<float>(RD(-2, 2)), static_cast<float>(RD(-2, 2)),
                          static_cast<float>(R(4) == 0 ? 0 : RD(-2, 2)), c1, static_cast<uint8_t>(R(256)), c2,
                          static_cast<uint8_t>(R(256)));
            break;
        case 11:
            fx.SetProgress(R(2) ? &progress : nullptr);
            fx.SetFillByte(static_cast<uint8_t>(R(256)));
            ok = fx.ScaleToFit(static_cast<uint8_t>(R(2)));
            break;
        case 12:
            fx.SetProgress(R(2) ? &progress : nullptr);
            ok = fx.ScaleUp(static_cast<uint8_t>(R(2)));
            break;
        case 13: ok = fx.Desaturate(); break;
        default: {
            const int r = R(20);
            std::vector<uint8_t> disc(static_cast<size_t>(2 * r + 1) * (2 * r + 1));
            ok = fx.MakeDisc(static_cast<uint8_t>(R(6)), disc.data(), static_cast<uint16_t>(r));
            EXPECT_TRUE(ok);
            break;
        }
        }
        // Effects that need the same shape refuse every other one and leave the target alone.
        if (effect <= 10 && !sameShape) {
            EXPECT_FALSE(ok) << "effect " << effect;
            EXPECT_EQ(fx.GetError(), 1);
            EXPECT_TRUE(dst.data.Copy() == before) << "effect " << effect;
        }
        if (effect <= 3 && sameShape) {
            EXPECT_TRUE(ok) << "effect " << effect;
        }
    }
}

TEST(ImageFXFuzz, AllocationFailuresReportAndLeaveNoHalfBlocks)
{
    Planes s(4, 60, 40, true), t(4, 60, 40, true);
    s.RandomiseAll();
    const uint8_t c[3] = {1, 2, 3};
    for (int fail = 0; fail < 4; ++fail) {
        CQWF_ImageFX fx;
        fxtest::Bind(fx, s, t);
        qwf::SetAllocFailureAfter(fail);
        const bool b1 = fx.Blur(3.0, 0, 1);
        qwf::SetAllocFailureAfter(fail);
        const bool b2 = fx.Bevel(8, 100, 2.0, 1, 1, 1, c, 200, c, 200);
        qwf::SetAllocFailureAfter(fail);
        const bool b3 = fx.Stroke(c, 255, 5);
        qwf::SetAllocFailureAfter(fail);
        const bool b4 = fx.MotionBlur(30.0, 4.0, 0, 1);
        qwf::SetAllocFailureAfter(-1);
        for (bool ok : {b1, b2, b3, b4})
            if (!ok) {
                EXPECT_EQ(fx.GetError(), 17);
            }
        // The frame works again once memory is there.
        EXPECT_TRUE(fx.Blur(3.0, 0, 1));
        EXPECT_TRUE(fx.Stroke(c, 255, 5));
    }
}
