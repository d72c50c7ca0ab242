// The image preview painting a 1000 x 700 view of a 4000 x 3000 picture: final renders at 1/16,
// 1:1 and 16x (with the window's recomposition), the smoothing pass at 1/16, and one draft step
// of a pan at 1:1. The window is headless, from a package of one plain window written here.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "framework/core/qwf_block.h"
#include "framework/core/qwf_storage.h"
#include "framework/imaging/qwf_image.h"
#include "framework/ui/qwf_app.h"
#include "framework/ui/qwf_preview.h"
#include "framework/ui/qwf_window.h"
#include "platform/qw_paths.h"
#include "platform/qw_random.h"
#include "platform/qw_winsys_headless.h"

namespace {

constexpr int32_t kViewW = 1000, kViewH = 700;
constexpr int32_t kPicW = 4000, kPicH = 3000;

// A package with the window "View": an opaque background a little larger than the view.
bool WritePackage(const std::string& path)
{
    const int32_t w = kViewW + 20, h = kViewH + 20;
    std::vector<uint8_t> b = {0, 0, 0, 0, uint8_t(w >> 8), uint8_t(w), uint8_t(h >> 8), uint8_t(h)};
    const size_t plane = static_cast<size_t>(w) * h;
    b.resize(8 + 4 * plane, 0x30);
    std::fill(b.begin() + 8 + 3 * static_cast<std::ptrdiff_t>(plane), b.end(), 0xFF);
    CQWF_ZipBlock zip;
    zip.SetMode(1);
    zip.SetInput(b.data(), b.size());
    CQWF_Mem packed;
    zip.SetOutputMem(&packed);
    CQWF_Storage storage;
    return zip.Process() && storage.OpenFile(qwp::ToWindowsPath(path.c_str()).c_str(), CQWF_Storage::kModeCreate) &&
           storage.CreateFolder("UIResources") && storage.CreateFolder("UIResources>Windows") &&
           storage.CreateFolder("UIResources>Windows>View") &&
           storage.SetBinary("UIResources>Windows>View>Background", packed.GetData(), packed.GetSize());
}

struct Scene {
    qwp::HeadlessWindowSystem ws;
    CQWF_App app;
    CQWF_Image picture;
    CQWF_CtrlPreview preview;
    CQWF_Window window;
    bool ready = false;

    Scene()
    {
        qwp::SetWindowSystem(&ws);
        CQWF_App::SetApp(&app);
        const std::string path = std::string(QW_BINARY_DIR) + "/bench_preview.qws4";
        if (!WritePackage(path) || !app.LoadPackageFromFile(qwp::ToWindowsPath(path.c_str()).c_str(), false)) return;
        if (!window.CreateFromSkin("View", 0, 0, nullptr, 0) || window.AttachControl(&preview) < 0) return;
        // A picture with soft colours and some transparency.
        if (!picture.Create(kPicW, kPicH, QWF_IMAGE_RGBA)) return;
        qwp::SeedRandom(7);
        uint8_t* p = picture.GetData();
        const size_t plane = picture.GetPlaneSize();
        for (size_t i = 0; i < plane; ++i) {
            const int r = qwp::Random15();
            p[i] = static_cast<uint8_t>(i);
            p[plane + i] = static_cast<uint8_t>(r);
            p[2 * plane + i] = static_cast<uint8_t>(r >> 7);
            p[3 * plane + i] = (r & 7) == 0 ? static_cast<uint8_t>(r >> 3) : 255;
        }
        ready = preview.SetSource(10, 10, 10 + kViewW, 10 + kViewH, &picture, nullptr, nullptr, nullptr, nullptr, nullptr);
        window.Show();
    }
    ~Scene()
    {
        window.Close();
        CQWF_App::SetApp(nullptr);
        qwp::SetWindowSystem(nullptr);
    }
};

Scene& TheScene()
{
    static Scene scene;
    return scene;
}

void BM_PreviewFinalRender(benchmark::State& state)
{
    Scene& s = TheScene();
    if (!s.ready) {
        state.SkipWithError("no headless window");
        return;
    }
    s.preview.SetZoom(static_cast<uint8_t>(state.range(0)), -1, -1, false, true);
    s.preview.SetScroll(s.preview.GetScrollMin().x + 100, s.preview.GetScrollMin().y + 100, true);
    for (auto _ : state) s.preview.Render(true);
    state.SetItemsProcessed(state.iterations() * kViewW * kViewH);
}
BENCHMARK(BM_PreviewFinalRender)->Arg(0)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond);

void BM_PreviewSmoothPass(benchmark::State& state)
{
    Scene& s = TheScene();
    if (!s.ready) {
        state.SkipWithError("no headless window");
        return;
    }
    s.preview.SetZoom(0, -1, -1, false, true);
    for (auto _ : state) s.preview.Render(true, true);
    state.SetItemsProcessed(state.iterations() * kPicW * kPicH);
}
BENCHMARK(BM_PreviewSmoothPass)->Unit(benchmark::kMillisecond);

void BM_PreviewDraftPanStep(benchmark::State& state)
{
    Scene& s = TheScene();
    if (!s.ready) {
        state.SkipWithError("no headless window");
        return;
    }
    s.preview.SetZoom(4, -1, -1, false, true);
    int32_t step = 0;
    for (auto _ : state) {
        // One pointer move of a pan: the scroll moves by a few pixels and a draft follows.
        step = (step + 7) % 400;
        s.preview.SetScroll(1000 + step, 800 + step / 2, true);
        s.preview.Render(false);
    }
    state.SetItemsProcessed(state.iterations() * kViewW * kViewH);
}
BENCHMARK(BM_PreviewDraftPanStep)->Unit(benchmark::kMillisecond);

}  // namespace
