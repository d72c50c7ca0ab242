// Stroke, its discs, and the bevel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "imagefx_test.h"

using fxtest::Planes;

namespace {
// The disc counted subsample by subsample.
std::vector<uint8_t> PlainDisc(int n, int r)
{
    const long S = 1L << n, side = 2 * r + 1;
    std::vector<int> acc(static_cast<size_t>(side * side), 0);
    for (long y = -r * S; y <= S - 1; ++y)
        for (long x = -r * S; x <= S - 1; ++x)
            if (x * x + y * y < (r * S) * (r * S)) {
                int& c = acc[static_cast<size_t>(((y + r * S) / S) * side + (x + r * S) / S)];
                c = std::min(255, c + static_cast<int>(256 / (S * S)));
            }
    std::vector<uint8_t> out(acc.begin(), acc.end());
    for (int i = 0; i < r; ++i)
        std::copy(out.begin() + i * side, out.begin() + (i + 1) * side, out.begin() + (2 * r - i) * side);
    for (int i = 0; i < side; ++i)
        for (int j = 0; j < r; ++j) out[i * side + 2 * r - j] = out[i * side + j];
    return out;
}

// The stroke mask stamped disc by disc, as plainly as it can be written.
void PlainStroke(const Planes& s, Planes& t, const uint8_t* c, int o, int w)
{
    const int W = s.width, H = s.height, ap = s.count - 1;
    std::vector<int> mask(static_cast<size_t>(W) * H, 0);
    auto A = [&](int x, int y) { return (x < 0 || y < 0 || x >= W || y >= H) ? 0 : s.Get(ap, x, y); };
    auto border = [&](int x, int y) { return x == 0 || y == 0 || x == W - 1 || y == H - 1; };
    if (w == 1) {
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                int m = 255;
                if (A(x, y) == 255 && !border(x, y)) {
                    int mn = 255;
                    for (int dy = -1; dy <= 1; ++dy)
                        for (int dx = -1; dx <= 1; ++dx)
                            if (dx || dy) mn = std::min(mn, A(x + dx, y + dy));
                    m = 255 - mn;
                }
                mask[y * W + x] = m;
            }
    } else {
        const int side = 2 * w + 1;
        std::vector<uint8_t> outer = PlainDisc(3, w), small = PlainDisc(3, w - 1);
        std::vector<uint8_t> inner(static_cast<size_t>(side) * side, 0);
        for (int i = 0; i < 2 * w - 1; ++i)
            for (int j = 0; j < 2 * w - 1; ++j) inner[(i + 1) * side + j + 1] = small[i * (2 * w - 1) + j];
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                if (A(x, y) == 255 && !border(x, y)) continue;
                mask[y * W + x] = 255;
                if (A(x - 1, y) != 255 && A(x + 1, y) != 255 && A(x, y - 1) != 255 && A(x, y + 1) != 255)
                    continue;
                const int a = A(x, y);
                for (int i = 0; i < side; ++i)
                    for (int j = 0; j < side; ++j) {
                        const int px = x + j - w, py = y + i - w;
                        if (px < 0 || py < 0 || px >= W || py >= H) continue;
                        const int ov = outer[i * side + j], iv = inner[i * side + j];
                        const int v = ov - (ov - iv) * a / 255;
                        mask[py * W + px] = std::max(mask[py * W + px], v);
                    }
            }
    }
    for (int k = 0; k < ap; ++k)
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                const int sv = s.Get(k, x, y), m = mask[y * W + x];
                t.At(k, x, y) = static_cast<uint8_t>(
                    o == 255 ? sv + (c[k] - sv) * m / 255 : sv + (c[k] - sv) * m * o / 65025);
            }
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) t.At(ap, x, y) = s.Get(ap, x, y);
}

