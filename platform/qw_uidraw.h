// Drawing for the few windows the platform draws itself (the message box, later menus): a
// picture in memory, rounded boxes and a toolkit font (DejaVu Sans rasterised once per process),
// in the program's palette.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/qw_winsys.h"

namespace qwp {

// The palette of the program's look (0xRRGGBB).
namespace palette {
constexpr uint32_t Face = 0x2E3138;
constexpr uint32_t Raised = 0x3A3E46;
constexpr uint32_t RaisedHover = 0x454A53;
constexpr uint32_t RaisedPressed = 0x2A2D33;
constexpr uint32_t Sunken = 0x24272C;
constexpr uint32_t BorderOuter = 0x1C1E22;
constexpr uint32_t BorderInner = 0x4A4F58;
constexpr uint32_t Text = 0xE6E8EB;
constexpr uint32_t TextSecondary = 0xA3A9B3;
constexpr uint32_t Accent = 0xF28C28;
constexpr uint32_t OnAccent = 0x1C1E22;
constexpr uint32_t CaptionTitle = 0xE6E8EB;
constexpr uint32_t Danger = 0xE5534B;
}  // namespace palette

// An RGB picture, rows top to bottom.
struct Canvas {
    Canvas(int32_t w, int32_t h, uint32_t colour);
    // Mixes the colour in with a coverage of 0..255.
    void Blend(int32_t x, int32_t y, uint32_t colour, uint32_t coverage);
    void Fill(int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t colour);
    // A box with round corners, anti-aliased (right and bottom exclusive).
    void FillRound(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t radius, uint32_t colour);
    void FillDisc(double cx, double cy, double radius, uint32_t colour);
    void Line(double x0, double y0, double x1, double y1, double width, uint32_t colour);

    int32_t width;
    int32_t height;
    std::vector<uint8_t> rgb;
};

// Coverage 0..255 of the pixel (x, y) by a box with round corners.
uint32_t RoundCoverage(int32_t x, int32_t y, int32_t left, int32_t top, int32_t right, int32_t bottom,
                       int32_t radius);

class UiFont {
public:
    bool Load(const char* face, uint32_t pixelSize);
    bool IsLoaded() const { return m_loaded; }
    // Pen advance of a Windows-1252 text.
    int32_t Width(const std::string& text) const;
    int32_t Ascent() const { return m_ascent; }
    int32_t LineHeight() const { return m_ascent + m_descent + 3; }
    void Draw(Canvas& canvas, int32_t x, int32_t baseline, const std::string& text, uint32_t colour) const;

private:
    struct Glyph {
        int8_t left = 0, spacing = 0, top = 0;
        uint8_t width = 0, height = 0;
        size_t offset = 0;
    };
    bool m_loaded = false;
    uint8_t m_first = 0, m_last = 0;
    Glyph m_glyphs[256];
    std::vector<uint8_t> m_block;
    int32_t m_ascent = 0;
    int32_t m_descent = 0;
};

// DejaVu Sans (or Bold) at 12 pixels, loaded on first use; an unloaded font when the face is
// missing (texts are then not drawn, the window still works).
const UiFont& ToolkitFont(bool bold);

// Shows the picture in the window (of its size).
bool PresentCanvas(WindowSystem& ws, WindowHandle window, const Canvas& canvas);

// The program's own message box, drawn with the toolkit font and run modally over its owner.
int32_t RunDrawnMessageBox(WindowSystem& ws, const MessageBoxRequest& request);

}  // namespace qwp
