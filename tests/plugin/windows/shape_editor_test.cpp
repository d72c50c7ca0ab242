// The knife-shape editor model: node operations, the mouse on the preview, the history and the
// cloning onto a layout.
#include "plugin/windows/knife_shape_editor.h"

#include "framework/core/qwf_storage.h"
#include "platform/qw_random.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {
using E = CKnifeShapeEditor;

struct RecordingView : CKnifeShapeView {
    int beeps = 0;
    int knifeRedraws = 0;
    bool undo = false;
    bool redo = false;
    bool reClone = false;
    std::string cloneText;
    SmoothnessDisplay smooth{};
    void RedrawKnife() override { ++knifeRedraws; }
    void ShowSmoothness(const SmoothnessDisplay& d) override { smooth = d; }
    void EnableUndoRedo(bool u, bool r) override
    {
        undo = u;
        redo = r;
    }
    void EnableReClone(bool on) override { reClone = on; }
    void ShowCloningText(const char* t) override { cloneText = t; }
    void Beep() override { ++beeps; }
};

struct CountingTarget : CShapeCloneTarget {
    int clones = 0;
    int flipsH = 0;
    int flipsU = 0;
    bool lastSelectedOnly = false;
    void ApplyKnifeShape(float, float, float, bool selectedOnly, bool) override
    {
        ++clones;
        lastSelectedOnly = selectedOnly;
    }
    void ApplyKnifeShapeFlipH(float, float, float) override { ++flipsH; }
    void ApplyKnifeShapeFlipU(float, float, float) override { ++flipsU; }
};

// Preview 300 x 425: edge length 400 at zoom 1x1, from (150, 12) to (150, 412); Hmax 0.34375.
struct Editor {
    RecordingView view;
    CountingTarget target;
    CKnifeShapeEditor e;
    Editor()
    {
        e.SetView(&view);
        e.SetCloneTarget(&target);
        e.SetPreviewSize(300, 425);
        e.DrawKnife();
    }
    // Nodes given as (H, U) pairs, all selected, history reset.
    void Set(std::vector<std::pair<double, double>> nodes, double s = 0.5)
    {
        KnifeShape k{};
        k.nodeCount = static_cast<uint8_t>(nodes.size());
        for (size_t i = 0; i < nodes.size(); ++i) {
            k.H[i] = nodes[i].first;
            k.U[i] = nodes[i].second;
            k.S[i] = s;
        }
        e.SetShape(k, false);
        e.ResetHistory();
        target = CountingTarget{};
    }
    void Select(std::vector<int> nodes)
    {
        e.DeselectAllNodes();
        for (int i : nodes) {
            const QWF_DPoint p = e.NodePoint(i);
            e.OnLButtonDown(p.x, p.y, E::kModCtrl);
            e.OnLButtonUp(p.x, p.y, E::kModCtrl);
        }
        e.ResetHistory();
        target = CountingTarget{};
    }
    const KnifeShape& S() const { return e.GetShape(); }
    void Drag(double x0, double y0, double x1, double y1, uint32_t mods = 0)
    {
        e.OnLButtonDown(x0, y0, mods);
        e.OnMouseMove(x1, y1, mods);
        e.OnLButtonUp(x1, y1, mods);
    }
};
}  // namespace

TEST(ShapeEditor, GeometryMapsNodesToThePreviewAndBack)
{
    Editor t;
    EXPECT_DOUBLE_EQ(t.e.GetEdgeLength(), 400.0);
    EXPECT_DOUBLE_EQ(t.e.GetHMax(), 275.0 / 2 / 400);
    const QWF_DPoint p = t.e.NodePoint(0.25, 0.5);
    EXPECT_DOUBLE_EQ(p.x, 150 - 400 * 0.25);
    EXPECT_DOUBLE_EQ(p.y, 12 + 400 * 0.5);
    double h = 0, u = 0;
    ASSERT_TRUE(t.e.PointToNode(250, 112, h, u));
    EXPECT_DOUBLE_EQ(h, -0.25);
    EXPECT_DOUBLE_EQ(u, 0.25);

    // 1x4: edge 100 pixels, centred; the default shape's squares are 7 x 7 around its nodes.
    t.e.SetZoom(2);
    t.e.DrawKnife();
    EXPECT_EQ(t.e.GetEdgeTop(), 162);
    EXPECT_EQ(t.e.GetEdgeBottom(), 262);
    EXPECT_DOUBLE_EQ(t.e.GetHMax(), 275.0 / 2 / 100);
    const ShapeRect q = t.e.GetNodeSquare(2);  // H -0.297, U 0.5: (179.7, 212)
    EXPECT_EQ(q.left, 180 - 3);
    EXPECT_EQ(q.right, 180 + 4);
    EXPECT_EQ(q.top, 212 - 3);
    EXPECT_TRUE(t.e.IsCurveValid());
    EXPECT_GT(t.e.GetCurvePointCount(), 10);
}

