// The ruler along the top or the left of the image preview: a static image whose skin element
// gives the colours, and whose alpha plane the ruler rewrites with tick marks, number labels and
// a dotted mark at the pointer. What it shows comes in a small view record from the preview.
#pragma once

#include <cstdint>

#include "framework/ui/qwf_static.h"

class CQWF_Font;

// Units of the rulers and the preview.
inline constexpr uint8_t QWF_UNITS_PIXELS = 1;
inline constexpr uint8_t QWF_UNITS_INCHES = 2;
inline constexpr uint8_t QWF_UNITS_CM = 3;
inline constexpr uint8_t QWF_UNITS_MM = 4;
inline constexpr uint8_t QWF_UNITS_PERCENT = 5;

// What a ruler shows. A line is one screen pixel along the ruler.
struct QWF_RulerView {
    uint8_t units = QWF_UNITS_PIXELS;
    uint16_t lead = 0;         // blank lines before the image starts
    uint16_t trail = 0;        // blank lines after it ends
    uint16_t innerMargin = 0;  // blank pixels across the ruler before the tick area
    uint16_t outerMargin = 0;  // and after it
    int8_t zoomShift = 0;      // the preview's scale is 2^zoomShift
    uint32_t first = 0;        // image coordinate at the first line after the lead
    uint8_t phase = 0;         // magnified: screen pixels of the first image pixel scrolled away
    uint16_t pointer = 0xFFFF; // line of the pointer mark; at or past the length: none
    double scale = 0;          // pixels per inch (units 2 to 4), image size in pixels (units 5)

    bool operator==(const QWF_RulerView&) const = default;
};

class CQWF_CtrlRuler : public CQWF_CtrlStaticImage {
public:
    static constexpr int32_t kMaxLabels = 100;
    static constexpr uint8_t kLabelTick = 15;

    CQWF_CtrlRuler();
    ~CQWF_CtrlRuler() override;

    // Draws the marks of the current view into the element and repaints it.
    void Redraw() override;

    void SetFont(CQWF_Font* font) { m_font = font; }
    void SetView(const QWF_RulerView& view, bool redraw);
    const QWF_RulerView& GetView() const { return m_view; }
    bool HasView() const { return m_hasView; }
    bool IsVertical() const;
    // Length along the ruler and breadth across it, in pixels.
    int32_t GetLength() const;
    int32_t GetBreadth() const;
    // The alpha of the element at a line and a pixel across it (for checks).
    uint8_t AlphaAt(int32_t line, int32_t across) const;

private:
    // The tick length (0 none) and the label of each line between lead and trail, as the view
    // asks: in image pixels or in units.
    void PixelTicks(int32_t count, uint8_t* ticks, int64_t* labels) const;
    bool UnitTicks(int32_t count, uint8_t* ticks, int64_t* labels) const;
    void DrawMarks();
    uint8_t* Alpha();
    uint8_t& At(int32_t line, int32_t across);
    void DrawLabel(int32_t line, int64_t value);

    CQWF_Font* m_font = nullptr;
    QWF_RulerView m_view;
    bool m_hasView = false;
};
