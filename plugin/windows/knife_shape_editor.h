// The Cutter's knife-shape editor without its window: the shape (at most 64 nodes with H across
// the edge, U along it, smoothness S and a selection flag), the preview geometry that maps nodes
// to preview pixels, the node operations, the mouse and key handling of the preview area, the
// shape history and the cloning mode. The Cutter window draws from the geometry kept here and
// routes its mouse, keys and menu commands to it; the editor answers through CKnifeShapeView and
// clones through CShapeCloneTarget.
#pragma once

#include "framework/core/qwf_array.h"
#include "framework/core/qwf_mem.h"
#include "framework/imaging/qwf_2dmath.h"
#include "framework/ui/qwf_codes.h"
#include "plugin/main/layout_model.h"
#include "plugin/windows/shape_cloning.h"
#include "plugin/windows/shape_history.h"

#include <cstdint>

// A rectangle in preview pixels; right and bottom exclusive.
struct ShapeRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
    bool Contains(double x, double y) const
    {
        return x >= left && x < right && y >= top && y < bottom;
    }
};

// What the smoothness slider and edit show for the selected nodes.
struct SmoothnessDisplay {
    bool enabled;  // some node is selected
    bool mixed;    // selected nodes differ: the edit shows " ???"
    int value;     // percent for the slider (the mean when mixed) and the edit
};

// One item of the node pop-up menu; id 0 is a separator.
struct NodeMenuItem {
    int id;
    const char* text;
    const char* key;  // shortcut text (with Ctrl), or null
    bool enabled;
    bool checked;
    bool shift = false;  // the shortcut takes Shift as well
};

// What the editor asks of the Cutter window. Every operation has a harmless default.
class CKnifeShapeView {
public:
    virtual ~CKnifeShapeView() = default;
    // The geometry was recomputed: redraw the curve and the overlay (when the curve is valid).
    virtual void RedrawKnife() {}
    // Squares, box, handles, rubber band and guides; immediate: show the overlay and repaint now.
    virtual void RedrawOverlay(bool /*immediate*/) {}
    virtual void ShowSmoothness(const SmoothnessDisplay& /*display*/) {}
    virtual void EnableUndoRedo(bool /*undo*/, bool /*redo*/) {}
    virtual void EnableReClone(bool /*enabled*/) {}
    virtual void ShowCloningText(const char* /*text*/) {}
    virtual void Beep() {}
};

class CKnifeShapeEditor : public CQWF_FrameWork {
public:
    // The toolkit's modifier bits of mouse events and of the live key state.
    enum : uint32_t { kModAlt = QWF_MOD_ALT, kModShift = QWF_MOD_SHIFT, kModCtrl = QWF_MOD_CTRL, kModSpace = QWF_MOD_SPACE };
    // Cursor resources over the preview.
    enum : int { kCursorArrow = 115, kCursorSizeWE = 118, kCursorSizeNS = 119, kCursorMove = 122,
                 kCursorRotate = 123 };
    // Node menu and accelerator command ids.
    enum : int {
        kCmdSelectAll = 48, kCmdDeselect = 49, kCmdInverse = 50, kCmdDelete = 51,
        kCmdShowExtras = 52, kCmdShowAnchors = 53, kCmdAlignFirst = 54, kCmdDistributeV = 60,
        kCmdDistributeH = 61, kCmdUndo = 62, kCmdRedo = 63
    };
    enum AlignKind : int {
        kAlignTop = 0, kAlignVCenter = 1, kAlignBottom = 2, kAlignLeft = 3, kAlignHCenter = 4,
        kAlignRight = 5
    };
    static constexpr int kHandleCount = 8;
    static constexpr int kNodeMenuItems = 21;

    // Orders node indices by their U (vertical) or H; an index outside the shape compares equal
    // to anything.
    class CNodesSorterIDS : public CQWF_DWordArray {
    public:
        CNodesSorterIDS(const CKnifeShapeEditor* editor, bool byU) : m_editor(editor), m_byU(byU) {}
        int Compare(const void* a, const void* b) override;

    private:
        const CKnifeShapeEditor* m_editor;
        bool m_byU;
    };

    CKnifeShapeEditor();
    ~CKnifeShapeEditor() override;
    CKnifeShapeEditor(const CKnifeShapeEditor&) = delete;
    CKnifeShapeEditor& operator=(const CKnifeShapeEditor&) = delete;

    // --- surroundings ---
    void SetView(CKnifeShapeView* view) { m_view = view ? view : &m_nullView; }
    void SetCloneTarget(CShapeCloneTarget* target) { m_target = target; }
    // Size of the preview's drawing layer, and the zoom 0 (1x1), 1 (1x2) or 2 (1x4).
    void SetPreviewSize(int32_t width, int32_t height);
    void SetZoom(int zoom);
    int GetZoom() const { return m_zoom; }

    // --- the shape ---
    const KnifeShape& GetShape() const { return m_state.shape; }
    int GetNodeCount() const { return m_state.shape.nodeCount; }
    // What the layout model reads while the Cutter is open (CLayoutModel::SetCutter): the shape,
    // the tips size and thickness, and the mutation amounts of the cloning mode.
    const CutterState& GetCutterState() const { return m_state; }
    void SetTipsAndThickness(uint16_t tipsSize, uint16_t thickness);
    double GetHMax() const { return m_hMax; }
    int GetSelectedCount() const;

    // --- geometry (rebuilt by DrawKnife) ---
    // Recomputes the edge, the node points and squares, the flattened curve and the selection
    // box, then asks the view to redraw.
    void DrawKnife();
    // Rebuilds the selection box and handles and asks the view to redraw the overlay.
    void DrawOverlay(bool immediate);
    double GetEdgeLength() const { return m_edge; }
    QWF_DPoint GetEdgeStart() const { return {m_ax, m_ay}; }
    QWF_DPoint GetEdgeEnd() const { return {m_bx, m_by}; }
    QWF_DPoint NodePoint(double h, double u) const;
    QWF_DPoint NodePoint(int node) const;
    // The preview point mapped back to (H, U); false for an edge without length.
    bool PointToNode(double x, double y, double& h, double& u) const;
    ShapeRect GetNodeSquare(int node) const { return m_squares[node]; }
    bool IsCurveValid() const { return m_curveValid; }
    // The flattened curve: x, y pairs and the chain segment of each point (empty without nodes).
    const double* GetCurvePoints() const { return reinterpret_cast<const double*>(m_curve.GetData()); }
    const uint32_t* GetCurveSegments() const
    {
        return reinterpret_cast<const uint32_t*>(m_curveSegments.GetData());
    }
    int64_t GetCurvePointCount() const { return m_curveCount; }
    bool HasSelectionBox() const { return m_boxValid; }
    ShapeRect GetSelectionBox() const { return m_box; }
    bool IsHandleShown(int handle) const { return m_handleShown[handle]; }
    ShapeRect GetHandle(int handle) const { return m_handles[handle]; }
    // The preview rows of the edge's two ends, where the guide lines of zoom 1x2 and 1x4 run.
    int32_t GetEdgeTop() const { return m_top; }
    int32_t GetEdgeBottom() const { return m_bottom; }

    // --- node operations ---
    // Inserts a selected node at the preview point (not clamped) before node `position`; false
    // (with a beep) when the shape has 64 nodes.
    bool InsertNode(double x, double y, bool keepSelection, int position);
    void DeleteSelectedNodes();
    void SelectAllNodes();
    void DeselectAllNodes();
    void InverseNodeSelection();
    void AlignNodes(int kind);
    void DistributeNodes(bool vertical);
    void FlipH();
    void FlipU();
    // value 0..1; finished: the slider was released or the edit committed.
    void SetSmoothness(double value, bool finished);
    // Takes a shape (a count above 64 as 64), selects every node and records it in the history.
    void SetShape(const KnifeShape& shape, bool clone);
    // The default shape: five nodes, all selected, S 0.5.
    static void MakeDefaultShape(KnifeShape& shape);
    SmoothnessDisplay GetSmoothnessDisplay() const;
    void ShowSmoothness();

    // --- overlay switches ---
    bool GetShowExtras() const { return m_showExtras; }
    bool GetShowAnchors() const { return m_showAnchors; }
    void ToggleShowExtras();
    void ToggleAnchorPoints();

    // --- mouse and keys of the preview (coordinates in preview pixels) ---
    void OnLButtonDown(double x, double y, uint32_t mods);
    void OnMouseMove(double x, double y, uint32_t mods);
    void OnLButtonUp(double x, double y, uint32_t mods);
    // Escape: cancels a drag in progress (true); false when none was, so the window closes.
    bool OnEscape();
    void OnDeleteKey() { DeleteSelectedNodes(); }
    int GetCursor(double x, double y, uint32_t mods) const;
    bool IsDragging() const { return m_drag != kDragNone; }
    bool IsRubberBand() const { return m_drag == kDragBand; }
    ShapeRect GetRubberBand() const;
    bool IsRotating() const { return m_drag == kDragHandle && m_rotate; }
    // Rotation circle (centre, radius R) and the rotation handle while rotating.
    QWF_DPoint GetRotationCentre() const { return {m_rotCx, m_rotCy}; }
    double GetRotationRadius() const { return m_rotRadius; }
    QWF_DPoint GetRotationHandle() const { return {m_rotHx, m_rotHy}; }

    // --- node menu and commands ---
    // Fills `items` (kNodeMenuItems entries) in menu order.
    void GetNodeMenu(NodeMenuItem* items) const;
    // Runs a node-menu id (48-63); false for other ids.
    bool RunNodeCommand(int id);
    // Accelerator commands of the window (1, 8, 2, 5, 9, 10, 11); false for the others (36 and
    // anything the main window takes).
    bool RunAccelerator(int id);

    // --- history ---
    void PushUndo(bool compare);
    void ResetHistory();
    void Undo();
    void Redo();
    void RestoreFromHistory();
    const CShapeHistory& GetHistory() const { return m_history; }

    // --- cloning ---
    const CShapeCloning& GetCloning() const { return m_cloning; }
    bool IsCloningOn() const { return m_cloning.IsCloningOn(); }
    // Menu item 16-21: sets the mode 0-5 and applies it; false for other ids.
    bool ChooseCloningMenu(int id);
    // The custom dialog ended with OK: the amounts (stored when prefs is given), mode 6.
    void ApplyCustomMutations(float s, float u, float h, CQWF_Storage* prefs);
    void ApplyCloningMode();
    void ResetCloning();
    bool CloneToSplitter(bool selectedOnly);
    void CloneToSplitterFlipH();
    void CloneToSplitterFlipU();
    void ReClone() { CloneToSplitter(true); }
    void ShowCloningMode();
    bool IsReCloneEnabled() const;

private:
    enum Drag : uint8_t { kDragNone, kDragNode, kDragBand, kDragHandle };

    void UpdateGeometry();
    void UpdateSelectionBox();
    // Finished edit: redraw, history, smoothness display, clone.
    void FinishEdit(bool selectedOnly);
    void SyncAmounts();
    void CloneFlipped(bool across);
    void StepHistory(bool back);
    void SetSelection(uint8_t value);
    int NodeAt(double x, double y) const;
    int HandleAt(double x, double y) const;
    bool InWidenedBox(double x, double y) const;
    bool CurveHit(double x, double y, int& position) const;
    void StartNodeDrag(int node, double x, double y);
    void KeepGrabValues();
    void RestoreGrabValues();
    void StartHandleDrag(int handle, double x, double y, bool rotate);
    void DragNodes(double x, double y);
    void DragBand(double x, double y, uint32_t mods);
    void DragRotate(double x, double y, uint32_t mods);
    void DragScale(double x, double y, uint32_t mods);
    // Puts selected node i at the preview point, held to -Hmax..Hmax and 0..1.
    void PlaceClamped(int node, double x, double y);
    int HandleCursor(int handle, bool rotate) const;

    CKnifeShapeView m_nullView;
    CKnifeShapeView* m_view = &m_nullView;
    CShapeCloneTarget* m_target = nullptr;

    CutterState m_state{};
    double m_newNodeS = 0.5;
    double m_hMax = 1.0;

    // Preview geometry.
    int32_t m_width = 0;
    int32_t m_height = 0;
    int m_zoom = 0;
    double m_edge = 1.0;
    int32_t m_top = 0;
    int32_t m_bottom = 1;
    double m_ax = 0, m_ay = 0, m_bx = 0, m_by = 1;
    ShapeRect m_squares[kKnifeMaxNodes] = {};
    CQWF_2DMath m_math;
    CQWF_Mem m_curve;
    CQWF_Mem m_curveSegments;
    int64_t m_curveCount = 0;
    bool m_curveValid = true;
    bool m_boxValid = false;
    ShapeRect m_box{};
    ShapeRect m_handles[kHandleCount] = {};
    bool m_handleShown[kHandleCount] = {};

    // Interaction.
    bool m_showExtras = true;
    bool m_showAnchors = true;
    Drag m_drag = kDragNone;
    int m_dragNode = -1;
    double m_grabDx = 0, m_grabDy = 0;  // pointer minus node centre
    double m_bandX0 = 0, m_bandY0 = 0, m_bandX1 = 0, m_bandY1 = 0;
    uint8_t m_bandSaved[kKnifeMaxNodes] = {};
    int m_handle = -1;
    bool m_rotate = false;
    double m_grabX = 0, m_grabY = 0;
    double m_boxL = 0, m_boxT = 0, m_boxR = 0, m_boxB = 0;  // node centres' box at the grab
    double m_relX[kKnifeMaxNodes] = {};  // scaling: position in the box; rotating: centre
    double m_relY[kKnifeMaxNodes] = {};
    double m_grabH[kKnifeMaxNodes] = {};  // the selected nodes' values at the grab
    double m_grabU[kKnifeMaxNodes] = {};
    double m_rotCx = 0, m_rotCy = 0, m_rotRadius = 0, m_rotHx = 0, m_rotHy = 0;

    CShapeHistory m_history;
    CShapeCloning m_cloning;
};
