#include "framework/ui/qwf_list.h"

#include <algorithm>
#include <new>

#include "framework/core/qwf_storage.h"
#include "framework/imaging/qwf_font.h"
#include "framework/ui/qwf_controlhover.h"
#include "framework/ui/qwf_scrollbar.h"
#include "framework/ui/qwf_window.h"

namespace {
const char* const kElementNames[] = {"Normal", "Highlighted", "Working", "Disabled", "Selected"};
}

CQWF_CtrlList::CQWF_CtrlList() { m_kind = QWF_CTRL_LIST; }

CQWF_CtrlList::~CQWF_CtrlList()
{
    if (m_hoverTimer) KillTimer(kHoverSlot);
    FreeItems();
}

void CQWF_CtrlList::FreeItems()
{
    for (size_t i = 0; i < m_records.GetCount(); ++i) delete static_cast<Item*>(m_records.GetAt(i));
    m_records.RemoveAll();
    m_items.RemoveAll();
}

bool CQWF_CtrlList::Create(CQWF_Window* window, int32_t index, const char* name, CQWF_Storage* storage)
{
    if (!CQWF_Control::Create(window, index, name, storage)) return false;
    CQWF_String folder;
    folder.Format("UIResources>Lists>%s", GetName());
    auto load = [&](const char* prefix, uint8_t kind, Element& e) {
        CQWF_String key;
        key.Format("%s>%s%s", folder.GetBuffer(), prefix, kElementNames[kind]);
        e.pixels = LoadSkinElement(key.GetBuffer(), e.rect, e.block);
        return e.pixels != nullptr;
    };
    // The control's rectangle is the union of the background states; Normal starts it.
    bool any = false;
    for (uint8_t k = kNormal; k <= kDisabled; ++k) {
        if (!load("Background_", k, m_background[k])) continue;
        const QWF_Rect& r = m_background[k].rect;
        if (!any) {
            m_rect = r;
            any = true;
        } else {
            m_rect = {std::min(m_rect.left, r.left), std::min(m_rect.top, r.top), std::max(m_rect.right, r.right),
                      std::max(m_rect.bottom, r.bottom)};
        }
    }
    load("Background_", kSelected, m_background[kSelected]);
    for (uint8_t k = kNormal; k < kElementKinds; ++k) load("Foreground_", k, m_foreground[k]);
    // The normal looks are the fallback of every state, so the list cannot be drawn without them.
    bool complete = m_background[kNormal].pixels && m_background[kSelected].pixels && m_foreground[kNormal].pixels &&
                    m_foreground[kSelected].pixels;
    static const char* const kSides[4] = {">Rect Left", ">Rect Top", ">Rect Right", ">Rect Bottom"};
    int32_t sides[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4 && complete; ++i) {
        uint16_t word = 0;
        complete = m_storage && m_storage->GetWord(CQWF_String::Concat(folder, kSides[i]).GetBuffer(), word);
        sides[i] = word;
    }
    m_textRect = {sides[0], sides[1], sides[2], sides[3]};
    if (!complete || m_textRect.right <= m_textRect.left || m_textRect.bottom <= m_textRect.top) {
        SetError(QWF_ERR_SKIN);
        return false;
    }
    if (!m_textLayer.Create(static_cast<int16_t>(m_textRect.left), static_cast<int16_t>(m_textRect.top), 1,
                            static_cast<uint16_t>(m_textRect.right - m_textRect.left),
                            static_cast<uint16_t>(m_textRect.bottom - m_textRect.top)) ||
        !m_backLayer.Create(static_cast<int16_t>(m_rect.left), static_cast<int16_t>(m_rect.top),
                            static_cast<uint16_t>(m_rect.right - m_rect.left), static_cast<uint16_t>(m_rect.bottom - m_rect.top),
                            QWF_IMAGE_RGBA)) {
        SetError(QWF_ERR_MEMORY);
        return false;
    }
    m_backLayer.Fill(0);
    if (m_window && (m_window->AddLayer(&m_backLayer) < 0 || m_window->AddLayer(&m_textLayer) < 0)) {
        SetError(m_window->GetError() ? m_window->GetError() : static_cast<int16_t>(QWF_ERR_MEMORY));
        return false;
    }
    m_created = true;
    Draw(QWF_STATE_NORMAL);
    return true;
}

QWF_Rect CQWF_CtrlList::GetRect() { return m_created ? m_rect : QWF_WHOLE_RECT; }

void CQWF_CtrlList::Redraw()
{
    if (!m_created || !m_window) return;
    QWF_Rect r;
    m_backLayer.GetRect(r);
    m_window->InvalidateRect(r.left, r.top, r.right, r.bottom);
    m_window->Redraw(r);
}

