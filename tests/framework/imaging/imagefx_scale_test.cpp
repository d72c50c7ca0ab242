// Scaling a plane set into a target of another size.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "framework/core/qwf_progress.h"
#include "imagefx_test.h"

using fxtest::Planes;

namespace {
class RecordingProgress : public CQWF_Progress {
public:
    void SetPercent(uint8_t p) override { seen.push_back(p); }
    bool IsCancelled() override { return cancelAfter >= 0 && static_cast<int>(seen.size()) > cancelAfter; }
    std::vector<int> seen;
    int cancelAfter = -1;
};
}  // namespace

TEST(ImageFXScale, KeepAspectCentresAndFillsMargins)
{
    Planes s(3, 100, 50, false), t(3, 40, 40, false, 0, 33);
    for (int k = 0; k < 3; ++k) s.FillPlane(k, static_cast<uint8_t>(10 + k));
    CQWF_ImageFX fx;
    fx.SetFillByte(200);
    fxtest::Bind(fx, s, t);
    ASSERT_TRUE(fx.ScaleToFit(1));
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x)
            for (int k = 0; k < 3; ++k)
                EXPECT_EQ(t.At(k, x, y), (y < 10 || y >= 30) ? 200 : 10 + k) << x << "," << y;
    // Without keeping the aspect the whole target is the picture.
    ASSERT_TRUE(fx.ScaleToFit(0));
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) EXPECT_EQ(t.At(1, x, y), 11);
}

TEST(ImageFXScale, ShrinkAveragesWithSamplingSteps)
{
    // 1000 x 20 into 10 x 10: groups of 100 columns, every 4th sampled (25 samples).
    Planes s(1, 1000, 20, false), t(1, 10, 10, false);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 1000; ++x) s.At(0, x, y) = static_cast<uint8_t>(x % 4 == 0 ? 200 : 0);
    CQWF_ImageFX fx;
    fxtest::Bind(fx, s, t);
    ASSERT_TRUE(fx.ScaleToFit(0));
    for (int x = 0; x < 10; ++x) EXPECT_EQ(t.At(0, x, 5), 200);
    // With a height that does not shrink the resampling path averages every column.
    Planes s10(1, 1000, 10, false), t10(1, 10, 10, false);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 1000; ++x) s10.At(0, x, y) = static_cast<uint8_t>(x % 4 == 0 ? 200 : 0);
    fxtest::Bind(fx, s10, t10);
    ASSERT_TRUE(fx.ScaleToFit(0));
    for (int x = 0; x < 10; ++x) EXPECT_NEAR(t10.At(0, x, 5), 50, 1);
    // An exact average when every pixel is sampled.
    Planes a(1, 6, 4, false, 2), b(1, 3, 2, false);
    int v = 0;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) a.At(0, x, y) = static_cast<uint8_t>(v++ * 10);
    fxtest::Bind(fx, a, b);
    ASSERT_TRUE(fx.ScaleToFit(0));
    EXPECT_EQ(b.At(0, 0, 0), (0 + 10 + 60 + 70) / 4);
    EXPECT_EQ(b.At(0, 2, 1), (160 + 170 + 220 + 230) / 4);
    // Uneven groups: 7 columns into 3.
    Planes c(1, 7, 2, false), d(1, 3, 1, false);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 7; ++x) c.At(0, x, y) = static_cast<uint8_t>(x * 30);
    fxtest::Bind(fx, c, d);
    ASSERT_TRUE(fx.ScaleToFit(0));
    EXPECT_EQ(d.At(0, 0, 0), (0 + 30) / 2);        // end 2.33 -> 2
    EXPECT_EQ(d.At(0, 1, 0), (60 + 90) / 2);       // end 4.67 -> 4
    EXPECT_EQ(d.At(0, 2, 0), (120 + 150 + 180) / 3);
}

