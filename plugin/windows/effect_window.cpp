#include "plugin/windows/effect_window.h"

#include "framework/core/qwf_storage.h"
#include "framework/ui/qwf_button.h"
#include "framework/ui/qwf_control.h"
#include "framework/ui/qwf_editline.h"
#include "framework/ui/qwf_slider.h"
#include "framework/ui/qwf_static.h"
#include "plugin/core/jigcrafter.h"
#include "plugin/core/piece_effects.h"
#include "plugin/main/main_commands.h"  // made from skin/accelerators.skin

#include <cstdio>
#include <cstring>

using namespace qwfx;

// Field, hover and focus backgrounds, the accent under selected text, a dimmed field; the text
// colours to match (the skin's palette).
const uint32_t kEffectEditColours[10] = {0xFF2C2724, 0xFF322C29, 0xFF2C2724, 0xFF288CF2,
                                         0x782C2724, 0xFFEBE8E6, 0xFFEBE8E6, 0xFFFFFFFF,
                                         0xFF221E1C, 0xFF7A716B};

namespace {
// The radios in the order GetDirection tests them, with their directions.
const char* const kRadioSuffix[8] = {"_AT", "_ATL", "_AL", "_ABL", "_AB", "_ABR", "_AR", "_ATR"};
const int kRadioDirection[8] = {2, 1, 8, 7, 6, 5, 4, 3};
// Accelerator commands the main window still takes while an effect window is open.
bool IsForwardedCommand(int32_t id)
{
    switch (id) {
    case qwcmd::kShowExtras:
    case qwcmd::kShowExtras2:
    case qwcmd::kFitOnPreview:
    case qwcmd::kZoomIn:
    case qwcmd::kZoomInKeypad:
    case qwcmd::kZoomOut:
    case qwcmd::kZoomOutKeypad: return true;
    default: return false;
    }
}

bool Intersect(const QWF_Rect& a, const QWF_Rect& b, QWF_Rect& out)
{
    out.left = a.left > b.left ? a.left : b.left;
    out.top = a.top > b.top ? a.top : b.top;
    out.right = a.right < b.right ? a.right : b.right;
    out.bottom = a.bottom < b.bottom ? a.bottom : b.bottom;
    return out.right > out.left && out.bottom > out.top;
}
}  // namespace

CWndFX_Base::CWndFX_Base(Effect effect, CEffectHost* host) : m_model(effect), m_host(host)
{
    m_name = m_model.Info().name;
}

CWndFX_Base::~CWndFX_Base() = default;

CQWF_String CWndFX_Base::SkinName() const
{
    CQWF_String s;
    s.Format("FX%s", m_name.GetBuffer());
    return s;
}

CQWF_String CWndFX_Base::Skin(const char* suffix) const
{
    CQWF_String s;
    s.Format("FX%s%s", m_name.GetBuffer(), suffix);
    return s;
}

int32_t CWndFX_Base::Add(const char* suffix, uint8_t kind)
{
    // Names that do not start with "_" are whole skin names (the bevel's light thumb).
    if (suffix[0] != '_')
        return AddControl(suffix, kind);
    return AddControl(Skin(suffix).GetBuffer(), kind);
}

void CWndFX_Base::Check(int32_t index, bool checked, bool notify)
{
    if (CQWF_Control* c = Ctl(index))
        c->SetCheck(checked, notify);
}

bool CWndFX_Base::Checked(int32_t index) const
{
    const CQWF_Control* c = Ctl(index);
    return c && c->GetCheck();
}

void CWndFX_Base::Enable(int32_t index, bool on)
{
    if (CQWF_Control* c = Ctl(index))
        if (c->IsEnabled() != on)
            c->SetEnabled(on);
}

bool CWndFX_Base::IsLivePreviewChecked() const { return Checked(m_livePreview); }

bool CWndFX_Base::AddRectLayer(const char* suffix, CQWF_Layer& layer, QWF_Rect& rect,
                               uint32_t colour)
{
    if (!LoadRect(Skin(suffix).GetBuffer(), rect) || rect.right <= rect.left ||
        rect.bottom <= rect.top)
        return false;
    if (!layer.SetRect(rect.left, rect.top, rect.right, rect.bottom, QWF_IMAGE_RGBA))
        return false;
    layer.Fill(colour);
    return AddLayer(&layer) >= 0;
}

void CWndFX_Base::RepaintRect(const QWF_Rect& r)
{
    InvalidateRect(r.left, r.top, r.right, r.bottom);
    Redraw(r);
}

