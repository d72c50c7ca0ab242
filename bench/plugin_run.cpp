// The whole run without the dialog: the layout replayed from "last.data", the host's planes read
// in strips, the cut, every piece rendered with the default effects (the bevel), the composite
// and the write-back. Peak memory is the process's resident peak after the run.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/qw_module.h"
#include "platform/qw_paths.h"
#include "plugin/core/qw_pluginentry.h"
#include "plugin/core/qw_pluginmain.h"
#include "tests/plugin/core/fake_host.h"
#include "tools/makesample/sample_layout.h"

namespace {

double PeakMegabytes()
{
    struct rusage u;
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;
}

void BM_ReplayRun(benchmark::State& state)
{
    const int32_t w = static_cast<int32_t>(state.range(0));
    const int32_t h = static_cast<int32_t>(state.range(1));
    const int columns = static_cast<int>(state.range(2));
    const int rows = static_cast<int>(state.range(3));

    // The module's folder (and data folder) holds the layout as "last.data".
    char folderTemplate[] = "/tmp/qwbench.XXXXXX";
    if (!mkdtemp(folderTemplate)) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const std::string folder = folderTemplate;
    std::vector<uint8_t> blob;
    if (!qwsample::MakeLayoutBlob(w, h, columns, rows, true, nullptr, blob)) {
        state.SkipWithError("no layout");
        return;
    }
    FILE* f = std::fopen((folder + "/last.data").c_str(), "wb");
    if (!f || std::fwrite(blob.data(), 1, blob.size(), f) != blob.size()) {
        if (f) std::fclose(f);
        state.SkipWithError("cannot write last.data");
        return;
    }
    std::fclose(f);
    qwp::SetModuleFileNameForTesting(
        (qwp::ToWindowsPath(folder.c_str()) + "\\QWJigcrafter30.8bf").c_str());

    FilterRecord rec;
    fakehost::Reset(rec, w, h, plugInModeRGBColor, 3);
    std::vector<uint8_t> picture;
    qwsample::MakePicture(w, h, picture);
    const size_t area = static_cast<size_t>(w) * static_cast<size_t>(h);
    for (int p = 0; p < 3; ++p)
        std::memcpy(fakehost::S().planes[size_t(p)].data(), picture.data() + area * p, area);
    picture = std::vector<uint8_t>();
    rec.maxSpace = 16 << 20;
    static CPluginMain plugin;
    intptr_t data = 0;
    int16_t result = 0;
    int32_t pieces = 0;
    for (auto _ : state) {
        QW_Dispatch(plugin, filterSelectorStart, &rec, &data, &result);
        if (result != 0) {
            state.SkipWithError("the run failed");
            break;
        }
    }
    // The piece count of one cut, outside the timing.
    {
        CJigcrafter e;
        CQWF_Mem b;
        b.Alloc(blob.size());
        std::memcpy(b.GetData(), blob.data(), blob.size());
        bool layoutMode = false;
        uint32_t count = 0;
        uint8_t* records = nullptr;
        const uint8_t* planes[3] = {fakehost::S().planes[0].data(), fakehost::S().planes[1].data(),
                                    fakehost::S().planes[2].data()};
        if (e.LoadLayout(&b, layoutMode, count, records) &&
            e.Cut(w, h, nullptr, 0, planes, w, 3, 0, 100, false))
            pieces = e.GetPieceCount();
    }
    state.counters["pieces"] = pieces;
    state.counters["peak_MB"] = PeakMegabytes();
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(area));
    qwp::SetModuleFileNameForTesting(nullptr);
    std::remove((folder + "/last.data").c_str());
    std::remove((folder + "/plugin.conf").c_str());
    std::remove(folder.c_str());
}
// 300 pieces on 4000 x 3000; 2000 pieces on 12000 x 9000.
BENCHMARK(BM_ReplayRun)->Args({4000, 3000, 20, 15})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplayRun)->Args({12000, 9000, 50, 40})->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
