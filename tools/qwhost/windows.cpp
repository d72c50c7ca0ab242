// The host's windows: the window system the filter's windows run on and the host's own window,
// which shows the document. The module shares the host's platform and toolkit (qwhost exports
// its symbols), as a plug-in shares the system's window manager with the program that loads it:
// the host window is a window of the same system, which the filter disables while it runs its
// own. With the headless system a UI script plays the user.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>

#include "framework/ui/qwf_uiscript.h"
#include "platform/qw_uidraw.h"
#include "platform/qw_winsys_headless.h"
#include "platform/qw_winsys_x11.h"
#include "qwhost.h"

namespace qwhost {

namespace {

constexpr int32_t kMaxWidth = 960;
constexpr int32_t kMaxHeight = 600;
constexpr int32_t kMargin = 12;

class HostWindow : public qwp::WindowClient {
public:
    intptr_t HandleEvent(const qwp::Event& e) override
    {
        qwp::WindowSystem& ws = qwp::WS();
        switch (e.type) {
        case qwp::EventType::Paint:
            Draw();  // without memory for the picture the window keeps what it showed
            return 1;
        case qwp::EventType::Close:
            ws.DestroyWindow(e.window);
            return 0;
        case qwp::EventType::Destroy:
            if (e.window == handle) handle = 0;
            return 0;
        default: return ws.DefaultHandling(e);
        }
    }

