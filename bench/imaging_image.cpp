// Planar image copies and fills, the line rasteriser and the flood fill at 4000 x 3000.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "framework/imaging/qwf_2dmath.h"
#include "framework/imaging/qwf_image.h"

namespace {

constexpr int kW = 4000;
constexpr int kH = 3000;

// A knife mask like a cut layout: wavy lines every 100 pixels in both directions.
std::vector<uint8_t> KnifeMask()
{
    std::vector<uint8_t> m(static_cast<size_t>(kW) * kH, 0);
    for (int y = 0; y < kH; ++y)
        for (int c = 50; c < kW; c += 100) {
            int x = c + static_cast<int>(8 * std::sin(y * 0.05));
            m[static_cast<size_t>(y) * kW + x] = 255;
            m[static_cast<size_t>(y) * kW + x + 1] = 255;
        }
    for (int x = 0; x < kW; ++x)
        for (int r = 50; r < kH; r += 100) {
            int y = r + static_cast<int>(8 * std::sin(x * 0.05));
            m[static_cast<size_t>(y) * kW + x] = 255;
            m[static_cast<size_t>(y + 1) * kW + x] = 255;
        }
    return m;
}

struct Labels {
    std::vector<uint8_t> mask;
    long spans = 0;
};

bool TestPixel(int32_t x, int32_t y, void* user)
{
    Labels* l = static_cast<Labels*>(user);
    return x < 0 || y < 0 || x >= kW || y >= kH || l->mask[static_cast<size_t>(y) * kW + x] != 0;
}

bool FillSpan(int32_t x, int32_t y, int32_t len, void* user)
{
    Labels* l = static_cast<Labels*>(user);
    std::fill_n(l->mask.begin() + static_cast<ptrdiff_t>(y) * kW + x, len, 1);
    ++l->spans;
    return true;
}

// Labels every region of the mask as the cut does: a fill from each free pixel.
void LabelAll(benchmark::State& state, bool fast, bool open)
{
    const std::vector<uint8_t> source = open ? std::vector<uint8_t>(size_t{kW} * kH, 0) : KnifeMask();
    Labels l;
    for (auto _ : state) {
        state.PauseTiming();
        l.mask = source;
        l.spans = 0;
        state.ResumeTiming();
        CQWF_2DMath g;
        g.m_span = FillSpan;
        if (fast) g.SetByteBarrier(l.mask.data(), kW, kW, kH);
        else g.m_test = TestPixel;
        for (int y = 0; y < kH; ++y) {
            const uint8_t* row = l.mask.data() + static_cast<size_t>(y) * kW;
            for (int x = 0; x < kW; ++x)
                if (row[x] == 0) g.FloodFill(&l, x, y);
        }
        benchmark::DoNotOptimize(l.spans);
    }
    state.counters["spans"] = static_cast<double>(l.spans);
}

void BM_FloodFillCallback(benchmark::State& s) { LabelAll(s, false, false); }
void BM_FloodFillByteBarrier(benchmark::State& s) { LabelAll(s, true, false); }
void BM_FloodFillOpenCallback(benchmark::State& s) { LabelAll(s, false, true); }
void BM_FloodFillOpenByteBarrier(benchmark::State& s) { LabelAll(s, true, true); }

void BM_FillWhole(benchmark::State& state)
{
    CQWF_Image img;
    img.Create(kW, kH, 2);
    for (auto _ : state) benchmark::DoNotOptimize(img.Fill(0x80402010));
}

void BM_FillRect(benchmark::State& state)
{
    CQWF_Image img;
    img.Create(kW, kH, 2);
    for (auto _ : state) benchmark::DoNotOptimize(img.Fill(0x80402010, 255, QWF_Rect{1, 1, kW - 1, kH - 1}));
}

void BM_FillChecker(benchmark::State& state)
{
    CQWF_Image img;
    img.Create(kW, kH, 1);
    for (auto _ : state) benchmark::DoNotOptimize(img.FillChecker(8, 8, 0xFFFFFFFF, 0xFFC0C0C0));
}

void BM_Blit(benchmark::State& state)
{
    CQWF_Image src, dst;
    src.Create(kW, kH, 2);
    src.Fill(0x80402010);
    dst.Create(kW, kH, 2);
    for (auto _ : state) benchmark::DoNotOptimize(dst.Blit(&src, 0, 0));
}

void BlitAlphaAt(benchmark::State& state, uint8_t opacity)
{
    CQWF_Image src, dst;
    src.Create(kW, kH, 2);
    for (size_t i = 0; i < src.GetDataSize(); ++i) src.GetData()[i] = static_cast<uint8_t>(i * 31);
    dst.Create(kW, kH, 2);
    dst.Fill(0xFF808080);
    for (auto _ : state) benchmark::DoNotOptimize(dst.BlitAlpha(&src, 0, 0, QWF_WHOLE_RECT, opacity));
}

void BM_BlitAlphaFull(benchmark::State& s) { BlitAlphaAt(s, 100); }
void BM_BlitAlphaHalf(benchmark::State& s) { BlitAlphaAt(s, 50); }

// Knife lines of width 3, anti-aliased, round caps, max mode: a 40 x 30 grid of segments.
void BM_WideLines(benchmark::State& state)
{
    std::vector<uint8_t> plane(size_t{kW} * kH, 0);
    CQWF_ImageDrawing d;
    d.SetTarget(plane.data(), kW, kW, kH);
    for (auto _ : state) {
        for (int c = 50; c < kW; c += 100)
            for (int r = 0; r < kH; r += 20) d.DrawSegment(c + 0.3, r, c + 4.7, r + 20, 3, 1, 1, 0);
        benchmark::DoNotOptimize(plane.data());
    }
}

// A knife as the cut draws it: a flattened curve drawn with spacing 1, width 3, round caps, in
// max mode; 30 knives across the image.
void BM_KnifePolylines(benchmark::State& state)
{
    std::vector<uint8_t> plane(size_t{kW} * kH, 0);
    std::vector<double> pts;
    for (int x = 0; x < kW; x += 1) {
        pts.push_back(x);
        pts.push_back(50 + 10 * std::sin(x * 0.03));
    }
    CQWF_ImageDrawing d;
    d.SetTarget(plane.data(), kW, kW, kH);
    for (auto _ : state) {
        for (int k = 0; k < 30; ++k) {
            std::vector<double> shifted = pts;
            for (size_t i = 1; i < shifted.size(); i += 2) shifted[i] += k * 100;
            d.DrawPolyline(shifted.data(), static_cast<int64_t>(shifted.size() / 2), 3, 1, 1, 0, 1.0);
        }
        benchmark::DoNotOptimize(plane.data());
    }
}

}  // namespace

BENCHMARK(BM_KnifePolylines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FloodFillCallback)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FloodFillByteBarrier)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FloodFillOpenCallback)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FloodFillOpenByteBarrier)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FillWhole)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FillRect)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FillChecker)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Blit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BlitAlphaFull)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BlitAlphaHalf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WideLines)->Unit(benchmark::kMillisecond);
