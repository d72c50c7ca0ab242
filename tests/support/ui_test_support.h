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
// Reads a PNG file as 8-bit RGBA, rows top to bottom; false when it cannot be read.
bool ReadPngRgba(const std::string& path, int32_t& width, int32_t& height, std::vector<uint8_t>& rgba);

// What the window tests do with a window system: it is installed with an application object (the
// test's own, or one made here) for the driver's life; input goes in at window coordinates and by
// control; windows are read back and written as screenshots.
class UiDriver {
public:
    virtual ~UiDriver();
    UiDriver(const UiDriver&) = delete;
    UiDriver& operator=(const UiDriver&) = delete;

    CQWF_App& App() { return *m_app; }

    // Dispatches every pending event; a quit request stays queued.
    virtual void Pump() = 0;
    // Pointer input at window (client) coordinates; buttons 0 left, 1 right, 2 middle.
    void MoveTo(CQWF_Window& window, int32_t x, int32_t y);
    void Press(CQWF_Window& window, int32_t x, int32_t y, int button = 0);
    void Release(CQWF_Window& window, int32_t x, int32_t y, int button = 0);
    void Click(CQWF_Window& window, int32_t x, int32_t y, int button = 0);
    // Drags with the left button in even steps, dispatching after each.
    void Drag(CQWF_Window& window, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int steps = 4);
    // Wheel notches at a point, positive away from the user.
    void Wheel(CQWF_Window& window, int32_t x, int32_t y, int32_t notches);
    // Clicks the centre of a control's rectangle; false when there is no such control.
    bool ClickControl(CQWF_Window& window, int32_t index);
    bool ClickControl(CQWF_Window& window, const char* name);
    // Presses and releases a key (a qwp::vk key).
    void Key(uint32_t key);
    // What the window shows now.
    Picture Pixels(CQWF_Window& window);
    // Writes build/test-output/screens/<name>.png of the window.
    bool Screenshot(CQWF_Window& window, const std::string& name);

protected:
    UiDriver() = default;
    void Install(qwp::WindowSystem* system, CQWF_App* app);
    void Uninstall();
    virtual void PointerTo(int32_t screenX, int32_t screenY) = 0;
    virtual void Button(int button, bool down) = 0;
    virtual void KeyEvent(uint32_t key, bool down) = 0;
    virtual void WheelEvent(int32_t notches) = 0;

    qwp::WindowSystem* m_system = nullptr;

private:
    qwp::WindowSystem* m_previousSystem = nullptr;
    std::unique_ptr<CQWF_App> m_ownApp;
    CQWF_App* m_app = nullptr;
    CQWF_App* m_previousApp = nullptr;
};

// The headless window system: the virtual clock, injected input, presented pixels.
class HeadlessUi : public UiDriver {
public:
    explicit HeadlessUi(CQWF_App* app = nullptr);
    ~HeadlessUi() override;

    qwp::HeadlessWindowSystem& Ws() { return m_ws; }
    void Pump() override;
    void Type(const std::string& text);
    // A shortcut as a script plays it: the modifiers go down, the key is pressed and released,
    // the modifiers come up, all before the program reads any of it; then dispatches.
    void Chord(uint32_t key, bool ctrl, bool shift = false, bool alt = false);
    // Moves the virtual clock on and dispatches what became due.
    void Advance(uint64_t milliseconds);
    // Every window as the user would see it, and its screenshot.
    Picture Screen();
    bool ScreenScreenshot(const std::string& name);

protected:
    void PointerTo(int32_t x, int32_t y) override { m_ws.MovePointer(x, y); }
    void Button(int button, bool down) override;
    void KeyEvent(uint32_t key, bool down) override;
    void WheelEvent(int32_t notches) override { m_ws.Wheel(notches); }

private:
    qwp::HeadlessWindowSystem m_ws;
};

// The X11 window system on the test display (QW_TEST_DISPLAY, which tools/run-tests.sh starts as
// a private Xvfb; without it the program starts its own where Xvfb is installed); input is
// synthetic, through the server, and windows are read back from it.
// X11 tests of every process take turns, since they share the pointer and the focus.
class X11Ui : public UiDriver {
public:
    explicit X11Ui(CQWF_App* app = nullptr);
    ~X11Ui() override;

    // False (with the reason) when there is no test display.
    bool Ready() const { return m_ws != nullptr; }
    const std::string& Why() const { return m_why; }
    qwp::X11WindowSystem& Ws() { return *m_ws; }
    // Lets the server handle every request and dispatches what it sent back.
    void Pump() override;

protected:
    void PointerTo(int32_t x, int32_t y) override;
    void Button(int button, bool down) override;
    void KeyEvent(uint32_t key, bool down) override;
    void WheelEvent(int32_t notches) override;

private:
    std::unique_ptr<qwp::X11WindowSystem> m_ws;
    std::string m_why;
    int m_lock = -1;
};

// A window manager (openbox) on the X11 test display while the object lives: started with
// configuration and cache folders of its own, it owns the screen when Start returns; Stop and the
// destructor end it and wait for it, and it ends with the test program too.
class WindowManager {
public:
    WindowManager();
    ~WindowManager();
    WindowManager(const WindowManager&) = delete;
    WindowManager& operator=(const WindowManager&) = delete;

    // False with the reason when there is no openbox or it does not take the screen.
    bool Start(X11Ui& ui, std::string& why);
    void Stop();

private:
    X11Ui* m_ui = nullptr;
    int m_pid = -1;
    std::unique_ptr<class TempDir> m_home;
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