TEST(ShapeEditor, InsertOnTheCurveAndTheSixtyFifthNode)
{
    Editor t;
    t.Set({});
    // An empty shape is the straight edge; a click within 3 pixels inserts node 0 and drags it.
    t.e.OnLButtonDown(152.5, 212, 0);
    ASSERT_EQ(t.S().nodeCount, 1);
    EXPECT_NEAR(t.S().H[0], -2.5 / 400, 1e-12);
    EXPECT_NEAR(t.S().U[0], 0.5, 1e-12);
    EXPECT_EQ(t.S().selected[0], 1);
    EXPECT_EQ(t.S().S[0], 0.5);
    EXPECT_EQ(t.target.clones, 0);  // the Splitter follows when the drag ends
    t.e.OnMouseMove(162.5, 232, 0);
    t.e.OnLButtonUp(162.5, 232, 0);
    EXPECT_NEAR(t.S().H[0], -12.5 / 400, 1e-12);
    EXPECT_NEAR(t.S().U[0], 0.55, 1e-12);
    EXPECT_EQ(t.target.clones, 1);
    EXPECT_TRUE(t.target.lastSelectedOnly);
    // A click 4 pixels off the curve inserts nothing (a rubber band starts instead).
    t.Set({});
    t.e.OnLButtonDown(154, 212, 0);
    EXPECT_EQ(t.S().nodeCount, 0);
    EXPECT_TRUE(t.e.IsRubberBand());
    t.e.OnLButtonUp(154, 212, 0);

    // Inserted between the nodes whose curve segment was hit; the new smoothness applies.
    t.Set({{0, 0.25}, {0, 0.75}});
    t.e.SetSmoothness(0.2, true);
    t.Select({});
    t.e.OnLButtonDown(150, 212, E::kModCtrl);
    t.e.OnLButtonUp(150, 212, E::kModCtrl);
    ASSERT_EQ(t.S().nodeCount, 3);
    EXPECT_NEAR(t.S().U[1], 0.5, 1e-12);
    EXPECT_EQ(t.S().S[1], 0.2);

    // 64 nodes: a click on the curve beeps; shape, selection and history stay.
    std::vector<std::pair<double, double>> many;
    for (int i = 0; i < 63; ++i)
        many.push_back({0.0, i / 128.0});
    t.Set(many);
    t.e.OnLButtonDown(150.5, 332, 0);  // with 63 nodes the same click inserts the 64th
    t.e.OnLButtonUp(150.5, 332, 0);
    EXPECT_EQ(t.S().nodeCount, 64);
    many.push_back({0.0, 63 / 128.0});
    t.Set(many);
    t.Select({3});
    const KnifeShape before = t.S();
    const uint32_t index = t.e.GetHistory().GetCurrentIndex();
    const int beeps = t.view.beeps;
    t.e.OnLButtonDown(150.5, 332, 0);
    t.e.OnLButtonUp(150.5, 332, 0);
    EXPECT_EQ(t.view.beeps, beeps + 1);
    EXPECT_TRUE(CShapeHistory::SameShape(before, t.S()));
    EXPECT_EQ(t.e.GetHistory().GetCurrentIndex(), index);
}

