#include "plugin/windows/wnd_cutter.h"

#include "framework/ui/qwf_button.h"
#include "framework/ui/qwf_control.h"
#include "framework/ui/qwf_editline.h"
#include "framework/ui/qwf_slider.h"
#include "framework/ui/qwf_app.h"
#include "framework/ui/qwf_static.h"
#include "plugin/core/qw_pluginmain.h"
#include "plugin/main/export_files.h"
#include "plugin/main/main_commands.h"  // made from skin/accelerators.skin
#include "plugin/main/main_dialogs.h"
#include "plugin/windows/knife_shape_files.h"
#include "plugin/windows/wnd_export.h"
#include "plugin/windows/wnd_pref.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {
constexpr uint8_t kSlider = QWF_CTRL_SLIDER, kStaticImage = QWF_CTRL_STATIC_IMAGE,
                  kStaticText = QWF_CTRL_STATIC_TEXT, kProgress = QWF_CTRL_PROGRESS,
                  kButton = QWF_CTRL_BUTTON, kRadio = QWF_CTRL_RADIO, kCheck = QWF_CTRL_CHECKBOX,
                  kEdit = QWF_CTRL_EDIT;
constexpr uint32_t kKnifeColour = 0xFFFF9119;  // the shape's blue
constexpr const char* kMixed = " ???";

CCutterLink* MakeCutter(CCutterOwner* owner)
{
    return new (std::nothrow) CWnd_Cutter(owner);
}

int32_t RunExportPieces(CDialogHost* host, CQWF_Window* owner, CExportDialogModel& model)
{
    CWnd_Export window(host);
    window.Model() = model;
    const int32_t result = window.Run(owner);
    model = window.Model();
    return result;
}

int32_t RunExportKnives(CDialogHost* host, CQWF_Window* owner, CExportLMDialogModel& model)
{
    CWnd_ExportLM window(host);
    window.Model() = model;
    const int32_t result = window.Run(owner);
    model = window.Model();
    return result;
}

int32_t RunPreferences(CDialogHost* host, CQWF_Window* owner, ViewPreferences& values)
{
    CWnd_Pref window(host);
    window.Values() = values;
    const int32_t result = window.Run(owner);
    if (result == 1)
        values = window.Values();
    return result;
}

void Install()
{
    SetCutterFactory(&MakeCutter);
    MainDialogRunners runners;
    runners.exportPieces = &RunExportPieces;
    runners.exportKnives = &RunExportKnives;
    runners.preferences = &RunPreferences;
    SetMainDialogRunners(runners);
}

// The filter module makes its Cutters and the main window's dialogs here from the start.
[[maybe_unused]] const bool g_cutterFactory = (Install(), true);

int ParseWhole(const char* text)
{
    return text ? std::atoi(text) : 0;
}
}  // namespace

void InstallCutterFactory()
{
    Install();
}

CWnd_Cutter::CWnd_Cutter(CCutterOwner* owner)
    : m_owner(owner), m_filterHost(owner ? owner->GetPlugin() : nullptr)
{
    m_editor.SetView(this);
    if (owner) {
        m_cloneTarget = new (std::nothrow) CLayoutCloneTarget(owner->GetLayout());
        m_editor.SetCloneTarget(m_cloneTarget);
    }
}

CWnd_Cutter::~CWnd_Cutter()
{
    m_editor.SetCloneTarget(nullptr);
    delete m_cloneTarget;
}

// ---------------------------------------------------------------------------------------------
// Values from the main window.

void CWnd_Cutter::SetGrid(int rows, int columns, bool antiAliasing)
{
    m_rows = std::clamp(rows, 1, 100);
    m_columns = std::clamp(columns, 1, 100);
    m_antiAliasing = antiAliasing;
}

void CWnd_Cutter::ShowRows(int n)
{
    m_rows = std::clamp(n, 1, 100);
    m_updating = true;
    SetSlider(m_sRows, m_rows);
    SetEditNumber(m_eRows, m_rows);
    m_updating = false;
}

