// The toolkit's codes, shared by every window and control and by the models behind them: key
// codes, modifier bits and notification codes.
#pragma once

#include <cstdint>

// Toolkit key codes: what OnKeyDown and OnKeyUp receive (QWF_KeyCode makes them from the
// window system's keys).
enum QWF_Key : uint32_t {
    QWF_KEY_UP = 1,
    QWF_KEY_DOWN = 2,
    QWF_KEY_LEFT = 3,
    QWF_KEY_RIGHT = 4,
    QWF_KEY_BACK = 5,
    QWF_KEY_ENTER = 6,
    QWF_KEY_ESCAPE = 7,
    QWF_KEY_DELETE = 8,
    QWF_KEY_END = 9,
    QWF_KEY_HOME = 10,
    QWF_KEY_TAB = 11,
    QWF_KEY_PAGEUP = 12,
    QWF_KEY_PAGEDOWN = 13,
    QWF_KEY_INSERT = 14,
    QWF_KEY_F1 = 220,
    QWF_KEY_F2 = 221,
    QWF_KEY_F3 = 222,
    QWF_KEY_F4 = 223,
    QWF_KEY_F5 = 224,
    QWF_KEY_F6 = 225,
    QWF_KEY_F7 = 226,
    QWF_KEY_F8 = 227,
    QWF_KEY_F9 = 228,
    QWF_KEY_F10 = 229,
    QWF_KEY_F11 = 230,
    QWF_KEY_F12 = 231,
};

// Modifier bits of key and mouse events and of the live key state (GetModifierKeys).
inline constexpr uint32_t QWF_MOD_ALT = 1;
inline constexpr uint32_t QWF_MOD_SHIFT = 2;
inline constexpr uint32_t QWF_MOD_CTRL = 4;
inline constexpr uint32_t QWF_MOD_SPACE = 16;

// Notification codes: what a control, a popup menu or the accelerator table sends to its
// window's OnNotify (code, control index, name, kind, data).
enum QWF_Notify : int32_t {
    QWF_NOTIFY_VALUE = 256,           // a value was set (slider, scroll bar, progress)
    QWF_NOTIFY_VALUE_CHANGING = 261,  // a slider's or scroll bar's thumb is still moving
    QWF_NOTIFY_CLICK = 272,           // a button, check box or radio button was clicked
    QWF_NOTIFY_TEXT = 288,            // an edit line's text changed
    QWF_NOTIFY_MENU = 304,            // a popup menu's item was chosen (kind 255, data: its id)
    QWF_NOTIFY_ZOOM = 320,            // the preview's zoom level changed
    QWF_NOTIFY_POINTER = 321,         // the pointer moved over the preview
    QWF_NOTIFY_FINAL_RENDER = 322,    // the preview finished its final render
    QWF_NOTIFY_DRAFT_RENDER = 323,    // the preview finished a draft render
    QWF_NOTIFY_COMMAND = 336,         // an accelerator key (index: the command id)
    QWF_NOTIFY_SELECTION = 352,       // a list's selection changed
};
