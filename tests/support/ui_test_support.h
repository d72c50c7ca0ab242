// Helpers for tests of windows: a headless window system with an application object, input by
// window coordinates and by control, the clock, presented pixels and screenshots, and skin
// packages built in memory.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/imaging/qwf_image.h"
#include "platform/qw_winsys_headless.h"
#include "platform/qw_winsys_x11.h"

class CQWF_App;
class CQWF_Window;

namespace qwtest {

// An RGB picture, rows top to bottom.
struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rgb;
    // 0xRRGGBB of a pixel (0 outside).
    uint32_t At(int32_t x, int32_t y) const;
};

bool WritePng(const std::string& path, const Picture& picture);

// Installs a headless window system and (unless given one) an application object for its life.
class HeadlessUi {
public:
    explicit HeadlessUi(CQWF_App* app = nullptr);
    ~HeadlessUi();
    HeadlessUi(const HeadlessUi&) = delete;
    HeadlessUi& operator=(const HeadlessUi&) = delete;

    qwp::HeadlessWindowSystem& Ws() { return m_ws; }
    CQWF_App& App() { return *m_app; }

    // Pointer input at window (client) coordinates.
    void MoveTo(CQWF_Window& window, int32_t x, int32_t y);
    void Press(CQWF_Window& window, int32_t x, int32_t y, int button = 0);
    void Release(CQWF_Window& window, int32_t x, int32_t y, int button = 0);
    void Click(CQWF_Window& window, int32_t x, int32_t y, int button = 0);
    // Drags with the left button in even steps, dispatching after each.
    void Drag(CQWF_Window& window, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int steps = 4);
    void Wheel(CQWF_Window& window, int32_t x, int32_t y, int32_t notches);
    // Clicks the centre of a control's rectangle; false when there is no such control.
    bool ClickControl(CQWF_Window& window, int32_t index);
    bool ClickControl(CQWF_Window& window, const char* name);
    void Key(uint32_t key) { m_ws.PressKey(key); Pump(); }
    void Type(const std::string& text) { m_ws.TypeText(text); Pump(); }
    // Moves the virtual clock on and dispatches what became due.
    void Advance(uint64_t milliseconds);
    // Dispatches every pending event; a quit request stays queued.
    void Pump();

    // What the window presents now.
    Picture Pixels(CQWF_Window& window);
    Picture Screen();
    // Writes build/test-output/screens/<name>.png of the window (or the whole screen).
    bool Screenshot(CQWF_Window& window, const std::string& name);
    bool ScreenScreenshot(const std::string& name);

private:
    qwp::HeadlessWindowSystem m_ws;
    qwp::WindowSystem* m_previousWs = nullptr;
    std::unique_ptr<CQWF_App> m_ownApp;
    CQWF_App* m_app = nullptr;
    CQWF_App* m_previousApp = nullptr;
};

// The X11 window system on the test display (QW_TEST_DISPLAY, which tools/run-tests.sh starts as
// a private Xvfb), installed with an application object for its life; X11 tests of every process
// take turns, since they share the pointer and the focus.
class X11Ui {
public:
    explicit X11Ui(CQWF_App* app = nullptr);
    ~X11Ui();
    X11Ui(const X11Ui&) = delete;
    X11Ui& operator=(const X11Ui&) = delete;

    // False (with the reason) when there is no test display.
    bool Ready() const { return m_ws != nullptr; }
    const std::string& Why() const { return m_why; }
    qwp::X11WindowSystem& Ws() { return *m_ws; }
    CQWF_App& App() { return *m_app; }

    // Lets the server handle every request and dispatches what it sent back (quit stays queued).
    void Pump();
    // Synthetic input at window coordinates, through the server.
    void MoveTo(CQWF_Window& window, int32_t x, int32_t y);
    void Click(CQWF_Window& window, int32_t x, int32_t y);
    void Drag(CQWF_Window& window, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int steps = 4);
    void Key(uint32_t key);
    // The window as the server shows it (XGetImage).
    Picture Pixels(CQWF_Window& window);
    bool Screenshot(CQWF_Window& window, const std::string& name);

private:
    std::unique_ptr<qwp::X11WindowSystem> m_ws;
    std::string m_why;
    int m_lock = -1;
    qwp::WindowSystem* m_previousWs = nullptr;
    std::unique_ptr<CQWF_App> m_ownApp;
    CQWF_App* m_app = nullptr;
    CQWF_App* m_previousApp = nullptr;
};

// Skips the test when the X11 test display is missing, or fails it where one is required
// (QW_REQUIRE_X11 set, as in CI).
#define QW_REQUIRE_X11_OR_SKIP(ui)                                                          \
    do {                                                                                   \
        if (!(ui).Ready()) {                                                               \
            if (std::getenv("QW_REQUIRE_X11")) FAIL() << (ui).Why();                      \
            GTEST_SKIP() << (ui).Why();                                                    \
        }                                                                                  \
    } while (0)

// A resource package written with the package writer: folders on every path are made as
// needed; images are stored as compressed skin elements.
class SkinBuilder {
public:
    SkinBuilder();
    ~SkinBuilder();
    // A picture element: rect, and the colour 0xAARRGGBB of each pixel (window coordinates).
    void Image(const std::string& key, const QWF_Rect& rect,
               const std::function<uint32_t(int32_t x, int32_t y)>& colour);
    // A one-byte-per-pixel element (drag areas).
    void Mask(const std::string& key, const QWF_Rect& rect,
              const std::function<uint8_t(int32_t x, int32_t y)>& value);
    // A blob stored as it is (already packed or deliberately broken).
    void Blob(const std::string& key, const std::vector<uint8_t>& bytes);
    // Packs bytes into a compressed block.
    static std::vector<uint8_t> Pack(const std::vector<uint8_t>& bytes);
    void DWord(const std::string& key, uint32_t value);
    void Word(const std::string& key, uint16_t value);
    void Byte(const std::string& key, uint8_t value);
    // The finished package's bytes.
    std::vector<uint8_t> Bytes();
    // Registers the package as the program's "qws4" resource (while this builder lives) and
    // loads it into the application object from there.
    bool LoadInto(CQWF_App& app);

private:
    void Folders(const std::string& key);
    struct Impl;
    std::unique_ptr<Impl> m;
};

}  // namespace qwtest