void CWnd_Cutter::ShowColumns(int n)
{
    m_columns = std::clamp(n, 1, 100);
    m_updating = true;
    SetSlider(m_sColumns, m_columns);
    SetEditNumber(m_eColumns, m_columns);
    m_updating = false;
}

void CWnd_Cutter::ShowTipsSize(int value, bool mixed)
{
    m_tips = std::min(value, 100);
    m_tipsMixed = mixed;
    m_editor.SetTipsAndThickness(static_cast<uint16_t>(std::max(m_tips, 0)),
                                 static_cast<uint16_t>(m_thickness));
    if (!m_created)
        return;
    m_updating = true;
    SetSlider(m_sTips, m_tips);
    if (mixed)
        SetEdit(m_eTips, kMixed);
    else
        SetEditNumber(m_eTips, m_tips);
    m_updating = false;
}

void CWnd_Cutter::ShowKnifeThickness(int value, bool mixed, bool razor)
{
    m_thickness = std::clamp(value, 1, 100);
    m_thickMixed = mixed;
    m_razor = razor;
    m_editor.SetTipsAndThickness(static_cast<uint16_t>(std::max(m_tips, 0)),
                                 static_cast<uint16_t>(m_thickness));
    if (!m_created)
        return;
    m_updating = true;
    if (CQWF_Control* c = GetControl(m_cRazor))
        c->SetCheck(razor, false);
    SetSlider(m_sThick, m_thickness);
    if (mixed)
        SetEdit(m_eThick, kMixed);
    else
        SetEditNumber(m_eThick, m_thickness);
    Enable(m_sThick, !razor);
    Enable(m_eThick, !razor);
    m_updating = false;
}

bool CWnd_Cutter::SetHandedRecords(const uint8_t* records, uint32_t count)
{
    m_handedCount = 0;
    if (!records || count == 0) {
        m_handed.Free();
        return true;
    }
    const size_t bytes = static_cast<size_t>(count) * qwpiece::kRecordSize;
    if (!m_handed.Alloc(bytes))
        return false;
    std::memcpy(m_handed.GetData(), records, bytes);
    m_handedCount = count;
    return true;
}

bool CWnd_Cutter::SetLoadedRecords(const uint8_t* records, uint32_t count)
{
    m_loadedCount = 0;
    if (!records || count == 0) {
        m_loaded.Free();
        return true;
    }
    const size_t bytes = static_cast<size_t>(count) * qwpiece::kRecordSize;
    if (!m_loaded.Alloc(bytes))
        return false;
    std::memcpy(m_loaded.GetData(), records, bytes);
    m_loadedCount = count;
    return true;
}

void CWnd_Cutter::UpdateControls()
{
    if (!m_created)
        return;
    m_updating = true;
    SetSlider(m_sRows, m_rows);
    SetEditNumber(m_eRows, m_rows);
    SetSlider(m_sColumns, m_columns);
    SetEditNumber(m_eColumns, m_columns);
    m_updating = false;
    ShowKnifeThickness(m_thickness, m_thickMixed, m_razor);
    ShowTipsSize(m_tips, m_tipsMixed);
    if (CQWF_Control* c = GetControl(m_cAntiAliasing))
        c->SetCheck(m_antiAliasing, false);
    m_editor.ShowCloningMode();
}

// ---------------------------------------------------------------------------------------------
// Creation.

bool CWnd_Cutter::Open(int32_t x, int32_t y)
{
    return CreateFromSkin("Cutter", x, y, m_owner ? m_owner->GetOwnerWindow() : nullptr, 0);
}

int32_t CWnd_Cutter::Add(const char* name, uint8_t kind)
{
    return AddControl(name, kind);
}

bool CWnd_Cutter::OnCreate(CQWF_LayerSet* face, uint16_t width, uint16_t height)
{
    if (!CQWF_Window::OnCreate(face, width, height))
        return false;
    // 1. The shape's area with its two layers.
    if (!LoadRect("Cutter_Preview", m_preview))
        return false;
    const int32_t pw = m_preview.right - m_preview.left;
    const int32_t ph = m_preview.bottom - m_preview.top;
    if (pw <= 0 || ph <= 0 ||
        !m_knifeLayer.Create(static_cast<int16_t>(m_preview.left),
                             static_cast<int16_t>(m_preview.top), static_cast<uint16_t>(pw),
                             static_cast<uint16_t>(ph), 2) ||
        !m_overlayLayer.Create(static_cast<int16_t>(m_preview.left),
                               static_cast<int16_t>(m_preview.top), static_cast<uint16_t>(pw),
                               static_cast<uint16_t>(ph), 2))
        return false;
    m_knifeLayer.Fill(kKnifeColour & 0x00FFFFFFu);
    m_overlayLayer.Fill(0);
    AddLayer(&m_knifeLayer);
    AddLayer(&m_overlayLayer);

    // 2. Fonts and controls.
    if (LoadFont("Info Font") < 0 || LoadFont("Edit Font") < 0 || LoadFont("Small Font") < 0)
        return false;
    struct Item {
        int32_t* index;
        const char* name;
        uint8_t kind;
    };
    const Item items[] = {
        {&m_cHelp, "Cutter_Help", kButton},           {&m_cCloseX, "Cutter_CloseX", kButton},
        {&m_cCancel, "Cutter_Cancel", kButton},       {&m_cFlipH, "Cutter_FlipH", kButton},
        {&m_cFlipU, "Cutter_FlipU", kButton},         {&m_cSave, "Cutter_Save", kButton},
        {&m_cLoad, "Cutter_Load", kButton},           {&m_cPresets, "Cutter_Presets", kButton},
        {&m_cAddToPM, "Cutter_AddToPM", kButton},     {&m_cReClone, "Cutter_ReClone", kButton},
        {&m_cClone, "Cutter_Clone", kButton},         {&m_cCut, "Cutter_Cut", kButton},
        {&m_cReset, "Cutter_Reset", kButton},         {&m_cRedo, "Cutter_Redo", kButton},
        {&m_cUndo, "Cutter_Undo", kButton},           {&m_cAutoLayout, "Cutter_AutoLayout", kButton},
        {&m_cZoom[0], "Cutter_1x1", kRadio},          {&m_cZoom[1], "Cutter_1x2", kRadio},
        {&m_cZoom[2], "Cutter_1x4", kRadio},          {&m_sSmooth, "Cutter_Smoothness", kSlider},
        {&m_sRows, "Cutter_Rows", kSlider},           {&m_sColumns, "Cutter_Columns", kSlider},
        {&m_sThick, "Cutter_KnifeTh", kSlider},       {&m_sTips, "Cutter_TipsSize", kSlider},
        {&m_tStatus, "Cutter_Status", kStaticText},   {&m_tClone, "Cutter_CloneDisp", kStaticText},
        {&m_eSmooth, "Cutter_Smoothness", kEdit},     {&m_eRows, "Cutter_Rows", kEdit},
        {&m_eColumns, "Cutter_Columns", kEdit},       {&m_eThick, "Cutter_KnifeTh", kEdit},
        {&m_eTips, "Cutter_TipsSize", kEdit},         {&m_cAntiAliasing, "Cutter_AntiAliasing", kCheck},
        {&m_cRazor, "Cutter_RazorCut", kCheck},       {&m_cLinkRC, "Cutter_LinkRC", kCheck},
        {&m_cCover, "Cutter_CuttingCover", kStaticImage},
        {&m_cAbort, "Cutter_CuttingAbort", kButton},  {&m_cProgress, "Cutter_CuttingProgress", kProgress},
    };
    for (const Item& it : items) {
        *it.index = Add(it.name, it.kind);
        if (*it.index < 0)
            return false;
    }
    for (int32_t i : {m_cHelp, m_cSave, m_cClone})
        static_cast<CQWF_CtrlButton*>(GetControl(i))->SetNotifyOnPress(true);
    GetControl(m_cZoom[0])->SetCheck(true, false);
    CQWF_Font* editFont = GetFont(1);
    for (int32_t i : {m_eSmooth, m_eRows, m_eColumns, m_eThick, m_eTips}) {
        auto* e = static_cast<CQWF_CtrlEditLine*>(GetControl(i));
        e->SetFont(editFont);
        e->SetNumeric(true, false, false, false, 0, true);
        e->SetDrawParams(0xFF2C2724, 0xFF322C29, 0xFF2C2724, 0xFF288CF2, 0x782C2724, 0xFFEBE8E6,
                         0xFFEBE8E6, 0xFFFFFFFF, 0xFF221E1C, 0xFF7A716B);
    }
    if (auto* t = static_cast<CQWF_CtrlStaticText*>(GetControl(m_tStatus)))
        t->SetTextFont(GetFont(0));
    if (auto* t = static_cast<CQWF_CtrlStaticText*>(GetControl(m_tClone)))
        t->SetTextFont(GetFont(0));
    Vanish(m_cCover, true);
    Vanish(m_cAbort, true);
    Vanish(m_cProgress, true);

    // 3. Values, the shape, the timer.
    m_created = true;
    UpdateControls();
    m_editor.SetPreviewSize(pw, ph);
    LoadLastShape();
    m_editor.DrawKnife();
    m_editor.ResetHistory();
    SetTimer(30, 1);
    m_editor.ShowSmoothness();

    // 4. Without pieces the Cutter can only be left by a Cut.
    CPluginMain* plugin = m_owner ? m_owner->GetPlugin() : nullptr;
    if (!plugin || plugin->GetEngine().GetPieceCount() == 0) {
        m_mayClose = false;
        Enable(m_cCancel, false);
        Enable(m_cCloseX, false);
    }
    // 5. The layout as it was, for Reset and Cancel.
    m_openingLength = 0;
    if (m_owner && !m_owner->GetLayout().SerializeLayout(m_opening, m_openingLength))
        m_openingLength = 0;
    // 6. The link of rows and columns.
    uint8_t link = 0;
    if (plugin && plugin->GetPreferences() &&
        plugin->GetPreferences()->GetByte("Cutter Settings>LinkRC", link))
        GetControl(m_cLinkRC)->SetCheck(link == 1, false);
    // The window's own hint, standing at once.
    m_statusLine.Attach(static_cast<CQWF_CtrlStaticText*>(GetControl(m_tStatus)));
    SetStatus(m_host->GetHintText("", "Cutter", 1, 0).GetBuffer());
    for (int i = 0; i < 16 && m_statusLine.GetState() != CStatusLine::kStill; ++i)
        m_statusLine.Tick();
    return true;
}

