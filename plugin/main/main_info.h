// The main window's texts and pointer shapes, without a window: the info line (positions, sizes
// and piece information in the chosen unit), the progress form of the status line and the cursor
// of each zone.
#pragma once

#include "framework/core/qwf_string.h"

#include <cstdint>
#include <functional>

// Units of the info line, the preview and the rulers.
enum MainUnits : uint8_t {
    kUnitPixels = 1,
    kUnitInches = 2,
    kUnitCentimetres = 3,
    kUnitMillimetres = 4,
    kUnitPercent = 5
};

struct InfoImage {
    int32_t width;
    int32_t height;
    double hResolution;  // pixels per inch; 0 counts as 72
    double vResolution;
    uint8_t units;
};

// "Position: ... Rows: ... | ..." (a row line) or "... Columns: ..." while grid line `line` of
// `lines` is dragged.
void FormatGridLineInfo(CQWF_String& out, const InfoImage& image, const float* lines, int count,
                        int line, bool rowLine);
// "Image Size (W x H): ..."
void FormatImageSizeInfo(CQWF_String& out, const InfoImage& image);
// "X: ...\tY: ..."; -1 or 65535 is a coordinate outside the image.
void FormatPositionInfo(CQWF_String& out, const InfoImage& image, int32_t x, int32_t y);
// The piece under the point in Puzzle mode: none (-1), the knife lines (piece 0 while the
// engine's knife-lines flag is set) or a cell.
void AppendPieceInfo(CQWF_String& out, int32_t piece, int32_t pieceCount, bool knifeLines,
                     int32_t column, int32_t row);
// The width in pixels of a text in the line's font.
using InfoTextWidth = std::function<int32_t(const char*)>;
// The info line's two tab stops for the picture and unit: the Y part starts `gap` pixels after the
// widest X part a point of the picture gives, the piece part `gap` pixels after the widest Y
// part; never before 140 and 300.
void InfoTabStops(const InfoImage& image, const InfoTextWidth& width, int32_t gap, int32_t stops[2]);
// "MESSAGE P%\t" and one 'I' per percent point.
void FormatProgressText(CQWF_String& out, const char* message, uint8_t percent);

// The cursor of a point of the main window (ids 107 to 121), or 0 to leave it to the window.
struct CursorQuery {
    bool layoutMode;
    uint32_t modifiers;  // 1 Alt, 2 Shift, 4 Ctrl, 16 Space
    bool lineDrag;       // a grid line is dragged
    bool lineDragRow;
    bool inTopRuler;     // the strip of the column lines
    bool inLeftRuler;
    bool onMarker;       // a grid-line marker of that strip
    bool canInsertLine;  // a line could be inserted at the point
    bool inPreview;
    bool inNavigator;
    bool panning;
    bool selectionDrag;
    bool hScroll;  // the preview's scroll bars are enabled
    bool vScroll;
    // Puzzle mode: the piece under the point.
    int32_t piece;
    bool pieceHidden;
    bool pieceTranslucent;  // opacity on with a value other than 255
};
int ChooseMainCursor(const CursorQuery& q);
