// The base of the skinned controls: a control lives in one window, which knows it by its index
// and routes input and timers to it through the virtual operations below; the skin knows it by
// its name. It draws itself into layers of the window's face from skin elements.
#pragma once

#include <cstddef>
#include <cstdint>

#include "framework/core/qwf_mem.h"
#include "framework/core/qwf_string.h"
#include "framework/imaging/qwf_image.h"

class CQWF_Layer;
class CQWF_Storage;
class CQWF_Window;

// Control kinds.
inline constexpr uint8_t QWF_CTRL_SLIDER = 1;
inline constexpr uint8_t QWF_CTRL_STATIC_IMAGE = 2;
inline constexpr uint8_t QWF_CTRL_STATIC_TEXT = 3;
inline constexpr uint8_t QWF_CTRL_PROGRESS = 4;
inline constexpr uint8_t QWF_CTRL_BUTTON = 5;
inline constexpr uint8_t QWF_CTRL_RADIO = 6;
inline constexpr uint8_t QWF_CTRL_CHECKBOX = 7;
inline constexpr uint8_t QWF_CTRL_EDIT = 8;
inline constexpr uint8_t QWF_CTRL_SCROLLBAR = 9;
inline constexpr uint8_t QWF_CTRL_LIST = 10;
inline constexpr uint8_t QWF_CTRL_PREVIEW = 11;
inline constexpr uint8_t QWF_CTRL_RULER = 12;

// Control visual states.
inline constexpr uint8_t QWF_STATE_NORMAL = 1;
inline constexpr uint8_t QWF_STATE_HIGHLIGHTED = 2;
inline constexpr uint8_t QWF_STATE_PRESSED = 4;
inline constexpr uint8_t QWF_STATE_DISABLED = 8;

// One skin image of a control: where it stands in the window, its unpacked block, and a pointer
// to its four planes (null when the skin does not have it).
struct QWF_SkinElement {
    QWF_Rect rect{QWF_WHOLE, QWF_WHOLE, QWF_WHOLE, QWF_WHOLE};
    CQWF_Mem block;
    const uint8_t* pixels = nullptr;

    bool Present() const { return pixels != nullptr; }
    int32_t Width() const { return rect.right - rect.left; }
    int32_t Height() const { return rect.bottom - rect.top; }
    // Plane k (0 red ... 3 alpha), row by row.
    const uint8_t* Plane(int k) const { return pixels + static_cast<size_t>(k) * Width() * Height(); }
    // Whether the point lies in the rectangle, both compared as signed 16-bit values.
    bool Contains(int32_t x, int32_t y) const;
    // The first plane's value at a window point inside the rectangle (0 outside or absent).
    uint8_t MaskAt(int32_t x, int32_t y) const;
};

// The element a bar state draws (sliders and scroll bars, elements in the order Normal,
// Highlighted, Pressed, Disabled): Normal; Highlighted else Normal; Pressed else Highlighted else
// Normal; Disabled else Normal. Null when none of them is present.
const QWF_SkinElement* QWF_ChooseStateElement(const QWF_SkinElement* elements, uint8_t state);

// Grows a union of element rectangles: the first rectangle starts it (any is false before).
void QWF_UniteRect(QWF_Rect& into, bool& any, const QWF_Rect& r);
// A union without area becomes -32000 on all four sides.
void QWF_EmptyRectToNone(QWF_Rect& r);
inline bool QWF_RectIsEmpty(const QWF_Rect& r) { return r.left >= r.right || r.top >= r.bottom; }

class CQWF_Control : public CQWF_FrameWork {
public:
    // Control timer slots are 0 to kTimerSlots - 1.
    static constexpr uint32_t kTimerSlots = 10;

    CQWF_Control();
    ~CQWF_Control() override;
    CQWF_Control(const CQWF_Control&) = delete;
    CQWF_Control& operator=(const CQWF_Control&) = delete;

    // --- the virtual operations of every kind, in their order ---
    virtual void SetEnabled(bool enabled);
    virtual void SetFocus(bool focus);
    virtual void SetCheck(bool checked, bool notify);
    virtual bool Create(CQWF_Window* window, int32_t index, const char* name, CQWF_Storage* storage);
    virtual QWF_Rect GetRect();
    virtual void Redraw();
    virtual bool OnTimer(uint32_t slot);
    virtual bool OnMouseMove(int32_t x, int32_t y, uint32_t modifiers);
    virtual bool OnMouseDown(int32_t x, int32_t y, uint32_t modifiers);
    virtual bool OnMouseUp(int32_t x, int32_t y, uint32_t modifiers);
    virtual bool OnMouseWheel(int32_t x, int32_t y, uint32_t modifiers, int32_t steps);
    virtual bool OnKeyDown(uint32_t code, uint32_t modifiers);
    virtual bool OnKeyUp(uint32_t code, uint32_t modifiers);
    virtual bool OnChar(uint32_t character, uint32_t modifiers);
    virtual bool OnDoubleClick(int32_t x, int32_t y, uint32_t modifiers);
    virtual bool OnTripleClick(int32_t x, int32_t y, uint32_t modifiers);
    virtual bool HitTestIfEnabled(int32_t x, int32_t y);
    virtual bool HitTest(int32_t x, int32_t y);
    virtual bool OnChildNotify(int32_t code, int32_t index, const char* name, uint8_t kind, void* data);

    // --- fields ---
    uint8_t GetKind() const { return m_kind; }
    const char* GetName() const { return m_name.GetBuffer(); }
    int32_t GetIndex() const { return m_index; }
    CQWF_Window* GetWindow() const { return m_window; }
    CQWF_Control* GetParent() const { return m_parent; }
    bool IsEnabled() const { return m_enabled; }
    bool GetCheck() const { return m_check; }
    bool IsFocused() const { return m_focused; }
    uint8_t GetRadioGroup() const { return m_radioGroup; }
    bool IsLocked() const { return m_locked; }
    void SetLocked(bool locked) { m_locked = locked; }
    // Shows or hides the control with every layer it draws on. Hidden, it is disabled and the
    // window passes it by: no pointer, wheel, hover or cursor of its own, whatever lies under
    // it; shown again, it is enabled.
    void SetShown(bool shown);
    bool IsShown() const { return m_shown; }
    uint8_t GetDisabledOpacity() const { return m_disabledOpacity; }
    void SetDisabledOpacity(uint8_t opacity);
    void SetUserFlag(bool reverseWheel) { m_reverseWheel = reverseWheel; }
    void SetParent(CQWF_Control* parent) { m_parent = parent; }
    void SetNotifyParent(bool notifyParent) { m_notifyParent = notifyParent; }

    // --- skin elements ---
    // Reads and unpacks the element at the key into the memory block; the rectangle receives its
    // place. Returns its red plane (the other three follow), null when the key cannot be read or
    // the element is malformed (then rectangle and memory are left alone).
    const uint8_t* LoadSkinElement(const char* key, QWF_Rect& rect, CQWF_Mem& memory);
    // Copies element planes into a layer at (x, y); rows firstRow.. of the element, rowCount of
    // them (both 0: the layer is cleared first and the whole element copied).
    static bool BlitSkinElement(CQWF_Layer* layer, int32_t x, int32_t y, const uint8_t* pixels,
                                const QWF_Rect& rect, int32_t firstRow, int32_t rowCount);
    // The control's skin folder: the format (one "%s") with the control's name. False (error 2)
    // when the control has no package to read it from.
    bool SkinFolder(const char* format, CQWF_String& folder);
    // Loads folder + ">" + name into the element; false (the element left absent) when missing.
    bool LoadElement(const CQWF_String& folder, const char* name, QWF_SkinElement& element);
    // Loads prefix + "Normal", "Highlighted", "Pressed", "Disabled" into the four elements;
    // returns the bits of those found (1, 2, 4, 8) and their union in rect (-32000 when none).
    uint8_t LoadStateElements(const CQWF_String& folder, const char* prefix, QWF_SkinElement* elements,
                              QWF_Rect& rect);
    // Copies a whole element into a layer placed at the origin's top-left, the layer cleared
    // first.
    static void DrawElement(CQWF_Layer* layer, const QWF_SkinElement& element, const QWF_Rect& origin);
    // Creates an RGB-with-alpha layer over the rectangle and (unless told not to) adds it to the
    // window's face. A control that makes two layers adds them once both exist: the face keeps
    // pointers to its layers, so a creation that fails must leave none of its own there.
    bool CreateLayer(CQWF_Layer& layer, const QWF_Rect& rect, bool addToFace = true);
    bool AddToFace(CQWF_Layer& layer);
    // Recomposes and repaints a rectangle of the window's face.
    void RepaintRect(const QWF_Rect& rect);
    // Runs OnMouseMove at the pointer's place in the window, so that a look follows the pointer
    // at once; false (nothing run) when the window has no pointer position.
    bool MoveAtPointer();

    // --- services of the window ---
    bool SetTimer(uint32_t milliseconds, uint32_t slot);
    bool KillTimer(uint32_t slot);
    bool GetCursorPos(int32_t& x, int32_t& y) const;
    bool Notify(int32_t code, void* data);
    bool IsRootFocused() const;
    void RequestFocus();
    int32_t DropFocus();
    void UncheckGroup();
    CQWF_Control* GetSiblingControl(int32_t index) const;

protected:
    uint8_t m_kind = 0;
    int32_t m_index = -1;
    bool m_reverseWheel = false;
    uint8_t m_wheelStep = 1;
    bool m_enabled = true;
    uint8_t m_disabledOpacity = 80;
    bool m_focused = false;
    uint8_t m_radioGroup = 255;
    bool m_check = false;
    CQWF_Control* m_parent = nullptr;
    bool m_notifyParent = false;
    bool m_created = false;
    CQWF_Window* m_window = nullptr;
    CQWF_String m_name;
    CQWF_Storage* m_storage = nullptr;
    bool m_locked = false;
    bool m_shown = true;
};

// Reads a skin element: the blob at the key unpacked into the memory block, its rectangle read
// from the 8-byte header. False when the key is missing, is not a blob, does not unpack, or its
// header is short or inverted, or fewer than bytesPerPixel bytes per pixel of the rectangle
// follow it.
bool QWF_ReadSkinElement(CQWF_Storage* storage, const char* key, size_t bytesPerPixel,
                         CQWF_Mem& memory, QWF_Rect& rect);

// A new control object of a kind for CQWF_Window::AddControl; null for kinds it cannot make.
CQWF_Control* QWF_NewControl(uint8_t kind);