// A piece-like alpha: an opaque blob with a soft rim and a hole.
void PieceAlpha(Planes& p, double cx, double cy, double rad)
{
    const int k = p.count - 1;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const double r = std::hypot(x - cx, y - cy) - rad;
            const double hole = std::hypot(x - cx * 1.2, y - cy * 0.8) - rad * 0.2;
            double a = r < -1 ? 255 : (r < 1 ? (1 - r) * 127.5 : 0);
            if (hole < 0) a = 0;
            p.At(k, x, y) = static_cast<uint8_t>(a);
        }
}
}  // namespace

TEST(ImageFXStroke, DiscsMatchSubsampleCounting)
{
    CQWF_ImageFX fx;
    for (int n : {0, 1, 3, 4}) {
        for (int r : {0, 1, 2, 5, 13}) {
            const int side = 2 * r + 1;
            qwtest::GuardedBytes d(static_cast<size_t>(side) * side, 99);
            ASSERT_TRUE(fx.MakeDisc(static_cast<uint8_t>(n), d.data(), static_cast<uint16_t>(r)));
            EXPECT_EQ(d.Copy(), PlainDisc(n, r)) << n << " " << r;
            if (r >= 5) {
                EXPECT_EQ(d[r * side + r], 255);
            }
        }
    }
    // The quadrant includes the whole centre cell, so a disc covers about pi (r + 1/2)^2.
    qwtest::GuardedBytes d(61 * 61);
    ASSERT_TRUE(fx.MakeDisc(3, d.data(), 30));
    double sum = 0;
    for (uint8_t v : d) sum += v;
    EXPECT_NEAR(sum / 255, 3.14159265 * 30.5 * 30.5, 3.14159265 * 30.5 * 30.5 * 0.01);
    qwtest::GuardedBytes zero(1, 7);
    ASSERT_TRUE(fx.MakeDisc(3, zero.data(), 0));
    EXPECT_EQ(zero[0], 0);
    EXPECT_FALSE(fx.MakeDisc(3, nullptr, 3));
}

TEST(ImageFXStroke, MatchesPlainDiscStamping)
{
    qwp::SeedRandom(5);
    const uint8_t colour[3] = {250, 10, 128};
    // The wide picture spans several vector steps of every level, with a tail.
    struct Size { int w, h, cx, rad; };
    for (const Size z : {Size{47, 39, 22, 13}, Size{203, 37, 100, 16}})
    for (int w : {1, 2, 3, 6, 7, 11}) {
        for (int o : {255, 140}) {
            Planes s(4, z.w, z.h, true, 3), t(4, z.w, z.h, true, 3), r(4, z.w, z.h, true, 3);
            s.RandomiseAll();
            PieceAlpha(s, z.cx, 18, z.rad);
            // A few opaque pixels on the border and lone semi-transparent ones.
            for (int x = 0; x < 10; ++x) s.At(3, x, 0) = 255;
            s.At(3, 40, 30) = 90;
            CQWF_ImageFX fx;
            fxtest::Bind(fx, s, t);
            ASSERT_TRUE(fx.Stroke(colour, static_cast<uint8_t>(o), static_cast<uint8_t>(w)));
            PlainStroke(s, r, colour, o, w);
            for (int k = 0; k < 4; ++k) EXPECT_TRUE(t.SamePlane(r, k)) << "w " << w << " o " << o;
        }
    }
}

