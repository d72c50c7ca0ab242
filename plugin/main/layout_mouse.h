// Mouse editing in the main window's preview and on its two splitter rulers, without a window:
// the window hands every left-button press, move and release here (with the modifier bits it
// gathered: 1 Alt, 2 Shift, 4 Ctrl, 16 Space) and draws what the sink asks for. In Layout mode
// the gestures edit the layout model (grid lines dragged by their ruler markers, lines selected,
// inserted and deleted from the rulers, knots dragged, reset and picked, knives clicked); in
// Puzzle mode they select pieces by click, range, rubber band or lasso through the sink.
#pragma once

#include "framework/core/qwf_array.h"
#include "framework/imaging/qwf_image.h"
#include "framework/ui/qwf_codes.h"
#include "plugin/main/layout_model.h"

#include <cstdint>

// Window geometry, in window pixels.
struct MouseGeometry {
    QWF_Rect preview;    // the preview rectangle
    QWF_Rect topRuler;   // the ruler of the x lines, above the preview
    QWF_Rect leftRuler;  // the ruler of the y lines, left of the preview
    double originX;      // where image position 0 lies at scroll 0
    double originY;
    double scrollX;  // scroll of the preview, in zoomed pixels
    double scrollY;
    double zoomedW;  // the image at the preview's zoom
    double zoomedH;
    // The status area, whose hover tells the working mode (by default 10..720, 604..644 in
    // window pixels).
    QWF_Rect status{10, 604, 721, 645};
};

// A grid-line marker on a ruler: its position and the line it stands for.
struct RulerMarker {
    int32_t x;
    int32_t y;
    int32_t line;
};

// What the mouse needs of the window and of the piece list.
class CLayoutMouseSink {
public:
    virtual ~CLayoutMouseSink() = default;
    virtual bool IsEffectWindowOpen() { return false; }
    virtual bool IsPreviewPanning() { return false; }
    // The move goes to the preview control first; true when it used it.
    virtual bool PreviewMouseMove(int32_t /*x*/, int32_t /*y*/, uint32_t /*flags*/) { return false; }
    // The info line with the pointer's position, or without one.
    virtual void ShowPointerInfo(bool /*withPosition*/) {}
    // A line is being dragged: the grid lines and knives drawn live from these positions.
    virtual void DrawGridKnives(int /*xCount*/, int /*yCount*/, const float* /*xLines*/,
                                const float* /*yLines*/)
    {
    }
    // Drawing of the knives that end at a dragged knot (moving: 0 when the drag starts).
    virtual void BeginKnotDragDrawing(bool /*moving*/) {}
    virtual void DrawDraggedKnife(const KnifeRecord& /*knife*/, double /*x0*/, double /*y0*/,
                                  double /*x1*/, double /*y1*/)
    {
    }
    virtual void EndKnotDragDrawing(bool /*moving*/) {}

    // Puzzle mode: the piece list.
    virtual bool PreviewToImage(int32_t /*x*/, int32_t /*y*/, int32_t& /*ix*/, int32_t& /*iy*/)
    {
        return false;
    }
    virtual int32_t PieceAtPoint(int32_t /*ix*/, int32_t /*iy*/) { return -1; }
    virtual bool IsPieceSelected(int32_t /*piece*/) { return false; }
    virtual int32_t GetRangeAnchor() { return -1; }
    virtual void SetRangeAnchor(int32_t /*piece*/) {}
    virtual void BeginPiecesChange() {}
    virtual void EndPiecesChange() {}
    virtual void SelectPiece(int32_t /*piece*/, bool /*select*/, bool /*deselect*/, bool /*redraw*/) {}
    virtual void DeselectAllPieces(bool /*redraw*/) {}
    virtual void SelectPieceRange(bool /*select*/, bool /*deselect*/, int32_t /*from*/,
                                  int32_t /*to*/, bool /*redraw*/)
    {
    }
    // Rectangle in window pixels (right and bottom exclusive).
    virtual void SelectPiecesInRect(int32_t /*left*/, int32_t /*top*/, int32_t /*right*/,
                                    int32_t /*bottom*/, bool /*select*/, bool /*deselect*/,
                                    bool /*redraw*/)
    {
    }
    // Lasso points packed as x in the high and y in the low 16 bits (window pixels).
    virtual void SelectPiecesInLasso(const CQWF_DWordArray& /*points*/, bool /*select*/,
                                     bool /*deselect*/, bool /*redraw*/)
    {
    }
    // A selection drag starts (the dimmed preview mask is built and the selection layer shown)
    // or ends (the layer is hidden and the preview repainted).
    virtual void BeginSelectionDrag() {}
    virtual void EndSelectionDrag() {}
    // The band (null when it is empty) or the lasso as it is now.
    virtual void DrawRubberBand(const QWF_Rect* /*band*/) {}
    virtual void DrawLasso(const CQWF_DWordArray& /*points*/) {}
    virtual void UpdateCursor() {}
};

class CLayoutMouse {
public:
    // The toolkit's modifier bits of mouse events and of the live key state.
    enum Modifier : uint32_t { kAlt = QWF_MOD_ALT, kShift = QWF_MOD_SHIFT, kCtrl = QWF_MOD_CTRL, kSpace = QWF_MOD_SPACE };
    enum Zone { kZonePreview = 0, kZoneTopRuler = 1, kZoneLeftRuler = 2, kZoneStatus = 3, kZoneNone = 255 };
    static constexpr int kMaxDragExtras = 49;

    CLayoutMouse(CLayoutModel& model, CLayoutMouseSink& sink) : m_model(model), m_sink(sink) {}

    void SetGeometry(const MouseGeometry& g) { m_geo = g; }
    const MouseGeometry& GetGeometry() const { return m_geo; }
    // The markers of the grid lines that lie within the preview, for both rulers; the mouse
    // renews them after its own line edits, the window after any other change of the lines or
    // of the view (when it draws the ruler marks).
    void UpdateRulerMarkers();
    size_t GetMarkerCount(bool top) const { return top ? m_topCount : m_leftCount; }
    const RulerMarker* GetMarkers(bool top) const { return top ? m_top : m_left; }
    // The marker under the point on one ruler, or -1.
    int MarkerAt(bool top, int32_t x, int32_t y) const;
    static int HoverZone(const MouseGeometry& g, int32_t x, int32_t y);

    bool OnMouseDown(int32_t x, int32_t y, uint32_t flags);
    bool OnMouseMove(int32_t x, int32_t y, uint32_t flags);
    bool OnMouseUp(int32_t x, int32_t y, uint32_t flags);
    // Escape during a selection drag drops it; true when one was dropped.
    bool CancelSelectionDrag();

    bool IsLineDragging() const { return m_lineDrag; }
    bool IsColumnLineDragged() const { return m_lineVertical; }  // an x line (else a y line)
    int GetDraggedLine() const { return m_line; }
    bool IsKnotDragging() const { return m_knotDrag; }
    bool IsSelectionDragging() const { return m_selDrag; }
    const CQWF_DWordArray& GetLassoPoints() const { return m_lasso; }

private:
    bool LayoutDown(int32_t x, int32_t y, uint32_t flags);
    bool RulerDown(bool top, int32_t x, int32_t y, uint32_t flags);
    void StartKnotDrag(int32_t knot, int32_t x, int32_t y);
    void MoveKnot(int32_t x, int32_t y);
    void DrawDragKnives(bool moving);
    void EndKnotDrag();
    void PuzzleDown(int32_t x, int32_t y, uint32_t flags);
    void Track(int32_t x, int32_t y);
    bool InPreview(int32_t x, int32_t y) const;
    bool InRect(const QWF_Rect& r, int32_t x, int32_t y) const;

    CLayoutModel& m_model;
    CLayoutMouseSink& m_sink;
    MouseGeometry m_geo{};
    RulerMarker m_top[kGridMaxLines] = {};
    RulerMarker m_left[kGridMaxLines] = {};
    size_t m_topCount = 0;
    size_t m_leftCount = 0;

    // Line drag.
    bool m_lineDrag = false;
    bool m_lineVertical = true;  // an x line
    int m_line = 0;
    double m_grab = 0.0;

    // Knot drag.
    bool m_knotDrag = false;
    bool m_knotMoved = false;
    int32_t m_knot = -1;
    double m_grabX = 0.0;
    double m_grabY = 0.0;
    // The grid knives that end at the knot (above, below, left, right; -1 where none) and
    // the extra knives, each with the knot at its end a (0) or b (1).
    int32_t m_gridKnives[4] = {-1, -1, -1, -1};
    int32_t m_extras[kMaxDragExtras] = {};
    uint8_t m_extraEnd[kMaxDragExtras] = {};
    int m_extraCount = 0;

    // Puzzle mode.
    bool m_buttonDown = false;
    bool m_selDrag = false;
    bool m_lassoMode = false;
    int32_t m_pressX = 0;
    int32_t m_pressY = 0;
    CQWF_DWordArray m_lasso;
};
