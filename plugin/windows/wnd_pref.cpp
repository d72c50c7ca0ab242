#include "plugin/windows/wnd_pref.h"

#include "framework/ui/qwf_editline.h"
#include "platform/qw_winsys.h"

#include <string_view>

namespace {

const char* const kSwatchNames[CWnd_Pref::kSwatches] = {"Pref_TCB1", "Pref_TCB2", "Pref_TSolid",
                                                        "Pref_FCB1", "Pref_FCB2", "Pref_FSolid"};
// The hint zones of the swatches.
const char* const kSwatchZones[CWnd_Pref::kSwatches] = {"Zone_SwatchT",  "Zone_SwatchT",  "Zone_SwatchTS",
                                                        "Zone_SwatchF",  "Zone_SwatchF",  "Zone_SwatchFS"};
// The inner part of the preview shows the transparency, the frame around it the outside area.
constexpr int32_t kPreviewFrame = 22;
constexpr int32_t kCheckerCell = 8;

bool Inside(const QWF_Rect& r, int32_t x, int32_t y)
{
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

// The construction values; the main window overwrites them before the dialog opens.
ViewPreferences ConstructionValues()
{
    ViewPreferences v;
    v.onLoadZoom = 1;
    v.extAlphaSolid = 0;
    v.alphaSolid = 0;
    v.extAlphaColorSolid = 0xFFC8C8C8u;
    v.extAlphaColor1 = 0xFFC8C8C8u;
    v.extAlphaColor2 = 0xFFCCCCCCu;
    v.alphaColorSolid = 0xFFFFFFFFu;
    v.alphaColor1 = 0xFFC0C0C0u;
    v.alphaColor2 = 0xFFFFFFFFu;
    v.delKnifeOpacity = 50;
    return v;
}

}  // namespace

CWnd_Pref::CWnd_Pref(CDialogHost* host) : CDialogWindow(host), m_values(ConstructionValues()) {}

int32_t CWnd_Pref::Run(CQWF_Window* owner)
{
    if (!CreateFromSkin(kSkinName, -32000, -32000, owner, 0)) return -1;
    return RunModal();
}

uint32_t& CWnd_Pref::SwatchColour(int swatch)
{
    switch (swatch) {
    case kTCB1: return m_values.alphaColor1;
    case kTCB2: return m_values.alphaColor2;
    case kTSolid: return m_values.alphaColorSolid;
    case kFCB1: return m_values.extAlphaColor1;
    case kFCB2: return m_values.extAlphaColor2;
    default: return m_values.extAlphaColorSolid;
    }
}

bool CWnd_Pref::OnCreate(CQWF_LayerSet*, uint16_t, uint16_t)
{
    if (!LoadRect("Pref_Preview", m_previewRect)) return false;
    for (int k = 0; k < kSwatches; ++k)
        if (!LoadRect(kSwatchNames[k], m_swatchRect[k])) return false;
    const int32_t editFont = LoadFont("Edit Font");
    const int32_t infoFont = LoadFont("Info Font");
    if (editFont < 0 || infoFont < 0) return false;
    m_opacity = AddEdit("Pref_DisOpacity", editFont, true, true);
    Add("Pref_CloseX", QWF_CTRL_BUTTON);
    Add("Pref_Cancel", QWF_CTRL_BUTTON);
    Add("Pref_Ok", QWF_CTRL_BUTTON);
    m_help = AddHelp("Pref_Help");
    m_fcb = Add("Pref_FCB", QWF_CTRL_RADIO);
    m_fsolid = Add("Pref_FSolid", QWF_CTRL_RADIO);
    m_tcb = Add("Pref_TCB", QWF_CTRL_RADIO);
    m_tsolid = Add("Pref_TSolid", QWF_CTRL_RADIO);
    AddText("Pref_Status", infoFont, 3, 0, 12, true);
    m_fit = Add("Pref_FitOnLoad", QWF_CTRL_CHECKBOX);
    if (!AllAdded()) return false;
    CQWF_String text;
    text.Format("%d", qwpref::OpacityToPercent(m_values.delKnifeOpacity));
    Ctl<CQWF_CtrlEditLine>(m_opacity)->SetText(text.GetBuffer(), false);
    GetControl(m_fcb)->SetCheck(!m_values.extAlphaSolid, false);
    GetControl(m_fsolid)->SetCheck(m_values.extAlphaSolid != 0, false);
    GetControl(m_tcb)->SetCheck(!m_values.alphaSolid, false);
    GetControl(m_tsolid)->SetCheck(m_values.alphaSolid != 0, false);
    GetControl(m_fit)->SetCheck(m_values.onLoadZoom != 0, false);
    auto makeLayer = [&](CQWF_Layer& layer, const QWF_Rect& r) {
        if (!layer.SetRect(r.left, r.top, r.right, r.bottom, QWF_IMAGE_RGBA)) return false;
        layer.SetOpacity(255);
        return AddLayer(&layer) >= 0;
    };
    if (!makeLayer(m_preview, m_previewRect)) return false;
    m_preview.Fill(0);
    for (int k = 0; k < kSwatches; ++k)
        if (!makeLayer(m_swatch[k], m_swatchRect[k])) return false;
    m_created = true;
    FillSwatches();
    StartStatus();
    DrawPreview();
    return true;
}

void CWnd_Pref::FillSwatches()
{
    for (int k = 0; k < kSwatches; ++k) {
        m_swatch[k].Fill(SwatchColour(k) | 0xFF000000u);
        const QWF_Rect& r = m_swatchRect[k];
        InvalidateRect(r.left, r.top, r.right, r.bottom);
        Redraw(r);
    }
}

void CWnd_Pref::DrawPreview()
{
    if (!m_created) return;
    uint32_t a = 0, b = 0;
    qwpref::OutsideColours(m_values, a, b);
    const QWF_Rect& p = m_previewRect;
    const int32_t w = p.right - p.left, h = p.bottom - p.top;
    m_preview.FillChecker(kCheckerCell, kCheckerCell, a | 0xFF000000u, b | 0xFF000000u);
    qwpref::TransparencyColours(m_values, a, b);
    if (w > 2 * kPreviewFrame && h > 2 * kPreviewFrame)
        m_preview.FillChecker(kCheckerCell, kCheckerCell, a | 0xFF000000u, b | 0xFF000000u,
                              {kPreviewFrame, kPreviewFrame, w - kPreviewFrame, h - kPreviewFrame});
    InvalidateRect(p.left, p.top, p.right, p.bottom);
    Redraw(p);
}

int CWnd_Pref::SwatchAt(int32_t x, int32_t y) const
{
    for (int k = 0; k < kSwatches; ++k)
        if (Inside(m_swatchRect[k], x, y)) return k;
    return -1;
}

const char* CWnd_Pref::ZoneAt(int32_t x, int32_t y) const
{
    if (Inside(m_previewRect, x, y)) return "Zone_Preview";
    const int k = SwatchAt(x, y);
    return k < 0 ? "" : kSwatchZones[k];
}

bool CWnd_Pref::OnLButtonDown(int32_t x, int32_t y, uint32_t)
{
    const int k = SwatchAt(x, y);
    if (k < 0 || !m_host) return true;
    // The picker takes the mouse: the press ends here, so that its release is not awaited.
    m_buttonDown = 0;
    if (qwp::WS().GetCapture() == GetHWND()) qwp::WS().ReleaseCapture();
    uint32_t colour = SwatchColour(k);
    if (!m_host->PickColor(colour)) return true;
    SwatchColour(k) = colour;
    FillSwatches();
    // Picking a colour chooses that swatch's kind.
    const int32_t radio = k == kTCB1 || k == kTCB2 ? m_tcb
                          : k == kTSolid           ? m_tsolid
                          : k == kFCB1 || k == kFCB2 ? m_fcb
                                                     : m_fsolid;
    if (!GetControl(radio)->GetCheck())
        GetControl(radio)->SetCheck(true, true);
    DrawPreview();
    return true;
}

int32_t CWnd_Pref::ReleaseFocus(int32_t index)
{
    const int32_t previous = CDialogWindow::ReleaseFocus(index);
    if (index == m_opacity) {
        auto* edit = Ctl<CQWF_CtrlEditLine>(m_opacity);
        CQWF_String text;
        text.Format("%d", qwpref::LimitPercent(edit->GetText().GetBuffer()));
        if (edit->GetText() != text.GetBuffer()) edit->SetText(text.GetBuffer(), true);
    }
    return previous;
}

bool CWnd_Pref::OnKeyDown(uint32_t code, uint32_t)
{
    if (code == QWF_KEY_ENTER) {
        EndModal(kOk);
        return true;
    }
    if (code == QWF_KEY_ESCAPE) {
        EndModal(kCancel);
        return true;
    }
    return false;
}

bool CWnd_Pref::OnNotify(int32_t code, int32_t index, const char* name, uint8_t kind, void* data)
{
    if (code == QWF_NOTIFY_TEXT && index == m_opacity) {
        m_values.delKnifeOpacity = qwpref::OpacityFromPercentText(Ctl<CQWF_CtrlEditLine>(index)->GetText().GetBuffer());
        return true;
    }
    if (code != QWF_NOTIFY_CLICK) return CDialogWindow::OnNotify(code, index, name, kind, data);
    if (kind == QWF_CTRL_RADIO) {
        m_values.extAlphaSolid = GetControl(m_fsolid)->GetCheck() ? 1 : 0;
        m_values.alphaSolid = GetControl(m_tsolid)->GetCheck() ? 1 : 0;
        DrawPreview();
        return true;
    }
    if (kind == QWF_CTRL_CHECKBOX) {
        if (index == m_fit) m_values.onLoadZoom = GetControl(m_fit)->GetCheck() ? 1 : 0;
        return true;
    }
    const std::string_view n = name ? name : "";
    if (n == "Pref_Ok")
        EndModal(kOk);
    else if (n == "Pref_Cancel" || n == "Pref_CloseX")
        EndModal(kCancel);
    else if (index == m_help)
        ShowHelpMenu(m_help);
    return true;
}
