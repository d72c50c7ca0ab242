#include "plugin/main/wnd_main.h"

#include "framework/imaging/qwf_font.h"
#include "framework/imaging/qwf_imagefx.h"
#include "framework/ui/qwf_app.h"
#include "framework/ui/qwf_control.h"
#include "framework/ui/qwf_editline.h"
#include "framework/ui/qwf_popupmenu.h"
#include "framework/ui/qwf_ruler.h"
#include "framework/ui/qwf_scrollbar.h"
#include "framework/ui/qwf_slider.h"
#include "framework/ui/qwf_static.h"
#include "plugin/core/qw_pluginmain.h"
#include "plugin/main/export_files.h"
#include "plugin/main/layout_transfer.h"
#include "plugin/main/message_box.h"
#include "plugin/main/preview_source.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr uint8_t kSlider = QWF_CTRL_SLIDER, kStaticImage = QWF_CTRL_STATIC_IMAGE,
                  kStaticText = QWF_CTRL_STATIC_TEXT, kButton = QWF_CTRL_BUTTON,
                  kCheck = QWF_CTRL_CHECKBOX, kEdit = QWF_CTRL_EDIT, kScrollBar = QWF_CTRL_SCROLLBAR,
                  kRuler = QWF_CTRL_RULER;
constexpr uint32_t kStatusTimer = 1;
constexpr const char* kMemoryMessage = "Memory allocation problem...";

// The controls of the window, in the order of creation.
struct ControlItem {
    const char* name;
    uint8_t kind;
};
const ControlItem kControls[] = {
    {"Main_Info", kStaticText},          {"Main_Status", kStaticText},
    {"Main_RulerTop", kRuler},           {"Main_RulerLeft", kRuler},
    {"Main_RulerCover_Top", kStaticImage}, {"Main_RulerCover_Left", kStaticImage},
    {"Main_ModeL", kStaticImage},        {"Main_ModeP", kStaticImage},
    {"Main_Show", kButton},              {"Main_Hide", kButton},
    {"Main_RevShowHide", kButton},       {"Main_ShowExtras", kButton},
    {"Main_HideExtras", kButton},        {"Main_Apply", kButton},
    {"Main_ApplyLM", kButton},           {"Main_Cancel", kButton},
    {"Main_Export", kButton},            {"Main_Relayout", kButton},
    {"Main_Help", kButton},              {"Main_CloseX", kButton},
    {"Main_Main", kButton},              {"Main_Select", kButton},
    {"Main_Adjust", kButton},            {"Main_Ruler", kButton},
    {"Main_AddKnives", kButton},         {"Main_DelKnives", kButton},
    {"Main_ResetKnots", kButton},        {"Main_RndKnots", kButton},
    {"Main_FXBevel", kCheck},            {"Main_FXBevel", kButton},
    {"Main_FXHSL", kCheck},              {"Main_FXHSL", kButton},
    {"Main_FXBC", kCheck},               {"Main_FXBC", kButton},
    {"Main_FXBlur", kCheck},             {"Main_FXBlur", kButton},
    {"Main_FXMBlur", kCheck},            {"Main_FXMBlur", kButton},
    {"Main_FXOpacity", kCheck},          {"Main_FXOpacity", kButton},
    {"Main_FXCOver", kCheck},            {"Main_FXCOver", kButton},
    {"Main_FXIOver", kCheck},            {"Main_FXIOver", kButton},
    {"Main_FXStroke", kCheck},           {"Main_FXStroke", kButton},
    {"Main_Zoom", kSlider},              {"Main_RndKnots", kSlider},
    {"Main_RndKnots", kEdit},            {"Main_ScrollV_Bottom", kButton},
    {"Main_ScrollV_TopNR", kButton},     {"Main_ScrollV_NR", kScrollBar},
    {"Main_ScrollH_Right", kButton},     {"Main_ScrollH_LeftNR", kButton},
    {"Main_ScrollH_NR", kScrollBar},     {"Main_Navigator", kStaticImage},
    {"Main_RndKnotsCover", kStaticImage}, {"Main_PiecesCover", kStaticImage},
};

const char* const kPuzzleControls[] = {"Main_Show", "Main_Hide", "Main_RevShowHide",
                                       "Main_Apply", "Main_Relayout"};
// Buttons of both modes that an open effect window locks: they would open a window or end the
// run behind it.
const char* const kLockedControls[] = {"Main_Export", "Main_Cancel", "Main_CloseX",
                                       "Main_Main",   "Main_Select", "Main_Adjust"};
const char* const kEffectNames[] = {"Main_FXBevel", "Main_FXHSL",     "Main_FXBC",
                                    "Main_FXBlur",  "Main_FXMBlur",   "Main_FXOpacity",
                                    "Main_FXCOver", "Main_FXIOver",   "Main_FXStroke"};
const char* const kLayoutControls[] = {"Main_ApplyLM", "Main_DelKnives", "Main_ResetKnots"};
}  // namespace