void CWnd_Cutter::LoadLastShape()
{
    KnifeShape shape{};
    CKnifeShapeEditor::MakeDefaultShape(shape);
    CPluginMain* plugin = m_owner ? m_owner->GetPlugin() : nullptr;
    CQWF_Storage* prefs = plugin ? plugin->GetPreferences() : nullptr;
    KnifeShape stored{};
    if (prefs && ReadLastShape(*prefs, stored))
        shape = stored;
    m_editor.SetShape(shape, false);
}

void CWnd_Cutter::SetShape(const KnifeShape& shape)
{
    m_editor.SetShape(shape, false);
    m_editor.ShowSmoothness();
}

bool CWnd_Cutter::SaveLastShape()
{
    CPluginMain* plugin = m_owner ? m_owner->GetPlugin() : nullptr;
    CQWF_Storage* prefs = plugin ? plugin->GetPreferences() : nullptr;
    return prefs && WriteLastShape(*prefs, m_editor.GetShape());
}

bool CWnd_Cutter::StoreLastShape()
{
    if (SaveLastShape()) return true;
    // Told as every settings write that fails is told; a store that cannot be written at all
    // was told when it was opened, and without a store nothing is kept.
    CPluginMain* plugin = m_owner ? m_owner->GetPlugin() : nullptr;
    CQWF_Storage* prefs = plugin ? plugin->GetPreferences() : nullptr;
    if (prefs && !prefs->IsReadOnly())
        if (CQWF_App* app = CQWF_App::GetApp()) app->MessageBox(qwexport::kCannotWrite, qwexport::kErrorCaption, this);
    return false;
}

