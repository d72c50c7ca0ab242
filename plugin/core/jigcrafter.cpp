// Cutting engine: construction, grid sizing, knot positions, progress and the piece records.
#include "plugin/core/jigcrafter.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/qw_memhint.h"
#include "plugin/core/piece_effect_record.h"
#include "plugin/core/piece_effects.h"

namespace {

void BuildDefaults(JigEffectSet& d)
{
    std::memset(&d, 0, sizeof d);
    d.colourOverlay.opacity = 255;
    qwpiece::SetColour(d.colourOverlay.grey, d.colourOverlay.rgb, d.colourOverlay.cmyk, 85, 255, 0, 0,
               255, 0, 0, 255);
    d.imageOverlay.opacity = 255;
    d.imageOverlay.layerChoice = 0;
    d.imageOverlay.layerId = -1;
    d.stroke.opacity = 255;
    d.stroke.size = 3;
    qwpiece::SetColour(d.stroke.grey, d.stroke.rgb, d.stroke.cmyk, 85, 255, 0, 0, 255, 0, 0, 255);
    d.opacity.value = 255;
    d.motionBlur.angle = 45;
    d.bevel.on = 1;
    // (-0.5, 0.8, 0.5) / sqrt(1.14), in single precision.
    const float len = std::sqrt(1.14f);
    d.bevel.light[0] = -0.5f / len;
    d.bevel.light[1] = 0.8f / len;
    d.bevel.light[2] = 0.5f / len;
    d.bevel.hlOpacity = 191;
    qwpiece::SetColour(d.bevel.hlGrey, d.bevel.hlRGB, d.bevel.hlCMYK, 255, 255, 255, 255, 255, 255, 255,
               255);
    d.bevel.shOpacity = 191;
    qwpiece::SetColour(d.bevel.shGrey, d.bevel.shRGB, d.bevel.shCMYK, 0, 0, 0, 0, 0, 0, 0, 255);
    d.bevel.size = 2;
    d.bevel.depth = 3;
    d.bevel.soften = 0;
    d.invert = 0;
}

}  // namespace

void JigPiece::SetEffects(const JigEffectSet& fx, int copy)
{
    colourOverlay[copy] = fx.colourOverlay;
    imageOverlay[copy] = fx.imageOverlay;
    stroke[copy] = fx.stroke;
    hsl[copy] = fx.hsl;
    opacity[copy] = fx.opacity;
    blur[copy] = fx.blur;
    motionBlur[copy] = fx.motionBlur;
    brightContrast[copy] = fx.brightContrast;
    bevel[copy] = fx.bevel;
    invert[copy] = fx.invert;
}

void JigPiece::GetEffects(JigEffectSet& fx, int copy) const
{
    fx.colourOverlay = colourOverlay[copy];
    fx.imageOverlay = imageOverlay[copy];
    fx.stroke = stroke[copy];
    fx.hsl = hsl[copy];
    fx.opacity = opacity[copy];
    fx.blur = blur[copy];
    fx.motionBlur = motionBlur[copy];
    fx.brightContrast = brightContrast[copy];
    fx.bevel = bevel[copy];
    fx.invert = invert[copy];
}

CJigcrafter::CJigcrafter()
{
    BuildDefaults(m_defaults);
}

CJigcrafter::~CJigcrafter()
{
    FreePieces();
    ReleasePieceMemory(false);
    ReleaseRenderStore(false);
}

bool CJigcrafter::SetGrid(int32_t columns, int32_t rows, int64_t extra)
{
    if (extra < 0 || extra > kJigMaxExtraKnives) return false;
    int32_t xl = columns - 1;
    int32_t yl = rows - 1;
    xl = xl < 0 ? 0 : (xl > kGridMaxLines ? kGridMaxLines : xl);
    yl = yl < 0 ? 0 : (yl > kGridMaxLines ? kGridMaxLines : yl);

    const uint16_t kpr = static_cast<uint16_t>(xl + 2);
    const uint16_t kr = static_cast<uint16_t>(yl + 2);
    const int32_t knots = static_cast<int32_t>(kpr) * kr;
    const int32_t rowKnives = xl * (yl + 1);
    const int32_t columnKnives = yl * (xl + 1);

    // Each block gets at least one byte so that a zero count still has a valid (empty) array.
    // A block that cannot grow leaves an empty layout behind, never counts beyond the blocks.
    if (!m_knots.AllocZeroed(static_cast<size_t>(knots) * 2 * sizeof(float)) ||
        !m_rowKnives.AllocZeroed(static_cast<size_t>(rowKnives) * sizeof(JigKnife) + 1) ||
        !m_columnKnives.AllocZeroed(static_cast<size_t>(columnKnives) * sizeof(JigKnife) + 1) ||
        !m_extraKnives.AllocZeroed(static_cast<size_t>(extra) * sizeof(JigExtraKnife) + 1)) {
        m_knots.Free();
        m_rowKnives.Free();
        m_columnKnives.Free();
        m_extraKnives.Free();
        m_xLineCount = m_yLineCount = 0;
        m_knotsPerRow = m_knotRows = 0;
        m_knotCount = 0;
        m_rowKnivesPerRow = m_rowKnifeRows = 0;
        m_rowKnifeCount = 0;
        m_columnKnivesPerLine = m_columnKnifeLines = 0;
        m_columnKnifeCount = 0;
        m_extraKnifeCount = 0;
        return false;
    }

    m_xLineCount = static_cast<uint16_t>(xl);
    m_yLineCount = static_cast<uint16_t>(yl);
    std::memset(m_xLines, 0, sizeof m_xLines);
    std::memset(m_yLines, 0, sizeof m_yLines);
    m_knotsPerRow = kpr;
    m_knotRows = kr;
    m_knotCount = knots;
    m_rowKnivesPerRow = static_cast<uint16_t>(xl);
    m_rowKnifeRows = static_cast<uint16_t>(yl + 1);
    m_rowKnifeCount = rowKnives;
    m_columnKnivesPerLine = static_cast<uint16_t>(xl + 1);
    m_columnKnifeLines = static_cast<uint16_t>(yl);
    m_columnKnifeCount = columnKnives;
    m_extraKnifeCount = static_cast<int32_t>(extra);
    return true;
}