void CWndFX_Base::SetUpEdit(int32_t index, bool negatives)
{
    CQWF_CtrlEditLine* e = static_cast<CQWF_CtrlEditLine*>(Ctl(index));
    if (!e)
        return;
    e->SetFont(GetFont(m_editFont));
    e->SetNumeric(true, negatives, false, false, 0, true);
    const uint32_t* c = kEffectEditColours;
    e->SetDrawParams(c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], c[8], c[9]);
}

bool CWndFX_Base::OnCreate(CQWF_LayerSet* face, uint16_t width, uint16_t height)
{
    if (!CQWF_Window::OnCreate(face, width, height) || !m_host || !m_host->GetEngine())
        return false;
    m_colourMode = m_host->GetColourMode();
    m_host->GetCheckerColours(m_checker[0], m_checker[1]);
    m_infoFont = LoadFont("Info Font");
    m_editFont = LoadFont("Edit Font");
    if (m_infoFont < 0 || m_editFont < 0)
        return false;
    if (!LoadRect(Skin("_Preview").GetBuffer(), m_previewRect))
        return false;
    const QWF_Rect& p = m_previewRect;
    if (p.right <= p.left || p.bottom <= p.top ||
        !m_checkerLayer.SetRect(p.left, p.top, p.right, p.bottom, QWF_IMAGE_RGBA) ||
        !m_previewLayer.SetRect(p.left, p.top, p.right, p.bottom, QWF_IMAGE_RGBA))
        return false;
    const int32_t w = p.right - p.left, h = p.bottom - p.top;
    for (int32_t y = 0; y < h; y += 4)
        for (int32_t x = 0; x < w; x += 4)
            m_checkerLayer.Fill(m_checker[((x / 4) + (y / 4)) & 1], 255,
                                QWF_Rect{x, y, x + 4 < w ? x + 4 : w, y + 4 < h ? y + 4 : h});
    m_previewLayer.Fill(0);
    if (AddLayer(&m_checkerLayer) < 0 || (m_previewLayerIndex = AddLayer(&m_previewLayer)) < 0)
        return false;

    m_gfrm = Add("_GFrm", QWF_CTRL_STATIC_IMAGE);
    m_object = Add("_Object", QWF_CTRL_STATIC_IMAGE);
    m_closeX = Add("_CloseX", QWF_CTRL_BUTTON);
    m_cancel = Add("_Cancel", QWF_CTRL_BUTTON);
    m_ok = Add("_Ok", QWF_CTRL_BUTTON);
    m_help = Add("_Help", QWF_CTRL_BUTTON);
    m_reset = Add("_Reset", QWF_CTRL_BUTTON);
    m_previewButton = Add("_Preview", QWF_CTRL_BUTTON);
    m_random = Add("_ARND", QWF_CTRL_BUTTON);
    for (int k = 0; k < 8; ++k)
        if ((m_radios[k] = Add(kRadioSuffix[k], QWF_CTRL_RADIO)) < 0)
            return false;
    m_livePreview = Add("_Preview", QWF_CTRL_CHECKBOX);
    m_adjust = Add("_AAdjust", QWF_CTRL_CHECKBOX);
    m_status = Add("_Status", QWF_CTRL_STATIC_TEXT);
    for (int32_t i : {m_gfrm, m_object, m_closeX, m_cancel, m_ok, m_help, m_reset,
                      m_previewButton, m_random, m_livePreview, m_adjust, m_status})
        if (i < 0)
            return false;
    auto* gfrm = static_cast<CQWF_CtrlStaticImage*>(Ctl(m_gfrm));
    auto* object = static_cast<CQWF_CtrlStaticImage*>(Ctl(m_object));
    gfrm->GetLayer()->SetVisible(0);
    object->GetLayer()->SetVisible(0);
    static_cast<CQWF_CtrlButton*>(Ctl(m_help))->SetNotifyOnPress(true);
    auto* status = static_cast<CQWF_CtrlStaticText*>(Ctl(m_status));
    status->SetTextFont(GetFont(m_infoFont));
    m_statusLine.Attach(status);

    // The sample: the object's picture over the preview rectangle. In a grayscale document its
    // colours become their average.
    QWF_Rect objectRect;
    const uint8_t* pixels = object->GetStateRect(1, objectRect);
    if (!pixels || !Intersect(m_previewRect, objectRect, m_sampleRect))
        return false;
    if (m_colourMode == 0) {
        CQWF_ImageFX gray;
        CQWF_Layer* layer = object->GetLayer();
        if (!gray.SetSourceImage(layer) || !gray.SetTargetImage(layer) || !gray.Desaturate())
            return false;
        object->Redraw(true);
    }
    if (!BindPreview())
        return false;

    int32_t snapCount = 0;
    const PieceEffectRecord* snaps = m_host->GetSnapshots(snapCount);
    if (!m_model.CollectTargets(*m_host->GetEngine(), snaps, snapCount) ||
        m_model.GetTargetCount() == 0)
        return false;
    if (m_model.GetTargetCount() == 1)
        Enable(m_adjust, false);

    uint8_t live = 1;
    if (CQWF_Storage* prefs = m_host->GetPreferences())
        prefs->GetByte(Skin("_MainPreview").GetBuffer(), live);
    Check(m_livePreview, live == 1, false);
    Enable(m_previewButton, live != 1);

    SetTimer(50, kBusyTimer);
    SetTimer(30, kStatusTimer);
    OnHoverControl(-1);

    if (!CreateMember())
        return false;
    EnableParams(false);
    m_created = 1;
    LoadFromPiece();
    return true;
}

