// Pixel effects on a 4000 x 3000 picture with alpha (a piece-like opaque area with soft edges).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "framework/imaging/qwf_imagefx.h"
#include "platform/qw_random.h"

namespace {
constexpr int kW = 4000, kH = 3000;

struct Picture {
    std::vector<uint8_t> src, dst;
    Picture() : src(static_cast<size_t>(kW) * kH * 4), dst(src.size())
    {
        qwp::SeedRandom(1);
        const size_t plane = static_cast<size_t>(kW) * kH;
        for (int k = 0; k < 3; ++k)
            for (int y = 0; y < kH; ++y)
                for (int x = 0; x < kW; ++x)
                    src[k * plane + static_cast<size_t>(y) * kW + x] =
                        static_cast<uint8_t>((x * (k + 1) + y * (3 - k) + (qwp::Random15() & 15)) & 255);
        // Opaque blobs with wavy, anti-aliased edges, like jigsaw pieces.
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const double fx = (x % 500) - 250.0, fy = (y % 500) - 250.0;
                const double r = std::hypot(fx, fy) - 200 - 20 * std::sin(std::atan2(fy, fx) * 6);
                const double a = r < -1 ? 255 : (r > 1 ? 0 : (1 - r) * 127.5);
                src[3 * plane + static_cast<size_t>(y) * kW + x] = static_cast<uint8_t>(a);
            }
    }
    void Bind(CQWF_ImageFX& fx, int planes = 4, bool alpha = true)
    {
        fx.SetSourceBuffer(src.data(), kW, static_cast<uint8_t>(planes), alpha, kW, kH);
        fx.SetTargetBuffer(dst.data(), kW, static_cast<uint8_t>(planes), alpha, kW, kH);
    }
};

Picture& Pic()
{
    static Picture p;
    return p;
}

template <class F>
void Run(benchmark::State& state, F&& f)
{
    CQWF_ImageFX fx;
    Pic().Bind(fx);
    f(fx);  // warm the scratch blocks
    for (auto _ : state) {
        benchmark::DoNotOptimize(f(fx));
        benchmark::ClobberMemory();
    }
}
}  // namespace

static void BM_Invert(benchmark::State& s) { Run(s, [](CQWF_ImageFX& fx) { return fx.Invert(); }); }
static void BM_BlendSource(benchmark::State& s) { Run(s, [](CQWF_ImageFX& fx) { return fx.BlendSource(180); }); }
static void BM_ColorOverlay(benchmark::State& s)
{
    const uint8_t c[3] = {200, 30, 90};
    Run(s, [&](CQWF_ImageFX& fx) { return fx.ColorOverlay(c, 128); });
}
static void BM_BrightnessContrast(benchmark::State& s)
{
    Run(s, [](CQWF_ImageFX& fx) { return fx.BrightnessContrast(20, 40, 128); });
}
static void BM_AdjustHSL(benchmark::State& s)
{
    Run(s, [](CQWF_ImageFX& fx) { return fx.AdjustHSL(40, 30, 10, 1); });
}
static void BM_Desaturate(benchmark::State& s)
{
    CQWF_ImageFX fx;
    Pic().Bind(fx);
    fx.SetSourceBuffer(Pic().dst.data(), kW, 4, 1, kW, kH);
    for (auto _ : s) benchmark::DoNotOptimize(fx.Desaturate());
}
static void BM_Blur(benchmark::State& s)
{
    const double sigma = static_cast<double>(s.range(0)) / 10;
    Run(s, [&](CQWF_ImageFX& fx) { return fx.Blur(sigma, 0, 1); });
}
static void BM_MotionBlur(benchmark::State& s)
{
    const double angle = static_cast<double>(s.range(0));
    Run(s, [&](CQWF_ImageFX& fx) { return fx.MotionBlur(angle, 10.0, 0, 1); });
}
static void BM_Sharpen(benchmark::State& s) { Run(s, [](CQWF_ImageFX& fx) { return fx.Sharpen(0); }); }
static void BM_Stroke(benchmark::State& s)
{
    const uint8_t c[3] = {255, 255, 255};
    const uint8_t w = static_cast<uint8_t>(s.range(0));
    Run(s, [&](CQWF_ImageFX& fx) { return fx.Stroke(c, 255, w); });
}
// Size 10 softened by 2 (the recursive filter for both), and the pieces' default: size 2 without
// softening (the direct filter for the height map).
static void BM_Bevel(benchmark::State& s)
{
    const uint8_t hi[3] = {255, 255, 255}, lo[3] = {0, 0, 0};
    const uint16_t size = static_cast<uint16_t>(s.range(0));
    const double soften = size == 2 ? 0.0 : 2.0;
    Run(s, [&](CQWF_ImageFX& fx) { return fx.Bevel(size, 100, soften, 1.0f, 1.0f, 1.0f, hi, 180, lo, 180); });
}
// The pieces' default bevel (size 2, depth 3, light (-0.5, 0.8, 0.5), opacities 191, no softening)
// on pictures of the run's sizes: a piece of about 230 x 230 with its tabs and margins, and a whole picture holding only thin knife lines (the piece of the knife strokes).
void DefaultBevel(benchmark::State& s, int w, int h, bool knives)
{
    std::vector<uint8_t> src(static_cast<size_t>(w) * h * 4), dst(src.size());
    const size_t plane = static_cast<size_t>(w) * h;
    qwp::SeedRandom(3);
    for (size_t i = 0; i < 3 * plane; ++i) src[i] = static_cast<uint8_t>(qwp::Random15());
    uint8_t* a = src.data() + 3 * plane;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double v;
            if (knives) {
                // Wavy lines two pixels wide every 200 pixels, both ways.
                const double dx = std::fabs(std::fmod(x + 8 * std::sin(y / 30.0), 200.0) - 100);
                const double dy = std::fabs(std::fmod(y + 8 * std::sin(x / 30.0), 200.0) - 100);
                v = (2 - std::min(dx, dy)) * 127.5;
            } else {
                // A square of 230 with two tabs out and two in (circles of radius 28 at the
                // middle of the sides), anti-aliased by 4 x 4 samples.
                int inside = 0;
                for (int sy = 0; sy < 4; ++sy)
                    for (int sx = 0; sx < 4; ++sx) {
                        const double px = x + (sx + 0.5) / 4 - w / 2.0, py = y + (sy + 0.5) / 4 - h / 2.0;
                        auto in = [&](double cx, double cy) { return std::hypot(px - cx, py - cy) < 28; };
                        bool on = std::fabs(px) < 115 && std::fabs(py) < 115;
                        on = on || in(0, -140) || in(140, 0);
                        on = on && !in(0, 90) && !in(-90, 0);
                        inside += on;
                    }
                v = inside * 255 / 16;
            }
            a[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
        }
    CQWF_ImageFX fx;
    fx.SetSourceBuffer(src.data(), w, 4, 1, static_cast<uint16_t>(w), static_cast<uint16_t>(h));
    fx.SetTargetBuffer(dst.data(), w, 4, 1, static_cast<uint16_t>(w), static_cast<uint16_t>(h));
    const uint8_t hi[3] = {255, 255, 255}, lo[3] = {0, 0, 0};
    const float len = std::sqrt(1.14f);
    auto run = [&] { return fx.Bevel(2, 3, 0.0, -0.5f / len, 0.8f / len, 0.5f / len, hi, 191, lo, 191); };
    run();
    for (auto _ : s) {
        benchmark::DoNotOptimize(run());
        benchmark::ClobberMemory();
    }
}
static void BM_BevelPiece(benchmark::State& s) { DefaultBevel(s, 340, 340, false); }
static void BM_BevelKnives(benchmark::State& s) { DefaultBevel(s, kW, kH, true); }
static void BM_ScaleDown(benchmark::State& s)
{
    CQWF_ImageFX fx;
    std::vector<uint8_t> small(static_cast<size_t>(1000) * 750 * 4);
    fx.SetSourceBuffer(Pic().src.data(), kW, 4, 1, kW, kH);
    fx.SetTargetBuffer(small.data(), 1000, 4, 1, 1000, 750);
    for (auto _ : s) benchmark::DoNotOptimize(fx.ScaleToFit(1));
}
static void BM_ScaleUp(benchmark::State& s)
{
    CQWF_ImageFX fx;
    fx.SetSourceBuffer(Pic().src.data(), 1000, 4, 1, 1000, 750);
    fx.SetTargetBuffer(Pic().dst.data(), kW, 4, 1, kW, kH);
    for (auto _ : s) benchmark::DoNotOptimize(fx.ScaleToFit(1));
}

BENCHMARK(BM_Invert)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BlendSource)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ColorOverlay)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BrightnessContrast)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AdjustHSL)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Desaturate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Blur)->Arg(10)->Arg(20)->Arg(100)->Arg(300)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MotionBlur)->Arg(0)->Arg(90)->Arg(30)->Arg(120)->Arg(45)->Arg(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sharpen)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Stroke)->Arg(1)->Arg(3)->Arg(10)->Arg(40)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Bevel)->Arg(10)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BevelPiece)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BevelKnives)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScaleDown)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScaleUp)->Unit(benchmark::kMillisecond);