void CWnd_Cutter::SavePosition()
{
    CPluginMain* plugin = m_owner ? m_owner->GetPlugin() : nullptr;
    QWF_Rect r;
    if (plugin && GetHWND() && GetWindowRect(r))
        plugin->SaveWindowPosition("Main", "Cutter", r.left, r.top);
}

// ---------------------------------------------------------------------------------------------
// Controls.

void CWnd_Cutter::Vanish(int32_t index, bool hidden)
{
    if (CQWF_Control* c = GetControl(index))
        c->SetShown(!hidden);
}

void CWnd_Cutter::Enable(int32_t index, bool enabled)
{
    if (CQWF_Control* c = GetControl(index))
        c->SetEnabled(enabled);
}

void CWnd_Cutter::SetSlider(int32_t index, int value)
{
    if (CQWF_Control* c = GetControl(index))
        static_cast<CQWF_CtrlSlider*>(c)->SetValue(static_cast<uint32_t>(value), false);
}

void CWnd_Cutter::SetEdit(int32_t index, const char* text)
{
    if (CQWF_Control* c = GetControl(index))
        static_cast<CQWF_CtrlEditLine*>(c)->SetText(text, false);
}

void CWnd_Cutter::SetEditNumber(int32_t index, int value)
{
    CQWF_String s;
    s.Format("%d", value);
    SetEdit(index, s.GetBuffer());
}

void CWnd_Cutter::SetStatus(const char* text)
{
    // A new text fades in on timer 1 over the old one.
    m_status = text ? text : "";
    m_statusLine.SetText(m_status.GetBuffer());
}

bool CWnd_Cutter::LinkRC() const
{
    const CQWF_Control* c = GetControl(m_cLinkRC);
    return c && c->GetCheck();
}

void CWnd_Cutter::OnSliderValue(int32_t index, int value, bool final, uint32_t modifiers)
{
    if (!m_owner)
        return;
    CLayoutModel& layout = m_owner->GetLayout();
    if (index == m_sRows || index == m_sColumns) {
        const bool rows = index == m_sRows;
        SetEditNumber(rows ? m_eRows : m_eColumns, value);
        int r = rows ? value : m_rows;
        int c = rows ? m_columns : value;
        if ((modifiers & 2) || LinkRC()) {
            if (rows) {
                c = std::clamp(layout.ColumnsForRows(r), 1, 100);
                SetSlider(m_sColumns, c);
                SetEditNumber(m_eColumns, c);
            } else {
                r = std::clamp(layout.RowsForColumns(c), 1, 100);
                SetSlider(m_sRows, r);
                SetEditNumber(m_eRows, r);
            }
        }
        m_rows = r;
        m_columns = c;
        if (final)
            m_owner->ResizeGrid(r, c);
        else
            m_owner->PreviewGridSize(r, c);
    } else if (index == m_sThick) {
        m_thickness = value;
        m_thickMixed = false;
        SetEditNumber(m_eThick, value);
        if (final && !m_updating)
            m_owner->SetKnifeThickness(m_thickness, m_razor);
    } else if (index == m_sTips) {
        m_tips = value;
        m_tipsMixed = false;
        SetEditNumber(m_eTips, value);
        if (final && !m_updating)
            m_owner->SetTipsSize(m_tips);
    } else if (index == m_sSmooth) {
        SetEditNumber(m_eSmooth, value);
        m_editor.SetSmoothness(value / 100.0, final);
    }
    m_editor.SetTipsAndThickness(static_cast<uint16_t>(std::max(m_tips, 0)),
                                 static_cast<uint16_t>(m_thickness));
}

