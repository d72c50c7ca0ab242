// The encoding of cut masks as runs at each CPU level: 300 boxes of 300 x 300 bytes read at
// a row stride of 4000 (as a 4000 x 3000 cut's labels), each box a disc of 255 with an
// anti-aliased edge of literal bytes over zeros.
//
//   bench_mask_runs    arg: the CPU level (0 plain, 1 AVX2, 2 AVX-512)
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "framework/core/qwf_mem.h"
#include "platform/qw_cpu.h"
#include "plugin/core/jigcrafter.h"

namespace {

void BM_EncodeMaskRuns(benchmark::State& state)
{
    const auto level = static_cast<qwp::CpuLevel>(state.range(0));
    if (level > qwp::GetCpuSupportedLevel()) {
        state.SkipWithError("level not supported here");
        return;
    }
    constexpr int32_t kW = 4000, kH = 3000, kBox = 300;
    std::vector<uint8_t> labels(static_cast<size_t>(kW) * kH);
    for (int32_t y = 0; y < kH; ++y)
        for (int32_t x = 0; x < kW; ++x) {
            // Distance from the box's centre against a radius of 120: 255 inside, a ramp of
            // about two pixels, 0 outside.
            const int32_t dx = x % kBox - kBox / 2, dy = y % kBox - kBox / 2;
            const int32_t d2 = dx * dx + dy * dy - 120 * 120;
            labels[static_cast<size_t>(y) * kW + x] =
                d2 < -240 ? 255 : d2 > 240 ? 0 : static_cast<uint8_t>((240 - d2) * 255 / 480);
        }
    qwp::SetCpuLevelLimit(level);
    CQWF_Mem out;
    int64_t bytes = 0;
    for (auto _ : state) {
        for (int32_t by = 0; by + kBox <= kH; by += kBox)
            for (int32_t bx = 0; bx + kBox <= kW; bx += kBox) {
                if (!CJigcrafter::EncodePieceMask(labels.data() + static_cast<size_t>(by) * kW + bx,
                                                  kW, kBox, kBox, out)) {
                    state.SkipWithError("the encoding failed");
                    break;
                }
                bytes += static_cast<int64_t>(kBox) * kBox;
            }
    }
    qwp::SetCpuLevelLimit(qwp::kCpuAvx512);
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_EncodeMaskRuns)->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace
