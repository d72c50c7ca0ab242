#include "plugin/windows/wnd_export.h"

#include "framework/ui/qwf_static.h"

#include <string_view>

namespace {

constexpr const char* kPositionGroup = "Main";
// The statistics' second column; their labels are about 90 pixels wide in the status font.
constexpr uint32_t kStatisticsTab = 100;

bool Inside(CQWF_Control* c, int32_t x, int32_t y)
{
    if (!c) return false;
    const QWF_Rect r = c->GetRect();
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

void Check(CQWF_Window* w, int32_t index, bool checked)
{
    if (CQWF_Control* c = w->GetControl(index))
        if (c->GetCheck() != checked) c->SetCheck(checked, false);
}

void Enable(CQWF_Window* w, int32_t index, bool enabled)
{
    if (CQWF_Control* c = w->GetControl(index))
        if (c->IsEnabled() != enabled) c->SetEnabled(enabled);
}

void ShowText(CQWF_Window* w, int32_t index, const char* text)
{
    auto* t = static_cast<CQWF_CtrlStaticText*>(w->GetControl(index));
    if (!t) return;
    if (std::string_view(t->GetText()) != text) t->SetText(text);
    t->SetOpacity(255);
}

}  // namespace

// --- Export -----------------------------------------------------------------------------------

int32_t CWnd_Export::Run(CQWF_Window* owner)
{
    return RunAtStoredPosition(kSkinName, kPositionGroup, kSkinName, owner);
}

bool CWnd_Export::OnCreate(CQWF_LayerSet*, uint16_t, uint16_t)
{
    const int32_t font = LoadFont("Info Font");
    if (font < 0) return false;
    Add("Export_CloseX", QWF_CTRL_BUTTON);
    Add("Export_Cancel", QWF_CTRL_BUTTON);
    m_export = Add("Export_Export", QWF_CTRL_BUTTON);
    m_help = AddHelp("Export_Help");
    m_merged = Add("Export_Merged", QWF_CTRL_RADIO);
    m_selected = Add("Export_Selected", QWF_CTRL_RADIO);
    m_all = Add("Export_All", QWF_CTRL_RADIO);
    m_psd = Add("Export_ToPSD", QWF_CTRL_RADIO);
    m_png = Add("Export_ToPNG", QWF_CTRL_RADIO);
    m_simple = Add("Export_NamingSimple", QWF_CTRL_RADIO);
    m_extended = Add("Export_NamingExtended", QWF_CTRL_RADIO);
    AddText("Export_Status", font, 3, 0, 12, true);
    m_display = AddText("Export_Display", font, 4, 4, 12, false);
    m_naming = AddText("Export_NamingDisp", font, 3, 0, 12, false);
    m_composite = Add("Export_Composite", QWF_CTRL_CHECKBOX);
    m_withoutBevel = Add("Export_WOBevel", QWF_CTRL_CHECKBOX);
    m_hidden = Add("Export_Hidden", QWF_CTRL_CHECKBOX);
    m_fullCanvas = Add("Export_FullCanvas", QWF_CTRL_CHECKBOX);
    if (!AllAdded()) return false;
    Ctl<CQWF_CtrlStaticText>(m_display)->AddTabStop(kStatisticsTab);
    UpdateControls();
    StartStatus();
    return true;
}

void CWnd_Export::UpdateControls()
{
    m_updating = true;
    m_model.Update();
    const PieceExportOptions& o = m_model.options;
    Check(this, m_merged, o.exportWhat == 1);
    Check(this, m_selected, o.exportWhat == 2);
    Check(this, m_all, o.exportWhat == 3);
    Check(this, m_psd, o.exportTo == 1);
    Check(this, m_png, o.exportTo == 2);
    Check(this, m_simple, o.namingMode == 1);
    Check(this, m_extended, o.namingMode == 2);
    Check(this, m_composite, o.includeComposite != 0);
    Check(this, m_withoutBevel, o.withoutBevel != 0);
    Check(this, m_hidden, o.includeHidden != 0);
    Check(this, m_fullCanvas, o.preservePosition != 0);
    Enable(this, m_merged, true);
    Enable(this, m_all, true);
    Enable(this, m_psd, true);
    Enable(this, m_png, true);
    Enable(this, m_selected, m_model.selectedEnabled);
    Enable(this, m_composite, m_model.compositeAllowed);
    Enable(this, m_hidden, m_model.hiddenAllowed);
    Enable(this, m_fullCanvas, m_model.fullCanvasAllowed);
    Enable(this, m_withoutBevel, m_model.withoutBevelAllowed);
    Enable(this, m_export, m_model.exportEnabled);
    Enable(this, m_simple, m_model.namingEnabled);
    Enable(this, m_extended, m_model.namingEnabled);
    m_updating = false;
    ShowStatistics();
}

void CWnd_Export::ShowStatistics()
{
    ShowText(this, m_display, m_model.StatisticsText().GetBuffer());
    ShowText(this, m_naming, m_model.NamingExample());
}

void CWnd_Export::ConfirmExport()
{
    if (m_model.itemCount == 0) return;
    CExportDialogModel::Warning warning;
    if (m_model.GetWarning(warning) && m_host) {
        // A box that cannot be shown counts as confirmed.
        const int32_t answer = m_host->AskOkCancel(warning.header.GetBuffer(), warning.text, this);
        if (answer == 0) return;
    }
    SavePosition(kPositionGroup, kSkinName);
    EndModal(kOk);
}

bool CWnd_Export::OnKeyDown(uint32_t code, uint32_t)
{
    if (code == QWF_KEY_ESCAPE) {
        EndModal(kCancel);
        return true;
    }
    if (code == QWF_KEY_ENTER) {
        if (GetControl(m_export)->IsEnabled()) ConfirmExport();
        return true;
    }
    return false;
}

bool CWnd_Export::OnNotify(int32_t code, int32_t index, const char* name, uint8_t kind, void* data)
{
    if (code != QWF_NOTIFY_CLICK || m_updating) return CDialogWindow::OnNotify(code, index, name, kind, data);
    PieceExportOptions& o = m_model.options;
    if (kind == QWF_CTRL_BUTTON) {
        if (index == m_export)
            ConfirmExport();
        else if (index == m_help)
            ShowHelpMenu(m_help);
        else if (std::string_view(name ? name : "") == "Export_Cancel" ||
                 std::string_view(name ? name : "") == "Export_CloseX")
            EndModal(kCancel);
        return true;
    }
    if (kind == QWF_CTRL_CHECKBOX) {
        const uint8_t on = GetControl(index)->GetCheck() ? 1 : 0;
        if (index == m_composite) o.includeComposite = on;
        if (index == m_fullCanvas) o.preservePosition = on;
        if (index == m_hidden) o.includeHidden = on;
        if (index == m_withoutBevel) o.withoutBevel = on;
        UpdateControls();
        return true;
    }
    if (kind == QWF_CTRL_RADIO) {
        auto on = [&](int32_t i) { return GetControl(i)->GetCheck(); };
        if (on(m_all))
            o.exportWhat = 3;
        else if (on(m_merged))
            o.exportWhat = 1;
        else if (on(m_selected))
            o.exportWhat = 2;
        if (on(m_png))
            o.exportTo = 2;
        else if (on(m_psd))
            o.exportTo = 1;
        if (on(m_simple))
            o.namingMode = 1;
        else if (on(m_extended))
            o.namingMode = 2;
        UpdateControls();
    }
    return true;
}

const char* CWnd_Export::ZoneAt(int32_t x, int32_t y) const
{
    if (Inside(GetControl(m_display), x, y)) return "Zone_Display";
    if (Inside(GetControl(m_naming), x, y)) return "Zone_DisplayNaming";
    return "";
}

// --- ExportLM ---------------------------------------------------------------------------------

int32_t CWnd_ExportLM::Run(CQWF_Window* owner)
{
    return RunAtStoredPosition(kSkinName, kPositionGroup, kSkinName, owner);
}

bool CWnd_ExportLM::OnCreate(CQWF_LayerSet*, uint16_t, uint16_t)
{
    const int32_t font = LoadFont("Info Font");
    if (font < 0) return false;
    Add("ExportLM_CloseX", QWF_CTRL_BUTTON);
    Add("ExportLM_Cancel", QWF_CTRL_BUTTON);
    m_export = Add("ExportLM_Export", QWF_CTRL_BUTTON);
    m_help = AddHelp("ExportLM_Help");
    m_selected = Add("ExportLM_Selected", QWF_CTRL_RADIO);
    m_all = Add("ExportLM_All", QWF_CTRL_RADIO);
    m_eps = Add("ExportLM_ToEPS", QWF_CTRL_RADIO);
    m_ai = Add("ExportLM_ToAI", QWF_CTRL_RADIO);
    AddText("ExportLM_Status", font, 3, 0, 12, true);
    m_display = AddText("ExportLM_Display", font, 4, 4, 12, false);
    if (!AllAdded()) return false;
    Ctl<CQWF_CtrlStaticText>(m_display)->AddTabStop(kStatisticsTab);
    UpdateControls();
    StartStatus();
    return true;
}

void CWnd_ExportLM::UpdateControls()
{
    m_updating = true;
    m_model.Update();
    const KnifeExportOptions& o = m_model.options;
    Check(this, m_selected, o.exportWhat == 2);
    Check(this, m_all, o.exportWhat == 3);
    Check(this, m_eps, o.exportTo == 1);
    Check(this, m_ai, o.exportTo == 2);
    Enable(this, m_all, true);
    Enable(this, m_eps, true);
    Enable(this, m_ai, true);
    Enable(this, m_selected, m_model.selectedEnabled);
    Enable(this, m_export, m_model.exportEnabled);
    m_updating = false;
    ShowStatistics();
}

void CWnd_ExportLM::ShowStatistics() { ShowText(this, m_display, m_model.StatisticsText().GetBuffer()); }

void CWnd_ExportLM::ConfirmExport()
{
    if (m_model.knifeCount == 0) return;
    SavePosition(kPositionGroup, kSkinName);
    EndModal(kOk);
}

bool CWnd_ExportLM::OnKeyDown(uint32_t code, uint32_t)
{
    if (code == QWF_KEY_ESCAPE) {
        EndModal(kCancel);
        return true;
    }
    if (code == QWF_KEY_ENTER) {
        if (GetControl(m_export)->IsEnabled()) ConfirmExport();
        return true;
    }
    return false;
}

bool CWnd_ExportLM::OnNotify(int32_t code, int32_t index, const char* name, uint8_t kind, void* data)
{
    if (code != QWF_NOTIFY_CLICK || m_updating) return CDialogWindow::OnNotify(code, index, name, kind, data);
    if (kind == QWF_CTRL_BUTTON) {
        if (index == m_export)
            ConfirmExport();
        else if (index == m_help)
            ShowHelpMenu(m_help);
        else if (std::string_view(name ? name : "") == "ExportLM_Cancel" ||
                 std::string_view(name ? name : "") == "ExportLM_CloseX")
            EndModal(kCancel);
        return true;
    }
    if (kind == QWF_CTRL_RADIO) {
        KnifeExportOptions& o = m_model.options;
        if (GetControl(m_all)->GetCheck())
            o.exportWhat = 3;
        else if (GetControl(m_selected)->GetCheck())
            o.exportWhat = 2;
        if (GetControl(m_ai)->GetCheck())
            o.exportTo = 2;
        else if (GetControl(m_eps)->GetCheck())
            o.exportTo = 1;
        UpdateControls();
    }
    return true;
}

const char* CWnd_ExportLM::ZoneAt(int32_t x, int32_t y) const
{
    return Inside(GetControl(m_display), x, y) ? "Zone_Display" : "";
}
