// A popup menu of the system: built item by item with 16-bit commands of the owner's own, shown
// at a point of a window; the chosen item reaches the window as notification 304 (index -1, name
// "Menu", kind 255, data: the 16-bit command). Items are known to the system by position, so
// any command value (0 too) can be used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "framework/core/qwf_array.h"
#include "framework/core/qwf_string.h"
#include "platform/qw_winsys.h"

class CQWF_Window;

// The shortcut text shown after an item's caption.
struct QWF_MenuShortcut {
    uint8_t ctrl = 0;   // non-zero: "Ctrl+" is shown
    uint8_t shift = 0;  // "Shift+"
    uint8_t alt = 0;    // "Alt+"
    char key[5] = {};   // at most 4 characters of the key's name and a 0
};

inline constexpr uint8_t QWF_MENU_KIND = 255;
inline constexpr uint16_t QWF_MENU_SEPARATOR = 65535;

class CQWF_PlatformPopupMenu : public CQWF_FrameWork {
public:
    CQWF_PlatformPopupMenu();
    ~CQWF_PlatformPopupMenu() override;
    CQWF_PlatformPopupMenu(const CQWF_PlatformPopupMenu&) = delete;
    CQWF_PlatformPopupMenu& operator=(const CQWF_PlatformPopupMenu&) = delete;

    // Error 1 when the menu exists already.
    bool Create();
    // Error 2 before Create.
    bool AddItem(const char* text, uint16_t command, bool checked, bool greyed,
                 const QWF_MenuShortcut* shortcut = nullptr);
    // The key name is cut to its first 4 characters.
    bool AddItemWithKey(const char* text, uint16_t command, bool checked, bool greyed, bool ctrl,
                        bool shift, bool alt, const char* key);
    bool AddSeparator();
    // Shows the menu at a client point of the window; true unless there is no menu (error 2) or
    // no window (error 1), also when nothing was chosen.
    bool Track(CQWF_Window* window, int32_t x, int32_t y, bool leftButton);

    // What the menu holds: the command at a position (65535 for a separator) and the caption.
    size_t GetItemCount() const { return m_commands.GetCount(); }
    uint16_t GetCommand(size_t position) const { return m_commands.GetAt(position); }
    CQWF_String GetCaption(size_t position) const;

private:
    std::unique_ptr<qwp::MenuRequest> m_menu;
    CQWF_WordArray m_commands;
};