TEST(ImageFXStroke, EdgeCases)
{
    const uint8_t colour[3] = {1, 2, 3};
    CQWF_ImageFX fx;
    Planes s(4, 12, 9, true), t(4, 12, 9, true);
    s.RandomiseAll();
    s.FillPlane(3, 255);
    fxtest::Bind(fx, s, t);
    ASSERT_TRUE(fx.Stroke(colour, 255, 0));
    for (int k = 0; k < 4; ++k) EXPECT_TRUE(t.SamePlane(s, k));
    // Width 1 on an opaque image: only the border takes the colour, exactly.
    ASSERT_TRUE(fx.Stroke(colour, 255, 1));
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 12; ++x) {
            const bool border = x == 0 || y == 0 || x == 11 || y == 8;
            for (int k = 0; k < 3; ++k)
                EXPECT_EQ(t.At(k, x, y), border ? colour[k] : s.At(k, x, y)) << x << "," << y;
        }
    EXPECT_TRUE(t.SamePlane(s, 3));
    // A semi-transparent pixel next to an opaque one stamps between the two discs.
    Planes a(4, 21, 21, true), b(4, 21, 21, true);
    a.FillPlane(0, 0);
    a.FillPlane(1, 0);
    a.FillPlane(2, 0);
    a.FillPlane(3, 255);
    a.At(3, 10, 10) = 128;
    const uint8_t white[3] = {255, 255, 255};
    fxtest::Bind(fx, a, b);
    ASSERT_TRUE(fx.Stroke(white, 255, 4));
    qwtest::GuardedBytes outer(81), small(49);
    fx.MakeDisc(3, outer.data(), 4);
    fx.MakeDisc(3, small.data(), 3);
    // Four cells right of the centre: inside the outer disc's rim, outside the inner disc.
    const int ov = outer[4 * 9 + 8];
    EXPECT_GT(ov, 0);
    EXPECT_EQ(b.At(0, 14, 10), ov - ov * 128 / 255);
    EXPECT_EQ(b.At(0, 10, 10), 255);
    EXPECT_EQ(b.At(0, 10, 5), 0);  // beyond the outer radius and the border band
    EXPECT_GT(b.At(0, 10, 3), 0);  // the border's own band
    // Refusals: no alpha, empty, shape.
    Planes n3(3, 5, 5, false), m3(3, 5, 5, false);
    fxtest::Bind(fx, n3, m3);
    EXPECT_FALSE(fx.Stroke(colour, 255, 2));
    EXPECT_EQ(fx.GetError(), 1);
    Planes e(4, 0, 5, true), f(4, 0, 5, true);
    fxtest::Bind(fx, e, f);
    EXPECT_FALSE(fx.Stroke(colour, 255, 2));
}

