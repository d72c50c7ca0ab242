// Our kernels side by side with their nearest counterparts in OpenCV, in one run on one thread
// (cv::setNumThreads(1)), on the same 4000 x 3000 input with the same channels. Built only when
// pkg-config finds opencv4.
//
// Each iteration runs our kernel and then the peer, each timed on its own; the reported time is
// ours. Counters: ours_ms and peer_ms per iteration, ratio = ours / peer (below 1: we are
// faster), ours_cpu and peer_cpu, the processor time of each per iteration in ms (steadier
// than the elapsed time when the machine is busy), and best_ratio, the fastest iteration of
// ours over the peer's fastest (the steadiest figure on a busy machine; run with a longer
// --benchmark_min_time for more iterations).
//
//   Cut/aa, Cut/plain   the whole cut (knife mask, labelling, piece records) with and without
//                       anti-aliasing, 20 x 15 pieces, against cv::connectedComponents with
//                       4-connectivity on the same knives drawn at pixel resolution (drawn once,
//                       outside the timing)
//   Blur/S/M            our Gaussian blur at sigma S/10 of the three colour planes (alpha
//                       copied; M = 1: each row filled from its opaque pixels first, as the
//                       effect runs) against cv::GaussianBlur of the same three 8-bit planes
//                       (kernel size as OpenCV picks it for sigma) and a copy of alpha
//   BlurTaps/S/M        the same below sigma 1.5, where ours is a direct kernel, against
//                       cv::GaussianBlur with that very kernel: its taps (2K - 1, 15 at sigma 1)
//                       and its width (0.1 + 1.5 sigma)
//   Stroke/W            our stroke of width W against cv::dilate of alpha with an elliptic
//                       element of radius W and the colour laid on the dilated ring
//                       (colour = src * alpha + stroke colour * (dilated - alpha), /255)
//   HSL                 our hue/saturation/lightness against cv::cvtColor BGR -> HLS -> BGR of
//                       the same three channels interleaved
//   MotionBlur          our motion blur at 30 degrees with 0 degrees as the "peer"
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "framework/imaging/qwf_imagefx.h"
#include "bench/cut_layout.h"
#include "plugin/core/jigcrafter.h"
#include "tools/makesample/sample_layout.h"

namespace {
constexpr int kW = 4000, kH = 3000;
constexpr size_t kArea = static_cast<size_t>(kW) * kH;

// The picture of bench_imaging_fx's kind: the sample picture's colours and opaque blobs with
// soft, wavy edges like pieces.
struct Picture {
    std::vector<uint8_t> src, dst;
    Picture() : src(kArea * 4), dst(kArea * 4)
    {
        std::vector<uint8_t> colour;
        qwsample::MakePicture(kW, kH, colour);
        std::memcpy(src.data(), colour.data(), 3 * kArea);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const double fx = (x % 500) - 250.0, fy = (y % 500) - 250.0;
                const double r = std::hypot(fx, fy) - 200 - 20 * std::sin(std::atan2(fy, fx) * 6);
                const double a = r < -1 ? 255 : (r > 1 ? 0 : (1 - r) * 127.5);
                src[3 * kArea + static_cast<size_t>(y) * kW + x] = static_cast<uint8_t>(a);
            }
    }
    void Bind(CQWF_ImageFX& fx)
    {
        fx.SetSourceBuffer(src.data(), kW, 4, 1, kW, kH);
        fx.SetTargetBuffer(dst.data(), kW, 4, 1, kW, kH);
    }
    cv::Mat SrcPlane(int k) { return cv::Mat(kH, kW, CV_8UC1, src.data() + k * kArea); }
    cv::Mat DstPlane(int k) { return cv::Mat(kH, kW, CV_8UC1, dst.data() + k * kArea); }
};

Picture& Pic()
{
    static Picture p;
    return p;
}

