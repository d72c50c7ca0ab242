// The cutting engine: its own copy of the layout (grid lines, knot lattice, knives whose node
// values already carry their flips and tips size), the cut that turns the layout into labelled
// pieces, and the piece table with each piece's cut mask, working image and effect settings.
#pragma once

#include <cstddef>
#include <cstdint>

#include "framework/core/qwf_mem.h"
#include "framework/core/qwf_progress.h"
#include "framework/imaging/qwf_2dmath.h"
#include "framework/imaging/qwf_image.h"
#include "framework/imaging/qwf_imagefx.h"
#include "plugin/core/jig_objects.h"
#include "plugin/core/knot_lattice.h"

struct PieceEffectRecord;

// ---------------------------------------------------------------------------------------------
// Engine knives.

inline constexpr int32_t kJigMaxExtraKnives = 20000;
inline constexpr int32_t kJigMaxPieces = 99999;
inline constexpr int kJigMaxPlanes = 5;

// Node values are final: flips and the tips size were applied when the layout was loaded.
struct JigKnife {
    int32_t thickness;  // pixels
    int32_t nodeCount;  // -1: the knife does not cut
    float u[kKnifeMaxNodes];
    float h[kKnifeMaxNodes];
    float s[kKnifeMaxNodes];
};

struct JigExtraKnife : JigKnife {
    int32_t knotA;
    int32_t knotB;
};

// ---------------------------------------------------------------------------------------------
// Effect settings of a piece. Every piece holds each effect twice: [kJigApplied] the settings
// applied to its working image, [kJigToApply] the settings to apply.

inline constexpr int kJigApplied = 0;
inline constexpr int kJigToApply = 1;

struct JigColourOverlayFx {
    uint8_t on;
    uint8_t opacity;
    uint8_t grey;
    uint8_t rgb[3];
    uint8_t cmyk[4];
};

struct JigImageOverlayFx {
    uint8_t on;
    uint8_t opacity;
    uint8_t layerChoice;  // 0 automatic
    int32_t layerId;
};

struct JigStrokeFx {
    uint8_t on;
    uint8_t opacity;
    uint8_t size;
    uint8_t grey;
    uint8_t rgb[3];
    uint8_t cmyk[4];
};

struct JigHslFx {
    uint8_t on;
    int16_t hue;
    int8_t saturation;
    int8_t lightness;
};

struct JigOpacityFx {
    uint8_t on;
    uint8_t value;
};

struct JigBlurFx {
    uint8_t on;
    uint8_t radius;
};

struct JigMotionBlurFx {
    uint8_t on;
    int8_t angle;
    uint8_t distance;
};

struct JigBrightContrastFx {
    uint8_t on;
    int8_t brightness;
    int8_t contrast;
};

struct JigBevelFx {
    uint8_t on;
    float light[3];
    uint8_t hlOpacity;
    uint8_t hlGrey;
    uint8_t hlRGB[3];
    uint8_t hlCMYK[4];
    uint8_t shOpacity;
    uint8_t shGrey;
    uint8_t shRGB[3];
    uint8_t shCMYK[4];
    uint8_t size;
    uint16_t depth;
    uint8_t soften;
};

// One copy of every effect's settings (the engine's defaults).
struct JigEffectSet {
    JigColourOverlayFx colourOverlay;
    JigImageOverlayFx imageOverlay;
    JigStrokeFx stroke;
    JigHslFx hsl;
    JigOpacityFx opacity;
    JigBlurFx blur;
    JigMotionBlurFx motionBlur;
    JigBrightContrastFx brightContrast;
    JigBevelFx bevel;
    uint8_t invert;
};

// ---------------------------------------------------------------------------------------------
// Piece record, one per piece in the order the cut found them. Plain data: the cut mask lives in
// the engine's mask store and the rendered image in its render store (see "Piece storage" in
// CJigcrafter), both released by FreePieces.
struct JigPiece {
    const uint8_t* maskRuns;  // the cut mask as runs: read it with CJigcrafter::ReadPieceMask
    int32_t left;       // bounding box in image pixels, right and bottom exclusive
    int32_t top;
    int32_t right;
    int32_t bottom;
    const uint8_t* source[kJigMaxPlanes];  // colour planes of the image at (left, top)
    int64_t sourceStride[kJigMaxPlanes];
    const uint8_t* maskPlane;  // the cut's mask plane at (left, top), or null
    int64_t maskStride;
    uint8_t* work;  // rendered image, (planes + 1) x width x height bytes; null until rendered
    uint8_t* workPlane[kJigMaxPlanes];  // the last used one is the alpha plane
    int64_t workStride[kJigMaxPlanes];
    int32_t renderBlock;  // block of the render store holding `work` (-1: none)
    int32_t pixelCount;  // non-zero cut-mask pixels
    uint8_t selected;
    int32_t column;  // 1-based grid cell
    int32_t row;
    uint8_t shown;
    JigColourOverlayFx colourOverlay[2];
    JigImageOverlayFx imageOverlay[2];
    JigStrokeFx stroke[2];
    JigHslFx hsl[2];
    JigOpacityFx opacity[2];
    JigBlurFx blur[2];
    JigMotionBlurFx motionBlur[2];
    JigBrightContrastFx brightContrast[2];
    JigBevelFx bevel[2];
    uint8_t invert[2];

    int32_t Width() const { return right - left; }
    int32_t Height() const { return bottom - top; }
    // Both copies of every effect take the given settings.
    void SetEffects(const JigEffectSet& fx, int copy);
    void GetEffects(JigEffectSet& fx, int copy) const;
};

// ---------------------------------------------------------------------------------------------
// What drawing a knife works with: the drawing (its target, clip and mode), the flattening of
// the knife's curve, its point list and polyline. The engine has one of its own; every further
// thread of a parallel knife mask has another.
struct JigKnifePen {
    CQWF_ImageDrawing drawing;
    CQWF_2DMath geometry;
    QWF_PolyPoint points[kKnifeMaxNodes + 2] = {};
    CQWF_Mem polyline;
    int64_t polylineCount = 0;
};

// ---------------------------------------------------------------------------------------------
// What one render works in: the scratch image (plane pointers, row stride = its width, its
// height), the cut mask laid out in rows of the source planes' stride, and the effects object.
// The engine has one of its own; every further thread of a parallel render has another.
struct JigRenderWork {
    CQWF_Mem scratch;
    uint8_t* scratchPlanes[kJigMaxPlanes] = {};
    int64_t scratchStride = 0;
    int32_t scratchHeight = 0;
    CQWF_Mem sourceMask;
    CQWF_ImageFX effects;
    // No scratch image (its memory is gone): the next render makes one.
    void DropScratch()
    {
        scratch.Free();
        for (uint8_t*& p : scratchPlanes) p = nullptr;
        scratchStride = 0;
        scratchHeight = 0;
    }
    // Colour planes of one row stride are read where they are (RenderPiece). A worker's work
    // copies them into its scratch image instead (the same result): the cut mask in the
    // planes' row stride takes a whole image row for every row of a piece.
    bool readInPlace = true;
};

// ---------------------------------------------------------------------------------------------
class CJigcrafter {
public:
    CJigcrafter();
    virtual ~CJigcrafter();

    CJigcrafter(const CJigcrafter&) = delete;
    CJigcrafter& operator=(const CJigcrafter&) = delete;

    // ---- model ----------------------------------------------------------------------------
    // Sizes the grid (lines = clamp(cells - 1, 0, 100)), lattice and knife blocks, all zeroed.
    bool SetGrid(int32_t columns, int32_t rows, int64_t extra);
    void FreePieces();
    // Knot position in pixels (knots on an edge move only along it, corners never).
    void GetKnotPosition(int32_t column, int32_t row, double width, double height, double& x,
                         double& y) const;
    // Reports from + (to - from) * percent / 100 when its integer part differs from the sink's
    // current percent. True when it reported.
    bool SetProgress(double percent, double from, double to);
    void ShowError(const char* text, const char* caption);

    // ---- layout replay --------------------------------------------------------------------
    // Reads a layout blob; on success layoutMode tells Layout mode, and in Puzzle mode count and
    // records give the piece records inside the block (converted to host order in place).
    bool LoadLayout(CQWF_Mem* blob, bool& layoutMode, uint32_t& recordCount,
                    uint8_t*& records);
    // One knife as a layout stores it (raw nodes; flags 1 flip across, 2 flip along, 4 hidden)
    // made an engine knife: node values clamped (U 0..1, H -3..3, S -2..2), the flips and the tips
    // size applied, a hidden knife made not to cut. The replay and the main window's hand-over
    // both go through it, so that both give the same knives.
    static void BakeKnife(JigKnife& knife, uint8_t flags, int32_t nodeCount, int32_t tips,
                          int32_t thickness, const float* u, const float* h, const float* s);
    // Grid lines are fractions of the image (0..1), knot offsets fractions of the neighbouring
    // cell (-1..1); other values only come from damaged layouts.
    static float ClampLine(float v);
    static float ClampKnotOffset(float v);

    // ---- cutting --------------------------------------------------------------------------
    bool Cut(int32_t width, int32_t height, const uint8_t* maskPlane, int64_t maskStride,
             const uint8_t* const* planes, int64_t planeStride, int32_t planeCount,
             double progressFrom, double progressTo, bool render);
    // The next cuts draw their knife mask into `mask` when it holds the mask's bytes (about
    // 2 bytes a pixel with anti-aliasing and razor cut, else 1) and label in `labels` (at least
    // width x height + 16 bytes) instead of buffers of their own; null: their own again. The cut
    // clears both first and leaves the labels all 0. The write-back lends the memory of its
    // colour planes, read only after the cut, and the plane that later receives the rendered
    // alpha: such a cut must not render.
    void LendCutBuffers(uint8_t* mask, size_t maskBytes, uint8_t* labels, size_t labelBytes)
    {
        m_lentMask = mask;
        m_lentMaskBytes = mask ? maskBytes : 0;
        m_lentLabels = labels;
        m_lentLabelBytes = labels ? labelBytes : 0;
    }
    bool DrawSplitterMask(int32_t width, int32_t height, uint8_t* mask, int64_t stride,
                          double progressFrom, double progressTo);
    void DrawKnife(const JigKnife* knife, double x0, double y0, double x1, double y1);

    // Flood-fill callbacks; context is the engine.
    static bool IsKnifePixel(int32_t x, int32_t y, void* context);
    static bool IsKnifeBit(int32_t x, int32_t y, void* context);
    static bool FillSpan(int32_t start, int32_t y, int32_t length, void* context);

    // ---- rendering and compositing -----------------------------------------------------------
    // Fills the piece's working image from the source planes and its cut mask and applies its
    // effects (settings to apply) in the fixed order. False for an index outside the table.
    bool RenderPiece(int32_t index);
    // Binds the effects object for one step: direction 1 reads the scratch image and writes the
    // piece's working planes, direction 0 the reverse, direction 2 reads the piece's source
    // planes (all of one row stride) with its cut mask in m_sourceMask and writes the working
    // planes, direction 3 reads and writes the working planes (in place).
    void BindPieceBuffers(int direction, int32_t index);
    // Fills the effects object's target planes with a document layer's pixels for the box
    // (working-rectangle coordinates); 0 where no layer is chosen.
    void LoadImageOverlay(int32_t left, int32_t top, int32_t right, int32_t bottom, bool automatic,
                          int32_t layerId);
    // Lays the shown pieces over the target planes (colour planes, then alpha); four QWF_WHOLE
    // values for the rectangle mean the whole image.
    bool Composite(int32_t width, int32_t height, uint8_t* const* planes, int64_t stride,
                   int32_t planeCount, const uint8_t* maskPlane, int64_t maskStride, int32_t left,
                   int32_t top, int32_t right, int32_t bottom, bool unionMode,
                   double progressFrom, double progressTo);

    // ---- piece storage ----------------------------------------------------------------------
    // Every piece of the table keeps
    //  - its cut mask as runs (of 0 bytes, of 255 bytes, and the partial bytes of its edges, row
    //    by row), made by the cut: ReadPieceMask gives the box's bytes, ReadPieceMaskRow one row;
    //  - its rendered image (colour planes and alpha of the box size, row stride = box width),
    //    made by the first RenderPiece and reused by every later render of the piece; `work` and
    //    `workPlane` are null while the piece has none. ReleaseRender gives one image back;
    //    FreePieces and the next cut give all back.
    // A dialog keeps the rendered images and renders again only the pieces whose settings
    // changed; Composite lays whatever is rendered (a piece without an image is left out). The
    // run without a dialog uses RenderAndComposite, which keeps only a few rows of rendered
    // pieces alive. The memory of both stores stays with the engine for the next cut up to a
    // limit.
    bool ReadPieceMask(int32_t index, uint8_t* dst, int64_t stride) const;
    // Test hook: the knife mask and the labelling go to several threads whenever there are,
    // even where the work is too small or too repetitive to gain by it (results are the same).
    static void ShareAllWorkForTesting(bool on) { s_shareAllWork = on; }
    // As ReadPieceMask, but the kMaskRowSlack bytes after each row may be overwritten: the
    // buffer holds that many bytes after the last row.
    static constexpr size_t kMaskRowSlack = 64;
    bool ReadPieceMaskWithSlack(int32_t index, uint8_t* dst, int64_t stride) const;
    // Row y (0 = the box's top row) of a piece's cut mask into dst (box width bytes).
    static void ReadPieceMaskRow(const JigPiece& piece, int32_t y, uint8_t* dst);
    // The cut mask's value at image pixel (x, y); 0 outside the box.
    static uint8_t PieceMaskAt(const JigPiece& piece, int32_t x, int32_t y);
    // The runs of a cut mask given as bytes, for a piece made outside a cut: the caller keeps
    // `out` while the piece's maskRuns points at its data.
    static bool EncodePieceMask(const uint8_t* bytes, int64_t stride, int32_t width,
                                int32_t height, CQWF_Mem& out);
    void ReleaseRender(int32_t index);
    // RenderPiece for every piece, in table order, and the composite of the whole image (union
    // and mask as in Composite) in one pass over a target whose alpha plane is all 0 (the cut
    // leaves a lent label buffer so): a piece is laid over the target as soon as no piece
    // still to be rendered reads the pixels of its box, and its image is given back then. The
    // target may be the planes the pieces were cut from; a target apart from them takes each
    // piece right after its render. Gives exactly what rendering every piece
    // and then calling Composite gives. Progress: after each render the sum of the steps
    // (renderTo - renderFrom) / pieces from renderFrom; then compositeFrom + 90 % and + 100 % of
    // the composite's range; a cancel after a report returns false. False as well when a render
    // fails (its message is kept).
    bool RenderAndComposite(int32_t width, int32_t height, uint8_t* const* planes, int64_t stride,
                            int32_t planeCount, const uint8_t* maskPlane, int64_t maskStride,
                            bool unionMode, double renderFrom, double renderTo,
                            double compositeFrom, double compositeTo);
    // The next RenderAndComposite calls read(context) on the calling thread for the rows of
    // the pieces' source planes, top down: each call brings in more of the next rows (a strip
    // of one plane) and answers how many rows from the top are in, in every plane (-1: nothing
    // more could be read; the render fails). Shared out among threads the pieces start to
    // render once their rows are in, while the rest come in a strip at a time between the
    // takes; on one thread every row is read first. Null: the rows are all there.
    struct SourceRows {
        int32_t (*read)(void* context);
        void* context;
    };
    void SetSourceRows(const SourceRows* rows) { m_sourceRows = rows; }
    // Whether a piece's source planes lie within the target's planes.
    bool TargetHoldsSources(uint8_t* const* planes, int64_t stride, int32_t planeCount,
                            int32_t width, int32_t height) const;

    // ---- piece records --------------------------------------------------------------------
    // The record of a piece from one copy of its settings (applied unless told), flags, row and
    // column.
    bool PieceToRecord(int32_t index, PieceEffectRecord& record, int copy = kJigApplied) const;
    // The engine's default settings as a record (flags, row and column 0).
    void DefaultsToRecord(PieceEffectRecord& record) const;
    // A record's effect settings become the piece's settings to apply (the next render applies
    // them); its shown byte replaces the piece's (selected, row and column stay the piece's).
    bool RecordToPiece(const PieceEffectRecord& record, int32_t index);

    // ---- accessors ------------------------------------------------------------------------
    uint8_t GetColourLayout() const { return m_colourLayout; }
    void SetColourLayout(uint8_t layout) { m_colourLayout = layout; }
    uint16_t GetXLineCount() const { return m_xLineCount; }
    uint16_t GetYLineCount() const { return m_yLineCount; }
    float* GetXLines() { return m_xLines; }
    float* GetYLines() { return m_yLines; }
    const float* GetXLines() const { return m_xLines; }
    const float* GetYLines() const { return m_yLines; }
    uint16_t GetKnotsPerRow() const { return m_knotsPerRow; }
    uint16_t GetKnotRows() const { return m_knotRows; }
    int32_t GetKnotCount() const { return m_knotCount; }
    // Pairs of floats (x offset, y offset) in lattice order.
    float* GetKnots() { return reinterpret_cast<float*>(m_knots.GetData()); }
    const float* GetKnots() const { return reinterpret_cast<const float*>(m_knots.GetData()); }
    int32_t GetRowKnifeCount() const { return m_rowKnifeCount; }
    JigKnife* GetRowKnives() { return reinterpret_cast<JigKnife*>(m_rowKnives.GetData()); }
    int32_t GetColumnKnifeCount() const { return m_columnKnifeCount; }
    JigKnife* GetColumnKnives() { return reinterpret_cast<JigKnife*>(m_columnKnives.GetData()); }
    int32_t GetExtraKnifeCount() const { return m_extraKnifeCount; }
    JigExtraKnife* GetExtraKnives()
    {
        return reinterpret_cast<JigExtraKnife*>(m_extraKnives.GetData());
    }
    bool GetRazorCut() const { return m_razorCut; }
    void SetRazorCut(bool on) { m_razorCut = on; }
    bool GetAntiAliasing() const { return m_antiAliasing; }
    void SetAntiAliasing(bool on) { m_antiAliasing = on; }
    CQWF_Progress* GetProgress() const { return m_progress; }
    void SetProgressSink(CQWF_Progress* sink) { m_progress = sink; }
    const JigEffectSet& GetDefaultEffects() const { return m_defaults; }

    int32_t GetPieceCount() const { return m_pieceCount; }
    JigPiece* GetPieces() { return reinterpret_cast<JigPiece*>(m_pieces.GetData()); }
    JigPiece* GetPiece(int32_t index);
    const JigPiece* GetPiece(int32_t index) const;
    // The first piece is the knife lines (set by every cut to the opposite of razor cut).
    bool GetKnifeLinesFlag() const { return m_knifeLines; }

    uint8_t GetScratchPlaneCount() const { return m_scratchPlaneCount; }

    // hostLayer is the plug-in object (CQWF_8BFPluginVirtual); its layer table is built again
    // on the first image overlay after this call.
    void SetLayers(bool available, void* hostLayer)
    {
        m_layersAvailable = available;
        m_hostLayer = hostLayer;
        m_layerTableBuilt = false;
    }

    // The last message shown through ShowError (empty when none since construction).
    const char* GetLastMessage() const { return m_lastMessage; }
    const char* GetLastCaption() const { return m_lastCaption; }
    void ClearLastMessage()
    {
        m_lastMessage[0] = 0;
        m_lastCaption[0] = 0;
    }

    // Test hook: labels through CQWF_2DMath::FloodFill and the callbacks instead of the engine's
    // own span fill (both give the same pieces).
    void SetReferenceFill(bool on) { m_referenceFill = on; }

private:
    static inline bool s_shareAllWork = false;  // see ShareAllWorkForTesting
    // RenderPiece in the given work (the engine's own, or a worker thread's). A render that
    // fails shows its message only with `report` (a worker's failure is told by the host's
    // thread); a piece without an image gets one from the render store (only the thread that
    // owns the store may ask for that).
    bool RenderPieceIn(JigRenderWork& work, int32_t index, bool report);
    // A piece's image from the ring (renderBlock -2), or from the render store when the ring
    // is full; given back by GiveBackImage, the oldest first. False when memory runs out.
    bool TakeImage(JigPiece& p);
    void GiveBackImage(int32_t index);
    void BindPieceBuffersIn(JigRenderWork& work, int direction, int32_t index);
    // The host's layers are read on its own thread only: a piece whose image overlay reads
    // them is rendered there.
    void LoadImageOverlayIn(JigRenderWork& work, int32_t left, int32_t top, int32_t right,
                            int32_t bottom, bool automatic, int32_t layerId);
    bool ReadsHostLayers(const JigPiece& p) const
    {
        return m_layersAvailable && p.imageOverlay[kJigToApply].on;
    }
    // The parallel form of RenderAndComposite (jig_pieces.cpp), same results.
    struct RenderPipeline;
    friend struct RenderPipeline;
    bool RenderAndCompositeParallel(int32_t threads, int32_t width, int32_t height,
                                    uint8_t* const* planes, int64_t stride, int32_t planeCount,
                                    bool unionMode, const int32_t* need, double renderFrom,
                                    double renderTo);
    // The threads a parallel render of the piece table over width x height may use (1: none).
    int32_t RenderThreads(int32_t width, int32_t height) const;
    // The mask and the last progress of RenderAndComposite.
    bool FinishRenderComposite(int32_t width, int32_t height, uint8_t* alphaPlane, int64_t stride,
                               const uint8_t* maskPlane, int64_t maskStride,
                               double compositeFrom, double compositeTo);
    struct CutState;
    friend struct CutState;

    bool CheckCancel();
    // The knives of DrawSplitterMask in the order it draws them: row knives (rows of cells
    // first), column knives, extra knives; knife k with the points it runs between. False for
    // an extra knife whose knots lie outside the lattice (it is not drawn).
    struct KnifeEnds {
        const JigKnife* knife = nullptr;
        double ax = 0, ay = 0, bx = 0, by = 0;
    };
    int64_t KnifeCount() const;
    bool KnifeAt(int64_t k, int32_t width, int32_t height, KnifeEnds& at) const;
    // The pen draws into the mask of DrawSplitterMask (1-bit or 8-bit), rows [top, bottom)
    // only.
    static void SetPenTarget(JigKnifePen& pen, uint8_t oneBit, int32_t width, int32_t height,
                             uint8_t* mask, int64_t stride, int32_t top, int32_t bottom);
    // DrawKnife with the given pen (the engine's own, or a worker thread's).
    void DrawKnifeWith(JigKnifePen& pen, const JigKnife* knife, double x0, double y0, double x1,
                       double y1) const;
    // The knives of DrawSplitterMask drawn by `threads` threads, each into bands of the mask's
    // rows of its own (jig_cut.cpp); the bytes of the one-thread drawing.
    struct KnifeBands;
    // The knives drawn in bands on several threads; `shared` false (and nothing drawn) when the
    // bands would repeat most of one another's work.
    bool DrawKnivesParallel(int32_t threads, int32_t width, int32_t height, uint8_t* mask,
                            int64_t stride, double from, double to, bool& shared);
    bool CutSetProgress(double percent);
    // The image planes and the selection a cut reads.
    struct CutSource {
        const uint8_t* const* planes;
        int64_t planeStride;
        int32_t planeCount;
        const uint8_t* maskPlane;
        int64_t maskStride;
        bool maskOpaque;  // one row of 255 read for every row: weighing keeps every label
    };
    // Cell centres (x, y pairs) and their (column, row) labels.
    struct CutCells {
        const double* centres = nullptr;
        const int32_t* labels = nullptr;
        int64_t count = 0;
    };
    // The steps of Cut, in order (jig_cut.cpp, jig_label.cpp).
    bool FindCellCentres(int32_t width, int32_t height, CQWF_Mem& centreMem, CQWF_Mem& labelMem,
                         CutCells& cells);
    bool LabelPieces(int32_t width, int32_t height, const CutSource& src, const CutCells& cells);
    bool PrepareCutMask(CutState& st, int32_t width, int32_t height);
    bool DrawCutMask(CutState& st);
    bool PrepareLabels(CutState& st);
    bool CloseSingleHoles(CutState& st);
    bool AddKnifeLinesPiece(CutState& st, const CutSource& src, const CutCells& cells);
    bool LabelRegions(CutState& st, const CutSource& src, const CutCells& cells);
    // The regions of the run table filled on several threads (same pieces, same order); `shared`
    // false (and nothing labelled) when the regions are too small to be worth handing out.
    struct RegionWork;
    friend struct RegionWork;
    bool LabelRegionRunsParallel(CutState& st, const CutSource& src, const CutCells& cells,
                                 int32_t threads, bool& shared);
    // The run table of the 1-bit labelling, built on several threads; false in `built` leaves
    // the mask as it was for LabelRegions (too many runs to keep, or no memory for them).
    void BuildRunTable(CutState& st, bool& built);
    // The 1-bit labelling on the runs of free sub-pixels; false in `done` leaves the mask as
    // it was for LabelRegions (too many runs to keep).
    bool LabelRegionRuns(CutState& st, const CutSource& src, const CutCells& cells, bool& done);
    // The piece of the region just labelled (its labels weighed by the selection's mask).
    bool AddRegionPiece(CutState& st, const CutSource& src, const CutCells& cells);
    bool PrepareScratch();
    // Copies the box of a label buffer into a new piece (clearing it with clear set).
    bool AddPiece(const uint8_t* labels, int64_t labelStride, int64_t labelWidth,
                  int64_t labelHeight, const QWF_Rect& box, bool clear, const CutSource& src,
                  const CutCells& cells);
    void FastFill(CutState& st, int32_t x, int32_t y);
    // Memory of the pieces' cut masks and working images, from large blocks that the next cut
    // reuses (null when memory runs out).
    uint8_t* PieceAlloc(size_t bytes);
    void ReleasePieceMemory(bool keep);
    // The cut mask of a box of a label buffer as runs, into `out` from its start (clearing the
    // labels with clear set); count receives the non-zero pixels. The bytes used, 0 when memory
    // runs out.
    static size_t EncodeBoxRuns(const uint8_t* labels, int64_t labelStride, const QWF_Rect& box,
                                bool clear, CQWF_Mem& out, int64_t& count);
    // A new piece of the table with the box, its encoded cut mask (copied into piece memory),
    // pixel count and cell; false (the memory message said) when memory runs out.
    bool AppendPiece(const QWF_Rect& box, const uint8_t* encoded, size_t bytes, int64_t count,
                     int32_t column, int32_t row, const CutSource& src);
    uint8_t* RenderAlloc(size_t bytes, int32_t& block);
    // The piece's rendered image at `work` (planes of its box, one after the other), from
    // render store block `block` (-1 none, -2 the parallel render's ring).
    void SetWorkImage(JigPiece& p, uint8_t* work, int32_t block) const;
    void ReleaseRenderStore(bool keep);
    bool AllocRender(JigPiece& p);
    // Lays one rendered piece over the rectangle r of the target planes (step 4 of Composite).
    void CompositePiece(const JigPiece& p, const QWF_Rect& r, uint8_t* const* planes,
                        int64_t stride, int32_t planeCount, bool unionMode);
    void NearestCell(double cx, double cy, const double* centres, const int32_t* cellLabels,
                     int64_t centreCount, int32_t& column, int32_t& row) const;
    bool BuildCellIndex(const double* centres, int64_t centreCount, int32_t width,
                        int32_t height);
    void ReportMemory();
    void ReportTooManyPieces();

    // Members, in the order of the engine's data model.
    uint8_t m_colourLayout = 1;
    uint16_t m_xLineCount = 0;
    uint16_t m_yLineCount = 0;
    float m_xLines[kGridMaxLines] = {};
    float m_yLines[kGridMaxLines] = {};
    CQWF_Mem m_knots;
    uint16_t m_knotsPerRow = 0;
    uint16_t m_knotRows = 0;
    int32_t m_knotCount = 0;
    CQWF_Mem m_rowKnives;
    uint16_t m_rowKnivesPerRow = 0;
    uint16_t m_rowKnifeRows = 0;
    int32_t m_rowKnifeCount = 0;
    CQWF_Mem m_columnKnives;
    uint16_t m_columnKnivesPerLine = 0;
    uint16_t m_columnKnifeLines = 0;
    int32_t m_columnKnifeCount = 0;
    CQWF_Mem m_extraKnives;
    int32_t m_extraKnifeCount = 0;
    bool m_razorCut = true;
    bool m_antiAliasing = true;
    CQWF_Progress* m_progress = nullptr;
    JigKnifePen m_pen;  // the drawing of knives and the geometry (the engine's own)
    double m_pictureReach = 0;  // the curve reach of the picture being cut (CQWF_2DMath)
    JigEffectSet m_defaults = {};
    CQWF_Mem m_pieces;
    int32_t m_pieceCount = 0;
    int32_t m_pieceCapacity = 0;
    bool m_knifeLines = false;
    JigRenderWork m_work;  // the scratch image and the effects object (the engine's own)
    JigObjects<JigRenderWork> m_threadWorks;  // those of the worker threads, kept for the next
    // The images of a parallel render: handed out and given back in table order, so they lie
    // in a ring, one after the other (a window of pieces moving down the table would keep the
    // render store's blocks from ever coming free). Kept for the next run.
    CQWF_Mem m_imageRing;
    size_t m_ringHead = 0;  // where the next image goes
    size_t m_ringTail = 0;  // the oldest image still out
    size_t m_ringEnd = 0;   // the end of the images before the ring wrapped
    bool m_ringWrapped = false;
    uint8_t m_scratchPlaneCount = 0;
    bool m_layersAvailable = false;
    void* m_hostLayer = nullptr;
    bool m_layerTableBuilt = false;  // the host's layer table was built for this run
    CQWF_Mem m_overlay;              // layer pixels of one box before they reach the target

    // Working state of a cut.
    int32_t m_widest = 0;
    int32_t m_tallest = 0;
    double m_cutFrom = 0.0;
    double m_cutTo = 0.0;
    CutState* m_cut = nullptr;
    // Render store: blocks handed out front to back; a block whose images were all given back
    // is used again.
    struct RenderBlock {
        CQWF_Mem mem;
        size_t used = 0;
        int32_t live = 0;  // images in the block not given back
    };
    CQWF_Mem m_renderBlocks;  // RenderBlock* per block
    int32_t m_renderBlockCount = 0;
    int32_t m_renderCurrent = -1;
    CQWF_Mem m_runScratch;  // runs of one piece's mask while the cut makes them
    CQWF_Mem m_compositeNeed;  // RenderAndComposite: last piece whose box meets each piece's
    CQWF_Mem m_slabs;  // CQWF_Mem* per block of piece memory
    int32_t m_slabCount = 0;
    int32_t m_slabCurrent = 0;
    size_t m_slabOffset = 0;
    CQWF_Mem m_knifeMask;    // knife mask of the last cut
    CQWF_Mem m_labelBuffer;  // label buffer (image resolution, 16 bytes of padding)
    CQWF_Mem m_subRuns;      // runs of free sub-pixels of the 1-bit knife mask, row by row
    CQWF_Mem m_subRunRows;   // first run of each mask row (and the end)
    CQWF_Mem m_subRunDone;   // runs already labelled
    JigObjects<CQWF_Mem> m_bandRuns;  // runs of each band of rows while the table is built
    CQWF_Mem m_runParent;    // the region of each run, found on several threads
    bool m_knifeMaskClear = false;  // every byte of m_knifeMask is 0 (left so by the last cut)
    bool m_labelsClear = false;     // every byte of m_labelBuffer is 0
    uint8_t* m_lentMask = nullptr;  // the caller's buffers (LendCutBuffers)
    const SourceRows* m_sourceRows = nullptr;  // SetSourceRows
    size_t m_lentMaskBytes = 0;
    uint8_t* m_lentLabels = nullptr;
    size_t m_lentLabelBytes = 0;
    CQWF_Mem m_cellIndex;  // bucket grid of cell centres for the nearest-cell lookup
    CQWF_Mem m_cellBucketStart;
    int32_t m_cellBucketsX = 0;
    int32_t m_cellBucketsY = 0;
    double m_cellBucketW = 1.0;
    double m_cellBucketH = 1.0;
    bool m_referenceFill = false;
    char m_lastMessage[64] = {};
    char m_lastCaption[32] = {};
};