TEST(ShapeEditor, PickingAndDraggingNodes)
{
    Editor t;
    // A node taken away leaves nothing to pick where it stood: a drag from there is a rubber
    // band over the nodes left.
    t.Set({{0.0, 0.5}, {-0.005, 0.505}, {-0.2, 0.7}});
    const QWF_DPoint gone = t.e.NodePoint(2);
    t.Set({{0.0, 0.5}, {-0.005, 0.505}});
    t.Select({});
    t.Drag(gone.x, gone.y, t.e.NodePoint(0).x - 20, t.e.NodePoint(0).y - 20);
    EXPECT_EQ(t.S().selected[0] + t.S().selected[1], 2);
    // Two squares overlap: the lower index is taken.
    t.Set({{0.0, 0.5}, {-0.005, 0.505}, {-0.2, 0.7}});
    t.Select({});
    const QWF_DPoint p1 = t.e.NodePoint(1);
    t.e.OnLButtonDown(p1.x, p1.y, 0);
    t.e.OnLButtonUp(p1.x, p1.y, 0);
    EXPECT_EQ(t.S().selected[0], 1);
    EXPECT_EQ(t.S().selected[1], 0);

    // Ctrl-click on a selected node deselects it and starts no drag.
    t.Select({0, 2});
    const QWF_DPoint p2 = t.e.NodePoint(2);
    t.e.OnLButtonDown(p2.x, p2.y, E::kModCtrl);
    EXPECT_FALSE(t.e.IsDragging());
    EXPECT_EQ(t.S().selected[2], 0);
    t.e.OnLButtonUp(p2.x, p2.y, E::kModCtrl);

    // A plain click on a selected node drags every selected node; the drag stops for all of them
    // when one reaches a limit (node 2 at H -0.2 reaches -Hmax first).
    t.Set({{0.0, 0.5}, {0.1, 0.6}, {-0.2, 0.7}});
    const QWF_DPoint p0 = t.e.NodePoint(0);
    t.Drag(p0.x, p0.y, p0.x + 100, p0.y - 40);
    const double hmax = t.e.GetHMax();
    EXPECT_NEAR(t.S().H[2], -hmax, 1e-12);
    EXPECT_NEAR(t.S().H[0], -hmax + 0.2, 1e-12);
    EXPECT_NEAR(t.S().H[1], -hmax + 0.3, 1e-12);
    EXPECT_NEAR(t.S().U[0], 0.4, 1e-12);
    EXPECT_NEAR(t.S().U[2], 0.6, 1e-12);
    EXPECT_EQ(t.target.clones, 1);

    // A drag that ends where it started records nothing; Escape during a drag goes back to the
    // current history entry without moving in the history.
    const uint32_t index = t.e.GetHistory().GetCurrentIndex();
    const QWF_DPoint q = t.e.NodePoint(1);
    t.Drag(q.x, q.y, q.x, q.y);
    EXPECT_EQ(t.e.GetHistory().GetCurrentIndex(), index);
    const KnifeShape settled = t.S();
    t.e.OnLButtonDown(q.x, q.y, 0);
    t.e.OnMouseMove(q.x + 30, q.y + 30, 0);
    EXPECT_FALSE(CShapeHistory::SameShape(settled, t.S()));
    EXPECT_TRUE(t.e.OnEscape());
    EXPECT_TRUE(CShapeHistory::SameShape(settled, t.S()));
    EXPECT_EQ(t.e.GetHistory().GetCurrentIndex(), index);
    EXPECT_FALSE(t.e.OnEscape());  // no drag: the window closes

    // Anchor points hidden: a click inside the widened selection box drags the selection; one
    // outside shows the anchor points again.
    t.e.ToggleAnchorPoints();
    ASSERT_FALSE(t.e.GetShowAnchors());
    const ShapeRect box = t.e.GetSelectionBox();
    t.Drag(box.left - 2, box.top + 1, box.left - 2, box.top + 41);
    EXPECT_NEAR(t.S().U[0], settled.U[0] + 0.1, 1e-12);
    EXPECT_EQ(t.e.GetCursor(box.left - 2, box.top + 45, 0), E::kCursorMove);
    t.e.OnLButtonDown(5, 5, 0);
    EXPECT_TRUE(t.e.GetShowAnchors());
}

TEST(ShapeEditor, RubberBandAddsAndAltRemoves)
{
    Editor t;
    t.Set({{0.0, 0.2}, {0.0, 0.4}, {0.0, 0.6}, {0.0, 0.8}});
    t.Select({0, 1});
    // A band over nodes 1 and 2 with Alt: node 1 leaves the selection, node 2 stays out.
    t.Drag(100, 12 + 400 * 0.35, 200, 12 + 400 * 0.65, E::kModAlt);
    EXPECT_EQ(t.S().selected[0], 1);
    EXPECT_EQ(t.S().selected[1], 0);
    EXPECT_EQ(t.S().selected[2], 0);
    // Without modifiers the selection starts empty and the band selects what it touches.
    t.Drag(100, 12 + 400 * 0.55, 200, 12 + 400 * 0.9, 0);
    EXPECT_EQ(t.S().selected[0] + t.S().selected[1], 0);
    EXPECT_EQ(t.S().selected[2] + t.S().selected[3], 2);
    EXPECT_EQ(t.target.clones, 0);  // selection changes never clone
}

