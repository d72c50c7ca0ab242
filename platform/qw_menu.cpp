#include "platform/qw_menu.h"

#include <algorithm>
#include <cstdlib>

namespace qwp {

namespace {
constexpr int32_t kPadding = 4;        // above the first and below the last item
constexpr int32_t kItemHeight = 24;
constexpr int32_t kSeparatorHeight = 9;
constexpr int32_t kGutter = 28;        // the check mark's column, left of the texts
constexpr int32_t kShortcutGap = 32;   // least space between an item's text and its shortcut
constexpr int32_t kRightMargin = 16;
constexpr int32_t kMinWidth = 140;
constexpr uint32_t kDisabledText = 0x6B717A;
}  // namespace

PopupMenuView::PopupMenuView(const MenuRequest& request)
    : m_items(request.items), m_leftButton(request.leftButton), m_anchorX(request.screenX),
      m_anchorY(request.screenY)
{
    const UiFont& font = ToolkitFont(false);
    int32_t textWidth = 0, shortcutWidth = 0;
    int32_t y = kPadding;
    for (const MenuItem& item : m_items) {
        Row row;
        row.top = y;
        y += item.separator ? kSeparatorHeight : kItemHeight;
        row.bottom = y;
        if (!item.separator) {
            const size_t tab = item.text.find('\t');
            row.text = item.text.substr(0, tab);
            if (tab != std::string::npos) row.shortcut = item.text.substr(tab + 1);
            textWidth = std::max(textWidth, font.Width(row.text));
            shortcutWidth = std::max(shortcutWidth, font.Width(row.shortcut));
        }
        m_rows.push_back(row);
    }
    m_height = y + kPadding;
    m_shortcutLeft = kGutter + textWidth + (shortcutWidth ? kShortcutGap : 0);
    m_width = std::max(kMinWidth, m_shortcutLeft + shortcutWidth + kRightMargin);
}

ScreenRect PopupMenuView::Place(const ScreenRect& area) const
{
    int32_t x = m_anchorX, y = m_anchorY;
    if (x + m_width > area.right && x - m_width >= area.left) x -= m_width;
    if (y + m_height > area.bottom && y - m_height >= area.top) y -= m_height;
    x = std::clamp(x, area.left, std::max(area.left, area.right - m_width));
    y = std::clamp(y, area.top, std::max(area.top, area.bottom - m_height));
    return {x, y, x + m_width, y + m_height};
}

int32_t PopupMenuView::ItemAt(int32_t x, int32_t y) const
{
    if (!Inside(x, y)) return -1;
    for (size_t i = 0; i < m_rows.size(); ++i)
        if (y >= m_rows[i].top && y < m_rows[i].bottom) return static_cast<int32_t>(i);
    return -1;
}

bool PopupMenuView::Choosable(int32_t index) const
{
    if (index < 0 || static_cast<size_t>(index) >= m_items.size()) return false;
    const MenuItem& item = m_items[static_cast<size_t>(index)];
    return !item.separator && !item.greyed;
}

bool PopupMenuView::SetHover(int32_t index)
{
    if (!Choosable(index)) index = -1;
    if (index == m_hover) return false;
    m_hover = index;
    return true;
}

int32_t PopupMenuView::Step(int32_t from, int direction) const
{
    const int32_t n = static_cast<int32_t>(m_items.size());
    if (!n) return -1;
    int32_t i = from;
    if (i < 0) i = direction > 0 ? -1 : n;
    for (int32_t k = 0; k < n; ++k) {
        i = ((i + direction) % n + n) % n;
        if (Choosable(i)) return i;
    }
    return -1;
}

bool PopupMenuView::PointerMove(int32_t x, int32_t y)
{
    if (m_state != State::Open) return false;
    if (!m_seenMove) {
        m_seenMove = true;
        m_firstX = x;
        m_firstY = y;
    } else if (std::abs(x - m_firstX) > 2 || std::abs(y - m_firstY) > 2) {
        m_moved = true;
    }
    // Outside the menu the highlight stays where the keyboard or the pointer left it.
    if (!Inside(x, y)) return false;
    return SetHover(ItemAt(x, y));
}

bool PopupMenuView::PointerDown(int button, int32_t x, int32_t y)
{
    (void)button;
    if (m_state != State::Open) return false;
    if (!Inside(x, y)) {
        Cancel();
        return false;
    }
    m_pressedInside = true;
    return SetHover(ItemAt(x, y));
}

bool PopupMenuView::PointerUp(int button, int32_t x, int32_t y)
{
    if (m_state != State::Open) return false;
    const bool tracking = button == 0 || (!m_leftButton && button == 1);
    const bool redraw = Inside(x, y) && SetHover(ItemAt(x, y));
    if (!tracking || !(m_pressedInside || m_moved)) return redraw;
    const int32_t item = ItemAt(x, y);
    if (Choosable(item)) {
        m_state = State::Chosen;
        m_choice = item;
    }
    return redraw;
}

bool PopupMenuView::Key(uint32_t key)
{
    if (m_state != State::Open) return false;
    switch (key) {
    case vk::Up: return SetHover(Step(m_hover, -1));
    case vk::Down: return SetHover(Step(m_hover, 1));
    case vk::Home: return SetHover(Step(-1, 1));
    case vk::End: return SetHover(Step(-1, -1));
    case vk::Return:
        if (Choosable(m_hover)) {
            m_state = State::Chosen;
            m_choice = m_hover;
        }
        return false;
    case vk::Escape:
    case vk::Alt:
    case vk::F10: Cancel(); return false;
    default: return false;
    }
}

void PopupMenuView::Cancel()
{
    if (m_state == State::Open) m_state = State::Cancelled;
}

void PopupMenuView::Draw(Canvas& c) const
{
    const UiFont& font = ToolkitFont(false);
    c.Fill(0, 0, m_width, m_height, palette::BorderOuter);
    c.Fill(1, 1, m_width - 1, m_height - 1, palette::Raised);
    c.Fill(1, 1, m_width - 1, 2, palette::BorderInner);
    for (size_t i = 0; i < m_rows.size(); ++i) {
        const Row& row = m_rows[i];
        const MenuItem& item = m_items[i];
        if (item.separator) {
            const int32_t mid = (row.top + row.bottom) / 2;
            c.Fill(kPadding + 4, mid - 1, m_width - kPadding - 4, mid, palette::BorderOuter);
            c.Fill(kPadding + 4, mid, m_width - kPadding - 4, mid + 1, palette::BorderInner);
            continue;
        }
        const bool hot = static_cast<int32_t>(i) == m_hover;
        if (hot) c.FillRound(kPadding, row.top, m_width - kPadding, row.bottom, 4, palette::Accent);
        const uint32_t text = item.greyed ? kDisabledText : hot ? palette::OnAccent : palette::Text;
        const uint32_t secondary = item.greyed ? kDisabledText : hot ? palette::OnAccent : palette::TextSecondary;
        const int32_t baseline = (row.top + row.bottom + font.Ascent()) / 2 - 1;
        if (item.checked) {
            const double cx = kGutter / 2.0 + 1, cy = (row.top + row.bottom) / 2.0;
            const uint32_t mark = item.greyed ? kDisabledText : hot ? palette::OnAccent : palette::Accent;
            c.Line(cx - 5, cy, cx - 1.5, cy + 3.5, 2, mark);
            c.Line(cx - 1.5, cy + 3.5, cx + 5, cy - 4, 2, mark);
        }
        font.Draw(c, kGutter, baseline, row.text, text);
        if (!row.shortcut.empty()) font.Draw(c, m_shortcutLeft, baseline, row.shortcut, secondary);
    }
}

}  // namespace qwp