void CWnd_Cutter::EditTyping(int32_t index, const CQWF_String& text)
{
    const int low = index == m_eTips || index == m_eSmooth ? 0 : 1;
    const int v = std::clamp(ParseWhole(text.GetBuffer()), low, 100);
    const int32_t slider = index == m_eRows      ? m_sRows
                           : index == m_eColumns ? m_sColumns
                           : index == m_eThick   ? m_sThick
                           : index == m_eTips    ? m_sTips
                                                 : m_sSmooth;
    SetSlider(slider, v);
}

void CWnd_Cutter::CommitEdit(int32_t index)
{
    auto* e = static_cast<CQWF_CtrlEditLine*>(GetControl(index));
    if (!e || !m_owner)
        return;
    // What the field shows now and what it showed when it took the focus (the value in force;
    // Escape puts that text back): the same number, or a mixed mark left as it is, changes
    // nothing.
    const CQWF_String shown = e->GetText(), atFocus = e->GetTextAtFocus();
    const char* text = shown.GetBuffer();
    const char* before = atFocus.GetBuffer();
    const int low = index == m_eTips || index == m_eSmooth ? 0 : 1;
    const int v = std::clamp(ParseWhole(text), low, 100);
    const bool wasMixed = std::strcmp(before, kMixed) == 0;
    if (std::strcmp(text, kMixed) == 0 ||
        (!wasMixed && v == std::clamp(ParseWhole(before), low, 100))) {
        ShowFieldValue(index);
        return;
    }
    SetEditNumber(index, v);
    if (index == m_eRows) {
        m_rows = v;
        SetSlider(m_sRows, v);
        m_owner->ResizeGrid(v, -1);
    } else if (index == m_eColumns) {
        m_columns = v;
        SetSlider(m_sColumns, v);
        m_owner->ResizeGrid(-1, v);
    } else if (index == m_eThick) {
        m_thickness = v;
        m_thickMixed = false;
        SetSlider(m_sThick, v);
        m_owner->SetKnifeThickness(v, m_razor);
    } else if (index == m_eTips) {
        m_tips = v;
        m_tipsMixed = false;
        SetSlider(m_sTips, v);
        m_owner->SetTipsSize(v);
    } else if (index == m_eSmooth) {
        SetSlider(m_sSmooth, v);
        m_editor.SetSmoothness(v / 100.0, true);
    }
}

void CWnd_Cutter::ShowFieldValue(int32_t index)
{
    if (index == m_eRows)
        ShowRows(m_rows);
    else if (index == m_eColumns)
        ShowColumns(m_columns);
    else if (index == m_eThick)
        ShowKnifeThickness(m_thickness, m_thickMixed, m_razor);
    else if (index == m_eTips)
        ShowTipsSize(m_tips, m_tipsMixed);
    else if (index == m_eSmooth)
        m_editor.ShowSmoothness();
}

int32_t CWnd_Cutter::ReleaseFocus(int32_t index)
{
    const int32_t previous = CQWF_Window::ReleaseFocus(index);
    if (!m_created || m_cutting ||
        (index != m_eRows && index != m_eColumns && index != m_eThick && index != m_eTips &&
         index != m_eSmooth))
        return previous;
    // A number acts when the focus leaves its field, however it leaves.
    CommitEdit(index);
    return previous;
}