TEST(ShapeEditor, HandlesFollowTheSelectionBox)
{
    Editor t;
    // Equal U, one row: only the side handles 3 and 7.
    t.Set({{0.1, 0.5}, {-0.1, 0.5}});
    for (int h = 0; h < 8; ++h)
        EXPECT_EQ(t.e.IsHandleShown(h), h == 3 || h == 7) << h;
    // Equal H, one column: only handles 1 and 5.
    t.Set({{0.1, 0.3}, {0.1, 0.6}});
    for (int h = 0; h < 8; ++h)
        EXPECT_EQ(t.e.IsHandleShown(h), h == 1 || h == 5) << h;
    // One node selected: no handles.
    t.Set({{0.1, 0.3}, {-0.1, 0.6}});
    t.Select({0});
    for (int h = 0; h < 8; ++h)
        EXPECT_FALSE(t.e.IsHandleShown(h));
    t.Select({0, 1});
    const ShapeRect box = t.e.GetSelectionBox();
    EXPECT_EQ(box.left, 150 - 40 - 3);
    EXPECT_EQ(box.right, 150 + 40 + 4);
    EXPECT_EQ(t.e.GetHandle(0).left, box.left - 6);
    EXPECT_EQ(t.e.GetHandle(4).bottom, box.bottom + 6);
    EXPECT_EQ(t.e.GetCursor(t.e.GetHandle(1).left, t.e.GetHandle(1).top, 0), E::kCursorSizeNS);
    EXPECT_EQ(t.e.GetCursor(t.e.GetHandle(3).left, t.e.GetHandle(3).top, 0), E::kCursorSizeWE);
    EXPECT_EQ(t.e.GetCursor(t.e.GetHandle(3).left, t.e.GetHandle(3).top, E::kModCtrl),
              E::kCursorRotate);
    EXPECT_EQ(t.e.GetCursor(5, 5, 0), E::kCursorArrow);
}

TEST(ShapeEditor, ScalingHandles)
{
    Editor t;
    // Node centres (110, 132) and (190, 252): box 80 x 120.
    t.Set({{0.1, 0.3}, {-0.1, 0.6}});
    const ShapeRect right = t.e.GetHandle(3);
    // Handle 3 moves the right edge: 40 pixels more makes the box 120 wide.
    t.Drag(right.left, right.top, right.left + 40, right.top + 17);
    EXPECT_NEAR(t.S().H[0], 0.1, 1e-12);
    EXPECT_NEAR(t.S().H[1], -0.2, 1e-12);
    EXPECT_NEAR(t.S().U[1], 0.6, 1e-12);
    EXPECT_EQ(t.target.clones, 1);

    // Alt scales about the centre.
    t.Set({{0.1, 0.3}, {-0.1, 0.6}});
    const ShapeRect bottom = t.e.GetHandle(5);
    t.Drag(bottom.left, bottom.top, bottom.left, bottom.top + 20, E::kModAlt);
    EXPECT_NEAR(t.S().U[0], 0.25, 1e-12);
    EXPECT_NEAR(t.S().U[1], 0.65, 1e-12);

    // Dragged past the opposite edge the box sticks at zero width for 14 pixels, then flips.
    t.Set({{0.1, 0.3}, {-0.1, 0.6}});
    const ShapeRect left = t.e.GetHandle(7);
    t.e.OnLButtonDown(left.left, left.top, 0);
    t.e.OnMouseMove(left.left + 90, left.top, 0);  // 10 past the right edge
    EXPECT_NEAR(t.S().H[0], -0.1, 1e-12);
    EXPECT_NEAR(t.S().H[1], -0.1, 1e-12);
    t.e.OnMouseMove(left.left + 104, left.top, 0);  // 24 past: 10 wide, mirrored
    EXPECT_NEAR(t.S().H[0], -0.1 - 10.0 / 400, 1e-12);
    EXPECT_NEAR(t.S().H[1], -0.1, 1e-12);
    t.e.OnLButtonUp(left.left + 104, left.top, 0);

    // Shift on a corner keeps the proportions (80 x 120: dx follows dy).
    t.Set({{0.1, 0.3}, {-0.1, 0.6}});
    const ShapeRect corner = t.e.GetHandle(4);
    t.Drag(corner.left, corner.top, corner.left + 5, corner.top + 60, E::kModShift);
    EXPECT_NEAR(t.S().U[1], 0.75, 1e-12);
    EXPECT_NEAR(t.S().H[1], -0.2, 1e-12);  // 120 wide: 40 more than before
    EXPECT_NEAR(t.S().H[0], 0.1, 1e-12);
}