void CJigcrafter::FreePieces()
{
    JigPiece* pieces = GetPieces();
    for (int32_t i = 0; i < m_pieceCount; ++i) {
        pieces[i].maskRuns = nullptr;
        pieces[i].work = nullptr;
    }
    m_pieceCount = 0;
    m_pieceCapacity = 0;
    m_pieces.Free();
    ReleasePieceMemory(true);
    ReleaseRenderStore(true);
}

namespace {
// Blocks of piece memory are this large at least; up to kKeepPieceBytes stay for the next cut.
constexpr size_t kSlabBytes = size_t{32} << 20;
constexpr size_t kKeepPieceBytes = size_t{2} << 30;
}  // namespace

uint8_t* CJigcrafter::PieceAlloc(size_t bytes)
{
    bytes = (bytes + 15) & ~size_t{15};
    if (bytes == 0) bytes = 16;
    CQWF_Mem** slabs = reinterpret_cast<CQWF_Mem**>(m_slabs.GetData());
    while (m_slabCurrent < m_slabCount) {
        CQWF_Mem* s = slabs[m_slabCurrent];
        if (s->GetSize() - m_slabOffset >= bytes) {
            uint8_t* p = s->GetData() + m_slabOffset;
            m_slabOffset += bytes;
            return p;
        }
        ++m_slabCurrent;
        m_slabOffset = 0;
    }
    if (static_cast<size_t>(m_slabCount + 1) * sizeof(CQWF_Mem*) > m_slabs.GetSize()) {
        const size_t n = static_cast<size_t>(m_slabCount) + 64;
        if (m_slabs.GetSize() == 0 ? !m_slabs.AllocZeroed(n * sizeof(CQWF_Mem*))
                                   : !m_slabs.Resize(n * sizeof(CQWF_Mem*)))
            return nullptr;
        slabs = reinterpret_cast<CQWF_Mem**>(m_slabs.GetData());
    }
    CQWF_Mem* s = new (std::nothrow) CQWF_Mem;
    if (!s || !s->Alloc(bytes > kSlabBytes ? bytes : kSlabBytes)) {
        delete s;
        return nullptr;
    }
    qwp::AdviseLargeBlock(s->GetData(), s->GetSize());
    slabs[m_slabCount] = s;
    m_slabCurrent = m_slabCount++;
    m_slabOffset = bytes;
    return s->GetData();
}

void CJigcrafter::ReleasePieceMemory(bool keep)
{
    CQWF_Mem** slabs = reinterpret_cast<CQWF_Mem**>(m_slabs.GetData());
    size_t total = 0;
    for (int32_t i = 0; i < m_slabCount; ++i) total += slabs[i]->GetSize();
    if (!keep || total > kKeepPieceBytes) {
        for (int32_t i = 0; i < m_slabCount; ++i) delete slabs[i];
        m_slabCount = 0;
        m_slabs.Free();
    }
    m_slabCurrent = 0;
    m_slabOffset = 0;
}

JigPiece* CJigcrafter::GetPiece(int32_t index)
{
    if (index < 0 || index >= m_pieceCount) return nullptr;
    return GetPieces() + index;
}

const JigPiece* CJigcrafter::GetPiece(int32_t index) const
{
    if (index < 0 || index >= m_pieceCount) return nullptr;
    return reinterpret_cast<const JigPiece*>(m_pieces.GetData()) + index;
}

void CJigcrafter::GetKnotPosition(int32_t column, int32_t row, double width, double height,
                                  double& x, double& y) const
{
    x = 0.0;
    y = 0.0;
    if (m_knotCount <= 0 || column < 0 || row < 0 || column >= m_knotsPerRow ||
        row >= m_knotRows)
        return;
    const float* knot = GetKnots() + 2 * (static_cast<int64_t>(row) * m_knotsPerRow + column);

    x = KnotCoordinate(m_xLines, m_xLineCount, column, knot[0]) * width;
    y = KnotCoordinate(m_yLines, m_yLineCount, row, knot[1]) * height;
}

