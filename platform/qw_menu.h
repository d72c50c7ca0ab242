// The program's own popup menu: the layout, the drawing and the interaction of the items of a
// menu request, for the backends that show the menu as a window of their own. Pointer
// positions are menu coordinates (the menu's top-left corner is 0, 0).
#pragma once

#include <cstdint>
#include <vector>

#include "platform/qw_uidraw.h"

namespace qwp {

class PopupMenuView {
public:
    explicit PopupMenuView(const MenuRequest& request);

    int32_t Width() const { return m_width; }
    int32_t Height() const { return m_height; }
    // The menu's place for its request point: to the right of and below the point, flipped to
    // the other side where it would leave the area, and kept inside it.
    ScreenRect Place(const ScreenRect& area) const;

    // The item under a point, -1 outside the items (separators count as items).
    int32_t ItemAt(int32_t x, int32_t y) const;
    // Items that can be chosen: neither separators nor greyed.
    bool Choosable(int32_t index) const;
    int32_t Hover() const { return m_hover; }
    void Draw(Canvas& canvas) const;

    // --- interaction; each answers whether the menu must be drawn again ---
    enum class State { Open, Chosen, Cancelled };
    State GetState() const { return m_state; }
    // The chosen item once the state is Chosen.
    int32_t Choice() const { return m_choice; }
    bool PointerMove(int32_t x, int32_t y);
    // Buttons 0 left, 1 right, 2 middle. A press outside the menu cancels it; a release of the
    // tracking button (either of left and right for a menu tracked with the right one) over a
    // choosable item chooses it, unless it is the release of the press that opened the menu and
    // the pointer has not moved since.
    bool PointerDown(int button, int32_t x, int32_t y);
    bool PointerUp(int button, int32_t x, int32_t y);
    // Up and Down move to the next choosable item (wrapping), Home and End to the first and last;
    // Return chooses the highlighted item; Escape, Alt and F10 cancel.
    bool Key(uint32_t key);
    // The menu is closed from outside (the program lost the pointer or the focus).
    void Cancel();

private:
    struct Row {
        int32_t top = 0, bottom = 0;
        std::string text, shortcut;
    };
    bool Inside(int32_t x, int32_t y) const { return x >= 0 && y >= 0 && x < m_width && y < m_height; }
    bool SetHover(int32_t index);
    int32_t Step(int32_t from, int direction) const;

    std::vector<MenuItem> m_items;
    std::vector<Row> m_rows;
    bool m_leftButton = true;
    int32_t m_anchorX = 0, m_anchorY = 0;
    int32_t m_width = 0, m_height = 0, m_shortcutLeft = 0;
    int32_t m_hover = -1;
    State m_state = State::Open;
    int32_t m_choice = -1;
    bool m_pressedInside = false;
    bool m_moved = false;
    bool m_seenMove = false;
    int32_t m_firstX = 0, m_firstY = 0;
};

}  // namespace qwp
