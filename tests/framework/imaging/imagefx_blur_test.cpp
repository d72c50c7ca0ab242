// Gaussian line filter, blurs and convolution.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "framework/imaging/qwf_imagefx_internal.h"
#include "imagefx_test.h"

using fxtest::Planes;

namespace {
uint8_t Back(double v)
{
    const float f = static_cast<float>(v);
    if (!(f > 0)) return 0;
    if (f >= 255) return 255;
    return static_cast<uint8_t>(static_cast<int>(f));
}

// Blurs one plane line by line through the public single-line filter.
void ReferenceBlurPlane(const Planes& s, Planes& t, int k, double sigma, bool mask, bool rows,
                        bool cols)
{
    QWF_Gaussian g;
    CQWF_Mem work;
    CQWF_ImageFX::InitGaussian(sigma, g, &work, 0, 0);
    std::vector<double> line;
    std::vector<uint8_t> b, m;
    if (rows) {
        for (int y = 0; y < s.height; ++y) {
            line.assign(s.width, 0);
            b.resize(s.width);
            m.resize(s.width);
            for (int x = 0; x < s.width; ++x) {
                b[x] = s.Get(k, x, y);
                m[x] = s.Get(s.count - 1, x, y);
                line[x] = b[x];
            }
            if (mask) CQWF_ImageFX::FillFromOpaque(b.data(), line.data(), s.width, m.data());
            g.line = line.data();
            g.count = line.size();
            ASSERT_TRUE(CQWF_ImageFX::FilterLine(g));
            for (int x = 0; x < s.width; ++x) t.At(k, x, y) = Back(line[x]);
        }
    }
    if (cols) {
        for (int x = 0; x < s.width; ++x) {
            line.assign(s.height, 0);
            b.resize(s.height);
            m.resize(s.height);
            for (int y = 0; y < s.height; ++y) {
                b[y] = rows ? t.At(k, x, y) : s.Get(k, x, y);
                m[y] = s.Get(s.count - 1, x, y);
                line[y] = b[y];
            }
            if (mask && !rows) CQWF_ImageFX::FillFromOpaque(b.data(), line.data(), s.height, m.data());
            g.line = line.data();
            g.count = line.size();
            ASSERT_TRUE(CQWF_ImageFX::FilterLine(g));
            for (int y = 0; y < s.height; ++y) t.At(k, x, y) = Back(line[y]);
        }
    }
}

// Alpha with an opaque blob, soft edges and transparent surroundings.
void BlobAlpha(Planes& p)
{
    const int k = p.count - 1;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const double dx = x - p.width * 0.45, dy = y - p.height * 0.55;
            const double r = std::sqrt(dx * dx + dy * dy) - p.width * 0.3;
            p.At(k, x, y) = r < 0 ? 255 : (r < 2 ? static_cast<uint8_t>(255 - r * 100) : 0);
        }
}
}  // namespace

TEST(ImageFXGaussian, DirectKernelFollowsItsFormula)
{
    for (double sigma : {0.0, 0.05, 0.3, 0.8, 1.2, 1.49}) {
        QWF_Gaussian g;
        CQWF_ImageFX::InitGaussian(sigma, g, nullptr, 0, 0);
        ASSERT_EQ(g.direct, 1) << sigma;
        const double s = sigma < 0.1 ? 0.1 : 0.1 + 1.5 * sigma;
        EXPECT_EQ(g.kernelCount, 2 + static_cast<int>(3.8 * s)) << sigma;
        for (int i = 0; i < g.kernelCount; ++i)
            EXPECT_NEAR(g.kernel[i], 1000 * std::exp(-i * i / (2 * s * s)), 1e-9);
    }
    QWF_Gaussian g;
    CQWF_ImageFX::InitGaussian(1.5, g, nullptr, 0, 0);
    EXPECT_EQ(g.direct, 0);
    // The recursive coefficients keep a constant constant: B + a1 + a2 + a3 = 1.
    for (double sigma : {1.5, 2.0, 2.5, 7.0, 40.0}) {
        CQWF_ImageFX::InitGaussian(sigma, g, nullptr, 0, 0);
        EXPECT_NEAR(g.B + g.a1 + g.a2 + g.a3, 1.0, 1e-12);
    }
}