bool CQWF_CtrlList::HitTest(int32_t x, int32_t y)
{
    if (!m_created) return false;
    const int16_t px = static_cast<int16_t>(x), py = static_cast<int16_t>(y);
    return px >= static_cast<int16_t>(m_textRect.left) && px < static_cast<int16_t>(m_textRect.right) &&
           py >= static_cast<int16_t>(m_textRect.top) && py < static_cast<int16_t>(m_textRect.bottom);
}

// --- drawing ---

void CQWF_CtrlList::Draw(int32_t state)
{
    if (!m_created) return;
    m_backLayer.SetOpacity(255);
    m_textLayer.SetOpacity(255);
    const int32_t shown = state == kCurrentState || state == kScrollDrag ? m_state : state;
    const uint8_t kind = shown == QWF_STATE_HIGHLIGHTED ? kHighlighted
                         : shown == QWF_STATE_PRESSED   ? kWorking
                         : shown == QWF_STATE_DISABLED  ? kDisabled
                                                        : kNormal;
    const Element* back = m_background[kind].pixels ? &m_background[kind] : &m_background[kNormal];
    const Element* fore = m_foreground[kind].pixels ? &m_foreground[kind] : &m_foreground[kNormal];
    // A state without its own disabled look shows the normal one faded.
    if (kind == kDisabled && !m_background[kDisabled].pixels) m_backLayer.SetOpacity(m_disabledOpacity);
    if (kind == kDisabled && !m_foreground[kDisabled].pixels) m_textLayer.SetOpacity(m_disabledOpacity);
    if (state == m_state) return;

    BlitSkinElement(&m_backLayer, back->rect.left - m_rect.left, back->rect.top - m_rect.top, back->pixels, back->rect, 0, 0);
    if (state != kCurrentState && state != kScrollDrag) m_state = static_cast<uint8_t>(state);
    BlitSkinElement(&m_textLayer, 0, 0, fore->pixels, fore->rect, 0, 0);

    const int32_t count = GetCount();
    const int32_t textHeight = m_textRect.bottom - m_textRect.top;
    if (m_focused || m_showUnfocused) {
        const Element& selFore = m_foreground[kSelected];
        const Element& selBack = m_background[kSelected];
        for (int32_t i = m_top; i < count && i < m_top + m_visibleLines; ++i) {
            if (!ItemAt(i)->selected) continue;
            const int32_t y = m_textY + m_lineHeight * (i - m_top);
            BlitSkinElement(&m_textLayer, 0, y, selFore.pixels, selFore.rect, y, m_lineHeight);
            const int32_t rows = std::min<int32_t>(m_lineHeight, textHeight - y);
            if (rows > 0)
                BlitSkinElement(&m_backLayer, selBack.rect.left - m_rect.left, m_textRect.top + y - m_rect.top, selBack.pixels,
                                selBack.rect, y, rows);
            if (!m_multiple) break;
        }
    }

    m_joined = "";
    for (int32_t i = m_top; i < count && i <= m_top + m_visibleLines; ++i) {
        const CQWF_String* text = m_items.GetStringPtr(static_cast<size_t>(i));
        if (text) m_joined += *text;
        m_joined += "\n";
    }
    m_textLayer.SetText(m_joined.GetBuffer(), 0, static_cast<int16_t>(m_lineHeight), m_textX, m_textY);
    Redraw();

    if (m_top != m_lastTop) {
        m_lastTop = m_top;
        if (state != kScrollDrag) SetScrollPos(m_top);
    }
}

void CQWF_CtrlList::ResetScrollRange()
{
    // Range: the items; page: the lines that show whole. The bar keeps its position within the
    // new range and tells it back, so the top item follows.
    if (m_scrollBar) m_scrollBar->SetRange(static_cast<uint32_t>(GetCount()), static_cast<uint32_t>(std::max(m_visibleLines - 1, 0)));
}

void CQWF_CtrlList::SetScrollPos(int32_t top)
{
    if (m_scrollBar) m_scrollBar->SetPos(static_cast<uint32_t>(std::max(top, 0)));
}

// --- items ---

void CQWF_CtrlList::AttachScrollBar(bool multipleSelection, bool showSelectionUnfocused, uint16_t lineHeight, int16_t textX,
                                    int16_t textY, int32_t scrollBarIndex)
{
    m_multiple = multipleSelection;
    m_showUnfocused = showSelectionUnfocused;
    // A line is at least one pixel high: the visible lines are counted by dividing by it.
    m_lineHeight = std::max<uint16_t>(lineHeight, 1);
    m_textX = textX;
    m_textY = textY;
    m_scrollBarIndex = scrollBarIndex;
    CQWF_Control* bar = GetSiblingControl(scrollBarIndex);
    m_scrollBar = bar && bar->GetKind() == QWF_CTRL_SCROLLBAR ? static_cast<CQWF_CtrlScrollBar*>(bar) : nullptr;
    if (m_scrollBar) {
        m_scrollBar->SetParent(this);
        m_scrollBar->SetNotifyParent(true);
    }
    if (m_created) m_visibleLines = (m_textRect.bottom - m_textRect.top) / m_lineHeight + 1;
}