bool CWnd_Cutter::OnNotify(int32_t code, int32_t index, const char* name, uint8_t kind, void* data)
{
    if (!m_created)
        return false;
    if (m_cutting) {
        if (index == m_cAbort && code == QWF_NOTIFY_CLICK)
            RequestAbort();
        return true;
    }
    if (code == QWF_NOTIFY_CLICK) {
        if (index == m_cCloseX || index == m_cCancel) {
            m_cutDone = false;
            Close();
        } else if (index == m_cCut) {
            if (RunCut()) {
                m_cutDone = true;
                StoreLastShape();
                if (CPluginMain* p = m_owner ? m_owner->GetPlugin() : nullptr)
                    if (CQWF_Storage* prefs = p->GetPreferences()) {
                        prefs->CreateFolder("Cutter Settings");
                        prefs->SetByte("Cutter Settings>LinkRC", LinkRC() ? 1 : 0);
                    }
                Close();
            }
        } else if (index == m_cFlipH) {
            m_editor.FlipH();
        } else if (index == m_cFlipU) {
            m_editor.FlipU();
        } else if (index == m_cUndo) {
            m_editor.Undo();
        } else if (index == m_cRedo) {
            m_editor.Redo();
        } else if (index == m_cReClone) {
            m_editor.ReClone();
        } else if (index == m_cReset) {
            ResetToOpening();
        } else if (index == m_cHelp) {
            ShowHelpMenu();
        } else if (index == m_cSave) {
            ShowSaveMenu();
        } else if (index == m_cClone) {
            ShowCloningMenu();
        } else if (index == m_cLoad) {
            LoadShapeFile();
        } else if (index == m_cPresets) {
            RunPresetsManager();
        } else if (index == m_cAddToPM) {
            AddShapeToPresets();
        } else if (index == m_cAutoLayout) {
            RunAutoLayout();
        } else if (index == m_cZoom[0] || index == m_cZoom[1] || index == m_cZoom[2]) {
            m_editor.SetZoom(index == m_cZoom[0] ? 0 : (index == m_cZoom[1] ? 1 : 2));
            m_editor.DrawKnife();
        } else if (index == m_cRazor) {
            m_razor = GetControl(m_cRazor)->GetCheck();
            Enable(m_sThick, !m_razor);
            Enable(m_eThick, !m_razor);
            if (!m_updating && m_owner)
                m_owner->SetKnifeThickness(m_thickness, m_razor);
        } else if (index == m_cAntiAliasing) {
            m_antiAliasing = GetControl(m_cAntiAliasing)->GetCheck();
            if (m_owner)
                m_owner->SetAntiAliasing(m_antiAliasing);
        }
        return true;
    }
    if (code == QWF_NOTIFY_MENU && data) {
        OnMenuCommand(*static_cast<uint16_t*>(data));
        return true;
    }
    if (code == QWF_NOTIFY_COMMAND) {
        // The shape's commands here; the rest are the main window's.
        if (index == qwcmd::kContextMenu) {
            ShowNodeMenu(m_preview.left, m_preview.top);
        } else if (!m_editor.RunAccelerator(index) && m_owner) {
            if (CQWF_Window* main = m_owner->GetOwnerWindow())
                main->OnNotify(code, index, name, kind, data);
        }
        return true;
    }
    if ((code == QWF_NOTIFY_VALUE || code == QWF_NOTIFY_VALUE_CHANGING) && kind == kSlider && data) {
        if (m_updating)
            return true;
        const int v = static_cast<int>(*static_cast<uint32_t*>(data));
        OnSliderValue(index, v, code == QWF_NOTIFY_VALUE, GetModifierKeys());
        return true;
    }
    if (code == QWF_NOTIFY_TEXT && kind == kEdit && data) {
        if (!m_updating)
            EditTyping(index, *static_cast<CQWF_String*>(data));
        return true;
    }
    return false;
}

bool CWnd_Cutter::OnKeyDown(uint32_t code, uint32_t modifiers)
{
    if (code == QWF_KEY_ESCAPE) {
        if (m_cutting) {
            RequestAbort();
            return true;
        }
        if (m_editor.OnEscape())
            return true;
        Close();
        return true;
    }
    if (m_cutting)
        return true;
    if (code == QWF_KEY_DELETE && GetFocusIndex() < 0) {
        m_editor.OnDeleteKey();
        return true;
    }
    return CQWF_Window::OnKeyDown(code, modifiers);
}

bool CWnd_Cutter::OnTimer(uint32_t id)
{
    if (id == CStatusLine::kTimerId)
        m_statusLine.Tick();
    return CQWF_Window::OnTimer(id);
}

// ---------------------------------------------------------------------------------------------
// The Cut.

void CWnd_Cutter::SetProgressPercent(uint8_t percent)
{
    if (CQWF_Control* c = GetControl(m_cProgress))
        static_cast<CQWF_CtrlProgress*>(c)->SetPos(percent);
}