TEST(ImageFXGaussian, ImpulseResponseHasTheGaussianSpread)
{
    // A long line with one bright sample: the response's mass stays, its spread is sigma.
    for (double sigma : {0.7, 1.5, 2.0, 4.0, 9.0}) {
        std::vector<double> line(601, 0.0);
        line[300] = 255;
        QWF_Gaussian g;
        CQWF_Mem work;
        CQWF_ImageFX::InitGaussian(sigma, g, &work, 0, 0);
        g.line = line.data();
        g.count = line.size();
        ASSERT_TRUE(CQWF_ImageFX::FilterLine(g));
        double sum = 0, var = 0;
        for (int i = 0; i < 601; ++i) {
            sum += line[i];
            var += line[i] * (i - 300) * (i - 300);
        }
        var /= sum;
        EXPECT_NEAR(sum, 255, 255 * 0.02) << sigma;
        // The direct kernel uses the widened s = 0.1 + 1.5 sigma (cut at its taps); the
        // recursive approximation of these coefficients runs about 10 percent wide (15 below
        // sigma 2.5).
        if (sigma < 1.5) {
            EXPECT_NEAR(std::sqrt(var), 0.1 + 1.5 * sigma, 0.1 * (0.1 + 1.5 * sigma)) << sigma;
        } else {
            EXPECT_GT(std::sqrt(var), sigma) << sigma;
            EXPECT_LT(std::sqrt(var), sigma * 1.18) << sigma;
        }
        EXPECT_NEAR(line[299], line[301], 1e-6 * 255 + 0.5 * sigma * 0.02);
    }
}

TEST(ImageFXGaussian, EdgesRepeatOrTakeTheEdgeValue)
{
    for (double sigma : {0.9, 3.0}) {
        std::vector<double> line(40, 200.0);
        QWF_Gaussian g;
        CQWF_Mem work;
        CQWF_ImageFX::InitGaussian(sigma, g, &work, 0, 0);
        g.line = line.data();
        g.count = line.size();
        ASSERT_TRUE(CQWF_ImageFX::FilterLine(g));
        for (double v : line) EXPECT_NEAR(v, 200, 1e-9);
        line.assign(40, 200.0);
        CQWF_ImageFX::InitGaussian(sigma, g, &work, 1, 0);
        g.line = line.data();
        g.count = line.size();
        ASSERT_TRUE(CQWF_ImageFX::FilterLine(g));
        EXPECT_LT(line[0], 150);
        EXPECT_NEAR(line[20], 200, 1);
        EXPECT_NEAR(line[0], line[39], 0.05);
    }
    // A line of one sample and an empty line.
    double one = 77;
    QWF_Gaussian g;
    CQWF_Mem work;
    CQWF_ImageFX::InitGaussian(5.0, g, &work, 0, 0);
    g.line = &one;
    g.count = 1;
    ASSERT_TRUE(CQWF_ImageFX::FilterLine(g));
    EXPECT_NEAR(one, 77, 1e-9);
    g.count = 0;
    EXPECT_TRUE(CQWF_ImageFX::FilterLine(g));
    // A failed work block leaves the line unchanged.
    std::vector<double> line(10, 3.0);
    line[5] = 100;
    CQWF_Mem fresh;
    CQWF_ImageFX::InitGaussian(3.0, g, &fresh, 0, 0);
    g.line = line.data();
    g.count = line.size();
    qwf::SetAllocFailureAfter(0);
    EXPECT_FALSE(CQWF_ImageFX::FilterLine(g));
    qwf::SetAllocFailureAfter(-1);
    EXPECT_EQ(line[5], 100);
}