namespace {
// The bevel written step by step with the public line filter.
void PlainBevel(const Planes& s, Planes& t, int size, int depth, double soften, float lx0,
                float ly0, float lz0, const uint8_t* Hc, int h, const uint8_t* Dc, int d)
{
    const int W = s.width, H = s.height, mw = W + 2, mh = H + 2;
    double lx = -static_cast<double>(lx0), ly = ly0, lz = lz0;
    const double len = std::sqrt(lx * lx + ly * ly + lz * lz);
    lx /= len;
    ly /= len;
    lz /= len;
    std::vector<float> map(static_cast<size_t>(mw) * mh, 0.0f);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            map[(y + 1) * mw + x + 1] = s.alpha ? s.Get(s.count - 1, x, y) : 255.0f;
    QWF_Gaussian g;
    CQWF_Mem work;
    CQWF_ImageFX::InitGaussian(size / 3.32, g, &work, 1, 0);
    std::vector<double> line;
    for (int y = 0; y < mh; ++y) {
        line.assign(map.begin() + y * mw, map.begin() + (y + 1) * mw);
        g.line = line.data();
        g.count = line.size();
        CQWF_ImageFX::FilterLine(g);
        for (int x = 0; x < mw; ++x) map[y * mw + x] = static_cast<float>(line[x]);
    }
    for (int x = 0; x < mw; ++x) {
        line.resize(mh);
        for (int y = 0; y < mh; ++y) line[y] = map[y * mw + x];
        g.line = line.data();
        g.count = line.size();
        CQWF_ImageFX::FilterLine(g);
        for (int y = 0; y < mh; ++y) map[y * mw + x] = static_cast<float>(line[y]);
    }
    const double k = depth / 100.0, z = lz < 0.000001 ? 0.000001 : lz;
    std::vector<uint8_t> hm(static_cast<size_t>(W) * H), sm(hm.size());
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const double gx = (map[y * mw + x + 1] - map[y * mw + x]) * k;
            const double gy = (map[(y + 1) * mw + x + 1] - map[y * mw + x + 1]) * k;
            const double n = std::sqrt(gx * gx + gy * gy + 1);
            double P = (lx * gx + ly * gy + z) / n;
            if (P < 0) P = 0;
            int a = 0, b = 0;
            if (P > z) a = static_cast<int>(h / (1 - z) * (P - z));
            else b = d - static_cast<int>(P * (d / z));
            hm[y * W + x] = static_cast<uint8_t>(std::clamp(a, 0, 255));
            sm[y * W + x] = static_cast<uint8_t>(std::clamp(b, 0, 255));
        }
    if (soften > 0) {
        CQWF_ImageFX::InitGaussian(soften, g, &work, 1, 0);
        for (std::vector<uint8_t>* m : {&hm, &sm}) {
            for (int y = 0; y < H; ++y) {
                line.assign(m->begin() + y * W, m->begin() + (y + 1) * W);
                g.line = line.data();
                g.count = line.size();
                CQWF_ImageFX::FilterLine(g);
                for (int x = 0; x < W; ++x) (*m)[y * W + x] = static_cast<uint8_t>(static_cast<int>(static_cast<float>(line[x])));
            }
            for (int x = 0; x < W; ++x) {
                line.resize(H);
                for (int y = 0; y < H; ++y) line[y] = (*m)[y * W + x];
                g.line = line.data();
                g.count = line.size();
                CQWF_ImageFX::FilterLine(g);
                for (int y = 0; y < H; ++y) (*m)[y * W + x] = static_cast<uint8_t>(static_cast<int>(static_cast<float>(line[y])));
            }
        }
    }
    const int nc = s.count - (s.alpha ? 1 : 0);
    for (int i = 0; i < nc; ++i)
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                const int sv = s.Get(i, x, y), a = hm[y * W + x], b = sm[y * W + x];
                int tv = sv;
                if (a > b) tv = sv + (((a - b) * (Hc[i] - sv)) >> 8);
                else if (b > a) tv = sv + (((b - a) * (Dc[i] - sv)) >> 8);
                t.At(i, x, y) = static_cast<uint8_t>(tv);
            }
    if (s.alpha)
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) t.At(s.count - 1, x, y) = s.Get(s.count - 1, x, y);
}
}  // namespace

TEST(ImageFXBevel, PiecesMatchStepByStepBevelAlsoInPlace)
{
    // Pieces with and without alpha on three pictures: a small one, a wide one whose flat
    // stretches inside and out are taken in whole vector steps (odd width: tails), and one wider
    // than a strip of the column filter (the last strip partial). Every setting also runs in
    // place on one plane set, which must give the bytes written to separate planes (a lit pixel
    // depends on its own colour and the alpha's height map alone).
    qwp::SeedRandom(31);
    const uint8_t hi[3] = {255, 240, 30}, lo[3] = {0, 90, 60};
    const float len = std::sqrt(1.14f);
    const struct {
        int w, h, pad;
        double cx, cy, rad;
    } pictures[] = {{43, 35, 2, 20, 17, 12}, {157, 96, 3, 70, 50, 30}, {300, 41, 5, 150, 20, 110}};
    const struct {
        int picture, size, depth;
        double soften;
        float lx, ly, lz;
        int h, d;
    } cases[] = {{0, 10, 100, 0.0, 1, 1, 1, 200, 170},       {0, 3, 250, 1.2, -0.5f, 2, 0.7f, 200, 170},
                 {0, 17, 60, 4.0, 0.2f, -1, 0.3f, 200, 170}, {0, 0, 100, 0.5, 1, 0, 0, 200, 170},
                 {1, 2, 100, 0.0, 1, 1, 1, 220, 190},        {1, 4, 300, 0.8, -1, 0.5f, 0.2f, 220, 190},
                 {1, 3, 80, 0.0, 0.3f, -1, 0.0f, 220, 190},  {1, 10, 100, 2.0, 1, 1, 1, 220, 190},
                 {1, 1, 100, 0.0, 0, 0, -1, 220, 190},       {1, 2, 3, 0.0, -0.5f / len, 0.8f / len, 0.5f / len, 191, 191},
                 {1, 6, 100, 0.0, 0, 0, 1, 255, 255},        {1, 4, 200, 1.0, 1, -1, 1, 200, 170},
                 {1, 17, 60, 0.0, 0.2f, -1, 0.3f, 191, 191}, {2, 2, 100, 0.0, 1, 1, 1, 200, 180},
                 {2, 4, 100, 1.0, 1, 1, 1, 200, 180},        {2, 3, 100, 2.5, 1, 1, 1, 200, 180}};
    for (const auto& c : cases)
        for (bool alpha : {true, false}) {
            const auto& z = pictures[c.picture];
            const int n = alpha ? 4 : 3;
            Planes s(n, z.w, z.h, alpha, z.pad), t(n, z.w, z.h, alpha, z.pad), r(n, z.w, z.h, alpha, z.pad);
            s.RandomiseAll();
            if (alpha) PieceAlpha(s, z.cx, z.cy, z.rad);
            CQWF_ImageFX fx;
            fxtest::Bind(fx, s, t);
            auto bevel = [&] {
                return fx.Bevel(static_cast<uint16_t>(c.size), static_cast<uint16_t>(c.depth), c.soften, c.lx,
                                c.ly, c.lz, hi, static_cast<uint8_t>(c.h), lo, static_cast<uint8_t>(c.d));
            };
            ASSERT_TRUE(bevel());
            PlainBevel(s, r, c.size, c.depth, c.soften, c.lx, c.ly, c.lz, hi, c.h, lo, c.d);
            Planes in = s;
            fxtest::Bind(fx, in, in);
            ASSERT_TRUE(bevel());
            for (int k = 0; k < n; ++k) {
                EXPECT_TRUE(t.SamePlane(r, k)) << z.w << "x" << z.h << " size " << c.size << " alpha " << alpha << " plane " << k;
                EXPECT_TRUE(in.SamePlane(t, k)) << z.w << "x" << z.h << " size " << c.size << " alpha " << alpha << " plane " << k;
            }
        }
}