int32_t CQWF_CtrlList::AddItem(const char* text, bool selected, uint32_t data, bool noRedraw)
{
    Item* item = new (std::nothrow) Item{selected ? 1u : 0u, data};
    if (!item) {
        SetError(QWF_ERR_MEMORY);
        return -1;
    }
    const int64_t record = m_records.Add(item);
    if (record < 0) {
        delete item;
        SetError(QWF_ERR_MEMORY);
        return -1;
    }
    if (m_items.Add(CQWF_String(text ? text : ""), static_cast<uint32_t>(record)) < 0) {
        m_records.RemoveAt(static_cast<size_t>(record));
        delete item;
        SetError(QWF_ERR_MEMORY);
        return -1;
    }
    if (!noRedraw) Refresh();
    return static_cast<int32_t>(record);
}

bool CQWF_CtrlList::SetItem(int32_t index, const char* text, const bool* selected, const uint32_t* data, bool redraw)
{
    if (index < 0 || index >= GetCount()) return false;
    Item* item = ItemAt(index);
    if (text) m_items.SetAt(static_cast<size_t>(index), CQWF_String(text), static_cast<uint32_t>(index));
    if (selected) item->selected = *selected ? 1 : 0;
    if (data) item->data = *data;
    if (redraw) Draw(kCurrentState);
    return true;
}

bool CQWF_CtrlList::GetItem(int32_t index, CQWF_String* text, bool* selected, uint32_t* data) const
{
    if (index < 0 || index >= GetCount()) return false;
    const Item* item = ItemAt(index);
    if (text) m_items.GetAtInto(static_cast<size_t>(index), *text);
    if (selected) *selected = item->selected != 0;
    if (data) *data = item->data;
    return true;
}

int32_t CQWF_CtrlList::GetSelection() const
{
    for (int32_t i = 0; i < GetCount(); ++i)
        if (ItemAt(i)->selected) return i;
    return -1;
}

void CQWF_CtrlList::SetFont(CQWF_Font* font)
{
    m_textLayer.m_font = font;
    Draw(kCurrentState);
}

void CQWF_CtrlList::ScrollIntoView()
{
    if (m_anchor >= m_top + m_visibleLines - 1) {
        // The anchor becomes the last whole line; with no whole line it stands at the top.
        m_top = std::min(m_anchor, m_anchor - m_visibleLines + 2);
    } else if (m_anchor < m_top) {
        m_top = m_anchor;
    }
}

void CQWF_CtrlList::SelectItem(int32_t from, int32_t to, bool clearFirst, bool toggle, bool scrollIntoView, bool redraw,
                               bool notify)
{
    const int32_t count = GetCount();
    if (clearFirst)
        for (int32_t i = 0; i < count; ++i) ItemAt(i)->selected = 0;
    bool touched = false;
    const int32_t step = to >= from ? 1 : -1;
    for (int32_t i = from;; i += step) {
        if (i >= 0 && i < count) {
            Item* item = ItemAt(i);
            item->selected = toggle ? !item->selected : 1;
            m_anchor = i;
            touched = true;
        }
        if (i == to) break;
    }
    if (scrollIntoView && touched) ScrollIntoView();
    if (redraw) Draw(kCurrentState);
    if (notify) Notify(QWF_NOTIFY_SELECTION, nullptr);
}

void CQWF_CtrlList::DeselectAll(bool redraw, bool notify)
{
    for (int32_t i = 0; i < GetCount(); ++i) ItemAt(i)->selected = 0;
    if (redraw) Draw(kCurrentState);
    if (notify) Notify(QWF_NOTIFY_SELECTION, nullptr);
}

void CQWF_CtrlList::RemoveAll(bool redraw, bool notify)
{
    FreeItems();
    if (redraw) Refresh();
    if (notify) Notify(QWF_NOTIFY_SELECTION, nullptr);
}

void CQWF_CtrlList::Refresh()
{
    Draw(kCurrentState);
    ResetScrollRange();
}

// --- focus, enabling, hover ---

void CQWF_CtrlList::StartHover()
{
    if (!m_hoverTimer) m_hoverTimer = SetTimer(50, kHoverSlot);
}

void CQWF_CtrlList::StopHover()
{
    if (m_hoverTimer) KillTimer(kHoverSlot);
    m_hoverTimer = false;
}