double MsSince(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// Processor time of this process (its one thread), which a busy machine does not stretch as
// it does the elapsed time.
double CpuMsSince(std::clock_t c0)
{
    return 1000.0 * static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC;
}

// Runs ours and the peer once untimed (warming scratch memory), then once each per iteration.
template <class Ours, class Peer>
void Pair(benchmark::State& state, Ours&& ours, Peer&& peer)
{
    cv::setNumThreads(1);
    if (!ours() || !peer()) {
        state.SkipWithError("a kernel failed");
        return;
    }
    double oursMs = 0, peerMs = 0, oursCpu = 0, peerCpu = 0, oursBest = 0, peerBest = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        std::clock_t c0 = std::clock();
        const bool ok = ours();
        const double o = MsSince(t0);
        oursCpu += CpuMsSince(c0);
        t0 = std::chrono::steady_clock::now();
        c0 = std::clock();
        peer();
        const double p = MsSince(t0);
        peerCpu += CpuMsSince(c0);
        if (!ok) {
            state.SkipWithError("our kernel failed");
            return;
        }
        benchmark::ClobberMemory();
        state.SetIterationTime(o / 1000);
        oursMs += o;
        peerMs += p;
        oursBest = oursBest > 0 && oursBest < o ? oursBest : o;
        peerBest = peerBest > 0 && peerBest < p ? peerBest : p;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["ours_ms"] = oursMs / n;
    state.counters["peer_ms"] = peerMs / n;
    state.counters["ratio"] = peerMs > 0 ? oursMs / peerMs : 0;
    state.counters["ours_cpu"] = oursCpu / n;
    state.counters["peer_cpu"] = peerCpu / n;
    state.counters["best_ratio"] = peerBest > 0 ? oursBest / peerBest : 0;
}

// --- the cut ----------------------------------------------------------------------------------

void BM_Cut(benchmark::State& state)
{
    const bool aa = state.range(0) != 0;
    CJigcrafter e;
    qwbench::BuildLayout(e, 20, 15);
    // The peer's input: the knives drawn at pixel resolution, pieces non-zero.
    cv::Mat lines(kH, kW, CV_8UC1, cv::Scalar(0));
    e.SetAntiAliasing(false);
    if (!e.DrawSplitterMask(kW, kH, lines.data, kW, 0, 100)) {
        state.SkipWithError("knife mask not drawn");
        return;
    }
    cv::Mat pieces = lines == 0, labels;
    e.SetRazorCut(true);
    e.SetAntiAliasing(aa);
    std::vector<uint8_t> image(3 * kArea, 0);
    const uint8_t* planes[3] = {image.data(), image.data() + kArea, image.data() + 2 * kArea};
    int peerCount = 0;
    Pair(
        state,
        [&] {
            e.FreePieces();  // the engine's memory stays for the next cut
            return e.Cut(kW, kH, nullptr, 0, planes, kW, 3, 0, 100, false);
        },
        [&] {
            peerCount = cv::connectedComponents(pieces, labels, 4, CV_32S);
            return true;
        });
    state.counters["pieces"] = e.GetPieceCount();
    state.counters["peer_regions"] = peerCount - 1;
}

// --- blur -------------------------------------------------------------------------------------

void BM_Blur(benchmark::State& state)
{
    const double sigma = static_cast<double>(state.range(0)) / 10;
    const uint8_t mask = static_cast<uint8_t>(state.range(1));
    CQWF_ImageFX fx;
    Pic().Bind(fx);
    Pair(
        state, [&] { return fx.Blur(sigma, 0, mask); },
        [&] {
            for (int k = 0; k < 3; ++k) {
                cv::Mat out = Pic().DstPlane(k);
                cv::GaussianBlur(Pic().SrcPlane(k), out, cv::Size(0, 0), sigma, sigma);
            }
            cv::Mat alpha = Pic().DstPlane(3);
            Pic().SrcPlane(3).copyTo(alpha);
            return true;
        });
}

void BM_BlurTaps(benchmark::State& state)
{
    const double sigma = static_cast<double>(state.range(0)) / 10;
    const uint8_t mask = static_cast<uint8_t>(state.range(1));
    // The direct kernel of InitGaussian: w(i) = exp(-i^2 / (2 s^2)) for |i| < K.
    const double s = 0.1 + 1.5 * sigma;
    const int K = 2 - static_cast<int>(-3.8 * s);
    CQWF_ImageFX fx;
    Pic().Bind(fx);
    state.counters["taps"] = 2 * K - 1;
    Pair(
        state, [&] { return fx.Blur(sigma, 0, mask); },
        [&] {
            for (int k = 0; k < 3; ++k) {
                cv::Mat out = Pic().DstPlane(k);
                cv::GaussianBlur(Pic().SrcPlane(k), out, cv::Size(2 * K - 1, 2 * K - 1), s, s);
            }
            cv::Mat alpha = Pic().DstPlane(3);
            Pic().SrcPlane(3).copyTo(alpha);
            return true;
        });
}

// --- stroke -----------------------------------------------------------------------------------

void BM_Stroke(benchmark::State& state)
{
    const int w = static_cast<int>(state.range(0));
    const uint8_t colour[3] = {255, 255, 255};
    CQWF_ImageFX fx;
    Pic().Bind(fx);
    const cv::Mat disc = cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(2 * w + 1, 2 * w + 1));
    cv::Mat ring, lit, laid;
    Pair(
        state, [&] { return fx.Stroke(colour, 255, static_cast<uint8_t>(w)); },
        [&] {
            cv::Mat alpha = Pic().SrcPlane(3), dilated = Pic().DstPlane(3);
            cv::dilate(alpha, dilated, disc);
            cv::subtract(dilated, alpha, ring);
            for (int k = 0; k < 3; ++k) {
                cv::Mat out = Pic().DstPlane(k);
                cv::multiply(Pic().SrcPlane(k), alpha, lit, 1.0 / 255);
                cv::multiply(ring, cv::Scalar(colour[k]), laid, 1.0 / 255);
                cv::add(lit, laid, out);
            }
            return true;
        });
}