// The layout model's surroundings in the window.
class CWnd_Main::CLayoutSink : public CLayoutPluginSink {
public:
    explicit CLayoutSink(CWnd_Main& w) : m_w(w) {}
    void EnableControl(const char* name, bool enabled) override { m_w.EnableControl(name, enabled); }
    void CutterShowTipsSize(int value, bool mixed) override
    {
        if (m_w.m_cutter)
            m_w.m_cutter->ShowTipsSize(value, mixed);
    }
    void CutterShowKnifeThickness(int value, bool mixed, bool razor) override
    {
        if (m_w.m_cutter)
            m_w.m_cutter->ShowKnifeThickness(value, mixed, razor);
    }
    void CutterSetShape(const KnifeShape& shape) override
    {
        if (m_w.m_cutter)
            m_w.m_cutter->SetShape(shape);
    }
    void ShowMessage(const char* text, const char* caption) override
    {
        if (CQWF_App* app = CQWF_App::GetApp())
            app->MessageBox(text, caption, &m_w);
    }
    void RedrawLayout() override { m_w.RedrawLayout(); }
    void CloseWindow() override { m_w.CloseWindow(); }
    void BeginLayoutDrawing(bool, bool) override { m_w.m_drawing.Clear(); }
    void DrawKnifeCurve(const KnifeRecord& knife, double, double, double, double) override
    {
        m_w.m_drawing.DrawKnifeOutline(m_w.m_layout, knife);
    }
    void SetProgressText(const char* text, int percent) override
    {
        m_w.SetProgressText(text, static_cast<uint8_t>(std::clamp(percent, 0, 255)));
    }
    void FadeStatus() override { m_w.FadeStatus(); }
    void RepaintPreview() override
    {
        m_w.m_layoutLayer.Blit(&m_w.m_drawing.GetOverlay(), 0, 0);
        m_w.RepaintPreview();
    }
    void DrawKnotMarker(const KnotHit& hit, double x, double y, bool picked) override
    {
        m_w.DrawKnotMarker(hit, x, y, picked);
    }
    void ShowRandomness(int percent) override { m_w.ShowRandomness(percent); }
    void CutterSetGridSize(int columns, int rows) override
    {
        if (!m_w.m_cutter)
            return;
        m_w.m_cutter->SetGrid(rows, columns, m_w.m_layout.GetFlag(CLayoutModel::kFlagAntiAlias) != 0);
        m_w.m_cutter->RefreshControls();
    }
    void CutterShowLayout(int columns, int rows, int thickness, bool thicknessMixed, bool razor,
                          int tips, bool tipsMixed, bool antiAliasing) override
    {
        if (!m_w.m_cutter)
            return;
        m_w.m_cutter->SetGrid(rows, columns, antiAliasing);
        m_w.m_cutter->ShowKnifeThickness(thickness, thicknessMixed, razor);
        m_w.m_cutter->ShowTipsSize(tips, tipsMixed);
        m_w.m_cutter->RefreshControls();
    }

private:
    CWnd_Main& m_w;
};

// The grid size, the knives' common thickness and tips size (or that they differ), razor cut and
// anti-aliasing as the Cutter shows them.
void CWnd_Main::ShowLayoutInCutter()
{
    bool mixedTips = false, mixedThick = false;
    const int tips = m_layout.GetKnivesCommonA(false, mixedTips);
    const int thick = m_layout.GetKnivesCommonB(false, mixedThick);
    m_cutter->SetGrid(m_layout.GetYLineCount() + 1, m_layout.GetXLineCount() + 1,
                      m_layout.GetFlag(CLayoutModel::kFlagAntiAlias) != 0);
    m_cutter->ShowKnifeThickness(thick, mixedThick, m_layout.GetFlag(CLayoutModel::kFlagRazor) != 0);
    m_cutter->ShowTipsSize(tips, mixedTips);
}

CWnd_Main::CWnd_Main()
{
    m_layoutSink = new (std::nothrow) CLayoutSink(*this);
    m_layout.SetSink(m_layoutSink);
    m_layout.SetPieceSource(&m_pieceSource);
    CreateMouse();
}

CWnd_Main::~CWnd_Main()
{
    // An open effect window goes first, while the face it hands the activation back to is whole.
    m_effectWindow.reset();
    DestroyMouse();
    delete m_cutter;
    m_cutter = nullptr;
    m_layout.SetCutter(nullptr);
    m_layout.SetSink(nullptr);
    delete m_layoutSink;
    delete m_pieces;
}

void CWnd_Main::SetPlugin(CPluginMain* plugin)
{
    m_plugin = plugin;
    if (m_layoutSink)
        m_layoutSink->SetPlugin(plugin);
    m_pieceSource.SetEngine(plugin ? &plugin->GetEngine() : nullptr);
    delete m_pieces;
    m_pieces = plugin ? new (std::nothrow) CPieceView(plugin->GetEngine()) : nullptr;
    if (m_pieces)
        m_pieces->SetSink(this);
}