TEST(ImageFXGaussian, FillFromOpaqueMatchesPlainRuleOnRandomRuns)
{
    // Runs with and without mask of every length up to 40 (long masked runs are skipped eight
    // at a time), masks of any non-zero value; the byte fill follows the same rule.
    qwp::SeedRandom(4);
    for (int trial = 0; trial < 300; ++trial) {
        const size_t n = 1 + static_cast<size_t>(qwp::Random15() % 200);
        qwtest::GuardedBytes bytes(n), mask(n);
        size_t i = 0;
        bool on = qwp::Random15() & 1;
        while (i < n) {
            const size_t run = 1 + static_cast<size_t>(qwp::Random15() % 40);
            for (size_t j = i; j < i + run && j < n; ++j) {
                bytes[j] = static_cast<uint8_t>(qwp::Random15() & 255);
                mask[j] = on ? static_cast<uint8_t>(1 + qwp::Random15() % 255) : 0;
            }
            i += run;
            on = !on;
        }
        if (trial % 7 == 0) std::fill(mask.begin(), mask.end(), 255);
        // The rule: masked positions keep their byte; a run without mask takes the nearest
        // masked byte (first half of an inner run from the left); no mask at all gives 128.
        std::vector<double> expect(n);
        std::vector<long> left(n, -1), right(n, -1);
        for (size_t j = 0; j < n; ++j) left[j] = mask[j] ? static_cast<long>(j) : (j ? left[j - 1] : -1);
        for (size_t j = n; j-- > 0;) right[j] = mask[j] ? static_cast<long>(j) : (j + 1 < n ? right[j + 1] : -1);
        for (size_t j = 0; j < n; ++j) {
            if (mask[j]) expect[j] = bytes[j];
            else if (left[j] < 0 && right[j] < 0) expect[j] = 128;
            else if (left[j] < 0) expect[j] = bytes[right[j]];
            else if (right[j] < 0) expect[j] = bytes[left[j]];
            else {
                const size_t a = static_cast<size_t>(left[j]) + 1, len = static_cast<size_t>(right[j]) - a;
                expect[j] = j < a + len / 2 ? bytes[left[j]] : bytes[right[j]];
            }
        }
        std::vector<double> out(n);
        CQWF_ImageFX::FillFromOpaque(bytes.data(), out.data(), n, mask.data());
        ASSERT_EQ(out, expect) << trial;
        qwtest::GuardedBytes outBytes(n);
        qwf_fx::FillOpaqueBytes(bytes.data(), 1, mask.data(), 1, n, outBytes.data(), 1);
        for (size_t j = 0; j < n; ++j) ASSERT_EQ(outBytes[j], expect[j]) << trial << " " << j;
    }
}

TEST(ImageFXBlur, SmallSigmaCopiesAndConstantsStay)
{
    CQWF_ImageFX fx;
    Planes s(4, 23, 17, true, 5), t(4, 23, 17, true, 5);
    s.RandomiseAll();
    fxtest::Bind(fx, s, t);
    ASSERT_TRUE(fx.Blur(0.05, 1, 1));
    for (int k = 0; k < 4; ++k) EXPECT_TRUE(t.SamePlane(s, k));
    for (double sigma : {0.4, 1.0, 1.6, 3.0, 12.0, 40.0}) {
        Planes c(3, 19, 11, false, 1), d(3, 19, 11, false, 1);
        c.FillPlane(0, 0);
        c.FillPlane(1, 255);
        c.FillPlane(2, 93);
        fxtest::Bind(fx, c, d);
        ASSERT_TRUE(fx.Blur(sigma, 0, 0));
        for (int k = 0; k < 3; ++k) EXPECT_TRUE(d.SamePlane(c, k)) << sigma << " plane " << k;
    }
}