bool CWndFX_Base::BindPreview()
{
    // Source: the object's own layer (grey already where the document is) over the sample
    // region; target: the preview layer over the same region.
    auto* object = static_cast<CQWF_CtrlStaticImage*>(Ctl(m_object));
    CQWF_Layer* layer = object ? object->GetLayer() : nullptr;
    if (!layer || layer->GetType() != QWF_IMAGE_RGBA)
        return false;
    const int16_t lx = layer->GetX(), ly = layer->GetY();
    const QWF_Rect& r = m_sampleRect;
    if (r.left < lx || r.top < ly || r.right > lx + layer->GetWidth() ||
        r.bottom > ly + layer->GetHeight())
        return false;
    uint8_t* src[5] = {};
    uint8_t* dst[5] = {};
    const size_t srcOffset = static_cast<size_t>(r.top - ly) * layer->GetWidth() + (r.left - lx);
    const size_t dstOffset = static_cast<size_t>(r.top - m_previewRect.top) *
                                 m_previewLayer.GetWidth() +
                             (r.left - m_previewRect.left);
    for (int k = 0; k < 4; ++k) {
        src[k] = layer->GetPlane(k) + srcOffset;
        dst[k] = m_previewLayer.GetPlane(k) + dstOffset;
    }
    const auto w = static_cast<uint16_t>(r.right - r.left);
    const auto h = static_cast<uint16_t>(r.bottom - r.top);
    return m_fx.SetSourcePlanes(src, layer->GetWidth(), 4, 1, w, h) &&
           m_fx.SetTargetPlanes(dst, m_previewLayer.GetWidth(), 4, 1, w, h);
}

bool CWndFX_Base::Close()
{
    if (m_host && m_host->IsRendering())
        return false;
    KillTimer(kStatusTimer);
    KillTimer(kRecomputeTimer);
    KillTimer(kBusyTimer);
    EnableCloseButtons(false);
    if (m_result == 1)
        Commit();
    else
        Revert();
    if (m_host)
        m_host->EndEffectPreview(m_result == 1);
    return CQWF_Window::Close();
}

void CWndFX_Base::RenderTargets(bool final)
{
    CQWF_Mem list;
    if (!list.Alloc(static_cast<size_t>(m_model.GetTargetCount()) * sizeof(int32_t)))
        return;
    int32_t* t = reinterpret_cast<int32_t*>(list.GetData());
    for (int32_t i = 0; i < m_model.GetTargetCount(); ++i)
        t[i] = m_model.GetTarget(i);
    m_host->RenderPieces(t, m_model.GetTargetCount(), final);
}

void CWndFX_Base::CopySample()
{
    const QWF_PlaneSet& s = m_fx.Source();
    const QWF_PlaneSet& d = m_fx.Target();
    for (int k = 0; k < 4; ++k)
        for (int32_t y = 0; y < s.height; ++y)
            if (s.planes[k] && d.planes[k])
                std::memcpy(d.planes[k] + static_cast<size_t>(y) * d.stride,
                            s.planes[k] + static_cast<size_t>(y) * s.stride,
                            static_cast<size_t>(s.width));
}

void CWndFX_Base::Commit()
{
    if (!m_created)
        return;
    m_model.WriteComputed(*m_host->GetEngine());
    RenderTargets(true);
    QWF_Rect r;
    if (GetWindowRect(r))
        m_host->SaveWindowPosition(SkinName().GetBuffer(), "MAIN", r.left, r.top);
    if (CQWF_Storage* prefs = m_host->GetPreferences())
        prefs->SetByte(Skin("_MainPreview").GetBuffer(), IsLivePreviewChecked() ? 1 : 0);
}

void CWndFX_Base::Revert()
{
    if (!m_created)
        return;
    m_model.WriteSnapshots(*m_host->GetEngine());
    RenderTargets(true);
}

void CWndFX_Base::LivePreview(bool forced)
{
    if (!m_created)
        return;
    if (!m_model.IsComputed())
        m_model.Compute();
    CJigcrafter* engine = m_host->GetEngine();
    if (IsLivePreviewChecked() || forced)
        m_model.WriteComputed(*engine);
    else
        m_model.WriteSnapshots(*engine);
    RenderTargets(false);
}

