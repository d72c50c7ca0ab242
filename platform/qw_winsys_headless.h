// The headless window system: windows exist only in memory, time is the virtual clock, input is
// injected, what windows present can be read back, and the modal services answer from a script.
//
// When the program waits for events and none is pending, the backend in turn: runs the next
// queued idle action, calls the idle hook, lets the virtual clock run to the next timer (up to
// the idle limit), and finally asks the active window (or the topmost enabled one) to close, as
// a user who cancels would; when even that cannot end the wait, the watchdog reports it.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/qw_winsys.h"

namespace qwp {

class HeadlessWindowSystem : public WindowSystem {
public:
    // Switches the program's clock to the virtual clock for the backend's life.
    HeadlessWindowSystem();
    ~HeadlessWindowSystem() override;

    const char* Name() const override { return "headless"; }

    // --- the screen ---
    // Default: one 1366 x 768 monitor with a 40-pixel task bar at the bottom.
    void SetMonitors(const std::vector<ScreenRect>& monitors, const std::vector<ScreenRect>& workAreas);
    void SetCanBlend(bool canBlend) { m_canBlend = canBlend; }
    // Every visible window composed as the user would see it, overlays blended, rows top to
    // bottom, R, G, B; the size of the first monitor.
    bool CaptureScreen(std::vector<uint8_t>& rgb, int32_t& width, int32_t& height) const;
    // An overlay's pixels as last set (B, G, R, A rows).
    const std::vector<uint8_t>* OverlayPixels(WindowHandle window) const;
    const std::vector<ScreenRect>* ShapeOf(WindowHandle window) const;

    // --- input (screen coordinates) ---
    void MovePointer(int32_t x, int32_t y);
    // Buttons 0 left, 1 right, 2 middle.
    void PressButton(int button);
    void ReleaseButton(int button);
    void Click(int32_t x, int32_t y, int button = 0);
    void Wheel(int32_t notches);
    // Keys by virtual-key code; characters follow a US keyboard and the held Shift and Ctrl.
    void KeyDown(uint32_t key, bool repeat = false);
    void KeyUp(uint32_t key);
    void PressKey(uint32_t key);
    // Types each character (Windows-1252) with the keys that make it.
    void TypeText(const std::string& text);
    bool IsKeyHeld(uint32_t key) const;

    // --- time ---
    void AdvanceTime(uint64_t milliseconds);
    // The longest virtual time a wait may run timers with nothing else happening (default 10
    // minutes) before the open windows are closed as cancelled.
    void SetIdleLimit(uint64_t milliseconds) { m_idleLimit = milliseconds; }

    // --- scripts and records ---
    // Runs once, at the next wait without pending events, in order.
    void PushIdleAction(std::function<void()> action);
    size_t PendingIdleActions() const { return m_idleActions.size(); }
    void AnswerMessageBox(int32_t result) { m_boxAnswers.push_back(result); }
    void AnswerMenu(int32_t index) { m_menuAnswers.push_back(index); }
    // An empty path cancels.
    void AnswerFile(const std::string& windowsPath) { m_fileAnswers.push_back(windowsPath); }
    void AnswerFolder(const std::string& windowsPath) { m_folderAnswers.push_back(windowsPath); }
    // "RRGGBB" in hexadecimal; anything else cancels.
    void AnswerColor(const std::string& hex) { m_colorAnswers.push_back(hex); }
    // Unanswered message boxes appear as the program's own drawn box (default: they close at
    // once with their cancelling answer, without a window).
    void SetShowMessageBoxes(bool show) { m_showBoxes = show; }
    // Every message box is also told on the error stream ("message box: CAPTION: TEXT"), for a
    // program that runs without a screen.
    void SetEchoMessageBoxes(bool echo) { m_echoBoxes = echo; }