TEST(ImageFXBevel, FlatAreasSlopesAndLight)
{
    const uint8_t white[3] = {255, 255, 255}, black[3] = {0, 0, 0};
    Planes s(4, 80, 60, true), t(4, 80, 60, true);
    for (int k = 0; k < 3; ++k) s.FillPlane(k, 120);
    s.FillPlane(3, 0);
    for (int y = 15; y < 45; ++y)
        for (int x = 20; x < 60; ++x) s.At(3, x, y) = 255;
    CQWF_ImageFX fx;
    fxtest::Bind(fx, s, t);
    // Straight above: flat areas stay, slopes darken.
    ASSERT_TRUE(fx.Bevel(6, 100, 0.0, 0.0f, 0.0f, 1.0f, white, 255, black, 255));
    EXPECT_EQ(t.At(0, 40, 30), 120);
    EXPECT_GE(t.At(0, 3, 30), 119);  // a shadow of 1 where P x (d / z) falls just below d
    EXPECT_LT(t.At(0, 20, 30), 120);
    EXPECT_LT(t.At(0, 40, 44), 120);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 80; ++x) EXPECT_LE(t.At(0, x, y), 120);
    EXPECT_TRUE(t.SamePlane(s, 3));
    // A light vector without a length is taken as straight up.
    Planes u(4, 80, 60, true);
    fxtest::Bind(fx, s, u);
    ASSERT_TRUE(fx.Bevel(6, 100, 0.0, 0.0f, 0.0f, 0.0f, white, 255, black, 255));
    for (int k = 0; k < 4; ++k) EXPECT_TRUE(u.SamePlane(t, k));
    // Light with x = -1 and y = 1 lights the left and top edges and shades the others.
    ASSERT_TRUE(fx.Bevel(6, 100, 1.0, -1.0f, 1.0f, 1.0f, white, 255, black, 255));
    EXPECT_GT(u.At(0, 20, 30), 120);
    EXPECT_GT(u.At(0, 40, 15), 120);
    EXPECT_LT(u.At(0, 59, 30), 120);
    EXPECT_LT(u.At(0, 40, 44), 120);
    // The flat interior gets no highlight and at most a shadow of 1.
    EXPECT_GE(u.At(0, 40, 30), 119);
    EXPECT_LE(u.At(0, 40, 30), 120);
    // No alpha: the image border is the edge.
    Planes n(3, 40, 40, false), m(3, 40, 40, false);
    for (int k = 0; k < 3; ++k) n.FillPlane(k, 60);
    fxtest::Bind(fx, n, m);
    ASSERT_TRUE(fx.Bevel(4, 100, 0.0, 0.0f, 0.0f, 1.0f, white, 255, black, 255));
    EXPECT_LT(m.At(0, 0, 20), 60);
    EXPECT_EQ(m.At(0, 20, 20), 60);
    // Shape mismatch.
    Planes w(3, 39, 40, false);
    fxtest::Bind(fx, n, w);
    EXPECT_FALSE(fx.Bevel(4, 100, 0.0, 0.0f, 0.0f, 1.0f, white, 255, black, 255));
    EXPECT_EQ(fx.GetError(), 1);
}

TEST(ImageFXBevel, SparseStrokesFlatMapsAndPictureEdgesMatchStepByStepBevel)
{
    // The height map is blurred only where it can slope: flat maps of any value, thin strokes
    // (lone, close together, apart by about the joining distance, on the picture's edges) and
    // pictures smaller than the filter's reach must all give the step-by-step bytes.
    qwp::SeedRandom(77);
    const uint8_t hi[3] = {255, 250, 240}, lo[3] = {0, 10, 30};
    const float len = std::sqrt(1.14f);
    enum Pattern { kOpaque, kClear, kHalf, kStrokes, kNoise, kNoAlpha };
    const struct {
        int size, depth;
        double soften;
    } settings[] = {{2, 3, 0.0}, {5, 300, 0.0}, {4, 200, 1.0}, {1, 900, 0.0}};
    const struct {
        int w, h;
    } sizes[] = {{211, 75}, {37, 33}, {1, 1}, {3, 2}, {1, 40}, {40, 1}};
    for (const auto& c : settings)
        for (const auto& z : sizes)
            for (int p = kOpaque; p <= kNoAlpha; ++p) {
                const bool alpha = p != kNoAlpha;
                const int n = alpha ? 4 : 3;
                Planes s(n, z.w, z.h, alpha, 3), t(n, z.w, z.h, alpha, 3), r(n, z.w, z.h, alpha, 3);
                s.RandomiseAll();
                if (alpha) s.FillPlane(3, p == kOpaque ? 255 : (p == kHalf ? 128 : 0));
                auto dot = [&](int x, int y, int v) {
                    if (x >= 0 && y >= 0 && x < z.w && y < z.h) s.At(3, x, y) = static_cast<uint8_t>(v);
                };
                if (p == kStrokes) {
                    // Vertical strokes 1 and 2 wide at growing distances, one on each edge.
                    for (int y = 0; y < z.h; ++y)
                        for (int x : {0, 9, 10, 31, 32, 58, 90, 117, 118, 150, z.w - 1}) dot(x, y, 255);
                    // A horizontal stroke across, a soft one near the bottom, lone dots.
                    for (int x = 0; x < z.w; ++x) {
                        dot(x, 20, 255);
                        dot(x, z.h - 3, 100);
                    }
                    dot(170, 40, 255);
                    dot(190, 50, 7);
                    dot(z.w - 1, z.h - 1, 255);
                }
                if (p == kNoise)
                    for (int y = 0; y < z.h && y < 9; ++y)
                        for (int x = 0; x < z.w && x < 13; ++x)
                            s.At(3, z.w - 1 - x, y) = static_cast<uint8_t>(qwp::Random15() & 255);
                CQWF_ImageFX fx;
                fxtest::Bind(fx, s, t);
                ASSERT_TRUE(fx.Bevel(static_cast<uint16_t>(c.size), static_cast<uint16_t>(c.depth), c.soften,
                                     -0.5f / len, 0.8f / len, 0.5f / len, hi, 191, lo, 191));
                PlainBevel(s, r, c.size, c.depth, c.soften, -0.5f / len, 0.8f / len, 0.5f / len, hi, 191,
                           lo, 191);
                for (int k = 0; k < n; ++k)
                    EXPECT_TRUE(t.SamePlane(r, k))
                        << "size " << c.size << " picture " << z.w << "x" << z.h << " pattern " << p << " plane " << k;
            }
}