TEST(ShapeEditor, RotatingHandles)
{
    Editor t;
    // Centres (130, 192) and (170, 192): rotation centre (150, 192), radius 20 + 8 -> 28.
    t.Set({{0.05, 0.45}, {-0.05, 0.45}});
    const ShapeRect h3 = t.e.GetHandle(3);
    t.e.OnLButtonDown(h3.left + 2, 192, E::kModCtrl);
    ASSERT_TRUE(t.e.IsRotating());
    EXPECT_DOUBLE_EQ(t.e.GetRotationRadius(), 28.0);
    // The pointer turns a quarter clockwise on the screen (from the right to below the centre):
    // the nodes follow, node 1 goes below the centre.
    t.e.OnMouseMove(150, 192 + 30, 0);
    EXPECT_NEAR(t.S().H[1], 0.0, 1e-9);
    EXPECT_NEAR(t.S().U[1], 0.5, 1e-9);
    EXPECT_NEAR(t.S().U[0], 0.4, 1e-9);
    EXPECT_EQ(t.e.GetCursor(0, 0, 0), E::kCursorRotate);
    // The handle goes to the pointer's direction on its circle; on the centre, which has no
    // direction, it stays.
    for (const int32_t y : {192 + 30, 192}) {
        t.e.OnMouseMove(150, y, 0);
        EXPECT_EQ(t.e.GetRotationHandle().x, 150.0) << y;
        EXPECT_EQ(t.e.GetRotationHandle().y, 192.0 + 28) << y;
    }
    // Shift snaps to 15 degrees by truncation: 40 degrees become 30.
    const double a = 40.0 * 3.141592653589793 / 180;
    t.e.OnMouseMove(150 + 30 * std::cos(a), 192 + 30 * std::sin(a), E::kModShift);
    const double b = 30.0 * 3.141592653589793 / 180;
    EXPECT_NEAR(t.S().H[1], -20 * std::cos(b) / 400, 1e-9);
    EXPECT_NEAR(t.S().U[1], 0.45 + 20 * std::sin(b) / 400, 1e-9);
    t.e.OnLButtonUp(0, 0, 0);
    EXPECT_EQ(t.target.clones, 1);
}

TEST(ShapeEditor, AlignDistributeAndFlip)
{
    Editor t;
    const std::vector<std::pair<double, double>> nodes = {
        {0.1, 0.2}, {-0.2, 0.3}, {0.05, 0.9}, {0.3, 0.5}};
    struct Case {
        int kind;
        bool onU;
        double value;
    };
    const Case cases[] = {{E::kAlignTop, true, 0.2},   {E::kAlignVCenter, true, 0.55},
                          {E::kAlignBottom, true, 0.9}, {E::kAlignLeft, false, 0.1},
                          {E::kAlignHCenter, false, -0.05}, {E::kAlignRight, false, -0.2}};
    for (const Case& c : cases) {
        t.Set(nodes);
        t.Select({0, 1, 2});
        t.e.AlignNodes(c.kind);
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(c.onU ? t.S().U[i] : t.S().H[i], c.value, 1e-12) << c.kind;
        EXPECT_EQ(t.S().U[3], 0.5);  // not selected
        EXPECT_EQ(t.S().H[3], 0.3);
        EXPECT_EQ(t.target.clones, 1);
        EXPECT_FALSE(t.target.lastSelectedOnly);
    }

    // Exactly three selected: only the middle one of the sorted order moves.
    t.Set({{0.0, 0.9}, {0.1, 0.2}, {0.2, 0.3}});
    t.e.DistributeNodes(true);
    EXPECT_EQ(t.S().U[0], 0.9);
    EXPECT_EQ(t.S().U[1], 0.2);
    EXPECT_NEAR(t.S().U[2], 0.55, 1e-12);
    // Four, horizontally: steps accumulate from the first sorted value.
    t.Set({{0.3, 0.1}, {-0.3, 0.2}, {0.25, 0.3}, {0.0, 0.4}});
    t.e.DistributeNodes(false);
    EXPECT_EQ(t.S().H[1], -0.3);
    EXPECT_NEAR(t.S().H[3], -0.1, 1e-12);
    EXPECT_NEAR(t.S().H[2], 0.1, 1e-12);
    EXPECT_EQ(t.S().H[0], 0.3);
    // Fewer than three: nothing happens.
    t.Select({0, 1});
    const KnifeShape before = t.S();
    t.e.DistributeNodes(false);
    EXPECT_TRUE(CShapeHistory::SameShape(before, t.S()));

    // Flip U twice gives the same order and values; node order reverses with its values.
    t.Set({{0.1, 0.2}, {-0.2, 0.3}, {0.05, 0.9}});
    t.Select({0});
    const KnifeShape start = t.S();
    t.e.FlipU();
    EXPECT_EQ(t.S().H[0], 0.05);
    EXPECT_NEAR(t.S().U[0], 0.1, 1e-12);
    EXPECT_EQ(t.S().selected[2], 1);
    EXPECT_EQ(t.target.flipsU, 1);
    t.e.FlipU();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(t.S().H[i], start.H[i]);
        EXPECT_NEAR(t.S().U[i], start.U[i], 1e-15);
        EXPECT_EQ(t.S().selected[i], start.selected[i]);
    }
    t.e.FlipH();
    EXPECT_EQ(t.S().H[1], 0.2);  // every node, whatever the selection
    EXPECT_EQ(t.target.flipsH, 1);

    // Delete keeps the order of the others and clones all nodes.
    t.Select({1});
    t.e.OnDeleteKey();
    ASSERT_EQ(t.S().nodeCount, 2);
    EXPECT_EQ(t.S().H[0], -0.1);
    EXPECT_EQ(t.S().H[1], -0.05);
    EXPECT_FALSE(t.target.lastSelectedOnly);
}