bool CJigcrafter::SetProgress(double percent, double from, double to)
{
    if (!m_progress) return false;
    const float value = static_cast<float>(from + (to - from) * percent / 100.0);
    int v = static_cast<int>(value);
    if (v < 0) v = 0;
    if (v > 255) v = 255;
    if (static_cast<uint8_t>(v) == m_progress->GetLastPercent()) return false;
    m_progress->SetPercent(static_cast<uint8_t>(v));
    m_progress->SetLastPercent(static_cast<uint8_t>(v));
    return true;
}

void CJigcrafter::ShowError(const char* text, const char* caption)
{
    std::snprintf(m_lastMessage, sizeof m_lastMessage, "%s", text ? text : "");
    std::snprintf(m_lastCaption, sizeof m_lastCaption, "%s", caption ? caption : "");
    // No window owns the engine's messages; they go to the error stream of the host process.
    std::fprintf(stderr, "%s: %s\n", m_lastCaption, m_lastMessage);
}

namespace {
// One copy of a piece's effect settings into the effect fields of a record.
void EffectsToRecord(const JigEffectSet& fx, PieceEffectRecord& r)
{
    r.bcOn = fx.brightContrast.on;
    r.brightness = fx.brightContrast.brightness;
    r.contrast = fx.brightContrast.contrast;
    const JigBevelFx& b = fx.bevel;
    r.bevelOn = b.on;
    std::memcpy(r.light, b.light, sizeof r.light);
    r.hlOpacity = b.hlOpacity;
    r.hlGrey = b.hlGrey;
    std::memcpy(r.hlRGB, b.hlRGB, 3);
    std::memcpy(r.hlCMYK, b.hlCMYK, 4);
    r.shOpacity = b.shOpacity;
    r.shGrey = b.shGrey;
    std::memcpy(r.shRGB, b.shRGB, 3);
    std::memcpy(r.shCMYK, b.shCMYK, 4);
    r.bevelSize = b.size;
    r.bevelDepth = b.depth;
    r.bevelSoften = b.soften;
    r.blurOn = fx.blur.on;
    r.blurRadius = fx.blur.radius;
    const JigColourOverlayFx& o = fx.colourOverlay;
    r.ovOn = o.on;
    r.ovOpacity = o.opacity;
    r.ovGrey = o.grey;
    std::memcpy(r.ovRGB, o.rgb, 3);
    std::memcpy(r.ovCMYK, o.cmyk, 4);
    r.imgOn = fx.imageOverlay.on;
    r.imgOpacity = fx.imageOverlay.opacity;
    r.imgLayerChoice = fx.imageOverlay.layerChoice;
    r.layerId = fx.imageOverlay.layerId;
    const JigStrokeFx& s = fx.stroke;
    r.stOn = s.on;
    r.stOpacity = s.opacity;
    r.stSize = s.size;
    r.stGrey = s.grey;
    std::memcpy(r.stRGB, s.rgb, 3);
    std::memcpy(r.stCMYK, s.cmyk, 4);
    r.hslOn = fx.hsl.on;
    r.hue = fx.hsl.hue;
    r.saturation = fx.hsl.saturation;
    r.lightness = fx.hsl.lightness;
    r.mbOn = fx.motionBlur.on;
    r.mbAngle = fx.motionBlur.angle;
    r.mbDistance = fx.motionBlur.distance;
    r.opOn = fx.opacity.on;
    r.opValue = fx.opacity.value;
    r.invert = fx.invert;
}
}  // namespace

bool CJigcrafter::PieceToRecord(int32_t index, PieceEffectRecord& r, int copy) const
{
    const JigPiece* p = GetPiece(index);
    if (!p || (copy != kJigApplied && copy != kJigToApply)) return false;
    std::memset(&r, 0, sizeof r);
    JigEffectSet fx;
    p->GetEffects(fx, copy);
    EffectsToRecord(fx, r);
    r.selected = p->selected;
    r.shown = p->shown;
    // Row and column travel as bytes; grids never exceed 101 cells a side.
    r.row = static_cast<uint8_t>(p->row);
    r.column = static_cast<uint8_t>(p->column);
    return true;
}

void CJigcrafter::DefaultsToRecord(PieceEffectRecord& r) const
{
    std::memset(&r, 0, sizeof r);
    EffectsToRecord(m_defaults, r);
}

bool CJigcrafter::RecordToPiece(const PieceEffectRecord& r, int32_t index)
{
    JigPiece* p = GetPiece(index);
    if (!p) return false;
    JigEffectSet fx;
    qwjig::EffectsFromRecord(r, fx);
    p->SetEffects(fx, kJigToApply);
    p->shown = r.shown;
    return true;
}
