// The layout model of the main window: grid lines, the knot lattice, row, column and extra knives
// with their shapes, and the layout blob that serialises them. The model is window-free; the main
// window owns one and reaches its controls, the Cutter and the host through a CLayoutModelSink.
#pragma once

#include "framework/core/qwf_array.h"
#include "framework/core/qwf_mem.h"
#include "framework/imaging/qwf_2dmath.h"
#include "plugin/core/knot_lattice.h"
#include "plugin/core/piece_effect_record.h"

#include <cstddef>
#include <cstdint>

constexpr int kLayoutMaxExtraKnives = 19999;  // extra knives of one layout
constexpr int32_t kKnifeIdColumn = 1000000;  // knife identifiers across families
constexpr int32_t kKnifeIdExtra = 2000000;

// One knife. The records live in plain memory blocks that are grown and zero-filled, so the record
// stays trivially copyable; the cached outline is owned by the model through the pointer.
struct KnifeRecord {
    uint8_t flipAcross;  // node offsets H negated when drawn or cut
    uint8_t flipAlong;   // nodes reversed, U mirrored
    uint8_t hidden;
    uint8_t selected;
    int32_t tipsSize;   // percent 0..100
    int32_t thickness;  // pixels 1..100 (0 after a razor-cut version-2 layout)
    int32_t nodeCount;  // 0..64, 0 = straight
    float U[kKnifeMaxNodes];
    float H[kKnifeMaxNodes];
    float S[kKnifeMaxNodes];
    float meanU;
    float length;          // drawn length in pixels, 0 after loading
    CQWF_Mem* pOutline;    // cached outline (double x, y pairs), owned by the model
    int64_t outlinePoints;
    uint8_t marked;
};

struct ExtraKnifeRecord {
    KnifeRecord knife;
    int32_t knotA;
    int32_t knotB;
    int32_t mark;  // delete mark of DeleteExtraKnives
};

// One knot: its offsets (fractions of the neighbouring cell) and the working position the drawing
// code stores (never saved).
struct KnotRecord {
    float x;
    float y;
    double viewX;
    double viewY;
};

// The Cutter's current knife shape.
struct KnifeShape {
    uint8_t nodeCount;  // at most 64
    double H[kKnifeMaxNodes];
    double U[kKnifeMaxNodes];
    uint8_t selected[kKnifeMaxNodes];
    double S[kKnifeMaxNodes];
};

// What the model reads of the Cutter window while it is open.
struct CutterState {
    KnifeShape shape;
    uint16_t tipsSize;
    uint16_t thickness;
    float ampSmooth;  // mutation amplitudes 0..1
    float ampAcross;
    float ampAlong;
};

// The visible part of the image: in preview pixels and in image pixels (left, top, right, bottom).
struct LayoutView {
    double previewL, previewT, previewR, previewB;
    double imageL, imageT, imageR, imageB;
};

// A knot marker as the last recalculation drew it: its square in preview pixels (bounds
// inclusive for the mouse), the knot and whether it is a corner.
struct KnotHit {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
    int32_t knot;
    uint8_t corner;
};

// The piece table the Puzzle-mode blob is built from (the cutting engine's, through an adapter).
class CPieceRecordSource {
public:
    virtual ~CPieceRecordSource() = default;
    virtual size_t GetPieceRecordCount() const = 0;
    // Fills the record of piece i (applied settings, selected, shown, grid row and column).
    virtual void GetPieceRecord(size_t i, PieceEffectRecord& out) const = 0;
};

// What the model asks of the main window, the Cutter and the host. Every operation has a harmless
// default so that the model runs without any window.
class CLayoutModelSink {
public:
    virtual ~CLayoutModelSink() = default;
    virtual void EnableControl(const char* /*name*/, bool /*enabled*/) {}
    virtual void CutterShowTipsSize(int /*value*/, bool /*mixed*/) {}
    virtual void CutterShowKnifeThickness(int /*value*/, bool /*mixed*/, bool /*razor*/) {}
    virtual void CutterSetShape(const KnifeShape& /*shape*/) {}
    virtual void ShowMessage(const char* /*text*/, const char* /*caption*/) {}
    // Redraw after a layout was read (overlay, preview area, add-extra-knife control).
    virtual void RedrawLayout() {}
    virtual void CloseWindow() {}

    // Drawing of the layout overlay by the recalculation, in preview pixels. Begin clears the
    // knife layer (the whole layer, or the stored view's preview rectangle), hides the selection
    // layer, and shows and clears the knot layer while knots are shown (hides it otherwise).
    virtual void BeginLayoutDrawing(bool /*wholeArea*/, bool /*knotsShown*/) {}
    // The first selected knife met: the selection layer is filled with 0x000000FF and shown.
    virtual void ShowSelectionLayer() {}
    // One knife between two points; its outline cache is already built.
    virtual void DrawKnifeCurve(const KnifeRecord& /*knife*/, double /*x0*/, double /*y0*/,
                                double /*x1*/, double /*y1*/)
    {
    }
    // A knot marker (square already clipped to the preview), with the red circle when picked.
    virtual void DrawKnotMarker(const KnotHit& /*hit*/, double /*x*/, double /*y*/,
                                bool /*picked*/)
    {
    }
    virtual void SetProgressText(const char* /*text*/, int /*percent*/) {}
    // Empties the status text and lets the status line fade out.
    virtual void FadeStatus() {}
    // Invalidates and repaints the preview rectangle of the window.
    virtual void RepaintPreview() {}
    // The Cutter takes new column and row counts of the grid.
    virtual void CutterSetGridSize(int /*columns*/, int /*rows*/) {}
    // The Cutter shows a restored layout: grid size, common thickness and tips size, switches.
    virtual void CutterShowLayout(int /*columns*/, int /*rows*/, int /*thickness*/,
                                  bool /*thicknessMixed*/, bool /*razor*/, int /*tips*/,
                                  bool /*tipsMixed*/, bool /*antiAliasing*/)
    {
    }
    // The randomness slider, edit line and companion control show a percentage.
    virtual void ShowRandomness(int /*percent*/) {}
    // Host scripting parameters and files of the data folder.
    virtual bool ReadScriptParameters(CQWF_Mem& /*blob*/) { return false; }
    virtual bool WriteScriptParameters(const uint8_t* /*data*/, size_t /*size*/) { return false; }
    virtual bool ReadWholeFile(CQWF_Mem& /*blob*/, const char* /*name*/) { return false; }
    virtual bool WriteWholeFile(const uint8_t* /*data*/, size_t /*size*/, const char* /*name*/)
    {
        return false;
    }
};

class CLayoutModel : public CQWF_FrameWork {
public:
    // Layout flag bytes.
    enum Flag {
        kFlagSelected = 0,      // a knife is selected
        kFlagExtraOnly = 1,     // the selection lies among the extra knives only
        kFlagRazor = 2,
        kFlagAntiAlias = 3,
        kFlagSomeShown = 4,     // among the considered knives one is not hidden
        kFlagSomeHidden = 5,
        kFlagSomeExtra = 6,
        kFlagCount = 7
    };

    CLayoutModel();
    ~CLayoutModel() override;
    CLayoutModel(const CLayoutModel&) = delete;
    CLayoutModel& operator=(const CLayoutModel&) = delete;

    // Surroundings.
    void SetSink(CLayoutModelSink* sink) { m_pSink = sink ? sink : &m_nullSink; }
    void SetCutter(const CutterState* cutter) { m_pCutter = cutter; }  // null: Cutter closed
    void SetPieceSource(const CPieceRecordSource* source) { m_pPieces = source; }
    void SetImageSize(int32_t width, int32_t height) { m_imageW = width; m_imageH = height; }
    int32_t GetImageWidth() const { return m_imageW; }
    int32_t GetImageHeight() const { return m_imageH; }
    void SetLayoutMode(bool layoutMode) { m_layoutMode = layoutMode; }
    bool IsLayoutMode() const { return m_layoutMode; }
    void SetView(const LayoutView& view) { m_view = view; }

    // Grid and defaults.
    bool SetGridSize(int columns, int rows, bool force, bool clearExtras);
    int ColumnsForRows(int rows) const;
    int RowsForColumns(int columns) const;
    bool DefaultLayout();
    static void DefaultKnifeShape(KnifeRecord& knife);

    // Knots.
    void RandomizeKnots(bool all);
    void GetKnotPosition(int column, int row, double width, double height, double originX,
                         double originY, double& x, double& y) const;
    void GetKnotPositionByIndex(int32_t index, double width, double height, double originX,
                                double originY, double& x, double& y) const;
    int32_t RemapKnotIndex(int32_t index, bool inserting, bool vertical, int line) const;
    bool CanInsertGridLine(bool vertical, double x, double y) const;

    // Knife parameters.
    void SetKnivesThickness(int value, bool razor, bool onlySelected);
    void SetKnivesTips(int value, bool onlySelected);
    int GetKnivesCommonA(bool onlySelected, bool& mixed) const;
    int GetKnivesCommonB(bool onlySelected, bool& mixed) const;
    int SetKnifeShape(KnifeRecord& knife, float amplitudeS, float amplitudeH, float amplitudeU,
                      bool onlySelectedNodes, bool flip, bool flipAcross, bool takeSizes);
    void CloneShapeToKnives(bool onlySelected, float a, float b, float c, bool onlySelectedNodes);
    void FlipKnivesAcross(bool onlySelected, float a, float b, float c);
    void FlipKnivesAlong(bool onlySelected, float a, float b, float c);
    static void GetKnifeExtent(const KnifeRecord& knife, float& extentU, float& extentH);
    static void EqualizeKnob(KnifeRecord& knife, double width, double height, double scale);
    bool CanEqualizeKnobs(bool onlySelected) const;

    // Knife clipboard and the Cutter.
    void CopyKnife(int32_t index, bool rowFamily, bool extraFamily);
    void PasteKnifeShape(int32_t index, bool rowFamily, bool extraFamily);
    void SendKnifeToCutter(const KnifeRecord& knife);
    bool IsClipboardEmpty() const { return m_clipboardEmpty; }
    const KnifeRecord& GetClipboard() const { return m_clipboard; }

    // Selection.
    int GetKnivesSelectionState() const;
    void UpdateSelectionState();
    void UpdateKnifeButtons();
    // The open Cutter shows the tips size and thickness common to the knives in scope.
    void ShowCommonInCutter();
    void SelectKnifeRange(uint8_t value, int32_t fromIndex, bool fromIsRow, int32_t toIndex,
                          bool toIsRow);

    // Extra knives.
    bool ReserveExtraKnives(int64_t n);
    bool CanAddExtraKnife(int32_t a, int32_t b) const;
    void AddExtraKnife(int32_t a, int32_t b);
    void UpdateAddExtraButton();
    void UpdateExtrasButtons();
    void ReleaseKnifeCaches();

    // ---- Editing. Every operation that redraws recalculates on the stored view and repaints.

    // Recalculation: knot positions in preview pixels, knife lengths and outlines, the knot
    // markers and their hit list; the preview zoom level (4 is 1:1) and the remainders the
    // preview keeps for each axis above level 4 scale the image.
    void SetZoom(int level, int remainderX = 0, int remainderY = 0);
    int GetZoom() const { return m_zoom; }
    const LayoutView& GetView() const { return m_view; }
    void RecalcLayout(const LayoutView& view, bool wholeArea);
    void Redraw();          // recalculates on the stored view and repaints
    void RefreshOverlay();  // the same over the whole overlay
    // The scaled image size and the offset the last recalculation placed the knots with.
    double GetScaledWidth() const { return m_scaledW; }
    double GetScaledHeight() const { return m_scaledH; }
    double GetOriginX() const { return m_originX; }
    double GetOriginY() const { return m_originY; }
    size_t GetKnotHitCount() const { return m_knotHitCount; }
    const KnotHit* GetKnotHits() const
    {
        return reinterpret_cast<const KnotHit*>(m_knotHits.GetData());
    }
    // A length at the current zoom.
    int64_t ZoomLength(int64_t length) const;
    // Builds the knife's cached outline between two points (false, and nothing cached, when the
    // points coincide).
    bool BuildKnifeOutline(KnifeRecord& knife, double x0, double y0, double x1, double y1);
    bool HitTestKnife(const KnifeRecord& knife, double x, double y) const;
    // Ids of the knives whose outline passes the point: rows, then columns, then extras.
    bool CollectKnivesAt(double x, double y, CQWF_DWordArray& ids) const;
    // The knife of an id (row i, column 1000000 + i, extra 2000000 + i), or null.
    KnifeRecord* GetKnifeById(uint32_t id) const;
    // The two knots a row or column knife joins.
    void GetKnifeKnots(int32_t index, bool rowFamily, int32_t& a, int32_t& b) const;

    // Knife and knot flags. "Only selected" keeps to the selection when there is one.
    void SetAntiAliasing(bool on);
    void SelectKnifeLine(int line, bool horizontal, uint8_t value, bool redraw);
    void ShowKnivesById(bool show, const uint32_t* ids, size_t count, bool redraw);
    void PasteKnifeToKnives(const uint32_t* ids, size_t count);
    void ShowKnives(bool show, bool redraw);
    void ReverseKnivesVisibility(bool redraw);
    void SelectKnives(uint8_t value, bool redraw, bool rows, bool columns, bool extras);
    void SelectShownKnives(bool hiddenOnes, bool redraw);
    void InvertKnivesSelection(bool redraw);
    void SelectKnivesRandom(uint8_t value, bool redraw);
    void SelectKnivesById(bool toggle, bool extend, bool alternate, const uint32_t* ids,
                          size_t count, bool keepCutter, uint8_t value, bool redraw);
    // The selection through a channel mask of the image's size: mode 0 new, 1 add, 2 subtract,
    // 3 intersect; a knot is inside where the byte (inverted with invert) is below 128.
    void SelectKnivesByChannel(int mode, bool invert, const uint8_t* mask, int32_t width,
                               int32_t height);
    void FlipKnivesInterleaved(bool flipH, bool flipU, bool onlySelected, bool redraw);
    void ClearKnivesFlip(bool flipH, bool flipU, bool onlySelected, bool redraw);
    void ToggleKnivesFlip(bool flipH, bool flipU, bool onlySelected, bool redraw);
    void FlipKnivesRandom(bool flipH, bool flipU, bool onlySelected, bool redraw);
    // A knot back at its grid position, as one undoable step.
    void ResetKnot(int32_t knot);

    // One-level undo of Layout mode: full states (the blob) of a kind, and light snapshots of
    // kind 1 grid lines, 2 knots, 3 knife flags.
    enum UndoKind { kUndoLines = 1, kUndoKnots = 2, kUndoKnifeFlags = 3 };
    enum FullKind {
        kFullGrid = 1,
        kFullLine = 2,
        kFullShape = 3,
        kFullRestore = 4,
        kFullPaste = 5,
        kFullTips = 6,
        kFullThickness = 7,
        kFullAddExtra = 8,
        kFullDeleteExtra = 9
    };
    bool TakeUndoSnapshot(int kind);
    // Mode 0 records a full state of the kind; modes 1-3 commit the light snapshot of that kind.
    void RecordUndo(int mode, int kind);
    void Undo();
    // Nothing to undo (the window opened, or Layout mode was entered).
    void ResetUndo();
    bool IsUndoEmpty() const { return m_undoEmpty; }
    int GetUndoLightKind() const { return m_undoLight; }
    int GetUndoFullKind() const { return m_undoFull; }

    // Grid lines and the knife parameters the Cutter sets.
    bool ResizeGrid(int rows, int columns);
    void ApplyKnifeShape(float s, float h, float u, bool selectedNodesOnly, bool recordUndo);
    void ApplyKnifeShapeFlipH(float s, float h, float u);
    void ApplyKnifeShapeFlipU(float s, float h, float u);
    void SetKnifeThickness(int thickness, bool razor);
    void SetTipsSize(int tips);
    void SetKnotRandomness(float amplitude);
    void DistributeGridLines(bool horizontal, bool redraw);
    void ArrangeGridLines(bool horizontal, int line, bool redraw);
    // A line inserted at a point of the preview (window pixels); false when refused.
    bool InsertGridLine(bool vertical, double x, double y);
    bool DeleteGridLine(bool vertical, int line);
    void EqualizeKnobs(bool selectedOnly, bool redraw);

    // Knot picking and extra knives.
    void ShowKnots(bool show, bool redraw);
    bool GetKnotsShown() const { return m_showExtras[0] != 0; }
    void SetKnotDragActive(bool on) { m_knotDrag = on; }
    void PickKnot(int32_t knot);
    void UnpickLastKnot();
    int32_t GetPickedKnot(int i) const { return m_pickedKnots[i & 1]; }
    void AddPickedExtraKnife(bool redraw);
    void DeleteExtraKnives(bool selectedOnly, const uint32_t* ids, size_t count, bool useMarks,
                           bool redraw);

    // Automatic meshes of extra knives over a grid whose own knives are hidden.
    bool BuildTriangularLayout(int rows, int columns, bool regular);
    bool BuildHexagonalLayout(int rows, int columns, bool regular);

    // Layout blob.
    bool SerializeLayout(CQWF_Mem& block, size_t& length);
    // The readers take a blob whole or not at all: false when it is refused, the layout then
    // staying as it was, and when the grid cannot be allocated. In Puzzle mode the effect records
    // are converted in place inside the blob and handed back (none when they do not fit).
    bool ReadLayoutV3(uint8_t* data, size_t size, uint8_t** records, uint32_t* count, bool redraw);
    bool ReadLayoutV2(uint8_t* data, size_t size, uint8_t** records, uint32_t* count, bool redraw);
    // Whether the reader of the version would take the blob; nothing is read into the layout.
    bool AcceptsBlob(const uint8_t* data, size_t size, bool version2);
    bool SaveLastData();
    // The layout of the scripting parameters, else of "last.data", else the default one (also
    // when the blob found is refused).
    bool LoadLastData();
    // The reserve SerializeLayout makes for the current layout.
    size_t SerializeReserve() const;

    // Pending piece records of the last layout (host order, 92 bytes each).
    uint32_t GetPendingRecordCount() const { return m_pendingCount; }
    const PieceEffectRecord* GetPendingRecords() const
    {
        return reinterpret_cast<const PieceEffectRecord*>(m_pending.GetData());
    }
    void ClearPendingRecords();

    // Read access.
    int GetXLineCount() const { return m_xLineCount; }
    int GetYLineCount() const { return m_yLineCount; }
    const float* GetXLines() const { return m_xLines; }
    const float* GetYLines() const { return m_yLines; }
    float* XLines() { return m_xLines; }
    float* YLines() { return m_yLines; }
    int GetKnotsPerRow() const { return m_knotsPerRow; }
    int GetKnotRows() const { return m_knotRows; }
    int32_t GetKnotCount() const { return m_knotCount; }
    KnotRecord* Knots() const { return reinterpret_cast<KnotRecord*>(m_knots.GetData()); }
    float GetKnotAmplitude() const { return m_knotAmplitude; }
    void SetKnotAmplitude(float a) { m_knotAmplitude = a; }
    int32_t GetRowKnifeCount() const { return m_rowCount; }
    int32_t GetColumnKnifeCount() const { return m_colCount; }
    int32_t GetExtraKnifeCount() const { return m_extraCount; }
    KnifeRecord* RowKnives() const { return reinterpret_cast<KnifeRecord*>(m_rowKnives.GetData()); }
    KnifeRecord* ColumnKnives() const
    {
        return reinterpret_cast<KnifeRecord*>(m_colKnives.GetData());
    }
    ExtraKnifeRecord* ExtraKnives() const
    {
        return reinterpret_cast<ExtraKnifeRecord*>(m_extraKnives.GetData());
    }
    // The knife of a family (extraFamily first, then rowFamily, else the column knives); null when
    // the index is out of range.
    KnifeRecord* GetKnife(int32_t index, bool rowFamily, bool extraFamily) const;
    uint8_t GetFlag(int flag) const { return m_flags[flag]; }
    void SetFlag(int flag, uint8_t value) { m_flags[flag] = value; }
    int32_t GetLastKnife() const { return m_lastKnife; }
    bool GetLastKnifeIsRow() const { return m_lastKnifeRow; }
    void SetLastKnife(int32_t index) { m_lastKnife = index; }
    void SetLastKnife(int32_t index, bool isRow, bool isExtra)
    {
        m_lastKnife = index;
        m_lastKnifeRow = isRow;
        m_lastKnifeExtra = isExtra;
    }
    int GetPickedKnotCount() const { return m_pickedKnotCount; }
    void SetPickedKnots(int count, int32_t a, int32_t b);
    bool GetShowExtras(bool layoutMode) const { return m_showExtras[layoutMode ? 0 : 1] != 0; }
    void SetShowExtras(bool layoutMode, bool on) { m_showExtras[layoutMode ? 0 : 1] = on ? 1 : 0; }

private:
    // Calls fn(knife, isExtra) for every row, column and extra knife that is considered.
    template <typename Fn> void ForEachConsidered(bool onlySelected, Fn fn) const;
    template <typename Field>
    int CommonKnifeValue(bool onlySelected, bool& mixed, Field field, int none, int lo,
                         int hi) const;
    void FreeOutline(KnifeRecord& knife);
    bool ForcedDefaultLayout();
    // The counts of a grid of xLines x yLines lines (each kept to 0..kGridMaxLines): its knots,
    // row knives and column knives. SetGridSize builds them; the blob readers test against them.
    struct GridCounts {
        int xl;
        int yl;
        int32_t knots;
        int32_t rows;
        int32_t columns;
    };
    static GridCounts CountsOfGrid(int xLines, int yLines);
    bool ReadKnife(class CQW_BEReader& r, KnifeRecord* knife, bool shortHeader);
    bool ReadGridBody(class CQW_BEReader& r, bool shortHeader, const GridCounts& g, bool store);
    bool ReadBlobV3(class CQW_BEReader& r, bool store);
    bool ReadBlobV2(class CQW_BEReader& r, bool store);
    bool TakeBlob(class CQW_BEReader& r, const uint8_t* data, size_t size, bool version2,
                  uint8_t** records, uint32_t* count);
    void SetExtraCount(int32_t n);
    static int32_t RemapKnot(int32_t index, int32_t knotsPerRow, int32_t knotCount, bool inserting,
                             bool vertical, int line);
    // The fraction of the image a preview point lies at along one axis; false outside.
    bool PointFraction(bool vertical, double x, double y, double& f) const;
    void CutterAmplitudes(float& s, float& h, float& u) const;
    // The knives of one family in scope (the selected ones when onlySelected and a knife is
    // selected), in index order.
    template <typename Fn> void ForEachInFamily(int family, bool onlySelected, Fn fn) const;
    void SetFlips(KnifeRecord& k, bool flipH, bool flipU, uint8_t value);
    void DrawKnotMarker(int32_t knot, double x, double y, bool corner);
    size_t UndoContentSize(int kind) const;
    void WriteUndoContent(int kind, uint8_t* out) const;
    bool ChangeGridLine(bool inserting, bool vertical, int line, float fraction);
    bool BuildMeshGrid(int columns, int rows);
    void FinishMesh();

    CLayoutModelSink m_nullSink;
    CLayoutModelSink* m_pSink = &m_nullSink;
    const CutterState* m_pCutter = nullptr;
    const CPieceRecordSource* m_pPieces = nullptr;
    int32_t m_imageW = 0;
    int32_t m_imageH = 0;
    bool m_layoutMode = true;
    LayoutView m_view{};

    uint16_t m_xLineCount = 0;
    uint16_t m_yLineCount = 0;
    float m_xLines[kGridMaxLines] = {};
    float m_yLines[kGridMaxLines] = {};

    CQWF_Mem m_knots;
    uint16_t m_knotsPerRow = 0;
    uint16_t m_knotRows = 0;
    int32_t m_knotCount = 0;
    float m_knotAmplitude = 0.0f;

    CQWF_Mem m_rowKnives;
    int32_t m_rowCount = 0;
    CQWF_Mem m_colKnives;
    int32_t m_colCount = 0;
    CQWF_Mem m_extraKnives;
    int32_t m_extraCount = 0;

    // Razor cut and anti-aliasing are on until a layout read says otherwise.
    uint8_t m_flags[kFlagCount] = {0, 0, 1, 1, 0, 0, 0};
    KnifeRecord m_clipboard{};
    bool m_clipboardEmpty = true;
    int32_t m_lastKnife = -1;
    bool m_lastKnifeRow = false;
    bool m_lastKnifeExtra = false;
    int m_pickedKnotCount = 0;
    int32_t m_pickedKnots[2] = {-1, -1};
    uint8_t m_showExtras[2] = {1, 1};

    CQWF_Mem m_pending;
    uint32_t m_pendingCount = 0;

    // Recalculation.
    int m_zoom = 4;
    int m_zoomRemX = 0;
    int m_zoomRemY = 0;
    double m_scaledW = 0.0;
    double m_scaledH = 0.0;
    double m_originX = 0.0;
    double m_originY = 0.0;
    CQWF_Mem m_knotHits;
    size_t m_knotHitCount = 0;
    bool m_knotDrag = false;
    CQWF_2DMath m_geometry;

    // Undo of Layout mode.
    CQWF_Mem m_undo;          // the stored state
    size_t m_undoSize = 0;
    CQWF_Mem m_undoScratch;   // a full state being serialised
    CQWF_Mem m_snapshot;      // the light snapshot before a change
    size_t m_snapSize = 0;
    int m_snapKind = 0;       // 0 when no snapshot waits for its commit
    bool m_undoEmpty = true;
    int m_undoLight = 0;
    int m_undoFull = 0;
    bool m_undoBarrier = false;
    float m_snapAmplitude = 0.0f;
    float m_undoAmplitude = 0.0f;
    int32_t m_snapLast[3] = {-1, 0, 0};  // last clicked knife, is row, is extra
    int32_t m_undoLast[3] = {-1, 0, 0};
};