TEST(ImageFXScale, EnlargeInterpolatesAndReportsProgress)
{
    Planes s(1, 2, 1, false), t(1, 4, 1, false);
    s.At(0, 0, 0) = 0;
    s.At(0, 1, 0) = 100;
    CQWF_ImageFX fx;
    RecordingProgress prog;
    fx.SetProgress(&prog);
    fxtest::Bind(fx, s, t);
    ASSERT_TRUE(fx.ScaleToFit(0));
    EXPECT_EQ(t.At(0, 0, 0), 0);
    EXPECT_EQ(t.At(0, 1, 0), 50);
    EXPECT_EQ(t.At(0, 2, 0), 100);
    EXPECT_EQ(t.At(0, 3, 0), 100);
    ASSERT_GE(prog.seen.size(), 2u);
    EXPECT_EQ(prog.seen.front(), 0);
    EXPECT_EQ(prog.seen.back(), 100);
    for (size_t i = 1; i < prog.seen.size(); ++i) EXPECT_GE(prog.seen[i], prog.seen[i - 1]);

    // One axis grows, the other shrinks: area along y, interpolation along x.
    Planes a(1, 2, 4, false), b(1, 4, 2, false);
    for (int y = 0; y < 4; ++y) {
        a.At(0, 0, y) = static_cast<uint8_t>(y * 20);
        a.At(0, 1, y) = static_cast<uint8_t>(y * 20 + 100);
    }
    fxtest::Bind(fx, a, b);
    ASSERT_TRUE(fx.ScaleToFit(0));
    EXPECT_EQ(b.At(0, 0, 0), 10);       // (0 + 20) / 2
    EXPECT_EQ(b.At(0, 1, 1), 50 + 50);  // (40 + 60) / 2 halfway to (140 + 160) / 2
    // A cancel stops at once and reports false without an error.
    Planes big(3, 10, 10, false), bigger(3, 30, 30, false);
    prog.seen.clear();
    prog.cancelAfter = 3;
    fxtest::Bind(fx, big, bigger);
    fx.ClearError();
    EXPECT_FALSE(fx.ScaleUp(0));
    EXPECT_EQ(fx.GetError(), 0);
    EXPECT_EQ(prog.seen.size(), 4u);
}

namespace {
// The resampling written plainly, pixel by pixel (no margins).
void PlainScaleUp(const Planes& s, Planes& t, bool keep)
{
    double fx = static_cast<double>(t.width) / s.width, fy = static_cast<double>(t.height) / s.height;
    long sw = t.width, sh = t.height, xo = 0, yo = 0;
    if (keep) {
        fx = fy = std::min(fx, fy);
        sw = std::clamp(static_cast<long>(fx * s.width), 1L, static_cast<long>(t.width));
        sh = std::clamp(static_cast<long>(fy * s.height), 1L, static_cast<long>(t.height));
        xo = (t.width - sw) / 2;
        yo = (t.height - sh) / 2;
    }
    const double wx = fx < 1 ? 1 / fx : 1, wy = fy < 1 ? 1 / fy : 1;
    for (int k = 0; k < s.count; ++k) {
        double y0 = 0;
        for (long r = 0; r < sh; ++r, y0 += 1 / fy) {
            double x0 = 0;
            for (long c = 0; c < sw; ++c, x0 += 1 / fx) {
                double sum = 0;
                for (double top = y0; top < y0 + wy;) {
                    const double bottom = std::min(std::floor(top) + 1, y0 + wy);
                    const long j = std::min(static_cast<long>(top), static_cast<long>(s.height - 1));
                    const double ph = fy < 1 ? (bottom - top) * fy : bottom - top;
                    for (double left = x0; left < x0 + wx;) {
                        const double right = std::min(std::floor(left) + 1, x0 + wx);
                        const long i = std::min(static_cast<long>(left), static_cast<long>(s.width - 1));
                        const double pw = fx < 1 ? (right - left) * fx : right - left;
                        sum += s.Get(k, static_cast<int>(i), static_cast<int>(j)) * pw * ph;
                        left = right;
                    }
                    top = bottom;
                }
                t.At(k, static_cast<int>(xo + c), static_cast<int>(yo + r)) =
                    static_cast<uint8_t>(std::clamp(sum, 0.0, 255.0));
            }
        }
    }
}
}  // namespace