TEST(ImageFXMotionBlur, DirectionsFoldAndMatchLineFiltering)
{
    Planes s(4, 26, 19, true, 2);
    s.RandomiseAll();
    BlobAlpha(s);
    CQWF_ImageFX fx;
    Planes a(4, 26, 19, true, 2), b(4, 26, 19, true, 2), r(4, 26, 19, true, 2);
    for (double d : {1.0, 4.0}) {
        // Horizontal: rows only; vertical: columns only (with the alpha column as mask).
        fxtest::Bind(fx, s, a);
        ASSERT_TRUE(fx.MotionBlur(180.0, d, 0, 1));
        for (int k = 0; k < 3; ++k) ReferenceBlurPlane(s, r, k, d, true, true, false);
        for (int k = 0; k < 3; ++k) EXPECT_TRUE(a.SamePlane(r, k));
        ASSERT_TRUE(fx.MotionBlur(270.0, d, 0, 1));
        for (int k = 0; k < 3; ++k) ReferenceBlurPlane(s, r, k, d, true, false, true);
        for (int k = 0; k < 3; ++k) EXPECT_TRUE(a.SamePlane(r, k));
        fxtest::Bind(fx, s, b);
        ASSERT_TRUE(fx.MotionBlur(90.05, d, 0, 1));
        for (int k = 0; k < 4; ++k) EXPECT_TRUE(a.SamePlane(b, k));
        // Angles fold by 180.
        fxtest::Bind(fx, s, a);
        ASSERT_TRUE(fx.MotionBlur(-30.0, d, 0, 0));
        fxtest::Bind(fx, s, b);
        ASSERT_TRUE(fx.MotionBlur(150.0, d, 0, 0));
        for (int k = 0; k < 4; ++k) EXPECT_TRUE(a.SamePlane(b, k));
        ASSERT_TRUE(fx.MotionBlur(510.0, d, 0, 0));
        for (int k = 0; k < 4; ++k) EXPECT_TRUE(a.SamePlane(b, k));
    }
    // A tiny distance copies.
    fxtest::Bind(fx, s, a);
    ASSERT_TRUE(fx.MotionBlur(33.0, 0.05, 1, 1));
    for (int k = 0; k < 4; ++k) EXPECT_TRUE(a.SamePlane(s, k));
}

namespace {
// The angled walk written plainly: every start v, every column checked.
void ReferenceAngled(const Planes& s, Planes& t, int k, double angle, double dist, bool mask = false)
{
    const bool mirrored = angle > 90;
    if (mirrored) angle = 180 - angle;
    const bool tr = angle > 45;
    const int W = s.width, H = s.height;
    const int nU = tr ? H : W, nC = tr ? W : H;
    const double pi = 3.14159265358979323846;
    const double tg = tr ? -std::tan((angle - 90) * pi / 180) : std::tan(angle * pi / 180);
    std::vector<long> off(nU);
    std::vector<double> frac(nU);
    for (int u = 0; u < nU; ++u) {
        off[u] = static_cast<long>(static_cast<float>(tg * u));
        frac[u] = tg * u - off[u];
    }
    auto px = [&](int u, long c, int& x, int& y) {
        x = tr ? static_cast<int>(c) : u;
        y = tr ? u : static_cast<int>(c);
        if (mirrored) y = H - 1 - y;
    };
    QWF_Gaussian g;
    CQWF_Mem work;
    CQWF_ImageFX::InitGaussian(dist, g, &work, 0, 0);
    for (long v = 0; v < nC + off[nU - 1]; ++v) {
        std::vector<int> us;
        for (int u = 0; u < nU; ++u)
            if (v - off[u] >= 0 && v - off[u] < nC) us.push_back(u);
        if (us.empty()) continue;
        std::vector<double> line;
        std::vector<uint8_t> lb, lm;
        for (int u : us) {
            int x, y;
            px(u, v - off[u], x, y);
            line.push_back(s.Get(k, x, y));
            lb.push_back(s.Get(k, x, y));
            lm.push_back(s.Get(s.count - 1, x, y));
        }
        if (mask) CQWF_ImageFX::FillFromOpaque(lb.data(), line.data(), lb.size(), lm.data());
        g.line = line.data();
        g.count = line.size();
        CQWF_ImageFX::FilterLine(g);
        for (size_t i = 0; i < us.size(); ++i) {
            const int u = us[i];
            int x, y;
            px(u, v - off[u], x, y);
            t.At(k, x, y) = Back(line[i]);
            if (v - off[u] > 0) {
                px(u, v - off[u] - 1, x, y);
                t.At(k, x, y) = Back((1 - frac[u]) * t.At(k, x, y) + frac[u] * line[i]);
            }
        }
    }
}
}  // namespace

TEST(ImageFXMotionBlur, AngledWalksMatchPlainWalkAtEveryLevel)
{
    // Lines of one pixel up to lines longer than the padding, sixteen-line groups cut by the
    // picture's edges, every octant (near the axes and the diagonals too), the direct and the
    // recursive filter (a pad shorter and longer than the picture), with and without the fill
    // from the opaque pixels; at each vector level up to the one in force (QW_ISA). The larger
    // pictures: several groups and tiles both ways (150 x 110), nine groups and lines longer
    // than the widest pad, 280 (40 x 290), the whole band of sixteen groups (20 x 530). Pictures
    // without alpha, and one of scattered opaque pixels, denser to the right and none in the left
    // columns: gaps of every length between them, even and odd, and lines without any.
    struct LevelGuard {
        ~LevelGuard() { qwp::SetCpuLevelLimit(qwp::kCpuAvx512); }
    } guard;
    enum Kind { kBlob, kNoAlpha, kSparse };
    const struct {
        int w, h;
        Kind kind;
    } pictures[] = {{1, 1, kBlob},       {1, 23, kBlob},      {29, 1, kBlob},    {2, 37, kBlob},
                    {37, 3, kBlob},      {61, 45, kBlob},     {131, 19, kBlob},  {150, 110, kBlob},
                    {40, 290, kBlob},    {20, 530, kBlob},    {31, 22, kNoAlpha}, {97, 71, kNoAlpha},
                    {300, 90, kSparse}};
    const double angles[] = {0.2, 10, 30, 44.9, 45, 60, 89.7, 90.3, 100, 134.9, 135, 150, 179.7};
    // Distances by kind: the blobs at three, the pictures without alpha at two, the scattered one at 6.
    const std::vector<double> kDistances[] = {{0.8, 1.5, 40.0}, {0.8, 12.0}, {6.0}};
    const qwp::CpuLevel top = qwp::GetCpuLevel();
    for (int level = qwp::kCpuPlain; level <= top; ++level) {
        qwp::SetCpuLevelLimit(static_cast<qwp::CpuLevel>(level));
        SCOPED_TRACE(qwp::CpuLevelName(static_cast<qwp::CpuLevel>(level)));
        qwp::SeedRandom(57);
        for (const auto& z : pictures) {
            const bool alpha = z.kind != kNoAlpha;
            const int n = alpha ? 4 : 3;
            Planes s(n, z.w, z.h, alpha, 3);
            s.RandomiseAll();
            if (z.kind == kBlob) {
                BlobAlpha(s);
                for (int y = 0; y < z.h; y += 4) s.At(3, z.w / 2, y) = 0;  // holes in the blob
            }
            if (z.kind == kSparse)
                for (int y = 0; y < z.h; ++y)
                    for (int x = 0; x < z.w; ++x)
                        s.At(3, x, y) = x >= 20 && static_cast<int>(qwp::Random15() % z.w) < x ? s.At(3, x, y) | 1 : 0;
            for (double angle : angles) {
                for (double d : kDistances[z.kind]) {
                    for (int mask = 0; mask < (alpha ? 2 : 1); ++mask) {
                        Planes t(n, z.w, z.h, alpha, 3), r(n, z.w, z.h, alpha, 3);
                        CQWF_ImageFX fx;
                        fxtest::Bind(fx, s, t);
                        ASSERT_TRUE(fx.MotionBlur(angle, d, 0, static_cast<uint8_t>(mask)));
                        for (int k = 0; k < 3; ++k) ReferenceAngled(s, r, k, angle, d, mask != 0);
                        for (int k = 0; k < 3; ++k)
                            EXPECT_TRUE(t.SamePlane(r, k)) << z.w << "x" << z.h << " " << angle
                                                           << " " << d << " " << mask << " " << k;
                        EXPECT_TRUE(!alpha || t.SamePlane(s, 3));
                    }
                }
            }
        }
    }
}

namespace {
void ReferenceConvolve(const Planes& s, Planes& t, int k, const std::vector<int16_t>& ker, int kw,
                       int kh)
{
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x) {
            long sum = 0, ws = 0;
            for (int j = 0; j < kh; ++j)
                for (int i = 0; i < kw; ++i) {
                    const int yy = y - kh / 2 + j, xx = x + i - kw / 2;
                    if (yy < 0 || yy >= s.height || xx < 0 || xx >= s.width) continue;
                    ws += ker[j * kw + i];
                    sum += ker[j * kw + i] * s.Get(k, xx, yy);
                }
            long v = (ws == 0 || kh == 0) ? 0 : sum / ws;
            t.At(k, x, y) = static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
        }
}
}  // namespace

