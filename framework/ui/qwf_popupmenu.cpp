#include "framework/ui/qwf_popupmenu.h"

#include <cstring>
#include <new>

#include "framework/ui/qwf_window.h"

CQWF_PlatformPopupMenu::CQWF_PlatformPopupMenu() = default;

CQWF_PlatformPopupMenu::~CQWF_PlatformPopupMenu() = default;

bool CQWF_PlatformPopupMenu::Create()
{
    ClearError();
    if (m_menu) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    m_menu.reset(new (std::nothrow) qwp::MenuRequest());
    return m_menu != nullptr;
}

bool CQWF_PlatformPopupMenu::AddItem(const char* text, uint16_t command, bool checked, bool greyed,
                                     const QWF_MenuShortcut* shortcut)
{
    ClearError();
    if (!m_menu) {
        SetError(QWF_ERR_EMPTY);
        return false;
    }
    CQWF_String caption(text ? text : "");
    if (shortcut) {
        caption += "\t";
        if (shortcut->ctrl) caption += "Ctrl+";
        if (shortcut->alt) caption += "Alt+";
        if (shortcut->shift) caption += "Shift+";
        char key[5];
        std::memcpy(key, shortcut->key, 4);
        key[4] = 0;
        caption += "'";
        caption += key;
        caption += "'";
    }
    qwp::MenuItem item;
    item.text = caption.GetBuffer();
    item.checked = checked;
    item.greyed = greyed;
    // The command list and the items stay aligned: nothing is kept when either cannot grow.
    if (m_commands.Add(command) < 0) {
        SetError(m_commands.GetError());
        return false;
    }
    m_menu->items.push_back(item);
    return true;
}

bool CQWF_PlatformPopupMenu::AddItemWithKey(const char* text, uint16_t command, bool checked, bool greyed,
                                            bool ctrl, bool shift, bool alt, const char* key)
{
    QWF_MenuShortcut shortcut;
    shortcut.ctrl = ctrl ? 1 : 0;
    shortcut.shift = shift ? 1 : 0;
    shortcut.alt = alt ? 1 : 0;
    if (key) std::strncpy(shortcut.key, key, 4);
    shortcut.key[4] = 0;
    return AddItem(text, command, checked, greyed, &shortcut);
}

bool CQWF_PlatformPopupMenu::AddSeparator()
{
    ClearError();
    if (!m_menu) {
        SetError(QWF_ERR_EMPTY);
        return false;
    }
    if (m_commands.Add(QWF_MENU_SEPARATOR) < 0) {
        SetError(m_commands.GetError());
        return false;
    }
    qwp::MenuItem item;
    item.separator = true;
    m_menu->items.push_back(item);
    return true;
}

bool CQWF_PlatformPopupMenu::Track(CQWF_Window* window, int32_t x, int32_t y, bool leftButton)
{
    ClearError();
    if (!m_menu) {
        SetError(QWF_ERR_EMPTY);
        return false;
    }
    if (!window) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    QWF_Rect place{0, 0, 0, 0};
    window->GetWindowRect(place);
    m_menu->owner = window->GetHWND();
    m_menu->screenX = place.left + x;
    m_menu->screenY = place.top + y;
    m_menu->leftButton = leftButton;
    const int32_t chosen = qwp::WS().TrackPopupMenu(*m_menu);
    if (chosen < 0 || static_cast<size_t>(chosen) >= m_commands.GetCount()) return true;
    uint16_t command = m_commands.GetAt(static_cast<size_t>(chosen));
    window->OnNotify(QWF_NOTIFY_MENU, -1, "Menu", QWF_MENU_KIND, &command);
    return true;
}

CQWF_String CQWF_PlatformPopupMenu::GetCaption(size_t position) const
{
    if (!m_menu || position >= m_menu->items.size()) return CQWF_String();
    return CQWF_String(m_menu->items[position].text.c_str());
}
