// The main window's cursor by zone, from the mouse editing state to the cursor chosen: the
// splitter rulers with their markers and inner edges, line drags, inserting from a ruler, and
// the preview; on a 400 x 300 image shown 1:1 with three column and two row lines.
#include "plugin/main/main_cursor.h"

#include "plugin/main/layout_test_support.h"

#include <gtest/gtest.h>

namespace {
constexpr uint32_t kAlt = CLayoutMouse::kAlt, kShift = CLayoutMouse::kShift, kCtrl = CLayoutMouse::kCtrl,
                   kSpace = CLayoutMouse::kSpace;

struct Layout {
    CLayoutMouseSink sink;
    CutterState cutter{};
    CLayoutModel m;
    CLayoutMouse mouse{m, sink};
    CursorQuery q{};
    QWF_Rect navigator = {600, 50, 800, 200};
    Layout()
    {
        layouttest::ShowLayoutOnScreen(m, mouse, cutter);  // x lines at 200, 300, 400; y at 150, 250
        q.layoutMode = true;
    }
    int At(int32_t x, int32_t y, uint32_t mods = 0)
    {
        q.modifiers = mods;
        q.inNavigator = x >= navigator.left && x < navigator.right && y >= navigator.top && y < navigator.bottom;
        FillCursorZone(mouse, m, x, y, q);
        return ChooseMainCursor(q);
    }
};
}  // namespace

TEST(MainCursor, RulersAndTheirMarkers)
{
    Layout l;
    // On a marker of the top ruler (x 200) and of the left one (y 150).
    EXPECT_EQ(l.At(201, 33), 118);
    EXPECT_EQ(l.At(83, 151), 119);
    EXPECT_EQ(l.At(201, 33, kAlt), 115);
    EXPECT_EQ(l.At(201, 33, kShift), 115);
    EXPECT_EQ(l.At(201, 33, kShift | kAlt), 115);
    EXPECT_EQ(l.At(201, 33, kCtrl), 115);
    EXPECT_EQ(l.At(201, 33, kCtrl | kAlt), 121);
    EXPECT_EQ(l.At(83, 151, kCtrl | kShift | kAlt), 121);
    // Off the markers: Ctrl+Shift where a line may go in, else the pointer.
    EXPECT_EQ(l.At(250, 33, kCtrl | kShift), 120);
    EXPECT_EQ(l.At(100, 33, kCtrl | kShift), 115);  // on the picture's edge: no room
    EXPECT_EQ(l.At(250, 33, kCtrl), 115);
    EXPECT_EQ(l.At(250, 33), 115);
    // The top strip's bottom row and the left strip's right column are still the strips.
    EXPECT_EQ(l.At(250, 45), 115);
    EXPECT_EQ(l.At(95, 200), 115);
    EXPECT_EQ(l.At(250, 46), 0);
    // While a line is dragged its direction shows wherever the pointer is.
    ASSERT_TRUE(l.mouse.OnMouseDown(201, 33, 0));
    EXPECT_EQ(l.At(700, 600), 118);
    l.mouse.OnMouseUp(201, 33, 0);
    ASSERT_TRUE(l.mouse.OnMouseDown(83, 151, 0));
    EXPECT_EQ(l.At(300, 200), 119);
    l.mouse.OnMouseUp(83, 151, 0);
    // In Puzzle mode the rulers are no zone of their own.
    l.q.layoutMode = false;
    EXPECT_EQ(l.At(201, 33), 0);
}

TEST(MainCursor, PreviewAndNavigator)
{
    Layout l;
    EXPECT_EQ(l.At(300, 200), 115);
    EXPECT_EQ(l.At(499, 349), 115);
    EXPECT_EQ(l.At(500, 200), 0);  // the preview's right edge is outside
    EXPECT_EQ(l.At(700, 100), 113);
    l.q.hScroll = true;
    EXPECT_EQ(l.At(300, 200, kSpace), 109);
    // A pan under way keeps its cursor outside the preview too.
    l.q.panning = true;
    EXPECT_EQ(l.At(700, 300), 109);
}
