// Layout mode's drawing over the preview, without a window: every knife as its curve (from the
// outline the layout model caches), straight grid lines while the grid changes, and the ruler
// strips with a wedge at every grid line. Everything is drawn into RGB-with-alpha images that
// the main window shows as layers; colours are the main window's skin values.
#pragma once

#include "framework/core/qwf_mem.h"
#include "framework/imaging/qwf_image.h"
#include "plugin/main/layout_model.h"
#include "plugin/main/layout_mouse.h"

#include <cstdint>

// 0xAABBGGRR colours.
struct LayoutColours {
    uint32_t knife = 0xFF000000;
    uint32_t selectedKnife = 0xFF288CF2;
    uint32_t marking = 0xFF00FFFF;
    uint32_t gridLine = 0xFF000000;
    uint32_t rulerLayout = 0xFF1F8ED5;
    uint32_t rulerPuzzle = 0xFFC8C8C8;
    uint32_t rulerMark = 0xFF000000;
};

class CQWF_Storage;

// The colours as the main window's skin gives them, under "UIResources>Windows>Main>Layout
// Colours>" (32-bit values "Knife", "Selected Knife", "Marking", "Grid Line", "Ruler Layout Mode",
// "Ruler Puzzle Mode", "Ruler Mark"); a value the skin lacks (or no skin) keeps its default.
LayoutColours ReadLayoutColours(CQWF_Storage* skin);

class CLayoutDrawing : public CQWF_FrameWork {
public:
    // The overlay has the preview's size; its pixels are preview pixels.
    bool SetSize(int32_t width, int32_t height);
    CQWF_Image& GetOverlay() { return m_overlay; }
    void SetColours(const LayoutColours& colours) { m_colours = colours; }
    const LayoutColours& GetColours() const { return m_colours; }
    // The opacity of a hidden knife (the preference, 0..255).
    void SetHiddenKnifeOpacity(uint8_t opacity) { m_hiddenOpacity = opacity; }

    // Clears the overlay (null: all of it).
    void Clear(const QWF_Rect* rect = nullptr);
    // One knife of the model between two overlay points: its outline is built (and cached in
    // the knife) and drawn. Nothing for two coinciding points.
    bool DrawKnifeCurve(CLayoutModel& model, KnifeRecord& knife, double x0, double y0, double x1,
                        double y1);
    // One knife from the outline the model cached for it.
    void DrawKnifeOutline(const CLayoutModel& model, const KnifeRecord& knife);
    // Straight lines at the positions (fractions) over the clip rectangle; the image spans
    // scaledW x scaledH at the zoom and is scrolled by (scrollX, scrollY) screen pixels.
    void DrawGridKnives(int xCount, int yCount, const float* xLines, const float* yLines,
                        const QWF_Rect& clip, double scaledW, double scaledH, double scrollX,
                        double scrollY);
    // The lines of a proposed grid (cells per direction): the model's own positions when the
    // count is the model's, else evenly spaced ones.
    void DrawGrid(const CLayoutModel& model, int columns, int rows, const QWF_Rect& clip,
                  double scaledW, double scaledH, double scrollX, double scrollY);

    // Fills both ruler strips (images of the strips' sizes) and puts a wedge at every marker
    // (window coordinates; the strips' rectangles give their origins).
    static void DrawRulerMarks(CQWF_Image& top, const QWF_Rect& topRect, const RulerMarker* topMarks,
                               size_t topCount, CQWF_Image& left, const QWF_Rect& leftRect,
                               const RulerMarker* leftMarks, size_t leftCount, bool layoutMode,
                               const LayoutColours& colours);

private:
    // Lays the coverage drawn into the scratch plane over the box into the overlay in the
    // colour at the opacity, and clears the scratch there.
    void FlushCoverage(const QWF_Rect& box, uint32_t colour, uint8_t opacity);
    bool AttachScratch();

    CQWF_Image m_overlay;
    CQWF_Mem m_scratch;  // coverage plane of the overlay's size
    CQWF_ImageDrawing m_drawing;
    LayoutColours m_colours;
    uint8_t m_hiddenOpacity = 70;
};