void CWndFX_Base::LoadFromPiece()
{
    m_model.LoadFromPiece(m_host->GetCurrentPiece());
    ShowLoaded();
    // Unchecking the adjust box reaches OnAdjustToggled only when it was checked.
    Check(m_adjust, false, true);
    ClearDirections();
    ScheduleUpdate(kStandardDelay);
}

void CWndFX_Base::EnableParams(bool on)
{
    if (!on) {
        SetActiveValue(0);
        ClearDirections();
    }
    m_model.SetAdjust(on);
    Enable(m_random, on);
    for (int32_t r : m_radios)
        Enable(r, on);
}

void CWndFX_Base::OnAdjustToggled(bool checked)
{
    EnableParams(checked);
    ScheduleUpdate(kStandardDelay);
}

void CWndFX_Base::OnDirectionChanged(int direction)
{
    (void)direction;
    ScheduleUpdate(kStandardDelay);
}

void CWndFX_Base::ScheduleUpdate(uint16_t delay)
{
    KillTimer(kRecomputeTimer);
    m_model.SetDirection(GetDirection());
    m_model.Compute();
    if (delay == 0) {
        if (IsLivePreviewChecked()) {
            EnableCloseButtons(false);
            LivePreview(false);
        }
        return;
    }
    SetTimer(delay == kStandardDelay ? 50 : delay, kRecomputeTimer);
}

int CWndFX_Base::GetDirection() const
{
    for (int k = 0; k < 8; ++k)
        if (Checked(m_radios[k]))
            return kRadioDirection[k];
    return 0;
}

void CWndFX_Base::ClearDirections()
{
    for (int32_t r : m_radios)
        Check(r, false, false);
    m_model.SetDirection(0);
}

void CWndFX_Base::SetActiveValue(int which)
{
    m_model.SetActive(which);
    if (auto* gfrm = static_cast<CQWF_CtrlStaticImage*>(Ctl(m_gfrm))) {
        gfrm->GetLayer()->SetVisible(which == 1 ? 1 : 0);
        RepaintRect(gfrm->GetRect());
    }
    ApplyToPreview();
    ShowValues(which);
}

void CWndFX_Base::SelectValue(int which)
{
    if (which != m_model.GetActive())
        SetActiveValue(which);
}

void CWndFX_Base::EnableCloseButtons(bool on)
{
    for (int32_t i : {m_ok, m_cancel, m_closeX}) {
        Enable(i, on);
        if (CQWF_Control* c = Ctl(i))
            RepaintRect(c->GetRect());
    }
}

void CWndFX_Base::RedrawPreview() { RepaintRect(m_previewRect); }

qwjig::ColourForm CWndFX_Base::SampleColours() const
{
    return m_colourMode == 0 ? qwjig::kGreyColour : qwjig::kRGBColour;
}

void CWndFX_Base::SetStatusText(const char* text)
{
    m_statusLine.SetText(text);
}

bool CWndFX_Base::OnTimer(uint32_t id)
{
    if (id == kStatusTimer) {
        m_statusLine.Tick();
        return true;
    }
    if (id == kRecomputeTimer) {
        KillTimer(kRecomputeTimer);
        if (IsLivePreviewChecked()) {
            EnableCloseButtons(false);
            LivePreview(false);
        }
        return true;
    }
    if (id == kBusyTimer) {
        const CQWF_Control* ok = Ctl(m_ok);
        const bool busy = m_host && m_host->IsRendering();
        if (ok && busy && ok->IsEnabled())
            EnableCloseButtons(false);
        else if (ok && !busy && !ok->IsEnabled())
            EnableCloseButtons(true);
        return true;
    }
    return CQWF_Window::OnTimer(id);
}

bool CWndFX_Base::OnKeyDown(uint32_t code, uint32_t modifiers)
{
    if (code == QWF_KEY_ENTER || code == QWF_KEY_ESCAPE) {
        m_result = code == QWF_KEY_ENTER ? 1 : 0;
        Close();
        return true;
    }
    return CQWF_Window::OnKeyDown(code, modifiers);
}

bool CWndFX_Base::OnHoverControl(int32_t index)
{
    if (!m_host)
        return true;
    const CQWF_Control* c = index >= 0 ? Ctl(index) : nullptr;
    CQWF_String text;
    m_host->GetHintText(c ? c->GetName() : "", "Effect", c ? c->IsEnabled() : true,
                        c ? c->GetKind() : 128, text);
    SetStatusText(text.GetBuffer());
    return true;
}

bool CWndFX_Base::OnNotify(int32_t code, int32_t index, const char* name, uint8_t kind, void* data)
{
    if (code == QWF_NOTIFY_COMMAND)  // an accelerator: the command id comes as the index
        return IsForwardedCommand(index) && m_host && m_host->ForwardCommand(index);
    if (code == QWF_NOTIFY_MENU) {
        // The member's own menus first, then the Help menu.
        if (!OnMemberNotify(code, name, kind, data) && data && m_host)
            m_host->OnHelpCommand(*static_cast<uint16_t*>(data), *this);
        return true;
    }
    if (!m_created)
        return true;
    if (index == m_adjust && code == QWF_NOTIFY_CLICK) {
        OnAdjustToggled(Checked(m_adjust));
        return true;
    }
    if (index == m_livePreview && code == QWF_NOTIFY_CLICK) {
        Enable(m_previewButton, !Checked(m_livePreview));
        LivePreview(false);
        return true;
    }
    if ((index == m_cancel || index == m_closeX || index == m_ok) && code == QWF_NOTIFY_CLICK) {
        m_result = index == m_ok ? 1 : 0;
        Close();
        return true;
    }
    if (index == m_reset && code == QWF_NOTIFY_CLICK) {
        Reset();
        return true;
    }
    if (index == m_help && code == QWF_NOTIFY_CLICK) {
        m_host->ShowHelpMenu(*this, 229, 30);
        return true;
    }
    if (index == m_random && code == QWF_NOTIFY_CLICK) {
        ClearDirections();
        OnDirectionChanged(0);
        return true;
    }
    if (index == m_previewButton && code == QWF_NOTIFY_CLICK) {
        LivePreview(true);
        return true;
    }
    for (int k = 0; k < 8; ++k)
        if (index == m_radios[k] && code == QWF_NOTIFY_CLICK) {
            OnDirectionChanged(kRadioDirection[k]);
            return true;
        }
    OnMemberNotify(code, name, kind, data);
    return true;
}

// ---- windows of numbers on slider pairs --------------------------------------------------------

namespace {
const CWndFX_Ranged::Control kBcControls[] = {
    {"_ABrightness", "_Bright", "_Bright1", "_Bright2", "_RangeBright", 100, 200, true, false},
    {"_AContrast", "_Contrast", "_Contrast1", "_Contrast2", "_RangeContrast", 100, 200, true,
     false}};
const CWndFX_Ranged::Control kBlurControls[] = {
    {nullptr, "_Radius", "_Radius", "_Radius2", "_RangeRadius", 0, 100, false, false}};
const CWndFX_Ranged::Control kOpacityControls[] = {
    {nullptr, "_Opacity", "_Opacity", "_Opacity2", "_RangeOpacity", 0, 100, false, false}};
const CWndFX_Ranged::Control kHslControls[] = {
    {"_AH", "_H", "_H1", "_H2", "_RangeH", 180, 360, true, false},
    {"_AS", "_S", "_S1", "_S2", "_RangeS", 100, 200, true, false},
    {"_AL", "_L", "_L1", "_L2", "_RangeL", 100, 200, true, false}};
const CWndFX_Ranged::Control kOverlayControls[] = {
    {"_AColor", nullptr, "_Color1", "_Color2", nullptr, 0, 0, false, true},
    {"_AOpacity", "_Opacity", "_Opacity", "_Opacity2", "_RangeOpacity", 0, 100, false, false}};
const CWndFX_Ranged::Control kStrokeControls[] = {
    {"_AColor", nullptr, "_Color1", "_Color2", nullptr, 0, 0, false, true},
    {"_AOpacity", "_Opacity", "_Opacity", "_Opacity2", "_RangeOpacity", 0, 100, false, false},
    {"_ASize", "_Size", "_Size", "_Size2", "_RangeSize", 0, 100, false, false}};

const CWndFX_Ranged::Control kBevelControls[] = {
    {"_ASize", "_Size", "_Size1", "_Size2", "_RangeSize", 0, 200, false, false},
    {"_ADepth", "_Depth", "_Depth1", "_Depth2", "_RangeDepth", 0, 999, false, false},
    {"_ASoften", "_Soften", "_Soften1", "_Soften2", "_RangeSoften", 0, 20, false, false}};
// The angle's edit lines are one per value (the window's own); its sliders run round the circle.
const CWndFX_Ranged::Control kMotionControls[] = {
    {"_AAngle", nullptr, "_Dir1", "_Dir2", nullptr, 0, 359, true, false},
    {"_ARadius", "_Radius", "_Radius1", "_Radius2", "_RangeRadius", 0, 100, false, false}};
const CWndFX_Ranged::Control kImageControls[] = {
    {nullptr, "_Opacity", "_Opacity", "_Opacity2", "_RangeOpacity", 0, 100, false, false}};

// Red at alpha 0; the band's columns get alpha 0x50.
constexpr uint32_t kBandColour = 0x000000FF;
constexpr uint32_t kBandAlpha = 0x50000000;
constexpr uint8_t kAlphaPlane = 8;
}  // namespace