TEST(ShapeEditor, SmoothnessDisplayAndMenu)
{
    Editor t;
    t.Set({{0.1, 0.2}, {-0.2, 0.3}, {0.05, 0.9}}, 0.5);
    t.e.ShowSmoothness();
    EXPECT_TRUE(t.view.smooth.enabled);
    EXPECT_FALSE(t.view.smooth.mixed);
    EXPECT_EQ(t.view.smooth.value, 50);
    t.Select({0});
    t.e.SetSmoothness(0.2, false);  // still moving: no history, no clone
    EXPECT_EQ(t.S().S[0], 0.2);
    EXPECT_EQ(t.e.GetHistory().GetCurrentIndex(), 0u);
    EXPECT_EQ(t.target.clones, 0);
    t.e.SetSmoothness(0.2, true);
    EXPECT_EQ(t.e.GetHistory().GetCurrentIndex(), 1u);
    EXPECT_EQ(t.target.clones, 1);
    t.e.SelectAllNodes();
    EXPECT_TRUE(t.view.smooth.mixed);
    EXPECT_EQ(t.view.smooth.value, 40);  // the mean
    t.e.DeselectAllNodes();
    EXPECT_FALSE(t.view.smooth.enabled);
    EXPECT_FALSE(t.view.reClone);  // nodes but none selected

    NodeMenuItem items[E::kNodeMenuItems];
    t.e.GetNodeMenu(items);
    EXPECT_EQ(items[0].id, E::kCmdUndo);
    EXPECT_TRUE(items[0].enabled);
    EXPECT_FALSE(items[1].enabled);  // Redo at the newest entry
    EXPECT_EQ(items[3].id, E::kCmdSelectAll);
    EXPECT_TRUE(items[3].enabled);
    EXPECT_FALSE(items[4].enabled);  // Deselect with none selected
    EXPECT_FALSE(items[8].enabled);  // Align Top
    EXPECT_EQ(items[20].id, E::kCmdShowAnchors);
    EXPECT_TRUE(items[20].checked);
    EXPECT_TRUE(t.e.RunNodeCommand(E::kCmdShowExtras));
    EXPECT_FALSE(t.e.GetShowExtras());
    t.e.GetNodeMenu(items);
    EXPECT_FALSE(items[19].checked);
    EXPECT_FALSE(items[20].checked);
    // The hidden overlay comes back on the first click; nothing else happens then.
    t.e.OnLButtonDown(150, 100, 0);
    EXPECT_TRUE(t.e.GetShowExtras());
    EXPECT_FALSE(t.e.IsDragging());
    EXPECT_TRUE(t.e.RunAccelerator(2));
    EXPECT_EQ(t.e.GetSelectedCount(), 3);
    EXPECT_TRUE(t.e.RunAccelerator(10));
    EXPECT_EQ(t.e.GetSelectedCount(), 0);
    EXPECT_FALSE(t.e.RunAccelerator(36));
}