int32_t CWnd_Main::Find(const char* name, uint8_t kind) const
{
    for (int32_t i = 0; i < GetControlCount(); ++i) {
        CQWF_Control* c = GetControl(i);
        if (c->GetKind() == kind && std::strcmp(c->GetName(), name) == 0)
            return i;
    }
    return -1;
}

// ---------------------------------------------------------------------------------------------
// Creation.

bool CWnd_Main::OnCreate(CQWF_LayerSet* face, uint16_t width, uint16_t height)
{
    if (!m_plugin || !m_layoutSink || !m_pieces || !CQWF_Window::OnCreate(face, width, height))
        return false;
    // 1. Preferences.
    qwpref::ReadPreferences(m_plugin->GetPreferences(), m_prefs);
    m_drawing.SetHiddenKnifeOpacity(m_prefs.delKnifeOpacity);
    m_drawing.SetColours(ReadLayoutColours(CQWF_App::GetApp() ? CQWF_App::GetApp()->GetStorage() : nullptr));
    // 2. Rectangles.
    if (!LoadRect("Main_Preview", m_previewRect) || !LoadRect("Main_HSplitRuler", m_hRulerRect) ||
        !LoadRect("Main_VSplitRuler", m_vRulerRect))
        return false;
    // 3. Units from the host's.
    const QWF_HostInfo& info = *m_plugin->GetHostInfo();
    if (info.rulerUnits <= 4)
        m_units = static_cast<uint8_t>(info.rulerUnits + 1);
    // 4. Fonts.
    if (LoadFont("Small Font") < 0 || LoadFont("Info Font") < 0 || LoadFont("Edit Font") < 0)
        return false;
    // 5. Controls.
    for (const ControlItem& it : kControls)
        if (AddControl(it.name, it.kind) < 0)
            return false;
    m_cInfo = Find("Main_Info", kStaticText);
    m_cStatus = Find("Main_Status", kStaticText);
    m_cNavigator = Find("Main_Navigator", kStaticImage);
    m_cModeL = Find("Main_ModeL", kStaticImage);
    m_cModeP = Find("Main_ModeP", kStaticImage);
    m_cApply = Find("Main_Apply", kButton);
    m_cApplyLM = Find("Main_ApplyLM", kButton);
    m_cCancel = Find("Main_Cancel", kButton);
    m_cCloseX = Find("Main_CloseX", kButton);
    m_cAdd = Find("Main_AddKnives", kButton);
    m_cDel = Find("Main_DelKnives", kButton);
    m_statusLine.Attach(static_cast<CQWF_CtrlStaticText*>(GetControl(m_cStatus)));
    for (int32_t i : {m_cInfo, m_cStatus}) {
        auto* t = static_cast<CQWF_CtrlStaticText*>(GetControl(i));
        t->SetTextFont(GetFont(1));
    }
    for (const char* ruler : {"Main_RulerTop", "Main_RulerLeft"})
        static_cast<CQWF_CtrlRuler*>(GetControl(Find(ruler, kRuler)))->SetFont(GetFont(0));
    static_cast<CQWF_CtrlStaticText*>(GetControl(m_cStatus))->AddTabStop(265);
    auto* edit = static_cast<CQWF_CtrlEditLine*>(GetControl(Find("Main_RndKnots", kEdit)));
    edit->SetFont(GetFont(2));
    edit->SetNumeric(true, false, false, false, 0, true);
    edit->SetDrawParams(0xFF2C2724, 0xFF322C29, 0xFF2C2724, 0xFF288CF2, 0x782C2724, 0xFFEBE8E6,
                        0xFFEBE8E6, 0xFFFFFFFF, 0xFF221E1C, 0xFF7A716B);

    // 6. The splitter rulers.
    if (!m_hRuler.SetRect(m_hRulerRect.left, m_hRulerRect.top, m_hRulerRect.right,
                          m_hRulerRect.bottom, 2) ||
        !m_vRuler.SetRect(m_vRulerRect.left, m_vRulerRect.top, m_vRulerRect.right,
                          m_vRulerRect.bottom, 2))
        return false;
    AddLayer(&m_hRuler);
    AddLayer(&m_vRuler);

    // 7. The picture.
    if (!LoadPreviewSource(*m_plugin, m_source))
        return false;
    m_layout.SetImageSize(m_source.GetWidth(), m_source.GetHeight());
    m_pieces->SetImageSize(m_source.GetWidth(), m_source.GetHeight());
    if (!BuildPreviewThumbnail())
        return false;
    // 8. The preview with its rulers, scroll bars and navigator.
    if (AttachControl(&m_preview) < 0)
        return false;
    uint32_t out1 = 0, out2 = 0, in1 = 0, in2 = 0;
    qwpref::OutsideColours(m_prefs, out1, out2);
    qwpref::TransparencyColours(m_prefs, in1, in2);
    m_preview.SetBackColours(in1, in2, out1, out2);
    m_preview.SetResolution(info.hResolution > 0 ? info.hResolution : 72.0,
                            info.vResolution > 0 ? info.vResolution : 72.0);
    m_preview.SetUnits(m_units);
    SetInfoTabStops();
    if (!m_preview.SetSource(
            m_previewRect.left, m_previewRect.top, m_previewRect.right, m_previewRect.bottom,
            &m_source, static_cast<CQWF_CtrlScrollBar*>(GetControl(Find("Main_ScrollV_NR", kScrollBar))),
            static_cast<CQWF_CtrlScrollBar*>(GetControl(Find("Main_ScrollH_NR", kScrollBar))),
            static_cast<CQWF_CtrlRuler*>(GetControl(Find("Main_RulerTop", kRuler))),
            static_cast<CQWF_CtrlRuler*>(GetControl(Find("Main_RulerLeft", kRuler))),
            static_cast<CQWF_CtrlStaticImage*>(GetControl(m_cNavigator))))
        return false;
    // 9. Zoom.
    m_zoom = m_prefs.onLoadZoom ? FitZoom() : 4;
    m_preview.SetZoom(static_cast<uint8_t>(m_zoom), -1, -1, false, true);
    static_cast<CQWF_CtrlSlider*>(GetControl(Find("Main_Zoom", kSlider)))
        ->SetValue(static_cast<uint32_t>(m_zoom), false);
    m_layout.SetZoom(m_zoom);
    // 10. The layout's layer over the picture.
    if (!m_layoutLayer.SetRect(m_previewRect.left, m_previewRect.top, m_previewRect.right,
                               m_previewRect.bottom, 2) ||
        !m_drawing.SetSize(m_previewRect.right - m_previewRect.left,
                           m_previewRect.bottom - m_previewRect.top))
        return false;
    m_layoutLayer.Fill(0);
    AddLayer(&m_layoutLayer);
    if (!m_selectionLayer.SetRect(m_previewRect.left, m_previewRect.top, m_previewRect.right,
                                  m_previewRect.bottom, 2))
        return false;
    m_selectionLayer.Fill(0);
    m_selectionLayer.SetVisible(0);
    AddLayer(&m_selectionLayer);
    // 11. The last layout.
    m_layout.LoadLastData();
    // 12. The status line's timer.
    SetTimer(30, kStatusTimer);
    // 13. Randomness.
    ShowRandomness(0);
    m_layout.SetKnotAmplitude(0.0f);
    m_created = 1;
    UpdateInfoText(2147483647, 2147483647, true);
    // 14. Layout mode.
    return Relayout() == 0;
}

