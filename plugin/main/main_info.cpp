#include "plugin/main/main_info.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {
double Resolution(double r)
{
    return r > 0.0 ? r : 72.0;
}

// A pixel length in the unit (percent: of size).
double Convert(double v, uint8_t units, double resolution, double size)
{
    const double r = Resolution(resolution);
    switch (units) {
    case kUnitInches:
        return v / r;
    case kUnitCentimetres:
        return v / (r / 2.54);
    case kUnitMillimetres:
        return v / (r / 25.4);
    case kUnitPercent:
        return size > 0.0 ? v * 100.0 / size : 0.0;
    default:
        return v;
    }
}

void LengthText(char* buf, size_t n, double v, uint8_t units)
{
    switch (units) {
    case kUnitInches:
        std::snprintf(buf, n, "%.2f (in)", v);
        break;
    case kUnitCentimetres:
        std::snprintf(buf, n, "%.2f (cm)", v);
        break;
    case kUnitMillimetres:
        std::snprintf(buf, n, "%.1f (mm)", v);
        break;
    case kUnitPercent:
        std::snprintf(buf, n, "%.1f (%%)", v);
        break;
    default:
        std::snprintf(buf, n, "%.1f (px)", v);
        break;
    }
}

// One coordinate of the position form.
void CoordText(char* buf, size_t n, const char* label, int32_t v, int32_t size, double resolution,
               uint8_t units)
{
    if (v == -1 || v == 65535) {
        std::snprintf(buf, n, "%s---", label);
        return;
    }
    if (units == kUnitPercent) {
        // A one-pixel side has its only pixel at 0 %.
        const double p = size > 1 ? static_cast<double>(v) / (size - 1) * 100.0 : 0.0;
        std::snprintf(buf, n, "%s%.1f (%%) (%d px)", label, p, v);
        return;
    }
    const char* word = nullptr;
    switch (units) {
    case kUnitInches:
        word = "inches";
        break;
    case kUnitCentimetres:
        word = "cm";
        break;
    case kUnitMillimetres:
        word = "mm";
        break;
    default:
        std::snprintf(buf, n, "%s%d pixels", label, v);
        return;
    }
    const double c = Convert(v, units, resolution, size);
    const char* format = c < 100.0 ? "%s%.2f %s (%d px)"
                                   : (c < 1000.0 ? "%s%.1f %s (%d px)" : "%s%.0f %s (%d px)");
    std::snprintf(buf, n, format, label, c, word, v);
}
}  // namespace

namespace {
// The largest coordinate below `size` whose value in the unit stays below `limit` (-1: none).
int32_t LastBelow(double limit, uint8_t units, double resolution, int32_t size)
{
    const double perPixel = Convert(1.0, units, resolution, size);
    if (!(perPixel > 0.0) || size < 1)
        return -1;
    double v = std::floor(limit / perPixel);
    while (v >= 0 && Convert(v, units, resolution, size) >= limit)
        --v;
    while (Convert(v + 1, units, resolution, size) < limit)  // a step or two: v starts at the limit
        ++v;
    return v < 0 ? -1 : static_cast<int32_t>(std::min<double>(v, size - 1));
}

// The widest text of one coordinate of the picture. Within each form of the number (two
// decimals below 100, one below 1000, none above) the last point has the most digits, in the
// value (which may round up) and in the pixels; each digit is measured as the font's widest.
int32_t WidestCoordinate(const char* label, const char* tail, int32_t size, double resolution, uint8_t units,
                         const InfoTextWidth& width)
{
    // Digits compared by their advance (a text's width ends at its last glyph's ink).
    char digit = '0';
    for (char d = '1'; d <= '9'; ++d) {
        const char one[3] = {d, ')', 0}, best[3] = {digit, ')', 0};
        if (width(one) > width(best))
            digit = d;
    }
    char text[96];
    CQWF_String shown;
    CoordText(text, sizeof text, label, -1, size, resolution, units);
    shown.Format("%s%s", text, tail);
    int32_t widest = width(shown.GetBuffer());
    const int32_t last[3] = {size - 1, LastBelow(100.0, units, resolution, size),
                             LastBelow(1000.0, units, resolution, size)};
    for (int32_t v : last) {
        if (v < 0)
            continue;
        CoordText(text, sizeof text, label, v, size, resolution, units);
        for (char* c = text; *c; ++c)
            if (*c >= '0' && *c <= '9')
                *c = digit;
        shown.Format("%s%s", text, tail);
        widest = std::max(widest, width(shown.GetBuffer()));
    }
    return widest;
}
}  // namespace

