// Opening the filter's dialog as the user meets it: the main window made from the skin package
// over a 4000 x 3000 picture (preview source read from the host, thumbnail, last layout, the
// Cutter beside it, the first picture drawn), headless.
//
//   bench_main_window
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "framework/ui/qwf_app.h"
#include "platform/qw_paths.h"
#include "platform/qw_threads.h"
#include "platform/qw_winsys_headless.h"
#include "plugin/core/qw_pluginmain.h"
#include "plugin/main/wnd_main.h"
#include "plugin/windows/wnd_cutter.h"
#include "tests/plugin/core/fake_host.h"

namespace {
std::string PackagePath()
{
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe");
    return qwp::ToWindowsPath((exe.parent_path() / "resource_jw30.qws4").string().c_str());
}

void BM_OpenMainWindow(benchmark::State& state)
{
    const int32_t w = static_cast<int32_t>(state.range(0));
    const int32_t h = static_cast<int32_t>(state.range(1));
    qwp::HeadlessWindowSystem ws;
    qwp::WindowSystem* previous = qwp::SetWindowSystem(&ws);
    CQWF_App app;
    CQWF_App* previousApp = CQWF_App::GetApp();
    CQWF_App::SetApp(&app);
    if (!app.LoadPackageFromFile(PackagePath().c_str(), true)) {
        state.SkipWithError("no skin package beside the benchmark");
    } else {
        InstallCutterFactory();
        FilterRecord rec{};
        intptr_t data = 0;
        int16_t result = 0;
        fakehost::Reset(rec, w, h, plugInModeRGBColor, 3);
        CPluginMain plugin;
        plugin.SetHostPointers(&rec, &data, &result);
        plugin.ReadHostInfo();
        plugin.ReadMask(true);
        for (auto _ : state) {
            // The filter call starts its worker threads just before it opens the dialog.
            const qwp::WorkerScope workers(qwp::ThreadCount());
            CWnd_Main window;
            window.SetPlugin(&plugin);
            if (!window.CreateFromSkin("Main", 0, 0, nullptr, 0)) {
                state.SkipWithError("the main window did not open");
                break;
            }
            window.Show();
            benchmark::DoNotOptimize(window.GetPreviewSource().GetData());
        }
    }
    CQWF_App::SetApp(previousApp);
    qwp::SetWindowSystem(previous);
}
BENCHMARK(BM_OpenMainWindow)->Args({4000, 3000})->Unit(benchmark::kMillisecond)->UseRealTime();
}  // namespace