int CWnd_Main::FitZoom() const
{
    const int32_t pw = m_previewRect.right - m_previewRect.left;
    const int32_t ph = m_previewRect.bottom - m_previewRect.top;
    int z = 4;
    while (z > 0 && (m_source.GetWidth() >> (4 - z) > pw || m_source.GetHeight() >> (4 - z) > ph))
        --z;
    return z;
}

bool CWnd_Main::BuildPreviewThumbnail()
{
    CQWF_Control* nav = GetControl(m_cNavigator);
    if (!nav)
        return true;
    const QWF_Rect r = nav->GetRect();
    const int32_t w = r.right - r.left - 5;
    const int32_t h = r.bottom - r.top - 5;
    if (w <= 0 || h <= 0 || m_source.IsEmpty())
        return false;
    CQWF_Image a, b;
    if (!a.Create(static_cast<uint16_t>(w), static_cast<uint16_t>(h), 2) ||
        !b.Create(static_cast<uint16_t>(w), static_cast<uint16_t>(h), 2))
        return false;
    a.Fill(0);
    CQWF_ImageFX fx;
    uint8_t* src[5] = {m_source.GetPlane(0), m_source.GetPlane(1), m_source.GetPlane(2),
                       m_source.GetPlane(3), nullptr};
    uint8_t* dst[5] = {a.GetPlane(0), a.GetPlane(1), a.GetPlane(2), a.GetPlane(3), nullptr};
    uint8_t* sharp[5] = {b.GetPlane(0), b.GetPlane(1), b.GetPlane(2), b.GetPlane(3), nullptr};
    if (!fx.SetSourcePlanes(src, m_source.GetWidth(), 4, 1, m_source.GetWidth(),
                            m_source.GetHeight()) ||
        !fx.SetTargetPlanes(dst, w, 4, 1, static_cast<uint16_t>(w), static_cast<uint16_t>(h)) ||
        !fx.ScaleToFit(1))
        return false;
    if (!fx.SetSourcePlanes(dst, w, 4, 1, static_cast<uint16_t>(w), static_cast<uint16_t>(h)) ||
        !fx.SetTargetPlanes(sharp, w, 4, 1, static_cast<uint16_t>(w), static_cast<uint16_t>(h)) ||
        !fx.Sharpen(1))
        return false;
    CQWF_Layer* background = GetLayer(0);
    if (!background)
        return false;
    return background->BlitAlpha(&b, 0, 0, QWF_Rect{r.left + 3, r.top + 3, r.left + 3 + w,
                                                     r.top + 3 + h});
}

// ---------------------------------------------------------------------------------------------
// The picture: the source (Layout mode) or the composited pieces at the fitting zoom, centred in
// the preview rectangle, with the layout drawn over it in Layout mode.

LayoutView CWnd_Main::View() const
{
    // Client x of image pixel X is X at the zoom less the preview's scroll.
    const CQWF_CtrlPreview::Point scroll = m_preview.GetScroll();
    const CQWF_CtrlPreview::Point size = m_preview.GetZoomedSize();
    LayoutView v{};
    v.previewL = -scroll.x;
    v.previewT = -scroll.y;
    v.previewR = v.previewL + size.x;
    v.previewB = v.previewT + size.y;
    v.imageL = 0;
    v.imageT = 0;
    v.imageR = m_source.GetWidth();
    v.imageB = m_source.GetHeight();
    return v;
}

void CWnd_Main::ShowPicture()
{
    if (m_source.IsEmpty())
        return;
    const bool pieces = m_mode == kPuzzleMode && !m_piecesImage.IsEmpty();
    m_preview.SetImage(m_previewRect.left, m_previewRect.top, m_previewRect.right,
                       m_previewRect.bottom, pieces ? &m_piecesImage : nullptr);
    m_preview.Render(true);
    RedrawLayout();
}

void CWnd_Main::RedrawLayout()
{
    m_layoutLayer.SetVisible(m_mode == kLayoutMode ? 1 : 0);
    m_zoom = m_preview.GetZoom();
    const LayoutView view = View();
    if (m_mode == kLayoutMode) {
        m_layout.SetZoom(m_zoom);
        m_layout.RecalcLayout(view, true);
        m_layoutLayer.Blit(&m_drawing.GetOverlay(), 0, 0);
    }
    // The splitter rulers' wedges at the grid lines.
    const int32_t ox = m_previewRect.left + static_cast<int32_t>(view.previewL);
    const int32_t oy = m_previewRect.top + static_cast<int32_t>(view.previewT);
    const int32_t sw = static_cast<int32_t>(view.previewR - view.previewL);
    const int32_t sh = static_cast<int32_t>(view.previewB - view.previewT);
    RulerMarker top[kGridMaxLines];
    RulerMarker left[kGridMaxLines];
    size_t nt = 0, nl = 0;
    for (int i = 0; i < m_layout.GetXLineCount(); ++i)
        top[nt++] = {ox + static_cast<int32_t>(m_layout.GetXLines()[i] * sw), m_hRulerRect.top, i};
    for (int i = 0; i < m_layout.GetYLineCount(); ++i)
        left[nl++] = {m_vRulerRect.left, oy + static_cast<int32_t>(m_layout.GetYLines()[i] * sh), i};
    CLayoutDrawing::DrawRulerMarks(m_hRuler, m_hRulerRect, top, nt, m_vRuler, m_vRulerRect, left,
                                   nl, m_mode == kLayoutMode, m_drawing.GetColours());
    RepaintPreview();
}

void CWnd_Main::RenderPreview()
{
    ShowPicture();
}

void CWnd_Main::RepaintPreview()
{
    if (m_selectionLayer.IsVisible() && m_pieces && !m_pieces->GetOverlay().IsEmpty())
        m_selectionLayer.Blit(&m_pieces->GetOverlay(), 0, 0);
    if (!GetHWND())
        return;
    InvalidateRect(m_vRulerRect.left, m_hRulerRect.top, m_previewRect.right, m_previewRect.bottom);
    Redraw(m_vRulerRect.left, m_hRulerRect.top, m_previewRect.right, m_previewRect.bottom);
}

bool CWnd_Main::BuildPiecesImage()
{
    CJigcrafter& e = m_plugin->GetEngine();
    const int32_t w = m_plugin->GetWorkingWidth();
    const int32_t h = m_plugin->GetWorkingHeight();
    if (m_piecesImage.GetWidth() != w || m_piecesImage.GetHeight() != h ||
        m_piecesImage.GetType() != 2) {
        if (!m_piecesImage.Create(static_cast<uint16_t>(w), static_cast<uint16_t>(h), 2))
            return false;
    }
    m_piecesImage.Fill(0);
    m_pieces->SetCompositeTarget(&m_piecesImage, m_plugin->GetMask(), m_plugin->GetMaskStride(),
                                 e.GetColourLayout() == 1);
    return m_pieces->CompositePieces(m_piecesImage, m_plugin->GetMask(), m_plugin->GetMaskStride(),
                                     QWF_WHOLE_RECT, false, 0, 100);
}

void CWnd_Main::ReleaseImages()
{
    m_source.Free();
    m_piecesImage.Free();
}

// ---------------------------------------------------------------------------------------------
// Modes.

int CWnd_Main::Relayout()
{
    // 1. A new Cutter.
    delete m_cutter;
    m_cutter = nullptr;
    m_layout.SetCutter(nullptr);
    CutterFactory factory = GetCutterFactory();
    m_cutter = factory ? factory(this) : nullptr;
    if (!m_cutter)
        return -1;
    // 2. Grid and knives.
    ShowLayoutInCutter();
    // 3. The effects that must survive the next cut.
    CJigcrafter& e = m_plugin->GetEngine();
    const int32_t n = e.GetPieceCount();
    if (n > 0) {
        CQWF_Mem block;
        if (!block.Alloc(static_cast<size_t>(n) * qwpiece::kRecordSize)) {
            CloseWindow();
            return -1;
        }
        for (int32_t i = 0; i < n; ++i) {
            PieceEffectRecord r;
            e.PieceToRecord(i, r);
            r.selected = 0;
            std::memcpy(block.GetData() + static_cast<size_t>(i) * qwpiece::kRecordSize, &r,
                        sizeof r);
        }
        if (!m_cutter->SetHandedRecords(block.GetData(), static_cast<uint32_t>(n))) {
            CloseWindow();
            return -1;
        }
    } else if (!m_cutter->SetHandedRecords(
                   reinterpret_cast<const uint8_t*>(m_layout.GetPendingRecords()),
                   m_layout.GetPendingRecordCount())) {
        CloseWindow();
        return -1;
    }
    // 4. The Cutter beside the window.
    int32_t x = -32000, y = -32000;
    m_plugin->GetWindowPosition("Main", "Cutter", x, y);
    if (!m_cutter->Open(x, y))
        return -1;
    m_layout.SetCutter(m_cutter->GetCutterState());
    // 5. Layout mode.
    m_layout.SetKnotAmplitude(0.0f);
    m_cutter->GetWindow()->Show();
    m_mode = kLayoutMode;
    m_layout.SetLayoutMode(true);
    m_layout.ResetUndo();
    UpdateControls();
    m_pieces->ShowExtras(false, false);
    ShowPicture();
    RefreshInfoText();
    return 0;
}

void CWnd_Main::LeaveLayoutMode()
{
    if (!m_cutter)
        return;
    m_mode = kPuzzleMode;
    m_layout.SetLayoutMode(false);
    m_layout.SetCutter(nullptr);
    UpdateControls();
    RefreshInfoText();
    CJigcrafter& e = m_plugin->GetEngine();
    if (!m_cutter->GetCutDone()) {
        if (e.GetPieceCount() > 0 && !m_piecesImage.IsEmpty()) {
            m_pieces->ShowExtras(true, false);
            ShowPicture();
        } else {
            CloseWindow();
        }
        return;
    }
    if (!BuildPiecesImage()) {
        ErrorMessage(kMemoryMessage);
        CloseWindow();
        return;
    }
    m_pieces->RebuildMarks();
    m_pieces->ShowExtras(true, false);
    ShowPicture();
    if (m_cutter->GetLayoutChanged()) {
        const int32_t answer = CWnd_MessageBox::Ask(this, "Pieces Layout Has Changed", "Do you want to reset effects?",
                                                    CWnd_MessageBox::kYes, CWnd_MessageBox::kNo);
        // Yes is the Reset command: the defaults, and hidden pieces shown again.
        if (answer == 1)
            ResetEffects();
    }
    m_pieces->UpdateEffectButtons(false, m_effectOpen != 0);
}

void CWnd_Main::Vanish(int32_t index, bool hidden)
{
    if (CQWF_Control* c = GetControl(index))
        c->SetShown(!hidden);
}

void CWnd_Main::UpdateControls()
{
    const bool layout = m_mode == kLayoutMode;
    const bool free = m_effectOpen == 0;
    // The other mode's controls vanish; the current mode's stay in sight, and while an effect
    // window is open those that would act behind it are disabled.
    auto lock = [this](int32_t index, bool enabled) {
        if (CQWF_Control* c = GetControl(index))
            c->SetEnabled(enabled);
    };
    for (const char* name : kPuzzleControls) {
        Vanish(Find(name, kButton), layout);
        if (!layout)
            lock(Find(name, kButton), free);
    }
    for (const char* name : kEffectNames) {
        // Image overlay needs the host's document layers.
        const bool offered = std::strcmp(name, "Main_FXIOver") != 0 || ImageOverlayOffered();
        for (uint8_t kind : {kCheck, kButton}) {
            Vanish(Find(name, kind), layout);
            if (!layout)
                lock(Find(name, kind), free && offered);
        }
    }
    for (const char* name : kLockedControls)
        lock(Find(name, kButton), free);
    for (const char* name : kLayoutControls)
        Vanish(Find(name, kButton), !layout);
    Vanish(m_cAdd, !layout);
    Vanish(Find("Main_RndKnots", kButton), !layout);
    Vanish(Find("Main_RndKnots", kSlider), !layout);
    Vanish(Find("Main_RndKnots", kEdit), !layout);
    Vanish(Find("Main_RndKnotsCover", kStaticImage), layout);
    Vanish(Find("Main_PiecesCover", kStaticImage), !layout);
    if (layout) {
        // Shown, but usable only with two knots picked and with some randomness.
        GetControl(m_cAdd)->SetEnabled(m_layout.GetPickedKnotCount() == 2);
        GetControl(Find("Main_RndKnots", kButton))->SetEnabled(m_randomness != 0);
        m_layout.UpdateSelectionState();
    } else if (m_pieces) {
        m_pieces->UpdateEffectButtons(false, !free);
    }
    ShowExtrasButtons(m_pieces && m_pieces->GetShowExtras());
    Vanish(m_cModeL, !layout);
    Vanish(m_cModeP, layout);
}

