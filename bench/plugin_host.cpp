// Planes moved through the host in strips, and the scripting parameters of a large layout.
#include <benchmark/benchmark.h>

#include <vector>

#include "platform/qw_random.h"
#include "plugin/core/qw_8bfplugin.h"
#include "tests/plugin/core/fake_host.h"

namespace {

void BM_PlaneStrips(benchmark::State& state)
{
    const int32_t w = 4000, h = 3000;
    FilterRecord rec;
    fakehost::Reset(rec, w, h, plugInModeGrayScale, 1);
    rec.maxSpace = int32_t(state.range(0));
    CQWF_8BFPluginVirtual plugin;
    int16_t result = 0;
    plugin.SetHostPointers(&rec, nullptr, &result);
    std::vector<uint8_t> buf(size_t(w) * h);
    for (auto _ : state) {
        plugin.ReadPlane(0, 0, 0, w, h, buf.data(), w);
        plugin.WritePlane(0, 0, 0, w, h, buf.data(), w);
        benchmark::DoNotOptimize(buf.data());
    }
    state.SetBytesProcessed(state.iterations() * int64_t(w) * h * 2);
}
BENCHMARK(BM_PlaneStrips)->Arg(64 * 1024)->Arg(1 << 20)->Arg(16 << 20)->Unit(benchmark::kMillisecond);

void BM_ScriptingRoundTrip(benchmark::State& state)
{
    FilterRecord rec;
    fakehost::Reset(rec, 4, 4, plugInModeRGBColor, 3);
    CQWF_8BFPluginVirtual plugin;
    int16_t result = 0;
    plugin.SetHostPointers(&rec, nullptr, &result);
    // A layout-like blob: repetitive with some noise, as knife records are.
    std::vector<uint8_t> blob(size_t(state.range(0)));
    qwp::SeedRandom(3);
    for (size_t i = 0; i < blob.size(); ++i) blob[i] = uint8_t((i % 392) ^ (qwp::Random15() & 7));
    for (auto _ : state) {
        plugin.WriteScriptParameters(blob.data(), blob.size());
        fakehost::DisposeH(rec.descriptorParameters->descriptor);
        fakehost::S().readItems = fakehost::S().written;
        rec.descriptorParameters->descriptor = fakehost::MakeHandle("d", 1);
        CQWF_Mem out;
        bool show = false;
        plugin.ReadScriptParameters(out, show);
        benchmark::DoNotOptimize(out.GetData());
        fakehost::S().handles.clear();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(blob.size()));
}
BENCHMARK(BM_ScriptingRoundTrip)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace
