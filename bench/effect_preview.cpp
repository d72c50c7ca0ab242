// The live preview of an effect window as the user meets it: the main window over a
// 4000 x 3000 picture cut into 20 x 15 pieces, the bevel window open over all 300, and the
// value-1 size slider let go at a new position; timed from the slider's release to the end of
// the render of the pieces into the main window's picture (the 50 ms wait before the render runs
// on the headless clock and costs nothing).
//
//   bench_effect_preview
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "framework/ui/qwf_app.h"
#include "framework/ui/qwf_slider.h"
#include "platform/qw_paths.h"
#include "platform/qw_winsys_headless.h"
#include "plugin/core/qw_pluginmain.h"
#include "plugin/main/wnd_main.h"
#include "plugin/windows/effect_host.h"
#include "plugin/windows/wnd_cutter.h"
#include "tests/plugin/core/fake_host.h"

#include <cstring>
#include "platform/qw_threads.h"

namespace {
std::string PackagePath()
{
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe");
    return qwp::ToWindowsPath((exe.parent_path() / "resource_jw30.qws4").string().c_str());
}

CQWF_CtrlSlider* SliderOf(CQWF_Window& w, const char* name)
{
    for (int32_t i = 0; i < w.GetControlCount(); ++i) {
        CQWF_Control* c = w.GetControl(i);
        if (c && c->GetKind() == QWF_CTRL_SLIDER && std::strcmp(c->GetName(), name) == 0)
            return static_cast<CQWF_CtrlSlider*>(c);
    }
    return nullptr;
}

void Pump(qwp::HeadlessWindowSystem& ws)
{
    qwp::Event e;
    while (ws.TakeEvent(e, 0, {qwp::EventType::Quit}))
        ws.Dispatch(e);
}

void BM_BevelLivePreview(benchmark::State& state)
{
    const int32_t w = static_cast<int32_t>(state.range(0));
    const int32_t h = static_cast<int32_t>(state.range(1));
    qwp::HeadlessWindowSystem ws;
    qwp::WindowSystem* previous = qwp::SetWindowSystem(&ws);
    CQWF_App app;
    CQWF_App* previousApp = CQWF_App::GetApp();
    CQWF_App::SetApp(&app);
    FilterRecord rec{};
    intptr_t data = 0;
    int16_t result = 0;
    fakehost::Reset(rec, w, h, plugInModeRGBColor, 3);
    CPluginMain plugin;
    plugin.SetHostPointers(&rec, &data, &result);
    plugin.ReadHostInfo();
    plugin.ReadMask(true);
    {
        CWnd_Main window;
        CQWF_CtrlSlider* size = nullptr;
        if (!app.LoadPackageFromFile(PackagePath().c_str(), true)) {
            state.SkipWithError("no skin package beside the benchmark");
        } else {
            InstallCutterFactory();
            InstallEffectWindows();
            window.SetPlugin(&plugin);
            if (window.CreateFromSkin("Main", 0, 0, nullptr, 0) && window.Show()) {
                auto* cutter = static_cast<CWnd_Cutter*>(window.GetCutter()->GetWindow());
                SliderOf(*cutter, "Cutter_Rows")->SetValue(15, true);
                SliderOf(*cutter, "Cutter_Columns")->SetValue(20, true);
                Pump(ws);
                const int32_t cut = cutter->FindControl("Cutter_Cut");
                cutter->OnNotify(QWF_NOTIFY_CLICK, cut, "Cutter_Cut", QWF_CTRL_BUTTON, nullptr);
                Pump(ws);
            }
            if (window.GetMode() != CWnd_Main::kPuzzleMode || !window.OpenEffectWindow(1)) {
                state.SkipWithError("the bevel window did not open over the pieces");
            } else {
                auto* link = static_cast<CMainEffectHost*>(window.GetEffectWindow());
                size = SliderOf(*link->GetEffectWindow(), "FXbevel_Size1");
                ws.AdvanceTime(60);
                Pump(ws);
                state.counters["pieces"] = plugin.GetEngine().GetPieceCount();
            }
        }
        uint32_t position = 4;
        const qwp::WorkerScope workers(qwp::ThreadCount());  // the filter call's threads
        for (auto _ : state) {
            if (!size)
                break;
            position = position == 4 ? 6 : 4;
            size->SetValue(position, true);
            ws.AdvanceTime(50);
            Pump(ws);
        }
    }
    CQWF_App::SetApp(previousApp);
    qwp::SetWindowSystem(previous);
}
BENCHMARK(BM_BevelLivePreview)->Args({4000, 3000})->Unit(benchmark::kMillisecond)->UseRealTime();
}  // namespace