TEST(ImageFXConvolve, MatchesThePlainSumForAnyKernel)
{
    qwp::SeedRandom(77);
    Planes s(4, 21, 13, true, 2);
    s.RandomiseAll();
    const int sizes[][2] = {{3, 3}, {1, 1}, {5, 2}, {2, 4}, {7, 7}, {25, 3}, {3, 15}, {0, 3}, {3, 0}};
    for (const auto& sz : sizes) {
        for (int trial = 0; trial < 3; ++trial) {
            const int kw = sz[0], kh = sz[1];
            std::vector<int16_t> ker(static_cast<size_t>(kw) * kh + 1);
            // Small weights, and weights large enough for sums beyond 32 bits.
            for (auto& v : ker)
                v = static_cast<int16_t>(trial == 2 ? (qwp::Random15() % 60000) - 29000
                                                    : (qwp::Random15() % 41) - 12);
            Planes t(4, 21, 13, true, 2), r(4, 21, 13, true, 2);
            CQWF_ImageFX fx;
            fxtest::Bind(fx, s, t);
            ASSERT_TRUE(fx.Convolve(ker.data(), static_cast<uint16_t>(kw), static_cast<uint16_t>(kh), 0));
            for (int k = 0; k < 3; ++k) ReferenceConvolve(s, r, k, ker, kw, kh);
            for (int k = 0; k < 3; ++k) EXPECT_TRUE(t.SamePlane(r, k)) << kw << "x" << kh;
            EXPECT_TRUE(t.SamePlane(s, 3));
            ASSERT_TRUE(fx.Convolve(ker.data(), static_cast<uint16_t>(kw), static_cast<uint16_t>(kh), 1));
            ReferenceConvolve(s, r, 3, ker, kw, kh);
            EXPECT_TRUE(t.SamePlane(r, 3));
        }
    }
}

TEST(ImageFXConvolve, SumsBeyondThirtyTwoBits)
{
    qwp::SeedRandom(78);
    Planes s(1, 60, 12, false), t(1, 60, 12, false), r(1, 60, 12, false);
    s.RandomiseAll();
    std::vector<int16_t> ker(40 * 8);
    for (auto& v : ker) v = static_cast<int16_t>(qwp::Random15() % 5 == 0 ? -32000 : 32000);
    CQWF_ImageFX fx;
    fxtest::Bind(fx, s, t);
    ASSERT_TRUE(fx.Convolve(ker.data(), 40, 8, 0));
    ReferenceConvolve(s, r, 0, ker, 40, 8);
    EXPECT_TRUE(t.SamePlane(r, 0));
}

TEST(ImageFXConvolve, SharpenAndZeroWeightKernels)
{
    Planes c(3, 9, 6, false), t(3, 9, 6, false);
    c.FillPlane(0, 17);
    c.FillPlane(1, 255);
    c.FillPlane(2, 0);
    CQWF_ImageFX fx;
    fxtest::Bind(fx, c, t);
    ASSERT_TRUE(fx.Sharpen(0));
    for (int k = 0; k < 3; ++k) EXPECT_TRUE(t.SamePlane(c, k));
    // An edge gets steeper.
    Planes e(1, 6, 3, false), u(1, 6, 3, false);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x) e.At(0, x, y) = x < 3 ? 100 : 150;
    fxtest::Bind(fx, e, u);
    ASSERT_TRUE(fx.Sharpen(0));
    EXPECT_LT(u.At(0, 2, 1), 100);
    EXPECT_GT(u.At(0, 3, 1), 150);
    // Weights summing to 0 write 0.
    const int16_t zero[3] = {1, 0, -1};
    c.FillPlane(0, 200);
    fxtest::Bind(fx, c, t);
    ASSERT_TRUE(fx.Convolve(zero, 3, 1, 0));
    EXPECT_EQ(t.At(0, 4, 3), 0);
}