CWndFX_Ranged::CWndFX_Ranged(Effect effect, CEffectHost* host) : CWndFX_Base(effect, host)
{
    switch (effect) {
    case kBrightContrast: m_controls = kBcControls, m_count = 2; break;
    case kOpacity: m_controls = kOpacityControls, m_count = 1; break;
    case kHsl: m_controls = kHslControls, m_count = 3; break;
    case kColourOverlay: m_controls = kOverlayControls, m_count = 2; break;
    case kStroke: m_controls = kStrokeControls, m_count = 3; break;
    case kBevel: m_controls = kBevelControls, m_count = 3; break;
    case kMotionBlur: m_controls = kMotionControls, m_count = 2; break;
    case kImageOverlay: m_controls = kImageControls, m_count = 1; break;
    default: m_controls = kBlurControls, m_count = 1; break;
    }
}

bool CWndFX_Ranged::IsPercent(int param) const
{
    const EffectInfo& info = m_model.Info();
    return info.fields[info.params[param].firstField].percent;
}

int32_t CWndFX_Ranged::PositionOf(int param, int32_t number) const
{
    return IsPercent(param) ? ByteToPercent(static_cast<uint8_t>(number))
                            : number + m_controls[param].offset;
}

int32_t CWndFX_Ranged::NumberOf(int param, int32_t position) const
{
    return IsPercent(param) ? PercentToByte(position) : position - m_controls[param].offset;
}

int32_t CWndFX_Ranged::Shown(int param, int32_t number) const
{
    return IsPercent(param) ? ByteToPercent(static_cast<uint8_t>(number)) : number;
}

void CWndFX_Ranged::ShowNumber(int param, int which)
{
    char text[16];
    std::snprintf(text, sizeof text, "%d", Shown(param, m_model.GetNumber(which, param)));
    if (CQWF_CtrlEditLine* e = Edit(param))
        e->SetText(text, false);
}

CQWF_CtrlSlider* CWndFX_Ranged::Slider(int param, int which) const
{
    if (m_controls[param].colour)
        return nullptr;
    return static_cast<CQWF_CtrlSlider*>(Ctl(m_parts[param].slider[which & 1]));
}

CQWF_CtrlEditLine* CWndFX_Ranged::Edit(int param) const
{
    return static_cast<CQWF_CtrlEditLine*>(Ctl(m_parts[param].edit));
}

bool CWndFX_Ranged::CreateMember()
{
    for (int p = 0; p < m_count; ++p)
        if (!m_controls[p].colour && m_controls[p].range &&
            !AddRectLayer(m_controls[p].range, m_parts[p].band, m_parts[p].rangeRect, kBandColour))
            return false;
    for (int p = 0; p < m_count; ++p)
        if (m_controls[p].box && (m_parts[p].box = Add(m_controls[p].box, QWF_CTRL_CHECKBOX)) < 0)
            return false;
    for (int p = 0; p < m_count; ++p)
        if (m_controls[p].colour)
            for (int v = 0; v < 2; ++v) {
                const int32_t i = Add(v ? m_controls[p].slider2 : m_controls[p].slider1,
                                      QWF_CTRL_STATIC_IMAGE);
                if (i < 0)
                    return false;
                Ctl(i)->SetDisabledOpacity(50);
                m_parts[p].slider[v] = i;
            }
    for (int p = 0; p < m_count; ++p) {
        if (m_controls[p].colour || !m_controls[p].edit)
            continue;
        if ((m_parts[p].edit = Add(m_controls[p].edit, QWF_CTRL_EDIT)) < 0)
            return false;
        SetUpEdit(m_parts[p].edit, m_controls[p].negatives);
    }
    for (int p = 0; p < m_count; ++p)
        for (int v = 0; v < 2 && !m_controls[p].colour; ++v)
            if ((m_parts[p].slider[v] =
                     Add(v ? m_controls[p].slider2 : m_controls[p].slider1, QWF_CTRL_SLIDER)) < 0)
                return false;
    for (int p = 0; p < m_count; ++p)
        for (int v = 0; v < 2 && m_controls[p].colour; ++v)
            if (!AddRectLayer(v ? m_controls[p].slider2 : m_controls[p].slider1,
                              m_parts[p].swatch[v], m_parts[p].swatchRect[v], 0xFF000000))
                return false;
    if (m_model.GetEffect() == kOpacity) {
        // The opacity shows on the sample's own layer.
        m_previewLayer.SetVisible(0);
        static_cast<CQWF_CtrlStaticImage*>(Ctl(m_object))->GetLayer()->SetVisible(1);
    }
    return true;
}