void InfoTabStops(const InfoImage& image, const InfoTextWidth& width, int32_t gap, int32_t stops[2])
{
    // The piece part follows " \t": the Y part ends with a blank.
    const int32_t x = WidestCoordinate("X: ", "", image.width, image.hResolution, image.units, width);
    const int32_t y = WidestCoordinate("Y: ", " ", image.height, image.vResolution, image.units, width);
    stops[0] = std::max(140, x + gap);
    stops[1] = std::max(300, stops[0] + y + gap);
}

void FormatGridLineInfo(CQWF_String& out, const InfoImage& image, const float* lines, int count,
                        int line, bool rowLine)
{
    out = "";
    if (!lines || line < 0 || line >= count)
        return;
    const double size = rowLine ? image.height : image.width;
    const double res = rowLine ? image.vResolution : image.hResolution;
    const double l = lines[line];
    const double prev = line > 0 ? lines[line - 1] : 0.0;
    const double next = line + 1 < count ? lines[line + 1] : 1.0;
    char pos[64], before[64], after[64];
    LengthText(pos, sizeof pos, Convert(l * size, image.units, res, size), image.units);
    LengthText(before, sizeof before, Convert((l - prev) * size, image.units, res, size),
               image.units);
    LengthText(after, sizeof after, Convert((next - l) * size, image.units, res, size),
               image.units);
    out.Format(rowLine ? "Position: %s Rows: %s | %s" : "Position: %s Columns: %s | %s", pos,
               before, after);
}

void FormatImageSizeInfo(CQWF_String& out, const InfoImage& image)
{
    const int32_t w = image.width, h = image.height;
    const double cw = Convert(w, image.units, image.hResolution, w);
    const double ch = Convert(h, image.units, image.vResolution, h);
    switch (image.units) {
    case kUnitInches:
        out.Format("Image Size (W x H): %.2f inches x %.2f inches (%d px x %d px)", cw, ch, w, h);
        break;
    case kUnitCentimetres:
        out.Format("Image Size (W x H): %.2f cm x %.2f cm (%d px x %d px)", cw, ch, w, h);
        break;
    case kUnitMillimetres:
        out.Format("Image Size (W x H): %.1f mm x %.1f mm (%d px x %d px)", cw, ch, w, h);
        break;
    default:
        out.Format("Image Size (W x H): %d pixels x %d pixels", w, h);
        break;
    }
}

void FormatPositionInfo(CQWF_String& out, const InfoImage& image, int32_t x, int32_t y)
{
    char xs[96], ys[96];
    CoordText(xs, sizeof xs, "X: ", x, image.width, image.hResolution, image.units);
    CoordText(ys, sizeof ys, "\tY: ", y, image.height, image.vResolution, image.units);
    out.Format("%s%s", xs, ys);
}

void AppendPieceInfo(CQWF_String& out, int32_t piece, int32_t pieceCount, bool knifeLines,
                     int32_t column, int32_t row)
{
    CQWF_String tail;
    if (piece < 0)
        tail.Format(" \tPiece: ??? (%d)", pieceCount);
    else if (piece == 0 && knifeLines)
        tail.Format(" \tPiece info: ID: %d (%d); Splitter", piece, pieceCount);
    else
        tail.Format(" \tPiece info: ID: %d (%d); Column: %d; Row: %d", piece, pieceCount, column,
                    row);
    out += tail;
}

void FormatProgressText(CQWF_String& out, const char* message, uint8_t percent)
{
    out.Format("%s %d%%\t", message ? message : "", percent);
    for (int i = 0; i < percent; ++i)
        out += 'I';
}

int ChooseMainCursor(const CursorQuery& q)
{
    const bool alt = (q.modifiers & 1) != 0;
    const bool shift = (q.modifiers & 2) != 0;
    const bool ctrl = (q.modifiers & 4) != 0;
    const bool space = (q.modifiers & 16) != 0;
    if (q.layoutMode && q.lineDrag)
        return q.lineDragRow ? 119 : 118;
    if (q.layoutMode && (q.inTopRuler || q.inLeftRuler)) {
        if (q.onMarker) {
            if (ctrl)
                return alt ? 121 : 115;
            if (shift)
                return 115;
            if (alt)
                return 115;
            return q.inTopRuler ? 118 : 119;
        }
        if (ctrl && shift)
            return q.canInsertLine ? 120 : 115;
        return 115;
    }
    if (!q.inPreview && !q.panning)
        return q.inNavigator ? 113 : 0;
    if ((space || q.panning) && !q.selectionDrag) {
        if (alt)
            return 111;
        if (ctrl)
            return 110;
        if (q.hScroll && q.vScroll)
            return 107;
        if (q.hScroll)
            return 109;
        if (q.vScroll)
            return 108;
        return 112;
    }
    if (!q.layoutMode) {
        if (q.piece < 0)
            return 114;
        if (q.pieceHidden)
            return 117;
        if (q.pieceTranslucent)
            return 116;
        return 115;
    }
    return 115;
}
