#include "framework/ui/qwf_editline.h"
#include "framework/ui/qwf_slider.h"
#include "framework/ui/qwf_static.h"
#include "plugin/core/piece_effects.h"
#include "plugin/windows/effect_window.h"
#include "plugin/windows/whole_number.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

using namespace qwfx;

namespace {
constexpr int32_t kThumbOffset = 10;
// The hover zone remembered from one bevel window to the next: 0 none, 1 the light zone, 2 the
// highlight swatch, 3 the shadow swatch.
int g_hoverZone = 0;
const char* const kZoneNames[4] = {"", "Zone_Bevel_3DLight", "Zone_Bevel_HLSwatch",
                                   "Zone_Bevel_SHSwatch"};

bool Inside(const QWF_Rect& r, int32_t x, int32_t y)
{
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

void SetNumberText(CQWF_CtrlEditLine* e, int32_t n, bool notify)
{
    if (!e)
        return;
    char text[16];
    std::snprintf(text, sizeof text, "%d", n);
    e->SetText(text, notify);
}
}  // namespace

CWndFX_Bevel::CWndFX_Bevel(CEffectHost* host) : CWndFX_Ranged(kBevel, host) {}

CQWF_CtrlEditLine* CWndFX_Bevel::EditAt(int32_t index) const
{
    return static_cast<CQWF_CtrlEditLine*>(Ctl(index));
}

bool CWndFX_Bevel::CreateMember()
{
    if (!CWndFX_Ranged::CreateMember())
        return false;
    if (!AddRectLayer("_HLColor", m_swatch[0], m_swatchRect[0], 0x000000FF) ||
        !AddRectLayer("_SHColor", m_swatch[1], m_swatchRect[1], 0x000000FF))
        return false;
    if (!LoadRect(Skin("_LightZone").GetBuffer(), m_zone))
        return false;
    m_cx = (m_zone.left + m_zone.right) * 0.5 + 1;
    m_cy = (m_zone.top + m_zone.bottom) * 0.5 + 1;
    const int32_t w = m_zone.right - m_zone.left, h = m_zone.bottom - m_zone.top;
    m_r = ((w < h ? w : h) + 3) * 0.5;
    if ((m_thumbControl = Add("FXBevel_LightThumb", QWF_CTRL_STATIC_IMAGE)) < 0)
        return false;
    CQWF_Layer* own = static_cast<CQWF_CtrlStaticImage*>(Ctl(m_thumbControl))->GetLayer();
    own->SetVisible(0);
    if (!m_thumb.CreateFrom(own->GetX(), own->GetY(), own, QWF_IMAGE_RGBA))
        return false;
    m_thumb.SetVisible(1);
    if (AddLayer(&m_thumb) < 0)
        return false;
    m_opacityEdit[0] = Add("_HLOpacity", QWF_CTRL_EDIT);
    m_opacityEdit[1] = Add("_SHOpacity", QWF_CTRL_EDIT);
    m_angleEdit = Add("_Angle", QWF_CTRL_EDIT);
    m_altEdit = Add("_Alt", QWF_CTRL_EDIT);
    m_opacitySlider[0] = Add("_HLOpacity", QWF_CTRL_SLIDER);
    m_opacitySlider[1] = Add("_SHOpacity", QWF_CTRL_SLIDER);
    for (int32_t i : {m_opacityEdit[0], m_opacityEdit[1], m_angleEdit, m_altEdit,
                      m_opacitySlider[0], m_opacitySlider[1]})
        if (i < 0)
            return false;
    for (int32_t i : {m_opacityEdit[0], m_opacityEdit[1], m_angleEdit, m_altEdit})
        SetUpEdit(i, false);
    return true;
}

void CWndFX_Bevel::GetBall(int32_t& x, int32_t& y) const
{
    x = m_ballX;
    y = m_ballY;
}

void CWndFX_Bevel::PlaceBall()
{
    PointFromLight(m_model.GetValue(0).light, m_cx, m_cy, m_r, m_ballX, m_ballY);
    m_thumb.SetPosition(static_cast<int16_t>(m_ballX - kThumbOffset),
                        static_cast<int16_t>(m_ballY - kThumbOffset));
    RepaintRect(QWF_Rect{m_zone.left - 15, m_zone.top - 15, m_zone.right + 15, m_zone.bottom + 15});
}

void CWndFX_Bevel::ShowAngles()
{
    int32_t angle = 0, altitude = 0;
    AnglesFromLight(m_model.GetValue(0).light, angle, altitude);
    SetNumberText(EditAt(m_angleEdit), angle, false);
    SetNumberText(EditAt(m_altEdit), altitude, false);
}

void CWndFX_Bevel::DrawLightSwatches()
{
    const PieceEffectRecord& v = m_model.GetValue(0);
    for (int k = 0; k < 2; ++k) {
        const uint8_t grey = k == 0 ? v.hlGrey : v.shGrey;
        const uint8_t* rgb = k == 0 ? v.hlRGB : v.shRGB;
        const uint32_t r = m_colourMode == 0 ? grey : rgb[0];
        const uint32_t g = m_colourMode == 0 ? grey : rgb[1];
        const uint32_t b = m_colourMode == 0 ? grey : rgb[2];
        m_swatch[k].Fill(0xFF000000u | b << 16 | g << 8 | r);
        RepaintRect(m_swatchRect[k]);
    }
}

void CWndFX_Bevel::SetOpacities(int which, int32_t percent)
{
    const uint8_t byte = PercentToByte(percent);
    for (int v = 0; v < 2; ++v) {
        PieceEffectRecord& r = m_model.Value(v);
        (which == 0 ? r.hlOpacity : r.shOpacity) = byte;
    }
    m_model.Invalidate();
}

void CWndFX_Bevel::ShowLoaded()
{
    CWndFX_Ranged::ShowLoaded();
    const PieceEffectRecord& v = m_model.GetValue(0);
    for (int k = 0; k < 2; ++k) {
        const int32_t percent = ByteToPercent(k == 0 ? v.hlOpacity : v.shOpacity);
        if (auto* s = static_cast<CQWF_CtrlSlider*>(Ctl(m_opacitySlider[k])))
            s->SetValue(static_cast<uint32_t>(percent), false);
        SetNumberText(EditAt(m_opacityEdit[k]), percent, false);
    }
    PlaceBall();
    ShowAngles();
    DrawLightSwatches();
}

void CWndFX_Bevel::ApplyToPreview()
{
    PieceEffectRecord r;
    m_model.GetPreviewSetting(r);
    JigEffectSet fx;
    qwjig::EffectsFromRecord(r, fx);
    if (!qwjig::RunBevel(m_fx, fx.bevel, SampleColours()))
        CopySample();
    RedrawPreview();
}

void CWndFX_Bevel::DragTo(int32_t x, int32_t y)
{
    LightFromPoint(x - m_cx, y - m_cy, m_r, m_model.Value(0).light);
    m_model.Invalidate();
    PlaceBall();
    ApplyToPreview();
    ShowAngles();
}

bool CWndFX_Bevel::OnLButtonDown(int32_t x, int32_t y, uint32_t flags)
{
    if (!m_created)
        return CWndFX_Ranged::OnLButtonDown(x, y, flags);
    const int32_t px = static_cast<int16_t>(x), py = static_cast<int16_t>(y);
    for (int k = 0; k < 2; ++k) {
        if (!Inside(m_swatchRect[k], px, py))
            continue;
        PieceEffectRecord& v = m_model.Value(0);
        uint8_t* colour = k == 0 ? &v.hlGrey : &v.shGrey;
        uint8_t picked[8] = {0, colour[1], colour[2], colour[3], 0, 0, 0, 0};
        if (m_host->PickColour(picked)) {
            std::memcpy(colour, picked, 8);
            m_model.Invalidate();
            DrawLightSwatches();
            ApplyToPreview();
            ScheduleUpdate(kStandardDelay);
        }
        return true;
    }
    const double dx = px - m_cx, dy = py - m_cy;
    if (std::sqrt(dx * dx + dy * dy) <= m_r + 5) {
        m_dragging = true;
        DragTo(px, py);
        return true;
    }
    return CWndFX_Ranged::OnLButtonDown(x, y, flags);
}

bool CWndFX_Bevel::OnMouseMove(int32_t x, int32_t y, uint32_t flags)
{
    const int32_t px = static_cast<int16_t>(x), py = static_cast<int16_t>(y);
    // Over a control (the value frame aside) the control's own hint shows.
    const CQWF_Control* over = GetHoverIndex() >= 0 ? Ctl(GetHoverIndex()) : nullptr;
    if (m_created && over && GetHoverIndex() != m_gfrm && GetHoverIndex() != m_thumbControl) {
        g_hoverZone = 0;
    } else if (m_created) {
        const int zone = Inside(m_zone, px, py)             ? 1
                         : Inside(m_swatchRect[0], px, py) ? 2
                         : Inside(m_swatchRect[1], px, py) ? 3
                                                           : 0;
        if (zone != g_hoverZone) {
            // Leaving a zone for no zone gives the window's own hint (the empty name).
            g_hoverZone = zone;
            CQWF_String text;
            m_host->GetHintText(kZoneNames[zone], "Effect", true, 255, text);
            SetStatusText(text.GetBuffer());
        }
    }
    if (m_dragging) {
        DragTo(px, py);
        return true;
    }
    return CWndFX_Ranged::OnMouseMove(x, y, flags);
}

bool CWndFX_Bevel::OnLButtonUp(int32_t x, int32_t y, uint32_t flags)
{
    if (m_dragging) {
        m_dragging = false;
        ScheduleUpdate(kStandardDelay);
        return true;
    }
    return CWndFX_Ranged::OnLButtonUp(x, y, flags);
}

bool CWndFX_Bevel::OnMemberNotify(int32_t code, const char* name, uint8_t kind, void* data)
{
    if (CWndFX_Ranged::OnMemberNotify(code, name, kind, data))
        return true;
    auto is = [&](int32_t index) {
        const CQWF_Control* c = Ctl(index);
        return c && c->GetKind() == kind && std::strcmp(c->GetName(), name) == 0;
    };
    for (int k = 0; k < 2; ++k) {
        if (is(m_opacitySlider[k]) &&
            (code == QWF_NOTIFY_VALUE || code == QWF_NOTIFY_VALUE_CHANGING)) {
            const auto position =
                static_cast<int32_t>(static_cast<CQWF_CtrlSlider*>(Ctl(m_opacitySlider[k]))->GetValue());
            SetNumberText(EditAt(m_opacityEdit[k]), position, false);
            SetOpacities(k, position);
            ApplyToPreview();
            if (code == QWF_NOTIFY_VALUE)
                ScheduleUpdate(kStandardDelay);
            return true;
        }
        if (is(m_opacityEdit[k]) && code == QWF_NOTIFY_TEXT) {
            const int32_t n = std::clamp(ReadWholeNumber(EditAt(m_opacityEdit[k])->GetText().GetBuffer()), 0, 100);
            static_cast<CQWF_CtrlSlider*>(Ctl(m_opacitySlider[k]))->SetValue(static_cast<uint32_t>(n), false);
            SetOpacities(k, n);
            ApplyToPreview();
            return true;
        }
    }
    if ((is(m_angleEdit) || is(m_altEdit)) && code == QWF_NOTIFY_TEXT) {
        int32_t angle = 0, altitude = 0;
        AnglesFromLight(m_model.GetValue(0).light, angle, altitude);
        if (is(m_angleEdit))
            angle = std::clamp(ReadWholeNumber(EditAt(m_angleEdit)->GetText().GetBuffer()), 0, 359);
        else
            altitude = std::clamp(ReadWholeNumber(EditAt(m_altEdit)->GetText().GetBuffer()), 1, 90);
        LightFromAngles(angle, altitude, m_model.Value(0).light);
        LightFromAngles(angle, altitude, m_model.Value(1).light);
        m_model.Invalidate();
        PlaceBall();
        ApplyToPreview();
        return true;
    }
    return false;
}

int32_t CWndFX_Bevel::ReleaseFocus(int32_t index)
{
    const int32_t previous = CWndFX_Ranged::ReleaseFocus(index);
    if (!m_created)
        return previous;
    int32_t lo = 0, hi = 0;
    if (index == m_opacityEdit[0] || index == m_opacityEdit[1])
        hi = 100;
    else if (index == m_angleEdit)
        hi = 359;
    else if (index == m_altEdit)
        lo = 1, hi = 90;
    else
        return previous;
    CQWF_CtrlEditLine* e = EditAt(index);
    if (e) {
        SetNumberText(e, std::clamp(ReadWholeNumber(e->GetText().GetBuffer()), lo, hi), true);
        ScheduleUpdate(kStandardDelay);
    }
    return previous;
}