void CWnd_Main::ShowExtrasButtons(bool on)
{
    const bool puzzle = m_mode == kPuzzleMode;
    Vanish(Find("Main_ShowExtras", kButton), !puzzle || on);
    Vanish(Find("Main_HideExtras", kButton), !puzzle || !on);
}

// ---------------------------------------------------------------------------------------------
// The end of the run.

void CWnd_Main::CloseWindow()
{
    if (m_mode == kLayoutMode && m_cutter)
        m_cutter->SavePosition();
    if (m_ready)
        CommitLayout();
    Close();
}

bool CWnd_Main::CommitLayout()
{
    m_ready = 0;
    // The result is applied all the same; the earlier "last.data" and last shape stay as they
    // were. One message for both (a store that cannot be written at all was told when it was
    // opened).
    bool saved = m_layout.SaveLastData();
    if (m_mode == kLayoutMode && m_cutter && !m_cutter->SaveLastShape()) {
        CQWF_Storage* prefs = m_plugin ? m_plugin->GetPreferences() : nullptr;
        if (prefs && !prefs->IsReadOnly()) saved = false;
    }
    if (!saved) {
        if (CQWF_App* app = CQWF_App::GetApp())
            app->MessageBox(qwexport::kCannotWrite, qwexport::kErrorCaption, this);
    }
    if (TransferKnives())
        m_ready = 1;
    return m_ready != 0;
}

bool CWnd_Main::TransferKnives()
{
    return m_plugin && ::TransferKnives(m_layout, m_plugin->GetEngine());
}

bool CWnd_Main::Close()
{
    if (m_effectOpen)
        return false;
    QWF_Rect r;
    if (m_plugin && GetHWND() && GetWindowRect(r))
        m_plugin->SaveWindowPosition("Main", "ROOT", r.left, r.top);
    if (m_plugin)
        m_plugin->SetResult(m_ready == 1 ? 0 : -128);
    return CQWF_Window::Close();
}

// ---------------------------------------------------------------------------------------------
// Input.

bool CWnd_Main::OnChar(uint32_t character, uint32_t modifiers)
{
    if (m_mode != kLayoutMode)
        return false;
    int32_t index = -1;
    if (character == '+' || character == '=')
        index = m_cAdd;
    else if (character == '-' || character == '_')
        index = m_cDel;
    CQWF_Control* c = GetControl(index);
    if (!c || !c->IsEnabled())
        return false;
    (void)modifiers;
    return OnNotify(0, index, "", kButton, nullptr);
}

// ---------------------------------------------------------------------------------------------
// Status and information.

void CWnd_Main::SetProgressText(const char* message, uint8_t percent)
{
    FormatProgressText(m_status, message, percent);
    m_statusLine.ShowNow(m_status.GetBuffer());
    auto* t = static_cast<CQWF_CtrlStaticText*>(GetControl(m_cStatus));
    if (t && percent % 10 == 0 && GetHWND()) {
        const QWF_Rect r = t->GetRect();
        RedrawWindow(r.left, r.top, r.right, r.bottom);
    }
}

void CWnd_Main::PumpMessages()
{
    if (GetHWND())
        CQWF_Window::PumpMessages(this, true, true, false, false);
}

void CWnd_Main::PumpOwnerMessages()
{
    PumpMessages();
}

CQWF_Progress* CWnd_Main::BeginProgress(const char* text)
{
    return new (std::nothrow) CMainProgress(this, text);
}

void CWnd_Main::EndProgress(CQWF_Progress* progress)
{
    delete progress;
}

void CWnd_Main::SetUnits(uint8_t units)
{
    if (units < 1 || units > 5)
        return;
    m_units = units;
    SetInfoTabStops();
    m_preview.SetUnits(units);
    m_preview.Render(true);
    UpdateInfoText(2147483647, 2147483647, true);
}

void CWnd_Main::SetInfoTabStops()
{
    auto* t = static_cast<CQWF_CtrlStaticText*>(GetControl(m_cInfo));
    CQWF_Font* font = GetFont(1);
    if (!t || !font || !m_plugin)
        return;
    // The X, Y and piece parts stay apart with the widest texts this picture gives in the unit.
    const QWF_HostInfo& in = *m_plugin->GetHostInfo();
    const InfoImage image{m_plugin->GetWorkingWidth(), m_plugin->GetWorkingHeight(), in.hResolution,
                          in.vResolution, m_units};
    int32_t stops[2];
    InfoTabStops(
        image,
        [font](const char* text) {
            int32_t w = 0, h = 0;
            return font->MeasureText(text, 0, w, h) ? w : 0;
        },
        16, stops);
    t->ClearTabStops();
    for (int32_t stop : stops)
        t->AddTabStop(static_cast<uint32_t>(stop));
}

