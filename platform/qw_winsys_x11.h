// The X11 window system: real borderless windows (no decorations, transient for their owner and
// put back above it whoever raised the owner, tool windows off the task bar), presented with
// XPutImage, outlined with XShape, keys turned into key codes and Windows-1252 characters, the
// CLIPBOARD selection served in the loop, the bell, and timers kept by the loop. Overlays blend only when a compositing manager runs.
// Popup menus are override-redirect windows of the backend's own that grab the pointer and the
// keyboard; file and folder choices run the desktop's chooser program (qw_chooser.h). While
// either is open the program's windows are still painted and their timers served.
// Tests drive it with synthetic input (XTest) and read windows back with XGetImage.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/qw_winsys.h"

namespace qwp {

class X11WindowSystem : public WindowSystem {
public:
    // Connects to the display (null: $DISPLAY); null when it cannot be opened.
    static std::unique_ptr<X11WindowSystem> Open(const char* display);
    ~X11WindowSystem() override;

    const char* Name() const override { return "x11"; }

    // --- for tests ---
    bool HasTestInput() const;
    // Synthetic input through the server, as a user's would arrive (screen coordinates;
    // buttons 1 left, 2 middle, 3 right, 4 and 5 the wheel).
    bool FakeMotion(int32_t x, int32_t y);
    bool FakeButton(int button, bool press);
    bool FakeKey(uint32_t key, bool press);  // a vk:: key
    // Waits until the server has handled every request, so that the events they caused are
    // ready to be taken.
    void Sync();
    // The window as the server maps it, and its outline as the server holds it.
    bool IsOnScreen(WindowHandle window);
    bool ServerShape(WindowHandle window, std::vector<ScreenRect>& rects);
    // Tests: overlays are made even without a compositing manager (they then show their colour
    // without blending).
    void ForceBlending(bool force) { m_forceBlend = force; }
    // A wait for events that lasts longer than this (real milliseconds, 0: no limit) is reported
    // to the watchdog instead of going on.
    void SetWaitLimit(uint32_t milliseconds) { m_waitLimit = milliseconds; }
    // The place of the popup menu that is open now; false when none is.
    bool OpenMenuRect(ScreenRect& rect) const;
    // The screen's pixels in the rectangle, rows top to bottom, R, G, B.
    bool CaptureScreen(const ScreenRect& rect, std::vector<uint8_t>& rgb);
    // A window manager runs: the root names its check window, and that window names itself.
    bool WindowManagerRunning();
    // Waits, at most the milliseconds, until a running window manager has handled what reached it
    // before: it is asked for the frame extents of a window of the backend's own and answers in
    // turn. True at once without a window manager.
    bool SyncWindowManager(uint32_t milliseconds);
    // Raises the window past the program, as another program or the window manager may.
    void RaiseFromOutside(WindowHandle window);
    // How often owned windows were put back above their owner.
    int OwnedWindowRepairs() const { return m_ownedRepairs; }

    // The program's shown top-level windows as the server stacks them, bottom first (under a
    // window manager, by the frames it put them in).
    std::vector<WindowHandle> ServerStacking();

    // --- WindowSystem ---
    bool CanBlend() const override;
    void GetPointerPosition(int32_t& x, int32_t& y) const override;
    uint32_t LiveModifiers() const override;
    ScreenRect WorkArea() const override;
    void Beep() override;
    bool HasClipboardText() override;
    bool GetClipboardText(std::string& text) override;
    bool SetClipboardText(const std::string& text) override;
    bool CaptureWindow(WindowHandle window, std::vector<uint8_t>& rgb, int32_t& width,
                       int32_t& height) override;

protected:
    bool NativeCreate(Win& win) override;
    void NativeDestroy(Win& win) override;
    void NativeShow(Win& win, ShowMode mode) override;
    void NativeMove(Win& win) override;
    void NativeRestack() override;
    void NativeShape(Win& win) override;
    void NativeInputTransparent(Win& win) override;
    void NativeTitle(Win& win) override;
    void NativePresent(Win& win, int32_t x, int32_t y, int32_t w, int32_t h) override;
    bool NativeUpdateOverlay(Win& win) override;
    void NativeActivate(Win* win) override;
    void NativeCapture(Win* win) override;
    void NativeCursor(const Cursor* cursor) override;
    void NativePoll() override;
    bool NativeWait(uint64_t until) override;
    void NativeWaitFor(int descriptor, uint64_t until) override;
    int32_t NativePopupMenu(const MenuRequest& request) override;
    bool NativeChooseFile(const FileChoiceRequest& request, std::string& path) override;
    bool NativeChooseFolder(const FolderChoiceRequest& request, std::string& path) override;
    bool NativeChooseColor(const ColorChoiceRequest& request, uint8_t rgb[3]) override;

private:
    X11WindowSystem();
    struct Impl;
    std::unique_ptr<Impl> m;
    uint32_t m_waitLimit = 0;
    bool m_forceBlend = false;
    int m_ownedRepairs = 0;
    void HandleXEvent(void* event);
    // After the stacking changed: every shown window with an owner goes back above its owner
    // (the window manager may raise an owner over them), keeping the order among them.
    void KeepOwnedAbove();
    WindowHandle HandleOf(unsigned long xid) const;
    void ServeSelection(void* request);
    bool FetchSelection(unsigned long target, std::vector<uint8_t>& data, unsigned long& type);
    // Waits until the server sends something, the descriptor is readable, a timer is due, or
    // `bound` milliseconds (-1: none) passed; the idle hook runs first.
    void WaitModal(int descriptor, int bound);
    // Runs a chooser program with the arguments; true with its standard output when it ended
    // with status 0. A chooser that cannot start or fails is reported in a message box.
    bool RunChooser(const std::string& program, const std::vector<std::string>& arguments,
                    WindowHandle owner, std::string& output, const char* what = "file chooser");
    // The box that says no chooser program is there; false (the choice ends as cancelled).
    bool NoChooser(WindowHandle owner, const char* text);
};

// Windows-1252 text to UTF-8 and back (characters without a Windows-1252 code become '?').
std::string Cp1252ToUtf8(const std::string& text);
std::string Utf8ToCp1252(const std::string& text);

}  // namespace qwp
