#include "plugin/main/pieces_undo.h"

#include <cstring>

namespace {
// Bytes 0-89 of the record: the ten effects, selected and shown (row and column are the
// piece's own and never change).
constexpr size_t kStateBytes = 90;

PieceEffectRecord* Records(const CQWF_Mem& m)
{
    return reinterpret_cast<PieceEffectRecord*>(m.GetData());
}
}  // namespace

bool PieceNeedsRender(const JigPiece& p, bool rgb)
{
    const int a = kJigApplied;
    const int t = kJigToApply;
    // An effect differs when it is switched differently, or on in both with other settings.
    auto differs = [](uint8_t onA, uint8_t onT, bool params) {
        return onA != onT || (onA && params);
    };
    if (differs(p.opacity[a].on, p.opacity[t].on, p.opacity[a].value != p.opacity[t].value))
        return true;
    if (p.invert[a] != p.invert[t])
        return true;
    const JigImageOverlayFx& ia = p.imageOverlay[a];
    const JigImageOverlayFx& it = p.imageOverlay[t];
    if (differs(ia.on, it.on, ia.opacity != it.opacity || ia.layerChoice != it.layerChoice ||
                                  ia.layerId != it.layerId))
        return true;
    const JigColourOverlayFx& oa = p.colourOverlay[a];
    const JigColourOverlayFx& ot = p.colourOverlay[t];
    if (differs(oa.on, ot.on, oa.opacity != ot.opacity || std::memcmp(oa.rgb, ot.rgb, 3) != 0))
        return true;
    if (rgb) {
        const JigHslFx& ha = p.hsl[a];
        const JigHslFx& ht = p.hsl[t];
        if (differs(ha.on, ht.on, ha.hue != ht.hue || ha.saturation != ht.saturation ||
                                      ha.lightness != ht.lightness))
            return true;
    }
    if (differs(p.blur[a].on, p.blur[t].on, p.blur[a].radius != p.blur[t].radius))
        return true;
    const JigBrightContrastFx& ba = p.brightContrast[a];
    const JigBrightContrastFx& bt = p.brightContrast[t];
    if (differs(ba.on, bt.on, ba.brightness != bt.brightness || ba.contrast != bt.contrast))
        return true;
    const JigMotionBlurFx& ma = p.motionBlur[a];
    const JigMotionBlurFx& mt = p.motionBlur[t];
    if (differs(ma.on, mt.on, ma.angle != mt.angle || ma.distance != mt.distance))
        return true;
    const JigStrokeFx& sa = p.stroke[a];
    const JigStrokeFx& st = p.stroke[t];
    if (differs(sa.on, st.on, sa.opacity != st.opacity || sa.size != st.size ||
                                  std::memcmp(sa.rgb, st.rgb, 3) != 0))
        return true;
    const JigBevelFx& va = p.bevel[a];
    const JigBevelFx& vt = p.bevel[t];
    return differs(va.on, vt.on,
                   std::memcmp(va.light, vt.light, sizeof va.light) != 0 ||
                       va.hlOpacity != vt.hlOpacity || std::memcmp(va.hlRGB, vt.hlRGB, 3) != 0 ||
                       va.shOpacity != vt.shOpacity || std::memcmp(va.shRGB, vt.shRGB, 3) != 0 ||
                       va.size != vt.size || va.depth != vt.depth || va.soften != vt.soften);
}

bool CPiecesUndo::Begin(const CJigcrafter& engine, int32_t currentPiece)
{
    const int32_t n = engine.GetPieceCount();
    const size_t bytes = static_cast<size_t>(n) * sizeof(PieceEffectRecord);
    m_snapCount = -1;
    if (m_snapshot.GetSize() < bytes && !m_snapshot.Alloc(bytes)) {
        m_valid = false;
        return false;
    }
    for (int32_t i = 0; i < n; ++i)
        engine.PieceToRecord(i, Records(m_snapshot)[i]);
    m_snapCount = n;
    m_snapCurrent = currentPiece;
    return true;
}

bool CPiecesUndo::End(const CJigcrafter& engine, bool onlyIfChanged)
{
    const int32_t n = engine.GetPieceCount();
    if (m_snapCount < 0 || m_snapCount != n) {
        m_valid = false;
        return false;
    }
    if (onlyIfChanged) {
        bool changed = false;
        PieceEffectRecord now;
        for (int32_t i = 0; i < n && !changed; ++i) {
            engine.PieceToRecord(i, now);
            changed = std::memcmp(&now, &Records(m_snapshot)[i], kStateBytes) != 0;
        }
        if (!changed)
            return false;
    }
    // The snapshot becomes the state; the old state's block is the next snapshot's.
    m_state.Swap(m_snapshot);
    m_stateCount = n;
    m_stateCurrent = m_snapCurrent;
    m_snapCount = -1;
    m_valid = true;
    return true;
}

bool CPiecesUndo::Swap(CJigcrafter& engine, bool rgb, int32_t& currentPiece, CVisitor* visitor)
{
    const int32_t n = engine.GetPieceCount();
    if (!m_valid || m_stateCount != n)
        return true;
    PieceEffectRecord* stored = Records(m_state);
    for (int32_t i = 0; i < n; ++i) {
        JigPiece* p = engine.GetPiece(i);
        PieceEffectRecord now;
        engine.PieceToRecord(i, now);
        const PieceEffectRecord& was = stored[i];
        const bool selChanged = (now.selected != 0) != (was.selected != 0);
        const bool shownChanged = (now.shown != 0) != (was.shown != 0);
        p->selected = was.selected;
        engine.RecordToPiece(was, i);
        stored[i] = now;
        const bool render = PieceNeedsRender(*p, rgb);
        if (!render) {
            // Nothing that shows differs: the settings count as rendered.
            JigEffectSet fx;
            p->GetEffects(fx, kJigToApply);
            p->SetEffects(fx, kJigApplied);
        }
        if (visitor && !visitor->OnPieceSwapped(i, selChanged, shownChanged, render))
            return false;
    }
    const int32_t kept = m_stateCurrent;
    m_stateCurrent = currentPiece;
    currentPiece = kept;
    return true;
}