TEST(ImageFXScale, ResamplingMatchesPlainFootprints)
{
    qwp::SeedRandom(8);
    const int sizes[][4] = {{7, 5, 23, 17}, {13, 9, 40, 6}, {5, 300, 12, 3}, {3, 2, 50, 31}, {9, 9, 10, 9}};
    for (const auto& z : sizes) {
        for (int keep = 0; keep < 2; ++keep) {
            Planes s(2, z[0], z[1], false), t(2, z[2], z[3], false, 0, 0), r(2, z[2], z[3], false, 0, 0);
            s.RandomiseAll();
            CQWF_ImageFX fx;
            fxtest::Bind(fx, s, t);
            ASSERT_TRUE(fx.ScaleUp(static_cast<uint8_t>(keep)));
            PlainScaleUp(s, r, keep != 0);
            for (int k = 0; k < 2; ++k) EXPECT_TRUE(t.SamePlane(r, k)) << z[0] << "x" << z[1] << " keep " << keep;
        }
    }
}

TEST(ImageFXScale, CopiesRefusalsAndEmptySources)
{
    Planes s(4, 9, 7, true, 3), t(4, 9, 7, true);
    s.RandomiseAll();
    CQWF_ImageFX fx;
    fxtest::Bind(fx, s, t);
    ASSERT_TRUE(fx.ScaleToFit(1));
    for (int k = 0; k < 4; ++k) EXPECT_TRUE(t.SamePlane(s, k));
    // Plane counts differ.
    Planes u(3, 9, 7, false, 0, 5);
    fxtest::Bind(fx, s, u);
    EXPECT_FALSE(fx.ScaleToFit(0));
    EXPECT_EQ(fx.GetError(), 1);
    // A source without pixels is refused rather than divided by.
    Planes e(3, 0, 7, false), f(3, 5, 0, false);
    fx.ClearError();
    fxtest::Bind(fx, e, u);
    EXPECT_FALSE(fx.ScaleToFit(1));
    EXPECT_EQ(fx.GetError(), 1);
    fxtest::Bind(fx, f, u);
    EXPECT_FALSE(fx.ScaleUp(0));
    EXPECT_EQ(fx.GetError(), 1);
    for (uint8_t v : u.data) EXPECT_EQ(v, 5);
    // A target without pixels gets no byte written; ScaleUp reports 0 and 100 alone.
    RecordingProgress prog;
    fx.SetProgress(&prog);
    fx.ClearError();
    for (const auto& [w, h] : {std::pair{0, 5}, std::pair{5, 0}}) {
        Planes none(4, w, h, true);
        fxtest::Bind(fx, s, none);
        EXPECT_TRUE(fx.ScaleToFit(1));
        EXPECT_TRUE(fx.ScaleUp(1));
    }
    EXPECT_EQ(prog.seen, (std::vector<int>{0, 100, 0, 100}));
    fx.SetProgress(nullptr);
    // A reduction beyond 6,250,000 source pixels per target pixel.
    Planes wide(1, 65000, 200, false), one(1, 1, 1, false);
    fx.ClearError();
    fxtest::Bind(fx, wide, one);
    EXPECT_FALSE(fx.ScaleToFit(0));
    EXPECT_EQ(fx.GetError(), 1);
    // Just inside the limit it averages.
    Planes w2(1, 62500, 100, false, 0, 9);
    fxtest::Bind(fx, w2, one);
    EXPECT_TRUE(fx.ScaleToFit(0));
    EXPECT_EQ(one.At(0, 0, 0), 9);
}