TEST(ImageFXBevel, PiecesWithHolesAtEverySizeMatchStepByStepBevel)
{
    // The map is blurred row by row only near the alpha's changes: pieces with holes and tabs at
    // odd sizes (their edges on the picture's border, a slanted edge, lone soft pixels), tiny
    // pictures and opaque ones without alpha, with and without softening, at every bevel size
    // up to 20 (the direct filter serves the smaller ones).
    qwp::SeedRandom(91);
    const uint8_t hi[3] = {255, 235, 215}, lo[3] = {3, 20, 40};
    const struct {
        int w, h;
    } sizes[] = {{67, 45}, {30, 61}, {2, 3}, {9, 1}};
    for (int size = 1; size <= 20; ++size)
        for (const auto& z : sizes)
            for (int kind = 0; kind < 3; ++kind) {
                const bool alpha = kind != 2;
                const double soften = kind == 1 ? 1.5 : 0.0;
                const int n = alpha ? 4 : 3;
                Planes s(n, z.w, z.h, alpha, 1), t(n, z.w, z.h, alpha, 1), r(n, z.w, z.h, alpha, 1);
                s.RandomiseAll();
                if (alpha) {
                    PieceAlpha(s, z.w * 0.45, z.h * 0.5, z.w * 0.42);
                    for (int y = 0; y < z.h; ++y)
                        for (int x = 0; x < z.w; ++x) {
                            // A tab out to the right border, a slanted cut, a hole of one pixel.
                            if (std::hypot(x - z.w + 2.0, y - z.h * 0.5) < z.h * 0.15) s.At(3, x, y) = 255;
                            if (x + 2 * y > z.w + z.h) s.At(3, x, y) = static_cast<uint8_t>(s.At(3, x, y) / 3);
                        }
                    s.At(3, z.w / 3, z.h / 3) = 0;
                    s.At(3, z.w - 1, 0) = static_cast<uint8_t>(qwp::Random15() & 255);
                }
                CQWF_ImageFX fx;
                fxtest::Bind(fx, s, t);
                ASSERT_TRUE(fx.Bevel(static_cast<uint16_t>(size), 250, soften, -0.4f, 0.7f, 0.6f, hi, 191, lo, 160));
                PlainBevel(s, r, size, 250, soften, -0.4f, 0.7f, 0.6f, hi, 191, lo, 160);
                for (int k = 0; k < n; ++k)
                    EXPECT_TRUE(t.SamePlane(r, k))
                        << "size " << size << " picture " << z.w << "x" << z.h << " kind " << kind << " plane " << k;
            }
}
