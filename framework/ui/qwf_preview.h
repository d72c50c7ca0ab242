// The image preview: a large RGB-with-alpha picture shown inside a rectangle of its window at
// one of nine zoom levels (scale 2^(level - 4); level 4 is 1:1), panned with Space-drag, zoomed
// with Space+Ctrl/Alt clicks and the wheel, with two scroll bars, two rulers and a navigator that
// it keeps in step. It has no skin: the owner constructs it, attaches it to the window and binds
// it with SetSource. It paints straight into the window's first face layer. Renders are drafts
// (while dragging, shown at once without recomposing the window) or finals (recomposed); a
// reduced view gets one smoothing pass 200 ms after its last final render.
//
// Notifications: 320 zoom changed (data: the level, uint8_t), 321 pointer moved (data: the image
// pixel as a Point, -1 before the image and 65535 past it), 322 final and 323 draft render done
// (data: the scroll position as a Point).
#pragma once

#include <cstdint>

#include "framework/core/qwf_mem.h"
#include "framework/ui/qwf_control.h"
#include "framework/ui/qwf_ruler.h"

class CQWF_CtrlScrollBar;
class CQWF_CtrlStaticImage;
class CQWF_Image;
class CQWF_Layer;

class CQWF_CtrlPreview : public CQWF_Control {
public:
    static constexpr uint32_t kPointerSlot = 1;
    static constexpr uint32_t kSmoothSlot = 2;
    static constexpr uint32_t kPointerMs = 200;
    static constexpr uint32_t kSmoothMs = 200;
    static constexpr uint8_t kMaxZoom = 8;
    static constexpr uint8_t kOneToOne = 4;
    static constexpr int32_t kScrollMargin = 50;
    static constexpr int32_t kNoPointer = 65535;

    struct Point {
        int32_t x;
        int32_t y;
    };

    CQWF_CtrlPreview();
    ~CQWF_CtrlPreview() override;

    QWF_Rect GetRect() override { return m_rect; }
    bool OnTimer(uint32_t slot) override;
    bool OnMouseMove(int32_t x, int32_t y, uint32_t modifiers) override;
    bool OnMouseDown(int32_t x, int32_t y, uint32_t modifiers) override;
    bool OnMouseUp(int32_t x, int32_t y, uint32_t modifiers) override;
    bool OnMouseWheel(int32_t x, int32_t y, uint32_t modifiers, int32_t steps) override;
    // The preview takes the mouse also while disabled.
    bool HitTestIfEnabled(int32_t x, int32_t y) override { return HitTest(x, y); }
    bool HitTest(int32_t x, int32_t y) override;
    bool OnChildNotify(int32_t code, int32_t index, const char* name, uint8_t kind, void* data) override;

    // Binds the preview to its window rectangle, the picture (RGB with alpha) and its companions
    // (each may be null): paints into the window's face layer 0, lays out, sets the bars and
    // starts the pointer watch. False when the picture is not RGB with alpha (nothing is shown
    // then) or memory runs out.
    bool SetSource(int32_t left, int32_t top, int32_t right, int32_t bottom, const CQWF_Image* image,
                   CQWF_CtrlScrollBar* vertical, CQWF_CtrlScrollBar* horizontal, CQWF_CtrlRuler* horizontalRuler,
                   CQWF_CtrlRuler* verticalRuler, CQWF_CtrlStaticImage* navigator);
    // Shows another picture of the source's size over the same rectangle and companions (the
    // rendered pieces); null shows the source again. The next render shows it.
    bool SetImage(int32_t left, int32_t top, int32_t right, int32_t bottom, const CQWF_Image* image);
    // The mark mask: one byte per picture pixel, rows of the stride; non-zero pixels are shown
    // hatched. Null clears it. Not owned; the next render uses it.
    void SetMarkMask(const uint8_t* mask, uint32_t stride);

    // Paints the view: a draft (final false) or a final render. The smooth pass is the preview's
    // own follow-up of a reduced final render; callers leave it false.
    void Render(bool final, bool smooth = false);
    // Zooms about a control point ((-1, -1): the centre), which moves to the centre; nothing
    // when the level stays and force is not set. Sends 320, then renders.
    void SetZoom(uint8_t level, int32_t x, int32_t y, bool final, bool force = false);
    void ZoomIn(int32_t x, int32_t y);
    void ZoomOut(int32_t x, int32_t y);
    // Stores the scroll position clamped to the layout's limits; with updateBars the bars follow.
    void SetScroll(int32_t x, int32_t y, bool updateBars);
    // Control point to picture pixel, unclamped (rounding down).
    Point WindowToImage(int32_t x, int32_t y) const;
    // The same with -1 before the picture and 65535 at or past its end.
    Point ClientToImage(int32_t x, int32_t y) const;
    void ScrollToNavigatorPoint(int32_t x, int32_t y);
    bool IsPanning() const { return m_panning; }

