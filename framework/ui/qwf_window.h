// The base of every window: a borderless popup whose face is a layer set composited into an
// offscreen bitmap, outlined by the alpha of its background skin, with an optional drop shadow,
// its controls and fonts, input routing with capture, focus and hover, click chains, timers,
// a modal loop and the message pump that long operations call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "framework/core/qwf_array.h"
#include "framework/core/qwf_mem.h"
#include "framework/core/qwf_string.h"
#include "framework/imaging/qwf_image.h"
#include "framework/imaging/qwf_layer.h"
#include "framework/ui/qwf_codes.h"
#include "platform/qw_winsys.h"

class CQWF_Control;
class CQWF_Font;
class CQWF_Storage;

// Error codes of the windows.
inline constexpr int16_t QWF_ERR_WINDOW_NATIVE = 144;
inline constexpr int16_t QWF_ERR_WINDOW_EXISTS = 145;
inline constexpr int16_t QWF_ERR_LAYER_INDEX = 146;
inline constexpr int16_t QWF_ERR_NO_RESOURCE = 160;
inline constexpr int16_t QWF_ERR_SKIN = 192;

// A window's own timers use ids below this; control timers are 32000 + slot x 10000 + index.
inline constexpr uint32_t QWF_CONTROL_TIMER_BASE = 32000;

// The native window classes (the X11 class names of the windows).
inline constexpr const char* QWF_WINDOW_CLASS = "Quarrow. Wnd ver 2.0 CP Frame Work ver 1.0";
inline constexpr const char* QWF_SHADOW_CLASS = "Quarrow. Shadow ver 2.0 CP Frame Work ver 1.0";

class CQWF_Window : public CQWF_FrameWork {
public:
    // Most rectangle runs a window outline takes from its background's alpha.
    static constexpr size_t kMaxRegionRuns = 3999;

    CQWF_Window();
    ~CQWF_Window() override;
    CQWF_Window(const CQWF_Window&) = delete;
    CQWF_Window& operator=(const CQWF_Window&) = delete;

    // --- the virtual operations every window may override, in their order ---
    virtual bool Close();
    virtual bool OnClose();
    virtual bool IsInDragArea(int32_t x, int32_t y);
    virtual bool NcHitTest(int32_t screenX, int32_t screenY);
    virtual bool OnCreate(CQWF_LayerSet* face, uint16_t width, uint16_t height);
    virtual bool Paint(qwp::DrawContext* dc, int32_t left, int32_t top, int32_t right,
                       int32_t bottom);
    virtual bool OnTimer(uint32_t id);
    virtual bool OnMouseMove(int32_t x, int32_t y, uint32_t flags);
    virtual bool OnLButtonDown(int32_t x, int32_t y, uint32_t flags);
    virtual bool OnLButtonUp(int32_t x, int32_t y, uint32_t flags);
    virtual bool OnRButtonDown(int32_t x, int32_t y, uint32_t flags);
    virtual bool OnRButtonUp(int32_t x, int32_t y, uint32_t flags);
    virtual bool OnRButtonUpUnhandled(int32_t x, int32_t y, uint32_t flags);
    virtual bool OnMouseWheel(int32_t x, int32_t y, uint32_t flags, int32_t steps);
    virtual bool OnKeyDown(uint32_t code, uint32_t modifiers);
    virtual bool OnKeyUp(uint32_t code, uint32_t modifiers);
    virtual bool OnChar(uint32_t character, uint32_t modifiers);
    virtual bool OnSetCursor(int32_t x, int32_t y);
    virtual bool OnDoubleClick(int32_t x, int32_t y, uint32_t flags);
    virtual bool OnTripleClick(int32_t x, int32_t y, uint32_t flags);
    virtual bool OnHoverControl(int32_t index);
    virtual bool OnNotify(int32_t code, int32_t index, const char* name, uint8_t kind, void* data);
    virtual void SetFocusControl(int32_t index);
    virtual int32_t ReleaseFocus(int32_t index);
    virtual void UncheckRadioGroup(int32_t spare, uint8_t group);