    struct ShownBox {
        MessageBoxRequest request;
        int32_t result;
    };
    const std::vector<ShownBox>& MessageBoxes() const { return m_boxes; }
    const std::vector<MenuRequest>& Menus() const { return m_menus; }
    const std::vector<FileChoiceRequest>& FileChoices() const { return m_files; }
    const std::vector<FolderChoiceRequest>& FolderChoices() const { return m_folders; }
    const std::vector<ColorChoiceRequest>& ColorChoices() const { return m_colors; }
    int Beeps() const { return m_beeps; }
    // The clipboard refuses to open while set.
    void SetClipboardFailure(bool fail) { m_clipboardFails = fail; }

    // --- WindowSystem ---
    bool CanBlend() const override { return m_canBlend; }
    void GetPointerPosition(int32_t& x, int32_t& y) const override;
    uint32_t LiveModifiers() const override;
    ScreenRect WorkArea() const override;
    ScreenRect NearestWorkArea(const ScreenRect& rect) const override;
    void Beep() override { ++m_beeps; }
    bool HasClipboardText() override;
    bool GetClipboardText(std::string& text) override;
    bool SetClipboardText(const std::string& text) override;

protected:
    bool NativeCreate(Win&) override { return true; }
    void NativeDestroy(Win&) override {}
    void NativeShow(Win&, ShowMode) override {}
    void NativeMove(Win&) override {}
    void NativeRestack() override {}
    void NativeShape(Win&) override {}
    void NativeInputTransparent(Win&) override {}
    void NativePresent(Win&, int32_t, int32_t, int32_t, int32_t) override {}
    bool NativeUpdateOverlay(Win&) override { return true; }
    void NativeActivate(Win*) override {}
    void NativeCapture(Win*) override {}
    void NativeCursor(const Cursor*) override {}
    void NativePoll() override {}
    bool NativeWait(uint64_t until) override;
    // The virtual clock runs to the time or the next timer; a descriptor is watched meanwhile
    // for real, in steps of 20 virtual milliseconds that each wait up to 50 real ones.
    void NativeWaitFor(int descriptor, uint64_t until) override;
    int32_t NativeMessageBox(const MessageBoxRequest& request, bool& handled) override;
    int32_t NativePopupMenu(const MenuRequest& request) override;
    bool NativeChooseFile(const FileChoiceRequest& request, std::string& path) override;
    bool NativeChooseFolder(const FolderChoiceRequest& request, std::string& path) override;
    bool NativeChooseColor(const ColorChoiceRequest& request, uint8_t rgb[3]) override;
    void MessageBoxAnswered(int32_t result) override;

private:
    uint32_t MouseFlags() const;
    void Progress() { m_idleSpent = 0; m_closes = 0; }

    bool m_wasVirtual = false;
    bool m_canBlend = true;
    std::vector<ScreenRect> m_monitors;
    std::vector<ScreenRect> m_workAreas;
    int32_t m_px = 0;
    int32_t m_py = 0;
    uint32_t m_buttons = 0;
    std::vector<uint32_t> m_keys;
    std::deque<std::function<void()>> m_idleActions;
    uint64_t m_idleLimit = 600000;
    uint64_t m_idleSpent = 0;
    int m_closes = 0;
    WindowHandle m_lastClosed = 0;
    std::deque<int32_t> m_boxAnswers;
    std::deque<int32_t> m_menuAnswers;
    std::deque<std::string> m_fileAnswers;
    std::deque<std::string> m_folderAnswers;
    std::deque<std::string> m_colorAnswers;
    bool m_showBoxes = false;
    bool m_echoBoxes = false;
    std::vector<ShownBox> m_boxes;
    std::vector<MenuRequest> m_menus;
    std::vector<FileChoiceRequest> m_files;
    std::vector<FolderChoiceRequest> m_folders;
    std::vector<ColorChoiceRequest> m_colors;
    int m_beeps = 0;
    bool m_clipboardFails = false;
    bool m_clipboardHasText = false;
    std::string m_clipboard;
};

}  // namespace qwp