void CWnd_Main::UpdateInfoText(int32_t x, int32_t y, bool imageSize)
{
    auto* t = static_cast<CQWF_CtrlStaticText*>(GetControl(m_cInfo));
    if (!t || !m_plugin)
        return;
    const QWF_HostInfo& in = *m_plugin->GetHostInfo();
    InfoImage image{m_plugin->GetWorkingWidth(), m_plugin->GetWorkingHeight(), in.hResolution,
                    in.vResolution, m_units};
    if (x != 2147483647 || y != 2147483647) {
        m_lastX = x;
        m_lastY = y;
    }
    const bool lineDrag = m_mode == kLayoutMode && m_mouse && m_mouse->IsLineDragging();
    if (!lineDrag)
        m_infoSizeForm = imageSize;
    if (lineDrag) {
        // The dragged line's place and the cells on either side of it.
        const bool row = !m_mouse->IsColumnLineDragged();
        FormatGridLineInfo(m_info, image, row ? m_layout.GetYLines() : m_layout.GetXLines(),
                           row ? m_layout.GetYLineCount() : m_layout.GetXLineCount(),
                           m_mouse->GetDraggedLine(), row);
    } else if (imageSize) {
        FormatImageSizeInfo(m_info, image);
    } else {
        FormatPositionInfo(m_info, image, m_lastX, m_lastY);
        if (m_mode == kPuzzleMode && m_pieces) {
            const int32_t piece = m_pieces->PieceAtPoint(m_lastX, m_lastY);
            const JigPiece* p = piece >= 0 ? m_plugin->GetEngine().GetPiece(piece) : nullptr;
            AppendPieceInfo(m_info, piece, m_plugin->GetEngine().GetPieceCount(),
                            m_plugin->GetEngine().GetKnifeLinesFlag(), p ? p->column : 0,
                            p ? p->row : 0);
        }
    }
    t->SetText(m_info.GetBuffer());
}

void CWnd_Main::RefreshInfoText()
{
    UpdateInfoText(2147483647, 2147483647, m_infoSizeForm);
}

void CWnd_Main::ErrorMessage(const char* text)
{
    if (CQWF_App* app = CQWF_App::GetApp())
        app->MessageBox(text, "Error!", this);
}

// ---------------------------------------------------------------------------------------------
// What the Cutter asks.

bool CWnd_Main::ResizeGrid(int rows, int columns)
{
    const bool ok = m_layout.ResizeGrid(rows, columns);
    RedrawLayout();
    return ok;
}

void CWnd_Main::PreviewGridSize(int rows, int columns)
{
    const int r = rows < 0 ? m_layout.GetYLineCount() + 1 : rows;
    const int c = columns < 0 ? m_layout.GetXLineCount() + 1 : columns;
    const CQWF_CtrlPreview::Point scroll = m_preview.GetScroll();
    const CQWF_CtrlPreview::Point size = m_preview.GetZoomedSize();
    const QWF_Rect clip = {std::max(0, -scroll.x), std::max(0, -scroll.y),
                           std::min(m_previewRect.right - m_previewRect.left, size.x - scroll.x),
                           std::min(m_previewRect.bottom - m_previewRect.top, size.y - scroll.y)};
    m_drawing.Clear();
    m_drawing.DrawGrid(m_layout, c, r, clip, size.x, size.y, scroll.x + clip.left,
                       scroll.y + clip.top);
    m_layoutLayer.Blit(&m_drawing.GetOverlay(), 0, 0);
    RepaintPreview();
}

void CWnd_Main::SetKnifeThickness(int thickness, bool razor)
{
    m_layout.SetKnifeThickness(thickness, razor);
    RedrawLayout();
}

void CWnd_Main::SetTipsSize(int tips)
{
    m_layout.SetTipsSize(tips);
    RedrawLayout();
}

void CWnd_Main::SetAntiAliasing(bool on)
{
    m_layout.SetAntiAliasing(on);
    RedrawLayout();
}

bool CWnd_Main::GetCutPicture(int32_t& width, int32_t& height, const uint8_t*& mask,
                              int64_t& maskStride, const uint8_t* planes[3])
{
    if (m_source.IsEmpty() || !m_plugin)
        return false;
    width = m_source.GetWidth();
    height = m_source.GetHeight();
    mask = m_plugin->GetMask();
    maskStride = m_plugin->GetMaskStride();
    for (int i = 0; i < 3; ++i)
        planes[i] = m_source.GetPlane(i);
    return true;
}

void CWnd_Main::ForgetPiecesUndo()
{
    if (m_pieces)
        m_pieces->GetUndo().Invalidate();
}

void CWnd_Main::SetCheck(const char* name, bool checked)
{
    if (CQWF_Control* c = GetControl(Find(name, kCheck)))
        c->SetCheck(checked, false);
}

void CWnd_Main::EnableControl(const char* name, bool enabled)
{
    int32_t i = FindControl(name);
    if (CQWF_Control* c = GetControl(i))
        c->SetEnabled(enabled);
}