    // --- what the owner sets ---
    void SetResolution(double horizontal, double vertical)
    {
        m_resolutionX = horizontal;
        m_resolutionY = vertical;
    }
    void SetUnits(uint8_t units) { m_units = units; }
    uint8_t GetUnits() const { return m_units; }
    void SetLightened(bool lightened) { m_lightened = lightened; }
    bool IsLightened() const { return m_lightened; }
    // The checkerboard under transparent pixels and around the picture (0xAABBGGRR).
    void SetBackColours(uint32_t image1, uint32_t image2, uint32_t around1, uint32_t around2);
    void SetHatchColour(uint32_t colour) { m_hatch = colour; }

    // --- the view ---
    uint8_t GetZoom() const { return m_zoom; }
    Point GetScroll() const { return {m_scrollX, m_scrollY}; }
    Point GetScrollMin() const { return {m_minX, m_minY}; }
    Point GetScrollMax() const { return {m_maxX, m_maxY}; }
    QWF_Rect GetMargins() const { return {m_marginLeft, m_marginTop, m_marginRight, m_marginBottom}; }
    // The picture's size at the current zoom.
    Point GetZoomedSize() const;
    const CQWF_Image* GetImage() const { return m_image; }
    // The navigator frame and the thumbnail's place inside the navigator.
    QWF_Rect GetNavigatorFrame() const { return m_navFrame; }
    QWF_Rect GetThumbnailRect() const { return {m_thumbLeft, m_thumbTop, m_thumbRight, m_thumbBottom}; }
    Point GetPointer() const { return {m_pointerX, m_pointerY}; }

private:
    bool Bind(int32_t left, int32_t top, int32_t right, int32_t bottom, const CQWF_Image* image);
    void UpdateLayout();
    void UpdateScrollBars(bool render);
    void UpdateRulers();
    void DrawNavigator();
    void Paint();
    // A coordinate of the picture scaled to the zoom, and back.
    int32_t ToZoomed(int32_t v) const;
    int32_t Width() const { return m_rect.right - m_rect.left; }
    int32_t Height() const { return m_rect.bottom - m_rect.top; }

    double m_resolutionY = 0;
    double m_resolutionX = 0;
    uint8_t m_units = QWF_UNITS_PIXELS;
    bool m_lightened = false;
    uint32_t m_back[4] = {0xFFFFFFFFu, 0xFFC0C0C0u, 0xFFCCCCCCu, 0xFFC8C8C8u};
    QWF_Rect m_rect{0, 0, 0, 0};
    CQWF_Layer* m_target = nullptr;
    const CQWF_Image* m_image = nullptr;
    const CQWF_Image* m_source = nullptr;
    CQWF_CtrlScrollBar* m_vbar = nullptr;
    CQWF_CtrlScrollBar* m_hbar = nullptr;
    CQWF_CtrlRuler* m_hruler = nullptr;
    CQWF_CtrlRuler* m_vruler = nullptr;
    CQWF_CtrlStaticImage* m_navigator = nullptr;
    QWF_Rect m_navRect{0, 0, 0, 0};
    uint8_t* m_navPixels = nullptr;
    bool m_navDragging = false;
    int32_t m_navVisibleW = 0;
    int32_t m_navVisibleH = 0;
    int32_t m_thumbLeft = 0;
    int32_t m_thumbTop = 0;
    int32_t m_thumbRight = 0;
    int32_t m_thumbBottom = 0;
    QWF_Rect m_navFrame{0, 0, 0, 0};
    uint8_t m_zoom = kOneToOne;
    int32_t m_scrollX = 0;
    int32_t m_scrollY = 0;
    int32_t m_minX = 0;
    int32_t m_minY = 0;
    int32_t m_maxX = 0;
    int32_t m_maxY = 0;
    int32_t m_marginLeft = 0;
    int32_t m_marginRight = 0;
    int32_t m_marginTop = 0;
    int32_t m_marginBottom = 0;
    bool m_panning = false;
    int32_t m_panMouseX = 0;
    int32_t m_panMouseY = 0;
    int32_t m_panScrollX = 0;
    int32_t m_panScrollY = 0;
    bool m_renderSinceBarUpdate = true;
    bool m_acceptBars = true;
    bool m_fullRedrawOwed = true;
    int32_t m_pointerX = kNoPointer;
    int32_t m_pointerY = kNoPointer;
    CQWF_Mem m_rows;
    uint32_t* m_row[4] = {};
    bool m_smooth = false;
    const uint8_t* m_mask = nullptr;
    uint32_t m_maskStride = 0;
    uint32_t m_hatch = 0xFF0000FFu;
    bool m_pointerWatch = false;
};