void CWndFX_Ranged::DrawSwatches()
{
    for (int p = 0; p < m_count; ++p) {
        if (!m_controls[p].colour)
            continue;
        const Field* f = &m_model.Info().fields[m_model.Info().params[p].firstField];
        for (int v = 0; v < 2; ++v) {
            const PieceEffectRecord& r = m_model.GetValue(v);
            const uint8_t* b = reinterpret_cast<const uint8_t*>(&r);
            // Gray, red, green, blue: in a grayscale document the gray byte on all three.
            const uint32_t red = m_colourMode == 0 ? b[f[0].offset] : b[f[1].offset];
            const uint32_t green = m_colourMode == 0 ? b[f[0].offset] : b[f[2].offset];
            const uint32_t blue = m_colourMode == 0 ? b[f[0].offset] : b[f[3].offset];
            m_parts[p].swatch[v].Fill(0xFF000000 | blue << 16 | green << 8 | red);
            const CQWF_Control* c = Ctl(m_parts[p].slider[v]);
            m_parts[p].swatch[v].SetVisible(c && c->IsEnabled() ? 1 : 0);
            RepaintRect(m_parts[p].swatchRect[v]);
        }
    }
}

bool CWndFX_Ranged::OnLButtonDown(int32_t x, int32_t y, uint32_t flags)
{
    const int16_t px = static_cast<int16_t>(x), py = static_cast<int16_t>(y);
    for (int p = 0; p < m_count && m_created; ++p) {
        if (!m_controls[p].colour)
            continue;
        for (int v = 0; v < 2; ++v) {
            const QWF_Rect& r = m_parts[p].swatchRect[v];
            const CQWF_Control* c = Ctl(m_parts[p].slider[v]);
            if (!c || !c->IsEnabled() || px < r.left || px >= r.right || py < r.top ||
                py >= r.bottom)
                continue;
            const Field* f = &m_model.Info().fields[m_model.Info().params[p].firstField];
            const uint8_t* b = reinterpret_cast<const uint8_t*>(&m_model.GetValue(v));
            uint8_t colour[8] = {0};
            for (int k = 1; k <= 3; ++k)
                colour[k] = b[f[k].offset];
            if (m_host->PickColour(colour)) {
                m_model.SetColour(v, p, colour);
                DrawSwatches();
                ApplyToPreview();
                ScheduleUpdate(kStandardDelay);
            }
            SelectValue(v);
            return true;
        }
    }
    return CWndFX_Base::OnLButtonDown(x, y, flags);
}

void CWndFX_Ranged::DrawBands()
{
    for (int p = 0; p < m_count; ++p) {
        if (m_controls[p].colour || !m_controls[p].range)
            continue;
        CQWF_Layer& band = m_parts[p].band;
        const int32_t w = band.GetWidth(), h = band.GetHeight();
        band.Fill(0, kAlphaPlane);
        // The span of the two numbers themselves, not of the positions their sliders show.
        int32_t lo, hi;
        BandColumns(PositionOf(p, m_model.GetNumber(0, p)), PositionOf(p, m_model.GetNumber(1, p)),
                    m_controls[p].divisor, w, lo, hi);
        if (hi > lo)
            band.Fill(kBandAlpha, kAlphaPlane, QWF_Rect{lo, 0, hi, h});
        RepaintRect(m_parts[p].rangeRect);
    }
}

void CWndFX_Ranged::SliderMoved(int param, int which, bool dragging)
{
    // The user moved the slider: its position becomes the number.
    SelectValue(which);
    const int active = GetActiveValue();
    CQWF_CtrlSlider* s = Slider(param, active);
    const int32_t position = s ? static_cast<int32_t>(s->GetValue()) : 0;
    m_model.SetNumber(active, param, NumberOf(param, position));
    ShowNumber(param, active);
    DrawBands();
    NumbersShown();
    ApplyToPreview();
    // The opacities render at once when a slider is let go.
    const bool now = m_model.GetEffect() == kOpacity || m_model.GetEffect() == kImageOverlay;
    if (!dragging)
        ScheduleUpdate(now ? 0 : kStandardDelay);
}