// --- hue and saturation -----------------------------------------------------------------------

void BM_HSL(benchmark::State& state)
{
    CQWF_ImageFX fx;
    Pic().Bind(fx);
    cv::Mat bgr, hls, back;
    cv::merge(std::vector<cv::Mat>{Pic().SrcPlane(2), Pic().SrcPlane(1), Pic().SrcPlane(0)}, bgr);
    Pair(
        state, [&] { return fx.AdjustHSL(40, 30, 10, 1); },
        [&] {
            cv::cvtColor(bgr, hls, cv::COLOR_BGR2HLS);
            cv::cvtColor(hls, back, cv::COLOR_HLS2BGR);
            return true;
        });
}

// --- motion blur: the angled case against the horizontal one ---------------------------------

void BM_MotionBlur(benchmark::State& state)
{
    CQWF_ImageFX fx;
    Pic().Bind(fx);
    Pair(
        state, [&] { return fx.MotionBlur(30.0, 10.0, 0, 1); },
        [&] { return fx.MotionBlur(0.0, 10.0, 0, 1); });
}

}  // namespace

BENCHMARK(BM_Cut)->Name("Cut/aa")->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Cut)->Name("Cut/plain")->Arg(0)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Blur)
    ->Name("Blur")
    ->Args({10, 1})
    ->Args({10, 0})
    ->Args({20, 1})
    ->Args({20, 0})
    ->Args({100, 1})
    ->Args({100, 0})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BlurTaps)
    ->Name("BlurTaps")
    ->Args({10, 1})
    ->Args({10, 0})
    ->Args({5, 0})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Stroke)->Name("Stroke")->Arg(1)->Arg(2)->Arg(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HSL)->Name("HSL")->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MotionBlur)->Name("MotionBlur/30vs0")->UseManualTime()->Unit(benchmark::kMillisecond);