    // The document scaled to fit, on the window's face; false when there is no memory for the
    // picture.
    bool Draw()
    {
        if (!handle) return true;
        try {
            DrawDocument();
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }

    void DrawDocument()
    {
        qwp::Canvas c(width, height, qwp::palette::Face);
        const Document& d = TheHost().doc;
        const int32_t areaW = width - 2 * kMargin, areaH = height - 2 * kMargin;
        if (d.width > 0 && d.height > 0 && !d.planes.empty()) {
            const double scale = std::min(1.0, std::min(double(areaW) / d.width, double(areaH) / d.height));
            const int32_t w = std::max(1, int32_t(d.width * scale)), h = std::max(1, int32_t(d.height * scale));
            const int32_t left = (width - w) / 2, top = (height - h) / 2;
            for (int32_t y = 0; y < h; ++y) {
                const size_t sy = size_t(std::min<int64_t>(d.height - 1, int64_t(y / scale)));
                for (int32_t x = 0; x < w; ++x) {
                    const size_t sx = size_t(std::min<int64_t>(d.width - 1, int64_t(x / scale)));
                    const size_t i = sy * size_t(d.width) + sx;
                    uint32_t r, g, b;
                    if (d.mode == plugInModeCMYKColor) {
                        const int k = d.planes[3][i];
                        r = uint32_t((255 - d.planes[0][i]) * (255 - k) / 255);
                        g = uint32_t((255 - d.planes[1][i]) * (255 - k) / 255);
                        b = uint32_t((255 - d.planes[2][i]) * (255 - k) / 255);
                    } else if (d.colorPlanes >= 3) {
                        r = d.planes[0][i];
                        g = d.planes[1][i];
                        b = d.planes[2][i];
                    } else {
                        r = g = b = d.planes[0][i];
                    }
                    const uint32_t a = d.hasAlpha ? d.planes[size_t(d.colorPlanes)][i] : 255;
                    // Transparency over a checkerboard.
                    const uint32_t back = ((x / 8 + y / 8) & 1) ? 0x9A : 0x66;
                    r = (r * a + back * (255 - a)) / 255;
                    g = (g * a + back * (255 - a)) / 255;
                    b = (b * a + back * (255 - a)) / 255;
                    c.Fill(left + x, top + y, left + x + 1, top + y + 1, (r << 16) | (g << 8) | b);
                }
            }
        }
        qwp::PresentCanvas(qwp::WS(), handle, c);
    }

    qwp::WindowHandle handle = 0;
    int32_t width = 0;
    int32_t height = 0;
};

std::unique_ptr<qwp::WindowSystem> g_system;
qwp::HeadlessWindowSystem* g_headless = nullptr;
qwp::X11WindowSystem* g_x11 = nullptr;
HostWindow g_window;
CQWF_UiScript g_script;
bool g_scripted = false;
// What the host window was while the filter waited for input inside a selector.
bool g_inSelector = false;
bool g_seenDisabled = false;
bool g_seenEnabled = false;

}  // namespace

bool StartWindows(std::string& error)
{
    Options& o = TheHost().opt;
    if (o.uiScript.empty()) {
        if (const char* env = std::getenv("QW_UI_SCRIPT"); env && *env) o.uiScript = env;
    }
    if (!o.uiScript.empty()) {
        if (!g_script.LoadFile(o.uiScript)) return (error = g_script.GetError()), false;
        g_scripted = true;
    }
    if (o.ui == "x11") {
        auto x11 = qwp::X11WindowSystem::Open(nullptr);
        if (!x11) return (error = "no X11 display can be opened (is DISPLAY set?)"), false;
        if (g_scripted && !x11->HasTestInput())
            return (error = "the X11 display offers no synthetic input (XTest) for the UI script"), false;
        g_x11 = x11.get();
        g_system = std::move(x11);
        if (g_scripted) {
            // A script that waits a minute for something that never happens stops the run.
            g_x11->SetWaitLimit(60000);
            g_x11->SetWatchdogHandler([](const char* why) {
                std::fprintf(stderr, "qwhost: the filter's windows wait for input that can never come: %s\n", why);
                std::fflush(stderr);
                std::_Exit(4);
            });
        }
    } else {
        auto headless = std::make_unique<qwp::HeadlessWindowSystem>();
        // The message boxes nobody sees are told on stderr, as the other programs tell theirs.
        headless->SetEchoMessageBoxes(true);
        g_headless = headless.get();
        g_system = std::move(headless);
        // A wait that can never end stops the run instead of hanging it.
        g_headless->SetWatchdogHandler([](const char* why) {
            std::fprintf(stderr, "qwhost: the filter's windows wait for input that can never come: %s\n", why);
            std::fflush(stderr);
            std::_Exit(4);
        });
    }
    qwp::SetWindowSystem(g_system.get());

    // The host window: the document scaled to fit, centred in the work area.
    const Document& d = TheHost().doc;
    const double scale = d.width > 0 && d.height > 0
                             ? std::min(1.0, std::min(double(kMaxWidth) / d.width, double(kMaxHeight) / d.height))
                             : 1.0;
    g_window.width = std::max(320, int32_t(d.width * scale) + 2 * kMargin);
    g_window.height = std::max(200, int32_t(d.height * scale) + 2 * kMargin);
    const qwp::ScreenRect work = g_system->WorkArea();
    qwp::WindowParams params;
    params.x = work.left + std::max(0, (work.right - work.left - g_window.width) / 2);
    params.y = work.top + std::max(0, (work.bottom - work.top - g_window.height) / 2);
    params.width = g_window.width;
    params.height = g_window.height;
    params.title = "qwhost: " + (o.inputs.empty() ? o.raw : o.inputs[0]);
    params.className = "qwhost";
    params.client = &g_window;
    g_window.handle = g_system->CreateWindow(params);
    if (!g_window.handle) return (error = "cannot create the host window"), false;
    if (!g_window.Draw()) return (error = "out of memory showing the picture"), false;
    g_system->ShowWindow(g_window.handle, qwp::ShowMode::Show);
    g_system->SetActiveWindow(g_window.handle);
    // The host window's state whenever the filter waits for input (the script acts then).
    auto watch = [] {
        if (!g_inSelector || !g_window.handle) return;
        (g_system->IsEnabled(g_window.handle) ? g_seenEnabled : g_seenDisabled) = true;
    };
    // Unscripted (a person at the X11 display, or nobody headless) the waits themselves are
    // watched; a script takes the waits over and watches before each of its steps.
    g_system->SetIdleHook(watch);
    g_script.SetStepHook(watch);
    if (g_scripted && g_headless) g_script.Start(*g_headless);
    if (g_scripted && g_x11) g_script.Start(*g_x11);
    return true;
}

void InSelector(bool inside) { g_inSelector = inside; }

const char* HostWindowState()
{
    if (!g_window.handle) return nullptr;
    if (!g_seenDisabled && !g_seenEnabled) return "no dialog";
    return g_seenEnabled ? "enabled during the dialog" : "disabled during the dialog";
}

bool HostWindowEnabled() { return g_window.handle && g_system->IsEnabled(g_window.handle); }

intptr_t HostWindowHandle() { return g_window.handle; }

bool ShowDocument() { return g_window.Draw(); }

void WaitForHostWindow()
{
    if (!g_system || g_headless || g_scripted || !g_window.handle) return;
    std::printf("close the host window to end\n");
    std::fflush(stdout);
    qwp::Event e;
    while (g_window.handle && g_system->GetEvent(e)) g_system->Dispatch(e);
}

bool FinishScript()
{
    if (!g_scripted && g_headless && (g_seenDisabled || g_seenEnabled)) {
        std::fprintf(stderr, "qwhost: the filter's windows ran headless and nobody answered them, so they closed as "
                             "cancelled (--ui-script FILE plays the user, --ui x11 shows them on the display)\n");
    }
    return !g_scripted || g_script.Finish();
}

void StopWindows()
{
    if (g_window.handle && g_system) g_system->DestroyWindow(g_window.handle);
    g_window.handle = 0;
    qwp::SetWindowSystem(nullptr);
}

}  // namespace qwhost

// The module binds to the host's copies of the code they share, globals included, on purpose:
// an AddressSanitizer build must not take the second definition for a clash.
extern "C" __attribute__((visibility("default"), used)) const char* __asan_default_options()
{
    return "detect_odr_violation=0";
}