void CQWF_CtrlList::SetFocus(bool focus)
{
    if (focus) {
        if (m_focused) return;
        RequestFocus();
        m_focused = true;
        StopHover();
        Draw(QWF_STATE_PRESSED);
        return;
    }
    if (!m_focused) return;
    DropFocus();
    m_focused = false;
    int32_t x = 0, y = 0;
    if (GetCursorPos(x, y) && HitTestIfEnabled(x, y)) {
        Draw(QWF_STATE_HIGHLIGHTED);
        StartHover();
    } else {
        Draw(m_enabled ? QWF_STATE_NORMAL : QWF_STATE_DISABLED);
    }
}

void CQWF_CtrlList::SetEnabled(bool enabled)
{
    CQWF_Control::SetEnabled(enabled);
    if (!enabled) {
        // A disabled list takes no keys: it gives up the focus first.
        if (m_focused) SetFocus(false);
        StopHover();
    }
    Draw(enabled ? QWF_STATE_NORMAL : QWF_STATE_DISABLED);
}

void CQWF_CtrlList::HoverCheck()
{
    if (!m_focused && QWF_PointerOverControl(this)) return;
    StopHover();
    if (!m_focused) Draw(m_enabled ? QWF_STATE_NORMAL : QWF_STATE_DISABLED);
}

bool CQWF_CtrlList::OnTimer(uint32_t slot)
{
    if (slot == kHoverSlot) HoverCheck();
    return true;
}

bool CQWF_CtrlList::OnMouseMove(int32_t x, int32_t y, uint32_t)
{
    if (m_focused) return true;
    if (HitTestIfEnabled(x, y)) {
        Draw(QWF_STATE_HIGHLIGHTED);
        StartHover();
    } else {
        StopHover();
        Draw(m_enabled ? QWF_STATE_NORMAL : QWF_STATE_DISABLED);
    }
    return true;
}

// --- selecting by mouse and keys ---

bool CQWF_CtrlList::OnMouseDown(int32_t x, int32_t y, uint32_t modifiers)
{
    const int32_t width = m_textRect.right - m_textRect.left, height = m_textRect.bottom - m_textRect.top;
    const int32_t dx = x - m_textRect.left - m_textX, dy = y - m_textRect.top - m_textY;
    if (!(dx > 0 && dx < width - m_textX && dy > 0 && dy < height - m_textY)) return true;
    const int32_t item = dy / m_lineHeight + m_top;
    const bool range = (modifiers & m_rangeMask) != 0, toggle = (modifiers & m_toggleMask) != 0;
    if (!m_multiple || (!range && !toggle))
        SelectItem(item, item, true, false, true, true, true);
    else if (range && toggle)
        SelectItem(m_anchor, item, false, false, true, true, true);
    else if (toggle)
        SelectItem(item, item, false, true, true, true, true);
    else
        SelectItem(m_anchor, item, true, false, true, true, true);
    return true;
}

bool CQWF_CtrlList::OnMouseUp(int32_t, int32_t, uint32_t) { return true; }

bool CQWF_CtrlList::OnMouseWheel(int32_t x, int32_t y, uint32_t modifiers, int32_t steps)
{
    return m_scrollBar ? m_scrollBar->OnMouseWheel(x, y, modifiers, steps) : false;
}

bool CQWF_CtrlList::OnKeyDown(uint32_t code, uint32_t modifiers)
{
    const int32_t last = GetCount() - 1;
    const int32_t a = m_anchor;
    const bool none = a < 0;
    // A page moves by the lines that show whole, and by one line at least.
    const int32_t page = std::max(m_visibleLines - 2, 1);
    int32_t target = 0;
    switch (code) {
    case QWF_KEY_UP: target = none ? 0 : std::max(a - 1, 0); break;
    case QWF_KEY_DOWN: target = none ? 0 : std::min(a + 1, last); break;
    case QWF_KEY_HOME: target = 0; break;
    case QWF_KEY_END: target = last; break;
    case QWF_KEY_PAGEUP: target = a - page; break;  // before the first item: clamped below
    case QWF_KEY_PAGEDOWN: target = none ? 0 : std::min(a + page, last); break;
    default: return false;
    }
    if (last < 0) return true;
    target = std::clamp(target, 0, last);
    if (modifiers & m_rangeMask)
        SelectItem(a, target, false, false, true, true, true);
    else
        SelectItem(target, target, true, false, true, true, true);
    return true;
}

bool CQWF_CtrlList::OnChildNotify(int32_t code, int32_t index, const char*, uint8_t, void* data)
{
    if (!m_scrollBar || index != m_scrollBarIndex || !data) return false;
    if (code != QWF_NOTIFY_VALUE && code != QWF_NOTIFY_VALUE_CHANGING) return false;
    m_top = static_cast<int32_t>(*static_cast<const uint32_t*>(data));
    Draw(code == QWF_NOTIFY_VALUE ? kCurrentState : kScrollDrag);
    return true;
}