    // --- creation, skin and face ---
    bool CreateFromSkin(const char* name, int32_t x, int32_t y, CQWF_Window* owner, uint8_t user);
    bool Create(const char* title, int32_t x, int32_t y, uint16_t width, uint16_t height,
                uint8_t shadow, CQWF_Window* owner, uint8_t user, bool callOnCreate);
    bool SetRegionFromAlpha(CQWF_Layer* layer);
    // The title of the native window.
    void SetTitle(const CQWF_String& title);
    bool Show();
    void ShowShadow(bool show);
    void MoveShadow();
    int64_t AddLayer(CQWF_Layer* layer);
    CQWF_Layer* GetLayer(int64_t index);
    bool InvalidateRect(int32_t left, int32_t top, int32_t right, int32_t bottom);
    bool InvalidateLayer(int64_t index);
    bool Redraw(int32_t left, int32_t top, int32_t right, int32_t bottom);
    bool Redraw(const QWF_Rect& r) { return Redraw(r.left, r.top, r.right, r.bottom); }
    bool RedrawLayer(int64_t index);
    bool RedrawWindow(int32_t left, int32_t top, int32_t right, int32_t bottom);
    bool DrawImage(const CQWF_Image* image, int32_t left, int32_t top, int32_t right, int32_t bottom);
    int32_t LoadFont(const char* name);
    CQWF_Font* GetFont(int32_t index) const;
    int32_t AddControl(const char* name, uint8_t kind);
    int32_t AttachControl(CQWF_Control* control);
    CQWF_Control* GetControl(int32_t index) const;
    int32_t GetControlCount() const { return static_cast<int32_t>(m_controls.GetCount()); }
    // The index of the control with the skin name, -1 when none has it.
    int32_t FindControl(const char* name) const;
    bool LoadRect(const char* name, QWF_Rect& rect);
    qwp::WindowHandle GetHWND() const { return m_hwnd; }
    qwp::WindowHandle GetShadowHWND() const { return m_shadowHwnd; }
    CQWF_Window* GetOwner() const { return m_owner; }
    bool GetWindowRect(QWF_Rect& rect) const;
    static qwp::WindowHandle WindowFromPoint(int32_t screenX, int32_t screenY);
    // A cursor by its number: the arrow (0), the I-beam (1), or one of the skin package's
    // "UIResources>Cursors>" (100 and above; one the package lacks shows the arrow).
    void SetCursor(int32_t id);
    void SetArrowCursor();
    void SetIBeamCursor();
    bool GetCursorPos(int32_t& x, int32_t& y) const;
    void SetDragLayer(int64_t index) { m_dragLayer = index; }
    CQWF_Layer* GetDragLayer() const;
    void OnActivate(bool active);

    // --- input, timers and the modal loop ---
    int32_t RunModal();
    int32_t EndModal(int32_t code);
    bool IsModal() const { return m_modal != 0; }
    void EnableOtherWindows(bool enable, CQWF_PtrArray& list);
    static void PumpMessages(CQWF_Window* window, bool timers, bool activation, bool keys, bool mouse);
    bool SetTimer(uint32_t milliseconds, uint32_t id);
    bool KillTimer(uint32_t id);
    bool SetControlTimer(uint32_t milliseconds, uint32_t slot, CQWF_Control* control);
    bool KillControlTimer(uint32_t slot, CQWF_Control* control);
    bool LockControls(bool lock, int32_t index);
    uint32_t GetModifierKeys() const;
    intptr_t WindowProc(const qwp::Event& event);
    bool OnLButtonDownMessage(int32_t x, int32_t y, uint32_t flags);
    bool OnLButtonUpMessage(int32_t x, int32_t y, uint32_t flags);
    bool OnMouseMoveMessage(int32_t x, int32_t y, uint32_t flags);
    bool OnMouseWheelMessage(int32_t x, int32_t y, uint32_t flags, int32_t steps);

    // --- state ---
    uint16_t GetWidth() const { return m_width; }
    uint16_t GetHeight() const { return m_height; }
    CQWF_LayerSet* GetFace() { return &m_face; }
    const CQWF_String& GetTitle() const { return m_title; }
    // The name the window was created under (its skin name), whatever title it shows since.
    const CQWF_String& GetName() const { return m_name; }
    uint8_t GetUserByte() const { return m_userByte; }
    int32_t GetFocusIndex() const { return m_focus; }
    int32_t GetCaptureIndex() const { return m_capture; }
    int32_t GetHoverIndex() const { return m_hover; }
    bool HasShadow() const { return m_hasShadow != 0 && m_shadowHwnd != 0; }
    bool IsClosing() const { return m_closing != 0; }
    // While drawing is suspended, changes of the face are not drawn (Show draws the whole face).
    void SetDrawingSuspended(bool suspended) { m_drawingSuspended = suspended ? 1 : 0; }
    void SetInLoop(uint8_t inLoop) { m_inLoop = inLoop; }
    uint8_t IsInLoop() const { return m_inLoop; }
    // A native window of another program that becomes the window's parent (before Create).
    void SetForeignParent(qwp::WindowHandle parent) { m_foreignParent = parent; }
    // The outline as rectangle runs (client coordinates); the whole window when empty.
    const std::vector<qwp::ScreenRect>& GetRegion() const { return m_region; }
    bool HasAlphaRegion() const { return m_regionFromAlpha; }
    // The shadow's kernel for a size: n = 2 + trunc(3.3 x size), made odd, at least 3.
    static void ShadowKernel(int32_t size, std::vector<uint32_t>& weights);

protected:
    // The drop shadow's picture (B, G, R, A rows) drawn from the outline.
    bool BuildShadow();
    // Reads and checks an image element of the skin (4 planes of its rectangle).
    bool LoadSkinLayer(CQWF_Storage* storage, const char* key, CQWF_Layer& layer);

    uint8_t m_buttonDown = 0;
    uint8_t m_timersEnabled = 1;
    CQWF_PtrArray* m_disabledList = nullptr;
    uint8_t m_drawingSuspended = 0;
    int64_t m_dragLayer = -1;
    uint8_t m_hasShadow = 1;
    uint16_t m_width = 0;
    uint16_t m_height = 0;
    uint8_t m_modal = 0;
    int32_t m_exitCode = 0;
    uint8_t m_userByte = 0;
    CQWF_Window* m_owner = nullptr;
    CQWF_String m_title;
    CQWF_String m_name;
    CQWF_LayerSet m_face;
    CQWF_OffscreenBitmap m_offscreen;
    CQWF_Layer m_background;
    CQWF_Layer m_captionActive;
    CQWF_Layer m_captionInactive;
    uint8_t m_captionActivePresent = 0;
    uint8_t m_captionInactivePresent = 0;
    int64_t m_captionActiveIndex = -1;
    int64_t m_captionInactiveIndex = -1;
    CQWF_Mem m_dragMem;
    const uint8_t* m_dragMask = nullptr;
    QWF_Rect m_dragRect{0, 0, 0, 0};
    CQWF_PtrArray m_controls;
    CQWF_ByteArray m_attached;
    int32_t m_capture = -1;
    int32_t m_focus = -1;
    CQWF_PtrArray m_fonts;
    uint32_t m_doubleClickTime = 500;
    int32_t m_lastClickX = -32000;
    int32_t m_lastClickY = -32000;
    int32_t m_clickToleranceX = 4;
    int32_t m_clickToleranceY = 4;
    uint32_t m_lastClickTime = 0;
    uint8_t m_clickChain = 0;
    int32_t m_hover = -16;
    uint8_t m_closing = 0;
    qwp::WindowHandle m_hwnd = 0;
    qwp::WindowHandle m_shadowHwnd = 0;
    std::vector<qwp::ScreenRect> m_region;
    bool m_regionFromAlpha = false;
    bool m_hasRegion = false;
    std::vector<qwp::ScreenRect> m_shadowRegion;
    int16_t m_shadowSize = 4;
    int16_t m_shadowOffsetX = 8;
    int16_t m_shadowOffsetY = 8;
    uint16_t m_shadowWidth = 0;
    uint16_t m_shadowHeight = 0;
    bool m_canBlend = false;
    qwp::WindowHandle m_foreignParent = 0;
    uint8_t m_inLoop = 0;
    CQWF_PtrArray m_modalList;

private:
    class NativeClient : public qwp::WindowClient {
    public:
        NativeClient(CQWF_Window* window, bool shadow) : m_window(window), m_shadow(shadow) {}
        intptr_t HandleEvent(const qwp::Event& event) override;

    private:
        CQWF_Window* m_window;
        bool m_shadow;
    };
    NativeClient m_client{this, false};
    NativeClient m_shadowClient{this, true};

    intptr_t ShadowProc(const qwp::Event& event);
    void DispatchTimer(uint32_t id);
    bool RouteKeyDown(uint32_t code, uint32_t modifiers);
    bool RouteKeyUp(uint32_t code, uint32_t modifiers);
    bool RouteChar(uint32_t character, uint32_t modifiers);
    bool MakeShadowRegion();
    void PaintNow(int32_t left, int32_t top, int32_t right, int32_t bottom);
    CQWF_Control* FocusedControl() const;
    // Appends a control and creates it; -1 (the control taken out again) when that fails.
    int32_t AppendControl(CQWF_Control* control, bool attached, const char* name, CQWF_Storage* storage);
};

// The toolkit key code of a key (0 for keys without one) and its accelerator character (0 for
// none).
uint32_t QWF_KeyCode(uint32_t key);
uint8_t QWF_AcceleratorChar(uint32_t key);