namespace {

// A blur run against the single-line filter, row by row and then column by column (or, for the
// vertical motion blur, column by column alone, each column filled from its alpha column): every
// picture of the case at every sigma and mask flag; the alpha plane is blurred with the others
// when the alpha flag is set, else copied.
struct LineCase {
    const char* name;
    std::vector<Planes> (*pictures)();
    std::vector<double> sigmas;
    std::vector<int> masks;
    uint8_t alphaFlag;
    bool vertical;
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

std::vector<double> DirectSigmas()
{
    std::vector<double> v;
    for (double sigma = 0.1; sigma < 1.5; sigma += 0.05) v.push_back(sigma);
    return v;
}

// Sizes that leave partial groups of lines; rows padded by a stride.
std::vector<Planes> PartialGroups()
{
    Planes s(4, 29, 21, true, 3);
    s.RandomiseAll();
    BlobAlpha(s);
    return {s};
}

// Many groups of lines: the direct kernel in wide vector steps, the recursive filter two groups
// side by side, with a partial group and a group left alone at the end (75 columns, 53 rows), a
// padded stride.
std::vector<Planes> WideImages()
{
    qwp::SeedRandom(77);
    Planes s(4, 75, 53, true, 5);
    s.RandomiseAll();
    BlobAlpha(s);
    return {s};
}

// Rows wider than two strips of the direct column filter (the last one partial) and than many
// groups of the recursive one (a single whole group and a partial one at the end), plateaus and
// gradients beside noise, and images too short for any row to have all its taps inside.
std::vector<Planes> ManyColumns()
{
    qwp::SeedRandom(91);
    std::vector<Planes> pictures;
    for (int h : {37, 6}) {
        Planes s(4, 600, h, true, 7);
        s.RandomiseAll();
        BlobAlpha(s);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < 200; ++x) {
                s.At(0, x, y) = 200;
                s.At(1, x, y) = static_cast<uint8_t>(x + y);
            }
        pictures.push_back(s);
    }
    return pictures;
}

// What decides the direct filter's fast paths: plateaus of many values (0-5 and 250-255 among
// them) with single pixels a little off, straight ramps both ways, faint noise on plateaus
// (results right at a byte's edge) and full noise, rows and columns longer than a strip with
// partial vector steps at the end.
std::vector<Planes> FastPathEdges()
{
    qwp::SeedRandom(41);
    const int w = 333, h = 47;
    Planes s(4, w, h, true, 3);
    const uint8_t levels[] = {0, 1, 2, 3, 4, 5, 8, 16, 31, 64, 100, 127, 128, 129, 200, 250, 251, 252, 253, 254, 255};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int v = levels[(x / 17 + y / 12 * 5) % 21];
            if (x % 11 == 4 && y % 7 == 3) v += (x / 11 + y) % 5 - 2;
            s.At(0, x, y) = static_cast<uint8_t>(std::clamp(v, 0, 255));
            const int faint = static_cast<int>(qwp::Random15() % 3) - 1;
            s.At(1, x, y) = static_cast<uint8_t>(y < 16   ? (x * (1 + y / 6)) % 256
                                                 : y < 32 ? (3 * y + x / 40) % 256
                                                          : std::clamp(levels[x / 16 % 21] + faint, 0, 255));
            s.At(2, x, y) = static_cast<uint8_t>(qwp::Random15() & 255);
        }
    BlobAlpha(s);
    for (int y = 0; y < h; y += 4) s.At(3, w / 3, y) = 0;
    return {s};
}

// Plateaus of 0 and 255, stripes and checks of both and single bright pixels on black, wide and
// tall enough for the vector steps of the direct filter in rows and strips of columns (the ring
// of rows wrapping many times): results at both ends of the byte range and right beside them.
std::vector<Planes> ExtremeBytes()
{
    const int w = 300, h = 70;
    Planes s(4, w, h, true, 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            s.At(0, x, y) = x < 100 ? 255 : (x < 200 ? 0 : static_cast<uint8_t>((x + y) % 2 ? 255 : 0));
            s.At(1, x, y) = static_cast<uint8_t>((x / 3 + y / 5) % 2 ? 255 : 0);
            s.At(2, x, y) = (x % 37 == 5 && y % 11 == 3) ? 255 : (x % 53 == 7 ? 1 : 0);
            s.At(3, x, y) = 255;
        }
    return {s};
}

