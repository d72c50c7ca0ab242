#include "framework/imaging/qwf_image.h"
#include "framework/ui/qwf_editline.h"
#include "framework/ui/qwf_slider.h"
#include "plugin/core/piece_effects.h"
#include "plugin/windows/effect_window.h"
#include "plugin/windows/whole_number.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

using namespace qwfx;

namespace {
// The dials' line colours at alpha 0 (0xAABBGGRR).
constexpr uint32_t kDialColour[2] = {0x0075B3E7, 0x0038D900};
constexpr uint8_t kAlphaPlane = 8;
constexpr int kAngle = 0;

}  // namespace

CWndFX_MBlur::CWndFX_MBlur(CEffectHost* host) : CWndFX_Ranged(kMotionBlur, host) {}

int32_t CWndFX_MBlur::PositionOf(int param, int32_t number) const
{
    return param == kAngle ? SliderFromAngle(number) : CWndFX_Ranged::PositionOf(param, number);
}

int32_t CWndFX_MBlur::NumberOf(int param, int32_t position) const
{
    return param == kAngle ? AngleFromSlider(position) : CWndFX_Ranged::NumberOf(param, position);
}

bool CWndFX_MBlur::CreateMember()
{
    if (!AddRectLayer("_Dir1", m_dial[0], m_dialRect[0], kDialColour[0]) ||
        !AddRectLayer("_Dir2", m_dial[1], m_dialRect[1], kDialColour[1]))
        return false;
    if (!CWndFX_Ranged::CreateMember())
        return false;
    for (int v = 0; v < 2; ++v) {
        if ((m_angleEdit[v] = Add(v ? "_Dir2" : "_Dir1", QWF_CTRL_EDIT)) < 0)
            return false;
        SetUpEdit(m_angleEdit[v], true);
    }
    return true;
}

void CWndFX_MBlur::DrawDials()
{
    for (int v = 0; v < 2; ++v) {
        CQWF_Layer& dial = m_dial[v];
        if (dial.IsEmpty())
            continue;
        dial.Fill(0, kAlphaPlane);
        CQWF_ImageDrawing pen;
        if (pen.Attach(&dial)) {
            double x0, y0, x1, y1;
            DialSegment(m_model.GetNumber(v, kAngle), dial.GetWidth(), x0, y0, x1, y1);
            pen.DrawSegment(x0, y0, x1, y1, 4, 1, 1, 1);
        }
        RepaintRect(m_dialRect[v]);
    }
}

void CWndFX_MBlur::NumbersShown()
{
    // Both angles in their edit lines, and the dials: dial 1 while the angle is value 1's alone
    // or varies, dial 2 only while it varies.
    for (int v = 0; v < 2; ++v) {
        auto* e = static_cast<CQWF_CtrlEditLine*>(Ctl(m_angleEdit[v]));
        if (!e)
            continue;
        char text[16];
        std::snprintf(text, sizeof text, "%d", m_model.GetNumber(v, kAngle));
        e->SetText(text, false);
    }
    const bool varies = m_model.GetAdjust() && m_model.GetBox(kAngle);
    m_dial[0].SetVisible(!m_model.GetAdjust() || varies ? 1 : 0);
    m_dial[1].SetVisible(varies ? 1 : 0);
    DrawDials();
}

void CWndFX_MBlur::EnableParams(bool on)
{
    CWndFX_Ranged::EnableParams(on);
    NumbersShown();
}

void CWndFX_MBlur::ApplyToPreview()
{
    PieceEffectRecord r;
    m_model.GetPreviewSetting(r);
    JigEffectSet fx;
    qwjig::EffectsFromRecord(r, fx);
    if (!qwjig::RunMotionBlur(m_fx, fx.motionBlur))
        CopySample();
    RedrawPreview();
}

bool CWndFX_MBlur::OnMemberNotify(int32_t code, const char* name, uint8_t kind, void* data)
{
    if (CWndFX_Ranged::OnMemberNotify(code, name, kind, data))
        return true;
    if (kind != QWF_CTRL_EDIT || code != QWF_NOTIFY_TEXT)
        return false;
    for (int v = 0; v < 2; ++v) {
        auto* e = static_cast<CQWF_CtrlEditLine*>(Ctl(m_angleEdit[v]));
        if (!e || std::strcmp(e->GetName(), name) != 0)
            continue;
        const int32_t angle = std::clamp(ReadWholeNumber(e->GetText().GetBuffer()), -90, 90);
        if (CQWF_CtrlSlider* s = Slider(kAngle, v))
            s->SetValue(static_cast<uint32_t>(SliderFromAngle(angle)), false);
        m_model.SetNumber(v, kAngle, angle);
        DrawDials();
        ApplyToPreview();
        return true;
    }
    return false;
}

int32_t CWndFX_MBlur::ReleaseFocus(int32_t index)
{
    const int32_t previous = CWndFX_Ranged::ReleaseFocus(index);
    for (int v = 0; v < 2 && m_created; ++v) {
        if (index != m_angleEdit[v])
            continue;
        auto* e = static_cast<CQWF_CtrlEditLine*>(Ctl(index));
        if (!e)
            break;
        char text[16];
        std::snprintf(text, sizeof text, "%d",
                      std::clamp(ReadWholeNumber(e->GetText().GetBuffer()), -90, 90));
        e->SetText(text, true);
        ScheduleUpdate(kStandardDelay);
    }
    return previous;
}