bool CWndFX_Ranged::OnMemberNotify(int32_t code, const char* name, uint8_t kind, void* data)
{
    (void)data;
    for (int p = 0; p < m_count; ++p) {
        const Parts& part = m_parts[p];
        const CQWF_Control* box = Ctl(part.box);
        if (box && kind == QWF_CTRL_CHECKBOX && std::strcmp(name, box->GetName()) == 0) {
            const bool on = box->GetCheck();
            m_model.SetBox(p, on);
            Enable(part.slider[0], on);
            Enable(part.slider[1], on);
            m_parts[p].band.SetVisible(on ? 1 : 0);
            ApplyToPreview();
            DrawBands();
            DrawSwatches();
            NumbersShown();
            ScheduleUpdate(kStandardDelay);
            return true;
        }
        for (int v = 0; v < 2; ++v) {
            const CQWF_Control* s = Ctl(part.slider[v]);
            if (s && !m_controls[p].colour && kind == QWF_CTRL_SLIDER && std::strcmp(name, s->GetName()) == 0 &&
                (code == QWF_NOTIFY_VALUE || code == QWF_NOTIFY_VALUE_CHANGING)) {
                SliderMoved(p, v, code == QWF_NOTIFY_VALUE_CHANGING);
                return true;
            }
        }
        CQWF_CtrlEditLine* e = Edit(p);
        if (e && kind == QWF_CTRL_EDIT && code == QWF_NOTIFY_TEXT &&
            std::strcmp(name, e->GetName()) == 0) {
            // The typed number is the active value's; its slider shows the nearest position.
            const int32_t n = m_model.ClampTyped(p, e->GetText().GetBuffer());
            const int active = GetActiveValue();
            m_model.SetNumber(active, p, IsPercent(p) ? PercentToByte(n) : n);
            if (CQWF_CtrlSlider* s = Slider(p, active))
                s->SetValue(static_cast<uint32_t>(PositionOf(p, m_model.GetNumber(active, p))),
                            false);
            DrawBands();
            NumbersShown();
            ApplyToPreview();
            return true;
        }
    }
    return false;
}

int32_t CWndFX_Ranged::ReleaseFocus(int32_t index)
{
    const int32_t previous = CWndFX_Base::ReleaseFocus(index);
    for (int p = 0; p < m_count; ++p) {
        if (m_controls[p].colour || index != m_parts[p].edit)
            continue;
        CQWF_CtrlEditLine* e = Edit(p);
        if (!e)
            break;
        char text[16];
        std::snprintf(text, sizeof text, "%d", m_model.ClampTyped(p, e->GetText().GetBuffer()));
        e->SetText(text, true);
        ScheduleUpdate(kStandardDelay);
        break;
    }
    return previous;
}

void CWndFX_Ranged::ShowValues(int which)
{
    for (int p = 0; p < m_count; ++p)
        if (!m_controls[p].colour)
            ShowNumber(p, which);
    NumbersShown();
}

void CWndFX_Ranged::EnableParams(bool on)
{
    CWndFX_Base::EnableParams(on);
    for (int p = 0; p < m_count; ++p) {
        Parts& part = m_parts[p];
        if (part.box >= 0) {
            if (on) {
                Enable(part.box, true);
                Check(part.box, true, true);
            } else {
                Check(part.box, false, false);
                Enable(part.box, false);
            }
        }
        if (!on || part.box < 0) {
            Enable(part.slider[0], true);
            Enable(part.slider[1], on);
            if (m_controls[p].range)
                part.band.SetVisible(on ? 1 : 0);
        }
    }
    DrawBands();
    DrawSwatches();
    NumbersShown();
    ApplyToPreview();
}

void CWndFX_Ranged::ShowLoaded()
{
    for (int p = 0; p < m_count; ++p)
        for (int v = 1; v >= 0 && !m_controls[p].colour; --v)
            if (CQWF_CtrlSlider* s = Slider(p, v))
                s->SetValue(static_cast<uint32_t>(PositionOf(p, m_model.GetNumber(v, p))), false);
    ShowValues(0);
    DrawBands();
    DrawSwatches();
    NumbersShown();
    ApplyToPreview();
}

void CWndFX_Ranged::ApplyToPreview()
{
    PieceEffectRecord r;
    m_model.GetPreviewSetting(r);
    JigEffectSet fx;
    qwjig::EffectsFromRecord(r, fx);
    bool done = false;
    switch (m_model.GetEffect()) {
    case kBrightContrast: done = qwjig::RunBrightContrast(m_fx, fx.brightContrast); break;
    case kBlur: done = qwjig::RunBlur(m_fx, fx.blur); break;
    case kHsl: done = qwjig::RunHsl(m_fx, fx.hsl); break;
    case kOpacity:
        static_cast<CQWF_CtrlStaticImage*>(Ctl(m_object))->GetLayer()->SetOpacity(r.opValue);
        done = true;
        break;
    case kColourOverlay: done = qwjig::RunColourOverlay(m_fx, fx.colourOverlay, SampleColours()); break;
    case kStroke: done = qwjig::RunStroke(m_fx, fx.stroke, SampleColours()); break;
    default: break;
    }
    if (!done)
        CopySample();
    RedrawPreview();
}