TEST(ShapeHistoryModel, DepthRedoCutAndReuse)
{
    Editor t;
    t.Set({{0.0, 0.5}});
    // 210 edits: 201 entries, Undo reaches back 200 steps, the oldest shapes are gone.
    for (int i = 1; i <= 210; ++i) {
        t.e.SetSmoothness(i / 1000.0, true);
    }
    EXPECT_EQ(t.e.GetHistory().GetEntryCount(), 201u);
    EXPECT_EQ(t.e.GetHistory().GetCurrentIndex(), 200u);
    int steps = 0;
    while (t.view.undo) {
        t.e.Undo();
        ++steps;
    }
    EXPECT_EQ(steps, 200);
    EXPECT_EQ(t.S().S[0], 10 / 1000.0);
    const int beeps = t.view.beeps;
    t.e.Undo();
    EXPECT_EQ(t.view.beeps, beeps + 1);
    // Three steps forward, then an edit: the redo tail is cut and Redo beeps.
    t.e.Redo();
    t.e.Redo();
    t.e.Redo();
    EXPECT_EQ(t.S().S[0], 13 / 1000.0);
    EXPECT_TRUE(t.view.redo);
    t.e.SetSmoothness(0.9, true);
    EXPECT_FALSE(t.view.redo);
    EXPECT_EQ(t.e.GetHistory().GetLastIndex(), 4u);
    t.e.Redo();
    EXPECT_EQ(t.view.beeps, beeps + 2);
    EXPECT_EQ(t.e.GetHistory().GetEntryCount(), 201u);  // entries past the last are kept
    // Selection is part of a snapshot; an unchanged selection records nothing.
    t.e.DeselectAllNodes();
    EXPECT_EQ(t.e.GetHistory().GetCurrentIndex(), 5u);
    t.e.DeselectAllNodes();
    EXPECT_EQ(t.e.GetHistory().GetCurrentIndex(), 5u);
    // Undo restores and clones all nodes.
    t.target = CountingTarget{};
    t.e.Undo();
    EXPECT_EQ(t.S().selected[0], 1);
    EXPECT_EQ(t.target.clones, 1);
    EXPECT_FALSE(t.target.lastSelectedOnly);
    // A set shape is always recorded, even when equal.
    const uint32_t index = t.e.GetHistory().GetCurrentIndex();
    t.e.SetShape(t.S(), false);
    EXPECT_EQ(t.e.GetHistory().GetCurrentIndex(), index + 1);
}

namespace {
// A 6 x 4 grid whose knives take the editor's shape through the layout model.
struct Splitter {
    CLayoutModel model;
    CLayoutCloneTarget target{model};
    RecordingView view;
    CKnifeShapeEditor e;
    Splitter()
    {
        model.SetImageSize(600, 400);
        model.SetGridSize(6, 4, true, true);
        model.SetCutter(&e.GetCutterState());
        e.SetView(&view);
        e.SetCloneTarget(&target);
        e.SetPreviewSize(300, 425);
        e.DrawKnife();
    }
    template <typename Fn> void ForEachKnife(Fn fn)
    {
        for (int32_t i = 0; i < model.GetRowKnifeCount(); ++i)
            fn(model.RowKnives()[i]);
        for (int32_t i = 0; i < model.GetColumnKnifeCount(); ++i)
            fn(model.ColumnKnives()[i]);
    }
};
}  // namespace

TEST(ShapeCloningModel, ModesAndAmountsOnTheSplitter)
{
    qwp::SeedRandom(1234);
    Splitter t;
    ASSERT_EQ(t.model.GetRowKnifeCount() + t.model.GetColumnKnifeCount(), 38);
    KnifeShape shape;
    CKnifeShapeEditor::MakeDefaultShape(shape);

    // Without mutation every clone copies the shape exactly.
    t.e.SetShape(shape, true);
    t.ForEachKnife([&](const KnifeRecord& k) {
        ASSERT_EQ(k.nodeCount, 5);
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(k.H[i], static_cast<float>(shape.H[i]));
            EXPECT_EQ(k.U[i], static_cast<float>(shape.U[i]));
            EXPECT_EQ(k.S[i], 0.5f);
        }
    });

    // No cloning: edits never reach the Splitter, ReClone is disabled.
    EXPECT_TRUE(t.e.ChooseCloningMenu(16));
    EXPECT_EQ(t.view.cloneText, "No Cloning");
    EXPECT_FALSE(t.view.reClone);
    t.e.FlipH();
    t.e.SelectAllNodes();
    t.e.AlignNodes(E::kAlignLeft);
    EXPECT_EQ(t.model.RowKnives()[0].H[2], static_cast<float>(shape.H[2]));
    t.e.Undo();
    t.e.Undo();
    ASSERT_TRUE(CShapeHistory::SameShape(t.e.GetShape(), shape));

    // High mutation: S within S +- 0.36 (clamped to 0..1), H and U within +- 0.35^2 / 2.
    EXPECT_TRUE(t.e.ChooseCloningMenu(20));
    EXPECT_EQ(t.view.cloneText, "Cloning with HIGH mutation");
    EXPECT_TRUE(t.view.reClone);
    const float a = 0.6f * 0.6f, b = 0.35f * 0.35f;
    double spreadS = 0, spreadH = 0, spreadU = 0;
    t.ForEachKnife([&](const KnifeRecord& k) {
        ASSERT_EQ(k.nodeCount, 5);
        for (int i = 0; i < 5; ++i) {
            const double dS = k.S[i] - shape.S[i], dH = k.H[i] - shape.H[i], dU = k.U[i] - shape.U[i];
            EXPECT_LE(std::fabs(dS), a + 1e-6);
            EXPECT_LE(std::fabs(dH), b / 2 + 1e-6);
            EXPECT_LE(std::fabs(dU), b / 2 + 1e-6);
            EXPECT_GE(k.U[i], 0.0f);
            EXPECT_LE(k.U[i], 1.0f);
            spreadS = std::max(spreadS, std::fabs(dS));
            spreadH = std::max(spreadH, std::fabs(dH));
            spreadU = std::max(spreadU, std::fabs(dU));
        }
    });
    // 190 draws of each value come close to the bounds.
    EXPECT_GT(spreadS, 0.9 * a);
    EXPECT_GT(spreadH, 0.9 * b / 2);
    EXPECT_GT(spreadU, 0.9 * b / 2);
    // The clones recorded their undo state in the layout (one state for the run of clones):
    // Undo gives back the knives from before the first clone, a second Undo redoes.
    const float mutated = t.model.RowKnives()[7].H[1];
    t.model.Undo();
    EXPECT_EQ(t.model.RowKnives()[7].nodeCount, 0);
    t.model.Undo();
    ASSERT_EQ(t.model.RowKnives()[7].nodeCount, 5);
    EXPECT_EQ(t.model.RowKnives()[7].H[1], mutated);

    // ReClone with one node selected renews only that node on every knife.
    t.e.DeselectAllNodes();
    EXPECT_FALSE(t.view.reClone);
    t.e.RunNodeCommand(E::kCmdInverse);
    t.e.DeselectAllNodes();
    KnifeRecord before = t.model.ColumnKnives()[3];
    const QWF_DPoint p = t.e.NodePoint(2);
    t.e.OnLButtonDown(p.x, p.y, 0);
    t.e.OnLButtonUp(p.x, p.y, 0);  // selects node 2 and clones it (a drag that did not move)
    EXPECT_TRUE(t.view.reClone);
    t.e.ReClone();
    const KnifeRecord& after = t.model.ColumnKnives()[3];
    for (int i = 0; i < 5; ++i) {
        if (i == 2)
            EXPECT_NE(after.H[i], before.H[i]);
        else
            EXPECT_EQ(after.H[i], before.H[i]);
    }

    // Custom amounts: stored, mode 6, used for the next clones.
    qwtest::TempDir dir;
    CQWF_Storage prefs;
    ASSERT_TRUE(prefs.OpenFile(("Z:" + dir.File("plugin.conf")).c_str(), CQWF_Storage::kModeCreate));
    t.e.ApplyCustomMutations(0.0f, 0.0f, 1.0f, &prefs);
    EXPECT_EQ(t.view.cloneText, "Cloning with CUSTOM mutation");
    EXPECT_EQ(t.e.GetCutterState().ampAcross, 1.0f);
    float s = -1, u = -1, h = -1;
    CShapeCloning::LoadCustomAmounts(&prefs, s, u, h);
    EXPECT_EQ(s, 0.0f);
    EXPECT_EQ(u, 0.0f);
    EXPECT_EQ(h, 1.0f);
    t.e.SelectAllNodes();
    t.e.ReClone();
    t.ForEachKnife([&](const KnifeRecord& k) {
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(k.U[i], static_cast<float>(shape.U[i]));
            EXPECT_LE(std::fabs(k.H[i] - shape.H[i]), 0.5 + 1e-6);
        }
    });
}