// The direct filter's vector steps, blocks of steps and single positions on rows and columns of
// every length around them (1 pixel up to a few blocks, none a multiple of 8), with 1 to 4
// planes (the last one alpha from 2 on), holes in the mask, plateaus beside noise.
std::vector<Planes> TinyImages()
{
    qwp::SeedRandom(23);
    const int sizes[][2] = {{1, 1}, {1, 45}, {45, 1}, {2, 3}, {15, 17}, {33, 9}, {71, 70}, {301, 29}};
    std::vector<Planes> pictures;
    for (int planes = 1; planes <= 4; ++planes) {
        for (const auto& wh : sizes) {
            const bool alpha = planes > 1;
            Planes s(planes, wh[0], wh[1], alpha, 3);
            s.RandomiseAll();
            for (int y = 0; y < wh[1]; ++y)
                for (int x = 0; x < wh[0] / 2; ++x) s.At(0, x, y) = static_cast<uint8_t>(y / 5 * 40);
            if (alpha) {
                BlobAlpha(s);
                for (int y = 0; y < wh[1]; y += 3) s.At(planes - 1, wh[0] / 3, y) = 0;
            }
            pictures.push_back(s);
        }
    }
    return pictures;
}

// Vertical blur with the alpha column as mask over whole and partial groups of columns (two
// whole groups side by side, one alone, a partial one), row counts that leave a partial block
// of sixteen, short gaps inside the blob; direct and recursive filters.
std::vector<Planes> VerticalWalks()
{
    qwp::SeedRandom(23);
    std::vector<Planes> pictures;
    for (int h : {61, 16, 7}) {
        Planes s(4, 90, h, true, 6);
        s.RandomiseAll();
        BlobAlpha(s);
        for (int y = 0; y < h; y += 5) s.At(3, 33, y) = 0;
        pictures.push_back(s);
    }
    return pictures;
}

class ImageFXLines : public ::testing::TestWithParam<LineCase> {};

}  // namespace

// ctest runs these at every vector level.
TEST_P(ImageFXLines, BlurMatchesTheSingleLineFilter)
{
    const LineCase& c = GetParam();
    for (Planes& s : c.pictures()) {
        for (double sigma : c.sigmas) {
            for (int mask : c.masks) {
                if (mask && !s.alpha) continue;
                Planes t(s.count, s.width, s.height, s.alpha, s.stride - s.width);
                Planes r = t;
                CQWF_ImageFX fx;
                fxtest::Bind(fx, s, t);
                ASSERT_TRUE(c.vertical ? fx.MotionBlur(90.0, sigma, c.alphaFlag, static_cast<uint8_t>(mask))
                                       : fx.Blur(sigma, c.alphaFlag, static_cast<uint8_t>(mask)));
                for (int k = 0; k < s.count; ++k) {
                    SCOPED_TRACE(testing::Message() << s.width << "x" << s.height << " planes " << s.count
                                                    << " sigma " << sigma << " mask " << mask << " plane " << k);
                    if (s.alpha && k == s.count - 1 && !c.alphaFlag) {
                        EXPECT_TRUE(t.SamePlane(s, k));
                        continue;
                    }
                    ReferenceBlurPlane(s, r, k, sigma, mask != 0, !c.vertical, true);
                    EXPECT_TRUE(t.SamePlane(r, k));
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    ImageFXBlur, ImageFXLines,
    ::testing::Values(
        LineCase{"PartialGroups", PartialGroups, {0.6, 1.3, 2.2, 6.5}, {0, 1}, 0, false},
        LineCase{"PartialGroupsAlphaBlurred", PartialGroups, {0.6, 1.3, 2.2, 6.5}, {0}, 1, false},
        LineCase{"WideImages", WideImages, {0.3, 1.0, 1.45, 2.0, 5.5}, {0, 1}, 1, false},
        LineCase{"ManyColumns", ManyColumns, {0.1, 0.5, 1.0, 1.49, 1.5, 2.0, 3.3}, {0, 1}, 1, false},
        LineCase{"DirectFilterAtEverySigma", FastPathEdges, DirectSigmas(), {0, 1}, 1, false},
        LineCase{"ExtremeBytes", ExtremeBytes, {0.2, 0.6, 1.0, 1.49, 1.7}, {0}, 0, false},
        LineCase{"TinyImagesAndFewPlanes", TinyImages, {0.5, 1.0, 1.45}, {0, 1}, 1, false},
        LineCase{"VerticalMotionWalks", VerticalWalks, {1.0, 4.0}, {1}, 0, true}),
    [](const ::testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });
