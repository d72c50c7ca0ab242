// The main window's view of the cutting engine's pieces in Puzzle mode, without a window: the
// selection state and its marks, the effect aggregate and the check boxes it drives, the
// show-extras toggle, the selection overlay with its rubber band and lasso, the composite of
// the rendered pieces into the preview's source image and the snapshot pair of Puzzle mode's
// undo. The window reaches its controls and the preview through a CPieceViewSink.
#pragma once

#include "framework/core/qwf_array.h"
#include "framework/core/qwf_mem.h"
#include "framework/core/qwf_progress.h"
#include "framework/imaging/qwf_image.h"
#include "plugin/core/jigcrafter.h"
#include "plugin/main/pieces_undo.h"

#include <cstdint>

// Effect bits of an effect mask; an aggregate adds the two visibility bits.
enum PieceEffectBit : uint32_t {
    kFxBlur = 0x1,
    kFxBevel = 0x2,
    kFxHsl = 0x4,
    kFxColourOverlay = 0x8,
    kFxBrightContrast = 0x10,
    kFxMotionBlur = 0x20,
    kFxOpacity = 0x40,
    kFxInvert = 0x80,
    kFxStroke = 0x100,
    kFxImageOverlay = 0x200,
    kFxSomeHidden = 0x4000,
    kFxSomeShown = 0x8000
};

// The nine effect check boxes of the main window and their bits (invert has none).
struct EffectCheckBox {
    uint32_t bit;
    const char* name;
};
extern const EffectCheckBox kEffectCheckBoxes[9];

// Lasso points travel packed: x in the upper and y in the lower 16 bits, each signed.
inline uint32_t PackLassoPoint(int32_t x, int32_t y)
{
    return (static_cast<uint32_t>(x & 0xFFFF) << 16) | static_cast<uint32_t>(y & 0xFFFF);
}
inline void UnpackLassoPoint(uint32_t p, int32_t& x, int32_t& y)
{
    x = static_cast<int16_t>(static_cast<uint16_t>(p >> 16));
    y = static_cast<int16_t>(static_cast<uint16_t>(p & 0xFFFF));
}

// The effects enabled on one piece (its applied settings) with its visibility bit.
uint32_t PieceEffectBits(const JigPiece& piece);

class CPieceViewSink {
public:
    virtual ~CPieceViewSink() = default;
    virtual void SetCheck(const char* /*name*/, bool /*checked*/) {}
    virtual void EnableControl(const char* /*name*/, bool /*enabled*/) {}
    // The Show Extras / Hide Extras pair.
    virtual void ShowExtrasButtons(bool /*on*/) {}
    // The preview's mark mask (null: none) with its row stride.
    virtual void SetPreviewMarks(const uint8_t* /*marks*/, int32_t /*width*/) {}
    virtual void RenderPreview() {}
    virtual void RepaintPreview() {}
    // Status line: the progress sink of long commands, and the fade-out after them.
    virtual CQWF_Progress* BeginProgress(const char* /*text*/) { return nullptr; }
    virtual void EndProgress(CQWF_Progress* /*progress*/) {}
    virtual void FadeStatus() {}
    // Between two pieces of a live render: pending window messages are dispatched (a newer
    // render request arriving meanwhile restarts the running one).
    virtual void DispatchDuringRender() {}
};

class CPieceView : public CQWF_FrameWork {
public:
    explicit CPieceView(CJigcrafter& engine);
    void SetSink(CPieceViewSink* sink) { m_pSink = sink ? sink : &m_nullSink; }
    CJigcrafter& GetEngine() { return m_engine; }
    // The working image's size (selection marks and channel masks have it).
    void SetImageSize(int32_t width, int32_t height);

    // ---- state of the table
    // 0 nothing selected (also without pieces), 1 everything, 2 some.
    uint8_t GetPiecesFlagState() const;
    // One piece's bits, or for -1 the aggregate over the selection (over every piece when
    // nothing is selected); 0 without pieces or for an index outside the table.
    uint32_t GetPieceEffectFlags(int32_t index) const;
    // The nine check boxes from the aggregate, "Main_Show" enabled while a piece in scope is
    // hidden, "Main_Hide" while one is shown. Nothing in Layout mode or while an effect window
    // is open.
    void UpdateEffectButtons(bool layoutMode, bool effectWindowOpen);
    int32_t PieceAtPoint(int32_t x, int32_t y) const;
    QWF_Rect GetPieceMaskBounds(int32_t index) const;
    // Whether the piece's settings to apply differ from its rendered ones; false for an index
    // outside the table.
    bool PieceNeedsRender(int32_t index, bool rgb) const;

    // ---- selection (each keeps the selection marks in step; redraw re-renders the preview)
    void SelectPiece(int32_t index, uint8_t value, bool redraw);
    void SelectAllPieces(bool redraw);
    void DeselectAllPieces(bool redraw);
    // Sets every listed piece to value.
    void SelectPieces(const CQWF_DWordArray& indices, uint8_t value, bool redraw);
    // The marks of every piece again from the table (after a cut or an undo).
    bool RebuildMarks();
    const uint8_t* GetMarks() const { return m_marks.GetData(); }

    // ---- show extras (the selection marks over the preview)
    void ShowExtras(bool on, bool redraw);
    bool GetShowExtras() const { return m_showExtras; }

    // ---- selection overlay: RGB with alpha of the preview's size
    void SetPreviewRect(const QWF_Rect& rect) { m_preview = rect; }
    // The face from the preview's top-left corner, colour planes thresholded and inverted
    // (255 where the face was 127 or less, else 0).
    bool BuildPreviewMask(const CQWF_Image& face);
    // The band's outline (window pixels, right and bottom exclusive; null: empty band).
    void DrawRubberBand(const QWF_Rect* band);
    // The lasso's outline, closed.
    void DrawLasso(const CQWF_DWordArray& points);
    CQWF_Image& GetOverlay() { return m_overlay; }

    // ---- composite of the rendered pieces into an RGB-with-alpha image of the working size;
    // the filtered area's mask (row stride: its width, 0 for 255 everywhere) caps the alpha.
    bool CompositePieces(CQWF_Image& target, const uint8_t* mask, int64_t maskStride,
                         const QWF_Rect& rect, bool redraw, double from, double to);

    // ---- Puzzle mode's one-level undo
    void BeginPiecesChange();
    void EndPiecesChange(bool onlyIfChanged);
    CPiecesUndo& GetUndo() { return m_undo; }
    // The piece the user last clicked into the selection (the range anchor, -1 for none): the
    // effect windows start from it, and Undo brings it back with the pieces.
    int32_t GetCurrentPiece() const { return m_anchor; }

    // ---- selection commands (callers wrap user changes in Begin/EndPiecesChange). With
    // neither select nor deselect every piece is deselected first and the target is selected;
    // while razor cut is off piece 0 (the knife lines) stays out of ranges, bands and lassos.
    void InvertSelection(bool redraw);
    void SelectShownPieces(bool hiddenOnes, bool redraw);
    // A random share of the pieces whose selected flag differs from value; false when memory
    // runs out.
    bool SelectRandom(uint8_t value, bool redraw);
    // The knife lines' piece alone (razor cut off, pieces cut).
    void SelectFirstPiece(bool select, bool redraw);
    void SelectRange(bool select, bool deselect, int32_t from, int32_t to, bool redraw);
    void SelectInImageRect(const QWF_Rect& rect, bool select, bool deselect, bool redraw);
    void SelectInPolygon(const int32_t* xs, const int32_t* ys, int64_t count, bool select,
                         bool deselect, bool redraw);
    int32_t GetRangeAnchor() const { return m_anchor; }
    void SetRangeAnchor(int32_t piece) { m_anchor = piece; }

    // ---- visibility: each returns the union of the changed pieces' rectangles (empty when
    // nothing changed); the caller recomposites it.
    QWF_Rect ShowPiece(int32_t index, bool shown);
    // The selected pieces, or every piece when none is selected.
    QWF_Rect ShowSelectedPieces(bool shown);
    QWF_Rect ReverseVisibility();

    // ---- effect commands: they change the settings to apply and append the pieces that must
    // be rendered again. Effect types 0..9 (Gaussian blur .. image overlay); target -1 is the
    // selection (every piece when none is selected), else that piece.
    void SetPiecesEffect(int type, bool explicitValue, bool on, int32_t target,
                         CQWF_DWordArray& changed);
    bool CopyEffects(int32_t index);
    bool PasteEffects(int32_t index, CQWF_DWordArray& changed);
    void ResetEffects(CQWF_DWordArray& changed);
    bool HasCopiedEffects() const { return m_clipboardFull; }

    // ---- rendering: the image the rendered pieces are composited into (RGB with alpha of the
    // working size), the filtered area's mask and whether the image is RGB.
    void SetCompositeTarget(CQWF_Image* target, const uint8_t* mask, int64_t maskStride,
                            bool rgb);
    // Renders the listed pieces whose settings to apply differ from their rendered ones and
    // composites the union of their rectangles. A call while one runs asks it to restart and
    // returns true; a live render dispatches messages between pieces and restarts, keeping the
    // area it gathered, when asked. False when the engine fails on a piece.
    bool RenderPieces(const int32_t* list, int32_t count, bool redraw, bool live);
    bool IsRendering() const { return m_busy; }
    // Recomposites a rectangle of the image (nothing for an empty one).
    bool Recomposite(const QWF_Rect& rect, bool redraw);
    // Exchanges the pieces with the undo state (a second call redoes); renders and recomposites
    // what changed. False without an undo state or when a render failed.
    bool UndoPiecesChange();

private:
    void MarkPiece(int32_t index, uint8_t value);
    void AfterSelection(bool redraw);
    uint8_t SettleTarget(bool select, bool deselect);
    int32_t FirstSelectable() const;

    CJigcrafter& m_engine;
    CPieceViewSink m_nullSink;
    CPieceViewSink* m_pSink = &m_nullSink;
    int32_t m_width = 0;
    int32_t m_height = 0;
    CQWF_Mem m_marks;
    bool m_showExtras = false;
    QWF_Rect m_preview = {0, 0, 0, 0};
    CQWF_Image m_overlay;
    CPiecesUndo m_undo;
    int32_t m_anchor = -1;
    JigEffectSet m_clipboard{};
    bool m_clipboardFull = false;
    CQWF_Image* m_target = nullptr;
    const uint8_t* m_targetMask = nullptr;
    int64_t m_targetMaskStride = 0;
    bool m_rgb = true;
    bool m_busy = false;
    bool m_restart = false;
};