void CWnd_Cutter::PumpOwnerMessages()
{
    if (m_owner)
        m_owner->PumpOwnerMessages();
}

void CWnd_Cutter::PumpOwnMessages()
{
    if (GetHWND())
        CQWF_Window::PumpMessages(this, true, true, true, true);
}

void CWnd_Cutter::PumpMessages()
{
    PumpOwnerMessages();
    PumpOwnMessages();
}

bool CWnd_Cutter::TransferKnives()
{
    return m_owner && m_owner->TransferKnives();
}

void CWnd_Cutter::EndCuttingMode()
{
    LockControls(false, -1);
    Vanish(m_cProgress, true);
    Vanish(m_cCover, true);
    Vanish(m_cAbort, true);
    m_cutting = false;
}

bool CWnd_Cutter::RunCut()
{
    if (!m_owner)
        return false;
    CPluginMain* plugin = m_owner->GetPlugin();
    if (!plugin)
        return false;
    // 1. Cutting mode.
    m_mayClose = false;
    Enable(m_cCancel, false);
    Enable(m_cCloseX, false);
    Vanish(m_cProgress, false);
    Vanish(m_cCover, false);
    Vanish(m_cAbort, false);
    // Every control but the abort button stops taking the mouse.
    LockControls(true, -1);
    LockControls(false, m_cAbort);
    m_cutting = true;
    m_abort = false;
    if (auto* bar = static_cast<CQWF_CtrlProgress*>(GetControl(m_cProgress))) {
        bar->SetRange(0, 100);
        bar->SetPos(0);
    }
    PumpMessages();
    CutPicture picture{};
    if (!m_owner->GetCutPicture(picture.width, picture.height, picture.mask, picture.maskStride,
                                picture.planes)) {
        EndCuttingMode();
        return false;
    }
    CCutterProgress progress(this);
    CutOutcome outcome;
    // Records of a document loaded meanwhile win over those handed at opening.
    const bool loaded = m_loadedCount > 0;
    const uint8_t* records = loaded ? m_loaded.GetData() : (m_handedCount ? m_handed.GetData() : nullptr);
    const bool ok = ::RunCut(plugin->GetEngine(), *this, progress, picture, records,
                             loaded ? m_loadedCount : m_handedCount, outcome);
    EndCuttingMode();
    if (!ok) {
        SetStatus(m_abort ? "The cut was aborted." : "The picture could not be cut.");
        return false;
    }
    m_owner->ForgetPiecesUndo();
    m_layoutChanged = outcome.layoutChanged;
    return true;
}

void CWnd_Cutter::ResetToOpening()
{
    if (!m_owner || m_openingLength == 0)
        return;
    CLayoutModel& layout = m_owner->GetLayout();
    layout.RecordUndo(0, CLayoutModel::kFullRestore);
    CQWF_Mem copy;
    if (!copy.Alloc(m_openingLength))
        return;
    std::memcpy(copy.GetData(), m_opening.GetData(), m_openingLength);
    if (!layout.ReadLayoutV3(copy.GetData(), m_openingLength, nullptr, nullptr, true))
        return;
    LoadLastShape();
    m_editor.DrawKnife();
    m_editor.ResetHistory();
    m_rows = layout.GetYLineCount() + 1;
    m_columns = layout.GetXLineCount() + 1;
    m_razor = layout.GetFlag(CLayoutModel::kFlagRazor) != 0;
    m_antiAliasing = layout.GetFlag(CLayoutModel::kFlagAntiAlias) != 0;
    m_editor.ResetCloning();
    UpdateControls();
    m_loaded.Free();
    m_loadedCount = 0;
}

bool CWnd_Cutter::Close()
{
    if (!m_mayClose && !m_cutDone)
        return false;
    if (!m_cutDone)
        ResetToOpening();
    SavePosition();
    const bool closed = CQWF_Window::Close();
    if (m_owner)
        m_owner->LeaveLayoutMode();
    return closed;
}
